// Byte work on short texts such as file names, 16 bytes at a time with
// SSE2 (part of every x86-64 processor):
// - where chosen bytes occur, as bit masks: bit i of word i / 64 is set
//   when byte i is the byte asked for. One pass over the text answers every
//   later "where is the next ':'" or "the last separator before here" with
//   a few bit operations, which is what parsing a file name asks many times
//   over;
// - copies that replace one byte by another or lower ASCII letters.
#ifndef KW_RUNTIME_BYTEMASK_H
#define KW_RUNTIME_BYTEMASK_H

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kw::runtime {

// GCC cannot see that the queries read only the words a scan wrote (every
// query stops at `len`) and warns about the rest.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Masks of K bytes over texts of up to 64 * W bytes.
template <size_t K, size_t W>
struct ByteMasks {
  static constexpr size_t npos = static_cast<size_t>(-1);
  static constexpr size_t kMaxLen = 64 * W;
  uint64_t m[K][W];
  size_t len = 0;

  // Marks the K bytes of `wanted` in `s[0, n)`; n is at most kMaxLen. Row 0
  // also marks `also0` when that is not 0 (two bytes that mean the same).
  void scan(const char *s, size_t n, const char (&wanted)[K], char also0 = 0) {
    len = n;
    __m128i pattern[K];
    for (size_t k = 0; k < K; ++k) pattern[k] = _mm_set1_epi8(wanted[k]);
    const __m128i alternative = _mm_set1_epi8(also0 ? also0 : wanted[0]);
    auto bits_of = [&](__m128i block, size_t k) {
      __m128i hit = _mm_cmpeq_epi8(block, pattern[k]);
      if (k == 0) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(block, alternative));
      return uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(hit))};
    };
    if (n < 16) {
      // A short text goes through a zeroed copy, never reading past `n`;
      // zero is never a wanted byte of a C string.
      alignas(16) char copy[16] = {};
      if (n) std::memcpy(copy, s, n);
      __m128i block = _mm_load_si128(reinterpret_cast<const __m128i *>(copy));
      for (size_t k = 0; k < K; ++k) m[k][0] = bits_of(block, k);
      return;
    }
    // Blocks of 16 with the bits gathered in registers; the last block is
    // the one ending at `n`, overlapping its neighbour (marking a byte
    // twice changes nothing), so no load reaches past the text.
    if (n <= 64) {
      uint64_t acc[K] = {};
      for (size_t at = 0;; at += 16) {
        size_t start = at + 16 <= n ? at : n - 16;
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + start));
        for (size_t k = 0; k < K; ++k) acc[k] |= bits_of(block, k) << start;
        if (start + 16 >= n) break;
      }
      for (size_t k = 0; k < K; ++k) m[k][0] = acc[k];
      return;
    }
    const size_t words = (n + 63) / 64;
    for (size_t w = 0; w < words; ++w) {
      uint64_t acc[K] = {};
      size_t word_end = (w + 1) * 64 < n ? (w + 1) * 64 : n;
      size_t at = w * 64;
      for (; at + 16 <= word_end; at += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        for (size_t k = 0; k < K; ++k) acc[k] |= bits_of(block, k) << (at % 64);
      }
      for (size_t k = 0; k < K; ++k) m[k][w] = acc[k];
    }
    if (n % 16) {
      size_t at = n - 16;
      size_t w = at / 64, shift = at % 64;
      __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
      for (size_t k = 0; k < K; ++k) {
        uint64_t bits = bits_of(block, k);
        m[k][w] |= bits << shift;
        if (shift > 48) m[k][w + 1] |= bits >> (64 - shift);
      }
    }
  }

  bool any(size_t k) const {
    for (size_t w = 0; w * 64 < len; ++w)
      if (m[k][w]) return true;
    return false;
  }

  // The first position in [from, to) holding byte k, or npos.
  size_t next(size_t k, size_t from, size_t to) const {
    if (to > len) to = len;
    if (len <= 64) {  // one word: no loop
      if (from >= to) return npos;
      uint64_t bits = m[k][0] & (~uint64_t{0} << from);
      size_t at = bits ? static_cast<size_t>(std::countr_zero(bits)) : npos;
      return at < to ? at : npos;
    }
    for (size_t w = from / 64; from < to; ++w, from = w * 64) {
      uint64_t bits = m[k][w] & (~uint64_t{0} << (from % 64));
      if (bits) {
        size_t at = w * 64 + static_cast<size_t>(std::countr_zero(bits));
        return at < to ? at : npos;
      }
    }
    return npos;
  }

  // The last position in [from, to) holding byte k, or npos.
  size_t prev(size_t k, size_t from, size_t to) const {
    if (to > len) to = len;
    if (len <= 64) {  // one word: no loop
      if (from >= to) return npos;
      uint64_t bits = m[k][0] & (~uint64_t{0} >> (64 - to)) & (~uint64_t{0} << from);
      return bits ? 63 - static_cast<size_t>(std::countl_zero(bits)) : npos;
    }
    while (to > from) {
      size_t w = (to - 1) / 64;
      size_t top = to - w * 64;  // bits [0, top) of word w are below `to`
      uint64_t bits = m[k][w] & (top == 64 ? ~uint64_t{0} : (uint64_t{1} << top) - 1);
      if (bits) {
        size_t at = w * 64 + 63 - static_cast<size_t>(std::countl_zero(bits));
        return at >= from ? at : npos;
      }
      to = w * 64;
    }
    return npos;
  }

  // Positions [from, from + 64) of byte k as the bits of one word, bit 0
  // standing for `from`.
  uint64_t window(size_t k, size_t from) const {
    if (from >= len) return 0;
    size_t w = from / 64, shift = from % 64;
    uint64_t bits = m[k][w] >> shift;
    if (shift && (w + 1) * 64 < len) bits |= m[k][w + 1] << (64 - shift);
    return bits;  // bits at or past `len` are never set
  }

  // Whether byte k occurs at two neighbouring positions.
  bool has_pair(size_t k) const {
    size_t words = (len + 63) / 64;
    for (size_t w = 0; w < words; ++w) {
      uint64_t bits = m[k][w];
      if (bits & (bits >> 1)) return true;
      if (w + 1 < words && (bits >> 63) && (m[k][w + 1] & 1)) return true;
    }
    return false;
  }

  // Whether byte k occurs at two neighbouring positions inside [from, to).
  bool pair_in(size_t k, size_t from, size_t to) const {
    if (to > len) to = len;
    if (from + 2 > to) return false;
    const size_t last = to - 2;  // the last first position of a pair
    for (size_t w = from / 64; w * 64 <= last; ++w) {
      uint64_t bits = m[k][w];
      uint64_t next = (w + 1) * 64 < len ? m[k][w + 1] : 0;
      uint64_t pairs = bits & ((bits >> 1) | (next << 63));
      if (w == from / 64) pairs &= ~uint64_t{0} << (from % 64);
      if (w == last / 64 && last % 64 != 63) pairs &= (uint64_t{2} << (last % 64)) - 1;
      if (pairs) return true;
    }
    return false;
  }
};

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Copies n bytes between non-overlapping ranges with a few register-sized
// moves (no call): the short pieces of a file name are mostly under 32
// bytes.
inline void copy_small(char *dst, const char *src, size_t n) {
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) std::memcpy(dst + i, src + i, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n > 0) {
    dst[0] = src[0];
    dst[n / 2] = src[n / 2];
    dst[n - 1] = src[n - 1];
  }
}

