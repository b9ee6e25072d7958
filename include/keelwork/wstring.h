/* Wide and multibyte strings.
 *
 * Wide strings are NUL-terminated char16_t (UTF-16) arrays; lengths count
 * code units. Byte strings are UTF-8 in Unicode mode (btkUnicodeIsEnabled)
 * and the current language's encoding in legacy mode (lang.h): a code page,
 * EUC-JP for Japanese, or the process locale. In legacy mode, for Japanese
 * and the locale languages, U+0001 ... U+0002 (bytes 0x01 ... 0x02) enclose
 * a pass-through run copied byte for byte.
 *
 * Buffers: converting n wide units into a caller's byte buffer needs 4*n+1
 * bytes; a wide output needs one unit per input byte plus the terminator.
 * Functions named make_* (and mknew*, mkstring, mkwstring) return blocks
 * from getmem that the caller frees with relmem; the _zone and _memmgr
 * variants allocate from the given zone or manager.
 *
 * Failures: conversions return null (Unicode mode: invalid UTF input) and
 * legacy conversion problems are reported on the console; status functions
 * return E_* codes (status_codes.h). Null strings are refused unless a
 * function says otherwise.
 *
 * Threads: everything is reentrant except wstok (one process-wide position)
 * and the functions returning internal buffers (str_ret, wstr_ret,
 * itowstr), whose buffers belong to the calling thread.
 */
#ifndef KEELWORK_WSTRING_H
#define KEELWORK_WSTRING_H

#include "kw_base.h"
#include "memory.h"

KW_BEGIN_DECLS

/* Length limit of str_ret and the minimum size of the wstr_ret buffers. */
#define STR_LEN 260

/* ---- wide primitives ------------------------------------------------------- */

KW_API int wslen(const kw_wchar *s);
KW_API kw_wchar *wscpy(kw_wchar *dst, const kw_wchar *src);
KW_API kw_wchar *wscat(kw_wchar *dst, const kw_wchar *src);
/* At most `n` units; a shorter `src` is padded with zeros up to `n` units;
 * no terminator when `src` has `n` or more units. */
KW_API kw_wchar *wsncpy(kw_wchar *dst, const kw_wchar *src, int n);
/* Appends at most `n` units and a terminator (n <= 0: nothing). */
KW_API kw_wchar *wsncat(kw_wchar *dst, const kw_wchar *src, int n);
/* Difference of the first differing units (unsigned), 0 if equal. */
KW_API int wscmp(const kw_wchar *a, const kw_wchar *b);
KW_API int wsncmp(const kw_wchar *a, const kw_wchar *b, int n);
/* First (last) occurrence of `c`, or null; c = 0 gives the terminator. */
KW_API kw_wchar *wschr(const kw_wchar *s, int c);
KW_API kw_wchar *wsrchr(const kw_wchar *s, int c);
/* First unit equal to `a` or `b`, else the terminator; `s` itself when it
 * is null or empty. */
KW_API kw_wchar *wstrchr_two_tokens(const kw_wchar *s, int a, int b);
/* wscmp where a null string sorts first (-1, 1; two nulls 0). */
KW_API int wstrcmp_null(const kw_wchar *a, const kw_wchar *b);
/* Case-insensitive (wuppercase) comparisons; the result is the difference
 * of the upper-cased units at the first mismatch. */
KW_API int wu_strcmp(const kw_wchar *a, const kw_wchar *b);
KW_API int wu_strcmp_null(const kw_wchar *a, const kw_wchar *b);
KW_API int wu_strncmp(const kw_wchar *a, const kw_wchar *b, int n);
/* wu_strcmp of two string pointers, for sort_pointers and searches. */
KW_API int wu_strcmp_func(const void *a, const void *b);
/* Tokenises with one process-wide saved position: a non-null `s` restarts.
 * Leading delimiters are not skipped (two delimiters give an empty token);
 * null when nothing is left. Not thread-safe. */
KW_API kw_wchar *wstok(kw_wchar *s, const kw_wchar *delims);
/* Copies `src` to `dst` replacing `from` by `to`; returns `dst` (null
 * `src`: empty `dst`, result null; null `dst`: nothing). */
