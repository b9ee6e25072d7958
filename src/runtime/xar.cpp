// Extensible arrays: a header in front of the elements, the caller holding a
// pointer to the first element.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#include "keelwork/xar.h"
#include "runtime/runtime_internal.h"

namespace {

constexpr std::uint32_t kXarMagic = 0x78617221;  // "xar!"

struct alignas(16) XarHeader {
  std::int32_t count;
  std::int32_t capacity;
  std::int32_t elsize;
  std::int32_t increment;
  std::uint32_t magic;
  std::uint32_t reserved;
};
static_assert(sizeof(XarHeader) == 32);

std::atomic<int> g_force_ext{0};

inline XarHeader *hdr(const void *array) {
  return reinterpret_cast<XarHeader *>(const_cast<char *>(static_cast<const char *>(array))) - 1;
}
inline char *elems(XarHeader *h) { return reinterpret_cast<char *>(h + 1); }
inline void *&slot(void *array_address) { return *static_cast<void **>(array_address); }

std::int64_t max_count(std::int64_t elsize) {
  if (elsize < 1) elsize = 1;
  return (INT32_MAX - 64) / elsize;
}

XarHeader *new_array(memmgr *mgr, int count, int capacity, int elsize, int increment) {
  std::size_t bytes = sizeof(XarHeader) + static_cast<std::size_t>(capacity) * elsize;
  auto *h = static_cast<XarHeader *>(memmgr_getmem(mgr, bytes));
  h->count = count;
  h->capacity = capacity;
  h->elsize = elsize;
  h->increment = increment;
  h->magic = kXarMagic;
  h->reserved = 0;
  std::memset(elems(h), 0, static_cast<std::size_t>(count) * elsize);
  return h;
}

// Makes room for `needed` elements; false when the count would pass the
// largest allowed one.
bool reserve(void *array_address, std::int64_t needed) {
  XarHeader *h = hdr(slot(array_address));
  if (needed <= h->capacity) return true;
  std::int64_t limit = max_count(h->elsize);
  if (needed > limit) return false;
  std::int64_t cap = h->capacity + std::max<std::int64_t>(h->increment, 1);
  if (!g_force_ext.load(std::memory_order_relaxed))
    cap = std::max<std::int64_t>(cap, h->capacity + h->capacity / 2);
  cap = std::min(std::max(cap, needed), limit);
  std::size_t bytes = sizeof(XarHeader) + static_cast<std::size_t>(cap) * h->elsize;
  h = static_cast<XarHeader *>(relocmem(h, bytes));
  h->capacity = static_cast<std::int32_t>(cap);
  slot(array_address) = elems(h);
  return true;
}

bool sound(const void *array) {
  if (!array) return true;
  if (reinterpret_cast<std::uintptr_t>(array) % 16) return false;
  const XarHeader *h = hdr(array);
  return h->magic == kXarMagic && h->count >= 0 && h->count <= h->capacity && h->elsize > 0 &&
         h->increment > 0;
}

}  // namespace

KW_API void *xar_alloc(int count, int element_size, int increment) {
  return memmgr_xar_alloc(nullptr, count, element_size, increment);
}

KW_API void *memmgr_xar_alloc(memmgr *manager, int count, int element_size, int increment) {
  if (count < 0 || element_size < 1 || count > max_count(element_size)) return nullptr;
  if (increment < 1) increment = 1;
  int capacity = std::max(count, 1);
  return elems(new_array(manager, count, capacity, element_size, increment));
}

KW_API int xar_count(const void *array_address) {
  const void *a = array_address ? *static_cast<void *const *>(array_address) : nullptr;
  return a ? hdr(a)->count : 0;
}

KW_API int xar_count_if_valid(const void *array_address) {
  const void *a = array_address ? *static_cast<void *const *>(array_address) : nullptr;
  if (!sound(a)) return -1;
  return a ? hdr(a)->count : 0;
}

KW_API int xar_max_count_get(int element_size) { return static_cast<int>(max_count(element_size)); }

KW_API void *xar_last(const void *array) {
  if (!array) return nullptr;
  XarHeader *h = hdr(array);
  return h->count ? elems(h) + static_cast<std::size_t>(h->count - 1) * h->elsize : nullptr;
}

KW_API int xar_params(const void *array, int *element_size, int *increment, int *count,
                      int *max_count_out) {
  if (!array || !sound(array)) return -1;
  const XarHeader *h = hdr(array);
  if (element_size) *element_size = h->elsize;
  if (increment) *increment = h->increment;
  if (count) *count = h->count;
  if (max_count_out) *max_count_out = static_cast<int>(max_count(h->elsize));
  return 0;
}

KW_API int xar_capacity(const void *array) { return array ? hdr(array)->capacity : 0; }

KW_API int debug_xar_invalid(const void *array) { return sound(array) ? 0 : 1; }

KW_API int debug_xar_force_ext_no(int flag) { return g_force_ext.exchange(flag ? 1 : 0); }

KW_API int xar_append(void *array_address, int n, const void *source) {
  // Appending with room to spare is the hot path of every growing array.
  if (array_address && slot(array_address) && n > 0) {
    XarHeader *h = hdr(slot(array_address));
    if (h->capacity - h->count >= n) {
      std::size_t es = static_cast<std::size_t>(h->elsize);
      char *at = elems(h) + static_cast<std::size_t>(h->count) * es;
      if (source)
        std::memcpy(at, source, static_cast<std::size_t>(n) * es);
      else
        std::memset(at, 0, static_cast<std::size_t>(n) * es);
      h->count += n;
      return 0;
    }
  }
  return xar_insert(array_address, xar_count(array_address), n, source);
}

