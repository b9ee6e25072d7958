// Validating UTF-8 <-> UTF-16 conversions and byte-order marks.
//
// Every text function of the library converts through here, so both
// directions run ASCII stretches 16 bytes at a time with SSE2 (the x86-64
// baseline) and decode everything else with a branch-light scalar loop that
// rejects overlongs, encoded surrogates, values above U+10FFFF, truncated
// sequences and unpaired surrogates.
#include <emmintrin.h>

#include <climits>
#include <cstring>

#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"

namespace kw::runtime {

// Aligned 16-byte loads never cross into an unmapped page, so the scan may
// look at units before `s` and past the terminator within the same block;
// AddressSanitizer cannot know that and is told to leave this function be.
__attribute__((no_sanitize_address)) std::size_t u16_strnlen(const char16_t *s, std::size_t limit) {
  std::size_t i = 0;
  auto addr = reinterpret_cast<std::uintptr_t>(s);
  if ((addr & 1) == 0) {
    const __m128i zero = _mm_setzero_si128();
    const auto *block = reinterpret_cast<const __m128i *>(addr & ~std::uintptr_t{15});
    unsigned skip = static_cast<unsigned>(addr & 15);
    unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
    mask = (mask >> skip) << skip;
    std::size_t base_units = 0;  // units of `s` before the current block's end
    for (;;) {
      if (mask) {
        std::size_t pos =
            (static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(block) - addr) +
             static_cast<unsigned>(__builtin_ctz(mask))) /
            2;
        return pos < limit ? pos : limit;
      }
      ++block;
      base_units = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(block) - addr) / 2;
      if (base_units >= limit) return limit;
      mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero)));
    }
  }
  while (i < limit && s[i]) ++i;
  return i;
}

int utf8_to_utf16(const char *src, std::size_t n, char16_t *dst, std::size_t cap,
                  std::size_t *src_used, std::size_t *dst_used) {
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  const unsigned char *end = p + n;
  const bool measure = dst == nullptr;
  if (measure) cap = SIZE_MAX;
  std::size_t o = 0;
  int rc = 0;
  const __m128i zero = _mm_setzero_si128();
  const bool ssse3 = has_ssse3();
  const bool avx2 = has_avx2();
  while (p < end) {
    if (avx2 && end - p >= 34 && cap - o >= 48) {
      utf8_to_utf16_avx2(p, end, dst, o, cap);
      if (p == end) break;
    }
    if (ssse3 && end - p >= 16 && cap - o >= 16) {
      utf8_to_utf16_ssse3(p, end, dst, o, cap);
      if (p == end) break;
    }
    unsigned c = *p;
    if (c < 0x80) {
      // ASCII: whole blocks while both sides have room for 16.
      while (end - p >= 16 && cap - o >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (!measure) {
          _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + o), _mm_unpacklo_epi8(v, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + o + 8), _mm_unpackhi_epi8(v, zero));
        }
        if (mask) {
          unsigned k = static_cast<unsigned>(__builtin_ctz(mask));
          p += k;
          o += k;
          goto multibyte;
        }
        p += 16;
        o += 16;
      }
      if (p == end) break;
      if (*p >= 0x80) continue;
      if (o >= cap) {
        rc = 1;
        break;
      }
      if (!measure) dst[o] = static_cast<char16_t>(*p);
      ++o;
      ++p;
      continue;
    }
  multibyte:
    c = *p;
    if ((c & 0xF0) == 0xE0 && end - p >= 3) {
      // Three bytes: the bulk of CJK text.
      unsigned b1 = p[1], b2 = p[2];
      char32_t cp = ((c & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
      if (((b1 & 0xC0) | ((b2 & 0xC0) << 8)) == 0x8080 && cp >= 0x800 &&
          (cp < 0xD800 || cp > 0xDFFF)) {
        if (o >= cap) {
          rc = 1;
          break;
        }
        if (!measure) dst[o] = static_cast<char16_t>(cp);
        ++o;
        p += 3;
        continue;
      }
      rc = kUtfInvalid;
      break;
    }
    if ((c & 0xE0) == 0xC0 && end - p >= 2) {
      unsigned b1 = p[1];
      if (c >= 0xC2 && (b1 & 0xC0) == 0x80) {
        if (o >= cap) {
          rc = 1;
          break;
        }
        if (!measure) dst[o] = static_cast<char16_t>(((c & 0x1F) << 6) | (b1 & 0x3F));
        ++o;
        p += 2;
        continue;
      }
      rc = kUtfInvalid;
      break;
    }
    char32_t cp = 0;
    int k = utf8_decode(p, end, &cp);
    if (k < 0) {
      rc = kUtfInvalid;
      break;
    }
    std::size_t nu = cp >= 0x10000 ? 2 : 1;
    if (cap - o < nu) {
      rc = 1;
      break;
    }
    if (!measure) utf16_encode(cp, dst + o);
    o += nu;
    p += k;
  }
  *src_used = static_cast<std::size_t>(p - reinterpret_cast<const unsigned char *>(src));
  *dst_used = o;
  return rc;
}