KW_API kw_wchar *ws_sub_wc(const kw_wchar *src, kw_wchar *dst, int from, int to);
/* 1 if `sub` occurs in `s` or a prefix of `sub` ends `s`; 0 for empty `s`. */
KW_API int ws_index(const kw_wchar *s, const kw_wchar *sub);
/* Index of the first occurrence; -1 if none or `s` is empty; an empty `sub`
 * gives the length of `s`. */
KW_API int searchwstr(const kw_wchar *s, const kw_wchar *sub);
/* `src` with the first occurrence of `old_text` replaced by `new_text`
 * into `dst`; the address in `dst` where `new_text` starts, or null (null
 * argument, no occurrence, or a result of 520 units or more). */
KW_API kw_wchar *wstrtok_replace(kw_wchar *dst, const kw_wchar *src, const kw_wchar *old_text,
                                 const kw_wchar *new_text);
/* Every occurrence, left to right (an empty `old_text` once, at the end);
 * a result of 520 units or more leaves the text unchanged in `dst`. Null
 * for a null argument or a `src` of 520 units or more; else `dst`. */
KW_API kw_wchar *wstrtok_replace_all(kw_wchar *dst, const kw_wchar *src, const kw_wchar *old_text,
                                     const kw_wchar *new_text);
/* Title case: in each run of letters and digits the first is upper-cased,
 * the rest lower-cased. Returns 0. */
KW_API int wcnvrt_to_title(const kw_wchar *src, kw_wchar *dst);
/* Every unit above 127 is printable/graphic; below, as isprint/isgraph. */
KW_API int vex_iswprint(int c);
KW_API int vex_iswgraph(int c);
/* Cut at the last (wide) or first (byte) line feed; return `s`. */
KW_API kw_wchar *wstrip_cr(kw_wchar *s);
KW_API char *strip_cr(char *s);
/* Copy `s` (no terminator) to `*p` and advance `*p`; return the old `*p`. */
KW_API char *quick_strcat(char **p, const char *s);
KW_API kw_wchar *quick_wstrcat(kw_wchar **p, const kw_wchar *s);
/* Skips leading white space, cuts at the first line feed and removes
 * trailing white space, in place; the first kept character (null: null). */
KW_API char *s_strip(char *s);
/* Copies when `src` fits in `size` units (0), else empties `dst` (1). */
KW_API int wstrcpy_limit(const kw_wchar *src, int size, kw_wchar *dst);
/* Appends when the total fits in `size` units (0); else as much as fits,
 * terminated at size-1 (1). */
KW_API int wstrcat_limit(kw_wchar *dst, const kw_wchar *src, int size);
/* Copy at most `n` units and always terminate at n-1 (n > 0). */
KW_API char *strncpy_set_null(char *dst, const char *src, int n);
KW_API kw_wchar *wstrncpy_set_null(kw_wchar *dst, const kw_wchar *src, int n);
/* Appends into a buffer of `size` units, always terminated. */
KW_API kw_wchar *wstrncat_set_null(kw_wchar *dst, const kw_wchar *src, int size);
/* Replaces the last three units (all of a shorter string) by dots. */
KW_API kw_wchar *change_end_to_ellipsis(kw_wchar *s);
/* Shortens `src` from the left for display in `width` units: a shorter text
 * is copied; otherwise three dots (width-1 when width < 4) and the end of
 * `src`, at most width-1 units in all. Returns `dst`. */
KW_API kw_wchar *left_truncate_string(const kw_wchar *src, kw_wchar *dst, int width);
/* Writes the integers of an xar of int32 as "1, 2, 3" (room for 178
 * units), ending with ", ..." past 171 units; 1 when anything was written
 * (or cut), else 0. */
KW_API int build_wstr_list_from_ints(kw_wchar *dst, const int32_t *ints);

/* Wide operations on a byte-string second argument (converted first). */
KW_API kw_wchar *wstrcat_s(kw_wchar *dst, const char *bytes);
/* Byte strings of 260 bytes or more are cut to their first 259 bytes. */
KW_API kw_wchar *wstrncat_s(kw_wchar *dst, const char *bytes, int n);
KW_API int wstrcmp_s(const kw_wchar *w, const char *bytes);
KW_API int wstrncmp_s(const kw_wchar *w, const char *bytes, int n);
KW_API int wu_strcmp_s(const kw_wchar *w, const char *bytes);
KW_API int wu_strncmp_s(const kw_wchar *w, const char *bytes, int n);

