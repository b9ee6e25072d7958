// Internal helpers shared by the text families: the guarded language
// globals, the process locale and the Windows-shaped code-page conversions
// that the legacy mode is described in terms of.
#ifndef KW_TEXT_TEXT_INTERNAL_H
#define KW_TEXT_TEXT_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace kw::text {

// ---- language state -----------------------------------------------------------

// Language ids of the locale table.
inline constexpr int kEnglish = 0;
inline constexpr int kJapanese = 1;
inline constexpr int kGenericMultibyte = 6;
inline constexpr int kChineseTraditional = 9;
inline constexpr int kChineseSimplified = 10;
inline constexpr int kGenericSingleByte = 11;
inline constexpr int kHebrew = 12;

// Reports a write to a guarded global while its name is in the runtime's
// MT-safe set (dbg_err_crash), as every writer of such a global must.
void check_guard(const char *name);

// True when the Japanese conversion flag is set (single-character
// conversions use EUC process codes).
bool japanese_wchar_conv();

// Sets the process locale for `category` from a language or locale name:
// the name itself, then the POSIX names of the language it names. Returns
// false when none is available.
bool set_process_locale(int category, const char *name);

// ---- Windows-shaped code-page conversions --------------------------------------

// Error codes the conversions report, as the described messages print them.
inline constexpr int kErrorInvalidParameter = 87;
inline constexpr int kErrorInsufficientBuffer = 122;
inline constexpr int kErrorInvalidFlags = 1004;
inline constexpr int kErrorNoUnicodeTranslation = 1113;

// Bytes of `code_page` to UTF-16, `n` bytes exactly (a NUL inside is
// converted like any byte). Malformed or unmapped input becomes U+FFFD.
// Code page 0 is the process locale's codeset (Windows-1252 in the C
// locale). Returns the units written, or 0 with `*error` set (unknown code
// page, output larger than `cap`, bytes the process locale rejects).
std::size_t mb_to_wide(int code_page, const char *src, std::size_t n, char16_t *dst,
                       std::size_t cap, int *error);

// UTF-16 to bytes of `code_page`, `n` units exactly. A character the code
// page lacks (and an unpaired surrogate) becomes the default character '?'.
// Returns the bytes written, or 0 with `*error` set.
std::size_t wide_to_mb(int code_page, const char16_t *src, std::size_t n, char *dst,
                       std::size_t cap, int *error);

// True when `code_page` converts through the process locale (code page 0
// outside the C locale) rather than a table.
bool code_page_is_locale(int code_page);

// True when `byte` starts a two-byte character of `code_page`.
bool is_lead_byte(int code_page, unsigned char byte);

// The bytes of one character of `code_page` at `p`: 2 for a lead byte that
// is not followed by NUL, else 1 (the process locale's own length for code
// page 0 outside the C locale, never reaching past a NUL).
int char_length(int code_page, const char *p);

// One BMP unit in `code_page` into `out` (room for 4): the byte count, 0 when
// the code page lacks the character, -1 for an unknown code page.
int encode_char(int code_page, char16_t wc, unsigned char *out);

// Prints one of the described conversion failure lines, "<prefix>:ERROR_..."
// by `error`, through vex_printf.
void print_conversion_error(const char *prefix, int error);

// ---- Japanese ---------------------------------------------------------------------

// Shift-JIS to EUC-JP into `dst` of `cap` bytes (terminator included).
// Returns the bytes written; `*chars` gets the characters converted and
// `*cut` whether the output ran out of room.
std::size_t sjis_to_euc(const char *src, char *dst, std::size_t cap, int *chars, bool *cut);

}  // namespace kw::text

#endif  // KW_TEXT_TEXT_INTERNAL_H
