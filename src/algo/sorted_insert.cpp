// Sorted insertion and removal: one binary search plus one xar_insert or
// xar_remove.
#include <cmath>
#include <cstring>

#include "algo/algo_internal.h"
#include "keelwork/sorted.h"

using kw::algo::count_of;
using kw::algo::cslot;
using kw::algo::slot;

namespace {

constexpr int kSetIncrement = 2;

int id_find(const void *ids_address, int32_t value, int *index) {
  const int32_t *ids = static_cast<const int32_t *>(cslot(ids_address));
  return kw::algo::bsearch_index(
      count_of(ids), [&](int mid) { return kw::algo::sign_cmp(value, ids[mid]); }, index);
}

int ptr_find(const void *array_address, const void *pointer, int *index) {
  const void *const *p = static_cast<const void *const *>(cslot(array_address));
  auto key = reinterpret_cast<std::uintptr_t>(pointer);
  return kw::algo::bsearch_index(
      count_of(p),
      [&](int mid) { return kw::algo::sign_cmp(key, reinterpret_cast<std::uintptr_t>(p[mid])); },
      index);
}

int unique_find(const void *array_address, const void *element, kw_compare_fn compare, int *index) {
  const void *xar = cslot(array_address);
  return binary_srch_array_low(count_of(xar), compare, kw::algo::elsize_of(xar), element, xar,
                               index);
}

// 1 when the xar cannot take one element more.
bool full(const void *xar) {
  int count = 0, max_count = 0;
  if (xar_params(xar, nullptr, nullptr, &count, &max_count) != 0) return true;
  return count >= max_count;
}

}  // namespace

KW_API int insert_object(void *array_address, const void *element, int element_size,
                         kw_compare_fn compare) {
  if (!array_address || !element || element_size < 1 || !compare) return 0;
  if (!slot(array_address)) {
    slot(array_address) = xar_alloc(0, element_size, kSetIncrement);
    if (!slot(array_address)) return 0;
  }
  int index;
  if (binary_srch_array_low(xar_count(array_address), compare, element_size, element,
                            slot(array_address), &index))
    return 1;
  xar_insert(array_address, index, 1, element);
  return 0;
}

KW_API int xar_sorted_insert(void *array_address, kw_compare_data_fn compare, const void *element,
                             void *data, int allow_duplicates, int *index) {
  int where = -1;
  int result = 0;
  if (array_address && slot(array_address) && compare) {
    int found = xar_sorted_find(array_address, compare, element, data, &where);
    if (!found || allow_duplicates)
      result = xar_insert(array_address, where, 1, element) == 0 ? 1 : 0;
  }
  if (index) *index = where;
  return result;
}

KW_API int id_insert(void *ids_address, int32_t value) {
  return id_insert_low(ids_address, value, 1, nullptr);
}

KW_API int id_insert_low(void *ids_address, int32_t value, int unique, int *index) {
  if (!ids_address) return 0;
  if (!slot(ids_address)) slot(ids_address) = xar_alloc(0, sizeof(int32_t), kSetIncrement);
  int where;
  int found = id_find(ids_address, value, &where);
  if (!(found && unique)) xar_insert(ids_address, where, 1, &value);
  if (index) *index = where;
  return found;
}

KW_API int id_remove(void *ids_address, int32_t value) {
  int where;
  if (!ids_address || !id_find(ids_address, value, &where)) return 0;
  xar_remove(ids_address, where, 1);
  return 1;
}

KW_API int add_to_ptr_list(void *array_address, const void *pointer) {
  if (!array_address || !slot(array_address)) return -1;
  int where;
  if (!ptr_find(array_address, pointer, &where)) xar_insert(array_address, where, 1, &pointer);
  return where;
}

KW_API int chk_add_ptr_list(void *array_address, const void *pointer) {
  if (!array_address) return 0;
  if (!slot(array_address)) slot(array_address) = xar_alloc(0, sizeof(void *), kSetIncrement);
  int where;
  if (ptr_find(array_address, pointer, &where)) return 1;
  xar_insert(array_address, where, 1, &pointer);
  return 0;
}

