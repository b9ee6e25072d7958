/* File streams and text encodings: opening a vex_file attaches a stream;
 * reads and writes go through the stream methods of the file's location
 * type and convert text between the file's encoding and the session's.
 *
 * Encodings (int32_t): -4 unknown, -3 no conversion, -2 the session
 * encoding, -1 the EUC encoding of the current language, 0 its native
 * encoding, 1 UTF-8, 2 UTF-16LE, 3 UTF-16BE, 4 UTF-32LE, 5 UTF-32BE (1..5
 * are the Unicode encodings), and any larger value a code page (932,
 * 51932 EUC-JP, 1252 ...). The encoding of an open text stream is decided
 * by its first read or write: a byte-order mark found at the start of the
 * file wins; a new text file (encoding -4) is written in UTF-8 with a
 * byte-order mark in Unicode mode or when PFA_WRITE_UNICODE is set, and in
 * the language's EUC encoding otherwise. Streams opened with 'b' and files
 * of encoding -3 pass bytes unchanged. When file and session encodings
 * agree nothing is converted unless PFA_ALWAYS_TRANSCODE is set.
 *
 * Errors: functions return PFA_E_* codes: 11 (PFA_E_NOT_VALID) for an
 * invalid record or a directory, 10 (PFA_E_INACTIVE) when the file is not
 * open, 5 (PFA_E_QUIT) at the end of the file. Unexpected conditions are
 * also reported through the debug messages.
 *
 * Memory: the pfa_*open_file* helpers return a vex_file the caller closes
 * and frees with pfa_dispose; they free it themselves and return null when
 * anything fails. The standard streams belong to the library.
 *
 * Threads: a stream belongs to one thread. The standard streams are made
 * once under a lock; the environment switches are read once.
 */
#ifndef KEELWORK_PFASTREAM_H
#define KEELWORK_PFASTREAM_H

#include <stdarg.h>
#include <stddef.h>

#include "btk_unicode.h"
#include "kw_base.h"
#include "pfa.h"

KW_BEGIN_DECLS

/* Encoding codes. */
#define PFA_ENC_UNKNOWN (-4)
#define PFA_ENC_NONE (-3)
#define PFA_ENC_SESSION (-2)
#define PFA_ENC_EUC (-1)
#define PFA_ENC_NATIVE 0
#define PFA_ENC_UTF8 1
#define PFA_ENC_UTF16LE 2
#define PFA_ENC_UTF16BE 3
#define PFA_ENC_UTF32LE 4
#define PFA_ENC_UTF32BE 5

/* Version modes of the opens: the record's own version, the highest
 * existing one, the next one (writing only). */
#define PFA_VERS_OWN 0
#define PFA_VERS_HIGHEST 1
#define PFA_VERS_NEXT 2

/* ---- opening and closing ---------------------------------------------------- */

/* Opens `f` with a stream mode ("r", "w", "a", "r+", "w+", "a+", each with
 * an optional 'b'). 0; 11 for a null or invalid file, a directory or a
 * null mode; 3 when the file is on another host, already open, names a
 * family instance, or version_mode 2 is asked without 'w'; the version
 * search's code; 18 when the process has no descriptors left; 1 for other
 * failures of the operating system. On failure `f` stays closed. */
KW_API int pfa_fopen(vex_file *f, int version_mode, const char *mode);
/* Opens at descriptor level with the low-level flags (0x1 write, 0x2
 * read-write, 0x8 append, 0x100 create, 0x200 truncate, 0x400 exclusive,
 * 0x8000 binary) and permissions (0x100 read, 0x80 write). Codes as
 * pfa_fopen. */
KW_API int pfa_open(vex_file *f, int flags, int permissions, int version_mode);
/* A new vex_file parsed from `name` and opened; null (nothing left
 * allocated) when parsing or opening fails. Wide forms take a UTF-16
 * name. pfa_secure_fopen creates files readable by the owner only and
 * refuses a symbolic link as the last component. */
KW_API vex_file *pfa_fopen_file(const char *name, const char *mode);
KW_API vex_file *pfa_fopen_file_vers(const char *name, const char *mode, int version_mode);
KW_API vex_file *pfa_fopen_wfile(const kw_wchar *wname, const char *mode);
KW_API vex_file *pfa_fopen_wfile_vers(const kw_wchar *wname, const char *mode, int version_mode);
KW_API vex_file *pfa_open_file(const char *name, int flags, int permissions);
KW_API vex_file *pfa_open_file_vers(const char *name, int flags, int permissions, int version_mode);
KW_API vex_file *pfa_secure_fopen(const char *name, const char *mode);
/* Closes `f` (its substitute first, when it has one). 0; 11; 10 when not
 * open; 7 for the directory cache's own copy of a lent listing; 13 when
 * the final write failed (the file is closed all the same). */
