/* Small text services: case conversion that knows the accented letters of
 * the Western languages, validity checks for object names, white space,
 * quoting and tokens, escapes, and searching in strings and string arrays.
 *
 * Case: ASCII letters always convert; in legacy mode the French, German,
 * Italian, Spanish and Portuguese sessions also convert the Latin-1 letters
 * (bytes 0xE0-0xFE and 0xC0-0xDE but 0xF7 and 0xD7); in Unicode mode the
 * wide functions convert U+00E0-U+00FE and U+00C0-U+00DE (but U+00F7 and
 * U+00D7) for every language. The language is read once, on first use.
 *
 * Status functions return E_NO_ERROR, E_CANT_FIT, E_CANT_PARSE or
 * E_INVALID_INPUT (status_codes.h); predicates 1 or 0. Functions that
 * return new strings allocate them with getmem (free with relmem).
 *
 * Threads: the process-wide settings (wildcard set, less restrictive
 * names, freeze flag) are meant to be set up before parallel work; all
 * other functions are reentrant.
 */
#ifndef KEELWORK_STRUTIL_H
#define KEELWORK_STRUTIL_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* ---- case ------------------------------------------------------------------- */

KW_API int uppercase(int c);
KW_API int lowercase(int c);
KW_API int wuppercase(int wc);
KW_API int wlowercase(int wc);
/* Whole byte strings into `dst` (room for strlen(src)+1 bytes; may be
 * `src`). In Unicode mode text that is not pure ASCII converts through
 * UTF-16; when that fails `dst` gets `src` unchanged and the failure is
 * reported through dbg_err_crash. Return `dst`. */
KW_API char *vex_cnvrt_to_upper(const char *src, char *dst);
KW_API char *convert_to_lower(const char *src, char *dst);
/* Title case: the first letter or digit of each run upper, the rest lower. */
KW_API char *vex_cnvrt_to_title(const char *src, char *dst);
/* Wide forms; `dst` may be `src`. wncnvrt_to_lower converts at most `n`
 * units and terminates. Return `dst`. */
KW_API kw_wchar *wcnvrt_to_upper(const kw_wchar *src, kw_wchar *dst);
KW_API kw_wchar *wcnvrt_to_lower(const kw_wchar *src, kw_wchar *dst);
KW_API kw_wchar *wncnvrt_to_lower(const kw_wchar *src, kw_wchar *dst, int n);
/* 1 when lower-casing would change `s`. */
KW_API int has_upper(const char *s);

/* ---- names --------------------------------------------------------------------- */

/* Letters and digits (standard classification), "_" and "-". */
KW_API int is_valid_char(int c);
/* "A"-"Z", "a"-"z", "0"-"9", "_", "-", and any unit above 127 while less
 * restrictive names are on. */
KW_API int is_valid_wc(int wc);
/* Less restrictive names: every wide character above 127 is valid. Returns
 * the previous setting. */
KW_API int set_less_restrictive_names(int flag);
/* 1 when `w` starts with "-" or holds a character other than a letter, a
 * digit, "_", "-" or non-ASCII; 0 for null or empty. */
KW_API int invalid_symbol(const kw_wchar *w);
/* As invalid_symbol from the second character on, which may also be a
 * double quote or "."; invalid_view_name also allows blanks. */
KW_API int invalid_xsec_name(const kw_wchar *w);
KW_API int invalid_view_name(const kw_wchar *w);
/* Index of the first character that is neither valid (is_valid_wc) nor in
 * the active wildcard set; with wildcards on (and "<" not in the set) a
 * group "<...>" after the first character is skipped, a ">" that is not the
 * last character ends the scan there. 0 for empty names and names starting
 * with "-"; the length when all is valid. */
KW_API int invalid_name_idx(const kw_wchar *w);
/* 1 when invalid_name_idx stops before the end (byte form: converted). */
KW_API int invalid_string(const kw_wchar *w);
KW_API int invalid_euc_str(const char *s);
/* The active wildcard set: "*?$" (enable_wild_card), a set of the caller's
 * (at most 31 units; the old set is copied to `old`, room for 32, when it
 * is not null), or none. Each returns the previous on/off state
 * (disable_wild_card returns 0). */
KW_API int enable_wild_card(void);
KW_API int enable_custom_wild_card(const kw_wchar *set, kw_wchar *old);
KW_API int disable_wild_card(void);

/* ---- white space and quoting ------------------------------------------------------ */

/* Pads a non-empty string shorter than size-1 with blanks up to size-1
 * characters; 1 when it did, else 0. */
KW_API int blankpad(char *s, int size);
/* 1 for null, empty, or only blanks and tabs. */
KW_API int blankstr(const kw_wchar *w);
/* 1 when the text holds only white space (up to the NUL, or to `end`). */
KW_API int empty_string(const char *s);
KW_API int empty_string_noz(const char *start, const char *end);
/* Removes trailing blanks, tabs and line feeds; returns the last kept
 * character (`w` itself when none is kept). */
KW_API kw_wchar *remove_trailing_whitespace(kw_wchar *w);
/* Removes trailing white space (btk_iswspace); returns `w`. */
KW_API kw_wchar *remove_all_trailing_whitespaces(kw_wchar *w);
/* Removes white space at both ends, moving the text to the start; `w`. */
KW_API kw_wchar *remove_lead_trail_whitespace(kw_wchar *w);
/* Advances `*w` over leading white space; returns the new `*w`. */
KW_API kw_wchar *strip_wspaces(kw_wchar **w);
/* Cuts trailing white space; returns the first character after leading
 * white space. */
