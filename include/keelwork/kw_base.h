/* keelwork base definitions: export macro, C linkage brackets and the
 * character types shared by every family header.
 *
 * Wide strings are NUL-terminated arrays of char16_t (UTF-16 code units);
 * byte strings are char (UTF-8 in Unicode mode, the session language's
 * encoding in legacy mode). Every header of the library includes this one
 * and compiles as C11 and as C++.
 */
#ifndef KEELWORK_KW_BASE_H
#define KEELWORK_KW_BASE_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(KEELWORK_STATIC_DEFINE)
#define KW_API
#else
#define KW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define KW_BEGIN_DECLS extern "C" {
#define KW_END_DECLS }
#else
#define KW_BEGIN_DECLS
#define KW_END_DECLS
#endif

#if defined(__GNUC__)
#define KW_NORETURN __attribute__((noreturn))
#else
#define KW_NORETURN
#endif

/* A wide character: one UTF-16 code unit. */
typedef char16_t kw_wchar;

#endif /* KEELWORK_KW_BASE_H */
