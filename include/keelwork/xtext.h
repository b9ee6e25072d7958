/* Text arrays: xars of owned strings, byte strings (xtext, char **) and
 * wide strings (xwtext, kw_wchar **).
 *
 * An array holds pointers (element size of a pointer, growth 4) to strings
 * that it owns: each is a make_scopy / make_wscopy block, and the array is
 * released with release_pointer_xar (xar.h), which frees the strings and
 * the array. Functions that may create or move an array take the address of
 * the caller's pointer as void *. Arrays are not locked: one thread at a
 * time.
 */
#ifndef KEELWORK_XTEXT_H
#define KEELWORK_XTEXT_H

#include "kw_base.h"

KW_BEGIN_DECLS

typedef struct vex_file vex_file;

/* Print every entry as "%d::%s\n" (wide: "%d::%ws\n") on the console, or
 * to a file-layer stream when `stream` is given; a damaged array prints
 * "Bad xarray.\n\n". */
KW_API void xtext_print(char *const *a);
KW_API void xwtext_print(kw_wchar *const *a);
KW_API void xwtext_print_pfa(kw_wchar *const *a, vex_file *stream);
/* Deep copies; null for null. */
KW_API char **xtext_copy(char *const *a);
KW_API kw_wchar **xwtext_copy(kw_wchar *const *a);
/* Index of the first equal entry, -1 if none (the _low form searches `n`
 * entries of a plain array). */
KW_API int xtext_lin_search(char *const *a, const char *s);
KW_API int xtext_lin_search_low(char *const *array, int n, const char *s);
KW_API int xwtext_lin_search(kw_wchar *const *a, const kw_wchar *w);
/* Binary search of a sorted array: 1 when found, else 0; `*index` (may be
 * null) gets the found index or the insertion place. */
KW_API int xtext_bin_search(char *const *a, const char *s, int *index);
KW_API int xwtext_bin_search(kw_wchar *const *a, const kw_wchar *w, int *index);
/* Inserts a copy at `index` (-1: appends), creating the array when null;
 * returns the index used, or -1 when out of range or refused. */
KW_API int xtext_insert(void *a_address, int index, const char *s);
KW_API int xwtext_insert(void *a_address, int index, const kw_wchar *w);
/* Inserts a copy at its sorted place unless an equal entry exists: 1 when
 * inserted, 0 when present (-1 for null arguments). */
KW_API int xtext_sorted_insert(void *a_address, const char *s);
KW_API int xwtext_sorted_insert(void *a_address, const kw_wchar *w);
/* Sorts with strcmp, wscmp, or wu_strcmp (ignoring case). */
KW_API void xtext_sort(char **a);
KW_API void xwtext_sort(kw_wchar **a);
KW_API void xwtext_sort_wu(kw_wchar **a);
/* The words of `s` (split at white space) as a new array; null when there
 * are none. */
KW_API char **xtext_from_string(const char *s);
KW_API kw_wchar **xwtext_from_string(const kw_wchar *w);
/* Joins the entries from `first` with `sep` into `dst` while the text stays
 * below `size` bytes; `*last` (may be null) gets the index of the last
 * entry joined (first-1 when none). 1 when every entry was joined, else 0. */
KW_API int xtext_to_string(char *const *a, int first, const char *sep, int size, char *dst,
                           int *last);
/* Replaces `*w_address` (emptied, or created) by wide copies of `a`;
 * returns the count. */
KW_API int xtext_to_xwtext(char *const *a, void *w_address);

KW_END_DECLS

#endif /* KEELWORK_XTEXT_H */
