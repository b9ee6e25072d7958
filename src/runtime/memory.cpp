// Blocks, memory managers, zones and pools.
//
// Every block carries a 16-byte header in front of the caller's bytes: the
// requested size and a tag word, the owner's address with the block kind in
// its low bits. Normal blocks sit directly on malloc, so getmem/relmem cost
// one header write over malloc/free. Debug-style blocks have in addition a
// prefix that links them into their manager's chain and guard words on both
// sides, so that the chain can be checked and the leaks listed.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "keelwork/btk_hooks.h"
#include "keelwork/memory.h"
#include "runtime/runtime_internal.h"

struct memmgr;
struct memzone;
struct mempool;

namespace kw::runtime {
namespace {

constexpr std::size_t kAlign = 16;
constexpr std::uintptr_t kKindMask = 7;
enum Kind : std::uintptr_t { kPlain = 0, kDebug = 1, kZone = 2, kPool = 3 };

struct Header {
  std::size_t size;
  std::uintptr_t tag;  // owner address | kind
};
static_assert(sizeof(Header) == kAlign);

constexpr std::uint64_t kGuard = 0x6b77677561726421ULL;  // "kwguard!"

// Precedes the Header of a debug-style block.
struct DebugPrefix {
  DebugPrefix *prev;
  DebugPrefix *next;
  const char *owner;
  std::uint64_t guard;  // kGuard ^ address of the prefix
};
static_assert(sizeof(DebugPrefix) % kAlign == 0);

constexpr std::size_t round_up(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

inline Header *header_of(const void *block) {
  return reinterpret_cast<Header *>(const_cast<char *>(static_cast<const char *>(block)) -
                                    sizeof(Header));
}
inline Kind kind_of(const Header *h) { return static_cast<Kind>(h->tag & kKindMask); }
template <class T>
inline T *owner_of(const Header *h) {
  return reinterpret_cast<T *>(h->tag & ~kKindMask);
}

std::atomic<kw_alloc_failure_handler> g_failure_handler{nullptr};
std::atomic<long> g_fail_countdown{0};
std::atomic<int> g_out_of_memory{0};
std::atomic<int> g_verbose{0};

// ---- the per-thread cache of small blocks ----------------------------------
//
// Normal-style blocks of up to kSmallMax bytes are malloc'ed rounded up to a
// 16-byte class and, when released, kept in a per-thread stack of their
// class for the next request of that class: most getmem/relmem pairs then
// never reach malloc. The cache holds at most kClassBudget bytes per class
// and is emptied when its thread ends, and when an allocation fails. Under
// AddressSanitizer it is off, so that use after release stays visible.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUseCache = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUseCache = false;
#else
constexpr bool kUseCache = true;
#endif
#else
constexpr bool kUseCache = true;
#endif

constexpr std::size_t kSmallMax = 256;
constexpr int kClasses = kSmallMax / kAlign;
constexpr std::size_t kClassBudget = 32 * 1024;

inline int size_class(std::size_t size) { return size ? static_cast<int>((size - 1) >> 4) : 0; }
inline std::size_t class_bytes(int c) { return static_cast<std::size_t>(c + 1) * kAlign; }
inline std::uint32_t class_limit(int c) {
  std::size_t n = kClassBudget / (class_bytes(c) + sizeof(Header));
  return static_cast<std::uint32_t>(n < 512 ? n : 512);
}

struct ThreadCache {
  struct Node {
    Node *next;
  };
  Node *head[kClasses] = {};
  std::uint32_t count[kClasses] = {};
  bool alive = true;

  // Frees every cached block; returns whether there were any.
  bool flush() {
    bool any = false;
    for (int c = 0; c < kClasses; ++c) {
      any = any || head[c] != nullptr;
      for (Node *n = head[c]; n;) {
        Node *next = n->next;
        std::free(n);
        n = next;
      }
      head[c] = nullptr;
      count[c] = 0;
    }
    return any;
  }
  ~ThreadCache() {
    flush();
    alive = false;  // blocks released from later destructors go to free()
  }
};

__attribute__((tls_model("initial-exec"))) thread_local ThreadCache t_cache;

bool injected_failure() {
  long n = g_fail_countdown.load(std::memory_order_relaxed);
  if (n <= 0) return false;
  n = g_fail_countdown.fetch_sub(1, std::memory_order_relaxed);
  return n == 1;
}

}  // namespace
}  // namespace kw::runtime

using namespace kw::runtime;

struct memmgr {
  int id = 0;
  char name[64] = {};
  std::atomic<int> style{MEMMGR_STYLE_NORMAL};
  std::atomic<const memmgr_debug_hooks *> hooks{nullptr};
  void *debug_info = nullptr;
  std::atomic<bool> thread_owned{false};  // in use as some thread's manager
  std::mutex chain_lock;                  // guards the debug chain
  DebugPrefix chain{};                    // circular list head
  memmgr *next = nullptr;                 // creation order

