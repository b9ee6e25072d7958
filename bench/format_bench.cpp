// btk_snprintf against glibc's snprintf on the shapes of text the library
// builds most: a name with a number and a float, padded columns with an
// exponent, and a 64-bit count with a name. Each pair runs side by side.
#include <benchmark/benchmark.h>
#include <keelwork/btk_format.h>

#include <cstdio>

namespace {

constexpr const char *kNames[] = {"plate", "bracket-left", "a", "hull_section_0042"};

template <bool kOurs>
void BM_name_int_float(benchmark::State &state) {
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    const char *name = kNames[i & 3];
    int n = static_cast<int>(i * 7919u);
    double v = i * 0.37 + 1.5;
    int r = kOurs ? btk_snprintf(buf, sizeof buf, "%s:%d %f", name, n, v)
                  : std::snprintf(buf, sizeof buf, "%s:%d %f", name, n, v);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

template <bool kOurs>
void BM_columns_exponent(benchmark::State &state) {
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    const char *name = kNames[i & 3];
    unsigned x = i * 2654435761u;
    double v = (i + 1) * 1234.5678e-7;
    int r = kOurs ? btk_snprintf(buf, sizeof buf, "%-20s|%08x|%.3e", name, x, v)
                  : std::snprintf(buf, sizeof buf, "%-20s|%08x|%.3e", name, x, v);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

template <bool kOurs>
void BM_int64_name(benchmark::State &state) {
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    const char *name = kNames[i & 3];
    long long n = static_cast<long long>(i) * 1000003LL * 1000003LL;
    int r = kOurs ? btk_snprintf(buf, sizeof buf, "%lld %s", n, name)
                  : std::snprintf(buf, sizeof buf, "%lld %s", n, name);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_TEMPLATE(BM_name_int_float, false)->Name("snprintf/\"%s:%d %f\"");
BENCHMARK_TEMPLATE(BM_name_int_float, true)->Name("btk_snprintf/\"%s:%d %f\"");
BENCHMARK_TEMPLATE(BM_columns_exponent, false)->Name("snprintf/\"%-20s|%08x|%.3e\"");
BENCHMARK_TEMPLATE(BM_columns_exponent, true)->Name("btk_snprintf/\"%-20s|%08x|%.3e\"");
BENCHMARK_TEMPLATE(BM_int64_name, false)->Name("snprintf/\"%lld %s\"");
BENCHMARK_TEMPLATE(BM_int64_name, true)->Name("btk_snprintf/\"%lld %s\"");

}  // namespace

BENCHMARK_MAIN();
