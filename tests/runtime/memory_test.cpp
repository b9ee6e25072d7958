// Blocks, managers, zones, pools and the debug style.
#include <gtest/gtest.h>
#include <keelwork/memory.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(Memory, BlocksKnowTheirSizeAndManager) {
  for (size_t size :
       {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{4096}, size_t{1} << 20}) {
    SCOPED_TRACE(size);
    void *p = getmem(size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(getmem_area_size(p), size);
    EXPECT_EQ(getmem_area_find_memmgr(p), shared_memmgr());
    std::memset(p, 0xAB, size);
    relmem(&p);
    EXPECT_EQ(p, nullptr);
  }
  relmem(nullptr);  // both accepted
  void *null_block = nullptr;
  relmem(&null_block);
  rlsmem(nullptr);
}

TEST(Memory, RelocmemKeepsContentsAndManager) {
  memmgr *m = alloc_memmgr("reloc", MEMMGR_STYLE_NORMAL);
  char *p = static_cast<char *>(memmgr_getmem(m, 10));
  std::memcpy(p, "0123456789", 10);
  p = static_cast<char *>(relocmem(p, 100000));
  EXPECT_EQ(std::memcmp(p, "0123456789", 10), 0);
  EXPECT_EQ(getmem_area_find_memmgr(p), m);
  p = static_cast<char *>(relocmem(p, 4));
  EXPECT_EQ(std::memcmp(p, "0123", 4), 0);
  EXPECT_EQ(getmem_area_size(p), 4u);
  rlsmem(p);
  void *fresh = relocmem(nullptr, 8);  // null behaves as getmem
  EXPECT_EQ(getmem_area_size(fresh), 8u);
  rlsmem(fresh);
}

TEST(Memory, ZoneBlocksLiveUntilTheZoneIsEmptied) {
  memzone *z = alloc_zone(nullptr, 1024, 0);
  std::vector<char *> blocks;
  for (int i = 0; i < 500; ++i) {
    char *b = static_cast<char *>(zone_getmem(z, static_cast<size_t>(i % 70)));
    std::memset(b, i & 0xFF, static_cast<size_t>(i % 70));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    blocks.push_back(b);
  }
  for (int i = 0; i < 500; ++i)  // nothing overlapped
    for (int j = 0; j < i % 70; ++j) ASSERT_EQ(static_cast<unsigned char>(blocks[i][j]), i & 0xFF);
  char *big = static_cast<char *>(zone_getmem(z, 100000));  // larger than a chunk
  big[99999] = 1;
  EXPECT_EQ(getmem_area_find_memmgr(big), shared_memmgr());
  rlsmem(big);  // a zone block is left to its zone
  char *grown = static_cast<char *>(relocmem(blocks[69], 500));
  EXPECT_EQ(static_cast<unsigned char>(grown[68]), 69u);
  EXPECT_GT(zone_used_size(z), 100000u);
  empty_zone(z);
  EXPECT_EQ(zone_used_size(z), 0u);
  zone_getmem(z, 10);
  free_zone(&z);
  EXPECT_EQ(z, nullptr);
  free_zone(&z);  // null accepted
}

TEST(Memory, PoolsRecycleBlocks) {
  mempool *pool = alloc_pool(nullptr, 40, 4);
  void *a = pool_getmem(pool, 40);
  void *b = pool_getmem(pool, 8);
  EXPECT_NE(a, b);
  EXPECT_EQ(getmem_area_size(b), 8u);
  rlsmem(a);
  void *c = pool_getmem(pool, 30);
  EXPECT_EQ(a, c);              // the freed block comes back first
  void *d = relocmem(c, 1000);  // too big for the pool: moves out
  EXPECT_EQ(getmem_area_size(d), 1000u);
  rlsmem(d);
  std::vector<void *> many;
  for (int i = 0; i < 100; ++i) many.push_back(pool_getmem(pool, 40));
  for (void *p : many) rlsmem(p);
  rlsmem(b);
  free_pool(&pool);
  EXPECT_EQ(pool, nullptr);
}

TEST(MemoryDeath, PoolRefusesOversizedRequests) {
  mempool *pool = alloc_pool(nullptr, 16, 4);
  EXPECT_DEATH(pool_getmem(pool, 17), "pool_getmem");
  free_pool(&pool);
}