  memmgr() { chain.prev = chain.next = &chain; }
};

struct memzone {
  memmgr *mgr;
  std::size_t chunk_size;
  int flags;
  std::mutex lock;
  struct Chunk {
    Chunk *next;
    std::size_t size;
  } *chunks = nullptr;  // newest first; the last one is the first chunk
  char *cur = nullptr;
  char *end = nullptr;
  std::size_t used = 0;
};

struct mempool {
  memmgr *mgr;
  std::size_t block_size;  // caller bytes, rounded to kAlign
  int per_chunk;
  std::mutex lock;
  struct Node {
    Node *next;
  } *free_list = nullptr;
  void *chunks = nullptr;  // xar-free singly linked list of chunk blocks
};

namespace {

// ---- the manager registry ---------------------------------------------------

std::mutex &registry_lock() {
  static std::mutex m;
  return m;
}

memmgr *g_first_mgr = nullptr;
memmgr *g_last_mgr = nullptr;
int g_next_id = 0;

void register_mgr(memmgr *m) {
  std::lock_guard<std::mutex> g(registry_lock());
  m->id = g_next_id++;
  if (g_last_mgr)
    g_last_mgr->next = m;
  else
    g_first_mgr = m;
  g_last_mgr = m;
}

int initial_style() {
  const char *s = std::getenv("KEELWORK_MEMMGR_STYLE");
  if (s && (std::strcmp(s, "2") == 0 || std::strcmp(s, "debug") == 0)) return MEMMGR_STYLE_DEBUG;
  return MEMMGR_STYLE_NORMAL;
}

memmgr *make_shared_mgr() {
  // Never destroyed: blocks may be released from static destructors.
  auto *m = new memmgr;
  std::snprintf(m->name, sizeof m->name, "%s", "shared");
  m->style.store(initial_style(), std::memory_order_relaxed);
  register_mgr(m);
  return m;
}

memmgr *g_shared_mgr = nullptr;

memmgr *shared_slow() {
  static memmgr *const m = make_shared_mgr();
  __atomic_store_n(&g_shared_mgr, m, __ATOMIC_RELEASE);
  return m;
}

inline memmgr *shared() {
  memmgr *m = __atomic_load_n(&g_shared_mgr, __ATOMIC_ACQUIRE);
  return __builtin_expect(m != nullptr, 1) ? m : shared_slow();
}

inline memmgr *or_shared(memmgr *m) { return m ? m : shared(); }

// ---- system allocation ----------------------------------------------------------

void *raw_alloc(memmgr *m, std::size_t bytes, std::size_t request, const char *where) {
  for (;;) {
    void *p = injected_failure() ? nullptr : std::malloc(bytes);
    if (p) return p;
    if (kUseCache && t_cache.alive && t_cache.flush()) {  // give cached blocks back first
      if ((p = std::malloc(bytes))) return p;
    }
    g_out_of_memory.store(1, std::memory_order_relaxed);
    kw_alloc_failure_handler h = g_failure_handler.load(std::memory_order_acquire);
    if (h && h(bytes)) continue;
    memmgr_fatal_error(m, where, "out of memory: a request of %zu bytes was refused", request);
  }
}

void *raw_realloc(memmgr *m, void *old, std::size_t bytes, std::size_t request, const char *where) {
  for (;;) {
    void *p = injected_failure() ? nullptr : std::realloc(old, bytes);
    if (p) return p;
    g_out_of_memory.store(1, std::memory_order_relaxed);
    kw_alloc_failure_handler h = g_failure_handler.load(std::memory_order_acquire);
    if (h && h(bytes)) continue;
    memmgr_fatal_error(m, where, "out of memory: a request of %zu bytes was refused", request);
  }
}

std::size_t checked_total(memmgr *m, std::size_t size, std::size_t overhead, const char *where) {
  if (size > SIZE_MAX / 2 - overhead)
    memmgr_fatal_error(m, where, "impossible request of %zu bytes", size);
  return size + overhead;
}

// ---- debug-style blocks ---------------------------------------------------------

constexpr std::size_t kDebugOverhead = sizeof(DebugPrefix) + sizeof(Header) + sizeof(kGuard);

inline DebugPrefix *prefix_of(Header *h) { return reinterpret_cast<DebugPrefix *>(h) - 1; }

void write_tail_guard(Header *h) {
  std::uint64_t g = kGuard ^ reinterpret_cast<std::uintptr_t>(h);
  std::memcpy(reinterpret_cast<char *>(h + 1) + h->size, &g, sizeof g);
}

bool block_sound(Header *h) {
  DebugPrefix *p = prefix_of(h);
  if (p->guard != (kGuard ^ reinterpret_cast<std::uintptr_t>(p))) return false;
  std::uint64_t g;
  std::memcpy(&g, reinterpret_cast<char *>(h + 1) + h->size, sizeof g);
  return g == (kGuard ^ reinterpret_cast<std::uintptr_t>(h));
}

void chain_link(memmgr *m, DebugPrefix *p) {
  std::lock_guard<std::mutex> g(m->chain_lock);
  p->next = m->chain.next;
  p->prev = &m->chain;
  m->chain.next->prev = p;
  m->chain.next = p;
}

void chain_unlink(memmgr *m, DebugPrefix *p) {
  std::lock_guard<std::mutex> g(m->chain_lock);
  p->prev->next = p->next;
  p->next->prev = p->prev;
  p->prev = p->next = nullptr;
}

void *debug_alloc(memmgr *m, std::size_t size, const char *owner, bool call_hook) {
  std::size_t total = checked_total(m, size, kDebugOverhead, "getmem");
  auto *p = static_cast<DebugPrefix *>(raw_alloc(m, total, size, "getmem"));
  p->owner = owner;
  p->guard = kGuard ^ reinterpret_cast<std::uintptr_t>(p);
  auto *h = reinterpret_cast<Header *>(p + 1);
  h->size = size;
  h->tag = reinterpret_cast<std::uintptr_t>(m) | kDebug;
  write_tail_guard(h);
  chain_link(m, p);
  if (call_hook) {
    if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire); hk && hk->allocate)
      hk->allocate(m, h + 1, size, owner);
  }
  return h + 1;
}

