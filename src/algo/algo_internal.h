// Helpers shared by the containers and algorithms.
#ifndef KW_ALGO_INTERNAL_H
#define KW_ALGO_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "keelwork/debug.h"
#include "keelwork/xar.h"

namespace kw::algo {

// The caller's xar pointer behind an array address.
inline void *&slot(void *array_address) { return *static_cast<void **>(array_address); }
inline const void *cslot(const void *array_address) {
  return array_address ? *static_cast<const void *const *>(array_address) : nullptr;
}

// Count and element size of an xar given by value (null: 0).
inline int count_of(const void *xar) { return xar ? xar_count(&xar) : 0; }
inline int elsize_of(const void *xar) {
  int size = 0;
  if (xar) xar_params(xar, &size, nullptr, nullptr, nullptr);
  return size;
}

inline char *at(void *base, std::ptrdiff_t index, std::ptrdiff_t size) {
  return static_cast<char *>(base) + index * size;
}
inline const char *at(const void *base, std::ptrdiff_t index, std::ptrdiff_t size) {
  return static_cast<const char *>(base) + index * size;
}

// Reports a bad argument through the assertion channel and returns
// `result`, so that argument checks read `return reject(...)`. The text is
// passed as an argument, never as a format.
template <class T>
inline T reject(const char *where, const char *text, T result) {
  dbg_err_crash(where, "%s", text);
  return result;
}
inline void reject(const char *where, const char *text) { dbg_err_crash(where, "%s", text); }

// The binary search every sorted search rests on: `cmp(mid)` compares the
// key with element `mid`. Returns 1 and the index when found, else 0 and
// the insertion point.
template <class Cmp>
inline int bsearch_index(int count, Cmp &&cmp, int *index) {
  if (count < 1) {
    if (index) *index = 0;
    return 0;
  }
  int low = 0, high = count - 1, mid = 0, r = 0;
  while (low <= high) {
    mid = (low + high) / 2;
    r = cmp(mid);
    if (r == 0) {
      if (index) *index = mid;
      return 1;
    }
    if (r > 0)
      low = mid + 1;
    else
      high = mid - 1;
  }
  if (index) *index = r > 0 ? mid + 1 : mid;
  return 0;
}

// Three-way comparison with exactly -1, 0 or 1.
template <class T>
inline int sign_cmp(T a, T b) {
  return (a > b) - (a < b);
}

}  // namespace kw::algo

#endif  // KW_ALGO_INTERNAL_H
