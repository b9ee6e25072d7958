// Scanning on the runtime scanner, wide output, and echo-less line input.
#include <cstring>
#include <string>

#include "keelwork/btk_format.h"
#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "runtime/runtime_internal.h"
#include "text/wstring_internal.h"

namespace {

int source_unknown(btk_in_source *) { return -1; }

// A direct source: the scanner reads the string itself.
constexpr btk_in_ops kStringOps = {nullptr, nullptr, source_unknown, source_unknown};

int scan_text(const char *text, const char *format, va_list args, void *extra) {
  if (!text || !format) return -1;
  btk_in_source source{&kStringOps, text, text, text + std::strlen(text)};
  va_list copy;
  va_copy(copy, args);
  int r = btk_scanf_stream_low(&source, format, copy, extra);
  va_end(copy);
  return r;
}

int scan_line(FILE *stream, const char *format, va_list args) {
  char line[512];
  if (!stream || !btk_fgets(line, sizeof line, stream)) return -1;
  return scan_text(line, format, args, nullptr);
}

}  // namespace

KW_API int vex_vscanf_low(const char *text, const char *format, va_list args, void *extra) {
  return scan_text(text, format, args, extra);
}

KW_API int vex_vscanf(const char *text, const char *format, va_list args) {
  return scan_text(text, format, args, nullptr);
}

KW_API int vex_sscanf(const char *text, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = scan_text(text, format, args, nullptr);
  va_end(args);
  return r;
}

KW_API int vex_scanf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = scan_line(btk_get_stdin(), format, args);
  va_end(args);
  return r;
}

KW_API int vex_fscanf(FILE *stream, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = scan_line(stream, format, args);
  va_end(args);
  return r;
}

KW_API int vex_wsscanf(const kw_wchar *wtext, const char *format, ...) {
  if (!wtext) return -1;
  // Per thread, so that threads scanning at once do not share the text.
  thread_local std::string bytes;
  kw::text::to_bytes(wtext, bytes);
  va_list args;
  va_start(args, format);
  int r = scan_text(bytes.c_str(), format, args, nullptr);
  va_end(args);
  return r;
}

KW_API int vex_wsprintf(kw_wchar *wdst, const char *format, ...) {
  if (!format) return -1;
  kw_wchar local[512];
  kw_wchar *wide = local;
  kw_wchar *allocated = nullptr;
  if (btkUnicodeIsEnabled()) {
    int32_t r = btkStrUtf8ToUtf16(format, -1, local, 512, nullptr);
    if (r == BTK_UNI_E_NO_SPACE) wide = allocated = btkStrUtf8ToUtf16Alloc(format, -1, nullptr);
    if (r < 0 && !allocated) return -1;
  } else {
    std::size_t n = std::strlen(format) + 1;
    if (n > 512) wide = allocated = static_cast<kw_wchar *>(getmem(n * sizeof(kw_wchar)));
    strtows_legacy(wide, format);
  }
  va_list args;
  va_start(args, format);
  int r = btk_vswprintf(wdst, -1, wide, args);
  va_end(args);
  relmem(&allocated);
  return r;
}

KW_API kw_wchar *vex_getws_no_echo(kw_wchar *wdst) {
  if (!wdst) return nullptr;
  FILE *in = btk_get_stdin();
  int was_on = kw::runtime::set_console_echo(in, false);
  if (was_on < 0) return nullptr;
  char line[STR_LEN];
  bool got = btk_fgets(line, sizeof line, in) != nullptr;
  if (got && !std::strchr(line, '\n')) {
    // Drop the rest of an overlong line.
    char rest[256];
    while (btk_fgets(rest, sizeof rest, in) && !std::strchr(rest, '\n')) {
    }
  }
  kw::runtime::set_console_echo(in, was_on != 0);
  if (!got) return nullptr;
  strip_cr(line);
  std::u16string wide = kw::text::to_wide(line);
  std::memcpy(wdst, wide.c_str(), (wide.size() + 1) * sizeof(kw_wchar));
  return wdst;
}