void debug_release(Header *h, bool call_hook) {
  memmgr *m = owner_of<memmgr>(h);
  if (!block_sound(h))
    memmgr_fatal_error(m, "relmem", "block %p of %zu bytes is damaged (guard words overwritten)",
                       static_cast<void *>(h + 1), h->size);
  if (call_hook) {
    if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire); hk && hk->release)
      hk->release(m, h + 1);
  }
  DebugPrefix *p = prefix_of(h);
  chain_unlink(m, p);
  p->guard = 0;
  std::free(p);
}

// ---- plain blocks -----------------------------------------------------------------

void *slow_alloc(memmgr *m, std::size_t size, const char *owner) {
  if (m->style.load(std::memory_order_relaxed) == MEMMGR_STYLE_DEBUG)
    return debug_alloc(m, size, owner, true);
  std::size_t rounded = size <= kSmallMax ? class_bytes(size_class(size)) : size;
  std::size_t total = checked_total(m, rounded, sizeof(Header), "getmem");
  auto *h = static_cast<Header *>(raw_alloc(m, total, size, "getmem"));
  h->size = size;
  h->tag = reinterpret_cast<std::uintptr_t>(m);
  return h + 1;
}

// The common case inline: a normal-style manager, no injected failure, a
// request malloc meets. Everything else takes slow_alloc.
inline void *plain_alloc(memmgr *m, std::size_t size, const char *owner) {
  if (__builtin_expect(m->style.load(std::memory_order_relaxed) != MEMMGR_STYLE_NORMAL ||
                           g_fail_countdown.load(std::memory_order_relaxed) != 0 ||
                           size > (SIZE_MAX >> 2),
                       0))
    return slow_alloc(m, size, owner);
  Header *h;
  if (size <= kSmallMax) {
    int c = size_class(size);
    if (kUseCache && t_cache.head[c]) {
      ThreadCache::Node *n = t_cache.head[c];
      t_cache.head[c] = n->next;
      --t_cache.count[c];
      h = reinterpret_cast<Header *>(n);
    } else {
      h = static_cast<Header *>(std::malloc(class_bytes(c) + sizeof(Header)));
    }
  } else {
    h = static_cast<Header *>(std::malloc(size + sizeof(Header)));
  }
  if (__builtin_expect(!h, 0)) return slow_alloc(m, size, owner);
  h->size = size;
  h->tag = reinterpret_cast<std::uintptr_t>(m);
  return h + 1;
}

