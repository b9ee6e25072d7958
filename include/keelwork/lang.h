/* Languages, locales and Japanese encodings.
 *
 * The session runs in one language, an id of the locale table (LANG_*
 * below), chosen once from the environment: VEX_LANG, then LANG, then the
 * system's user language (the language code of LC_ALL or LC_MESSAGES). The
 * language decides the byte encoding of legacy-mode strings, the code page
 * of the conversions, right-to-left text and the process locale, which is
 * set from POSIX names (for example japanese: ja_JP.eucJP, ja_JP.EUC-JP,
 * ja_JP.UTF-8, C.UTF-8). Locales that the system lacks never fail a call:
 * the session falls back to English and the "C" locale.
 *
 * The locale table holds the built-in rows, then those of "vex_i18n.res",
 * read from the working directory or from $VEX_DIRECTORY/text/. It is
 * created on first use and lives until the process ends; names returned by
 * the lookups point into it (or are constants) and must not be freed.
 *
 * Threads: nothing here locks. The language state is set up before parallel
 * work starts; while the application runs parallel work it adds the guard
 * names to the runtime's MT-safe set (start_mt_safe_mode_for_*), and a write
 * to a guarded global is then reported through dbg_err_crash. The Japanese
 * arithmetic and the EUC functions are reentrant.
 */
#ifndef KEELWORK_LANG_H
#define KEELWORK_LANG_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Language ids. */
#define LANG_ENGLISH 0 /* also the C locale */
#define LANG_JAPANESE 1
#define LANG_FRENCH 2
#define LANG_GERMAN 3
#define LANG_RUSSIAN 4
#define LANG_ITALIAN 5
#define LANG_GENERIC_MB 6 /* custom locale, multibyte */
#define LANG_SPANISH 7
#define LANG_KOREAN 8
#define LANG_CHINESE_TW 9
#define LANG_CHINESE_CN 10
#define LANG_GENERIC_SB 11 /* custom locale, single byte */
#define LANG_HEBREW 12
#define LANG_GREEK 13
#define LANG_TURKISH 14
#define LANG_CZECH 15
#define LANG_POLISH 16
#define LANG_HUNGARIAN 17
#define LANG_SLOVENIAN 18
#define LANG_PORTUGUESE 19
#define LANG_SLOVAK 20

/* ---- the session language ------------------------------------------------ */

/* The current language, determined from the environment (set_local) on the
 * first call unless set_language came first. */
KW_API int32_t get_language(void);
/* -1 until the language has been determined from the environment, else
 * get_language(). */
KW_API int32_t get_language_for_pfa(void);
/* Sets the current language (no validation) and the Japanese conversion
 * flag (id 1); later readers no longer consult the environment. Returns the
 * previous language (-1 when none was set). */
KW_API int32_t set_language(int32_t id);
/* Process locale "C" and language 0; returns 0. */
KW_API int32_t set_lang_env(void);
/* override_locale(0). */
KW_API int32_t reset_language(void);
/* Puts VEX_LANG and LANG for the environment name of `id` into the
 * environment and determines the language again; returns the id looked up
 * (-1 unknown, -2 blank). */
KW_API int32_t override_locale(int32_t id);
/* Forces English: LANG, LC_ALL and VEX_LANG become "C", the locale "C" and
 * language 0; later determinations keep English. Returns the id looked up. */
KW_API int32_t lang_set_force_english(void);
/* 1 after lang_set_force_english. */
KW_API int32_t lang_get_force_english(void);
/* Lets the numeric category follow the language's locale instead of "C"
 * (it is "C" by default); returns 0. */
KW_API int32_t lang_use_native_lc_numeric(void);
/* 1 while the numeric category is forced to "C". */
KW_API int32_t lang_get_use_native_lc_numeric(void);
/* Sets the propagation of the session language to saved files; returns the
 * previous value (1 at start). */
KW_API int32_t set_lang_propagate(int32_t flag);
/* The language id recorded for the file being saved or loaded (-1 at
 * start); the setter returns the previous value. */
KW_API int32_t set_ugc_lang_id(int32_t id);
KW_API int32_t get_ugc_lang_id(void);
/* The name of the locale value that the system refused, or null. */
KW_API const char *GetLocalefailFlag(void);
/* The locale value that named a UTF-8 locale (".UTF" in it), or null. */
KW_API const char *GetLocaleUtfFlag(void);
/* The environment value naming the language: VEX_LANG (unless blank, which
 * is reported and ignored; it is copied to LANG), LANG, else the environment
 * name of the system's user language (also put into LANG). Null when none.
 * The string stays valid until the environment changes. */
KW_API const char *vex_get_lang_env(void);
/* 6 when CUSTOM_LOCALE_IS_MULTIBYTE is "true" (any case), else 11; read on
 * the first call. */
KW_API int32_t get_generic_lang_id(void);
/* In a custom-locale session (6 or 11) copies CUSTOM_LOCALE_TEXT_DIR (when
 * non-empty and shorter than 32 bytes) to `dst` (room for 32) and returns
 * 1; else 0. */
