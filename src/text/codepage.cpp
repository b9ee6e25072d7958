// The Windows-shaped code-page conversions of the legacy mode, on the
// runtime's code-page tables (built once from iconv). Code page 0, the
// system's "ANSI" code page, is the process locale's codeset: what a custom
// locale means. In the plain C locale it is Windows-1252, the code page of
// an English system.
#include <climits>
#include <cwchar>
#include <string>

#include "keelwork/vexformat.h"
#include "runtime/legacy_internal.h"
#include "runtime/unicode_internal.h"
#include "runtime/utf_internal.h"
#include "text/text_internal.h"

namespace kw::text {
namespace {

using kw::runtime::DbcsTable;

bool locale_is_ascii() {
  std::string cs = kw::runtime::native_codeset();
  return cs == "ANSI_X3.4-1968" || cs == "ASCII";
}

// The table of a code page; null for code page 0 outside the C locale (the
// process locale converts) and for unknown code pages (`*known` false).
const DbcsTable *table_of(int code_page, bool *known) {
  *known = true;
  if (code_page == 0) {
    if (locale_is_ascii()) return kw::runtime::dbcs_table(1252);
    return nullptr;
  }
  const DbcsTable *t = kw::runtime::dbcs_table(code_page);
  if (!t) *known = false;
  return t;
}

std::size_t locale_to_wide(const char *src, std::size_t n, char16_t *dst, std::size_t cap,
                           int *error) {
  std::mbstate_t state{};
  std::size_t i = 0, o = 0;
  while (i < n) {
    wchar_t wc = 0;
    std::size_t k = src[i] ? std::mbrtowc(&wc, src + i, n - i, &state) : 1;
    if (k == static_cast<std::size_t>(-1) || k == static_cast<std::size_t>(-2)) {
      *error = kErrorNoUnicodeTranslation;
      return 0;
    }
    if (k == 0) k = 1;
    char16_t units[2];
    int u = kw::runtime::utf16_encode(static_cast<char32_t>(wc) <= 0x10FFFF ? wc : 0xFFFD, units);
    if (o + static_cast<std::size_t>(u) > cap) {
      *error = kErrorInsufficientBuffer;
      return 0;
    }
    for (int j = 0; j < u; ++j) dst[o++] = units[j];
    i += k;
  }
  return o;
}

std::size_t locale_from_wide(const char16_t *src, std::size_t n, char *dst, std::size_t cap,
                             int *error) {
  std::mbstate_t state{};
  std::size_t i = 0, o = 0;
  char buf[16];
  while (i < n) {
    char32_t cp = 0;
    int used = kw::runtime::utf16_decode(src + i, src + n, &cp);
    std::size_t k;
    if (used < 0) {
      used = 1;
      k = std::size_t(-1);
    } else {
      k = std::wcrtomb(buf, static_cast<wchar_t>(cp), &state);
    }
    if (k == static_cast<std::size_t>(-1)) {
      buf[0] = '?';
      k = 1;
      state = std::mbstate_t{};
    }
    if (o + k > cap) {
      *error = kErrorInsufficientBuffer;
      return 0;
    }
    for (std::size_t j = 0; j < k; ++j) dst[o++] = buf[j];
    i += static_cast<std::size_t>(used);
  }
  return o;
}

}  // namespace

std::size_t mb_to_wide(int code_page, const char *src, std::size_t n, char16_t *dst,
                       std::size_t cap, int *error) {
  bool known;
  const DbcsTable *t = table_of(code_page, &known);
  if (!known) {
    *error = kErrorInvalidParameter;
    return 0;
  }
  if (!t) return locale_to_wide(src, n, dst, cap, error);
  const auto *p = reinterpret_cast<const unsigned char *>(src);
  const unsigned char *end = p + n;
  std::size_t o = 0;
  while (p < end) {
    char32_t cp = 0;
    int k = kw::runtime::dbcs_decode(*t, p, end, &cp);
    if (k < 0) {  // a lead byte at the end of the input
      k = 1;
      cp = 0xFFFD;
    }
    if (cp == kw::runtime::kBadChar) cp = 0xFFFD;
    if (o >= cap) {
      *error = kErrorInsufficientBuffer;
      return 0;
    }
    dst[o++] = static_cast<char16_t>(cp);
    p += k;
  }
  return o;
}

std::size_t wide_to_mb(int code_page, const char16_t *src, std::size_t n, char *dst,
                       std::size_t cap, int *error) {
  bool known;
  const DbcsTable *t = table_of(code_page, &known);
  if (!known) {
    *error = kErrorInvalidParameter;
    return 0;
  }
  if (!t) return locale_from_wide(src, n, dst, cap, error);
  std::size_t i = 0, o = 0;
  while (i < n) {
    char32_t cp = 0;
    int used = kw::runtime::utf16_decode(src + i, src + n, &cp);
    unsigned char buf[4];
    int k = 0;
    if (used < 0)
      used = 1;
    else
      k = kw::runtime::dbcs_encode(*t, cp, buf);
    if (k == 0) {
      buf[0] = '?';
      k = 1;
    }
    if (o + static_cast<std::size_t>(k) > cap) {
      *error = kErrorInsufficientBuffer;
      return 0;
    }
    for (int j = 0; j < k; ++j) dst[o++] = static_cast<char>(buf[j]);
    i += static_cast<std::size_t>(used);
  }
  return o;
}

bool code_page_is_locale(int code_page) { return code_page == 0 && !locale_is_ascii(); }

bool is_lead_byte(int code_page, unsigned char byte) {
  bool known;
  const DbcsTable *t = table_of(code_page, &known);
  if (t) return t->lead[byte];
  if (!known || byte < 0x80) return false;
  // The process locale: a byte that does not complete a character alone.
  std::mbstate_t state{};
  wchar_t wc;
  char c = static_cast<char>(byte);
  return std::mbrtowc(&wc, &c, 1, &state) == static_cast<std::size_t>(-2);
}

int char_length(int code_page, const char *p) {
  const auto b = static_cast<unsigned char>(*p);
  if (b < 0x80) return 1;
  bool known;
  const DbcsTable *t = table_of(code_page, &known);
  if (t || !known) return t && t->lead[b] && p[1] ? 2 : 1;
  std::mbstate_t state{};
  std::size_t avail = 1;
  while (avail < MB_LEN_MAX && p[avail]) ++avail;
  std::size_t k = std::mbrlen(p, avail, &state);
  return k == static_cast<std::size_t>(-1) || k == static_cast<std::size_t>(-2) || k == 0
             ? 1
             : static_cast<int>(k);
}

int encode_char(int code_page, char16_t wc, unsigned char *out) {
  bool known;
  const DbcsTable *t = table_of(code_page, &known);
  if (!known) return -1;
  if (kw::runtime::is_high_surrogate(wc) || kw::runtime::is_low_surrogate(wc)) return 0;
  if (t) return kw::runtime::dbcs_encode(*t, wc, out);
  std::mbstate_t state{};
  char buf[MB_LEN_MAX];
  std::size_t k = std::wcrtomb(buf, static_cast<wchar_t>(wc), &state);
  if (k == static_cast<std::size_t>(-1) || k > 4) return 0;
  for (std::size_t i = 0; i < k; ++i) out[i] = static_cast<unsigned char>(buf[i]);
  return static_cast<int>(k);
}

void print_conversion_error(const char *prefix, int error) {
  switch (error) {
    case kErrorInvalidParameter:
      vex_printf("%s:ERROR_INVALID_PARAMETER\n", prefix);
      break;
    case kErrorInsufficientBuffer:
      vex_printf("%s:ERROR_INSUFFICIENT_BUFFER\n", prefix);
      break;
    case kErrorInvalidFlags:
      vex_printf("%s:ERROR_INVALID_FLAGS\n", prefix);
      break;
    case kErrorNoUnicodeTranslation:
      vex_printf("%s:ERROR_NO_UNICODE_TRANSLATION\n", prefix);
      break;
    default:
      vex_printf("%s:Error - %d\n", prefix, error);
      break;
  }
}

}  // namespace kw::text