void pool_release(Header *h);

inline void release_block(void *block) {
  Header *h = header_of(block);
  if (__builtin_expect(kind_of(h) == kPlain, 1)) {
    if (kUseCache && h->size <= kSmallMax && t_cache.alive) {
      int c = size_class(h->size);
      if (t_cache.count[c] < class_limit(c)) {
        auto *n = reinterpret_cast<ThreadCache::Node *>(h);
        n->next = t_cache.head[c];
        t_cache.head[c] = n;
        ++t_cache.count[c];
        return;
      }
    }
    std::free(h);
    return;
  }
  switch (kind_of(h)) {
    case kPlain:
      std::free(h);
      return;
    case kDebug:
      debug_release(h, true);
      return;
    case kZone:
      return;  // zone blocks live until their zone is emptied
    case kPool:
      pool_release(h);
      return;
    default:
      memmgr_fatal_error(nullptr, "relmem", "%p is not a block of the memory manager", block);
  }
}

memmgr *manager_of(const Header *h) {
  switch (kind_of(h)) {
    case kPlain:
    case kDebug:
      return owner_of<memmgr>(h);
    case kZone:
      return owner_of<memzone>(h)->mgr;
    case kPool:
      return owner_of<mempool>(h)->mgr;
    default:
      return nullptr;
  }
}

// ---- per-thread managers --------------------------------------------------------

struct ThreadMgrSlot {
  memmgr *mgr = nullptr;
  ~ThreadMgrSlot() {
    if (mgr) mgr->thread_owned.store(false, std::memory_order_release);
  }
};
thread_local ThreadMgrSlot t_mgr;

memmgr *claim_thread_mgr() {
  {
    std::lock_guard<std::mutex> g(registry_lock());
    for (memmgr *m = g_first_mgr; m; m = m->next) {
      bool expected = false;
      if (std::strncmp(m->name, "thread ", 7) == 0 &&
          m->thread_owned.compare_exchange_strong(expected, true))
        return m;
    }
  }
  memmgr *m = alloc_memmgr("thread", shared()->style.load(std::memory_order_relaxed));
  std::snprintf(m->name, sizeof m->name, "thread %d", m->id);
  m->thread_owned.store(true);
  return m;
}

}  // namespace

// ---- runtime-internal entry points --------------------------------------------------

namespace kw::runtime {

void *sys_alloc(std::size_t size, const char *where) {
  return raw_alloc(shared(), size ? size : 1, size, where);
}

void *sys_realloc(void *block, std::size_t size, const char *where) {
  return raw_realloc(shared(), block, size ? size : 1, size, where);
}

}  // namespace kw::runtime

