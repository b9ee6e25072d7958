// Searches of sorted arrays, xars and hars, the linear searches and the
// ready-made comparison callbacks.
#include <cstring>

#include "algo/algo_internal.h"
#include "keelwork/sorted.h"

using kw::algo::at;
using kw::algo::bsearch_index;
using kw::algo::count_of;
using kw::algo::sign_cmp;

namespace {

inline std::uintptr_t word(const void *p) { return reinterpret_cast<std::uintptr_t>(p); }
inline const void *ptr_at(const void *pointers, int i) {
  return static_cast<const void *const *>(pointers)[i];
}

// Comparison of a key double with an element within the tolerance `t`
// (equal when they differ by less than t). The tolerance is added to one
// side rather than compared with the difference, so that a value written
// as x + t compares as the sum it is.
inline int cmp_double_within(double key, double element, double t) {
  if (key >= element + t) return 1;
  if (element >= key + t) return -1;
  return 0;
}

}  // namespace

// ---- ready-made comparisons ------------------------------------------------

KW_API int compare_ptrs(const void *a, const void *b) { return sign_cmp(word(a), word(b)); }

KW_API int same_pointers(const void *a, const void *b) { return a == b; }

KW_API int same_ptr_element(const void *a, const void *b) {
  return *static_cast<const void *const *>(a) == *static_cast<const void *const *>(b);
}

KW_API int ptr_element_cmp(const void *a, const void *b) {
  return sign_cmp(word(*static_cast<const void *const *>(a)),
                  word(*static_cast<const void *const *>(b)));
}

KW_API int int_cmp(const void *a, const void *b) {
  return sign_cmp(reinterpret_cast<std::intptr_t>(a), reinterpret_cast<std::intptr_t>(b));
}

KW_API int int_element_cmp(const void *a, const void *b) {
  return sign_cmp(*static_cast<const int32_t *>(a), *static_cast<const int32_t *>(b));
}

KW_API int bytcmp(const void *a, const void *b, int n) {
  auto *x = static_cast<const signed char *>(a);
  auto *y = static_cast<const signed char *>(b);
  for (int i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] - y[i];
  return 0;
}

KW_API int cmp_double_tol(const void *a, const void *b) {
  double x = *static_cast<const double *>(a), y = *static_cast<const double *>(b);
  if (x > y + 1e-9) return 1;
  if (y > x + 1e-9) return -1;
  return 0;
}

KW_API int compare_xyz_points(const void *a, const void *b, void *tolerance) {
  const double *p = static_cast<const double *>(a), *q = static_cast<const double *>(b);
  double tol = tolerance ? *static_cast<const double *>(tolerance) : 0.0;
  for (int k = 0; k < 3; ++k) {
    if (q[k] - tol > p[k]) return -1;
    if (q[k] + tol < p[k]) return 1;
  }
  return 0;
}

// ---- binary searches ------------------------------------------------------------

