// Throughput of match_user_filter and vex_glob_match over a list of file
// names, and their time on a pattern with many stars against a long text
// (the case that was exponential).
#include <benchmark/benchmark.h>
#include <keelwork/pattern.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> &names() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> v;
    const char *stems[] = {"bracket", "hull_section", "plate", "shaft", "assembly_top", "gear"};
    const char *exts[] = {".prt", ".asm", ".drw", ".prt.12", ".txt"};
    for (int i = 0; i < 1000; ++i)
      v.push_back(std::string(stems[i % 6]) + "_" + std::to_string(i) + exts[i % 5]);
    return v;
  }();
  return all;
}

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

void BM_match_user_filter(benchmark::State &state) {
  const char *filter = state.range(0) ? "*_1?3*.prt*" : "*.prt";
  std::size_t bytes = 0;
  for (const std::string &n : names()) bytes += n.size();
  for (auto _ : state)
    for (const std::string &n : names())
      benchmark::DoNotOptimize(match_user_filter(n.c_str(), filter));
  state.SetLabel(filter);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names().size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_vex_glob_match(benchmark::State &state) {
  static const char16_t *patterns[] = {u"*.prt", u"*_[1-3]?3*.{prt,asm}*", u"{bracket,gear}_*"};
  const char16_t *pattern = patterns[state.range(0)];
  std::vector<std::u16string> w;
  std::size_t units = 0;
  for (const std::string &n : names()) {
    w.push_back(wide(n));
    units += n.size();
  }
  for (auto _ : state)
    for (const std::u16string &n : w)
      benchmark::DoNotOptimize(vex_glob_match(pattern, n.c_str(), 1));
  state.SetLabel(std::string(pattern, pattern + std::char_traits<char16_t>::length(pattern)));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * w.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * units * 2));
}

void BM_many_stars(benchmark::State &state) {
  std::string text(static_cast<std::size_t>(state.range(0)), 'a');
  const char *pattern = "*a*a*a*a*a*a*a*a*b";
  for (auto _ : state) {
    benchmark::DoNotOptimize(match_user_filter(text.c_str(), pattern));
    benchmark::DoNotOptimize(vex_glob_match_ascii(pattern, text.c_str(), 0));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}

BENCHMARK(BM_match_user_filter)->DenseRange(0, 1);
BENCHMARK(BM_vex_glob_match)->DenseRange(0, 2);
BENCHMARK(BM_many_stars)->Arg(1000)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
