/* Sorting in place: objects of plain arrays, xars and hars, pointer arrays
 * reached through an accessor, doubles and 3-D points, plus the moves that
 * go with them (permutation by a pointer array, rotation, swap, move,
 * compaction of pointer arrays).
 *
 * Comparison callbacks receive the addresses of elements of the caller's
 * array (pointer values for the pointer sorts), never of copies. Objects of
 * up to 64 bytes are sorted where they lie; larger ones, and the stable
 * variants, sort an array of the objects' addresses and then move each
 * object once along the cycles of the permutation, so that during such a
 * sort every address keeps naming its original object. The stable variants
 * break ties by the original position. Callbacks may be inconsistent: the
 * result is then some permutation of the input, never a lost or duplicated
 * element.
 *
 * Bad arguments are reported through dbg_err_crash with the caption given
 * below. Nothing here keeps state between calls and nothing takes a lock:
 * every function may run in parallel on distinct arrays.
 */
#ifndef KEELWORK_OBJSORT_H
#define KEELWORK_OBJSORT_H

#include "kw_base.h"
#include "xar.h"

KW_BEGIN_DECLS

/* Sorts `count` objects of `element_size` bytes at `base` with
 * compare(a address, b address, data). Not stable. */
KW_API void sort_objects_with_data(int count, kw_compare_data_fn compare, void *base,
                                   int element_size, void *data);
KW_API void sort_objects(int count, kw_compare_fn compare, void *base, int element_size);
/* Stable: objects that compare equal keep their relative order. */
KW_API void sort_objects_same_order(int count, kw_compare_fn compare, void *base, int element_size);
KW_API void sort_objects_same_order_w_data(int count, kw_compare_data_fn compare, void *base,
                                           int element_size, void *data);
/* Stable sort of `count` pointers; compare receives the pointer values. */
KW_API void sort_pointers_same_order(int count, kw_compare_fn compare, void *pointers);

/* Moves the objects so that object i is the one that pointers[i] addressed,
 * then sets pointers[i] to base + i * element_size. The pointers must be a
 * permutation of the objects' addresses; otherwise "ORDER_ARRAY" / "invalid
 * data" is reported and nothing moves (count < 0 or element_size < 1:
 * "invalid input"). Returns 0, or E_INVALID_INPUT. */
KW_API int order_array(int count, void *base, void *pointers, int element_size);

/* Sorts the whole xar `*array_address` with compare(a address, b address).
 * Returns its count. */
KW_API int xar_sort(void *array_address, kw_compare_fn compare);
/* Sorts `count` pointers; when `indices_address` is not null the int32_t
 * xar it addresses (created or resized) receives each sorted pointer's
 * former index. A null compare is reported ("with_index_ptr_compare_func" /
 * "No compare function") and nothing is sorted. */
KW_API void sort_pointers_with_index(int count, kw_compare_fn compare, void *pointers,
                                     void *indices_address);
/* `*out_address` (a pointer xar, created or resized) receives the `count`
 * addresses base + i * sizeof(void *), sorted by the words they address
 * (compare receives the words). */
KW_API void make_sorted_ptr_ptrs(int count, kw_compare_fn compare, const void *base,
                                 void *out_address);
/* Ascending, exact comparison. */
KW_API void sort_double(int count, double *array);
/* Points are three consecutive doubles, compared with compare_xyz_points and
 * `tolerance` (may be null: 0). With `pointers` null the points are sorted
 * in place; otherwise pointers[i] is set to point i and the pointer array
 * is sorted. */
KW_API void sort_xyz_points(int count, double *points, double **pointers, const double *tolerance);

/* Returns the address of slot `index` of an abstract pointer array. */
typedef void **(*kw_access_fn)(int index);
/* Quicksort of slots low .. high of the array that `access` reaches;
 * compare receives the pointer values. Ranges of fewer than 10 slots are
 * finished by insertion sort. */
KW_API void quick_sort_access(int low, int high, kw_compare_fn compare, kw_access_fn access);
/* quick_sort_access(0, count - 1, compare, access). */
KW_API void sort_pointers_access(int count, kw_compare_fn compare, kw_access_fn access);
/* Sorts a har of pointers (compare receives the values) or of objects of
 * `element_size` bytes (compare receives their addresses); a har of one
 * segment is sorted as a plain array. sort_har_pointers_ts is the same
 * sort; both keep no shared state and may run in parallel on distinct
 * hars. */
KW_API void sort_har_pointers(void *har, kw_compare_fn compare);
KW_API void sort_har_pointers_ts(void *har, kw_compare_fn compare);
KW_API void sort_har_objects(void *har, kw_compare_fn compare, int element_size);

/* Rotates `count` elements left by `shift`. 0 for a null base or a shift
 * outside 0 .. count-1, else 1. */
KW_API int shift_elem_array(void *base, int element_size, int shift, int count);
/* Swaps elements i and j of the xar `array`; an index outside the array is
 * reported ("xar_swap" / "Invalid request"). Returns 0, or -1. */
KW_API int xar_swap(void *array, int i, int j);
/* Moves element `from` to index `to`, shifting those between. Returns 0,
 * or E_INVALID_INPUT when an index is negative or not below the count. */
KW_API int xar_move(void *array_address, int from, int to);
/* Removes the null entries of a pointer xar keeping the order; returns the
 * new count. */
KW_API int compress_pointer_array(void *array_address);
/* Removes adjacent equal pointers and null entries from the first `count`
 * entries of the sorted pointer xar (count < 0 or beyond the array: all of
 * them); the entries after them stay. Returns the new count. */
KW_API int uniquify_sorted_pointer_array(void *array_address, int count);
/* sort_pointers with `compare`, then uniquify_sorted_pointer_array. */
KW_API int uniquify_pointer_array(void *array_address, kw_compare_fn compare);

KW_END_DECLS

#endif /* KEELWORK_OBJSORT_H */