// Which kinds of byte occur in s[0, n): bit 0 when a byte is not one of
// the ASCII letters and digits, `extra1`, `extra2` or a byte from 0x80 up;
// bit 1 when a byte is an ASCII capital. Reads only s[0, n).
[[gnu::always_inline]] inline unsigned letter_digit_classes(const char *s, size_t n, char extra1,
                                                            char extra2) {
  const __m128i e1 = _mm_set1_epi8(extra1), e2 = _mm_set1_epi8(extra2);
  auto in_range = [](__m128i v, char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))),
                         _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
  };
  unsigned classes = 0;
  auto classify = [&](__m128i v, unsigned lanes) {
    __m128i upper = in_range(v, 'A', 'Z');
    __m128i usual = _mm_or_si128(upper, _mm_or_si128(in_range(v, 'a', 'z'), in_range(v, '0', '9')));
    usual = _mm_or_si128(usual, _mm_or_si128(_mm_cmpeq_epi8(v, e1), _mm_cmpeq_epi8(v, e2)));
    usual = _mm_or_si128(usual, _mm_cmplt_epi8(v, _mm_setzero_si128()));  // 0x80 and up
    unsigned usual_bits = static_cast<unsigned>(_mm_movemask_epi8(usual));
    if (~usual_bits & lanes) classes |= 1;
    if (static_cast<unsigned>(_mm_movemask_epi8(upper)) & lanes) classes |= 2;
  };
  auto load8 = [](const char *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); };
  auto load4 = [](const char *p) {
    int32_t word;
    std::memcpy(&word, p, 4);
    return _mm_cvtsi32_si128(word);
  };
  if (n >= 16) {
    for (size_t i = 0; i + 16 < n; i += 16)
      classify(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i)), 0xFFFF);
    classify(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + n - 16)), 0xFFFF);
  } else if (n >= 8) {
    classify(_mm_unpacklo_epi64(load8(s), load8(s + n - 8)), 0xFFFF);
  } else if (n >= 4) {
    classify(_mm_unpacklo_epi32(load4(s), load4(s + n - 4)), 0xFF);
  } else {
    for (size_t i = 0; i < n; ++i) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      bool upper = c >= 'A' && c <= 'Z';
      bool usual = upper || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == static_cast<unsigned char>(extra1) ||
                   c == static_cast<unsigned char>(extra2) || c >= 0x80;
      classes |= (usual ? 0u : 1u) | (upper ? 2u : 0u);
    }
  }
  return classes;
}

