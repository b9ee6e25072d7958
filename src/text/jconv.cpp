// Japanese encodings (JIS X 0208 and Shift-JIS arithmetic, the EUC process
// code, whole-string EUC and code-page conversions) and the single-character
// conversions of the session encoding.
#include <cstdio>
#include <cstring>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/lang.h"
#include "keelwork/memory.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "runtime/legacy_internal.h"
#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"
#include "text/text_internal.h"

namespace kw::text {
namespace {

inline bool in_gr(unsigned b) { return b >= 0xA1 && b <= 0xFE; }
inline bool is_katakana(unsigned b) { return b >= 0xA1 && b <= 0xDF; }

constexpr int kCodePage932 = 932;

// A JIS X 0208 pair (bytes 0x21-0x7E, or EUC bytes) as Shift-JIS bytes.
inline void jis_to_sjis_bytes(unsigned c1, unsigned c2, unsigned char *out) {
  int a = static_cast<int>(c1 & 0x7F), b = static_cast<int>(c2 & 0x7F);
  jis2sjis(&a, &b);
  out[0] = static_cast<unsigned char>(a);
  out[1] = static_cast<unsigned char>(b);
}

// Shift-JIS bytes to EUC-JP bytes (JIS X 0208 with bit 7 set).
inline void sjis_to_euc_bytes(unsigned char *b) {
  int c1 = b[0], c2 = b[1];
  sjis2jis(&c1, &c2);
  b[0] = static_cast<unsigned char>(c1 | 0x80);
  b[1] = static_cast<unsigned char>(c2 | 0x80);
}

// One EUC-JP character through Shift-JIS and code page 932, as the
// Windows-compatible conversion does; 0 when code page 932 is unavailable.
char16_t decode_euc_char(const kw::runtime::DbcsTable *t, const unsigned char *bytes, int n) {
  if (!t) return 0;
  char32_t cp = 0;
  int k = kw::runtime::dbcs_decode(*t, bytes, bytes + n, &cp);
  if (k < 0 || cp == kw::runtime::kBadChar) return 0xFFFD;
  return static_cast<char16_t>(cp);
}

// EUC-JP as Windows reads it: each JIS X 0208 pair through Shift-JIS and
// code page 932, and each single byte as code page 932 reads it, worked
// out once. 0 marks what code page 932 does not have (all of it when the
// system lacks the code page).
struct EucVia932 {
  char16_t pair[94 * 94];
  char16_t single[256];
};

const EucVia932 &euc_via_932() {
  static const EucVia932 *table = [] {
    auto *e = new EucVia932();
    const kw::runtime::DbcsTable *t = kw::runtime::dbcs_table(kCodePage932);
    if (!t) return e;
    for (int r = 0; r < 94; ++r) {
      for (int c = 0; c < 94; ++c) {
        unsigned char sjis[2];
        jis_to_sjis_bytes(0xA1 + r, 0xA1 + c, sjis);
        e->pair[r * 94 + c] = decode_euc_char(t, sjis, 2);
      }
    }
    for (int b = 0x80; b < 256; ++b) {
      unsigned char one = static_cast<unsigned char>(b);
      e->single[b] = decode_euc_char(t, &one, 1);
    }
    return e;
  }();
  return *table;
}

// Copies a pass-through run that starts at `*p` (the 0x01 byte or unit) up
// to and including its closing 0x02, or to the end.
template <class In, class Out>
void copy_run(const In *&p, Out *&o) {
  *o++ = static_cast<Out>(static_cast<std::make_unsigned_t<In>>(*p++));
  while (*p) {
    auto c = static_cast<std::make_unsigned_t<In>>(*p++);
    *o++ = static_cast<Out>(c);
    if (c == 2) break;
  }
}

// UTF-16 to code-page bytes (EUC-JP bytes when `euc`), with pass-through
// runs; a unit that fails to convert is reported with `where` and becomes
// a blank.
char *unicode_to_bytes(char *dst, const char16_t *src, bool euc, const char *where) {
  int lang = get_language();
  int code_page = lang_get_code_page(lang);
  bool japanese = euc && lang == kJapanese;
  // Table code pages are looked up directly; the process locale per unit.
  const kw::runtime::DbcsTable *table = code_page ? kw::runtime::dbcs_table(code_page) : nullptr;
  char *o = dst;
  for (const char16_t *p = src; *p;) {
    if (*p < 0x80) {
      if (*p == 1) {
        copy_run(p, o);
        continue;
      }
      *o++ = static_cast<char>(*p++);
      continue;
    }
    unsigned char b[4];
    int k;
    if (table)
      k = kw::runtime::is_high_surrogate(*p) || kw::runtime::is_low_surrogate(*p)
              ? 0
              : kw::runtime::dbcs_encode(*table, *p, b);
    else
      k = encode_char(code_page, *p, b);
    if (k == 0) {  // the code page's default character
      b[0] = '?';
      k = 1;
    }
    ++p;
    if (k < 0) {
      vex_printf("%s:Error - %d\n", where, kErrorInvalidParameter);
      *o++ = ' ';
      continue;
    }
    if (japanese && k == 1 && is_katakana(b[0])) {
      *o++ = static_cast<char>(0x8E);
      *o++ = static_cast<char>(b[0]);
    } else {
      if (japanese && k == 2) sjis_to_euc_bytes(b);
      for (int j = 0; j < k; ++j) *o++ = static_cast<char>(b[j]);
    }
  }
  *o = 0;
  return dst;
}

// The process code built from the bytes of one character.
kw_wchar process_code_of(const unsigned char *b, int k) {
  if (k == 1) return b[0];
  if (k == 2) return b[0] == 0x8E ? b[1] : static_cast<kw_wchar>(b[0] << 8 | b[1]);
  return static_cast<kw_wchar>(b[1] << 8 | (b[2] & 0x7F));
}

}  // namespace

std::size_t sjis_to_euc(const char *src, char *dst, std::size_t cap, int *chars, bool *cut) {
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  auto *o = reinterpret_cast<unsigned char *>(dst);
  std::size_t n = 0;
  *chars = 0;
  *cut = false;
  while (*p) {
    if (n + 3 > cap) {  // room for fewer than 2 bytes and the terminator
      *cut = true;
      break;
    }
    unsigned b = *p;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) {
      unsigned t = p[1];
      if (t == 0) {
        o[n++] = static_cast<unsigned char>(b);
        ++*chars;
        break;
      }
      if (t >= 0x40 && t <= 0xFC) {
        unsigned char pair[2] = {static_cast<unsigned char>(b), static_cast<unsigned char>(t)};
        sjis_to_euc_bytes(pair);
        o[n++] = pair[0];
        o[n++] = pair[1];
        p += 2;
      } else {
        o[n++] = static_cast<unsigned char>(*p++);
      }
    } else if (is_katakana(b)) {
      o[n++] = 0x8E;
      o[n++] = static_cast<unsigned char>(*p++);
    } else {
      o[n++] = static_cast<unsigned char>(*p++);
    }
    ++*chars;
  }
  if (cap) o[n] = 0;
  return n;
}

}  // namespace kw::text