KW_API int pfa_close(vex_file *f);
/* Closes `*f` when open, frees it and nulls `*f`. 0, or 11. */
KW_API int pfa_dispose(vex_file **f);
/* The process's standard streams ("stdio://err", "stdio://out",
 * "stdio://in"), made once and reopened whenever found closed. They pass
 * bytes unchanged: no byte-order mark is read or written. Null only
 * without memory. */
KW_API vex_file *pfa_get_stderr(void);
KW_API vex_file *pfa_get_stdout(void);
KW_API vex_file *pfa_get_stdin(void);
/* The number of open files on remote mounts. */
KW_API int pfa_num_open_remote_files(void);

/* Open notifications: subscribers register with vex_notification_add
 * under this key. Event 4 is called before a file is opened as
 * pfa_open_alt_func and may answer another file (valid, not open unless
 * already opened by the subscriber) to be used instead; event 5 is called
 * after every open with its result as pfa_opened_func. */
#define PFA_NOTIFY_OPEN_ALT 4
#define PFA_NOTIFY_OPENED 5
typedef void (*pfa_open_alt_func)(vex_file *f, const char *mode, vex_file **alternative,
                                  intptr_t datum);
typedef void (*pfa_opened_func)(vex_file *f, const char *mode, int result, intptr_t datum);
/* The key of the "kwpfa" notification application, registered on first
 * use; -1 when the name was taken by someone else. */
KW_API int pfa_open_notification_key(void);

/* ---- reading -------------------------------------------------------------------- */

/* Up to `size` bytes into `buf`; `*count` (may be null) gets the number
 * read. 0; 5 at the end of the file (count 0); 9 for a null buffer or a
 * negative size. */
KW_API int pfa_read_file(vex_file *f, int size, int *count, void *buf);
/* One line including its '\n', at most size - 1 bytes, NUL-terminated. A
 * character of a Unicode session cut by the end of the buffer is kept
 * for the next call. 0; 5 at the end (count 0, empty string). */
KW_API int pfa_fgets(vex_file *f, int size, int *count, char *buf);
/* One byte (0..255), or -1 at the end, on error or for a closed file. */
KW_API int pfa_fgetc(vex_file *f);
/* Pushes one byte back; the byte, or -1. */
KW_API int pfa_ungetc(int c, vex_file *f);
/* Reads `n` elements of `size` bytes; the number of whole elements read
 * (0 on failure and for size 0). */
KW_API size_t pfa_fread(void *buf, size_t size, size_t n, vex_file *f);
/* Reads one line of at most 259 bytes and scans it (vex_sscanf rules).
 * 0 when at least one item was assigned; 1 when nothing was (also at the
 * end of the file and for a closed file). */
KW_API int pfa_fscanf(vex_file *f, const char *format, ...);
/* Scanning state for lines of any length: pfa_init_fscanf_data makes one
 * (`*data` gets it), pfa_incremental_fscanf reads the next whole line into
 * it and scans it like pfa_fscanf, pfa_clear_fscanf_data releases it and
 * nulls `*data`. 0 / 9 for null addresses. */
typedef struct pfa_fscanf_data pfa_fscanf_data;
KW_API int pfa_init_fscanf_data(pfa_fscanf_data **data);
KW_API int pfa_incremental_fscanf(vex_file *f, pfa_fscanf_data *data, const char *format, ...);
KW_API int pfa_clear_fscanf_data(pfa_fscanf_data **data);

/* ---- writing -------------------------------------------------------------------- */

/* Writes `n` bytes of session text (converted to the file's encoding).
 * 0 (also for n = 0, without touching the file); 9 for bad arguments or
 * text that does not convert; 13 when the write fails. */
KW_API int pfa_write_file(vex_file *f, int n, const void *buf);
KW_API int pfa_fputs(vex_file *f, const char *s);
/* The byte written, or -1. */
KW_API int pfa_fputc(int c, vex_file *f);
/* Formats with vex_sprintf's rules and writes the result. 0; 1 when
 * formatting fails; else pfa_write_file's code. */
