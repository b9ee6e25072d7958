// SSSE3 block converters for text that is not plain ASCII: accented
// European text (one- and two-byte UTF-8) and CJK (three-byte UTF-8).
//
// Each step classifies a block of bytes or units at once, validates it
// completely, computes every character's output in parallel lanes and
// packs the lanes with one byte shuffle chosen from a table by the block's
// shape. A block the step cannot prove valid (four-byte sequences,
// surrogates, errors, the end of the input) is left to the scalar code,
// which decides and reports. These functions run only when the processor
// has SSSE3 (checked once at run time).
#include <tmmintrin.h>

#include <cstdlib>

#include <array>
#include <cstdint>

#include "runtime/utf_internal.h"
#include "runtime/utf_simd_tables.h"

namespace kw::runtime {
int simd_level() {
  // KEELWORK_SIMD caps the level (0: SSE2 only, 1: up to SSSE3), so that
  // tests reach every path on any machine.
  static const int level = [] {
    int have = __builtin_cpu_supports("avx2") ? 2 : __builtin_cpu_supports("ssse3") ? 1 : 0;
    const char *cap = std::getenv("KEELWORK_SIMD");
    if (cap && *cap >= '0' && *cap <= '2' && *cap - '0' < have) have = *cap - '0';
    return have;
  }();
  return level;
}

bool has_ssse3() { return simd_level() >= 1; }

// Steps advance by a fixed 8 bytes, so the next load never waits for this
// block's analysis: a character that starts in the last bytes of a block
// is written whole, and its continuation bytes at the front of the next
// block (`carry` of them) are skipped there.
__attribute__((target("ssse3"))) void utf8_to_utf16_ssse3(const unsigned char *&pos,
                                                          const unsigned char *end, char16_t *dst,
                                                          std::size_t &out_pos, std::size_t cap) {
  // Work on locals: the caller's variables would otherwise be reloaded
  // after every store.
  const unsigned char *p = pos;
  std::size_t o = out_pos;
  unsigned carry = 0;
  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  char16_t scratch[16];
  while (end - p >= 16 && cap - o >= 16) {
    char16_t *out = dst ? dst + o : scratch;
    __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if (_mm_movemask_epi8(in) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(in, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(in, zero));
      p += 16;
      o += 16;
      continue;
    }
    // As signed bytes: 80-BF is -128..-65, C2-DF -62..-33, E0-EF -32..-17.
    __m128i cont = _mm_cmpgt_epi8(_mm_set1_epi8(-64), in);
    __m128i lead2 = _mm_and_si128(_mm_cmpgt_epi8(in, _mm_set1_epi8(-63)),
                                  _mm_cmpgt_epi8(_mm_set1_epi8(-32), in));
    __m128i lead3 = _mm_and_si128(_mm_cmpgt_epi8(in, _mm_set1_epi8(-33)),
                                  _mm_cmpgt_epi8(_mm_set1_epi8(-16), in));
    __m128i bad =
        _mm_andnot_si128(_mm_or_si128(cont, _mm_or_si128(lead2, lead3)), _mm_cmpgt_epi8(zero, in));
    // A continuation byte must stand exactly where a lead (or the carry)
    // asks for one.
    __m128i want =
        _mm_or_si128(_mm_slli_si128(_mm_or_si128(lead2, lead3), 1), _mm_slli_si128(lead3, 2));
    unsigned cont_mask = static_cast<unsigned>(_mm_movemask_epi8(cont));
    if (carry == 0 && (cont_mask & 0xFFF) == 0xDB6 &&
        (static_cast<unsigned>(_mm_movemask_epi8(lead3)) & 0xFFF) == 0x249) {
      // Four three-byte characters (running CJK text): gather lead and
      // second bytes into 16-bit lanes, and the third bytes beside them.
      __m128i ab = _mm_shuffle_epi8(
          in, _mm_setr_epi8(1, 0, 4, 3, 7, 6, 10, 9, -1, -1, -1, -1, -1, -1, -1, -1));
      __m128i c = _mm_shuffle_epi8(
          in, _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1));
      __m128i value =
          _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(ab, _mm_set1_epi16(0x0F00)), 4),
                                    _mm_slli_epi16(_mm_and_si128(ab, low6), 6)),
                       _mm_and_si128(c, low6));
      __m128i top = _mm_and_si128(value, _mm_set1_epi16(static_cast<short>(0xF800)));
      __m128i bad3 = _mm_or_si128(_mm_cmpeq_epi16(top, zero),
                                  _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800))));
      if ((_mm_movemask_epi8(bad3) & 0xFF) != 0) break;
      _mm_storel_epi64(reinterpret_cast<__m128i *>(out), value);
      p += 12;
      o += 4;
      continue;
    }
    unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(cont, want)));
    unsigned m3 = static_cast<unsigned>(_mm_movemask_epi8(lead3));
    unsigned m2 = static_cast<unsigned>(_mm_movemask_epi8(lead2));
    if (m3 == 0 && (m2 & 0x8000) == 0 && _mm_movemask_epi8(bad) == 0 &&
        ((same | ((1u << carry) - 1)) & 0xFFFF) == 0xFFFF) {
      // One- and two-byte characters only (accented Latin, Greek, Cyrillic,
      // Hebrew), none cut by the block's end: all sixteen bytes at once.
      __m128i lo5 = _mm_set1_epi16(0x1F);
      __m128i next = _mm_srli_si128(in, 1);
      for (int half = 0; half < 2; ++half) {
        __m128i b0 = half ? _mm_unpackhi_epi8(in, zero) : _mm_unpacklo_epi8(in, zero);
        __m128i b1 = half ? _mm_unpackhi_epi8(next, zero) : _mm_unpacklo_epi8(next, zero);
        __m128i lead = half ? _mm_unpackhi_epi8(lead2, lead2) : _mm_unpacklo_epi8(lead2, lead2);
        __m128i v2 =
            _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, lo5), 6), _mm_and_si128(b1, low6));
        __m128i value = _mm_or_si128(_mm_andnot_si128(lead, b0), _mm_and_si128(lead, v2));
        unsigned keep = ~(cont_mask >> (8 * half)) & 0xFF;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                         _mm_shuffle_epi8(value, load_shuffle(kKeepLanes[keep])));
        out += kBitCount[keep];
        o += kBitCount[keep];
      }
      p += 16;
      carry = 0;
      continue;
    }
    unsigned carry_mask = (1u << carry) - 1;
    same |= carry_mask & cont_mask;
    if (end - p >= 32 && (same & 0xFFFF) == 0xFFFF && _mm_movemask_epi8(bad) == 0) {
      // Any mix of one- to three-byte characters: all sixteen positions,
      // the last characters completed from the next block's first bytes.
      __m128i in2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
      unsigned cont2 =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(_mm_set1_epi8(-64), in2))) & 3;
      unsigned want16 = ((m2 >> 15) & 1) | ((m3 >> 15) & 1) | ((m3 >> 14) & 1);
      unsigned want17 = (m3 >> 15) & 1;
      // Byte 17 matters only when the last character needs it; otherwise
      // it may begin the next one's tail.
      if ((cont2 & (want17 ? 3u : 1u)) == (want16 | want17 << 1)) {
        __m128i n1 = _mm_alignr_epi8(in2, in, 1);
        __m128i n2 = _mm_alignr_epi8(in2, in, 2);
        __m128i value[2];
        __m128i bad3 = zero;
        for (int half = 0; half < 2; ++half) {
          __m128i b0 = half ? _mm_unpackhi_epi8(in, zero) : _mm_unpacklo_epi8(in, zero);
          __m128i b1 = half ? _mm_unpackhi_epi8(n1, zero) : _mm_unpacklo_epi8(n1, zero);
          __m128i b2 = half ? _mm_unpackhi_epi8(n2, zero) : _mm_unpacklo_epi8(n2, zero);
          __m128i l2 = half ? _mm_unpackhi_epi8(lead2, lead2) : _mm_unpacklo_epi8(lead2, lead2);
          __m128i l3 = half ? _mm_unpackhi_epi8(lead3, lead3) : _mm_unpacklo_epi8(lead3, lead3);
          __m128i v2 = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(0x1F)), 6),
                                    _mm_and_si128(b1, low6));
          __m128i v3 = _mm_or_si128(
              _mm_or_si128(_mm_slli_epi16(b0, 12), _mm_slli_epi16(_mm_and_si128(b1, low6), 6)),
              _mm_and_si128(b2, low6));
          __m128i top = _mm_and_si128(v3, _mm_set1_epi16(static_cast<short>(0xF800)));
          bad3 = _mm_or_si128(
              bad3, _mm_and_si128(
                        l3, _mm_or_si128(
                                _mm_cmpeq_epi16(top, zero),
                                _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800))))));
          value[half] = _mm_or_si128(_mm_andnot_si128(_mm_or_si128(l2, l3), b0),
                                     _mm_or_si128(_mm_and_si128(l2, v2), _mm_and_si128(l3, v3)));
        }
        if (_mm_movemask_epi8(bad3) != 0) break;
        for (int half = 0; half < 2; ++half) {
          unsigned keep = ~(cont_mask >> (8 * half)) & 0xFF;
          _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                           _mm_shuffle_epi8(value[half], load_shuffle(kKeepLanes[keep])));
          out += kBitCount[keep];
          o += kBitCount[keep];
        }
        carry = want16 + want17;
        p += 16;
        continue;
      }
    }
    if ((same & 0x3FF) != 0x3FF || (_mm_movemask_epi8(bad) & 0xFF) != 0) break;
    // Lanes 0-7: the byte, and the one and two after it.
    __m128i b0 = _mm_unpacklo_epi8(in, zero);
    __m128i b1 = _mm_unpacklo_epi8(_mm_srli_si128(in, 1), zero);
    __m128i b2 = _mm_unpacklo_epi8(_mm_srli_si128(in, 2), zero);
    __m128i v2 = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(0x1F)), 6),
                              _mm_and_si128(b1, low6));
    __m128i v3 = _mm_or_si128(
        _mm_or_si128(_mm_slli_epi16(b0, 12), _mm_slli_epi16(_mm_and_si128(b1, low6), 6)),
        _mm_and_si128(b2, low6));
    __m128i l2 = _mm_unpacklo_epi8(lead2, lead2);
    __m128i l3 = _mm_unpacklo_epi8(lead3, lead3);
    // Three-byte forms must not be overlong or encode a surrogate.
    __m128i top = _mm_and_si128(v3, _mm_set1_epi16(static_cast<short>(0xF800)));
    __m128i bad3 = _mm_and_si128(
        l3, _mm_or_si128(_mm_cmpeq_epi16(top, zero),
                         _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800)))));
    if (_mm_movemask_epi8(bad3) != 0) break;
    __m128i other = _mm_andnot_si128(_mm_or_si128(l2, l3), b0);
    __m128i value = _mm_or_si128(other, _mm_or_si128(_mm_and_si128(l2, v2), _mm_and_si128(l3, v3)));
    unsigned keep = ~cont_mask & 0xFF;
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                     _mm_shuffle_epi8(value, load_shuffle(kKeepLanes[keep])));
    // Bytes of the last character beyond byte 7 (the cases exclude each
    // other).
    carry = ((m3 >> 6) & 2) + ((m2 >> 7) & 1) + ((m3 >> 6) & 1);
    p += 8;
    o += kBitCount[keep];
  }
  pos = p + carry;
  out_pos = o;
}

