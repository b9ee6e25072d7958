/* Text encodings of the runtime: UTF-8/UTF-16, byte-order marks, the
 * runtime language and its legacy encodings (EUC-JP, the EUC process code,
 * Windows code pages), a streaming converter, Unicode mode, character
 * classes and Base64.
 *
 * Error contract. The string conversions share one shape:
 *
 *   int32_t f(src, src_len, dst, dst_cap, [subst,] int32_t *src_used)
 *
 * - `src` is read up to its first NUL or `src_len` units, whichever comes
 *   first; a negative `src_len` or 0x7fffffff means "up to the NUL".
 * - `dst` receives at most `dst_cap` - 1 units and always a terminating NUL
 *   (a `dst_cap` of 0 is BTK_UNI_E_NO_SPACE). A character is never split. A null `dst` measures:
 *   nothing is written, `dst_cap` is ignored, and the result is the length
 *   the output would have.
 * - The result is the number of units written, without the terminator, or
 *   a negative BTK_UNI_E_* code. After a failure `dst` holds, terminated,
 *   what was converted before the failing character.
 * - `*src_used` (may be null) receives the source units consumed; after a
 *   failure, the offset of the character that was invalid or did not fit.
 * - UTF input is validated: overlong forms, surrogates encoded in UTF-8,
 *   truncated sequences, code points above U+10FFFF and unpaired UTF-16
 *   surrogates are BTK_UNI_E_INVALID. `subst` (where present) replaces
 *   characters that the target encoding lacks (0: such characters fail);
 *   legacy input that is malformed is replaced by it as well.
 *
 * Memory: the *Alloc functions return a block from getmem, freed by the
 * caller with relmem/rlsmem. Code-page tables are built from the system's
 * iconv on first use (once, even under concurrent first calls) and live
 * until the process ends.
 *
 * Threads: every function is thread-safe. The runtime language and the
 * Unicode-mode switch are process-wide values meant to be set at start-up.
 */
#ifndef KEELWORK_BTK_UNICODE_H
#define KEELWORK_BTK_UNICODE_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Failure codes of the conversions. */
#define BTK_UNI_E_INVALID (-1)     /* invalid or unmappable input */
#define BTK_UNI_E_NO_SPACE (-2)    /* the destination is too small */
#define BTK_UNI_E_ARG (-3)         /* null pointer or bad argument */
#define BTK_UNI_E_UNSUPPORTED (-4) /* the encoding is not available */
#define BTK_UNI_E_INCOMPLETE (-5)  /* one character: cut off by the length */

/* "No limit" for source lengths and capacities. */
#define BTK_UNI_UNBOUNDED 0x7fffffff

/* ---- UTF-8 and UTF-16 ---------------------------------------------------- */

/* UTF-8 to UTF-16, by the shared conversion contract. */
KW_API int32_t btkStrUtf8ToUtf16(const char *src, int32_t src_len, kw_wchar *dst, int32_t dst_cap,
                                 int32_t *src_used);
/* UTF-16 to UTF-8 (`dst_cap` in bytes), by the shared conversion contract. */
KW_API int32_t btkStrUtf16ToUtf8(const kw_wchar *src, int32_t src_len, char *dst, int32_t dst_cap,
                                 int32_t *src_used);
/* UTF-8 to a new NUL-terminated UTF-16 string (getmem); null for a null
 * `src` or invalid input. `*out_len` (may be null) gets its length. */
KW_API kw_wchar *btkStrUtf8ToUtf16Alloc(const char *src, int32_t src_len, int32_t *out_len);
/* UTF-16 to a new NUL-terminated UTF-8 string (getmem); null for a null
 * `src` or invalid input. `*out_len` (may be null) gets its length. */
KW_API char *btkStrUtf16ToUtf8Alloc(const kw_wchar *src, int32_t src_len, int32_t *out_len);

/* One UTF-8 character from at most `n` bytes (n < 0: unbounded) into
 * `dst` (room for 2 units: a 4-byte sequence gives a surrogate pair, any
 * shorter one 1 unit; a NUL byte gives unit 0). Returns the bytes used
 * (1-4), BTK_UNI_E_INVALID, BTK_UNI_E_INCOMPLETE when `n` cuts the
 * character, or BTK_UNI_E_ARG for null pointers or n = 0. */