KW_API int get_generic_lang_text_dir(char *dst);

/* Loading a file written in language `id`: a multibyte language loaded into
 * an English session switches the session to it (1 on success, 0 and back
 * to English on failure); another non-English language in a non-English
 * session is reported and gives 0. Otherwise nothing happens and 1 is
 * returned. */
KW_API int set_ugc_ret_lang_env(int32_t id);
/* Saving a file in language `id`: records the language to write into the
 * file (get_ugc_lang_id), switching an English session to a multibyte
 * language as on load. 0 when that switch failed, else 1. */
KW_API int set_ugc_save_lang_env(int32_t id);

/* ---- the locale table ------------------------------------------------------- */

/* The id of the first row whose name equals `name` ignoring ASCII case; -1
 * for null or an unknown name, -2 when `name` holds only blanks and control
 * characters (or nothing). */
KW_API int32_t lang_id_by_name(const char *name);
/* The name of the first row of `id` ("usascii" for 0); "" if none. */
KW_API const char *lang_name_by_id(int32_t id);
/* The environment name of `id` ("C" for 0, "cht" for 9); "" if none. */
KW_API const char *lang_env_by_id(int32_t id);
/* 1 when some row has language `id`, else 0. */
KW_API int is_valid_language(int32_t id);
/* langLoadExtTbl("vex_i18n.res", append). */
KW_API int lang_init(int append);
/* Merges the [LOCALE] {WINDOWS} section of a language table file into the
 * locale table (append 0: the file's rows replace the table). The file is
 * looked for as named, then, for a bare name, in $VEX_DIRECTORY/text/.
 * Appending reads the file once per process. Returns 0, or -1 when the
 * file cannot be opened. */
KW_API int langLoadExtTbl(const char *file, int append);

/* ---- language properties ------------------------------------------------------ */

/* 1 for the multibyte languages 1, 6, 8, 9, 10. */
KW_API int is_multibyte_language(int32_t id);
/* 1 for the custom-locale languages 6 and 11. */
KW_API int is_generic_language(int32_t id);
/* 1 for Hebrew (12). */
KW_API int is_righttoleft_language(int32_t id);
/* The Windows code page of `id` (-1: the current language); 0 for none. */
KW_API int32_t lang_get_code_page(int32_t id);
/* 1 for the Hebrew letters U+05D0 to U+05EA. */
KW_API int iswrtol(int wc);
/* 1 for the bytes 0xE0 to 0xFA; with `check` 1 only in a Hebrew session. */
KW_API int isrtol(int byte, int check);

/* ---- Japanese encodings ---------------------------------------------------------- */

/* The EUC process code is the 16-bit legacy wide form of Japanese text:
 * ASCII b as b; JIS X 0208 (bytes b1 b2 in 0xA1-0xFE) as b1*256+b2;
 * half-width katakana (0x8E b) as b; JIS X 0212 (0x8F b1 b2) as
 * b1*256+(b2&0x7F). */

/* One JIS X 0208 code (two bytes 0x21-0x7E) to Shift-JIS in place, and
 * back, by the standard arithmetic; a zero first byte is left alone. */
KW_API void jis2sjis(int *c1, int *c2);
KW_API void sjis2jis(int *c1, int *c2);
/* JIS to EUC process code: codes below 256 unchanged, others OR 0x8080
 * (0x8000 for code set 3); and back (AND 0x7F7F). */
KW_API int wc_jis2euc(int code);
KW_API int wc_jis2euc__codeset3(int code);
KW_API int wc_euc2jis(int code);
/* The EUC-JP bytes of a process code into `dst` (room for 3, not
 * terminated); returns 1, 2 or 3. */
KW_API int euc_wc2mb(char *dst, int code);
/* The process code of the EUC-JP character at `src` (at most `n` bytes,
 * n < 0: unbounded) into `*code`; returns the bytes used, 0 when the
 * character needs more than `n` bytes (or for null arguments). A lead byte
 * followed by NUL yields the lead byte alone. Bytes are not validated
 * beyond that. */
KW_API int euc_mb2wc(kw_wchar *code, const char *src, int n);
/* Whole strings, for the legacy conversions: EUC-JP (in a Japanese
 * session; else the language's code page) to UTF-16 into `dst` (room for
 * strlen(src)+1 units), UTF-16 to EUC-JP (room for 2 bytes per unit and a
 * terminator), and UTF-16 to the language's code page (room for 2 bytes per
 * unit and a terminator). Runs between 0x01 and 0x02 pass through byte for
 * byte. Return `dst`; null arguments return `dst` unchanged. */
KW_API kw_wchar *euc_str_to_unicode_str(kw_wchar *dst, const char *src);
KW_API char *unicode_str_to_euc_str(char *dst, const kw_wchar *src);
KW_API char *unicode_str_to_multibyte_str(char *dst, const kw_wchar *src);
/* Shift-JIS to a new EUC-JP string (getmem, freed with relmem); null for
 * null. */