namespace {

#define KW_SSSE3_INLINE __attribute__((target("ssse3"), always_inline)) inline

// Eight units below U+0800 into `out` (16 bytes of room); the bytes written.
KW_SSSE3_INLINE std::size_t two_byte_block(__m128i a, char *out) {
  const __m128i zero = _mm_setzero_si128();
  __m128i one = _mm_cmpeq_epi16(_mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
  __m128i lead = _mm_or_si128(_mm_srli_epi16(a, 6), _mm_set1_epi16(0xC0));
  __m128i trail = _mm_or_si128(_mm_and_si128(a, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
  __m128i two = _mm_or_si128(lead, _mm_slli_epi16(trail, 8));
  __m128i lanes = _mm_or_si128(_mm_and_si128(one, a), _mm_andnot_si128(one, two));
  unsigned twos = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(one, zero))) & 0xFF;
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                   _mm_shuffle_epi8(lanes, load_shuffle(kTwoByteLanes[twos])));
  return 8 + kBitCount[twos];
}

// Eight units from U+0800 up (no surrogates) into `out` (32 bytes of room):
// 24 bytes, interleaved from the lead/second and the third bytes.
KW_SSSE3_INLINE std::size_t three_byte_block(__m128i a, char *out) {
  __m128i low6 = _mm_set1_epi16(0x3F);
  __m128i b0 = _mm_or_si128(_mm_srli_epi16(a, 12), _mm_set1_epi16(0xE0));
  __m128i b1 = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(a, 6), low6), _mm_set1_epi16(0x80));
  __m128i b2 = _mm_or_si128(_mm_and_si128(a, low6), _mm_set1_epi16(0x80));
  __m128i v01 = _mm_or_si128(b0, _mm_slli_epi16(b1, 8));
  __m128i first = _mm_or_si128(
      _mm_shuffle_epi8(v01, _mm_setr_epi8(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10)),
      _mm_shuffle_epi8(b2,
                       _mm_setr_epi8(-1, -1, 0, -1, -1, 2, -1, -1, 4, -1, -1, 6, -1, -1, 8, -1)));
  __m128i second = _mm_or_si128(
      _mm_shuffle_epi8(
          v01, _mm_setr_epi8(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
      _mm_shuffle_epi8(
          b2, _mm_setr_epi8(-1, 10, -1, -1, 12, -1, -1, 14, -1, -1, -1, -1, -1, -1, -1, -1)));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), first);
  _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 16), second);
  return 24;
}

