// vex_sprintf against glibc's snprintf on the shapes of text the library
// builds most, in Unicode mode (the runtime's formatter) and in legacy mode
// (the library's own directive table), each beside its peer.
#include <benchmark/benchmark.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/vexformat.h>

#include <cstdio>
#include <tuple>

namespace {

constexpr const char *kNames[] = {"plate", "bracket-left", "a", "hull_section_0042"};

enum Which { kSnprintf, kVex, kVexLegacy };

// Formats `format` with the arguments `args(i)` gives for the i-th call,
// through the formatter `kWhich` names.
template <Which kWhich, typename Args>
void run_format(benchmark::State &state, const char *format, Args args) {
  btkUnicodeSetEnabled(kWhich != kVexLegacy);
  set_language(LANG_ENGLISH);
  char buf[128];
  unsigned i = 0;
  for (auto _ : state) {
    std::apply(
        [&](auto... a) {
          if (kWhich == kSnprintf)
            benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, format, a...));
          else
            benchmark::DoNotOptimize(vex_sprintf(buf, format, a...));
        },
        args(i));
    benchmark::DoNotOptimize(buf);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

template <Which kWhich>
void BM_name_int_float(benchmark::State &state) {
  run_format<kWhich>(state, "%s:%d %f", [](unsigned i) {
    return std::tuple(kNames[i & 3], static_cast<int>(i * 7919u), i * 0.37 + 1.5);
  });
}

template <Which kWhich>
void BM_columns_exponent(benchmark::State &state) {
  run_format<kWhich>(state, "%-20s|%08x|%.3e", [](unsigned i) {
    return std::tuple(kNames[i & 3], i * 2654435761u, (i + 1) * 1234.5678e-7);
  });
}

template <Which kWhich>
void BM_int64_name(benchmark::State &state) {
  run_format<kWhich>(state, "%lld %s", [](unsigned i) {
    return std::tuple(static_cast<long long>(i) * 1000003LL * 1000003LL, kNames[i & 3]);
  });
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
