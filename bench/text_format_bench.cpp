// vex_sprintf against glibc's snprintf on the shapes of text the library
// builds most, in Unicode mode (the runtime's formatter) and in legacy mode
// (the library's own directive table), each beside its peer.
#include <benchmark/benchmark.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/vexformat.h>

#include <cstdio>

namespace {

constexpr const char *kNames[] = {"plate", "bracket-left", "a", "hull_section_0042"};

enum Which { kSnprintf, kVex, kVexLegacy };

template <Which kWhich>
void BM_name_int_float(benchmark::State &state) {
  btkUnicodeSetEnabled(kWhich != kVexLegacy);
  set_language(LANG_ENGLISH);
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    const char *name = kNames[i & 3];
    int n = static_cast<int>(i * 7919u);
    double v = i * 0.37 + 1.5;
    if (kWhich == kSnprintf)
      benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%s:%d %f", name, n, v));
    else
      benchmark::DoNotOptimize(vex_sprintf(buf, "%s:%d %f", name, n, v));
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

template <Which kWhich>
void BM_columns_exponent(benchmark::State &state) {
  btkUnicodeSetEnabled(kWhich != kVexLegacy);
  set_language(LANG_ENGLISH);
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    const char *name = kNames[i & 3];
    unsigned x = i * 2654435761u;
    double v = (i + 1) * 1234.5678e-7;
    if (kWhich == kSnprintf)
      benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%-20s|%08x|%.3e", name, x, v));
    else
      benchmark::DoNotOptimize(vex_sprintf(buf, "%-20s|%08x|%.3e", name, x, v));
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

template <Which kWhich>
void BM_int64_name(benchmark::State &state) {
  btkUnicodeSetEnabled(kWhich != kVexLegacy);
  set_language(LANG_ENGLISH);
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    const char *name = kNames[i & 3];
    long long n = static_cast<long long>(i) * 1000003LL * 1000003LL;
    if (kWhich == kSnprintf)
      benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%lld %s", n, name));
    else
      benchmark::DoNotOptimize(vex_sprintf(buf, "%lld %s", n, name));
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_TEMPLATE(BM_name_int_float, kSnprintf)->Name("snprintf/\"%s:%d %f\"");
BENCHMARK_TEMPLATE(BM_name_int_float, kVex)->Name("vex_sprintf/\"%s:%d %f\"");
BENCHMARK_TEMPLATE(BM_name_int_float, kVexLegacy)->Name("vex_sprintf legacy/\"%s:%d %f\"");
BENCHMARK_TEMPLATE(BM_columns_exponent, kSnprintf)->Name("snprintf/\"%-20s|%08x|%.3e\"");
BENCHMARK_TEMPLATE(BM_columns_exponent, kVex)->Name("vex_sprintf/\"%-20s|%08x|%.3e\"");
BENCHMARK_TEMPLATE(BM_columns_exponent, kVexLegacy)->Name("vex_sprintf legacy/\"%-20s|%08x|%.3e\"");
BENCHMARK_TEMPLATE(BM_int64_name, kSnprintf)->Name("snprintf/\"%lld %s\"");
BENCHMARK_TEMPLATE(BM_int64_name, kVex)->Name("vex_sprintf/\"%lld %s\"");
BENCHMARK_TEMPLATE(BM_int64_name, kVexLegacy)->Name("vex_sprintf legacy/\"%lld %s\"");

}  // namespace

BENCHMARK_MAIN();
