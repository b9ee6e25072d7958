// extension_to_type against a std::unordered_map<std::string, int> holding
// the same extensions: the lookup that every file name goes through. The
// keys mix the cases file names come in, a few unknown extensions and the
// shared ones; the map upper-cases its key the same way before looking up.
#include <benchmark/benchmark.h>
#include <keelwork/objtype.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace {

const std::vector<std::string> &keys() {
  static const std::vector<std::string> k = {
      "prt", "PRT", "asm", "drw", "Catpart", "igs", "step", "x_t",    "pdf",  "jpg",
      "sec", "mfg", "frm", "xml", "csv",     "zip", "dir",  "sldprt", "txt",  "nosuch",
      "lay", "jt",  "png", "dwg", "ipt",     "stl", "mrd",  "qqq",    "html", "docx"};
  return k;
}

std::string upper(const std::string &s) {
  std::string u = s;
  for (char &c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

void BM_extension_to_type(benchmark::State &state) {
  const auto &k = keys();
  extension_to_type("PRT");  // builds the table outside the timing
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(extension_to_type(k[i].c_str()));
    if (++i == k.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_extension_to_type);

void BM_unordered_map(benchmark::State &state) {
  const auto &k = keys();
  std::unordered_map<std::string, int> map;
  for (const std::string &key : k) {
    int type = extension_to_type(key.c_str());
    if (type != OBJ_TYPE_NO_TYPE) map.emplace(upper(key), type);
  }
  size_t i = 0;
  for (auto _ : state) {
    auto it = map.find(upper(k[i]));
    benchmark::DoNotOptimize(it == map.end() ? OBJ_TYPE_NO_TYPE : it->second);
    if (++i == k.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_unordered_map);

// The code index: repeated and alternating codes, and one unknown.
void BM_type_to_extension(benchmark::State &state) {
  const int32_t codes[] = {2, 2, 2, 1, 4, 887, 1013, 2, 134, 999999};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(type_to_extension(codes[i]));
    if (++i == std::size(codes)) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_type_to_extension);

}  // namespace

BENCHMARK_MAIN();