KW_API int chk_rmv_ptr_list(void *array_address, const void *pointer) {
  int where;
  if (!array_address || !ptr_find(array_address, pointer, &where)) return 0;
  xar_remove(array_address, where, 1);
  return 1;
}

KW_API int ptr_in_ptr_list(const void *array_address, const void *pointer) {
  int where;
  return array_address && ptr_find(array_address, pointer, &where);
}

KW_API int where_in_ptr_list(const void *array_address, const void *pointer) {
  int where;
  return array_address && ptr_find(array_address, pointer, &where) ? where : -1;
}

KW_API int unique_xarray_add(void *array_address, const void *element, kw_compare_fn compare) {
  if (!array_address || !slot(array_address)) return -1;
  const void *xar = slot(array_address);
  if (full(xar)) return -2;
  int where;
  if (!unique_find(array_address, element, compare, &where) &&
      xar_insert(array_address, where, 1, element) != 0)
    return -2;
  return where;
}

KW_API int unique_xarray_contains(const void *array_address, const void *element,
                                  kw_compare_fn compare) {
  int where;
  return array_address && unique_find(array_address, element, compare, &where);
}

KW_API int unique_xarray_index(const void *array_address, const void *element,
                               kw_compare_fn compare) {
  if (!array_address || !cslot(array_address)) return -1;
  int where;
  if (unique_find(array_address, element, compare, &where)) return where;
  return full(cslot(array_address)) ? -2 : -1;
}

KW_API int unique_xarray_check_add(void *array_address, const void *element,
                                   kw_compare_fn compare) {
  if (!array_address || !slot(array_address)) return 0;
  int where;
  if (unique_find(array_address, element, compare, &where)) return 1;
  xar_insert(array_address, where, 1, element);
  return 0;
}

KW_API int unique_xarray_check_remove(void *array_address, const void *element,
                                      kw_compare_fn compare) {
  int where;
  if (!array_address || !unique_find(array_address, element, compare, &where)) return 0;
  xar_remove(array_address, where, 1);
  return 1;
}

// ---- doubles ---------------------------------------------------------------------

KW_API int insert_double_in_array_w_eps(double value, void *array_address, double eps) {
  if (!array_address) return 0;
  if (!slot(array_address)) slot(array_address) = xar_alloc(0, sizeof(double), 10);
  double *a = static_cast<double *>(slot(array_address));
  int n = xar_count(array_address);
  // The first element with a[i] + eps > value; the array is ascending, so
  // a binary search finds it.
  int low = 0, high = n;
  while (low < high) {
    int mid = low + (high - low) / 2;
    if (a[mid] + eps > value)
      high = mid;
    else
      low = mid + 1;
  }
  if (low < n && value >= a[low] - eps) return 0;
  return xar_insert(array_address, low, 1, &value) == 0;
}

KW_API int insert_double_in_sorted_array(double value, void *array_address) {
  return insert_double_in_array_w_eps(value, array_address, 1e-9);
}

KW_API int merge_params_to_first(void *array_address, const double *array, int count,
                                 double tolerance) {
  if (!array_address) return 0;
  if (!slot(array_address)) slot(array_address) = xar_alloc(0, sizeof(double), 10);
  if (!array || count < 1) return xar_count(array_address);
  int i = 0;  // position in the existing elements
  int j = 0;  // position in the new values
  while (j < count && i < xar_count(array_address)) {
    double e = static_cast<double *>(slot(array_address))[i];
    double v = array[j];
    if (v - tolerance <= e && e <= v + tolerance) {
      ++j;  // within the tolerance of an existing element: dropped
      continue;
    }
    if (v < e - tolerance) {
      // The run of new values below this element goes in before it at once.
      int run = j + 1;
      while (run < count && array[run] < e - tolerance) ++run;
      xar_insert(array_address, i, run - j, array + j);
      i += run - j;
      j = run;
      continue;
    }
    ++i;
  }
  if (j < count) xar_append(array_address, count - j, array + j);
  return xar_count(array_address);
}