KW_API int btk_u8tou16(const char *src, int32_t n, kw_wchar *dst);
/* One character (a unit, or a surrogate pair) from at most `n` units (n < 0:
 * unbounded) as UTF-8 into `dst` (room for 4 bytes, not terminated).
 * Returns the bytes written (1-4; 4 means a pair was used),
 * BTK_UNI_E_INVALID for an unpaired surrogate, BTK_UNI_E_INCOMPLETE for a
 * high surrogate at the end of `n` units, BTK_UNI_E_ARG for null/n = 0. */
KW_API int btk_u16tou8(const kw_wchar *src, int32_t n, char *dst);

/* ---- byte-order marks ------------------------------------------------------ */

typedef enum btk_utf_type {
  BTK_UTF_NONE = 0,
  BTK_UTF_8 = 1,
  BTK_UTF_16LE = 2,
  BTK_UTF_16BE = 3,
  BTK_UTF_32LE = 4,
  BTK_UTF_32BE = 5
} btk_utf_type;

/* The encoding announced by the BOM at the start of the `n` bytes at
 * `bytes` (UTF-32LE is preferred over UTF-16LE when FF FE 00 00 is
 * present); `*bom_len` (may be null) gets the BOM's length, 0 for none. */
KW_API btk_utf_type btkUtfTypeFromBOM(const void *bytes, size_t n, int *bom_len);
/* Writes the BOM of `type` into `bom` (room for 4 bytes); returns its
 * length, 0 for BTK_UTF_NONE or an unknown type. */
KW_API int btkUtfTypeToBOM(btk_utf_type type, unsigned char *bom);

/* ---- the runtime language and legacy encodings ----------------------------- */

/* Runtime language codes (the text layer maps its own ids onto these). */
#define BTK_LANG_ENGLISH 0
#define BTK_LANG_WESTERN 1 /* other single-byte Latin-1 languages */
#define BTK_LANG_JAPANESE 2
#define BTK_LANG_KOREAN 3
#define BTK_LANG_CHINESE_TRADITIONAL 4
#define BTK_LANG_CHINESE_SIMPLIFIED 5
#define BTK_LANG_CYRILLIC 6
#define BTK_LANG_HEBREW 7
#define BTK_LANG_GREEK 8
#define BTK_LANG_TURKISH 9
#define BTK_LANG_CENTRAL_EUROPEAN 10

/* Code-page numbers used by the functions below and by btkUConv_CreateCP. */
#define BTK_CP_UTF8 65001
#define BTK_CP_UTF16LE 1200
#define BTK_CP_UTF16BE 1201
#define BTK_CP_SHIFT_JIS 932 /* CP932 */
#define BTK_CP_EUC_JP 51932
#define BTK_CP_EUC_KR 51949
#define BTK_CP_EUC_CN 51936

/* The runtime's current language (BTK_LANG_ENGLISH until set). */
KW_API int32_t btkLangGetCurrent(void);
/* Sets the runtime language; returns the previous one, or BTK_UNI_E_ARG
 * (nothing changed) for an unknown code. */
KW_API int32_t btkLangSetCurrent(int32_t lang);
/* The Windows code page of `lang` (-1: the current language): 932 for
 * Japanese, 949, 950, 936, 1251, 28598, 1253, 1254, 1250, and 1252 for
 * English and the Western languages; 0 for an unknown code. */
KW_API int32_t btkLangNativeEncoding(int32_t lang);
/* The EUC code page of `lang` (-1: current): BTK_CP_EUC_JP for Japanese,
 * BTK_CP_EUC_KR for Korean, BTK_CP_EUC_CN for simplified Chinese; 0 when
 * the language has no EUC form. */
KW_API int32_t btkLangEucEncoding(int32_t lang);

/* Legacy wide form to UTF-16. Under Japanese the wide form is the 16-bit
 * EUC process code (ASCII b; JIS X 0208 b1b2|0x8080; half-width katakana
 * 0x80|b; JIS X 0212 (b1<<8|b2) with bit 15 set and bit 7 clear); under
 * other languages it is UTF-16 and is copied (validated). Conversion
 * contract as above. */
KW_API int32_t btkStrWideToUtf16(const kw_wchar *src, int32_t src_len, kw_wchar *dst,
                                 int32_t dst_cap, int32_t *src_used);
/* UTF-16 to the legacy wide form (see btkStrWideToUtf16); characters
 * without a process code are BTK_UNI_E_INVALID. */
KW_API int32_t btkStrUtf16ToWide(const kw_wchar *src, int32_t src_len, kw_wchar *dst,
                                 int32_t dst_cap, int32_t *src_used);