using namespace kw::text;

// ---- JIS, Shift-JIS and the process code ------------------------------------------

KW_API void jis2sjis(int *c1, int *c2) {
  if (!c1 || !c2 || *c1 == 0) return;
  int a = *c1, b = *c2;
  if (a & 1)
    b += b < 0x60 ? 31 : 32;
  else
    b += 126;
  *c1 = ((a + 1) >> 1) + (a < 0x5F ? 0x70 : 0xB0);
  *c2 = b;
}

KW_API void sjis2jis(int *c1, int *c2) {
  if (!c1 || !c2 || *c1 == 0) return;
  int a = *c1, b = *c2;
  a = 2 * (a - (a < 0xA0 ? 0x70 : 0xB0));
  if (b < 0x9F) --a;
  if (b < 0x80)
    b -= 31;
  else if (b < 0x9F)
    b -= 32;
  else
    b -= 126;
  *c1 = a;
  *c2 = b;
}

KW_API int wc_jis2euc(int code) { return code < 256 ? code : code | 0x8080; }

KW_API int wc_jis2euc__codeset3(int code) { return code < 256 ? code : code | 0x8000; }

KW_API int wc_euc2jis(int code) { return code < 256 ? code : code & 0x7F7F; }

KW_API int euc_wc2mb(char *dst, int code) {
  if (!dst) return 0;
  return kw::runtime::euc_process_to_bytes(static_cast<std::uint16_t>(code),
                                           reinterpret_cast<unsigned char *>(dst));
}

