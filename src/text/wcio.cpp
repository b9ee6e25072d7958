// One wide character at a time through byte streams in the session
// encoding, and the seam to the file layer.
#include <climits>
#include <cstdio>
#include <cwchar>

#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/lang.h"
#include "keelwork/vexformat.h"
#include "runtime/legacy_internal.h"
#include "runtime/unicode_internal.h"
#include "text/file_seam_internal.h"
#include "text/text_internal.h"

namespace kw::text {
namespace {

constexpr kw_wchar kEnd = 0xFFFF;

FileLayer g_files = {nullptr, nullptr, nullptr, nullptr, btk_fopen, nullptr};

inline bool in_gr(int b) { return b >= 0xA1 && b <= 0xFE; }
inline bool is_katakana(int b) { return b >= 0xA1 && b <= 0xDF; }

kw_wchar decode_932(const unsigned char *bytes, int n) {
  const kw::runtime::DbcsTable *t = kw::runtime::dbcs_table(932);
  if (!t) return kEnd;
  char32_t cp = 0;
  int k = kw::runtime::dbcs_decode(*t, bytes, bytes + n, &cp);
  if (k != n || cp == kw::runtime::kBadChar) return kEnd;
  return static_cast<kw_wchar>(cp);
}

// EUC-JP: JIS X 0208 through Shift-JIS and code page 932, half-width
// katakana, and JIS X 0212 through the EUC tables.
kw_wchar get_euc(int b, int (*get)(void *), void *source) {
  if (b < 0x80) return static_cast<kw_wchar>(b);
  unsigned char bytes[2];
  if (in_gr(b)) {
    int b2 = get(source);
    if (!in_gr(b2)) return kEnd;
    int c1 = b & 0x7F, c2 = b2 & 0x7F;
    jis2sjis(&c1, &c2);
    bytes[0] = static_cast<unsigned char>(c1);
    bytes[1] = static_cast<unsigned char>(c2);
    return decode_932(bytes, 2);
  }
  if (b == 0x8E) {
    int b2 = get(source);
    if (!is_katakana(b2)) return kEnd;
    bytes[0] = static_cast<unsigned char>(b2);
    return decode_932(bytes, 1);
  }
  if (b == 0x8F) {
    int b2 = get(source), b3 = b2 < 0 ? -1 : get(source);
    if (!in_gr(b2) || !in_gr(b3)) return kEnd;
    kw_wchar u =
        kw::runtime::euc_process_to_unicode(static_cast<std::uint16_t>(b2 << 8 | (b3 & 0x7F)));
    return u ? u : kEnd;
  }
  bytes[0] = static_cast<unsigned char>(b);
  return decode_932(bytes, 1);
}

// One character of `code_page`: a lead byte takes its trail byte (the
// process locale's own length for code page 0).
kw_wchar get_code_page(int b, int code_page, int (*get)(void *), void *source) {
  char bytes[MB_LEN_MAX];
  int n = 1;
  bytes[0] = static_cast<char>(b);
  if (!code_page_is_locale(code_page)) {
    if (is_lead_byte(code_page, static_cast<unsigned char>(b))) {
      int next = get(source);
      if (next < 0) return kEnd;
      bytes[n++] = static_cast<char>(next);
    }
  } else {
    // The process locale: feed bytes until they make a character.
    std::mbstate_t state{};
    std::size_t r = std::mbrlen(bytes, 1, &state);
    while (r == static_cast<std::size_t>(-2) && n < MB_LEN_MAX) {
      int next = get(source);
      if (next < 0) return kEnd;
      bytes[n] = static_cast<char>(next);
      r = std::mbrlen(bytes + n++, 1, &state);
    }
  }
  int error = 0;
  char16_t units[4];
  std::size_t k = mb_to_wide(code_page, bytes, static_cast<std::size_t>(n), units, 4, &error);
  if (k == 0) {
    vex_printf("fget_unicode_wc:Error - %d\n", error);
    return kEnd;
  }
  return units[0];
}

int stdio_get(void *stream) { return std::fgetc(static_cast<FILE *>(stream)); }

int stdio_put(int byte, void *stream) { return std::fputc(byte, static_cast<FILE *>(stream)); }

}  // namespace

void set_file_layer(const FileLayer &layer) {
  if (layer.fgetc) g_files.fgetc = layer.fgetc;
  if (layer.fgets) g_files.fgets = layer.fgets;
  if (layer.fputs) g_files.fputs = layer.fputs;
  if (layer.path_to_os) g_files.path_to_os = layer.path_to_os;
  if (layer.console_open) g_files.console_open = layer.console_open;
  if (layer.full_name) g_files.full_name = layer.full_name;
}

const FileLayer &file_layer() { return g_files; }

kw_wchar get_unicode_wc(int (*get)(void *source), void *source) {
  int b = get(source);
  if (b < 0) return kEnd;
  if (btkUnicodeIsEnabled()) {
    if (b < 0x80) return static_cast<kw_wchar>(b);
    int len = vex_csetlen(b);
    char bytes[4] = {static_cast<char>(b)};
    for (int i = 1; i < len; ++i) {
      int next = get(source);
      if (next < 0) return kEnd;
      bytes[i] = static_cast<char>(next);
    }
    kw_wchar units[2];
    int k = btk_u8tou16(bytes, len, units);
    if (k != len) return kEnd;
    return k == 4 ? kw_wchar{0xFFFD} : units[0];  // one unit cannot hold a pair
  }
  int lang = get_language();
  if (lang == kJapanese) return get_euc(b, get, source);
  if (b < 0x80) return static_cast<kw_wchar>(b);
  return get_code_page(b, lang_get_code_page(lang), get, source);
}

}  // namespace kw::text

