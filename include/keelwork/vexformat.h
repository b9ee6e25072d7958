/* Formatted input and output of the library: vex_sprintf and relatives,
 * console output, scanning, wide characters through byte streams, and the
 * positional message formats.
 *
 * Formats are byte strings; `%ws` and `%S` take wide (char16_t) strings,
 * which are written in the session's byte encoding. In Unicode mode the
 * runtime's formatter and scanner do the work (btk_format.h); in legacy
 * mode the library's own formatter accepts the directives d i o u x X c
 * (with the size prefixes h, l, ll and I64), e E f g G (and le lf lg), s,
 * ws / S (wide strings), p, and pd / pf (a path converted for the
 * operating system); width, precision, flags and "*" as in printf. Any
 * other directive (such as %ls or %n) ends the program through btkAbort.
 * A precision on a wide string counts bytes and never splits a character.
 *
 * A formatter called with a null destination returns a per-thread result
 * buffer that stays valid until the same thread has made 9 more formatting
 * calls; the buffers are released when the thread ends.
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
/* Wide output: the byte-string format (session encoding) is converted to
 * UTF-16 and formatted by btk_vswprintf's rules (%s takes wide strings,
 * %hs byte strings); `wdst` needs room for the whole result. The length in
 * units, or -1. */
KW_API int vex_wsprintf(kw_wchar *wdst, const char *format, ...);
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

/* ---- scanning ------------------------------------------------------------ */

/* Scanning by the runtime scanner's rules: the number of items assigned,
 * -1 at the end of the input (-2 for a malformed format). vex_scanf and
 * vex_fscanf read one line of at most 511 bytes first. */
KW_API int vex_scanf(const char *format, ...);
KW_API int vex_fscanf(FILE *stream, const char *format, ...);
KW_API int vex_sscanf(const char *text, const char *format, ...);
KW_API int vex_vscanf(const char *text, const char *format, va_list args);
/* As vex_vscanf, handing `extra` to the runtime scanner. */
KW_API int vex_vscanf_low(const char *text, const char *format, va_list args, void *extra);
/* Scans wide text converted to the session encoding. */
KW_API int vex_wsscanf(const kw_wchar *wtext, const char *format, ...);
/* Reads a line from standard input with terminal echo off into `wdst`
 * (room for 260 units: at most 259 are stored, the rest of the line is
 * dropped; the line feed is removed). `wdst`, or null when standard input
 * is not a terminal whose echo can be switched or nothing was read. */
KW_API kw_wchar *vex_getws_no_echo(kw_wchar *wdst);

/* ---- wide characters through byte streams --------------------------------- */

/* One character in the session encoding from `stream`: UTF-8 in Unicode
 * mode (a character outside the BMP gives U+FFFD), EUC-JP in a Japanese
 * session, else the language's code page. 0xFFFF at the end of the input
 * or for bytes that do not convert. */
KW_API kw_wchar fget_unicode_wc(FILE *stream);
/* Writes `wc` in the session encoding through `put(byte, stream)`; a
 * character without such bytes is reported and written as one blank.
 * Returns the number of bytes passed to `put`. */
KW_API int put_unicode_wc(kw_wchar wc, int (*put)(int byte, void *stream), void *stream);
/* put_unicode_wc on a stdio stream. */
KW_API int fput_unicode_wc(kw_wchar wc, FILE *stream);
KW_API int vex_fputwc(kw_wchar wc, FILE *stream);
/* One character from a stdio stream: EUC-JP in a Japanese session, a lead
 * byte and its trail in the multibyte languages, one byte otherwise; UTF-8
 * in Unicode mode. -1 at the end of the input. */
KW_API int vex_fgetwc(FILE *stream);

/* ---- message formats ----------------------------------------------------- */

#define VEX_MSG_MAX_ARGS 10
/* Argument types of a message format. */
#define VEX_MSG_ARG_INT 1
#define VEX_MSG_ARG_DOUBLE 2
#define VEX_MSG_ARG_WSTRING 3
#define VEX_MSG_ARG_STRING 4
typedef struct vex_msg_arg {
  int32_t type;
  intptr_t value; /* zeroed by ParseMsgFormat, filled by the caller */
} vex_msg_arg;
typedef struct vex_msg_format {
  int32_t count;
  vex_msg_arg args[VEX_MSG_MAX_ARGS];
} vex_msg_format;

/* Describes the positional arguments of a message format ("%0s", "%1d",
 * ...; "%%" and "%Q" are literal, a leading "%C" is skipped): `count` is
 * the highest typed index plus one. 0, or -30 for a malformed directive. */
KW_API int ParseMsgFormat(const char *format, vex_msg_format *info);
/* Maps a library status code to a message error code (E_NOT_FOUND -4,
 * E_CANT_OPEN -24, E_EXIST -5, others -1), stored in `*result` (may be
 * null) and returned. */
KW_API int Eerror2VexError_Msg(int code, int *result);

KW_END_DECLS

#endif /* KEELWORK_VEXFORMAT_H */