TEST(Memory, FailureHandlerIsAskedAndTheRequestRetried) {
  static int calls;
  calls = 0;
  memmgr_set_failure_handler([](size_t) { return ++calls == 1 ? 1 : 0; });
  memmgr_fail_after(1);
  void *p = getmem(100);  // the first attempt fails, the handler frees, the retry works
  EXPECT_NE(p, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(get_out_of_memory_status(), 1);
  rlsmem(p);
  memmgr_set_failure_handler(nullptr);
}

TEST(MemoryDeath, UnmetRequestTakesTheFatalPath) {
  EXPECT_DEATH(getmem(SIZE_MAX - 8), "impossible request");
  memmgr_fail_after(1);
  EXPECT_DEATH(getmem(64), "out of memory");
}

TEST(Memory, EachThreadHasItsOwnManager) {
  EXPECT_EQ(memmgr_for_current_thread(), shared_memmgr());
  memmgr *seen = nullptr;
  std::thread([&] { seen = memmgr_for_current_thread(); }).join();
  EXPECT_NE(seen, nullptr);
  EXPECT_NE(seen, shared_memmgr());
  memmgr *second = nullptr;
  std::thread([&] { second = memmgr_for_current_thread(); }).join();
  EXPECT_EQ(second, seen);  // a finished thread's manager is reused
  int visited = 0;
  memmgr_visit_all([](memmgr *, void *n) { return ++*static_cast<int *>(n), 0; }, &visited);
  EXPECT_GE(visited, 2);
}

struct HookLog {
  int allocs = 0, reallocs = 0, releases = 0, started = 0;
  size_t last_size = 0;
  const char *last_owner = nullptr;
};
HookLog g_log;

const memmgr_debug_hooks kHooks = {
    [](memmgr *) { ++g_log.started; },
    [](memmgr *, void *, size_t size, const char *owner) {
      ++g_log.allocs;
      g_log.last_size = size;
      g_log.last_owner = owner;
    },
    [](memmgr *, void *, void *, size_t, const char *) { ++g_log.reallocs; },
    [](memmgr *, void *) { ++g_log.releases; },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

TEST(Memory, DebugStyleCallsTheHooksAndChecksGuards) {
  memmgr *m = alloc_memmgr("debug", MEMMGR_STYLE_DEBUG);
  g_log = {};
  memmgr_set_debug_hooks(m, &kHooks);
  EXPECT_EQ(g_log.started, 1);
  char *p = static_cast<char *>(memmgr_getmem_owned(m, 24, "owner-a"));
  EXPECT_EQ(g_log.allocs, 1);
  EXPECT_EQ(g_log.last_size, 24u);
  EXPECT_STREQ(g_log.last_owner, "owner-a");
  p = static_cast<char *>(relocmem(p, 48));
  EXPECT_EQ(g_log.reallocs, 1);
  EXPECT_EQ(g_log.allocs, 1);  // a reallocation is not a new allocation
  EXPECT_EQ(checkmem_chain(m), 0);
  EXPECT_EQ(report_memory_leaks(0), 1);
  rlsmem(p);
  EXPECT_EQ(g_log.releases, 1);
  EXPECT_EQ(report_memory_leaks(1), 0);
  memmgr_set_debug_hooks(m, nullptr);
}

TEST(MemoryDeath, DebugStyleCatchesAnOverrun) {
  memmgr *m = alloc_memmgr("overrun", MEMMGR_STYLE_DEBUG);
  char *p = static_cast<char *>(memmgr_getmem(m, 10));
  p[10] = 'x';  // one past the end: the tail guard
  EXPECT_EQ(checkmem_chain(m), 1);
  EXPECT_DEATH(rlsmem(p), "damaged");
}

TEST(Memory, ConcurrentAllocationIsSafe) {
  memmgr *m = alloc_memmgr("shared-debug", MEMMGR_STYLE_DEBUG);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([m] {
      std::vector<void *> blocks;
      for (int i = 0; i < 2000; ++i) {
        blocks.push_back(memmgr_getmem(m, static_cast<size_t>(i % 100)));
        if (i % 3 == 0) {
          rlsmem(blocks.back());
          blocks.pop_back();
        }
      }
      for (void *b : blocks) rlsmem(b);
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(checkmem_chain(m), 0);
  EXPECT_EQ(report_memory_leaks(0), 0);
}

}  // namespace