/* ---- conversions --------------------------------------------------------------- */

/* Wide to bytes in the session encoding (dst: 4*n+1 bytes); `dst`, or null
 * when the text is not valid UTF-16 (Unicode mode). */
KW_API char *wstostr(char *dst, const kw_wchar *w);
/* As wstostr; `native` 1 writes the system's native encoding instead (the
 * process locale's codeset in Unicode mode, Shift-JIS for Japanese). */
KW_API char *wstostr_nativeq(char *dst, const kw_wchar *w, int native);
/* The legacy-mode halves, also usable in Unicode mode. */
KW_API char *wstostr_legacy(char *dst, const kw_wchar *w);
KW_API char *wstostr_nativeq_legacy(char *dst, const kw_wchar *w, int native);
/* Bytes in the session encoding to wide (dst: strlen+1 units); `dst`, or
 * null when the text is not valid UTF-8 (Unicode mode). */
KW_API kw_wchar *strtows(kw_wchar *dst, const char *s);
KW_API kw_wchar *strtows_legacy(kw_wchar *dst, const char *s);
KW_API char *vex_wstr_to_str(char *dst, const kw_wchar *w);
KW_API kw_wchar *vex_str_to_wstr(kw_wchar *dst, const char *s);
/* New converted strings (getmem); null for null input or failure. */
KW_API char *make_wstostr(const kw_wchar *w);
KW_API char *make_wstostr_nativeq(const kw_wchar *w, int native);
/* Frees `*p`, stores make_wstostr(w) in it and returns it. */
KW_API char *make_wstostr_rls(char **p, const kw_wchar *w);
KW_API kw_wchar *make_strtows(const char *s);
KW_API kw_wchar *make_strtows_zone(memzone *zone, const char *s);
KW_API kw_wchar *make_strtows_memmgr(memmgr *manager, const char *s);
/* Convert; when the result has more than size-1 units/bytes `dst` is
 * emptied and 1 returned, else 0. */
KW_API int wstrtos_limit(const kw_wchar *w, int size, char *dst);
KW_API int strtows_limit(const char *s, int size, kw_wchar *dst);
/* Converts into `dst` of `size` bytes: E_NO_ERROR, E_CANT_FIT, E_CANT_PARSE
 * (invalid text), E_NO_SPACE, or E_INVALID_INPUT (null, size < 1). */
KW_API int wstrtos_buff(const kw_wchar *w, char *dst, int size);
/* Converts into a buffer of the calling thread, valid until its next call;
 * a text longer than STR_LEN units is a fatal error (dbg_crash_msg; when
 * that returns, the first STR_LEN units are converted). */
KW_API char *str_ret(const kw_wchar *w);
/* Converts into the next of 4 wide buffers of the calling thread (valid
 * until the fourth following call). */
KW_API kw_wchar *wstr_ret(const char *s);
/* "%d" of `i` in a wide buffer of the calling thread. */
KW_API kw_wchar *itowstr(int i);
/* make_wstostr, but null for an empty string. */
KW_API char *mknewstr_from_wstr(const kw_wchar *w);

/* ---- allocating copies ------------------------------------------------------------ */

KW_API char *make_scopy(const char *s);
KW_API kw_wchar *make_wscopy(const kw_wchar *w);
KW_API char *make_scopy_zone(memzone *zone, const char *s);
KW_API kw_wchar *make_wscopy_zone(memzone *zone, const kw_wchar *w);
KW_API char *make_scopy_memmgr(memmgr *manager, const char *s);
KW_API char *mknewstr(const char *s);
KW_API kw_wchar *mknewwstr(const kw_wchar *w);
/* Upper-cased copies. */
KW_API char *make_uscopy(const char *s);
KW_API kw_wchar *make_uwscopy(const kw_wchar *w);
/* Copies of at most n-1 units in a block of n (null for n <= 0); shorter
 * strings are copied exactly. */