// Eight BMP units of any length but no surrogates; the bytes written (room
// for 32). The up to three bytes of every unit are computed in 16-bit lanes
// for all eight at once, then spread to 32-bit lanes and packed four units
// at a time.
KW_SSSE3_INLINE std::size_t mixed_block(__m128i u, char *out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i mark = _mm_set1_epi16(0x80);
  __m128i is1 = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
  __m128i lt800 =
      _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xF800))), zero);
  __m128i is2 = _mm_andnot_si128(is1, lt800);
  __m128i lead2 = _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0));
  __m128i lead3 = _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0));
  __m128i b0 = _mm_or_si128(_mm_and_si128(is1, u), _mm_or_si128(_mm_and_si128(is2, lead2),
                                                                _mm_andnot_si128(lt800, lead3)));
  __m128i last = _mm_or_si128(_mm_and_si128(u, low6), mark);
  __m128i mid = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(u, 6), low6), mark);
  __m128i b1 = _mm_or_si128(_mm_and_si128(lt800, last), _mm_andnot_si128(lt800, mid));
  __m128i v01 = _mm_or_si128(_mm_and_si128(b0, _mm_set1_epi16(0xFF)), _mm_slli_epi16(b1, 8));
  unsigned m2 = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(is2, zero))) & 0xFF;
  unsigned m3 = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(lt800, zero))) & 0xFF;
  unsigned idx_lo = kSpread[m2 & 15] | static_cast<unsigned>(kSpread[m3 & 15] << 1);
  unsigned idx_hi = kSpread[m2 >> 4] | static_cast<unsigned>(kSpread[m3 >> 4] << 1);
  __m128i lo = _mm_unpacklo_epi16(v01, last);
  __m128i hi = _mm_unpackhi_epi16(v01, last);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                   _mm_shuffle_epi8(lo, load_shuffle(kThreeByteLanes.shuffle[idx_lo])));
  std::size_t n = kThreeByteLanes.length[idx_lo];
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + n),
                   _mm_shuffle_epi8(hi, load_shuffle(kThreeByteLanes.shuffle[idx_hi])));
  return n + kThreeByteLanes.length[idx_hi];
}

}  // namespace

