// Case conversion with the accented letters of the Western languages.
#include <cstdint>
#include <cstring>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/lang.h"
#include "keelwork/strutil.h"
#include "keelwork/wstring.h"
#include "text/wstring_internal.h"

namespace {

// True when the session language maps the Latin-1 letters (read once).
bool western_language() {
  static const bool western = [] {
    int lang = get_language();
    return lang == LANG_FRENCH || lang == LANG_GERMAN || lang == LANG_ITALIAN ||
           lang == LANG_SPANISH || lang == LANG_PORTUGUESE;
  }();
  return western;
}

// Byte strings: the accents take part only in a legacy Western session.
bool accented_bytes() { return !btkUnicodeIsEnabled() && western_language(); }

// Wide text: in Unicode mode always, in legacy mode in a Western session
// (whose code page maps those bytes to the same code points).
bool accented_wide() { return btkUnicodeIsEnabled() || western_language(); }

inline int to_upper(int c, bool accents) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (accents && c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  return c;
}

inline int to_lower(int c, bool accents) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (accents && c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  return c;
}

// A char value as its byte (chars may be signed).
inline int byte_of(int c) { return c < 0 && c >= -128 ? c & 0xFF : c; }

// Converts a non-ASCII byte string through its wide form; on failure `dst`
// gets `src` unchanged and the failure is reported.
char *through_wide(const char *src, char *dst, int (*convert)(const kw_wchar *, kw_wchar *)) {
  std::size_t n = std::strlen(src);
  std::u16string wide(n + 1, u'\0');
  std::string bytes;
  bool ok = strtows(wide.data(), src) != nullptr;
  if (ok) {
    convert(wide.c_str(), wide.data());
    ok = kw::text::to_bytes(wide.c_str(), bytes) && bytes.size() <= n;
  }
  if (!ok) {
    std::memmove(dst, src, n + 1);
    dbg_err_crash("ConvertCase_BothEncodings", "conversion failed");
    return dst;
  }
  std::memcpy(dst, bytes.c_str(), bytes.size() + 1);
  return dst;
}

int wide_upper(const kw_wchar *src, kw_wchar *dst) {
  wcnvrt_to_upper(src, dst);
  return 0;
}

int wide_lower(const kw_wchar *src, kw_wchar *dst) {
  wcnvrt_to_lower(src, dst);
  return 0;
}

char *convert_bytes(const char *src, char *dst, bool upper) {
  if (!src || !dst) return dst;
  if (btkUnicodeIsEnabled() && !kw::text::is_ascii(src))
    return through_wide(src, dst, upper ? wide_upper : wide_lower);
  bool accents = accented_bytes();
  std::size_t i = 0;
  for (; src[i]; ++i) {
    int c = static_cast<unsigned char>(src[i]);
    dst[i] = static_cast<char>(upper ? to_upper(c, accents) : to_lower(c, accents));
  }
  dst[i] = 0;
  return dst;
}

}  // namespace

KW_API int uppercase(int c) { return to_upper(byte_of(c), accented_bytes()); }

KW_API int lowercase(int c) { return to_lower(byte_of(c), accented_bytes()); }

KW_API int wuppercase(int wc) {
  if (wc < 0x80) return to_upper(wc, false);
  return to_upper(wc, accented_wide());
}

KW_API int wlowercase(int wc) {
  if (wc < 0x80) return to_lower(wc, false);
  return to_lower(wc, accented_wide());
}

KW_API char *vex_cnvrt_to_upper(const char *src, char *dst) {
  return convert_bytes(src, dst, true);
}

KW_API char *convert_to_lower(const char *src, char *dst) { return convert_bytes(src, dst, false); }

KW_API char *vex_cnvrt_to_title(const char *src, char *dst) {
  if (!src || !dst) return dst;
  if (!kw::text::is_ascii(src)) return through_wide(src, dst, wcnvrt_to_title);
  bool in_run = false;
  std::size_t i = 0;
  for (; src[i]; ++i) {
    int c = static_cast<unsigned char>(src[i]);
    if (btk_iswalnum(c)) {
      dst[i] = static_cast<char>(in_run ? to_lower(c, false) : to_upper(c, false));
      in_run = true;
    } else {
      dst[i] = static_cast<char>(c);
      in_run = false;
    }
  }
  dst[i] = 0;
  return dst;
}

KW_API kw_wchar *wcnvrt_to_upper(const kw_wchar *src, kw_wchar *dst) {
  if (!src || !dst) return dst;
  bool accents = accented_wide();
  std::size_t i = 0;
  for (; src[i]; ++i) dst[i] = static_cast<kw_wchar>(to_upper(src[i], accents));
  dst[i] = 0;
  return dst;
}

KW_API kw_wchar *wcnvrt_to_lower(const kw_wchar *src, kw_wchar *dst) {
  return wncnvrt_to_lower(src, dst, -1);
}

KW_API kw_wchar *wncnvrt_to_lower(const kw_wchar *src, kw_wchar *dst, int n) {
  if (!src || !dst) return dst;
  bool accents = accented_wide();
  std::size_t i = 0, limit = n < 0 ? SIZE_MAX : static_cast<std::size_t>(n);
  for (; i < limit && src[i]; ++i) dst[i] = static_cast<kw_wchar>(to_lower(src[i], accents));
  dst[i] = 0;
  return dst;
}

KW_API int has_upper(const char *s) {
  if (!s) return 0;
  if (btkUnicodeIsEnabled() && !kw::text::is_ascii(s)) {
    std::u16string wide = kw::text::to_wide(s);
    std::u16string lower(wide.size() + 1, u'\0');
    wcnvrt_to_lower(wide.c_str(), lower.data());
    return std::char_traits<char16_t>::compare(wide.c_str(), lower.c_str(), wide.size()) != 0;
  }
  bool accents = accented_bytes();
  for (; *s; ++s) {
    int c = static_cast<unsigned char>(*s);
    if (to_lower(c, accents) != c) return 1;
  }
  return 0;
}
