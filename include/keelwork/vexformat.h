/* Formatted output of the library: vex_sprintf and relatives, console output.
 *
 * Formats are byte strings; `%ws` and `%S` take wide (char16_t) strings,
 * which are written in the session's byte encoding. A formatter called with
 * a null destination returns a per-thread result buffer that stays valid
 * until the same thread has made 9 more formatting calls; the buffers are
 * released when the thread ends.
 *
 * Console output goes to standard output, to the debugger (standard error
 * while a debugger is attached) or, after Gdi32SetNoConsole(1), to the
 * files "std.out" and "std.err" of the working directory.
 *
 * Formatting is safe on any thread. The console files are process-wide.
 */
#ifndef KEELWORK_VEXFORMAT_H
#define KEELWORK_VEXFORMAT_H

#include <stdio.h>

#include "kw_base.h"

KW_BEGIN_DECLS

/* Formats into `dst` (no size limit; null: the per-thread buffer); returns
 * `dst` or the buffer. */
KW_API char *vex_sprintf(char *dst, const char *format, ...);
KW_API char *vex_vsprintf(char *dst, const char *format, va_list args);
/* Formats into the next per-thread buffer, then: null `dst` returns the
 * buffer; `size` < 0 copies the whole text; 0 writes nothing; otherwise at
 * most size-1 bytes and a terminator. Returns `dst` or the buffer. */
KW_API char *vex_vsnprintf_low(char *dst, long size, const char *format, va_list args);
/* Formats and prints on the console; the number of bytes, 0 on failure. */
KW_API int vex_printf(const char *format, ...);
/* Formats and writes to `stream`; the number of bytes, 0 on failure. */
KW_API int vex_fprintf(FILE *stream, const char *format, ...);
/* Writes `text` to `stream`; its byte length, or -1 when the write fails. */
KW_API int vex_fputs(const char *text, FILE *stream);

/* Console output; the formatter's result, or -1. */
KW_API int ikst_printf(const char *format, ...);
/* Output to `stream` with the standard-error redirections; result or -1. */
KW_API int ikst_fprintf(FILE *stream, const char *format, ...);
KW_API int ikst_vprintf(const char *format, va_list args);
KW_API int ikst_vfprintf(FILE *stream, const char *format, va_list args);

/* Sets the no-console flag; returns `flag`. */
KW_API int Gdi32SetNoConsole(int flag);
/* Set the no-console flag and, for a non-null name, the name of the
 * standard-output or standard-error file (at most 259 bytes); return the
 * name buffer, or null for a null name. */
KW_API const char *Gdi32SetStdOutFile(const char *name);
KW_API const char *Gdi32SetStdErrFile(const char *name);

KW_END_DECLS

#endif /* KEELWORK_VEXFORMAT_H */
