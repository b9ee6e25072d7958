/* The runtime's formatter and scanner, and the printf/scanf family on them.
 *
 * `btk_printf_stream_low` formats into any output sink and
 * `btk_scanf_stream_low` scans from any input source; the btk_*printf and
 * btk_sscanf functions are thin shapes over them. The directives are those
 * of C99 printf/scanf (flags, width, precision, `*`, the size prefixes
 * hh h l ll j z t L, `%n`, `%%`) plus the Windows-era size prefixes `I64`
 * (64-bit), `I32` and `I` (size_t), and `%ws`, `%ls` and `%S`, which take a
 * `const char16_t *` (a UTF-16 string) and write it as UTF-8: width and
 * precision count bytes, a character is never split, and an unpaired
 * surrogate is written as U+FFFD. `%wc`, `%lc` and `%C` take one UTF-16
 * unit. Byte strings pass through unchanged; a null string prints "(null)"
 * (nothing when the precision is below 6, as glibc does) and a null `%p`
 * prints "(nil)". Numbers are formatted as in the C locale, digit for digit
 * as glibc's printf does, whatever the process locale.
 *
 * Scanning parses numbers independently of the process locale; a
 * floating-point field takes the longest text that forms a number (a
 * direct source gets back what did not fit, such as the "e" of "1ex").
 * `%ws`/`%ls`/`%S` read UTF-8 and store a NUL-terminated char16_t string
 * whose length in units (not counting the NUL) the width bounds; invalid
 * UTF-8 is a matching failure.
 *
 * Results: the number of bytes produced (formatter) or of items assigned
 * (scanner: -1 when the input ended before anything was assigned); -1
 * (formatter) or -2 (scanner) for a malformed format or a null argument.
 * No function here allocates memory that the caller must free. All are
 * reentrant and thread-safe.
 */
#ifndef KEELWORK_BTK_FORMAT_H
#define KEELWORK_BTK_FORMAT_H

#include <stdio.h>

#include "kw_base.h"

KW_BEGIN_DECLS

/* ---- output sinks ------------------------------------------------------- */

typedef struct btk_out_sink btk_out_sink;

/* Operations of an output sink, in this order. `write` returns 0, or -1 to
 * refuse the bytes, which stops the output; `finish` is called once at the
 * end (terminate the text); `flush` and `error` may be null. */
typedef struct btk_out_ops {
  int (*write)(btk_out_sink *sink, const char *bytes, size_t n);
  int (*finish)(btk_out_sink *sink);
  int (*flush)(btk_out_sink *sink);
  int (*error)(btk_out_sink *sink);
} btk_out_ops;

/* A sink: concrete sinks embed this record as their first member. */
struct btk_out_sink {
  const btk_out_ops *ops;
};

/* Formats `format` with `args` into `sink`. Returns the number of bytes the
 * sink accepted, or -1 for a malformed format (output so far stays). */
KW_API int btk_printf_stream_low(btk_out_sink *sink, const char *format, va_list args);

/* ---- input sources ------------------------------------------------------ */

typedef struct btk_in_source btk_in_source;

/* Operations of an input source, in this order. A source whose `getc` and
 * `ungetc` are null is read directly from [start, end); otherwise `getc`
 * returns the next byte or -1 at end and `ungetc` gives one byte back.
 * `error` and `eof` report the source's state (-1: unknown). */
typedef struct btk_in_ops {
  int (*getc)(btk_in_source *source);
  int (*ungetc)(btk_in_source *source, int c);
  int (*error)(btk_in_source *source);
  int (*eof)(btk_in_source *source);
} btk_in_ops;

struct btk_in_source {
  const btk_in_ops *ops;
  const char *start; /* the text, for direct sources */
  const char *cur;
  const char *end;
};

/* Scans `source` by `format`. `extra` is reserved for the caller's own
 * directives and is not used yet (may be null). Returns the number of items
 * assigned, -1 when the input ended before anything was assigned, or -2
 * for a malformed format. A direct source's `cur` is left after the last
 * byte used; a getc source gets its look-ahead byte back through ungetc. */
KW_API int btk_scanf_stream_low(btk_in_source *source, const char *format, va_list args,
                                void *extra);

/* ---- the printf/scanf family -------------------------------------------- */

/* As sprintf: no size limit; returns the byte count. */
KW_API int btk_sprintf(char *dst, const char *format, ...);
/* As snprintf: at most size-1 bytes and a terminator (nothing for size 0);
 * returns the length the whole text has. */
KW_API int btk_snprintf(char *dst, size_t size, const char *format, ...);
KW_API int btk_vsprintf(char *dst, const char *format, va_list args);
KW_API int btk_vsnprintf(char *dst, size_t size, const char *format, va_list args);
/* Formats to a stdio stream; returns the byte count or -1 on a write error. */
KW_API int btk_fprintf(FILE *stream, const char *format, ...);
KW_API int btk_vfprintf(FILE *stream, const char *format, va_list args);
/* Wide output: the format and `%s`/`%c` arguments are UTF-16, while `%hs`,
 * `%S`, `%hc` and `%C` take UTF-8 bytes (invalid bytes become U+FFFD);
 * widths and precisions count UTF-16 units. At most size-1 units and a
 * terminator (a surrogate pair is never split), size < 0 meaning unlimited;
 * `dst` may be null to measure. Returns the length of the whole text in
 * units, or -1 for a malformed format. */
KW_API int btk_swprintf(kw_wchar *dst, long size, const kw_wchar *format, ...);
KW_API int btk_vswprintf(kw_wchar *dst, long size, const kw_wchar *format, va_list args);
/* As sscanf on a byte string. */
KW_API int btk_sscanf(const char *text, const char *format, ...);
KW_API int btk_vsscanf(const char *text, const char *format, va_list args);

KW_END_DECLS

#endif /* KEELWORK_BTK_FORMAT_H */
