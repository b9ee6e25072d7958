// Base64 (RFC 4648 alphabet with "=" padding), bounded in both directions.
#include <cstdint>
#include <cstring>

#include "keelwork/btk_unicode.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0-63 for alphabet characters, 64 for '=', 65 for skipped blanks, 66 for
// anything else.
struct DecodeTable {
  std::uint8_t v[256];
  constexpr DecodeTable() : v() {
    for (auto &x : v) x = 66;
    for (int i = 0; i < 64; ++i)
      v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    v[static_cast<unsigned char>('=')] = 64;
    v[static_cast<unsigned char>(' ')] = v[static_cast<unsigned char>('\t')] = 65;
    v[static_cast<unsigned char>('\r')] = v[static_cast<unsigned char>('\n')] = 65;
  }
};
constexpr DecodeTable kDecode;

}  // namespace

KW_API int32_t ConvertTo64Base(const void *src, int32_t n, char *dst, int32_t dst_cap) {
  if ((!src && n > 0) || n < 0 || !dst) return BTK_UNI_E_ARG;
  std::int64_t need = 4 * ((static_cast<std::int64_t>(n) + 2) / 3);
  if (need + 1 > dst_cap) return BTK_UNI_E_NO_SPACE;
  const auto *p = static_cast<const unsigned char *>(src);
  char *o = dst;
  int32_t i = 0;
  for (; n - i >= 3; i += 3) {
    std::uint32_t v = p[i] << 16 | p[i + 1] << 8 | p[i + 2];
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[(v >> 12) & 63];
    *o++ = kAlphabet[(v >> 6) & 63];
    *o++ = kAlphabet[v & 63];
  }
  if (n - i == 1) {
    std::uint32_t v = p[i] << 16;
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[(v >> 12) & 63];
    *o++ = '=';
    *o++ = '=';
  } else if (n - i == 2) {
    std::uint32_t v = p[i] << 16 | p[i + 1] << 8;
    *o++ = kAlphabet[v >> 18];
    *o++ = kAlphabet[(v >> 12) & 63];
    *o++ = kAlphabet[(v >> 6) & 63];
    *o++ = '=';
  }
  *o = 0;
  return static_cast<int32_t>(o - dst);
}

KW_API int32_t ConvertFrom64Base(const char *src, int32_t n, void *dst, int32_t dst_cap) {
  if (!src || (!dst && dst_cap > 0) || dst_cap < 0) return BTK_UNI_E_ARG;
  std::size_t len = n < 0 ? std::strlen(src) : strnlen(src, static_cast<std::size_t>(n));
  auto *o = static_cast<unsigned char *>(dst);
  std::int64_t out = 0;
  std::uint32_t acc = 0;
  int have = 0;     // sextets in the current group
  int padding = 0;  // '=' seen; only blanks may follow the padded group
  for (std::size_t i = 0; i < len; ++i) {
    std::uint8_t v = kDecode.v[static_cast<unsigned char>(src[i])];
    if (v == 65) continue;
    if (v == 66) return BTK_UNI_E_INVALID;
    if (v == 64) {
      // Padding completes a group of two or three sextets.
      if (have + padding < 2) return BTK_UNI_E_INVALID;
      ++padding;
      if (have + padding > 4) return BTK_UNI_E_INVALID;
      continue;
    }
    if (padding) return BTK_UNI_E_INVALID;
    acc = acc << 6 | v;
    if (++have == 4) {
      if (out + 3 > dst_cap) return BTK_UNI_E_NO_SPACE;
      o[out++] = static_cast<unsigned char>(acc >> 16);
      o[out++] = static_cast<unsigned char>(acc >> 8);
      o[out++] = static_cast<unsigned char>(acc);
      acc = 0;
      have = 0;
    }
  }
  if (padding && have + padding != 4) return BTK_UNI_E_INVALID;
  if (have == 1) return BTK_UNI_E_INVALID;
  if (have >= 2) {
    int bytes = have - 1;
    if (out + bytes > dst_cap) return BTK_UNI_E_NO_SPACE;
    acc <<= 6 * (4 - have);
    o[out++] = static_cast<unsigned char>(acc >> 16);
    if (bytes == 2) o[out++] = static_cast<unsigned char>(acc >> 8);
  }
  return static_cast<int32_t>(out);
}
