// EUC-JP, the EUC process code and the process locale's native encoding.
//
// EUC-JP goes through tables built once from iconv (see posix/codepage.cpp);
// the process code is the 16-bit legacy wide form of Japanese text: ASCII as
// is, JIS X 0208 as its two EUC bytes, half-width katakana as 0x80|byte and
// JIS X 0212 with bit 15 set and bit 7 clear.
#include <cstring>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "runtime/legacy_internal.h"
#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"

namespace kw::runtime {

namespace {

inline bool in_gr(unsigned b) { return b >= 0xA1 && b <= 0xFE; }

// Output of a conversion: `cap` units before the terminator; a null `dst`
// only counts.
template <class T>
struct Out {
  T *dst;
  std::size_t cap;
  std::size_t n = 0;
  bool room(std::size_t k) const { return !dst || cap - n >= k; }
  void put(const T *s, std::size_t k) {
    if (dst) std::memcpy(dst + n, s, k * sizeof(T));
    n += k;
  }
  void put1(T c) {
    if (dst) dst[n] = c;
    ++n;
  }
  void terminate() {
    if (dst) dst[n] = 0;
  }
};

inline int encode_unit(char32_t cp, char *out) { return utf8_encode(cp, out); }
inline int encode_unit(char32_t cp, char16_t *out) { return utf16_encode(cp, out); }

inline int decode_unit(const char *p, const char *end, char32_t *cp) {
  return utf8_decode(reinterpret_cast<const unsigned char *>(p),
                     reinterpret_cast<const unsigned char *>(end), cp);
}
inline int decode_unit(const char16_t *p, const char16_t *end, char32_t *cp) {
  return utf16_decode(p, end, cp);
}

inline std::size_t extent(const char *s, std::int32_t len) { return u8_extent(s, len); }
inline std::size_t extent(const char16_t *s, std::int32_t len) { return u16_extent(s, len); }

inline bool valid_scalar(std::int32_t c) {
  return c > 0 && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

template <class T>
std::int32_t euc_to_utf(const char *src, std::int32_t src_len, T *dst, std::int32_t dst_cap,
                        std::int32_t subst, std::int32_t *src_used) {
  if (src_used) *src_used = 0;
  if (!src) return BTK_UNI_E_ARG;
  if (dst && dst_cap < 1) return BTK_UNI_E_NO_SPACE;
  const EucTables &t = euc_tables();
  std::size_t n = u8_extent(src, src_len);
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  const unsigned char *end = p + n;
  Out<T> o{dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0};
  int rc = 0;
  while (p < end) {
    if (*p < 0x80) {
      if (!o.room(1)) {
        rc = 1;
        break;
      }
      o.put1(static_cast<T>(*p++));
      continue;
    }
    char32_t cp = 0;
    int k = euc_decode(t, p, end, &cp);
    if (k == kUtfIncomplete) {
      k = static_cast<int>(end - p);
      cp = kBadChar;
    }
    if (cp == kBadChar) {
      if (!subst) {
        rc = kUtfInvalid;
        break;
      }
      cp = valid_scalar(subst) ? static_cast<char32_t>(subst) : 0xFFFD;
    }
    T buf[4];
    int u = encode_unit(cp, buf);
    if (!o.room(static_cast<std::size_t>(u))) {
      rc = 1;
      break;
    }
    o.put(buf, static_cast<std::size_t>(u));
    p += k;
  }
  o.terminate();
  return finish_conversion(
      rc, static_cast<std::size_t>(p - reinterpret_cast<const unsigned char *>(src)), o.n,
      src_used);
}

template <class T>
std::int32_t utf_to_euc(const T *src, std::int32_t src_len, char *dst, std::int32_t dst_cap,
                        std::int32_t subst, std::int32_t *src_used) {
  if (src_used) *src_used = 0;
  if (!src) return BTK_UNI_E_ARG;
  if (dst && dst_cap < 1) return BTK_UNI_E_NO_SPACE;
  const EucTables &t = euc_tables();
  std::size_t n = extent(src, src_len);
  const T *p = src, *end = src + n;
  Out<char> o{dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0};
  int rc = 0;
  while (p < end) {
    if (static_cast<char32_t>(*p) < 0x80) {
      if (!o.room(1)) {
        rc = 1;
        break;
      }
      o.put1(static_cast<char>(*p++));
      continue;
    }
    char32_t cp = 0;
    int k = decode_unit(p, end, &cp);
    if (k < 0) {
      rc = kUtfInvalid;
      break;
    }
    unsigned char buf[4];
    int b = euc_encode(t, cp, buf);
    if (b == 0) {
      if (subst <= 0 || subst >= 0x80) {
        rc = kUtfInvalid;
        break;
      }
      buf[0] = static_cast<unsigned char>(subst);
      b = 1;
    }
    if (!o.room(static_cast<std::size_t>(b))) {
      rc = 1;
      break;
    }
    o.put(reinterpret_cast<const char *>(buf), static_cast<std::size_t>(b));
    p += k;
  }
  o.terminate();
  return finish_conversion(rc, static_cast<std::size_t>(p - src), o.n, src_used);
}

}  // namespace

int euc_decode(const EucTables &t, const unsigned char *p, const unsigned char *end, char32_t *cp) {
  unsigned b = p[0];
  std::ptrdiff_t avail = end - p;
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  if (b == 0x8E) {  // half-width katakana
    if (avail < 2) return kUtfIncomplete;
    unsigned b2 = p[1];
    if (b2 >= 0xA1 && b2 <= 0xDF) {
      *cp = 0xFF61 + (b2 - 0xA1);
      return 2;
    }
    *cp = kBadChar;
    return 1;
  }
  if (b == 0x8F) {  // JIS X 0212
    if (avail < 2) return kUtfIncomplete;
    if (!in_gr(p[1])) {
      *cp = kBadChar;
      return 1;
    }
    if (avail < 3) return kUtfIncomplete;
    if (!in_gr(p[2])) {
      *cp = kBadChar;
      return 1;
    }
    char16_t u = t.jis0212[(p[1] - 0xA1) * 94 + (p[2] - 0xA1)];
    *cp = u ? u : kBadChar;
    return 3;
  }
  if (in_gr(b)) {  // JIS X 0208
    if (avail < 2) return kUtfIncomplete;
    if (!in_gr(p[1])) {
      *cp = kBadChar;
      return 1;
    }
    char16_t u = t.jis0208[(b - 0xA1) * 94 + (p[1] - 0xA1)];
    *cp = u ? u : kBadChar;
    return 2;
  }
  *cp = kBadChar;
  return 1;
}

int euc_process_to_bytes(std::uint16_t code, unsigned char *out) {
  if (code < 0x80) {
    out[0] = static_cast<unsigned char>(code);
    return 1;
  }
  if (code < 0x100) {
    out[0] = 0x8E;
    out[1] = static_cast<unsigned char>(code);
    return 2;
  }
  if (code & 0x80) {
    out[0] = static_cast<unsigned char>(code >> 8);
    out[1] = static_cast<unsigned char>(code);
    return 2;
  }
  out[0] = 0x8F;
  out[1] = static_cast<unsigned char>(code >> 8);
  out[2] = static_cast<unsigned char>(code | 0x80);
  return 3;
}

int euc_encode(const EucTables &t, char32_t cp, unsigned char *out) {
  if (cp < 0x80) {
    out[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp > 0xFFFF) return 0;
  std::uint16_t code = t.from_unicode[cp];
  return code ? euc_process_to_bytes(code, out) : 0;
}

char16_t euc_process_to_unicode(std::uint16_t code) {
  if (code < 0x80) return code;
  if (code < 0x100)
    return code >= 0xA1 && code <= 0xDF ? static_cast<char16_t>(0xFF61 + code - 0xA1) : 0;
  if (!(code & 0x8000)) return 0;
  unsigned hi = code >> 8, lo = code & 0xFF;
  const EucTables &t = euc_tables();
  if (lo & 0x80) return in_gr(hi) && in_gr(lo) ? t.jis0208[(hi - 0xA1) * 94 + (lo - 0xA1)] : 0;
  lo |= 0x80;
  return in_gr(hi) && in_gr(lo) ? t.jis0212[(hi - 0xA1) * 94 + (lo - 0xA1)] : 0;
}

int dbcs_decode(const DbcsTable &t, const unsigned char *p, const unsigned char *end,
                char32_t *cp) {
  unsigned b = p[0];
  if (!t.lead[b]) {
    char16_t u = t.single[b];
    *cp = (u || b == 0) ? u : kBadChar;
    return 1;
  }
  if (end - p < 2) return kUtfIncomplete;
  unsigned trail = p[1];
  char16_t u = t.pair[b << 8 | trail];
  if (u) {
    *cp = u;
    return 2;
  }
  *cp = kBadChar;
  // A trail byte that is plain ASCII starts the next character.
  return trail < 0x40 ? 1 : 2;
}

int dbcs_encode(const DbcsTable &t, char32_t cp, unsigned char *out) {
  if (cp == 0) {
    out[0] = 0;
    return 1;
  }
  if (cp > 0xFFFF) return 0;
  std::uint16_t code = t.from_unicode[cp];
  if (!code) return 0;
  if (code < 0x100) {
    out[0] = static_cast<unsigned char>(code);
    return 1;
  }
  out[0] = static_cast<unsigned char>(code >> 8);
  out[1] = static_cast<unsigned char>(code);
  return 2;
}

int utf8_bad_length(const unsigned char *p, const unsigned char *end) {
  // The longest prefix that a valid sequence could start with: grow it while
  // the decoder still reports it incomplete rather than invalid.
  char32_t cp = 0;
  int len = 1;
  for (int k = 2; k <= 4 && p + k <= end; ++k) {
    if (utf8_decode(p, p + k, &cp) != kUtfIncomplete) break;
    len = k;
  }
  return len;
}

}  // namespace kw::runtime

using namespace kw::runtime;

KW_API int32_t btkStrEucToUtf8(const char *src, int32_t src_len, char *dst, int32_t dst_cap,
                               int32_t subst, int32_t *src_used) {
  return euc_to_utf(src, src_len, dst, dst_cap, subst, src_used);
}

KW_API int32_t btkStrEucToUtf16(const char *src, int32_t src_len, kw_wchar *dst, int32_t dst_cap,
                                int32_t subst, int32_t *src_used) {
  return euc_to_utf(src, src_len, dst, dst_cap, subst, src_used);
}

KW_API int32_t btkStrUtf8ToEuc(const char *src, int32_t src_len, char *dst, int32_t dst_cap,
                               int32_t subst, int32_t *src_used) {
  return utf_to_euc(src, src_len, dst, dst_cap, subst, src_used);
}

KW_API int32_t btkStrUtf16ToEuc(const kw_wchar *src, int32_t src_len, char *dst, int32_t dst_cap,
                                int32_t subst, int32_t *src_used) {
  return utf_to_euc(src, src_len, dst, dst_cap, subst, src_used);
}

KW_API int32_t btkStrWideToUtf16(const kw_wchar *src, int32_t src_len, kw_wchar *dst,
                                 int32_t dst_cap, int32_t *src_used) {
  if (btkLangGetCurrent() != BTK_LANG_JAPANESE) {
    // The wide form is UTF-16 already: validate and copy.
    if (src_used) *src_used = 0;
    if (!src) return BTK_UNI_E_ARG;
    if (dst && dst_cap < 1) return BTK_UNI_E_NO_SPACE;
    std::size_t n = u16_extent(src, src_len), i = 0;
    Out<char16_t> o{dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0};
    int rc = 0;
    while (i < n) {
      char32_t cp = 0;
      int k = utf16_decode(src + i, src + n, &cp);
      if (k < 0) {
        rc = kUtfInvalid;
        break;
      }
      if (!o.room(static_cast<std::size_t>(k))) {
        rc = 1;
        break;
      }
      o.put(src + i, static_cast<std::size_t>(k));
      i += static_cast<std::size_t>(k);
    }
    o.terminate();
    return finish_conversion(rc, i, o.n, src_used);
  }
  if (src_used) *src_used = 0;
  if (!src) return BTK_UNI_E_ARG;
  if (dst && dst_cap < 1) return BTK_UNI_E_NO_SPACE;
  std::size_t n = u16_extent(src, src_len), i = 0;
  Out<char16_t> o{dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0};
  int rc = 0;
  for (; i < n; ++i) {
    char16_t u = src[i] < 0x80 ? src[i] : euc_process_to_unicode(src[i]);
    if (!u) {
      rc = kUtfInvalid;
      break;
    }
    if (!o.room(1)) {
      rc = 1;
      break;
    }
    o.put1(u);
  }
  o.terminate();
  return finish_conversion(rc, i, o.n, src_used);
}

KW_API int32_t btkStrUtf16ToWide(const kw_wchar *src, int32_t src_len, kw_wchar *dst,
                                 int32_t dst_cap, int32_t *src_used) {
  if (btkLangGetCurrent() != BTK_LANG_JAPANESE)
    return btkStrWideToUtf16(src, src_len, dst, dst_cap, src_used);
  if (src_used) *src_used = 0;
  if (!src) return BTK_UNI_E_ARG;
  if (dst && dst_cap < 1) return BTK_UNI_E_NO_SPACE;
  const EucTables &t = euc_tables();
  std::size_t n = u16_extent(src, src_len), i = 0;
  Out<char16_t> o{dst, dst ? static_cast<std::size_t>(dst_cap) - 1 : 0};
  int rc = 0;
  while (i < n) {
    char16_t u = src[i];
    std::uint16_t code =
        u < 0x80 ? u : (is_high_surrogate(u) || is_low_surrogate(u) ? 0 : t.from_unicode[u]);
    if (!code) {
      rc = kUtfInvalid;
      break;
    }
    if (!o.room(1)) {
      rc = 1;
      break;
    }
    o.put1(code);
    ++i;
  }
  o.terminate();
  return finish_conversion(rc, i, o.n, src_used);
}

KW_API int32_t btkStrUtf16ToNative(const kw_wchar *src, int32_t src_len, char *dst, int32_t dst_cap,
                                   int32_t subst, int32_t *src_used) {
  if (native_is_utf8()) return btkStrUtf16ToUtf8(src, src_len, dst, dst_cap, src_used);
  if (src_used) *src_used = 0;
  if (!src) return BTK_UNI_E_ARG;
  if (dst && dst_cap < 1) return BTK_UNI_E_NO_SPACE;
  std::size_t n = u16_extent(src, src_len), used, bytes;
  // Validate first: iconv's own UTF-16 errors would not say where.
  if (utf16_to_utf8(src, n, nullptr, 0, &used, &bytes) != 0) {
    if (dst) dst[0] = 0;
    return finish_conversion(kUtfInvalid, used, 0, src_used);
  }
  std::string out;
  std::size_t bad = 0;
  if (!iconv_whole("UTF-16LE", native_codeset().c_str(), reinterpret_cast<const char *>(src), n * 2,
                   out, subst, &bad)) {
    if (dst) dst[0] = 0;
    return finish_conversion(kUtfInvalid, bad / 2, 0, src_used);
  }
  if (dst) {
    if (out.size() > static_cast<std::size_t>(dst_cap) - 1) {
      dst[0] = 0;
      return finish_conversion(1, 0, 0, src_used);
    }
    std::memcpy(dst, out.data(), out.size());
    dst[out.size()] = 0;
  }
  return finish_conversion(0, n, out.size(), src_used);
}

KW_API char *btkStrNativeToUtf8Alloc(const char *src, int32_t src_len, int32_t *out_len) {
  if (out_len) *out_len = 0;
  if (!src) return nullptr;
  std::size_t n = u8_extent(src, src_len);
  std::string converted;
  const char *text = src;
  std::size_t len = n;
  if (native_is_utf8()) {
    std::size_t used, units;
    if (utf8_to_utf16(src, n, nullptr, 0, &used, &units) != 0) return nullptr;
  } else {
    if (!iconv_whole(native_codeset().c_str(), "UTF-8", src, n, converted, 0, nullptr))
      return nullptr;
    text = converted.data();
    len = converted.size();
  }
  if (len > INT32_MAX) return nullptr;
  auto *dst = static_cast<char *>(getmem(len + 1));
  std::memcpy(dst, text, len);
  dst[len] = 0;
  if (out_len) *out_len = static_cast<int32_t>(len);
  return dst;
}
