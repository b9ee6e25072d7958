/* Extensible arrays (xar), segmented arrays (har) and pointer sorting.
 *
 * An xar is held as a plain pointer to its first element, so elements are
 * indexed directly (`ids[i]`); its count, element size and growth increment
 * live in a header in front of the elements. Functions that may move the
 * elements take the address of the caller's pointer (`&ids`, passed as
 * void *); read-only ones take the pointer itself. A null pointer is an empty
 * array. Counts are int; `xar_max_count_get` gives the largest count an array
 * of that element size may reach, and growth beyond it is refused (the
 * function fails and the array is unchanged).
 *
 * A har keeps its elements in fixed-capacity segments, so they never move
 * when it grows; it too is held as a pointer to its first element.
 *
 * Ownership: arrays belong to the caller and are freed with xar_free /
 * har_free; the elements' own blocks are the caller's business except in
 * release_pointer_xar. No function here takes a lock: one array, one thread
 * at a time.
 */
#ifndef KEELWORK_XAR_H
#define KEELWORK_XAR_H

#include "kw_base.h"
#include "memory.h"

KW_BEGIN_DECLS

/* ---- xar --------------------------------------------------------------- */

/* A new array of `count` zero-filled elements of `element_size` bytes that
 * grows by `increment` elements (at least 1); null when count is negative or
 * too large. */
KW_API void *xar_alloc(int count, int element_size, int increment);
/* The same from `manager` (null: shared). */
KW_API void *memmgr_xar_alloc(memmgr *manager, int count, int element_size, int increment);
/* Number of elements of `*array_address`; 0 for a null array. */
KW_API int xar_count(const void *array_address);
/* As xar_count, but -1 when the array's header is damaged. */
KW_API int xar_count_if_valid(const void *array_address);
/* The largest count an array of `element_size` bytes may have. */
KW_API int xar_max_count_get(int element_size);
/* Address of the last element, or null for an empty array. */
KW_API void *xar_last(const void *array);
/* Reads back the parameters of `array`: element size, increment, count and
 * the largest count it may reach (each out may be null). Returns 0, or -1
 * for a null or damaged array. */
KW_API int xar_params(const void *array, int *element_size, int *increment, int *count,
                      int *max_count);
/* Number of elements the array can hold before it must grow; 0 for null. */
KW_API int xar_capacity(const void *array);
/* Non-zero when `array` is not a sound xar (null is sound). */
KW_API int debug_xar_invalid(const void *array);
/* Debug aid: non-zero forces every growth to extend by exactly the
 * increment (no geometric growth); returns the previous setting. */
KW_API int debug_xar_force_ext_no(int flag);

/* Appends `n` elements copied from `source` (zero-filled when null).
 * Returns 0, or -1 when refused. */
KW_API int xar_append(void *array_address, int n, const void *source);
/* Appends `n` zero-filled elements; returns the first of them, or null when
 * refused or the array is null. */
KW_API void *xar_extend(void *array_address, int n);
/* Inserts `n` elements (copied from `source`, zero-filled when null) before
 * `index` (0..count). Returns 0, or -1 when refused or out of range. */
KW_API int xar_insert(void *array_address, int index, int n, const void *source);
/* Removes `n` elements from `index`; the range is clipped to the array.
 * Returns the number removed. */
KW_API int xar_remove(void *array_address, int index, int n);
/* Sets the count to `count`, zero-filling new elements. Returns 0, or -1. */
KW_API int xar_resize(void *array_address, int count);
/* Removes the last `n` elements (all of them when n >= count). */
KW_API int xar_shrink(void *array_address, int n);
/* Creates the array when `*array_address` is null, then resizes it. */
KW_API int xar_alloc_or_resize(void *array_address, int count, int element_size, int increment);
/* Creates the array when `*array_address` is null, then appends. */
KW_API int xar_alloc_or_append(void *array_address, int n, int element_size, int increment,
                               const void *source);
/* Frees the array and sets the caller's pointer to null. */
KW_API void xar_free(void *array_address);
/* Makes `*to_address` an exact copy of `from` (freeing what it held; null
 * when from is null). Returns 0, or -1. */
KW_API int xar_cpy(void *to_address, const void *from);
/* Appends every element of `from` to `*to_address` (created when null; the
 * element sizes must agree). Returns 0, or -1. */
KW_API int xar_concat(void *to_address, const void *from);
/* A new array holding a copy of `array`; null for null. */
KW_API void *xar_replicate(const void *array);
/* Removes the element at `index`. Returns 0, or -1 when out of range. */
KW_API int xar_delete(void *array_address, int index);
/* Frees every element (each a getmem block) with relmem, then the array. */
KW_API void release_pointer_xar(void *array_address);
/* Frees every element with relmem and sets the count to 0. */
KW_API void reset_pointer_xar(void *array_address);

/* ---- har --------------------------------------------------------------- */

/* A new segmented array with `count` zero-filled elements; each segment
 * holds up to `segment_size` elements (at least 1). */
KW_API void *har_alloc(int count, int element_size, int segment_size);
/* Address of element `index`, or null when out of range; the segment
 * number and the index inside it go to the outs (each may be null). */
KW_API void *har_access(const void *har, int index, int *segment, int *index_in_segment);
/* Number of elements; 0 for null. */
KW_API int har_total(const void *har);
/* Element size; 0 for null. */
KW_API int har_element_size(const void *har);
/* Capacity of each segment; 0 for null. */
KW_API int har_segment_size(const void *har);
/* Number of segments; 0 for null. */
KW_API int har_segment_count(const void *har);
/* First element of segment `segment` and its element count (out may be
 * null); null when there is no such segment. */
KW_API void *har_segment(const void *har, int segment, int *count);
/* Appends `n` elements (zero-filled when source is null); creates nothing:
 * `*har_address` must be an array. Returns 0, or -1. */
KW_API int har_append(void *har_address, int n, const void *source);
/* Appends every element of `from`. Returns 0, or -1. */
KW_API int har_append_har(void *har_address, const void *from);
/* Inserts `n` elements before `index`; elements of the segment that holds
 * `index` move within it, a full segment spills into a new one. */
KW_API int har_insert(void *har_address, int index, int n, const void *source);
/* Removes `n` elements from `index` (clipped); returns the number removed. */
KW_API int har_remove(void *har_address, int index, int n);
/* A new har with the same parameters and elements; null for null. */
KW_API void *har_copy(const void *har);
/* Sets the count, zero-filling new elements. Returns 0, or -1. */
KW_API int har_resize(void *har_address, int count);
/* Frees the har and sets the caller's pointer to null. */
KW_API void har_free(void *har_address);

/* ---- sorting of pointer arrays ----------------------------------------- */

/* Three-way comparison of two array elements (for pointer arrays: of the
 * two pointer values). */
typedef int (*kw_compare_fn)(const void *a, const void *b);
typedef int (*kw_compare_data_fn)(const void *a, const void *b, void *data);

/* Sorts `count` pointers in place by `compare`, which receives the pointer
 * values. Not stable. */
KW_API void sort_pointers(int count, kw_compare_fn compare, void *pointers);
/* The same with a data word passed to every comparison. */
KW_API void sort_pointers_with_data(int count, kw_compare_data_fn compare, void *pointers,
                                    void *data);
/* Swaps two pointers in place. */
KW_API void swap_pointers(void **a, void **b);
/* Swaps two objects of `size` bytes. */
KW_API void swap_objects(void *a, void *b, size_t size);

KW_END_DECLS

#endif /* KEELWORK_XAR_H */
