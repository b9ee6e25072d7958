// Xars that own their contents (structure xars, pointer xars, pointer hars)
// and plain conversions between arrays, xars and hars.
#include <algorithm>
#include <cstring>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/memory.h"
#include "keelwork/ownedxar.h"

using kw::algo::at;
using kw::algo::count_of;
using kw::algo::elsize_of;
using kw::algo::slot;

namespace {

constexpr int kIncrement = 8;

// Copies one structure into zeroed storage.
void copy_struct(const void *from, void *to, std::size_t size, kw_struct_copy_fn copy) {
  if (copy) {
    std::memset(to, 0, size);
    copy(from, to);
  } else {
    std::memmove(to, from, size);
  }
}

void free_structs(void *xar, int first, int n, kw_struct_free_fn free) {
  if (!free) return;
  int size = elsize_of(xar);
  for (int i = first; i < first + n; ++i) free(at(xar, i, size));
}

// Fills `*to_address` with copies of `count` structures of `size` bytes
// reached through `source(i)`. The copies are built in a new array before
// the old contents go, so a source may live in the target.
template <class Source>
int store_structs(void *to_address, int count, int size, Source source, kw_struct_copy_fn copy,
                  kw_struct_free_fn free) {
  void *fresh = xar_alloc(count, size, kIncrement);
  if (!fresh) return -1;
  for (int i = 0; i < count; ++i) copy_struct(source(i), at(fresh, i, size), size, copy);
  if (slot(to_address)) xar_str_free(to_address, free);
  slot(to_address) = fresh;
  return count;
}

void **pointers(void *array_address) { return static_cast<void **>(slot(array_address)); }

void release_targets(void *array_address, int first, int n, kw_ptr_free_fn free) {
  void **p = pointers(array_address);
  for (int i = first; i < first + n; ++i) {
    if (p[i]) {
      if (free) free(p[i]);
      p[i] = nullptr;
    }
  }
}

// The pblock callbacks: relmem, and getmem plus a byte copy of a size that
// travels in a thread-local word for the duration of one call.
thread_local int t_block_size = 0;
void free_block(void *target) { rlsmem(target); }
void *copy_block(const void *target) {
  void *copy = getmem(t_block_size > 0 ? t_block_size : 1);
  if (t_block_size > 0) std::memcpy(copy, target, t_block_size);
  return copy;
}
struct BlockSize {
  explicit BlockSize(int size) : saved(t_block_size) { t_block_size = size; }
  ~BlockSize() { t_block_size = saved; }
  int saved;
};

}  // namespace

// ---- single structures ---------------------------------------------------------

KW_API int str_alloc_or_copy(const void *from, void *to_address, int size, kw_struct_copy_fn copy,
                             kw_struct_free_fn free) {
  if (size > KW_MAX_STRUCT_SIZE)
    return kw::algo::reject("str_alloc_or_copy", "too big structure", -1);
  if (!from || !to_address || size < 1 || from == slot(to_address))
    return kw::algo::reject("str_alloc_or_copy", "bad parametres: p_str_from or p_str_to", -1);
  if (!slot(to_address)) {
    slot(to_address) = getmem(size);
  } else if (free) {
    free(slot(to_address));
  }
  copy_struct(from, slot(to_address), size, copy);
  return 0;
}

KW_API void str_free(void *str_address, kw_struct_free_fn free) {
  if (!str_address || !slot(str_address)) return;
  if (free) free(slot(str_address));
  relmem(str_address);
}

// ---- structure xars -------------------------------------------------------------

KW_API int xar_str_alloc_or_resize(void *array_address, int count, int element_size, int increment,
                                   kw_struct_free_fn free) {
  if (!array_address) return kw::algo::reject("xar_str_alloc_or_resize", "bad parameter: xar", -1);
  if (count < 0 || element_size < 1) return -1;
  void *xar = slot(array_address);
  if (xar) {
    int old = elsize_of(xar);
    if (old != element_size) {
      dbg_err_crash("xar_str_alloc_or_resize",
                    "inconsistent size: old (%d) != request (%d) - SERIOUS ERROR.", old,
                    element_size);
      return -1;
    }
    int n = count_of(xar);
    if (count < n) free_structs(xar, count, n - count, free);
  }
  return xar_alloc_or_resize(array_address, count, element_size,
                             increment > 0 ? increment : kIncrement);
}

KW_API int xar_str_copy(const void *from, void *to_address, kw_struct_copy_fn copy,
                        kw_struct_free_fn free) {
  if (!to_address || from == slot(to_address) ||
      (from && slot(to_address) && elsize_of(from) != elsize_of(slot(to_address))))
    return kw::algo::reject("xar_str_copy", "bad parameters", -1);
  if (!from) {
    if (slot(to_address))
      xar_str_alloc_or_resize(to_address, 0, elsize_of(slot(to_address)), 0, free);
    return 0;
  }
  int size = elsize_of(from);
  return store_structs(
      to_address, count_of(from), size, [&](int i) { return at(from, i, size); }, copy, free);
}

