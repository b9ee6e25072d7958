// Character classes, one character in the session byte encoding, and ASCII
// case-insensitive comparison. None of this depends on the process locale.
#include <algorithm>
#include <cstdint>

#include "keelwork/btk_unicode.h"
#include "runtime/legacy_internal.h"
#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"

namespace {

struct Range {
  std::uint16_t first, last;
};

constexpr Range kAlpha[] = {
#include "runtime/alpha_ranges.inc"
};

bool in_ranges(unsigned c) {
  const Range *r = std::upper_bound(std::begin(kAlpha), std::end(kAlpha), c,
                                    [](unsigned v, const Range &x) { return v < x.first; });
  return r != std::begin(kAlpha) && c <= (r - 1)->last;
}

inline unsigned char fold(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

}  // namespace

KW_API int btk_iswspace(int c) {
  switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return 1;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

KW_API int btk_iswdigit(int c) { return c >= '0' && c <= '9'; }

KW_API int btk_iswalpha(int c) {
  if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
  if (c > 0xFFFF) return 0;
  return in_ranges(static_cast<unsigned>(c));
}

KW_API int btk_iswalnum(int c) { return btk_iswdigit(c) || btk_iswalpha(c); }

KW_API int btk_iswascii(int c) { return c >= 0 && c < 0x80; }

KW_API int btk_iswrtol(int c) { return c >= 0x05D0 && c <= 0x05EA; }

KW_API int btk_wctomb(char *dst, int wc) {
  using namespace kw::runtime;
  if (!dst || wc < 0 || wc > 0xFFFF || is_high_surrogate(static_cast<char32_t>(wc)) ||
      is_low_surrogate(static_cast<char32_t>(wc)))
    return -1;
  if (wc < 0x80) {
    dst[0] = static_cast<char>(wc);
    return 1;
  }
  if (btkUnicodeIsEnabled()) return utf8_encode(static_cast<char32_t>(wc), dst);
  unsigned char buf[4];
  int n = 0;
  int32_t lang = btkLangGetCurrent();
  if (lang == BTK_LANG_JAPANESE) {
    n = euc_encode(euc_tables(), static_cast<char32_t>(wc), buf);
  } else if (const DbcsTable *t = dbcs_table(btkLangNativeEncoding(lang))) {
    n = dbcs_encode(*t, static_cast<char32_t>(wc), buf);
  }
  if (n <= 0) return -1;
  std::copy(buf, buf + n, reinterpret_cast<unsigned char *>(dst));
  return n;
}

KW_API int btk_mbtowc(kw_wchar *wc, const char *src, int32_t n) {
  using namespace kw::runtime;
  if (!wc || !src || n == 0) return -1;
  if (btkUnicodeIsEnabled()) {
    int k = btk_u8tou16(src, n, wc);
    return k > 0 ? k : -1;
  }
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  // At most 3 bytes are needed; a NUL stops a sequence before anything past
  // it is looked at, because no legacy trail byte is 0.
  std::size_t avail = n < 0 ? 3 : std::min<std::size_t>(static_cast<std::size_t>(n), 3);
  if (avail > 1 && p[1] == 0) avail = 1;
  if (avail > 2 && p[2] == 0) avail = 2;
  char32_t cp = 0;
  int k;
  int32_t lang = btkLangGetCurrent();
  if (lang == BTK_LANG_JAPANESE) {
    k = euc_decode(euc_tables(), p, p + avail, &cp);
  } else if (const DbcsTable *t = dbcs_table(btkLangNativeEncoding(lang))) {
    k = dbcs_decode(*t, p, p + avail, &cp);
  } else {
    cp = p[0] < 0x80 ? p[0] : kBadChar;
    k = 1;
  }
  if (k < 0 || cp == kBadChar || cp > 0xFFFF) return -1;
  wc[0] = static_cast<kw_wchar>(cp);
  return k;
}

KW_API int btk_strcasecmp(const char *a, const char *b) {
  const auto *x = reinterpret_cast<const unsigned char *>(a);
  const auto *y = reinterpret_cast<const unsigned char *>(b);
  for (;; ++x, ++y) {
    unsigned char c = fold(*x), d = fold(*y);
    if (c != d || c == 0) return c - d;
  }
}

KW_API int btk_strncasecmp(const char *a, const char *b, size_t n) {
  const auto *x = reinterpret_cast<const unsigned char *>(a);
  const auto *y = reinterpret_cast<const unsigned char *>(b);
  for (; n; --n, ++x, ++y) {
    unsigned char c = fold(*x), d = fold(*y);
    if (c != d || c == 0) return c - d;
  }
  return 0;
}
