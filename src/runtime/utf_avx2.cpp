// AVX2 block decoder for UTF-8 text of one- to three-byte characters, 32
// bytes a step. Validation works on bit masks of the whole block (which
// bytes are leads of two or three bytes, which are continuations); the
// characters' values are computed in 16-bit lanes for sixteen positions at
// once and packed 8 lanes at a time by the shuffle tables of the SSSE3
// code. Blocks it cannot prove valid are left to the SSSE3 and scalar
// code. Runs only when the processor has AVX2 (checked once).
#include <immintrin.h>

#include <cstdint>

#include "runtime/utf_internal.h"
#include "runtime/utf_simd_tables.h"

namespace kw::runtime {

bool has_avx2() { return simd_level() >= 2; }

namespace {

#define KW_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

// Values of the sixteen positions whose bytes (and the one and two after
// each) are given; lanes that are not character starts hold garbage.
// `bad` collects three-byte forms that are overlong or surrogates.
KW_AVX2_INLINE __m256i decode16(__m128i bytes, __m128i next1, __m128i next2, __m128i lead2,
                                __m128i lead3, __m256i &bad) {
  const __m256i low6 = _mm256_set1_epi16(0x3F);
  __m256i b0 = _mm256_cvtepu8_epi16(bytes);
  __m256i b1 = _mm256_and_si256(_mm256_cvtepu8_epi16(next1), low6);
  __m256i b2 = _mm256_and_si256(_mm256_cvtepu8_epi16(next2), low6);
  __m256i l2 = _mm256_cvtepi8_epi16(lead2);
  __m256i l3 = _mm256_cvtepi8_epi16(lead3);
  __m256i v2 =
      _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, _mm256_set1_epi16(0x1F)), 6), b1);
  __m256i v3 =
      _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(b0, 12), _mm256_slli_epi16(b1, 6)), b2);
  __m256i top = _mm256_and_si256(v3, _mm256_set1_epi16(static_cast<short>(0xF800)));
  bad = _mm256_or_si256(
      bad, _mm256_and_si256(
               l3, _mm256_or_si256(
                       _mm256_cmpeq_epi16(top, _mm256_setzero_si256()),
                       _mm256_cmpeq_epi16(top, _mm256_set1_epi16(static_cast<short>(0xD800))))));
  return _mm256_or_si256(_mm256_andnot_si256(_mm256_or_si256(l2, l3), b0),
                         _mm256_or_si256(_mm256_and_si256(l2, v2), _mm256_and_si256(l3, v3)));
}

// Packs the character-start lanes of sixteen values to `out`; returns the
// units written.
KW_AVX2_INLINE std::size_t pack16(__m256i value, unsigned keep16, char16_t *out) {
  unsigned k0 = keep16 & 0xFF, k1 = keep16 >> 8;
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                   _mm_shuffle_epi8(_mm256_castsi256_si128(value), load_shuffle(kKeepLanes[k0])));
  std::size_t n = kBitCount[k0];
  _mm_storeu_si128(
      reinterpret_cast<__m128i *>(out + n),
      _mm_shuffle_epi8(_mm256_extracti128_si256(value, 1), load_shuffle(kKeepLanes[k1])));
  return n + kBitCount[k1];
}

}  // namespace