KW_API void *xar_extend(void *array_address, int n) {
  if (!array_address || !slot(array_address)) return nullptr;
  int at = xar_count(array_address);
  if (xar_insert(array_address, at, n, nullptr) != 0) return nullptr;
  XarHeader *h = hdr(slot(array_address));
  return elems(h) + static_cast<std::size_t>(at) * h->elsize;
}

KW_API int xar_insert(void *array_address, int index, int n, const void *source) {
  if (!array_address || !slot(array_address) || n < 0) return -1;
  XarHeader *h = hdr(slot(array_address));
  if (index < 0 || index > h->count) return -1;
  if (n == 0) return 0;
  if (!reserve(array_address, static_cast<std::int64_t>(h->count) + n)) return -1;
  h = hdr(slot(array_address));
  std::size_t es = h->elsize;
  char *at = elems(h) + index * es;
  std::memmove(at + n * es, at, (h->count - index) * es);
  if (source)
    std::memcpy(at, source, n * es);
  else
    std::memset(at, 0, n * es);
  h->count += n;
  return 0;
}

KW_API int xar_remove(void *array_address, int index, int n) {
  if (!array_address || !slot(array_address) || n <= 0) return 0;
  XarHeader *h = hdr(slot(array_address));
  if (index < 0) {
    n += index;
    index = 0;
  }
  if (index >= h->count || n <= 0) return 0;
  n = std::min(n, h->count - index);
  std::size_t es = h->elsize;
  char *at = elems(h) + index * es;
  std::memmove(at, at + n * es, (h->count - index - n) * es);
  h->count -= n;
  return n;
}

KW_API int xar_resize(void *array_address, int count) {
  if (!array_address || !slot(array_address) || count < 0) return -1;
  XarHeader *h = hdr(slot(array_address));
  if (count <= h->count) {
    h->count = count;
    return 0;
  }
  return xar_insert(array_address, h->count, count - h->count, nullptr);
}

KW_API int xar_shrink(void *array_address, int n) {
  if (!array_address || !slot(array_address) || n <= 0) return 0;
  XarHeader *h = hdr(slot(array_address));
  h->count = n >= h->count ? 0 : h->count - n;
  return 0;
}

KW_API int xar_alloc_or_resize(void *array_address, int count, int element_size, int increment) {
  if (!array_address) return -1;
  if (!slot(array_address)) {
    slot(array_address) = xar_alloc(count, element_size, increment);
    return slot(array_address) ? 0 : -1;
  }
  return xar_resize(array_address, count);
}

KW_API int xar_alloc_or_append(void *array_address, int n, int element_size, int increment,
                               const void *source) {
  if (!array_address) return -1;
  if (!slot(array_address)) {
    slot(array_address) = xar_alloc(0, element_size, increment);
    if (!slot(array_address)) return -1;
  }
  return xar_append(array_address, n, source);
}

KW_API void xar_free(void *array_address) {
  if (!array_address || !slot(array_address)) return;
  XarHeader *h = hdr(slot(array_address));
  h->magic = 0;
  rlsmem(h);
  slot(array_address) = nullptr;
}

KW_API int xar_cpy(void *to_address, const void *from) {
  if (!to_address) return -1;
  xar_free(to_address);
  if (!from) return 0;
  slot(to_address) = xar_replicate(from);
  return slot(to_address) ? 0 : -1;
}

KW_API int xar_concat(void *to_address, const void *from) {
  if (!to_address) return -1;
  if (!from) return 0;
  const XarHeader *f = hdr(from);
  if (!slot(to_address)) {
    slot(to_address) = xar_alloc(0, f->elsize, f->increment);
  } else if (hdr(slot(to_address))->elsize != f->elsize) {
    return -1;
  }
  if (from == slot(to_address)) {  // appending an array to itself
    void *copy = xar_replicate(from);
    int r = xar_append(to_address, hdr(copy)->count, copy);
    xar_free(&copy);
    return r;
  }
  return xar_append(to_address, f->count, from);
}

KW_API void *xar_replicate(const void *array) {
  if (!array) return nullptr;
  const XarHeader *f = hdr(array);
  XarHeader *h =
      new_array(getmem_area_find_memmgr(f), 0, std::max(f->count, 1), f->elsize, f->increment);
  std::memcpy(elems(h), array, static_cast<std::size_t>(f->count) * f->elsize);
  h->count = f->count;
  return elems(h);
}

KW_API int xar_delete(void *array_address, int index) {
  if (index < 0 || index >= xar_count(array_address)) return -1;
  xar_remove(array_address, index, 1);
  return 0;
}

KW_API void reset_pointer_xar(void *array_address) {
  if (!array_address || !slot(array_address)) return;
  XarHeader *h = hdr(slot(array_address));
  void **p = static_cast<void **>(slot(array_address));
  for (int i = 0; i < h->count; ++i) relmem(&p[i]);
  h->count = 0;
}

KW_API void release_pointer_xar(void *array_address) {
  reset_pointer_xar(array_address);
  xar_free(array_address);
}