/* UTF-16 to the process locale's codeset (nl_langinfo(CODESET); UTF-8 in
 * the usual locales), `dst_cap` in bytes; `subst` as in the contract
 * (an ASCII byte). */
KW_API int32_t btkStrUtf16ToNative(const kw_wchar *src, int32_t src_len, char *dst, int32_t dst_cap,
                                   int32_t subst, int32_t *src_used);
/* Native (process locale) bytes to a new UTF-8 string (getmem); null for a
 * null `src` or input that is invalid in the native codeset. */
KW_API char *btkStrNativeToUtf8Alloc(const char *src, int32_t src_len, int32_t *out_len);

/* EUC-JP (JIS X 0201 katakana, JIS X 0208, JIS X 0212) to UTF-8/UTF-16;
 * `subst` is a code point written for malformed or unmapped input (0: fail). */
KW_API int32_t btkStrEucToUtf8(const char *src, int32_t src_len, char *dst, int32_t dst_cap,
                               int32_t subst, int32_t *src_used);
KW_API int32_t btkStrEucToUtf16(const char *src, int32_t src_len, kw_wchar *dst, int32_t dst_cap,
                                int32_t subst, int32_t *src_used);
/* UTF-8/UTF-16 to EUC-JP; `subst` is an ASCII byte written for characters
 * EUC-JP lacks (0: fail). Invalid UTF input always fails. The Windows
 * variants U+FF0D, U+2015, U+2225, U+FF5E and U+FFE4 are written as their
 * JIS counterparts. */
KW_API int32_t btkStrUtf8ToEuc(const char *src, int32_t src_len, char *dst, int32_t dst_cap,
                               int32_t subst, int32_t *src_used);
KW_API int32_t btkStrUtf16ToEuc(const kw_wchar *src, int32_t src_len, char *dst, int32_t dst_cap,
                                int32_t subst, int32_t *src_used);

/* ---- the streaming converter ------------------------------------------------ */

/* A converter between one byte encoding and UTF-16 (the pivot). Partial
 * characters at the end of an input chunk are kept inside the converter
 * and completed by the next chunk. Not thread-safe: one user at a time. */
typedef struct btkUConv btkUConv;

/* Results of the streaming calls. */
#define BTK_UCONV_OK 0                      /* all input consumed */
#define BTK_UCONV_NO_SPACE 1                /* the output is full: call again */
#define BTK_UCONV_INVALID BTK_UNI_E_INVALID /* see btkUConv_LastError */

/* Creation flags. */
#define BTK_UCONV_SUBSTITUTE 1 /* replace bad input (U+FFFD / '?') and go on */

/* Opens a converter for `encoding`: an iconv name ("EUC-JP", "CP932",
 * "GBK", "ISO-8859-8", ...), "UTF-8", "UTF-16LE"/"UTF-16BE", or a code page
 * written in decimal ("932", "65001"). Null with `*status` (may be null)
 * set to BTK_UNI_E_UNSUPPORTED or BTK_UNI_E_ARG when it cannot. */
KW_API btkUConv *btkUConv_Create(const char *encoding, int flags, int32_t *status);
/* The same by code page number (BTK_CP_* or a Windows code page). */
KW_API btkUConv *btkUConv_CreateCP(int32_t code_page, int flags, int32_t *status);
/* Decodes bytes [*src, src_end) into UTF-16 [*dst, dst_end), advancing both
 * pointers. `flush` is non-zero for the last chunk: an incomplete character
 * at its end is then invalid instead of being kept for the next call.
 * Returns BTK_UCONV_OK, BTK_UCONV_NO_SPACE, or BTK_UCONV_INVALID with *src
 * just past the bad bytes (calling again continues after them). */
KW_API int btkUConv_ToPivot(btkUConv *cv, const char **src, const char *src_end, kw_wchar **dst,
                            kw_wchar *dst_end, int flush);
/* Encodes UTF-16 [*src, src_end) into bytes [*dst, dst_end) the same way;
 * a high surrogate at the end of a chunk waits for the next one, and the
 * bytes of a character that did not fit whole are kept and written first by
 * the next call. Characters the encoding lacks are BTK_UCONV_INVALID unless
 * substituting. */
KW_API int btkUConv_FromPivot(btkUConv *cv, const kw_wchar **src, const kw_wchar *src_end,
                              char **dst, char *dst_end, int flush);