__attribute__((target("avx2"))) void utf8_to_utf16_avx2(const unsigned char *&pos,
                                                        const unsigned char *end, char16_t *dst,
                                                        std::size_t &out_pos, std::size_t cap) {
  const unsigned char *p = pos;
  std::size_t o = out_pos;
  std::uint64_t carry = 0;  // continuation bytes at the front that belong to the last block
  char16_t scratch[48];
  const __m256i zero = _mm256_setzero_si256();
  while (end - p >= 34 && cap - o >= 48) {
    char16_t *out = dst ? dst + o : scratch;
    __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    unsigned high = static_cast<unsigned>(_mm256_movemask_epi8(in));
    if (high == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out),
                          _mm256_cvtepu8_epi16(_mm256_castsi256_si128(in)));
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 16),
                          _mm256_cvtepu8_epi16(_mm256_extracti128_si256(in, 1)));
      p += 32;
      o += 32;
      continue;
    }
    // As signed bytes: 80-BF is -128..-65, C2-DF -62..-33, E0-EF -32..-17.
    __m256i cont = _mm256_cmpgt_epi8(_mm256_set1_epi8(-64), in);
    __m256i lead2 = _mm256_and_si256(_mm256_cmpgt_epi8(in, _mm256_set1_epi8(-63)),
                                     _mm256_cmpgt_epi8(_mm256_set1_epi8(-32), in));
    __m256i lead3 = _mm256_and_si256(_mm256_cmpgt_epi8(in, _mm256_set1_epi8(-33)),
                                     _mm256_cmpgt_epi8(_mm256_set1_epi8(-16), in));
    std::uint64_t c = static_cast<std::uint32_t>(_mm256_movemask_epi8(cont));
    std::uint64_t m2 = static_cast<std::uint32_t>(_mm256_movemask_epi8(lead2));
    std::uint64_t m3 = static_cast<std::uint32_t>(_mm256_movemask_epi8(lead3));
    // Every high byte is a lead or a continuation (no four-byte leads, no
    // C0/C1), and continuations stand exactly where leads (or the carry)
    // put them, including the two bytes after the block.
    if ((c | m2 | m3) != high) break;
    if (carry == 0 && (m3 & 0xFFFFFF) == 0x249249 && (c & 0xFFFFFF) == 0xDB6DB6) {
      // Eight three-byte characters (running CJK text): lead and second
      // bytes gathered into 16-bit lanes, the third bytes beside them.
      __m256i pair = _mm256_setr_epi8(1, 0, 4, 3, 7, 6, 10, 9, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                      1, 0, 4, 3, 7, 6, 10, 9, -1, -1, -1, -1, -1, -1, -1, -1);
      __m256i third = _mm256_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                       2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
      __m256i both = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))),
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 12)), 1);
      __m256i ab = _mm256_shuffle_epi8(both, pair);
      __m256i low6 = _mm256_set1_epi16(0x3F);
      __m256i value = _mm256_or_si256(
          _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(ab, _mm256_set1_epi16(0x0F00)), 4),
                          _mm256_slli_epi16(_mm256_and_si256(ab, low6), 6)),
          _mm256_and_si256(_mm256_shuffle_epi8(both, third), low6));
      __m256i top = _mm256_and_si256(value, _mm256_set1_epi16(static_cast<short>(0xF800)));
      __m256i bad3 =
          _mm256_or_si256(_mm256_cmpeq_epi16(top, zero),
                          _mm256_cmpeq_epi16(top, _mm256_set1_epi16(static_cast<short>(0xD800))));
      // Lanes 0-3 of each half are the characters.
      if ((_mm256_movemask_epi8(bad3) & 0x00FF00FF) != 0) break;
      _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(value));
      _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 4), _mm256_extracti128_si256(value, 1));
      p += 24;
      o += 8;
      continue;
    }
    std::uint64_t want = ((m2 | m3) << 1) | (m3 << 2) | ((std::uint64_t{1} << carry) - 1);
    std::uint64_t after = (p[32] & 0xC0) == 0x80 ? 1 : 0;
    after |= (p[33] & 0xC0) == 0x80 ? 2 : 0;
    // Byte 33 matters only when the last character needs it; otherwise it
    // may be part of the next one.
    std::uint64_t checked = 0x1FFFFFFFFull | (want & (std::uint64_t{1} << 33));
    if (((c | after << 32) ^ want) & checked) break;
    __m256i n1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1));
    __m256i n2 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 2));
    __m256i bad = zero;
    __m256i lo =
        decode16(_mm256_castsi256_si128(in), _mm256_castsi256_si128(n1), _mm256_castsi256_si128(n2),
                 _mm256_castsi256_si128(lead2), _mm256_castsi256_si128(lead3), bad);
    __m256i hi = decode16(_mm256_extracti128_si256(in, 1), _mm256_extracti128_si256(n1, 1),
                          _mm256_extracti128_si256(n2, 1), _mm256_extracti128_si256(lead2, 1),
                          _mm256_extracti128_si256(lead3, 1), bad);
    if (!_mm256_testz_si256(bad, bad)) break;
    unsigned keep = ~static_cast<unsigned>(c);
    std::size_t n = pack16(lo, keep & 0xFFFF, out);
    n += pack16(hi, keep >> 16, out + n);
    o += n;
    carry = (want >> 32) & 1 ? ((want >> 33) & 1) + 1 : 0;
    p += 32;
  }
  pos = p + carry;
  out_pos = o;
}

__attribute__((target("avx2"))) void utf16_to_utf8_ascii_avx2(const char16_t *src, std::size_t n,
                                                              std::size_t &in_pos, char *dst,
                                                              std::size_t &out_pos,
                                                              std::size_t cap) {
  std::size_t i = in_pos, o = out_pos;
  const __m256i high = _mm256_set1_epi16(static_cast<short>(0xFF80));
  while (n - i >= 32 && cap - o >= 32) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i + 16));
    if (!_mm256_testz_si256(_mm256_or_si256(a, b), high)) break;
    if (dst) {
      // packus works within 128-bit lanes; put the quarters back in order.
      __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + o), packed);
    }
    i += 32;
    o += 32;
  }
  in_pos = i;
  out_pos = o;
}

}  // namespace kw::runtime
