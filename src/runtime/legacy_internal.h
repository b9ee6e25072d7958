// One-character codecs of the legacy encodings, shared by the string
// conversions and the streaming converter.
#ifndef KW_RUNTIME_LEGACY_INTERNAL_H
#define KW_RUNTIME_LEGACY_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"

namespace kw::runtime {

// Marks a decoded character as malformed or unmapped input.
inline constexpr char32_t kBadChar = 0xFFFFFFFF;

// Decodes one EUC-JP character from [p, end) (p < end). Returns the bytes
// it covers and stores the code point, or kBadChar for bytes to skip, or
// kUtfIncomplete when the character is cut off by `end`.
int euc_decode(const EucTables &t, const unsigned char *p, const unsigned char *end, char32_t *cp);

// EUC-JP bytes of a process code into `out` (room for 3); the byte count.
int euc_process_to_bytes(std::uint16_t code, unsigned char *out);

// EUC-JP bytes of a code point into `out` (room for 3); 0 when unmappable.
int euc_encode(const EucTables &t, char32_t cp, unsigned char *out);

// The same pair for a single- or double-byte code page.
int dbcs_decode(const DbcsTable &t, const unsigned char *p, const unsigned char *end, char32_t *cp);
int dbcs_encode(const DbcsTable &t, char32_t cp, unsigned char *out);

// Length of the longest prefix of [p, end) that could begin a valid UTF-8
// sequence (at least 1): what one error skips.
int utf8_bad_length(const unsigned char *p, const unsigned char *end);

}  // namespace kw::runtime

#endif  // KW_RUNTIME_LEGACY_INTERNAL_H