using namespace kw::text;

KW_API kw_wchar fget_unicode_wc(FILE *stream) {
  if (!stream) return 0xFFFF;
  return get_unicode_wc(stdio_get, stream);
}

KW_API int put_unicode_wc(kw_wchar wc, int (*put)(int byte, void *stream), void *stream) {
  if (!put) return 0;
  unsigned char bytes[4];
  int k;
  if (btkUnicodeIsEnabled()) {
    k = btk_u16tou8(&wc, 1, reinterpret_cast<char *>(bytes));
    if (k <= 0) {
      vex_printf("put_unicode_wc:Error - %d\n", kErrorNoUnicodeTranslation);
      k = 0;
    }
  } else {
    int lang = get_language();
    k = encode_char(lang_get_code_page(lang), wc, bytes);
    if (k == 0) {  // the code page's default character
      bytes[0] = '?';
      k = 1;
    } else if (k < 0) {
      vex_printf("put_unicode_wc:Error - %d\n", kErrorInvalidParameter);
      k = 0;
    } else if (lang == kJapanese && k == 1 && is_katakana(bytes[0])) {
      bytes[1] = bytes[0];
      bytes[0] = 0x8E;
      k = 2;
    } else if (lang == kJapanese && k == 2) {
      int c1 = bytes[0], c2 = bytes[1];
      sjis2jis(&c1, &c2);
      bytes[0] = static_cast<unsigned char>(c1 | 0x80);
      bytes[1] = static_cast<unsigned char>(c2 | 0x80);
    }
  }
  if (k == 0) {
    bytes[0] = ' ';
    k = 1;
  }
  for (int i = 0; i < k; ++i) put(bytes[i], stream);
  return k;
}

KW_API int fput_unicode_wc(kw_wchar wc, FILE *stream) {
  return stream ? put_unicode_wc(wc, stdio_put, stream) : 0;
}

KW_API int vex_fputwc(kw_wchar wc, FILE *stream) { return fput_unicode_wc(wc, stream); }

KW_API int vex_fgetwc(FILE *stream) {
  if (!stream) return -1;
  if (btkUnicodeIsEnabled()) {
    kw_wchar wc = get_unicode_wc(stdio_get, stream);
    return wc == 0xFFFF && std::feof(stream) ? -1 : wc;
  }
  int b = std::fgetc(stream);
  if (b < 0) return -1;
  int lang = get_language();
  if (lang == kJapanese) {
    kw_wchar wc = get_euc(b, stdio_get, stream);
    return wc == 0xFFFF && std::feof(stream) ? -1 : wc;
  }
  if (!is_multibyte_language(lang) ||
      !is_lead_byte(lang_get_code_page(lang), static_cast<unsigned char>(b)))
    return b;
  int b2 = std::fgetc(stream);
  if (b2 < 0) return -1;
  char bytes[3] = {static_cast<char>(b), static_cast<char>(b2), 0};
  kw_wchar units[2];
  return btk_mbtowc(units, bytes, 2) == 2 ? units[0] : 0xFFFF;
}