KW_API kw_wchar *extract_string(kw_wchar *w);
/* Copies only white-space and printable characters; returns `dst`. */
KW_API char *trunc_ctrl_chars(const char *src, char *dst);
/* Double or single quote. */
KW_API int is_quote_char(int wc);
/* Copies `w` without one leading and one trailing quote (trailing blanks
 * ignored); the text between them is cut to 81 units. Returns `dst`. */
KW_API kw_wchar *strip_quotes(const kw_wchar *w, kw_wchar *dst);
/* Doubles every backslash into `dst` of `size` units: E_NO_ERROR,
 * E_CANT_FIT (cut and terminated) or E_INVALID_INPUT (also for src == dst). */
KW_API int wstr_to_richtext_buff(const kw_wchar *src, kw_wchar *dst, int size);
/* While `sym` occurs, removes the first character of its first occurrence
 * and searches again from there, so that doubled separators shrink.
 * Returns `s`. */
KW_API char *eliminate_symbol_doubles(char *s, const char *sym);

/* ---- tokens and escapes --------------------------------------------------------------- */

/* Reads the next token at `*cursor` into `token` (`size` units): leading
 * delimiters skipped, quotes (double outside single, single outside
 * double) toggle quoting and are dropped. `*cursor` moves to the character
 * after the token, or becomes null at the end. E_NO_ERROR, E_CANT_FIT (cut),
 * E_CANT_PARSE (unclosed quote) or E_INVALID_INPUT (null arguments, size <
 * 1, quotes among the delimiters). Null `delims`: no delimiters. */
KW_API int parse_quoted_to_tok(const kw_wchar **cursor, const kw_wchar *delims, int size,
                               kw_wchar *token);
/* The inverse: `w` quoted so that parse_quoted_to_tok gives it back, into
 * `dst` of `size` units. E_NO_ERROR, E_CANT_FIT, or E_INVALID_INPUT (bad
 * arguments, or `w` of `size` units or more). */
KW_API int wstr_to_wrapped_tok(const kw_wchar *w, const kw_wchar *delims, int size, kw_wchar *dst);
/* Inside pass-through runs turns t, u, b and blank into '"', '!', 'l' and
 * '~'; returns `w`. */
KW_API kw_wchar *remove_dup_special_chars(kw_wchar *w);
/* A new string where `special` becomes `escape` and every `escape` or
 * `marker` already present is preceded by `marker`; the unreplace form
 * undoes it (a new string too). Null for null. */
KW_API char *replace_escape_char_in_str(const char *s, int special, int escape, int marker);
KW_API char *unreplace_escape_char_in_str(const char *s, int special, int escape, int marker);
KW_API kw_wchar *replace_escape_wchar_in_wstr(const kw_wchar *w, int special, int escape,
                                              int marker);
KW_API kw_wchar *unreplace_escape_wchar_in_wstr(const kw_wchar *w, int special, int escape,
                                                int marker);
/* Replaces `from` by `to` in place; returns `w`. */
KW_API kw_wchar *replace_wchar_in_wstr(kw_wchar *w, int from, int to);
/* A process-wide flag; the setter returns the previous value. */
KW_API int set_freeze_symbol_chars(int flag);
KW_API int get_freeze_symbol_chars(void);

/* ---- searching ------------------------------------------------------------------------------ */

/* Index of the first occurrence (u_: ignoring ASCII case), -1 if none or
 * `s` is empty. */
KW_API int searchstr(const char *s, const char *sub);
KW_API int u_searchstr(const char *s, const char *sub);
/* Index of the first occurrence; -1 for an empty `sub`, -2 when not found
 * or `w` is empty. */
KW_API int vex_index(const kw_wchar *w, const kw_wchar *sub);
/* Index of the first equal non-null entry of `n` (ignoring ASCII case when
 * `case_sensitive` is 0), -1 if none. */
KW_API int is_str_in_str_array(const char *const *array, int n, const char *s, int case_sensitive);
KW_API int is_wstr_in_wstr_arr_low(const kw_wchar *const *array, int n, const kw_wchar *w,
                                   int case_sensitive);
/* Case-sensitive: the index, -1 if none. */
KW_API int search_wstring_in_wstring_array(const kw_wchar *const *array, int n, const kw_wchar *w);
/* 1 when `w` is an entry (ignoring case unless `case_sensitive`), else 0. */
KW_API int is_wstring_in_wstring_array(const kw_wchar *const *array, int n, const kw_wchar *w,
                                       int case_sensitive);
/* The first non-zero wscmp of corresponding entries, else 0. */
KW_API int compare_wstring_arrays(const kw_wchar *const *a, const kw_wchar *const *b, int n);
/* The first index whose key and value equal the pair, -1 if none. */
KW_API int index_in_string_pair_arrays(const char *const *keys, const char *key,
                                       const char *const *values, const char *value, int n,
                                       int case_sensitive);
/* Byte comparisons upper-casing ASCII letters (bytes from 128 as they are). */
KW_API int u_strcmp_func(const void *a, const void *b);
KW_API int upper_strncmp_func(const char *a, const char *b, int n);
/* strcmp of `*(char **)a` and `*(char **)b` (nulls first, as
 * check_null_pointers orders them), for qsort. */
KW_API int compare_string_ptrs(const void *a, const void *b);

KW_END_DECLS

#endif /* KEELWORK_STRUTIL_H */