KW_API int euc_mb2wc(kw_wchar *code, const char *src, int n) {
  if (!code || !src || n == 0) return 0;
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  unsigned b = p[0];
  if (b < 0x80) {
    *code = static_cast<kw_wchar>(b);
    return 1;
  }
  int need = b == 0x8F ? 3 : 2;
  if (n > 0 && need > n) return 0;
  if (p[1] == 0 || (need == 3 && p[2] == 0)) {
    *code = static_cast<kw_wchar>(b);
    return 1;
  }
  if (b == 0x8E) {
    *code = p[1];
    return 2;
  }
  if (b == 0x8F) {
    *code = static_cast<kw_wchar>(p[1] << 8 | (p[2] & 0x7F));
    return 3;
  }
  *code = static_cast<kw_wchar>(b << 8 | p[1]);
  return 2;
}

// ---- whole strings ---------------------------------------------------------------------

KW_API kw_wchar *euc_str_to_unicode_str(kw_wchar *dst, const char *src) {
  if (!dst || !src) return dst;
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  kw_wchar *o = dst;
  int lang = get_language();
  if (lang != kJapanese) {
    int code_page = lang_get_code_page(lang);
    while (*p) {
      int k = char_length(code_page, reinterpret_cast<const char *>(p));
      int error = 0;
      char16_t units[4];
      std::size_t u = mb_to_wide(code_page, reinterpret_cast<const char *>(p),
                                 static_cast<std::size_t>(k), units, 4, &error);
      if (u == 0) {
        vex_printf("euc_str_to_unicode_str:Error - %d\n", error);
        break;
      }
      for (std::size_t j = 0; j < u; ++j) *o++ = units[j];
      p += k;
    }
    *o = 0;
    return dst;
  }
  const EucVia932 &t = euc_via_932();
  while (*p) {
    if (*p < 0x80) {
      if (*p == 1) {
        copy_run(p, o);
        continue;
      }
      *o++ = *p++;
      continue;
    }
    // A character that cannot be converted leaves a zero unit, which ends
    // the text there; the scan goes on regardless.
    if (in_gr(p[0]) && in_gr(p[1])) {
      *o++ = t.pair[(p[0] - 0xA1) * 94 + (p[1] - 0xA1)];
      p += 2;
    } else if (p[0] == 0x8E && is_katakana(p[1])) {
      *o++ = t.single[p[1]];
      p += 2;
    } else {
      *o++ = t.single[*p++];
    }
  }
  *o = 0;
  return dst;
}

KW_API char *unicode_str_to_euc_str(char *dst, const kw_wchar *src) {
  if (!dst || !src) return dst;
  return unicode_to_bytes(dst, src, true, "unicode_str_to_euc_str");
}

KW_API char *unicode_str_to_multibyte_str(char *dst, const kw_wchar *src) {
  if (!dst || !src) return dst;
  return unicode_to_bytes(dst, src, false, "unicode_str_to_multibyte_str");
}

KW_API char *make_sjistoeuc(const char *s) {
  if (!s) return nullptr;
  std::size_t cap = 3 * std::strlen(s) + 1;
  auto *dst = static_cast<char *>(getmem(cap));
  int chars;
  bool cut;
  std::size_t n = sjis_to_euc(s, dst, cap, &chars, &cut);
  return static_cast<char *>(relocmem(dst, n + 1));
}

