/* Sorted arrays: binary searches that report the insertion point, sorted
 * insertion and removal, integer sets, merges of two sorted arrays and the
 * ready-made comparison callbacks.
 *
 * Comparison callbacks come in three shapes (all return <0, 0 or >0):
 *  - key form `compare(key, element)`: positive when the key sorts after the
 *    element. For object arrays `element` is the element's address, for
 *    pointer arrays the element's value;
 *  - data form `compare(key, element, data)`: the same with a caller word;
 *  - pair form `compare(a, b)` / `compare(a, b, data)`: positive when a sorts
 *    after b.
 * Callbacks may be inconsistent (not a strict weak order): results are then
 * some order or some index, never an access outside the arrays.
 *
 * Every search here rests on one binary search: while low <= high, mid is
 * (low + high) / 2; a positive comparison moves low past mid, otherwise high
 * below it; a zero comparison stops with "found". When not found the index
 * out receives the insertion point: mid + 1 after a last positive
 * comparison, else mid. With duplicates the index is that of whichever equal
 * element the halving meets first, not necessarily the first of the run.
 *
 * An integer set (`ids`) is an xar of int32_t in strictly ascending order;
 * functions that create one use growth increment 2. Pointer order is the
 * unsigned order of the pointer values.
 *
 * Bad arguments are reported through dbg_err_crash with the function's name
 * as caption; the function then returns 0 (or the value stated) and changes
 * nothing. Arrays returned through out-parameters belong to the caller
 * (xar_free / har_free). Nothing here takes a lock or keeps state: distinct
 * arrays may be used from distinct threads.
 */
#ifndef KEELWORK_SORTED_H
#define KEELWORK_SORTED_H

#include "kw_base.h"
#include "xar.h"

KW_BEGIN_DECLS

/* ---- ready-made comparisons -------------------------------------------- */

/* Pointer values, unsigned order. */
KW_API int compare_ptrs(const void *a, const void *b);
/* 1 when the pointer values are equal, else 0. */
KW_API int same_pointers(const void *a, const void *b);
/* 1 when the pointers stored at `a` and `b` are equal, else 0. */
KW_API int same_ptr_element(const void *a, const void *b);
/* The pointers stored at `a` and `b`, unsigned order. */
KW_API int ptr_element_cmp(const void *a, const void *b);
/* Two words taken as signed integers: exactly -1, 0 or 1. */
KW_API int int_cmp(const void *a, const void *b);
/* The int32_t values at `a` and `b`: exactly -1, 0 or 1. */
KW_API int int_element_cmp(const void *a, const void *b);
/* Difference (as signed chars) of the first differing byte of the first `n`
 * bytes; 0 when they agree. */
KW_API int bytcmp(const void *a, const void *b, int n);
/* The doubles at `a` and `b` with tolerance 1e-9: 1 when *a > *b + 1e-9,
 * -1 when *b > *a + 1e-9, else 0. */
KW_API int cmp_double_tol(const void *a, const void *b);
/* Two points of three doubles, coordinate by coordinate with the tolerance
 * that `tolerance` addresses (0 when null): -1 when b - tol > a, 1 when
 * b + tol < a, else the next coordinate; 0 when all three agree. */
KW_API int compare_xyz_points(const void *a, const void *b, void *tolerance);

/* ---- searches ---------------------------------------------------------- */

/* Searches `count` objects of `element_size` bytes at `base` for `key` with
 * compare(key, element address, data). Returns 1 when found, 0 when not;
 * `*index` (may be null) receives the found index or the insertion point.
 * count < 1 gives index 0 and 0. */
KW_API int binary_srch_array_low_with_data(int count, kw_compare_data_fn compare, int element_size,
                                           const void *key, const void *base, int *index,
                                           void *data);
/* The same with a key-form compare(key, element address). */
KW_API int binary_srch_array_low(int count, kw_compare_fn compare, int element_size,
                                 const void *key, const void *base, int *index);
/* The found index, or -1. */
KW_API int binary_srch_array(int count, kw_compare_fn compare, int element_size, const void *key,
                             const void *base);
/* Searches an array of pointers; compare receives the key and the pointer
 * value. 1 found / 0 not, `*index` as above (may be null). */
KW_API int binary_search_low(int count, kw_compare_fn compare, const void *key,
                             const void *pointers, int *index);
