/* String xars: xars of pointers, each owning a NUL-terminated byte or wide
 * string allocated with getmem (or null). Releasing the array releases every
 * string.
 *
 * The copy functions first release the strings already held by the target,
 * then store fresh copies (a null source string stays null); a target that
 * is null is created with growth increment 8. The conversions between byte
 * and wide strings treat byte strings as UTF-8 and convert through the
 * runtime's UTF conversions; each unit that does not start a valid
 * character (a stray byte, an unpaired surrogate) becomes U+FFFD.
 * Results are counts; what the arrays hold belongs to the caller and is
 * freed with rls_string_xarray and its synonyms. No state, no locks.
 */
#ifndef KEELWORK_STRXAR_H
#define KEELWORK_STRXAR_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Byte strings: the xar `from` (null: empty) / `count` strings of `array`
 * into the xar `*to_address`. Return the new count, or -1 for a null
 * to_address. */
KW_API int copy_string_xarray(const char *const *from, void *to_address);
KW_API int copy_string_array_to_xarray(const char *const *array, int count, void *to_address);
/* The same for wide strings. */
KW_API int copy_wstring_xarray(const kw_wchar *const *from, void *to_address);
KW_API int copy_wstring_array_to_xarray(const kw_wchar *const *array, int count, void *to_address);
/* Copies the strings first .. last (inclusive; last < 0 or beyond the end:
 * to the end) of the xar `from` into `*to_address`, which is created with
 * growth `increment` when null. Returns the new count, -1 for a null
 * to_address. */
KW_API int copy_wstring_xarray_from_to(const kw_wchar *const *from, void *to_address, int increment,
                                       int first, int last);
/* Converting copies of `count` strings into a wide (byte) string xar; byte
 * strings are in the session encoding. */
KW_API int char_array_to_wchar_xarray(const char *const *array, int count, void *to_address);
KW_API int wchar_array_to_char_xarray(const kw_wchar *const *array, int count, void *to_address);
/* Appends `string` to the wide string xar (created when null): a copy when
 * `copy` is 1, else the pointer itself, which the array then owns. Returns
 * the new count, -1 for a null array_address. */
KW_API int append_wstr_to_wstr_xarray(void *array_address, const kw_wchar *string, int copy);
/* Sets the count (created when null; new entries null), releasing the
 * strings beyond it. A null array_address or negative count is reported
 * ("resize_string_xarray" / "invalid call"). Returns 0, or -1. */
KW_API int resize_string_xarray(void *array_address, int count);
/* Release every string with relmem, then the array; null the pointer. */
KW_API void release_ptr_xar(void *array_address);
KW_API void release_wstring_xarray(void *array_address);
KW_API void rls_string_xarray(void *array_address);
KW_API void free_wstring_xar(void *array_address);

KW_END_DECLS

#endif /* KEELWORK_STRXAR_H */
