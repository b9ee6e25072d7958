// getmem/relmem against malloc/free, and xar_append against
// std::vector::push_back.
#include <benchmark/benchmark.h>
#include <keelwork/memory.h>
#include <keelwork/xar.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kBlocks = 256;

void BM_malloc_free(benchmark::State &state) {
  std::size_t size = static_cast<std::size_t>(state.range(0));
  void *blocks[kBlocks];
  for (auto _ : state) {
    for (int i = 0; i < kBlocks; ++i) blocks[i] = std::malloc(size + (i & 7));
    benchmark::DoNotOptimize(blocks);
    for (int i = 0; i < kBlocks; ++i) std::free(blocks[i]);
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}

void BM_getmem_relmem(benchmark::State &state) {
  std::size_t size = static_cast<std::size_t>(state.range(0));
  void *blocks[kBlocks];
  for (auto _ : state) {
    for (int i = 0; i < kBlocks; ++i) blocks[i] = getmem(size + (i & 7));
    benchmark::DoNotOptimize(blocks);
    for (int i = 0; i < kBlocks; ++i) relmem(&blocks[i]);
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}

void BM_vector_push_back(benchmark::State &state) {
  int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(i);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_xar_append(benchmark::State &state) {
  int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int *v = static_cast<int *>(xar_alloc(0, sizeof(int), 1));
    for (int i = 0; i < n; ++i) xar_append(&v, 1, &i);
    benchmark::DoNotOptimize(v);
    xar_free(&v);
  }
  state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_malloc_free)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(BM_getmem_relmem)->Arg(16)->Arg(256)->Arg(4096);
BENCHMARK(BM_vector_push_back)->Arg(1000)->Arg(100000);
BENCHMARK(BM_xar_append)->Arg(1000)->Arg(100000);

BENCHMARK_MAIN();