__attribute__((target("ssse3"))) void utf16_to_utf8_ssse3(const char16_t *src, std::size_t n,
                                                          std::size_t &in_pos, char *dst,
                                                          std::size_t &out_pos, std::size_t cap) {
  std::size_t i = in_pos, o = out_pos;
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i above7ff = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
  char scratch[64];
  while (n - i >= 16 && cap - o >= 64) {
    char *out = dst ? dst + o : scratch;
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 8));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(_mm_or_si128(a, b), high), zero)) ==
        0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(a, b));
      i += 16;
      o += 16;
      continue;
    }
    // Each half of sixteen units by its shape: all below U+0800, all from
    // U+0800 up, or mixed; a surrogate ends the block work.
    std::size_t done = 0;
    bool stop = false;
    for (int half = 0; half < 2 && !stop; ++half) {
      __m128i v = half == 0 ? a : b;
      __m128i top = _mm_and_si128(v, above7ff);
      unsigned small = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(top, zero)));
      if (small == 0xFFFF) {
        done += two_byte_block(v, out + done);
      } else if (_mm_movemask_epi8(_mm_cmpeq_epi16(top, surrogate)) != 0) {
        stop = true;
        continue;
      } else if (small == 0) {
        done += three_byte_block(v, out + done);
      } else {
        done += mixed_block(v, out + done);
      }
      i += 8;
    }
    o += done;
    if (stop) break;
  }
  in_pos = i;
  out_pos = o;
}

}  // namespace kw::runtime