KW_API char *make_sncopy(const char *s, int n);
KW_API kw_wchar *make_wsncopy(const kw_wchar *w, int n);
/* Frees `*p`, stores make_wscopy(w) in it and returns it. */
KW_API kw_wchar *make_wscopy_rls(kw_wchar **p, const kw_wchar *w);
/* Replaces `*p` by a new string holding `*p` followed by the second
 * argument; null (and nothing changed) when either is null. */
KW_API char *make_strcat_rls(char **p, const char *s);
KW_API kw_wchar *make_wstrcat_rls(kw_wchar **p, const kw_wchar *w);
/* A new string formatted by vex_sprintf rules (mkwstring: converted to
 * wide). */
KW_API char *mkstring(const char *format, ...);
KW_API kw_wchar *mkwstring(const char *format, ...);
/* Appends the formatted text to `dst`; returns `dst`. */
KW_API char *strcatv(char *dst, const char *format, ...);

/* ---- sections ------------------------------------------------------------------------ */

/* 0 for null, 1 for an empty string, else the number of separators plus
 * one, a separator at the very end opening no section. */
KW_API int get_str_section_count(const char *s, int sep);
KW_API int get_wstr_section_count(const kw_wchar *w, int sep);
/* Splits a private copy at the separators: stores an array of the section
 * count of pointers (free_*_sections frees it and the copy); returns the
 * count (0, nothing stored, for null). */
KW_API int make_str_sections(const char *s, int sep, char ***sections);
KW_API int make_wstr_sections(const kw_wchar *w, int sep, kw_wchar ***sections);
KW_API void free_str_sections(char **sections);
KW_API void free_wstr_sections(kw_wchar **sections);

/* ---- numbers ----------------------------------------------------------------------------- */

/* strtod / strtol (base 10) of the converted text; 0 for null. */
KW_API double watof(const kw_wchar *w);
KW_API long watol(const kw_wchar *w);
KW_API int watoi(const kw_wchar *w);
/* strtol / strtod on wide text; `*end` (may be null) gets the first unit
 * not used. */
KW_API long vex_wstrtol(const kw_wchar *w, kw_wchar **end, int base);
KW_API double vex_wstrtod(const kw_wchar *w, kw_wchar **end);
/* vex_wstrtol storing into `*result`; returns errno (cleared first). */
KW_API int vex_wstrtol_s(const kw_wchar *w, kw_wchar **end, int base, long *result);
/* 1 when `w` is an integer (blanks, sign, digits, blanks) / a decimal
 * number with optional exponent below 39; 0 otherwise and for null. */
KW_API int kw_wsisinteger(const kw_wchar *w);
KW_API int kw_wsisfloat(const kw_wchar *w);
/* Non-zero when `wc` is the single byte `c` in the session encoding. */
KW_API int kw_wc_eq_char(kw_wchar wc, int c);

/* Result of an expression evaluator. */
#define KW_EXPR_INTEGER 1
#define KW_EXPR_REAL 2
typedef struct kw_expr_value {
  int32_t type; /* KW_EXPR_INTEGER, KW_EXPR_REAL, or another type */
  int64_t integer;
  double real;
} kw_expr_value;
/* Evaluates `text`: 0 and `*value`, or a non-zero status. */
typedef int (*kw_expr_evaluator)(const kw_wchar *text, kw_expr_value *value);
/* Installs the evaluator of kw_wstoexp/kw_wsisexp (null: the default);
 * returns the previous one. */
KW_API kw_expr_evaluator kw_set_expr_evaluator(kw_expr_evaluator evaluator);
/* The default evaluator: + - * / ^ (right-associative, above unary minus),
 * parentheses, integers and reals. Exact integer results stay integers
 * (64-bit; beyond that, reals); division by zero and non-finite results
 * are errors. */
KW_API int kw_eval_arith_expr(const kw_wchar *text, kw_expr_value *value);
/* 1 when `w` evaluates to an integer or a real (kw_wstoexp stores it as a
 * double in `*value`), else 0. */
KW_API int kw_wstoexp(const kw_wchar *w, double *value);
KW_API int kw_wsisexp(const kw_wchar *w);

KW_END_DECLS

#endif /* KEELWORK_WSTRING_H */