// Applies `block` (a function of one 16-byte block) to src[0, n) into
// dst[0, n); src and dst do not overlap. Texts of 16 bytes or more end with
// the block that ends at n, overlapping its neighbour, so nothing outside
// either range is touched; shorter ones go byte by byte through `byte`.
template <typename Block, typename Byte>
inline void copy_transformed(char *dst, const char *src, size_t n, Block block, Byte byte) {
  if (n < 16) {
    for (size_t i = 0; i < n; ++i) dst[i] = byte(src[i]);
    return;
  }
  size_t i = 0;
  for (; i + 16 <= n; i += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i),
                     block(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i))));
  if (i < n)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + n - 16),
                     block(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + n - 16))));
}

// Copies n bytes, writing `to` for every `from`.
inline void copy_replacing(char *dst, const char *src, size_t n, char from, char to) {
  const __m128i f = _mm_set1_epi8(from), t = _mm_set1_epi8(to);
  copy_transformed(
      dst, src, n,
      [&](__m128i v) {
        __m128i hit = _mm_cmpeq_epi8(v, f);
        return _mm_or_si128(_mm_andnot_si128(hit, v), _mm_and_si128(hit, t));
      },
      [&](char c) { return c == from ? to : c; });
}

// Copies n bytes with the ASCII letters 'A'..'Z' lowered.
inline void copy_lowered(char *dst, const char *src, size_t n) {
  const __m128i below_a = _mm_set1_epi8('A' - 1), above_z = _mm_set1_epi8('Z' + 1);
  const __m128i bit = _mm_set1_epi8(0x20);
  copy_transformed(
      dst, src, n,
      [&](__m128i v) {
        // Bytes from 0x80 compare as negative, so only ASCII letters match.
        __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, below_a), _mm_cmplt_epi8(v, above_z));
        return _mm_or_si128(v, _mm_and_si128(upper, bit));
      },
      [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
}

}  // namespace kw::runtime

#endif  // KW_RUNTIME_BYTEMASK_H