/* Converts bytes of `from` into bytes of `to` through the caller's pivot
 * buffer [pivot_start, pivot_limit). `*pivot_source`..`*pivot_target` is
 * the converted text not yet written out; start with both at pivot_start
 * (or pass `reset` non-zero, which also resets both converters) and keep
 * them between calls. Returns as btkUConv_ToPivot; after BTK_UCONV_INVALID,
 * btkUConv_LastError of `from` describes bad input and that of `to` a
 * character its encoding lacks. */
KW_API int btkUConv_TranscodeEx(btkUConv *to, btkUConv *from, char **dst, char *dst_end,
                                const char **src, const char *src_end, kw_wchar *pivot_start,
                                kw_wchar **pivot_source, kw_wchar **pivot_target,
                                kw_wchar *pivot_limit, int reset, int flush);
/* Describes the last BTK_UCONV_INVALID: `*offset` gets the position of the
 * bad input counted from the creation or last reset (bytes when decoding,
 * UTF-16 units when encoding) and `*length` its length; both may be null.
 * Returns 1 when there was such an error, else 0. */
KW_API int btkUConv_LastError(const btkUConv *cv, int64_t *offset, int32_t *length);
/* Forgets partial characters, shift state, counters and the last error. */
KW_API void btkUConv_Reset(btkUConv *cv);
/* Closes the converter; null is accepted. */
KW_API void btkUConv_Dispose(btkUConv *cv);

/* ---- Unicode mode ---------------------------------------------------------- */

/* 1 when byte strings are UTF-8 (the default), 0 in legacy mode. The first
 * use reads KEELWORK_UNICODE: the value 0 starts in legacy mode. */
KW_API int btkUnicodeIsEnabled(void);
/* Switches Unicode mode on (non-zero) or off; returns the previous value. */
KW_API int btkUnicodeSetEnabled(int flag);

/* ---- characters --------------------------------------------------------------- */

/* Classes of one UTF-16 unit, the same in every locale: white space (the
 * Unicode White_Space set), digits 0-9, letters (general categories L* and
 * Nl), letters or digits, ASCII, and Hebrew letters U+05D0-U+05EA. Values
 * outside 0-0xFFFF and surrogates belong to no class. */
KW_API int btk_iswspace(int c);
KW_API int btk_iswdigit(int c);
KW_API int btk_iswalpha(int c);
KW_API int btk_iswalnum(int c);
KW_API int btk_iswascii(int c);
KW_API int btk_iswrtol(int c);

/* One UTF-16 unit to the session byte encoding (UTF-8 in Unicode mode, the
 * runtime language's code page or EUC-JP for Japanese otherwise) into `dst`
 * (room for 4 bytes, not terminated). Returns the byte count, or -1 when
 * the unit has no such form (a surrogate, an unmapped character). */
KW_API int btk_wctomb(char *dst, int wc);
/* One character of the session byte encoding from at most `n` bytes (n < 0:
 * unbounded) into `wc` (room for 2 units; a surrogate pair only for 4-byte
 * UTF-8). Returns the bytes used (a NUL gives 1 and unit 0), or -1 for
 * invalid or cut-off input and null pointers. */
KW_API int btk_mbtowc(kw_wchar *wc, const char *src, int32_t n);

/* Compare ignoring ASCII case only (bytes from 0x80 up compare as they
 * are); the sign of the result orders the strings as unsigned bytes. */
KW_API int btk_strcasecmp(const char *a, const char *b);
KW_API int btk_strncasecmp(const char *a, const char *b, size_t n);

/* ---- Base64 -------------------------------------------------------------------- */

/* Encodes `n` bytes as Base64 (standard alphabet, "=" padding) into `dst`
 * with a terminating NUL; `dst_cap` must be at least 4*((n+2)/3)+1. Returns
 * the length written, or BTK_UNI_E_NO_SPACE / BTK_UNI_E_ARG. */
KW_API int32_t ConvertTo64Base(const void *src, int32_t n, char *dst, int32_t dst_cap);
/* Decodes Base64 text of `n` bytes (n < 0: up to the NUL) into `dst`. Blanks
 * and line breaks are skipped; the last group may omit its padding.
 * Returns the bytes written, BTK_UNI_E_INVALID for any other character or
 * misplaced padding, BTK_UNI_E_NO_SPACE when `dst_cap` is too small. */
KW_API int32_t ConvertFrom64Base(const char *src, int32_t n, void *dst, int32_t dst_cap);

KW_END_DECLS

#endif /* KEELWORK_BTK_UNICODE_H */