/* The found index, or -1. */
KW_API int binary_search(int count, kw_compare_fn compare, const void *key, const void *pointers);
/* Object-array search: the found index, or -1. */
KW_API int binary_search_obj(int count, kw_compare_fn compare, const void *key, const void *base,
                             int element_size);
/* Ascending int32_t array: the index of `value`, or -1. */
KW_API int binary_search_int(int count, const int32_t *array, int32_t value);
/* Pointer array in pointer order: the index of `pointer`, or -1. */
KW_API int simple_search_ptrs(const void *pointers, int count, const void *pointer);
/* 1 when the integer set `ids` (null: empty) holds `value`. */
KW_API int id_search(const int32_t *ids, int32_t value);
/* Ascending doubles: 1 when an element lies within t = max(tolerance,
 * 1e-9) of `value` (neither value >= element + t nor element >= value + t;
 * its index goes to `*index`), else 0 and the insertion point. `index` may
 * be null. */
KW_API int binary_srch_doubles(int count, const double *array, double value, double tolerance,
                               int *index);
/* Ascending doubles: the interval index i (0 .. count-2) with
 * a[i] <= value < a[i+1], clamped to the first and last interval; -1 when
 * count < 2. */
KW_API int search_double(int count, const double *array, double value);
/* As search_double, but -1 for count 0 or value < a[0], and count-1 for
 * value >= a[count-1]. */
KW_API int search_double_gen(int count, const double *array, double value);
/* Searches the xar `*array_address` with compare(key, element address,
 * data); 1 found / 0 not, `*index` (may be null) as above. */
KW_API int xar_sorted_find(const void *array_address, kw_compare_data_fn compare, const void *key,
                           void *data, int *index);
/* The same over the elements from `start` on; `*index` is relative to
 * `start`. A start outside 0 .. count-1 (0 is always accepted) is
 * reported and gives 0 with index 0. */
KW_API int xar_sorted_find_w_start(const void *array_address, kw_compare_data_fn compare,
                                   const void *key, void *data, int start, int *index);
/* `pointers` holds `count` addresses of words inside `base`, sorted by the
 * words they address; compare receives the key and such a word. Returns the
 * index of the found word in `base` (its offset / sizeof(void *)), or -1. */
KW_API int sorted_ptr_ptrs_lookup(int count, kw_compare_fn compare, const void *key,
                                  const void *base, const void *pointers);
/* Searches a har sorted across its segments with compare(key, element
 * address). 1 found / 0 not; the outs (each may be null) receive the total
 * index (or insertion point), the segment and the index inside it. */
KW_API int binary_search_har_low(kw_compare_fn compare, const void *key, const void *har,
                                 int element_size, int *total_index, int *segment,
                                 int *index_in_segment);
/* The same: the total index, or -1 when not found. */
KW_API int binary_search_har(kw_compare_fn compare, const void *key, const void *har,
                             int element_size, int *segment, int *index_in_segment);
/* Linear search of `count` pointers: the index of `pointer`, or -1. */
KW_API int find_ptr_in_array(const void *pointers, const void *pointer, int count);
/* 1 when `pointer` is among the `count` pointers. */
KW_API int is_ptr_in_array(const void *pointers, const void *pointer, int count);
/* Linear search of an int32_t xar: the index of `value`, or -1. */
KW_API int int_in_list(int32_t value, const int32_t *list);
/* 1 when `value` is in the int32_t xar `list`. */
KW_API int int_is_in_list(int32_t value, const int32_t *list);
/* 1 when every element of the xar `a` occurs in the xar `b`; 0 when a is
 * longer than b. */
KW_API int list_in_list(const int32_t *a, const int32_t *b);
/* 1 when `a` equals the first count_a elements of `b` and count_a < count_b. */
KW_API int arr_is_substr_of_arr(const int32_t *a, int count_a, const int32_t *b, int count_b);

/* ---- sorted insertion and removal -------------------------------------- */

/* Inserts `element` (copied) into the xar `*array_address` (created with
 * increment 2 when null) at its insertion point by compare(key, element
 * address), unless an equal element exists. Returns 1 when one existed
 * (nothing inserted), 0 after inserting. */
KW_API int insert_object(void *array_address, const void *element, int element_size,
                         kw_compare_fn compare);
/* Returns 0 with the existing index when an equal element exists and
 * `allow_duplicates` is 0; otherwise inserts at the search's index (which
 * goes to `*index`) and returns 1. A null array inserts nothing: 0, -1. */