// ---- blocks -------------------------------------------------------------------------

KW_API void *getmem(size_t size) { return plain_alloc(shared(), size, nullptr); }

KW_API void *memmgr_getmem(memmgr *manager, size_t size) {
  return plain_alloc(or_shared(manager), size, nullptr);
}

KW_API void *memmgr_getmem_owned(memmgr *manager, size_t size, const char *owner) {
  return plain_alloc(or_shared(manager), size, owner);
}

KW_API void relmem(void *pointer_address) {
  if (!pointer_address) return;
  void **pp = static_cast<void **>(pointer_address);
  if (*pp) release_block(*pp);
  *pp = nullptr;
}

KW_API void rlsmem(void *block) {
  if (block) release_block(block);
}

KW_API void *relocmem(void *block, size_t size) {
  if (!block) return getmem(size);
  Header *h = header_of(block);
  switch (kind_of(h)) {
    case kPlain: {
      // Small blocks keep the capacity of their class, which the cache of
      // released blocks relies on.
      memmgr *m = owner_of<memmgr>(h);
      std::size_t rounded = size <= kSmallMax ? class_bytes(size_class(size)) : size;
      std::size_t total = checked_total(m, rounded, sizeof(Header), "relocmem");
      h = static_cast<Header *>(raw_realloc(m, h, total, size, "relocmem"));
      h->size = size;
      return h + 1;
    }
    case kDebug: {
      memmgr *m = owner_of<memmgr>(h);
      DebugPrefix *old_prefix = prefix_of(h);
      void *fresh = debug_alloc(m, size, old_prefix->owner, false);
      std::memcpy(fresh, block, std::min(size, h->size));
      if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire);
          hk && hk->reallocate)
        hk->reallocate(m, block, fresh, size, old_prefix->owner);
      debug_release(h, false);
      return fresh;
    }
    case kZone: {
      memzone *z = owner_of<memzone>(h);
      void *fresh = zone_getmem(z, size);
      std::memcpy(fresh, block, std::min(size, h->size));
      return fresh;
    }
    case kPool: {
      mempool *p = owner_of<mempool>(h);
      if (size <= p->block_size) {
        h->size = size;
        return block;
      }
      void *fresh = plain_alloc(p->mgr, size, nullptr);
      std::memcpy(fresh, block, h->size);
      pool_release(h);
      return fresh;
    }
    default:
      memmgr_fatal_error(nullptr, "relocmem", "%p is not a block of the memory manager", block);
  }
}

KW_API size_t getmem_area_size(const void *block) { return block ? header_of(block)->size : 0; }

KW_API memmgr *getmem_area_find_memmgr(const void *block) {
  return block ? manager_of(header_of(block)) : nullptr;
}

// ---- managers -------------------------------------------------------------------------

KW_API memmgr *alloc_memmgr(const char *name, int style) {
  auto *m = new (sys_alloc(sizeof(memmgr), "alloc_memmgr")) memmgr;
  std::snprintf(m->name, sizeof m->name, "%s", name ? name : "");
  m->style.store(style == MEMMGR_STYLE_DEBUG ? MEMMGR_STYLE_DEBUG : MEMMGR_STYLE_NORMAL);
  register_mgr(m);
  return m;
}

KW_API memmgr *shared_memmgr(void) { return shared(); }

KW_API memmgr *memmgr_for_current_thread(void) {
  if (thrThread_IsMainThread()) return shared();
  if (!t_mgr.mgr) t_mgr.mgr = claim_thread_mgr();
  return t_mgr.mgr;
}

KW_API const char *memmgr_name(const memmgr *manager) {
  return (manager ? manager : shared())->name;
}

KW_API int memmgr_id(const memmgr *manager) { return (manager ? manager : shared())->id; }

KW_API int memmgr_style(const memmgr *manager) {
  return (manager ? manager : shared())->style.load(std::memory_order_relaxed);
}

