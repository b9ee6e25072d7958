/* Wildcard filters and glob patterns for names.
 *
 * Filters: "*" matches any run, "?" one character; matching is
 * case-sensitive and covers the whole string; a null string or filter
 * matches. Globs add "\" escapes, classes "[a-z]" / "[!...]" and
 * alternatives "{a,b}". An alternative group is decided where it stands:
 * the first alternative that matches the text at that place completely is
 * taken and never revisited, so "{a,ab}c" does not match "abc".
 *
 * Every matcher takes time polynomial in the lengths of pattern and text,
 * whatever the number of stars. All functions are reentrant; the glob
 * debug switch is process-wide.
 */
#ifndef KEELWORK_PATTERN_H
#define KEELWORK_PATTERN_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Filter match of a byte / wide string: 1 or 0. */
KW_API int match_user_filter(const char *s, const char *filter);
KW_API int match_w_user_filter(const kw_wchar *w, const kw_wchar *filter);
/* 1 when `s` contains "*" or "?". */
KW_API int filter_has_wildcards(const char *s);
KW_API int string_is_pattern(const char *s);
/* The first "*", else the first "?", else null. */
KW_API char *find_filter_str_wildcard(const char *s);
KW_API kw_wchar *find_filter_wstr_wildcard(const kw_wchar *w);
/* 1 for an empty filter or one made only of "*"; 0 for null. */
KW_API int filter_is_any(const char *s);
/* Byte match with "*" and "?" (null arguments do not match). */
KW_API int string_match(const char *s, const char *pattern);
/* Wide match with "*" only; bit 0 of `flags` ignores case (wlowercase). */
KW_API int pattern_match(const kw_wchar *w, const kw_wchar *pattern, int flags);
/* 1 when `w` contains "*", "?", "[" or "{" outside a backslash escape. */
KW_API int vex_is_glob_pattern(const kw_wchar *w);
/* Glob match of the whole string: 1 or 0. With `period` set a "." at the
 * start of the string must be matched literally ("*" and "?" do not). */
KW_API int vex_glob_match(const kw_wchar *pattern, const kw_wchar *w, int period);
KW_API int vex_glob_match_ascii(const char *pattern, const char *s, int period);
/* Prints the glob matcher's steps on the console while set; returns the
 * previous value. */
KW_API int vex_glob_set_debug(int flag);

KW_END_DECLS

#endif /* KEELWORK_PATTERN_H */