KW_API int localize_string(const char *s, const char **out, int *chars, int *bytes) {
  static char buffer[520];
  if (!s) s = "";
  if (get_language() != kJapanese) {
    int len = static_cast<int>(std::strlen(s));
    if (out) *out = s;
    if (chars) *chars = len;
    if (bytes) *bytes = len;
    return 0;
  }
  int count = 0;
  bool cut = false;
  std::size_t n = sjis_to_euc(s, buffer, sizeof buffer, &count, &cut);
  if (out) *out = buffer;
  if (chars) *chars = count;
  if (bytes) *bytes = static_cast<int>(n);
  return cut ? 1 : 0;
}

// ---- legacy wide characters --------------------------------------------------------------

KW_API kw_wchar unicode_to_wchar(kw_wchar wc) {
  int lang = get_language();
  if (lang == kJapanese) {
    unsigned char b[4];
    int k = encode_char(kCodePage932, wc, b);
    if (k < 0) {
      vex_printf("unicode_to_wchar:Error - %d\n", kErrorInvalidParameter);
      return 0;
    }
    if (k == 0) return '?';
    if (k == 1) return b[0];
    sjis_to_euc_bytes(b);
    return static_cast<kw_wchar>(b[0] << 8 | b[1]);
  }
  if (lang == kGenericMultibyte || lang == 8 || lang == kChineseTraditional ||
      lang == kChineseSimplified) {
    kw_wchar out = 0;
    if (wc_to_sigma_wc(&out, wc) < 0) {
      vex_printf("unicode_to_wchar:Error - %d\n", kErrorNoUnicodeTranslation);
      return 0;
    }
    return out;
  }
  if (lang == kHebrew) {
    unsigned char b[4];
    int k = encode_char(lang_get_code_page(kHebrew), wc, b);
    if (k < 0) {
      vex_printf("unicode_to_wchar:Error - %d\n", kErrorInvalidParameter);
      return 0;
    }
    return k == 1 ? b[0] : '?';
  }
  return wc;
}

KW_API int wc_to_sigma_wc(kw_wchar *out, kw_wchar wc) {
  static const int cached_language = get_language();
  if (!out) return -1;
  if (!is_multibyte_language(cached_language)) {
    *out = wc;
    return 1;
  }
  unsigned char b[4];
  int k = encode_char(lang_get_code_page(cached_language), wc, b);
  if (k <= 0) return -1;
  *out = process_code_of(b, k);
  return 1;
}

KW_API int wc16towc32(kw_wchar *wc) {
  if (!wc || !is_multibyte_language(get_language())) return 1;
  char bytes[4] = {};
  euc_wc2mb(bytes, *wc);
  kw_wchar units[4] = {};
  strtows_legacy(units, bytes);
  if (units[0] == 0 || units[0] == 0xFFFD || units[1] != 0) {
    dbg_err_syserr("wc16towc32", "invalid mb char!");
    return 1;
  }
  *wc = units[0];
  return 1;
}

KW_API int wc32towc16(kw_wchar *) { return 1; }

KW_API int wctohexjis(char *dst, const kw_wchar *wc) {
  if (!dst || !wc || get_language() != kJapanese) return 0;
  std::strcpy(dst, "0000");
  kw_wchar code = *wc;
  if (btkUnicodeIsEnabled()) {
    kw_wchar out[2];
    if (btkStrUtf16ToWide(wc, 1, out, 2, nullptr) != 1) return 0;
    code = out[0];
  }
  unsigned hi = code >> 8, lo = code & 0xFF;
  if (hi > 128) {
    hi &= 0x7F;
    lo &= 0x7F;
  }
  std::snprintf(dst, 5, "%02x%02x", hi, lo);
  return 1;
}