KW_API int array_to_xar_str_copy(const void *array, int count, int element_size, void *to_address,
                                 kw_struct_copy_fn copy, kw_struct_free_fn free) {
  if (!to_address || (!array && count > 0) || count < 0 || element_size < 1 ||
      (array && array == slot(to_address)) ||
      (slot(to_address) && elsize_of(slot(to_address)) != element_size))
    return kw::algo::reject("array_to_xar_str_copy", "bad parameters", -1);
  return store_structs(
      to_address, count, element_size, [&](int i) { return at(array, i, element_size); }, copy,
      free);
}

KW_API int xar_str_delete(void *array_address, int index, int n, kw_struct_free_fn free) {
  if (!array_address || !slot(array_address))
    return kw::algo::reject("xar_str_delete", "bad parameter: xar", -1);
  int count = xar_count(array_address);
  if (index < 0 || n < 0 || static_cast<int64_t>(index) + n > count)
    return kw::algo::reject("xar_str_delete", "bad parameters: idx or n_elems", -1);
  free_structs(slot(array_address), index, n, free);
  xar_remove(array_address, index, n);
  return 0;
}

KW_API void xar_str_free(void *array_address, kw_struct_free_fn free) {
  if (!array_address) return kw::algo::reject("xar_str_free", "bad parameter: xar");
  if (!slot(array_address)) return;
  free_structs(slot(array_address), 0, xar_count(array_address), free);
  xar_free(array_address);
}

// ---- pointer xars ------------------------------------------------------------------

KW_API void xar_ptr_reset(void *array_address, kw_ptr_free_fn free) {
  if (!array_address || !slot(array_address)) return;
  release_targets(array_address, 0, xar_count(array_address), free);
  xar_resize(array_address, 0);
}

KW_API void xar_ptr_free(void *array_address, kw_ptr_free_fn free) {
  if (!array_address) return kw::algo::reject("xar_ptr_free", "bad parameter: p_xar");
  if (!slot(array_address)) return;
  release_targets(array_address, 0, xar_count(array_address), free);
  xar_free(array_address);
}

KW_API void xar_ptr_freeoff(void *array_address, kw_ptr_free_fn free) {
  if (!array_address) return kw::algo::reject("xar_ptr_free_offsprings", "bad parameter: p_xar");
  if (!slot(array_address)) return;
  release_targets(array_address, 0, xar_count(array_address), free);
}

KW_API void xar_ptr_freeoff_with_str(void *array_address, kw_struct_free_fn free) {
  if (!array_address) return kw::algo::reject("xar_ptr_free_offsprings", "bad parameter: p_xar");
  void **p = pointers(array_address);
  int n = count_of(p);
  for (int i = 0; i < n; ++i) {
    if (!p[i]) continue;
    if (free) free(p[i]);
    relmem(&p[i]);
  }
}

KW_API int xar_ptr_delete(void *array_address, int index, int n, kw_ptr_free_fn free) {
  if (!array_address || !slot(array_address) || n <= 0) return 0;
  int count = xar_count(array_address);
  if (index < 0) {
    n += index;
    index = 0;
  }
  n = std::min(n, count - index);
  if (n <= 0) return 0;
  release_targets(array_address, index, n, free);
  return xar_remove(array_address, index, n);
}

KW_API int xar_ptr_append(void *array_address, const void *target, kw_ptr_copy_fn copy) {
  if (!array_address) return -1;
  const void *stored = copy && target ? copy(target) : target;
  if (xar_alloc_or_append(array_address, 1, sizeof(void *), kIncrement, &stored) != 0) return -1;
  return xar_count(array_address) - 1;
}

KW_API int xar_ptr_concat(void *to_address, const void *from, kw_ptr_copy_fn copy) {
  if (!to_address) return -1;
  // Copy first: `from` may be the target itself.
  const void *const *p = static_cast<const void *const *>(from);
  std::vector<const void *> copies(p, p + count_of(p));
  for (auto &c : copies)
    if (copy && c) c = copy(c);
  if (xar_alloc_or_append(to_address, static_cast<int>(copies.size()), sizeof(void *), kIncrement,
                          copies.data()) != 0)
    return -1;
  return xar_count(to_address);
}

KW_API int xar_ptr_copy(const void *from, void *to_address, kw_ptr_copy_fn copy,
                        kw_ptr_free_fn free) {
  if (!to_address) return -1;
  if (from && from == slot(to_address)) return count_of(from);
  xar_ptr_reset(to_address, free);
  return xar_ptr_concat(to_address, from, copy);
}