KW_API int pfa_fprintf(vex_file *f, const char *format, ...);
KW_API int pfa_vfprintf(vex_file *f, const char *format, va_list args);
/* Writes bytes that are already in the file's encoding, unconverted. */
KW_API int pfa_text_file_binary_write(vex_file *f, int n, const void *buf);

/* ---- positions and control ---------------------------------------------------- */

/* The byte offset in the file of the next byte to be read or written (of
 * the next undelivered character for transcoding reads). */
KW_API int pfa_get_file_position(vex_file *f, int64_t *pos);
KW_API int pfa_set_file_position(vex_file *f, int64_t pos);
/* To the start (past a byte-order mark already decided) / the end. */
KW_API int pfa_rewind_file(vex_file *f);
KW_API int pfa_unwind_file(vex_file *f);
/* Moves by the 64-bit offset high:low from the start (0), the current
 * position (1) or the end (2). */
KW_API int pfa_fseek(vex_file *f, int32_t offset_low, int32_t offset_high, int whence);
KW_API int pfa_flush_file(vex_file *f);
KW_API int pfa_truncate_file(vex_file *f, int64_t size);
/* Buffering: pfa_setbuf with null is unbuffered; pfa_setvbuf modes 0 full,
 * 1 line, 2 none; pfa_unbuffer = pfa_setvbuf(f, 0, 2, 0). */
KW_API int pfa_setbuf(vex_file *f, char *buf);
KW_API int pfa_setvbuf(vex_file *f, char *buf, int mode, size_t size);
KW_API int pfa_unbuffer(vex_file *f);
/* Copies the rest of `from` to `to` as bytes; `*copied` (may be null) gets
 * the count. Both must be open on locations that can copy. */
KW_API int pfa_copy_through_cookie(vex_file *from, vex_file *to, int64_t *copied);

/* ---- encodings ------------------------------------------------------------------ */

/* 1 in Unicode mode, else the EUC encoding of the current language (its
 * native code page when it has none). */
KW_API int32_t PfaSessionEncoding(void);
/* 1 in Unicode mode or with PFA_WRITE_UNICODE set, else the language's
 * EUC encoding; pfa_writes_utf8_by_default answers 1 for the former. */
KW_API int32_t PfaDefaultEncodingForWriting(void);
KW_API int pfa_writes_utf8_by_default(void);
/* 1 for the codes 1..5. */
KW_API int PfaEncodingIsUnicode(int32_t code);
/* 1 when equal, or equal once -2, -1 and 0 are resolved. */
KW_API int pfa_encodings_equivalent(int32_t a, int32_t b);
/* A new converter for `code` (options: BTK_UCONV_* flags), released with
 * btkUConv_Dispose; null for -3, -4 (reported) and unavailable encodings. */
KW_API btkUConv *pfa_encoding_uconverter(int32_t code, int options);
/* Stores the encoding of a closed file (or of an open one whose encoding
 * is not decided yet). 0; 11; 9 for a decided stream. */
KW_API int pfa_put_encode(vex_file *f, int32_t code);
/* Rewrites the text file `from` (closed) into `to` (closed; it may name
 * the same file, as the whole text is read first) in `encoding`, with the
 * byte-order mark of a Unicode encoding. The source encoding is found as a
 * read decides it. 0, or the first failing operation's code. */
KW_API int pfa_convert_text_file_encoding(vex_file *from, vex_file *to, int32_t encoding);

/* ---- wide characters ------------------------------------------------------------ */

/* One character of session text as UTF-16; 0xFFFF at the end or for bytes
 * that do not convert. */
KW_API kw_wchar pfa_get_unicode_wc(vex_file *f);
/* Writes `wc` in the session encoding (a blank when it has no form); 0, or
 * -1 when the write fails. */
KW_API int pfa_put_unicode_wc(kw_wchar wc, vex_file *f);
/* One character, or -1 at the end. */
KW_API int pfa_fgetwc(vex_file *f);
/* The character written, or -1. */
KW_API int pfa_fputwc(kw_wchar wc, vex_file *f);
/* 0, or -1 when the text does not convert (reported) or the write fails. */
KW_API int pfa_fputws(const kw_wchar *w, vex_file *f);
/* Reads a line as UTF-16 into `w` (`size` units with the NUL): stops after
 * the '\n', when fewer than two units of room remain, or at the end. `w`,
 * or null when nothing was read. */
KW_API kw_wchar *pfa_fgetws(kw_wchar *w, int size, vex_file *f);

KW_END_DECLS

#endif /* KEELWORK_PFASTREAM_H */
