// Merges of two sorted arrays (plain, xar, pointer xar and har), the
// subtraction of one sorted xar from another and xar comparison.
//
// A merge produces the addresses of the merged elements (pointers into the
// inputs) and, optionally, one comparison result per entry: the callback's
// result for that step (negative: first input only, positive: second input
// only, 0: both, the entry pointing into the first input), exactly -1 or +1
// once one input is exhausted.
#include <cstring>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/sorted.h"

using kw::algo::at;
using kw::algo::count_of;
using kw::algo::elsize_of;
using kw::algo::slot;

namespace {

constexpr int kOutIncrement = 8;
constexpr int kDefaultSegment = 128;

struct Merged {
  std::vector<const void *> addresses;
  std::vector<int32_t> results;
};

// Merges na elements reached by `a(i)` with nb reached by `b(j)`.
template <class AddrA, class AddrB>
Merged merge_core(int na, AddrA a, int nb, AddrB b, kw_compare_data_fn compare, void *data) {
  Merged m;
  m.addresses.reserve(na + nb);
  m.results.reserve(na + nb);
  auto emit = [&m](const void *address, int r) {
    m.addresses.push_back(address);
    m.results.push_back(r);
  };
  int i = 0, j = 0;
  while (i < na && j < nb) {
    const void *x = a(i), *y = b(j);
    int r = compare(x, y, data);
    if (r < 0) {
      emit(x, r);
      ++i;
    } else if (r > 0) {
      emit(y, r);
      ++j;
    } else {
      emit(x, 0);
      ++i;
      ++j;
    }
  }
  for (; i < na; ++i) emit(a(i), -1);
  for (; j < nb; ++j) emit(b(j), 1);
  return m;
}

Merged merge_xars(const void *a, const void *b, kw_compare_data_fn compare, void *data) {
  int size = a ? elsize_of(a) : elsize_of(b);
  return merge_core(
      count_of(a), [&](int i) { return static_cast<const void *>(at(a, i, size)); }, count_of(b),
      [&](int j) { return static_cast<const void *>(at(b, j, size)); }, compare, data);
}

Merged merge_hars(const void *a, const void *b, kw_compare_data_fn compare, void *data) {
  return merge_core(
      har_total(a), [&](int i) -> const void * { return har_access(a, i, nullptr, nullptr); },
      har_total(b), [&](int j) -> const void * { return har_access(b, j, nullptr, nullptr); },
      compare, data);
}

// Makes `*address` an xar of `count` elements of `size` bytes from `values`.
void store_xar(void *address, const void *values, int count, int size) {
  if (!address) return;
  if (slot(address) && elsize_of(slot(address)) != size) xar_free(address);
  if (xar_alloc_or_resize(address, count, size, kOutIncrement) != 0) return;
  if (count > 0) std::memcpy(slot(address), values, static_cast<std::size_t>(count) * size);
}

// Makes `*address` a har of `count` elements of `size` bytes from `values`.
void store_har(void *address, const void *values, int count, int size, int segment) {
  if (!address) return;
  if (slot(address) && har_element_size(slot(address)) != size) har_free(address);
  if (!slot(address))
    slot(address) = har_alloc(0, size, segment);
  else
    har_resize(address, 0);
  har_append(address, count, values);
}

bool same_size(const void *a, const void *b, int size_a, int size_b) {
  return !a || !b || size_a == size_b;
}

// Adapts a key-form comparison to the data form (the function travels in
// the data word).
int call_pair(const void *a, const void *b, void *fn) {
  return reinterpret_cast<kw_compare_fn>(fn)(a, b);
}
void *as_data(kw_compare_fn fn) { return reinterpret_cast<void *>(fn); }

}  // namespace

KW_API int merge_sorted_arrays(int element_size, const void *a, int count_a, const void *b,
                               int count_b, kw_compare_data_fn compare, void *data,
                               const void **out, int *results, int *out_count) {
  if (!a || count_a < 0) count_a = 0;
  if (!b || count_b < 0) count_b = 0;
  if (!compare || !out || element_size < 1) {
    if (out_count) *out_count = 0;
    return count_a;
  }
  Merged m = merge_core(
      count_a, [&](int i) { return static_cast<const void *>(at(a, i, element_size)); }, count_b,
      [&](int j) { return static_cast<const void *>(at(b, j, element_size)); }, compare, data);
  int n = static_cast<int>(m.addresses.size());
  std::memcpy(out, m.addresses.data(), n * sizeof(void *));
  if (results) std::memcpy(results, m.results.data(), n * sizeof(int));
  if (out_count) *out_count = n;
  return count_a;
}

KW_API int merge_sorted_xarrays(const void *a, const void *b, kw_compare_data_fn compare,
                                void *data, void *out_address, void *results_address) {
  if (!same_size(a, b, elsize_of(a), elsize_of(b)))
    return kw::algo::reject("merge_sorted_xarrays", "unequal size", 0);
  if (!compare) return 0;
  Merged m = merge_xars(a, b, compare, data);
  int n = static_cast<int>(m.addresses.size());
  store_xar(out_address, m.addresses.data(), n, sizeof(void *));
  store_xar(results_address, m.results.data(), n, sizeof(int32_t));
  return n;
}

