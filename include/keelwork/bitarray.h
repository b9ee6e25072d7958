/* Bit arrays: `n` unsigned 32-bit words; bit i is bit i % 32 of word i / 32,
 * valid bit numbers are 0 .. 32 * n - 1. A bit list is a variable argument
 * list of int bit numbers ended by a negative number.
 *
 * Every function returns 0 for a null array. A bit number outside the
 * array is reported through dbg_err_crash ("bit_array_clear_bit" / "Bad
 * call", whichever operation met it) and touches nothing. No state, no
 * locks.
 */
#ifndef KEELWORK_BITARRAY_H
#define KEELWORK_BITARRAY_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* 1 when bit i is set. */
KW_API int bit_array_check_bit(const uint32_t *bits, int n, int i);
/* Sets bit i; 1 when it was already set, else 0. */
KW_API int bit_array_set_bit(uint32_t *bits, int n, int i);
/* Clears bit i; 1 when it was set, else 0. */
KW_API int bit_array_clear_bit(uint32_t *bits, int n, int i);
/* Sets (clears) every bit of the list: 1, or 0 at the first bad bit number
 * (the bits before it are changed). */
KW_API int bit_array_set_bit_list(uint32_t *bits, int n, ...);
KW_API int bit_array_clear_bit_list(uint32_t *bits, int n, ...);
/* 1 when any bit of the list is set (0 at a bad bit number). */
KW_API int bit_array_check_bit_list(const uint32_t *bits, int n, ...);
/* 1 when all n words are equal. */
KW_API int bit_array_compare(const uint32_t *a, const uint32_t *b, int n);
/* 1 when a and b share a set bit. */
KW_API int bit_array_check(const uint32_t *a, const uint32_t *b, int n);
/* 1 when every bit set in b is set in a. */
KW_API int bit_array_check_all(const uint32_t *a, const uint32_t *b, int n);
/* 1 when any bit is set. */
KW_API int bit_array_check_any(const uint32_t *a, int n);
/* to = from; to |= from; to &= from; to &= ~from. Return 1 (0 for null). */
KW_API int bit_array_copy(uint32_t *to, const uint32_t *from, int n);
KW_API int bit_array_merge(uint32_t *to, const uint32_t *from, int n);
KW_API int bit_array_mask(uint32_t *to, const uint32_t *from, int n);
KW_API int bit_array_reset(uint32_t *to, const uint32_t *from, int n);
/* All words 0; all words all-ones. Return 1 (0 for null). */
KW_API int bit_array_clear(uint32_t *bits, int n);
KW_API int bit_array_set_all(uint32_t *bits, int n);
/* Words needed for `bits` bits: ceil(bits / 32) (0 for bits < 1). */
KW_API int bit_array_get_size(int bits);

KW_END_DECLS

#endif /* KEELWORK_BITARRAY_H */
