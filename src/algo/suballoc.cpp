// The block sub-allocator and the per-thread zone allocator.
#include <atomic>

#include "algo/algo_internal.h"
#include "keelwork/memory.h"
#include "keelwork/runmode.h"
#include "keelwork/suballoc.h"
#include "keelwork/thread.h"
#include "keelwork/vexformat.h"

using kw::algo::slot;

namespace {

constexpr int kBlocksIncrement = 10;
// Blocks are carved at 8-byte boundaries so that callers may keep pointers
// and doubles in what they get.
constexpr int kAlign = 8;

inline int align_up(int n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// The user run mode gets a printed message and a refusal; any other run
// mode treats the misuse as a crash.
void misuse(const char *text) {
  vex_printf("%s", text);
  if (!user_run_mode()) crash();
}

kw_mem_block *blocks_of(void *blocks_address) {
  return static_cast<kw_mem_block *>(slot(blocks_address));
}

// The thread-local slot of the zones; null before init_w_getmem and after
// destroy_w_getmem.
std::atomic<thrLocalObject *> g_zone_key{nullptr};

void release_zone(void *zone) {
  auto *z = static_cast<memzone *>(zone);
  free_zone(&z);
}

}  // namespace

KW_API void *block_getmem(void *blocks_address, int size, int block_size, int reserve) {
  if (!blocks_address || size < 0 || reserve < 0) return nullptr;
  int effective = block_size > 0 ? block_size : KW_BLOCK_GETMEM_DEFAULT;
  if (static_cast<int64_t>(size) + reserve > effective) {
    misuse("block_getmem: requested size larger than block!\n");
    return nullptr;
  }
  if (!slot(blocks_address))
    slot(blocks_address) = xar_alloc(0, sizeof(kw_mem_block), kBlocksIncrement);
  int n = xar_count(blocks_address);
  if (n > 0) {
    kw_mem_block &last = blocks_of(blocks_address)[n - 1];
    int start = align_up(last.used);
    if (static_cast<int64_t>(start) + size + reserve <= effective &&
        getmem_area_size(last.block) >= static_cast<std::size_t>(start + size + reserve)) {
      last.used = start + size;
      return static_cast<char *>(last.block) + start;
    }
  }
  kw_mem_block fresh{getmem(effective), size};
  xar_append(blocks_address, 1, &fresh);
  return fresh.block;
}

KW_API void block_truncate(void *blocks_address, int size) {
  if (!blocks_address || !slot(blocks_address)) return;
  int n = xar_count(blocks_address);
  if (n == 0 || size < 0 || size > blocks_of(blocks_address)[n - 1].used) {
    misuse("block_truncate: requested size larger than block!\n");
    return;
  }
  blocks_of(blocks_address)[n - 1].used -= size;
}

KW_API void block_rlsmem(void *blocks_address) {
  if (!blocks_address || !slot(blocks_address)) return;
  kw_mem_block *b = blocks_of(blocks_address);
  int n = xar_count(blocks_address);
  for (int i = 0; i < n; ++i) relmem(&b[i].block);
  xar_free(blocks_address);
}

KW_API void init_w_getmem(void) {
  if (g_zone_key.load(std::memory_order_acquire)) return;
  LockInitializationMutex();
  if (!g_zone_key.load(std::memory_order_relaxed))
    g_zone_key.store(thrLocalObject_Create(release_zone), std::memory_order_release);
  UnlockInitializationMutex();
}

KW_API void start_w_getmem(void) {
  init_w_getmem();
  thrLocalObject *key = g_zone_key.load(std::memory_order_acquire);
  if (thrLocalObject_GetData(key)) return;
  thrLocalObject_SetData(key, alloc_zone(memmgr_for_current_thread(), 32768, 0));
}

KW_API void *w_getmem(size_t size) {
  thrLocalObject *key = g_zone_key.load(std::memory_order_acquire);
  auto *zone = key ? static_cast<memzone *>(thrLocalObject_GetData(key)) : nullptr;
  if (!zone) {
    start_w_getmem();
    zone = static_cast<memzone *>(thrLocalObject_GetData(g_zone_key.load()));
  }
  return zone_getmem(zone, size);
}

KW_API void end_w_getmem(void) {
  thrLocalObject *key = g_zone_key.load(std::memory_order_acquire);
  if (!key) return;
  auto *zone = static_cast<memzone *>(thrLocalObject_GetData(key));
  if (!zone) return;
  thrLocalObject_SetData(key, nullptr);
  free_zone(&zone);
}

KW_API void destroy_w_getmem(void) {
  LockInitializationMutex();
  thrLocalObject *key = g_zone_key.exchange(nullptr);
  UnlockInitializationMutex();
  if (!key) {
    kw::algo::reject("destroy_w_getmem",
                     "Attempt to delete w_zone_key twice or to delete uninitialized w_zone_key!");
    return;
  }
  // The calling thread's zone goes with the slot; other threads must have
  // ended theirs.
  if (auto *zone = static_cast<memzone *>(thrLocalObject_GetData(key))) free_zone(&zone);
  thrLocalObject_Destroy(key);
}
