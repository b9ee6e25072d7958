// Parsing and formatting full names against std::filesystem::path taking
// the same names apart and putting them back together; the highest version
// of a file among 10,000 entries against a directory_iterator scan. Each
// pair runs side by side; "allocs/name" counts operator new calls.
#include <benchmark/benchmark.h>
#include <keelwork/pfa.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long> g_news{0};

}  // namespace

// Counting replacements of the global allocation functions; the pair uses
// malloc and free on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t n) {
  g_news.fetch_add(1, std::memory_order_relaxed);
  if (void *p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr size_t kNames = 1 << 20;

const std::vector<std::string> &names(bool windows) {
  static std::vector<std::string> win, posix;
  std::vector<std::string> &v = windows ? win : posix;
  if (v.empty()) {
    v.reserve(kNames);
    const char *exts[] = {"prt", "asm", "drw", "txt"};
    for (size_t i = 0; i < kNames; ++i) {
      std::string dir = "proj" + std::to_string(i % 97) + (windows ? "\\parts\\" : "/parts/");
      std::string file = "part_" + std::to_string(i) + "." + exts[i & 3];
      if (i % 3) file += "." + std::to_string(i % 9 + 1);
      v.push_back(windows ? "c:\\work\\" + dir + file : "/home/user/work/" + dir + file);
    }
  }
  return v;
}

void BM_keelwork(benchmark::State &state) {
  const auto &v = names(state.range(0) != 0);
  vex_file *f = nullptr;
  pfa_alloc_vex_file(&f);
  char buf[PFA_NAME_SIZE];
  long before = g_news.load();
  for (auto _ : state) {
    for (const std::string &name : v) {
      int r = parse_to_pfa(f, -1, name.c_str());
      r |= pfa_get_full_name(f, buf);
      benchmark::DoNotOptimize(r);
      benchmark::DoNotOptimize(buf);
    }
  }
  state.counters["allocs/name"] = static_cast<double>(g_news.load() - before) /
                                  static_cast<double>(state.iterations() * v.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
  pfa_free_vex_file(&f);
}

void BM_std_filesystem(benchmark::State &state) {
  const auto &v = names(state.range(0) != 0);
  long before = g_news.load();
  for (auto _ : state) {
    for (const std::string &name : v) {
      std::filesystem::path p(name);
      std::filesystem::path dir = p.parent_path();
      std::filesystem::path stem = p.stem();
      std::filesystem::path ext = p.extension();
      std::filesystem::path whole = dir / stem;
      whole += ext;
      benchmark::DoNotOptimize(whole.native().data());
    }
  }
  state.counters["allocs/name"] = static_cast<double>(g_news.load() - before) /
                                  static_cast<double>(state.iterations() * v.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}

// Five runs each, reported as mean, median and spread: single runs on a
// shared machine vary by several percent.
BENCHMARK(BM_keelwork)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("windows")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_std_filesystem)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("windows")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A directory of 10,000 entries: 5,000 versions of a.prt and 5,000 others.
const std::string &version_dir() {
  static std::string dir = [] {
    std::string d = std::filesystem::temp_directory_path() / "kw_pfa_bench_versions";
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    for (int i = 1; i <= 5000; ++i) {
      std::ofstream(d + "/a.prt." + std::to_string(i * 3));
      std::ofstream(d + "/b" + std::to_string(i) + ".prt.1");
    }
    return d;
  }();
  return dir;
}

void BM_keelwork_highest_version(benchmark::State &state) {
  const std::string &dir = version_dir();
  vex_file *f = pfa_alloc_nondir_file((dir + "/a.prt").c_str());
  for (auto _ : state) {
    int v = 0;
    int r = pfa_get_file_vers(f, 1, &v);
    if (r != 0 || v != 15000) state.SkipWithError("wrong version");
    benchmark::DoNotOptimize(v);
  }
  pfa_free_vex_file(&f);
}

void BM_directory_iterator_highest_version(benchmark::State &state) {
  const std::string &dir = version_dir();
  for (auto _ : state) {
    int best = -1;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
      std::string name = e.path().filename().string();
      if (name.rfind("a.prt", 0) != 0) continue;
      if (name.size() == 5)
        best = std::max(best, 0);
      else if (name[5] == '.')
        best = std::max(best, std::atoi(name.c_str() + 6));
    }
    if (best != 15000) state.SkipWithError("wrong version");
    benchmark::DoNotOptimize(best);
  }
}

BENCHMARK(BM_keelwork_highest_version)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_directory_iterator_highest_version)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