KW_API char *make_sjistoeuc(const char *s);
/* In a Japanese session converts the Shift-JIS `s` to EUC-JP into a static
 * buffer of 520 bytes (`*out`, valid until the next call; not
 * thread-safe); otherwise `*out` is `s`. `*chars` and `*bytes` (may be
 * null) receive the character count and byte length of the result (both
 * the byte length outside Japanese). Returns 1 when the result was cut
 * short, else 0. */
KW_API int localize_string(const char *s, const char **out, int *chars, int *bytes);

/* A Unicode character in the legacy wide form of the current language:
 * Japanese gives its process code, 6/8/9/10 see wc_to_sigma_wc, Hebrew the
 * code-page byte, every other language `wc` itself. 0 when conversion
 * failed (reported). */
KW_API kw_wchar unicode_to_wchar(kw_wchar wc);
/* For the multibyte languages the process code of `wc` built from its bytes
 * in the language's code page (the process locale for custom locales);
 * other languages copy `wc`. 1, or -1 when `wc` has no such bytes. */
KW_API int wc_to_sigma_wc(kw_wchar *out, kw_wchar wc);
/* For the multibyte languages turns a process code into Unicode in place;
 * always 1 (an invalid code is reported through dbg_err_syserr).
 * wc32towc16 does nothing and returns 1. */
KW_API int wc16towc32(kw_wchar *wc);
KW_API int wc32towc16(kw_wchar *wc);
/* The JIS code of a Japanese character as four lower-case hexadecimal digits
 * into `dst` (room for 5); 1, or 0 outside Japanese or when `*wc` has no
 * JIS form. */
KW_API int wctohexjis(char *dst, const kw_wchar *wc);
/* The reverse (also for simplified Chinese when `chinese` is non-zero):
 * `*wc` gets the character of the hexadecimal code in `text`. 1 on
 * success, 0 when the text holds no two hexadecimal bytes, the language
 * does not apply or the code has no character. */
KW_API int hexjistowc(kw_wchar *wc, const char *text, int chinese);
/* The Japanese conversion flag (set by set_language for Japanese): single
 * characters convert through EUC process codes. The setter returns the
 * previous value. */
KW_API int set_japanese_for_wchar_conv(int flag);
KW_API int get_japanese_for_wchar_conv(void);
/* The byte-encoding form of one wide character into `dst` (room for 4, not
 * terminated): UTF-8 in Unicode mode, EUC-JP of a process code under the
 * Japanese flag, else the current code page. The byte count, or -1. */
KW_API int vex_wctomb(char *dst, kw_wchar wc);
/* One character of at most `n` bytes (n = -1: unbounded) at `src` into
 * `*wc` (one unit: a character outside the BMP gives -1); returns the bytes
 * used, or -1. In legacy mode a null `wc` only measures. */
KW_API int vex_mbtowc(kw_wchar *wc, const char *src, int n);
/* Bytes of `wc` in the session encoding (-1 when it has none); in EUC-JP
 * (vex_wclen_legacy). */
KW_API int vex_wclen(kw_wchar wc);
KW_API int vex_wclen_legacy(kw_wchar wc);
/* Length of the character starting with `byte`: 1 below 0x80; in Unicode
 * mode 4 for 0xF0-0xF4, 3 for other bytes with the top three bits set, 2
 * otherwise; in legacy mode (vex_csetlen_legacy) 3 for 0x8F, otherwise 2. */
KW_API int vex_csetlen(int byte);
KW_API int vex_csetlen_legacy(int byte);
/* Classification of EUC process codes: class 8 (space) holds only the
 * ideographic space 0xA1A1; every other class is empty. (The system's
 * iswctype is a different function.) */
KW_API int kw_iswctype(int wc, int cls);

/* ---- MT-safe guards -------------------------------------------------------------- */

/* Add (start) or remove (end) the guard name to the runtime's MT-safe set;
 * the result of AddToMTSafeSet / RemoveFromMTSafeSet. */
KW_API int start_mt_safe_mode_for_lang_is_japanese(void);
KW_API int end_mt_safe_mode_for_lang_is_japanese(void);
KW_API int start_mt_safe_mode_for_preset_flag(void);
KW_API int end_mt_safe_mode_for_preset_flag(void);
KW_API int start_mt_safe_mode_for_language(void);
KW_API int end_mt_safe_mode_for_language(void);
KW_API int start_mt_safe_mode_for__locale_determined_(void);
KW_API int end_mt_safe_mode_for__locale_determined_(void);
KW_API int start_mt_safe_mode_for_generic_mb_checked(void);
KW_API int end_mt_safe_mode_for_generic_mb_checked(void);
KW_API int start_mt_safe_mode_for_generic_mb(void);
KW_API int end_mt_safe_mode_for_generic_mb(void);

KW_END_DECLS

#endif /* KEELWORK_LANG_H */
