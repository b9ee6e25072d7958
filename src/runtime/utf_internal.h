// UTF-8 and UTF-16 primitives shared by the conversions, the formatter and
// the scanner. Everything here validates: overlong forms, encoded
// surrogates, code points above U+10FFFF and unpaired surrogates are errors.
#ifndef KW_RUNTIME_UTF_INTERNAL_H
#define KW_RUNTIME_UTF_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace kw::runtime {

// Results of the one-character decoders below.
inline constexpr int kUtfInvalid = -1;     // not a valid sequence
inline constexpr int kUtfIncomplete = -2;  // valid so far, but cut off by the end

// Decodes one UTF-8 character from [p, end) (p < end). Returns the number of
// bytes used (1-4) and stores the code point, or kUtfInvalid/kUtfIncomplete.
inline int utf8_decode(const unsigned char *p, const unsigned char *end, char32_t *cp) {
  unsigned c = p[0];
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  int len;
  unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
  char32_t v;
  if (c < 0xC2) return kUtfInvalid;  // continuation byte or overlong lead
  if (c < 0xE0) {
    len = 2;
    v = c & 0x1F;
  } else if (c < 0xF0) {
    len = 3;
    v = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c < 0xF5) {
    len = 4;
    v = c & 0x07;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return kUtfInvalid;
  }
  std::ptrdiff_t avail = end - p;
  for (int i = 1; i < len; ++i) {
    if (i >= avail) return kUtfIncomplete;
    unsigned b = p[i];
    if (i == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return kUtfInvalid;
    v = (v << 6) | (b & 0x3F);
  }
  *cp = v;
  return len;
}

// Encodes a code point (no surrogates, at most U+10FFFF) as UTF-8 into `out`
// (room for 4 bytes); returns the byte count.
inline int utf8_encode(char32_t cp, char *out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

inline bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Decodes one character from the UTF-16 units [p, end) (p < end). Returns
// the units used (1 or 2) and stores the code point, or kUtfInvalid for an
// unpaired low surrogate or a high surrogate followed by something else,
// kUtfIncomplete for a high surrogate at the end.
inline int utf16_decode(const char16_t *p, const char16_t *end, char32_t *cp) {
  char32_t u = p[0];
  if (u < 0xD800 || u > 0xDFFF) {
    *cp = u;
    return 1;
  }
  if (u >= 0xDC00) return kUtfInvalid;
  if (end - p < 2) return kUtfIncomplete;
  char32_t l = p[1];
  if (!is_low_surrogate(l)) return kUtfInvalid;
  *cp = 0x10000 + ((u - 0xD800) << 10) + (l - 0xDC00);
  return 2;
}

// Encodes a code point as UTF-16 into `out` (room for 2); returns the units.
inline int utf16_encode(char32_t cp, char16_t *out) {
  if (cp < 0x10000) {
    out[0] = static_cast<char16_t>(cp);
    return 1;
  }
  cp -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  return 2;
}

// Bulk conversions with an explicit source range and destination capacity.
// They stop at the first invalid sequence (an incomplete one at the end of
// the source counts as invalid). `*src_used` receives the source units
// consumed and `*dst_used` the units written; the result is 0 on success,
// kUtfInvalid at a bad sequence, 1 when the destination filled up first
// (no character is ever split). With a null `dst`, nothing is written and
// the capacity is ignored: the call measures.
int utf8_to_utf16(const char *src, std::size_t n, char16_t *dst, std::size_t cap,
                  std::size_t *src_used, std::size_t *dst_used);
int utf16_to_utf8(const char16_t *src, std::size_t n, char *dst, std::size_t cap,
                  std::size_t *src_used, std::size_t *dst_used);

// SSSE3 block converters (utf_simd.cpp): they advance the positions over
// every block they can prove valid and stop at the first they cannot,
// leaving it to the scalar code. Call only when has_ssse3() is true.
void utf8_to_utf16_ssse3(const unsigned char *&p, const unsigned char *end, char16_t *dst,
                         std::size_t &o, std::size_t cap);
void utf16_to_utf8_ssse3(const char16_t *src, std::size_t n, std::size_t &i, char *dst,
                         std::size_t &o, std::size_t cap);
bool has_ssse3();
// 0 (SSE2), 1 (SSSE3) or 2 (AVX2): what the processor offers, capped by
// the KEELWORK_SIMD environment variable at first use (a test seam).
int simd_level();
// The AVX2 decoder (utf_avx2.cpp), the same contract; only when has_avx2().
void utf8_to_utf16_avx2(const unsigned char *&p, const unsigned char *end, char16_t *dst,
                        std::size_t &o, std::size_t cap);
bool has_avx2();
// Runs of ASCII units, 32 at a time (AVX2); stops at the first block with
// anything else.
void utf16_to_utf8_ascii_avx2(const char16_t *src, std::size_t n, std::size_t &i, char *dst,
                              std::size_t &o, std::size_t cap);

// Length of a NUL-terminated UTF-16 string, bounded by `limit` units.
std::size_t u16_strnlen(const char16_t *s, std::size_t limit);

}  // namespace kw::runtime

#endif  // KW_RUNTIME_UTF_INTERNAL_H