int utf16_to_utf8(const char16_t *src, std::size_t n, char *dst, std::size_t cap,
                  std::size_t *src_used, std::size_t *dst_used) {
  const bool measure = dst == nullptr;
  if (measure) cap = SIZE_MAX;
  std::size_t i = 0, o = 0;
  int rc = 0;
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  const bool avx2 = has_avx2();
  const bool ssse3 = has_ssse3();
  while (i < n) {
    if (avx2 && n - i >= 32 && cap - o >= 32 && src[i] < 0x80) {
      utf16_to_utf8_ascii_avx2(src, n, i, dst, o, cap);
      if (i == n) break;
    }
    if (ssse3 && n - i >= 16 && cap - o >= 64) {
      utf16_to_utf8_ssse3(src, n, i, dst, o, cap);
      if (i == n) break;
    }
    char32_t u = src[i];
    if (u < 0x80) {
      while (n - i >= 16 && cap - o >= 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 8));
        __m128i t = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(t, zero)) != 0xFFFF) break;
        if (!measure)
          _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + o), _mm_packus_epi16(a, b));
        i += 16;
        o += 16;
      }
      while (i < n && src[i] < 0x80) {
        if (o >= cap) {
          rc = 1;
          goto done;
        }
        if (!measure) dst[o] = static_cast<char>(src[i]);
        ++o;
        ++i;
      }
      continue;
    }
    if (u < 0x800) {
      if (cap - o < 2) {
        rc = 1;
        break;
      }
      if (!measure) {
        dst[o] = static_cast<char>(0xC0 | (u >> 6));
        dst[o + 1] = static_cast<char>(0x80 | (u & 0x3F));
      }
      o += 2;
      ++i;
      continue;
    }
    if (u < 0xD800 || u > 0xDFFF) {
      if (cap - o < 3) {
        rc = 1;
        break;
      }
      if (!measure) {
        dst[o] = static_cast<char>(0xE0 | (u >> 12));
        dst[o + 1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        dst[o + 2] = static_cast<char>(0x80 | (u & 0x3F));
      }
      o += 3;
      ++i;
      continue;
    }
    char32_t cp = 0;
    int k = utf16_decode(src + i, src + n, &cp);
    if (k < 0) {
      rc = kUtfInvalid;
      break;
    }
    if (cap - o < 4) {
      rc = 1;
      break;
    }
    if (!measure) utf8_encode(cp, dst + o);
    o += 4;
    i += 2;
  }
done:
  *src_used = i;
  *dst_used = o;
  return rc;
}

std::size_t u8_extent(const char *src, std::int32_t len) {
  if (len < 0 || len == BTK_UNI_UNBOUNDED) return std::strlen(src);
  return strnlen(src, static_cast<std::size_t>(len));
}

std::size_t u16_extent(const char16_t *src, std::int32_t len) {
  if (len < 0 || len == BTK_UNI_UNBOUNDED) return u16_strnlen(src, SIZE_MAX);
  return u16_strnlen(src, static_cast<std::size_t>(len));
}

std::int32_t finish_conversion(int rc, std::size_t used, std::size_t written,
                               std::int32_t *src_used) {
  if (src_used) *src_used = used > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(used);
  if (rc == kUtfInvalid) return BTK_UNI_E_INVALID;
  if (rc == 1) return BTK_UNI_E_NO_SPACE;
  if (written > INT32_MAX) return BTK_UNI_E_NO_SPACE;
  return static_cast<std::int32_t>(written);
}

}  // namespace kw::runtime

using namespace kw::runtime;

KW_API int32_t btkStrUtf8ToUtf16(const char *src, int32_t src_len, kw_wchar *dst, int32_t dst_cap,
                                 int32_t *src_used) {
  if (src_used) *src_used = 0;
  if (!src || (dst && dst_cap < 1)) return dst && dst_cap == 0 ? BTK_UNI_E_NO_SPACE : BTK_UNI_E_ARG;
  std::size_t n = u8_extent(src, src_len), used, written;
  int rc =
      utf8_to_utf16(src, n, dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0, &used, &written);
  if (dst) dst[written] = 0;
  return finish_conversion(rc, used, written, src_used);
}

