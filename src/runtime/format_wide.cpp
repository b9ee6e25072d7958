// The wide (UTF-16) members of the printf family. The format is taken to
// UTF-8, formatted by the byte engine with the wide family's argument rules,
// and the text is brought back to UTF-16.
#include <climits>
#include <string>

#include "keelwork/btk_format.h"
#include "runtime/format_internal.h"
#include "runtime/utf_internal.h"

namespace {

// UTF-16 format to UTF-8; an unpaired surrogate becomes U+FFFD so that the
// staged text stays valid.
bool format_to_utf8(const char16_t *f, std::string &out) {
  using namespace kw::runtime;
  std::size_t n = u16_strnlen(f, SIZE_MAX);
  try {
    out.reserve(n + n / 2 + 8);
    for (std::size_t i = 0; i < n;) {
      char b[4];
      char32_t cp = 0;
      int k = utf16_decode(f + i, f + n, &cp);
      if (k < 0) {
        cp = 0xFFFD;
        k = 1;
      }
      out.append(b, static_cast<std::size_t>(utf8_encode(cp, b)));
      i += static_cast<std::size_t>(k);
    }
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace

KW_API int btk_vswprintf(kw_wchar *dst, long size, const kw_wchar *format, va_list args) {
  using namespace kw::runtime;
  if (dst && size != 0) dst[0] = 0;
  if (!format) return -1;
  std::string f8, text;
  std::size_t units = 0;
  if (!format_to_utf8(format, f8)) return -1;
  if (format_wide_utf8(text, f8.c_str(), args, &units) < 0 || units > INT_MAX) return -1;
  if (dst && size != 0) {
    std::size_t cap = size < 0 ? SIZE_MAX : static_cast<std::size_t>(size) - 1;
    std::size_t used, written;
    utf8_to_utf16(text.data(), text.size(), dst, cap, &used, &written);
    dst[written] = 0;
  }
  return static_cast<int>(units);
}

KW_API int btk_swprintf(kw_wchar *dst, long size, const kw_wchar *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = btk_vswprintf(dst, size, format, ap);
  va_end(ap);
  return n;
}