KW_API int xar_ptr_alloc_or_resize(void *array_address, int count, int increment,
                                   kw_ptr_free_fn free) {
  if (!array_address)
    return kw::algo::reject("xar_ptr_alloc_or_resize", "bad parameter: p_xar", -1);
  if (count < 0) return -1;
  int n = count_of(slot(array_address));
  if (count < n) release_targets(array_address, count, n - count, free);
  return xar_alloc_or_resize(array_address, count, sizeof(void *),
                             increment > 0 ? increment : kIncrement);
}

KW_API void xar_pblock_reset(void *array_address) { xar_ptr_reset(array_address, free_block); }
KW_API void xar_pblock_free(void *array_address) { xar_ptr_free(array_address, free_block); }
KW_API void xar_pblock_freeoff(void *array_address) { xar_ptr_freeoff(array_address, free_block); }
KW_API int xar_pblock_delete(void *array_address, int index, int n) {
  return xar_ptr_delete(array_address, index, n, free_block);
}
KW_API int xar_pblock_append(void *array_address, const void *block, int size) {
  BlockSize scope(size);
  return xar_ptr_append(array_address, block, copy_block);
}
KW_API int xar_pblock_concat(void *to_address, const void *from, int size) {
  BlockSize scope(size);
  return xar_ptr_concat(to_address, from, copy_block);
}
KW_API int xar_pblock_copy(const void *from, void *to_address, int size) {
  BlockSize scope(size);
  return xar_ptr_copy(from, to_address, copy_block, free_block);
}
KW_API int xar_pblock_alloc_or_resize(void *array_address, int count, int increment) {
  return xar_ptr_alloc_or_resize(array_address, count, increment, free_block);
}

// ---- pointer hars ------------------------------------------------------------------

KW_API void har_ptr_free(void *har_address, kw_ptr_free_fn free) {
  if (!har_address || !slot(har_address)) return;
  void *har = slot(har_address);
  int n = har_total(har);
  for (int i = 0; i < n; ++i) {
    void **p = static_cast<void **>(har_access(har, i, nullptr, nullptr));
    if (*p && free) free(*p);
    *p = nullptr;
  }
  har_free(har_address);
}

KW_API int har_ptr_copy(const void *from, void *to_address, kw_ptr_copy_fn copy,
                        kw_ptr_free_fn free) {
  if (!to_address) return -1;
  if (from && from == slot(to_address)) return har_total(from);
  int n = har_total(from);
  void *fresh = har_alloc(0, sizeof(void *), from ? har_segment_size(from) : 128);
  for (int i = 0; i < n; ++i) {
    const void *target = *static_cast<void *const *>(har_access(from, i, nullptr, nullptr));
    const void *stored = copy && target ? copy(target) : target;
    har_append(&fresh, 1, &stored);
  }
  har_ptr_free(to_address, free);
  slot(to_address) = fresh;
  return n;
}

KW_API void har_pblock_free(void *har_address) { har_ptr_free(har_address, free_block); }

// ---- conversions -------------------------------------------------------------------

KW_API void *array_to_xarray(const void *array, int count, int element_size, int increment) {
  void *xar = xar_alloc(count, element_size, increment > 0 ? increment : kIncrement);
  if (xar && array && count > 0)
    std::memcpy(xar, array, static_cast<std::size_t>(count) * element_size);
  return xar;
}

KW_API int xar_copy(const void *from, void *to_address) {
  if (!to_address) return -1;
  if (from == slot(to_address)) return count_of(from);
  if (!from) {
    xar_free(to_address);
    return 0;
  }
  int size = elsize_of(from), n = count_of(from);
  if (slot(to_address) && elsize_of(slot(to_address)) == size) {
    if (xar_resize(to_address, n) != 0) return -1;
    std::memcpy(slot(to_address), from, static_cast<std::size_t>(n) * size);
    return n;
  }
  return xar_cpy(to_address, from) == 0 ? n : -1;
}

KW_API int32_t *alloc_id_tab(int count) {
  return static_cast<int32_t *>(xar_alloc(count, sizeof(int32_t), 2));
}

KW_API void *har_seg_to_xar(const void *har, int first, int count, int increment) {
  int total = har_total(har);
  if ((count == 0 && increment == 0) || total == 0 || count < 0 || first < 0 || first >= total ||
      count > har_segment_size(har))
    return nullptr;
  int n = std::min(count, total - first);
  int size = har_element_size(har);
  void *xar = xar_alloc(n, size, increment > 0 ? increment : std::max(count, 1));
  for (int i = 0; i < n; ++i)
    std::memcpy(at(xar, i, size), har_access(har, first + i, nullptr, nullptr), size);
  return xar;
}
