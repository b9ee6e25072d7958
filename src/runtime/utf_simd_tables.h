// Shuffle and count tables of the SIMD UTF converters (utf_simd.cpp,
// utf_avx2.cpp).
#ifndef KW_RUNTIME_UTF_SIMD_TABLES_H
#define KW_RUNTIME_UTF_SIMD_TABLES_H

#include <emmintrin.h>

#include <array>
#include <cstdint>

namespace kw::runtime {

using Shuffle = std::array<std::uint8_t, 16>;

// UTF-8 -> UTF-16: keep the 16-bit lanes whose bit is set in the index.
constexpr std::array<Shuffle, 256> make_keep_lanes() {
  std::array<Shuffle, 256> t{};
  for (int m = 0; m < 256; ++m) {
    int o = 0;
    for (int lane = 0; lane < 8; ++lane) {
      if (m & (1 << lane)) {
        t[m][o++] = static_cast<std::uint8_t>(2 * lane);
        t[m][o++] = static_cast<std::uint8_t>(2 * lane + 1);
      }
    }
    while (o < 16) t[m][o++] = 0x80;
  }
  return t;
}

// UTF-16 -> UTF-8, units below U+0800: every 16-bit lane holds the first
// byte low and the second high; a set bit keeps the second byte.
constexpr std::array<Shuffle, 256> make_two_byte_lanes() {
  std::array<Shuffle, 256> t{};
  for (int m = 0; m < 256; ++m) {
    int o = 0;
    for (int lane = 0; lane < 8; ++lane) {
      t[m][o++] = static_cast<std::uint8_t>(2 * lane);
      if (m & (1 << lane)) t[m][o++] = static_cast<std::uint8_t>(2 * lane + 1);
    }
    while (o < 16) t[m][o++] = 0x80;
  }
  return t;
}

// UTF-16 -> UTF-8, any BMP unit: four 32-bit lanes each holding up to three
// bytes; the index holds each lane's length less one in two bits.
struct ThreeByteLanes {
  std::array<Shuffle, 256> shuffle{};
  std::array<std::uint8_t, 256> length{};
};

constexpr ThreeByteLanes make_three_byte_lanes() {
  ThreeByteLanes t{};
  for (int m = 0; m < 256; ++m) {
    int o = 0;
    for (int lane = 0; lane < 4; ++lane) {
      int len = ((m >> (2 * lane)) & 3) + 1;
      if (len > 3) len = 3;  // index value 3 never occurs
      for (int b = 0; b < len; ++b) t.shuffle[m][o++] = static_cast<std::uint8_t>(4 * lane + b);
    }
    t.length[m] = static_cast<std::uint8_t>(o);
    while (o < 16) t.shuffle[m][o++] = 0x80;
  }
  return t;
}

// Spreads a 4-bit mask to bits 0, 2, 4 and 6.
constexpr std::array<std::uint8_t, 16> make_spread() {
  std::array<std::uint8_t, 16> t{};
  for (int m = 0; m < 16; ++m)
    for (int b = 0; b < 4; ++b)
      if (m & (1 << b)) t[m] = static_cast<std::uint8_t>(t[m] | (1 << (2 * b)));
  return t;
}

inline constexpr auto kKeepLanes = make_keep_lanes();
inline constexpr auto kTwoByteLanes = make_two_byte_lanes();
inline constexpr auto kThreeByteLanes = make_three_byte_lanes();
inline constexpr auto kSpread = make_spread();

// Bits set in a byte (the POPCNT instruction may be missing where SSSE3 is
// present).
constexpr std::array<std::uint8_t, 256> make_bit_count() {
  std::array<std::uint8_t, 256> t{};
  for (int m = 0; m < 256; ++m) t[m] = static_cast<std::uint8_t>((m & 1) + t[m >> 1]);
  return t;
}
inline constexpr auto kBitCount = make_bit_count();

inline __m128i load_shuffle(const Shuffle &s) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(s.data()));
}

}  // namespace kw::runtime

#endif  // KW_RUNTIME_UTF_SIMD_TABLES_H