KW_API int hexjistowc(kw_wchar *wc, const char *text, int chinese) {
  if (!wc) return 0;
  *wc = 0;
  int lang = get_language();
  if (!text || !(lang == kJapanese || (chinese && lang == kChineseSimplified))) return 0;
  unsigned hi = 0, lo = 0;
  if (std::sscanf(text, "%2x%2x", &hi, &lo) != 2) return 0;
  if (hi) {
    hi = (hi + 128) & 0xFF;
    lo = (lo + 128) & 0xFF;
  }
  kw_wchar code = static_cast<kw_wchar>(hi << 8 | lo);
  if (btkUnicodeIsEnabled() && lang == kJapanese) {
    kw_wchar out[2];
    int32_t used = 0;
    if (btkStrWideToUtf16(&code, 1, out, 2, &used) != 1) return 0;
    *wc = out[0];
    return used;
  }
  wc16towc32(&code);
  *wc = code;
  return 1;
}

// ---- single characters of the session encoding ----------------------------------------------

KW_API int vex_wctomb(char *dst, kw_wchar wc) {
  if (!dst) return -1;
  if (btkUnicodeIsEnabled()) {
    int k = btk_u16tou8(&wc, 1, dst);
    return k > 0 ? k : -1;
  }
  if (japanese_wchar_conv()) return euc_wc2mb(dst, wc);
  int error = 0;
  std::size_t k = wide_to_mb(lang_get_code_page(-1), &wc, 1, dst, 4, &error);
  if (k == 0) {
    vex_printf("vex_wctomb:Error - %d\n", error);
    return -1;
  }
  return static_cast<int>(k);
}

KW_API int vex_mbtowc(kw_wchar *wc, const char *src, int n) {
  if (!src) return -1;
  if (btkUnicodeIsEnabled()) {
    if (!wc) return -1;
    kw_wchar units[2];
    int k = btk_u8tou16(src, n, units);
    if (k <= 0 || k == 4) return -1;  // a supplementary character needs two units
    *wc = units[0];
    return k;
  }
  auto b = static_cast<unsigned char>(*src);
  if (!wc) return b < 0x80 ? 1 : b == 0x8F ? 3 : 2;
  if (japanese_wchar_conv()) {
    int k = euc_mb2wc(wc, src, n);
    return k > 0 ? k : -1;
  }
  int code_page = lang_get_code_page(-1);
  int len = char_length(code_page, src);
  if (n != -1 && len > n) {
    dbg_err_syserr("vex_mbtowc",
                   "input spec says convert <=%d bytes; local rule says convert more (%d)", n, len);
    return -1;
  }
  int error = 0;
  kw_wchar units[4];
  std::size_t k = mb_to_wide(code_page, src, static_cast<std::size_t>(len), units, 4, &error);
  if (k == 0) {
    vex_printf("vex_mbtowc:Error - %d\n", error);
    return -1;
  }
  *wc = units[0];
  return len;
}

KW_API int vex_wclen(kw_wchar wc) {
  char buf[4];
  if (btkUnicodeIsEnabled()) {
    int k = btk_u16tou8(&wc, 1, buf);
    return k > 0 ? k : -1;
  }
  return btk_wctomb(buf, wc);
}

KW_API int vex_wclen_legacy(kw_wchar wc) {
  if (btkLangGetCurrent() == BTK_LANG_JAPANESE) {
    static const kw_wchar kVariants[][2] = {
        {0xFF0D, 0x2212}, {0x2015, 0x2014}, {0x2225, 0x2016}, {0xFF5E, 0x301C}, {0xFFE4, 0x00A6}};
    for (const auto &v : kVariants)
      if (wc == v[0]) wc = v[1];
  }
  char buf[8];
  int32_t k = btkStrUtf16ToEuc(&wc, 1, buf, sizeof buf, '?', nullptr);
  return k < 0 ? -1 : k;
}

KW_API int vex_csetlen(int byte) {
  if (!btkUnicodeIsEnabled()) return vex_csetlen_legacy(byte);
  unsigned b = static_cast<unsigned>(byte) & 0xFF;
  if (b < 0x80) return 1;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return (b & 0xE0) == 0xE0 ? 3 : 2;
}

KW_API int vex_csetlen_legacy(int byte) {
  unsigned b = static_cast<unsigned>(byte) & 0xFF;
  if (b < 0x80) return 1;
  return b == 0x8F ? 3 : 2;
}

KW_API int kw_iswctype(int wc, int cls) { return cls == 8 && wc == 0xA1A1; }