KW_API int binary_srch_array_low_with_data(int count, kw_compare_data_fn compare, int element_size,
                                           const void *key, const void *base, int *index,
                                           void *data) {
  if (count < 1 || !compare || !base || element_size < 1) {
    if (index) *index = 0;
    return 0;
  }
  const char *b = static_cast<const char *>(base);
  const std::ptrdiff_t size = element_size;
  int low = 0, high = count - 1, mid = 0, r = 0;
  while (low <= high) {
    mid = (low + high) >> 1;
    r = compare(key, b + mid * size, data);
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

KW_API int binary_srch_array_low(int count, kw_compare_fn compare, int element_size,
                                 const void *key, const void *base, int *index) {
  if (!compare || !base || element_size < 1) count = 0;
  return bsearch_index(
      count, [&](int mid) { return compare(key, at(base, mid, element_size)); }, index);
}

KW_API int binary_srch_array(int count, kw_compare_fn compare, int element_size, const void *key,
                             const void *base) {
  int index;
  return binary_srch_array_low(count, compare, element_size, key, base, &index) ? index : -1;
}

KW_API int binary_search_low(int count, kw_compare_fn compare, const void *key,
                             const void *pointers, int *index) {
  if (!compare || !pointers) count = 0;
  return bsearch_index(
      count, [&](int mid) { return compare(key, ptr_at(pointers, mid)); }, index);
}

KW_API int binary_search(int count, kw_compare_fn compare, const void *key, const void *pointers) {
  int index;
  return binary_search_low(count, compare, key, pointers, &index) ? index : -1;
}

KW_API int binary_search_obj(int count, kw_compare_fn compare, const void *key, const void *base,
                             int element_size) {
  return binary_srch_array(count, compare, element_size, key, base);
}

KW_API int binary_search_int(int count, const int32_t *array, int32_t value) {
  if (!array) return -1;
  int index;
  return bsearch_index(
             count, [&](int mid) { return sign_cmp(value, array[mid]); }, &index)
             ? index
             : -1;
}

KW_API int simple_search_ptrs(const void *pointers, int count, const void *pointer) {
  if (!pointers) return -1;
  int index;
  return bsearch_index(
             count, [&](int mid) { return sign_cmp(word(pointer), word(ptr_at(pointers, mid))); },
             &index)
             ? index
             : -1;
}

KW_API int id_search(const int32_t *ids, int32_t value) {
  return binary_search_int(count_of(ids), ids, value) >= 0;
}

KW_API int binary_srch_doubles(int count, const double *array, double value, double tolerance,
                               int *index) {
  if (!array) count = 0;
  double t = tolerance < 1e-9 ? 1e-9 : tolerance;
  return bsearch_index(
      count, [&](int mid) { return cmp_double_within(value, array[mid], t); }, index);
}

KW_API int search_double(int count, const double *array, double value) {
  if (count < 2 || !array) return -1;
  // The last i in 0 .. count-2 with a[i] <= value (0 when there is none).
  int low = 0, high = count - 2;
  while (low < high) {
    int mid = low + (high - low + 1) / 2;
    if (array[mid] <= value)
      low = mid;
    else
      high = mid - 1;
  }
  return low;
}

KW_API int search_double_gen(int count, const double *array, double value) {
  if (count < 1 || !array || value < array[0]) return -1;
  if (value >= array[count - 1]) return count - 1;
  return search_double(count, array, value);
}

KW_API int xar_sorted_find(const void *array_address, kw_compare_data_fn compare, const void *key,
                           void *data, int *index) {
  const void *xar = kw::algo::cslot(array_address);
  return binary_srch_array_low_with_data(count_of(xar), compare, kw::algo::elsize_of(xar), key, xar,
                                         index, data);
}

KW_API int xar_sorted_find_w_start(const void *array_address, kw_compare_data_fn compare,
                                   const void *key, void *data, int start, int *index) {
  const void *xar = kw::algo::cslot(array_address);
  int count = count_of(xar);
  if (start != 0 && (start < 0 || start >= count)) {
    if (index) *index = 0;
    return kw::algo::reject("xar_sorted_find_w_start", "invalid start index!", 0);
  }
  int size = kw::algo::elsize_of(xar);
  return binary_srch_array_low_with_data(count - start, compare, size, key,
                                         xar ? at(xar, start, size) : nullptr, index, data);
}

KW_API int sorted_ptr_ptrs_lookup(int count, kw_compare_fn compare, const void *key,
                                  const void *base, const void *pointers) {
  if (!compare || !base || !pointers) return -1;
  auto value = [&](int i) { return *static_cast<const void *const *>(ptr_at(pointers, i)); };
  int index;
  if (!bsearch_index(
          count, [&](int mid) { return compare(key, value(mid)); }, &index))
    return -1;
  std::ptrdiff_t offset =
      static_cast<const char *>(ptr_at(pointers, index)) - static_cast<const char *>(base);
  return static_cast<int>(offset / static_cast<std::ptrdiff_t>(sizeof(void *)));
}

KW_API int binary_search_har_low(kw_compare_fn compare, const void *key, const void *har,
                                 int element_size, int *total_index, int *segment,
                                 int *index_in_segment) {
  auto result = [&](int found, int total, int seg, int in_seg) {
    if (total_index) *total_index = total;
    if (segment) *segment = seg;
    if (index_in_segment) *index_in_segment = in_seg;
    return found;
  };
  int segments = har_segment_count(har);
  if (!compare || har_total(har) == 0 || element_size < 1) return result(0, 0, 0, 0);
  if (segments == 1) {
    int n = 0;
    const void *first = har_segment(har, 0, &n);
    int index;
    int found = binary_srch_array_low(n, compare, element_size, key, first, &index);
    return result(found, index, 0, index);
  }
  // Find the last non-empty segment whose first element is not above the
  // key, comparing with the first element of each segment in turn.
  int passed = 0;    // elements in the segments before `current`
  int current = -1;  // the candidate segment
  int current_count = 0;
  const void *current_first = nullptr;
  for (int s = 0; s < segments; ++s) {
    int n = 0;
    const void *first = har_segment(har, s, &n);
    if (n == 0) continue;
    int r = compare(key, first);
    if (r == 0) return result(1, current < 0 ? 0 : passed + current_count, s, 0);
    if (r < 0) {
      if (current < 0) return result(0, 0, s, 0);  // below the first element
      break;
    }
    if (current >= 0) passed += current_count;
    current = s;
    current_count = n;
    current_first = first;
  }
  int index;
  int found =
      binary_srch_array_low(current_count, compare, element_size, key, current_first, &index);
  return result(found, passed + index, current, index);
}

KW_API int binary_search_har(kw_compare_fn compare, const void *key, const void *har,
                             int element_size, int *segment, int *index_in_segment) {
  int total;
  return binary_search_har_low(compare, key, har, element_size, &total, segment, index_in_segment)
             ? total
             : -1;
}

// ---- linear searches ------------------------------------------------------------

KW_API int find_ptr_in_array(const void *pointers, const void *pointer, int count) {
  if (!pointers) return -1;
  for (int i = 0; i < count; ++i)
    if (ptr_at(pointers, i) == pointer) return i;
  return -1;
}

KW_API int is_ptr_in_array(const void *pointers, const void *pointer, int count) {
  return find_ptr_in_array(pointers, pointer, count) >= 0;
}

KW_API int int_in_list(int32_t value, const int32_t *list) {
  int n = count_of(list);
  for (int i = 0; i < n; ++i)
    if (list[i] == value) return i;
  return -1;
}

KW_API int int_is_in_list(int32_t value, const int32_t *list) {
  return int_in_list(value, list) >= 0;
}

KW_API int list_in_list(const int32_t *a, const int32_t *b) {
  int na = count_of(a);
  if (na > count_of(b)) return 0;
  for (int i = 0; i < na; ++i)
    if (int_in_list(a[i], b) < 0) return 0;
  return 1;
}

KW_API int arr_is_substr_of_arr(const int32_t *a, int count_a, const int32_t *b, int count_b) {
  if (count_a < 0 || count_a >= count_b) return 0;
  if (count_a > 0 && (!a || !b)) return 0;
  return count_a == 0 || std::memcmp(a, b, count_a * sizeof(int32_t)) == 0;
}

KW_API int check_null_pointers(const void *a, const void *b) {
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  return kw::algo::reject("check_pointers", "neither pointers are null", 0);
}