KW_API int memmgr_set_style(memmgr *manager, int style) {
  memmgr *m = or_shared(manager);
  return m->style.exchange(style == MEMMGR_STYLE_DEBUG ? MEMMGR_STYLE_DEBUG : MEMMGR_STYLE_NORMAL);
}

KW_API int memmgr_visit_all(int (*visit)(memmgr *, void *), void *arg) {
  if (!visit) return 0;
  shared();
  std::vector<memmgr *> all;
  {
    std::lock_guard<std::mutex> g(registry_lock());
    for (memmgr *m = g_first_mgr; m; m = m->next) all.push_back(m);
  }
  for (memmgr *m : all)
    if (int r = visit(m, arg)) return r;
  return 0;
}

KW_API void **memmgr_debug_info(memmgr *manager) {
  return manager ? &manager->debug_info : nullptr;
}

// ---- zones ------------------------------------------------------------------------------

namespace {

constexpr std::size_t kChunkHead = round_up(sizeof(memzone::Chunk));

void zone_new_chunk(memzone *z, std::size_t need) {
  std::size_t size = std::max(z->chunk_size, need + kChunkHead);
  auto *c = static_cast<memzone::Chunk *>(memmgr_getmem_owned(z->mgr, size, "~memmgr"));
  c->size = size;
  c->next = z->chunks;
  z->chunks = c;
  z->cur = reinterpret_cast<char *>(c) + kChunkHead;
  z->end = reinterpret_cast<char *>(c) + size;
}

void *zone_carve(memzone *z, std::size_t size) {
  std::size_t need = round_up(size) + sizeof(Header);
  if (size > SIZE_MAX / 4)
    memmgr_fatal_error(z->mgr, "zone_getmem", "impossible request of %zu bytes", size);
  if (!z->cur || static_cast<std::size_t>(z->end - z->cur) < need) zone_new_chunk(z, need);
  auto *h = reinterpret_cast<Header *>(z->cur);
  z->cur += need;
  z->used += size;
  h->size = size;
  h->tag = reinterpret_cast<std::uintptr_t>(z) | kZone;
  return h + 1;
}

}  // namespace

KW_API memzone *alloc_zone(memmgr *manager, size_t chunk_size, int flags) {
  memmgr *m = or_shared(manager);
  auto *z = new (memmgr_getmem_owned(m, sizeof(memzone), "~memmgr")) memzone;
  z->mgr = m;
  z->chunk_size = round_up(std::max<std::size_t>(chunk_size, 1024));
  z->flags = flags;
  if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire);
      hk && hk->zone_update)
    hk->zone_update(m, z, 1);
  return z;
}

KW_API void *zone_getmem(memzone *zone, size_t size) {
  if (!zone) return getmem(size);
  if (zone->flags & KW_ZONE_LOCKED) {
    std::lock_guard<std::mutex> g(zone->lock);
    return zone_carve(zone, size);
  }
  return zone_carve(zone, size);
}

KW_API void empty_zone(memzone *zone) {
  if (!zone) return;
  std::unique_lock<std::mutex> g(zone->lock, std::defer_lock);
  if (zone->flags & KW_ZONE_LOCKED) g.lock();
  memzone::Chunk *c = zone->chunks;
  while (c && c->next) {  // keep the first (oldest) chunk
    memzone::Chunk *next = c->next;
    rlsmem(c);
    c = next;
  }
  zone->chunks = c;
  zone->cur = c ? reinterpret_cast<char *>(c) + kChunkHead : nullptr;
  zone->end = c ? reinterpret_cast<char *>(c) + c->size : nullptr;
  zone->used = 0;
}

KW_API void free_zone(memzone **zone_address) {
  if (!zone_address || !*zone_address) return;
  memzone *z = *zone_address;
  *zone_address = nullptr;
  for (memzone::Chunk *c = z->chunks; c;) {
    memzone::Chunk *next = c->next;
    rlsmem(c);
    c = next;
  }
  memmgr *m = z->mgr;
  if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire);
      hk && hk->zone_update)
    hk->zone_update(m, z, 0);
  z->~memzone();
  rlsmem(z);
}

