// Integer sets (ascending int32_t xars), Shell sorts and integer-list
// comparisons.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/sorted.h"
#include "runtime/sort_internal.h"

using kw::algo::count_of;
using kw::algo::slot;

namespace {

int32_t *ints(void *address) { return static_cast<int32_t *>(slot(address)); }

// Makes `*out_address` an int32_t xar of `count` elements copied from
// `values`.
int store_ints(void *out_address, const int32_t *values, int count, int increment) {
  if (!out_address) return count;
  if (xar_alloc_or_resize(out_address, count, sizeof(int32_t), increment) != 0) return 0;
  if (count > 0) std::memcpy(slot(out_address), values, count * sizeof(int32_t));
  return count;
}

// Gapped insertion sort with gaps n/2, n/4, ..., 1, swapping while the
// earlier element is greater.
template <class T, class Greater>
void shell_sort(T *a, int n, Greater greater) {
  for (int gap = n / 2; gap > 0; gap /= 2)
    for (int i = gap; i < n; ++i)
      for (int j = i - gap; j >= 0 && greater(a[j], a[j + gap]); j -= gap)
        std::swap(a[j], a[j + gap]);
}

// Removes adjacent duplicates in place; returns the new count.
int compact_runs(int32_t *a, int n) {
  if (n < 2) return n;
  int w = 1;
  for (int r = 1; r < n; ++r)
    if (a[r] != a[w - 1]) a[w++] = a[r];
  return w;
}

}  // namespace

KW_API int intersect_int_sets(const int32_t *a, const int32_t *b, void *out_address) {
  int na = count_of(a), nb = count_of(b);
  std::vector<int32_t> common;
  common.reserve(std::min(na, nb));
  for (int i = 0, j = 0; i < na && j < nb;) {
    if (a[i] < b[j]) {
      ++i;
    } else if (b[j] < a[i]) {
      ++j;
    } else {
      common.push_back(a[i]);
      ++i;
      ++j;
    }
  }
  return store_ints(out_address, common.data(), static_cast<int>(common.size()), 4);
}

KW_API int int_sets_intersect(const int32_t *a, const int32_t *b) {
  int na = count_of(a), nb = count_of(b);
  for (int i = 0, j = 0; i < na && j < nb;) {
    if (a[i] < b[j])
      ++i;
    else if (b[j] < a[i])
      ++j;
    else
      return 1;
  }
  return 0;
}

KW_API int merge_sorted_int_sets(const int32_t *a, const int32_t *b, void *out_address) {
  int na = count_of(a), nb = count_of(b);
  std::vector<int32_t> all;
  all.reserve(na + nb);
  int i = 0, j = 0;
  while (i < na && j < nb) {
    if (a[i] < b[j]) {
      all.push_back(a[i++]);
    } else if (b[j] < a[i]) {
      all.push_back(b[j++]);
    } else {
      all.push_back(a[i++]);
      ++j;
    }
  }
  all.insert(all.end(), a + i, a + na);
  all.insert(all.end(), b + j, b + nb);
  return store_ints(out_address, all.data(), static_cast<int>(all.size()), 4);
}

KW_API int subtract_int_sets(void *a_address, const int32_t *b) {
  if (!a_address || !slot(a_address)) return 0;
  int32_t *a = ints(a_address);
  int na = xar_count(a_address), nb = count_of(b);
  int w = 0;
  for (int i = 0, j = 0; i < na; ++i) {
    while (j < nb && b[j] < a[i]) ++j;
    if (j < nb && b[j] == a[i]) continue;
    a[w++] = a[i];
  }
  xar_resize(a_address, w);
  return w;
}

KW_API int subtract_unsorted_int_sets(void *a_address, const int32_t *b) {
  if (!a_address || !slot(a_address)) return 0;
  int nb = count_of(b);
  for (int j = 0; j < nb; ++j) {
    int i = int_in_list(b[j], ints(a_address));
    if (i >= 0) xar_remove(a_address, i, 1);
  }
  return xar_count(a_address);
}

KW_API int sort_and_clean_ids(void *ids_address) {
  if (!ids_address || !slot(ids_address)) return 0;
  int32_t *a = ints(ids_address);
  int n = xar_count(ids_address);
  sort_ints(a, n);
  // Keep the first of each run; a -1 at the write position is overwritten
  // by the next kept value, and one left last is dropped.
  int w = 0;
  for (int r = 0; r < n; ++r) {
    if (w > 0 && a[r] == a[w - 1]) continue;
    if (w > 0 && a[w - 1] == -1)
      a[w - 1] = a[r];
    else
      a[w++] = a[r];
  }
  if (w > 0 && a[w - 1] == -1) --w;
  xar_resize(ids_address, w);
  return w;
}

KW_API int uniquify_int_array(void *array_address) {
  if (!array_address || !slot(array_address)) return 0;
  int32_t *a = ints(array_address);
  int n = xar_count(array_address);
  auto less = [](int32_t x, int32_t y) { return x < y; };
  kw::runtime::insertion_sort(a, n, less);
  int w = compact_runs(a, n);
  xar_resize(array_address, w);
  return w;
}

KW_API int uniquify_int_array_fast(void *array_address) {
  if (!array_address || !slot(array_address)) return 0;
  int32_t *a = ints(array_address);
  int n = xar_count(array_address);
  if (n < 2) return 0;
  // An array in non-increasing order has its equal values side by side
  // already; any other is sorted first.
  for (int i = 1; i < n; ++i) {
    if (a[i - 1] < a[i]) {
      kw::runtime::introsort(a, n, [](int32_t x, int32_t y) { return x < y; });
      break;
    }
  }
  int w = compact_runs(a, n);
  if (w != n) xar_resize(array_address, w);
  return n - w;
}

KW_API void sort_ints(int32_t *array, int count) {
  if (!array) return;
  shell_sort(array, count, [](int32_t x, int32_t y) { return x > y; });
}

KW_API void simple_sort_int_list(int32_t *list) { sort_ints(list, count_of(list)); }

KW_API void simple_sort_ptrs(void *pointers, int count) {
  if (!pointers) return;
  shell_sort(static_cast<void **>(pointers), count, [](void *x, void *y) {
    return reinterpret_cast<std::uintptr_t>(x) > reinterpret_cast<std::uintptr_t>(y);
  });
}

KW_API int fill_int_list(int32_t *list, int32_t value) {
  int n = count_of(list);
  std::fill(list, list + n, value);
  return n;
}

KW_API int cmpr_int_lists(const int32_t *a, const int32_t *b) {
  int na = count_of(a), nb = count_of(b);
  if (na != nb) return nb - na;
  for (int i = 0; i < na; ++i) {
    if (a[i] != b[i]) {
      int64_t d = static_cast<int64_t>(b[i]) - a[i];
      return static_cast<int>(std::clamp<int64_t>(d, INT_MIN, INT_MAX));
    }
  }
  return 0;
}

KW_API int cmpr_int_arr_to_arr(const int32_t *a, int count_a, const int32_t *b, int count_b) {
  if (!a) count_a = 0;
  if (!b) count_b = 0;
  int n = std::min(count_a, count_b);
  for (int i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return kw::algo::sign_cmp(count_a, count_b);
}

KW_API int cmpr_int_xarr(const int32_t *a, const int32_t *b) {
  return cmpr_int_arr_to_arr(a, count_of(a), b, count_of(b));
}