KW_API int make_merged_xarray(const void *a, const void *b, kw_compare_data_fn compare, void *data,
                              void *out_address, void *results_address) {
  int size = a ? elsize_of(a) : b ? elsize_of(b) : static_cast<int>(sizeof(void *));
  if (!same_size(a, b, elsize_of(a), elsize_of(b)))
    return kw::algo::reject("merge_sorted_xarrays", "unequal size", 0);
  if (!compare || !out_address) return 0;
  Merged m = merge_xars(a, b, compare, data);
  int n = static_cast<int>(m.addresses.size());
  // Build the copy before letting go of the old array: it may be an input.
  void *merged = xar_alloc(n, size, kOutIncrement);
  for (int k = 0; k < n; ++k) std::memcpy(at(merged, k, size), m.addresses[k], size);
  xar_free(out_address);
  slot(out_address) = merged;
  store_xar(results_address, m.results.data(), n, sizeof(int32_t));
  return n;
}

KW_API int merge_to_target_xar(void *target_address, const void *source, kw_compare_fn compare) {
  if (!target_address || !compare) return 0;
  void *target = slot(target_address);
  if (count_of(source) == 0) return count_of(target);
  if (count_of(target) == 0) {
    // Nothing to merge with: the target becomes the source's elements.
    if (target && elsize_of(target) != elsize_of(source))
      return kw::algo::reject("merge_sorted_xarrays", "unequal size", count_of(target));
    xar_free(target_address);
    slot(target_address) = xar_replicate(source);
    return count_of(slot(target_address));
  }
  if (elsize_of(target) != elsize_of(source))
    return kw::algo::reject("merge_sorted_xarrays", "unequal size", count_of(target));
  make_merged_xarray(target, source, call_pair, as_data(compare), target_address, nullptr);
  return count_of(slot(target_address));
}

KW_API int merge_sorted_pointer_xarrays(const void *a, const void *b, kw_compare_fn compare,
                                        void *out_address) {
  if (!same_size(a, b, elsize_of(a), elsize_of(b)))
    return kw::algo::reject("merge_sorted_xarrays", "unequal size", 0);
  if (!compare) return 0;
  Merged m = merge_xars(a, b, call_pair, as_data(compare));
  int n = static_cast<int>(m.addresses.size());
  std::vector<const void *> values(n);
  for (int k = 0; k < n; ++k) values[k] = *static_cast<const void *const *>(m.addresses[k]);
  store_xar(out_address, values.data(), n, sizeof(void *));
  return n;
}

KW_API int merge_sorted_harrays(const void *a, const void *b, kw_compare_data_fn compare,
                                void *data, void *out_address, void *results_address) {
  if (!same_size(a, b, har_element_size(a), har_element_size(b)))
    return kw::algo::reject("merge_sorted_harrays", "unequal size", 0);
  if (!compare) return 0;
  Merged m = merge_hars(a, b, compare, data);
  int n = static_cast<int>(m.addresses.size());
  int segment = a ? har_segment_size(a) : b ? har_segment_size(b) : kDefaultSegment;
  store_har(out_address, m.addresses.data(), n, sizeof(void *), segment);
  store_har(results_address, m.results.data(), n, sizeof(int32_t), segment);
  return n;
}

KW_API int make_merged_harray(const void *a, const void *b, kw_compare_data_fn compare, void *data,
                              void *out_address, void *results_address) {
  int size = a ? har_element_size(a) : b ? har_element_size(b) : static_cast<int>(sizeof(void *));
  if (!same_size(a, b, har_element_size(a), har_element_size(b)))
    return kw::algo::reject("merge_sorted_harrays", "unequal size", 0);
  if (!compare || !out_address) return 0;
  Merged m = merge_hars(a, b, compare, data);
  int n = static_cast<int>(m.addresses.size());
  int segment = a ? har_segment_size(a) : b ? har_segment_size(b) : kDefaultSegment;
  void *merged = har_alloc(0, size, segment);
  for (int k = 0; k < n; ++k) har_append(&merged, 1, m.addresses[k]);
  har_free(out_address);
  slot(out_address) = merged;
  int seg = har_segment_size(merged);
  store_har(results_address, m.results.data(), n, sizeof(int32_t), seg);
  return n;
}

KW_API int subtract_xarrays(void *a_address, const void *b, kw_compare_fn compare) {
  if (!a_address || !slot(a_address) || !b)
    return kw::algo::reject("subtract_arrays", "Invalid Input",
                            a_address ? count_of(slot(a_address)) : 0);
  if (!compare) return xar_count(a_address);
  int size = elsize_of(b);
  int nb = count_of(b);
  int start = 0;
  for (int j = 0; j < nb; ++j) {
    int n = xar_count(a_address);
    if (n == 0 || start >= n) break;
    int index;
    if (xar_sorted_find_w_start(a_address, call_pair, at(b, j, size), as_data(compare), start,
                                &index)) {
      xar_remove(a_address, start + index, 1);
      start += index;
    }
  }
  return xar_count(a_address);
}

KW_API int xar_cmp_with_func(const void *a, const void *b, kw_compare_data_fn compare, void *data) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  int size_a = elsize_of(a), size_b = elsize_of(b);
  if (size_a != size_b) return size_a - size_b;
  int na = count_of(a), nb = count_of(b);
  if (na != nb) return na - nb;
  if (!compare) return std::memcmp(a, b, static_cast<std::size_t>(na) * size_a);
  for (int i = 0; i < na; ++i) {
    int r = compare(at(a, i, size_a), at(b, i, size_a), data);
    if (r != 0) return r;
  }
  return 0;
}

KW_API int xar_cmp(const void *a, const void *b) {
  return xar_cmp_with_func(a, b, nullptr, nullptr);
}