KW_API size_t zone_used_size(const memzone *zone) { return zone ? zone->used : 0; }

KW_API memmgr *zone_memmgr(const memzone *zone) { return zone ? zone->mgr : nullptr; }

// ---- pools --------------------------------------------------------------------------------

namespace {

void pool_release(Header *h) {
  mempool *p = owner_of<mempool>(h);
  auto *node = reinterpret_cast<mempool::Node *>(h);
  std::lock_guard<std::mutex> g(p->lock);
  node->next = p->free_list;
  p->free_list = node;
}

void pool_grow(mempool *p) {
  std::size_t slot = p->block_size + sizeof(Header);
  auto *chunk = static_cast<char *>(memmgr_getmem_owned(
      p->mgr, kAlign + slot * static_cast<std::size_t>(p->per_chunk), "~memmgr"));
  *reinterpret_cast<void **>(chunk) = p->chunks;
  p->chunks = chunk;
  char *first = chunk + kAlign;
  for (int i = p->per_chunk - 1; i >= 0; --i) {
    auto *node = reinterpret_cast<mempool::Node *>(first + slot * static_cast<std::size_t>(i));
    node->next = p->free_list;
    p->free_list = node;
  }
}

}  // namespace

KW_API mempool *alloc_pool(memmgr *manager, size_t block_size, int blocks_per_chunk) {
  memmgr *m = or_shared(manager);
  auto *p = new (memmgr_getmem_owned(m, sizeof(mempool), "~memmgr")) mempool;
  p->mgr = m;
  p->block_size = round_up(std::max<std::size_t>(block_size, 1));
  p->per_chunk = std::max(blocks_per_chunk, 1);
  return p;
}

KW_API void *pool_getmem(mempool *pool, size_t size) {
  if (!pool) return getmem(size);
  if (size > pool->block_size)
    memmgr_fatal_error(pool->mgr, "pool_getmem",
                       "request of %zu bytes from a pool of %zu-byte blocks", size,
                       pool->block_size);
  std::lock_guard<std::mutex> g(pool->lock);
  if (!pool->free_list) pool_grow(pool);
  mempool::Node *node = pool->free_list;
  pool->free_list = node->next;
  auto *h = reinterpret_cast<Header *>(node);
  h->size = size;
  h->tag = reinterpret_cast<std::uintptr_t>(pool) | kPool;
  return h + 1;
}

KW_API void empty_pool(mempool *pool) {
  if (!pool) return;
  std::lock_guard<std::mutex> g(pool->lock);
  for (void *c = pool->chunks; c;) {
    void *next = *static_cast<void **>(c);
    rlsmem(c);
    c = next;
  }
  pool->chunks = nullptr;
  pool->free_list = nullptr;
}

KW_API void free_pool(mempool **pool_address) {
  if (!pool_address || !*pool_address) return;
  mempool *p = *pool_address;
  *pool_address = nullptr;
  empty_pool(p);
  p->~mempool();
  rlsmem(p);
}

// ---- usage, failures and messages ------------------------------------------------------------

KW_API size_t get_memory_usage(void) {
  struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;
}

KW_API int get_out_of_memory_status(void) {
  return g_out_of_memory.load(std::memory_order_relaxed);
}

KW_API kw_alloc_failure_handler memmgr_set_failure_handler(kw_alloc_failure_handler handler) {
  return g_failure_handler.exchange(handler, std::memory_order_acq_rel);
}

KW_API void memmgr_fail_after(long countdown) {
  g_fail_countdown.store(countdown > 0 ? countdown : 0, std::memory_order_relaxed);
}

KW_API int memmgr_verbose(void) { return g_verbose.load(std::memory_order_relaxed); }

KW_API int set_memmgr_verbose(int flag) { return g_verbose.exchange(flag); }

