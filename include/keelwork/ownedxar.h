/* Xars that own what they hold: structure xars (elements are structures
 * whose contents a callback releases or copies) and pointer xars (elements
 * point to blocks that a callback releases or copies; the `pblock`
 * variants release with relmem and copy with getmem plus a byte copy of a
 * given size). Also plain conversions between arrays, xars and hars.
 *
 * Callbacks: `free(element)` releases what the structure at `element` owns
 * (not the structure itself); `copy(source, target)` fills the zeroed
 * structure `target` from `source`. Without a copy callback the bytes are
 * copied; without a free callback nothing is released. For pointer xars
 * `free(target)` releases a whole target and `copy(target)` returns a new
 * one; without copy the pointer itself is stored.
 *
 * Arrays created here grow by 8 unless an increment is given. Bad
 * arguments are reported through dbg_err_crash with the caption given
 * below and change nothing. Everything returned belongs to the caller. No
 * state, no locks.
 */
#ifndef KEELWORK_OWNEDXAR_H
#define KEELWORK_OWNEDXAR_H

#include "kw_base.h"

KW_BEGIN_DECLS

typedef void (*kw_struct_free_fn)(void *element);
typedef void (*kw_struct_copy_fn)(const void *source, void *target);
typedef void (*kw_ptr_free_fn)(void *target);
typedef void *(*kw_ptr_copy_fn)(const void *target);

/* The largest structure str_alloc_or_copy accepts, in bytes. */
#define KW_MAX_STRUCT_SIZE 20480

/* ---- single structures ---------------------------------------------------- */

/* Copies the structure `from` of `size` bytes into `*to_address`, which is
 * allocated (getmem) when null and otherwise has its contents released
 * first. Reports "str_alloc_or_copy" / "too big structure" for a size above
 * 20480 and "bad parametres: p_str_from or p_str_to" for a null argument or
 * a source that is the target. Returns 0, or -1. */
KW_API int str_alloc_or_copy(const void *from, void *to_address, int size, kw_struct_copy_fn copy,
                             kw_struct_free_fn free);
/* Releases the contents of `*str_address`, then the block; nulls it. */
KW_API void str_free(void *str_address, kw_struct_free_fn free);

/* ---- structure xars -------------------------------------------------------- */

/* Creates the xar when null, then sets its count; removed elements have
 * their contents released, new ones are zeroed. An existing element size
 * that differs from `element_size` is reported ("inconsistent size: old
 * (%d) != request (%d) - SERIOUS ERROR."). Returns 0, or -1. */
KW_API int xar_str_alloc_or_resize(void *array_address, int count, int element_size, int increment,
                                   kw_struct_free_fn free);
/* Makes `*to_address` a copy of the xar `from` (null: empty), releasing
 * what it held. Null, identical or inconsistent arguments: "bad
 * parameters". Returns the count, or -1. */
KW_API int xar_str_copy(const void *from, void *to_address, kw_struct_copy_fn copy,
                        kw_struct_free_fn free);
/* The same from `count` structures of `element_size` bytes at `array`. */
KW_API int array_to_xar_str_copy(const void *array, int count, int element_size, void *to_address,
                                 kw_struct_copy_fn copy, kw_struct_free_fn free);
/* Releases and removes `n` elements from `index`; a range beyond the array
 * is reported ("bad parameters: idx or n_elems"). Returns 0, or -1. */
KW_API int xar_str_delete(void *array_address, int index, int n, kw_struct_free_fn free);
/* Releases every element's contents, then the xar; nulls the pointer. */
KW_API void xar_str_free(void *array_address, kw_struct_free_fn free);

/* ---- pointer xars ----------------------------------------------------------- */

/* Releases every non-null target and empties the xar. */
KW_API void xar_ptr_reset(void *array_address, kw_ptr_free_fn free);
/* Releases every target, then the xar; nulls the pointer. */
KW_API void xar_ptr_free(void *array_address, kw_ptr_free_fn free);
/* Releases every target and nulls the entries; the count stays. */
KW_API void xar_ptr_freeoff(void *array_address, kw_ptr_free_fn free);
/* The same for targets that are structures: `free` releases each target's
 * contents, then relmem the target. */
KW_API void xar_ptr_freeoff_with_str(void *array_address, kw_struct_free_fn free);
/* Releases and removes `n` entries from `index` (clipped to the array).
 * Returns the number removed. */
KW_API int xar_ptr_delete(void *array_address, int index, int n, kw_ptr_free_fn free);
/* Appends copy(target) (or `target`) to the xar (created when null).
 * Returns the new entry's index, or -1. */
KW_API int xar_ptr_append(void *array_address, const void *target, kw_ptr_copy_fn copy);
/* Appends copies of every target of `from`. Returns the new count. */
KW_API int xar_ptr_concat(void *to_address, const void *from, kw_ptr_copy_fn copy);
/* Makes `*to_address` hold copies of the targets of `from`, releasing what
 * it held. Returns the count, or -1. */
KW_API int xar_ptr_copy(const void *from, void *to_address, kw_ptr_copy_fn copy,
                        kw_ptr_free_fn free);
/* Creates the xar when null, then sets the count; targets beyond it are
 * released, new entries are null. Returns 0, or -1. */
KW_API int xar_ptr_alloc_or_resize(void *array_address, int count, int increment,
                                   kw_ptr_free_fn free);
/* The same operations on getmem blocks of `size` bytes. */
KW_API void xar_pblock_reset(void *array_address);
KW_API void xar_pblock_free(void *array_address);
KW_API void xar_pblock_freeoff(void *array_address);
KW_API int xar_pblock_delete(void *array_address, int index, int n);
KW_API int xar_pblock_append(void *array_address, const void *block, int size);
KW_API int xar_pblock_concat(void *to_address, const void *from, int size);
KW_API int xar_pblock_copy(const void *from, void *to_address, int size);
KW_API int xar_pblock_alloc_or_resize(void *array_address, int count, int increment);

/* Har of pointers: release every target, then the har. */
KW_API void har_ptr_free(void *har_address, kw_ptr_free_fn free);
/* Makes `*to_address` a new har (the segment size of `from`) holding
 * copies of the targets of `from`; the har it held is released with its
 * targets (`free`). Returns the count, or -1. */
KW_API int har_ptr_copy(const void *from, void *to_address, kw_ptr_copy_fn copy,
                        kw_ptr_free_fn free);
/* Releases every target with relmem, then the har. */
KW_API void har_pblock_free(void *har_address);

/* ---- conversions ------------------------------------------------------------ */

/* A new xar holding `count` elements copied from `array` (zeroed when null),
 * growing by `increment`. Null for a negative count or bad size. */
KW_API void *array_to_xarray(const void *array, int count, int element_size, int increment);
/* Makes `*to_address` an exact copy of the xar `from` (null: freed), reusing
 * its storage when the element sizes agree. Returns the count, or -1. */
KW_API int xar_copy(const void *from, void *to_address);
/* A new integer set of `count` zeroed elements, growth increment 2. */
KW_API int32_t *alloc_id_tab(int count);
/* A new xar (growth `increment`, or `count` when 0) of the `count` elements
 * of the har from index `first` on, crossing into later segments. Null
 * when count and increment are both 0, the har is empty, `first` is out of
 * range or count exceeds a segment's capacity; fewer elements are copied
 * when the har ends first. */
KW_API void *har_seg_to_xar(const void *har, int first, int count, int increment);

KW_END_DECLS

#endif /* KEELWORK_OWNEDXAR_H */