KW_API int32_t btkStrUtf16ToUtf8(const kw_wchar *src, int32_t src_len, char *dst, int32_t dst_cap,
                                 int32_t *src_used) {
  if (src_used) *src_used = 0;
  if (!src || (dst && dst_cap < 1)) return dst && dst_cap == 0 ? BTK_UNI_E_NO_SPACE : BTK_UNI_E_ARG;
  std::size_t n = u16_extent(src, src_len), used, written;
  int rc =
      utf16_to_utf8(src, n, dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0, &used, &written);
  if (dst) dst[written] = 0;
  return finish_conversion(rc, used, written, src_used);
}

KW_API kw_wchar *btkStrUtf8ToUtf16Alloc(const char *src, int32_t src_len, int32_t *out_len) {
  if (out_len) *out_len = 0;
  if (!src) return nullptr;
  std::size_t n = u8_extent(src, src_len), used, written;
  // One unit per byte always suffices; only measure for long inputs.
  std::size_t units = n;
  if (n > 4096) {
    if (utf8_to_utf16(src, n, nullptr, 0, &used, &units) != 0) return nullptr;
  }
  auto *dst = static_cast<kw_wchar *>(getmem((units + 1) * sizeof(kw_wchar)));
  if (utf8_to_utf16(src, n, dst, units, &used, &written) != 0 || written > INT32_MAX) {
    rlsmem(dst);
    return nullptr;
  }
  dst[written] = 0;
  if (out_len) *out_len = static_cast<int32_t>(written);
  return dst;
}

KW_API char *btkStrUtf16ToUtf8Alloc(const kw_wchar *src, int32_t src_len, int32_t *out_len) {
  if (out_len) *out_len = 0;
  if (!src) return nullptr;
  std::size_t n = u16_extent(src, src_len), used, bytes, written;
  if (utf16_to_utf8(src, n, nullptr, 0, &used, &bytes) != 0 || bytes > INT32_MAX) return nullptr;
  auto *dst = static_cast<char *>(getmem(bytes + 1));
  utf16_to_utf8(src, n, dst, bytes, &used, &written);
  dst[written] = 0;
  if (out_len) *out_len = static_cast<int32_t>(written);
  return dst;
}

KW_API int btk_u8tou16(const char *src, int32_t n, kw_wchar *dst) {
  if (!src || !dst || n == 0) return BTK_UNI_E_ARG;
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  // A bounded view: at most 4 bytes are ever needed, and a NUL ends the
  // sequence as an invalid continuation before any byte after it is read.
  std::size_t avail = n < 0 ? 4 : (n < 4 ? static_cast<std::size_t>(n) : 4);
  char32_t cp = 0;
  int k = utf8_decode(p, p + avail, &cp);
  if (k == kUtfIncomplete) return BTK_UNI_E_INCOMPLETE;
  if (k < 0) return BTK_UNI_E_INVALID;
  utf16_encode(cp, dst);
  return k;
}

KW_API int btk_u16tou8(const kw_wchar *src, int32_t n, char *dst) {
  if (!src || !dst || n == 0) return BTK_UNI_E_ARG;
  char32_t cp = 0;
  int k = utf16_decode(src, src + (n < 0 || n > 1 ? 2 : 1), &cp);
  if (k == kUtfIncomplete) return BTK_UNI_E_INCOMPLETE;
  if (k < 0) return BTK_UNI_E_INVALID;
  return utf8_encode(cp, dst);
}

KW_API btk_utf_type btkUtfTypeFromBOM(const void *bytes, size_t n, int *bom_len) {
  const auto *b = static_cast<const unsigned char *>(bytes);
  btk_utf_type t = BTK_UTF_NONE;
  int len = 0;
  if (b) {
    if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
      t = BTK_UTF_32LE;
      len = 4;
    } else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
      t = BTK_UTF_32BE;
      len = 4;
    } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
      t = BTK_UTF_8;
      len = 3;
    } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
      t = BTK_UTF_16LE;
      len = 2;
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
      t = BTK_UTF_16BE;
      len = 2;
    }
  }
  if (bom_len) *bom_len = len;
  return t;
}

KW_API int btkUtfTypeToBOM(btk_utf_type type, unsigned char *bom) {
  static const unsigned char kBoms[][4] = {{0, 0, 0, 0},       {0xEF, 0xBB, 0xBF, 0},
                                           {0xFF, 0xFE, 0, 0}, {0xFE, 0xFF, 0, 0},
                                           {0xFF, 0xFE, 0, 0}, {0, 0, 0xFE, 0xFF}};
  static const int kLens[] = {0, 3, 2, 2, 4, 4};
  int t = static_cast<int>(type);
  if (!bom || t < 0 || t > 5) return 0;
  std::memcpy(bom, kBoms[t], 4);
  return kLens[t];
}
