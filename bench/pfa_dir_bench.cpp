// Sorted listings of a 20,000-entry directory: pfa_scandir reading the
// disk (cache off) against std::filesystem::directory_iterator plus a sort
// of the names, and pfa_scandir served by the directory cache against the
// same scan uncached. Each pair runs side by side in one process.
#include <benchmark/benchmark.h>
#include <keelwork/pfa.h>
#include <keelwork/pfadir.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 20000;

// A directory of versioned parts, assemblies and a few subdirectories,
// made once for the run and removed at exit.
const std::string &tree() {
  static std::string root = [] {
    char tmpl[] = "/tmp/kw_dirbench_XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    std::string r = tmpl;
    const char *ext[] = {"prt", "asm", "drw", "txt"};
    for (int i = 0; i < kEntries; ++i) {
      if (i % 1000 == 0) {
        fs::create_directory(r + "/dir" + std::to_string(i));
        continue;
      }
      std::string name = "item" + std::to_string(i * 7919 % kEntries) + "." + ext[i % 4] + "." +
                         std::to_string(i % 5 + 1);
      std::ofstream(r + "/" + name);
    }
    std::atexit([] { fs::remove_all(root); });
    return r;
  }();
  return root;
}

int scan_once(vex_file *dir) {
  vex_file **list = nullptr;
  int count = 0;
  if (pfa_scandir(dir, 0, nullptr, &list, &count) != 0) std::abort();
  pfa_free_scan_list(&list, count);
  return count;
}

void BM_pfa_scandir_uncached(benchmark::State &state) {
  set_nt_directory_caching(0);
  vex_file *dir = pfa_alloc_dir(tree().c_str());
  int count = 0;
  for (auto _ : state) benchmark::DoNotOptimize(count = scan_once(dir));
  state.counters["entries"] = count;
  state.SetItemsProcessed(state.iterations() * count);
  pfa_free_vex_file(&dir);
}

void BM_std_directory_iterator_sorted(benchmark::State &state) {
  size_t count = 0;
  for (auto _ : state) {
    // Directories first, then names, as the listing order has it.
    std::vector<std::pair<bool, std::string>> entries;
    for (const auto &e : fs::directory_iterator(tree()))
      entries.emplace_back(!e.is_directory(), e.path().filename().string());
    std::sort(entries.begin(), entries.end());
    count = entries.size();
    benchmark::DoNotOptimize(entries.data());
  }
  state.counters["entries"] = static_cast<double>(count);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}

void BM_pfa_scandir_cached(benchmark::State &state) {
  set_nt_directory_caching(1);
  vex_file *dir = pfa_alloc_dir(tree().c_str());
  scan_once(dir);  // fills the cache
  int count = 0;
  for (auto _ : state) benchmark::DoNotOptimize(count = scan_once(dir));
  state.counters["entries"] = count;
  state.counters["cached"] = pfadc_find_appdata((tree() + "/").c_str()) >= 0;
  state.SetItemsProcessed(state.iterations() * count);
  pfa_free_vex_file(&dir);
}

}  // namespace

BENCHMARK(BM_pfa_scandir_uncached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_std_directory_iterator_sorted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pfa_scandir_cached)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