namespace {

void vmessage(memmgr *manager, const char *kind, const char *where, const char *format,
              std::va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format ? format : "", args);
  char line[1200];
  std::snprintf(line, sizeof line, "%s%s[%s] %s: %s\n", kind, kind[0] ? " " : "",
                manager ? manager->name : "memmgr", where ? where : "", text);
  write_stderr(line);
}

}  // namespace

KW_API void memmgr_info_msg(memmgr *manager, const char *where, const char *format, ...) {
  std::va_list args;
  va_start(args, format);
  vmessage(manager, "", where, format, args);
  va_end(args);
}

KW_API void memmgr_fatal_error(memmgr *manager, const char *where, const char *format, ...) {
  std::va_list args;
  va_start(args, format);
  vmessage(manager, "FATAL memory error", where, format, args);
  va_end(args);
  btkCrash();
}

// ---- debugging ------------------------------------------------------------------------------

KW_API const memmgr_debug_hooks *memmgr_set_debug_hooks(memmgr *manager,
                                                        const memmgr_debug_hooks *hooks) {
  memmgr *m = or_shared(manager);
  const memmgr_debug_hooks *old = m->hooks.exchange(hooks, std::memory_order_acq_rel);
  if (hooks && hooks->start) hooks->start(m);
  return old;
}

KW_API const memmgr_debug_hooks *memmgr_get_debug_hooks(const memmgr *manager) {
  return (manager ? manager : shared())->hooks.load(std::memory_order_acquire);
}

KW_API void memmgr_debug_pause(memmgr *manager, int on) {
  memmgr *m = or_shared(manager);
  if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire); hk && hk->pause)
    hk->pause(m, on);
}

namespace {

int check_one(memmgr *m) {
  int damaged = 0;
  {
    std::lock_guard<std::mutex> g(m->chain_lock);
    for (DebugPrefix *p = m->chain.next; p != &m->chain; p = p->next) {
      auto *h = reinterpret_cast<Header *>(p + 1);
      if (p->next->prev != p || !block_sound(h)) {
        ++damaged;
        memmgr_info_msg(m, "checkmem_chain", "block %p is damaged", static_cast<void *>(h + 1));
      }
    }
  }
  if (const memmgr_debug_hooks *hk = m->hooks.load(std::memory_order_acquire); hk && hk->check)
    hk->check(m);
  return damaged;
}

}  // namespace

KW_API int checkmem_chain(memmgr *manager) {
  if (manager) return check_one(manager);
  int damaged = 0;
  memmgr_visit_all(
      [](memmgr *m, void *arg) {
        *static_cast<int *>(arg) += check_one(m);
        return 0;
      },
      &damaged);
  return damaged;
}

KW_API int report_memory_leaks(int after_exit) {
  struct Ctx {
    int after_exit;
    int count;
  } ctx{after_exit, 0};
  memmgr_visit_all(
      [](memmgr *m, void *arg) {
        auto *c = static_cast<Ctx *>(arg);
        std::lock_guard<std::mutex> g(m->chain_lock);
        for (DebugPrefix *p = m->chain.prev; p != &m->chain; p = p->prev) {
          auto *h = reinterpret_cast<Header *>(p + 1);
          if (p->owner && std::strcmp(p->owner, "~memmgr") == 0) continue;
          ++c->count;
          memmgr_info_msg(m, "report_memory_leaks", "%s block %p of %zu bytes not released%s%s",
                          c->after_exit ? "after exit:" : "", static_cast<void *>(h + 1), h->size,
                          p->owner ? ", owner " : "", p->owner ? p->owner : "");
        }
        return 0;
      },
      &ctx);
  return ctx.count;
}

KW_API void debug_memory_not_released(size_t size, const void *block, const char *format, ...) {
  char text[512];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format ? format : "", args);
  va_end(args);
  memmgr_info_msg(getmem_area_find_memmgr(block), "debug_memory_not_released",
                  "block %p of %zu bytes will not be released %s", block, size, text);
}

KW_API int get_dbg_memory_config(void) {
  return static_cast<int>(env_long("KEELWORK_MEMORY_CONFIG", 0));
}