KW_API int xar_sorted_insert(void *array_address, kw_compare_data_fn compare, const void *element,
                             void *data, int allow_duplicates, int *index);
/* Adds `value` to the set (created when null): 1 when present, 0 added. */
KW_API int id_insert(void *ids_address, int32_t value);
/* When `unique` and present: 1 and the index. Otherwise inserts (a
 * duplicate when present) and returns the found flag; `*index` (may be
 * null) receives the position. */
KW_API int id_insert_low(void *ids_address, int32_t value, int unique, int *index);
/* Removes `value`: 1 when it was there, else 0. */
KW_API int id_remove(void *ids_address, int32_t value);
/* Pointer xars in pointer order. add_to_ptr_list inserts when absent and
 * returns the index (existing or new), -1 for a null array;
 * chk_add_ptr_list returns 1 when present, else inserts (creating the
 * array) and returns 0; chk_rmv_ptr_list returns 1 after removing, else 0;
 * ptr_in_ptr_list returns the found flag; where_in_ptr_list the index or
 * -1. */
KW_API int add_to_ptr_list(void *array_address, const void *pointer);
KW_API int chk_add_ptr_list(void *array_address, const void *pointer);
KW_API int chk_rmv_ptr_list(void *array_address, const void *pointer);
KW_API int ptr_in_ptr_list(const void *array_address, const void *pointer);
KW_API int where_in_ptr_list(const void *array_address, const void *pointer);
/* Sorted xars of unique elements, compared with compare(key, element
 * address). unique_xarray_add: -1 for a null array, -2 when the array is
 * at its largest count, else the index of the equal or newly inserted
 * element. unique_xarray_contains: found flag. unique_xarray_index: the
 * index, -1 when absent (or null), -2 when absent and the array is full.
 * unique_xarray_check_add: 1 when present, else inserts and returns 0.
 * unique_xarray_check_remove: 1 after removing, else 0. A null array gives
 * 0 unless stated. */
KW_API int unique_xarray_add(void *array_address, const void *element, kw_compare_fn compare);
KW_API int unique_xarray_contains(const void *array_address, const void *element,
                                  kw_compare_fn compare);
KW_API int unique_xarray_index(const void *array_address, const void *element,
                               kw_compare_fn compare);
KW_API int unique_xarray_check_add(void *array_address, const void *element, kw_compare_fn compare);
KW_API int unique_xarray_check_remove(void *array_address, const void *element,
                                      kw_compare_fn compare);
/* Inserts `value` into the ascending double xar (created when null) unless
 * an element lies within `eps`: finds the first i with a[i] + eps > value,
 * appends when there is none, rejects when value >= a[i] - eps, else
 * inserts at i. Returns 1 when inserted, 0 when rejected. */
KW_API int insert_double_in_array_w_eps(double value, void *array_address, double eps);
/* The same with eps 1e-9. */
KW_API int insert_double_in_sorted_array(double value, void *array_address);
/* Merges `count` ascending doubles into the ascending double xar (created
 * when null), dropping each new value within `tolerance` of an element
 * already present. Returns the new count. */
KW_API int merge_params_to_first(void *array_address, const double *array, int count,
                                 double tolerance);

/* ---- integer sets ------------------------------------------------------ */

/* The common elements of `a` and `b` into `*out_address` (created with
 * increment 4 or resized). Returns their number. */
KW_API int intersect_int_sets(const int32_t *a, const int32_t *b, void *out_address);
/* 1 when the sets share an element. */
KW_API int int_sets_intersect(const int32_t *a, const int32_t *b);
/* The union into `*out_address` (created or resized to the exact count);
 * an element of both occurs once. Returns the count. */
KW_API int merge_sorted_int_sets(const int32_t *a, const int32_t *b, void *out_address);
/* Removes from the set `*a_address` every element of the set `b`. Returns
 * the new count. */
KW_API int subtract_int_sets(void *a_address, const int32_t *b);
/* The same for unsorted arrays: for each element of `b` the first equal
 * element of `*a_address` is removed. Returns the new count. */
KW_API int subtract_unsorted_int_sets(void *a_address, const int32_t *b);
/* Sorts ascending, removes duplicates and every -1; returns the new count. */
KW_API int sort_and_clean_ids(void *ids_address);
/* Insertion sort ascending, then removal of adjacent duplicates; returns the
 * new count. */
KW_API int uniquify_int_array(void *array_address);
/* Removes duplicates, sorting only when the array is not already in
 * non-increasing order; returns the number of elements removed. */
KW_API int uniquify_int_array_fast(void *array_address);
/* Shell sorts, ascending: signed integers; an int32_t xar; pointer order. */
KW_API void sort_ints(int32_t *array, int count);
KW_API void simple_sort_int_list(int32_t *list);
KW_API void simple_sort_ptrs(void *pointers, int count);
/* Sets every element of the xar to `value`; returns the count. */
KW_API int fill_int_list(int32_t *list, int32_t value);
/* count(b) - count(a) when the counts differ, else b[i] - a[i] at the first
 * differing index (saturated to the int range), else 0. */
KW_API int cmpr_int_lists(const int32_t *a, const int32_t *b);
/* Lexicographic -1/0/1; a shorter prefix sorts first. */
KW_API int cmpr_int_arr_to_arr(const int32_t *a, int count_a, const int32_t *b, int count_b);
KW_API int cmpr_int_xarr(const int32_t *a, const int32_t *b);

/* ---- merges ------------------------------------------------------------- */

/* Merges two sorted object arrays into `out` (room for count_a + count_b
 * addresses of elements of the inputs) and `results` (may be null; one int
 * per entry: the comparison's result for that step: negative from `a`
 * only, positive from `b` only, 0 both equal and the entry points into
 * `a`; exactly -1 or +1 once one input is exhausted). `*out_count`
 * receives the number of entries. Returns count_a. */
KW_API int merge_sorted_arrays(int element_size, const void *a, int count_a, const void *b,
                               int count_b, kw_compare_data_fn compare, void *data,
                               const void **out, int *results, int *out_count);
/* The same for xar inputs (null counts as empty; the element sizes must
 * agree): addresses into the xar of pointers `*out_address`, results into
 * the int32_t xar `*results_address` (may be null); both are created or
 * resized. Returns the number of entries. */
KW_API int merge_sorted_xarrays(const void *a, const void *b, kw_compare_data_fn compare,
                                void *data, void *out_address, void *results_address);
/* As merge_sorted_xarrays, then copies the merged elements into a new xar
 * `*out_address` (its old contents freed) of the inputs' element size
 * (pointer size when both are null). Returns the count. */
KW_API int make_merged_xarray(const void *a, const void *b, kw_compare_data_fn compare, void *data,
                              void *out_address, void *results_address);
/* Replaces the xar `*target_address` by the merge of target and `source`
 * (equal elements once); an empty target becomes a copy of `source`.
 * Returns the target's count. */
KW_API int merge_to_target_xar(void *target_address, const void *source, kw_compare_fn compare);
/* Merges two xars of pointers; `*out_address` (a pointer xar, created or
 * resized) receives the pointer values; compare receives the addresses of
 * the two elements. Returns the count. */
KW_API int merge_sorted_pointer_xarrays(const void *a, const void *b, kw_compare_fn compare,
                                        void *out_address);
/* merge_sorted_xarrays and make_merged_xarray for har inputs and outputs. */
KW_API int merge_sorted_harrays(const void *a, const void *b, kw_compare_data_fn compare,
                                void *data, void *out_address, void *results_address);
KW_API int make_merged_harray(const void *a, const void *b, kw_compare_data_fn compare, void *data,
                              void *out_address, void *results_address);
/* Removes from the sorted xar `*a_address` every element equal to one of
 * the sorted xar `b` (compare(b element, a element)), searching forward from
 * the previous hit. Returns a's new count. */
KW_API int subtract_xarrays(void *a_address, const void *b, kw_compare_fn compare);
/* Compares two xars: both null 0, a null -1, b null 1; then the element
 * sizes, then the counts, then element by element with compare(a element,
 * b element, data) (xar_cmp: the bytes). */
KW_API int xar_cmp_with_func(const void *a, const void *b, kw_compare_data_fn compare, void *data);
KW_API int xar_cmp(const void *a, const void *b);

/* ---- other -------------------------------------------------------------- */

/* Both null 0, only a null -1, only b null 1; neither null is reported and
 * gives 0. */
KW_API int check_null_pointers(const void *a, const void *b);

KW_END_DECLS

#endif /* KEELWORK_SORTED_H */
