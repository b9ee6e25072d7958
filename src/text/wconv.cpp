// Conversions between wide and byte strings: Unicode mode on the runtime's
// UTF conversions, legacy mode by the current language, and the bounded,
// allocating and rotating-buffer variants.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/lang.h"
#include "keelwork/memory.h"
#include "keelwork/status_codes.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "runtime/utf_internal.h"
#include "text/text_internal.h"
#include "text/wstring_internal.h"

namespace kw::text {
namespace {

// Languages whose legacy strings are in their code page.
bool code_page_language(int lang) {
  return lang == 4 || (lang >= 12 && lang <= 18) || lang == 20 || is_multibyte_language(lang);
}

// Wide to bytes through the process locale, with pass-through runs; stops
// (terminated) at the first character the locale cannot write.
void wide_to_locale(char *dst, const kw_wchar *w) {
  std::mbstate_t state{};
  char *o = dst;
  const kw_wchar *end = w + wlen(w);
  for (const kw_wchar *p = w; p < end;) {
    if (*p == 1) {
      do {
        *o++ = static_cast<char>(*p);
      } while (*p++ != 2 && p < end);
      continue;
    }
    char32_t cp = 0;
    int used = kw::runtime::utf16_decode(p, end, &cp);
    std::size_t k =
        used < 0 ? static_cast<std::size_t>(-1) : std::wcrtomb(o, static_cast<wchar_t>(cp), &state);
    if (k == static_cast<std::size_t>(-1)) break;
    o += k;
    p += used;
  }
  *o = 0;
}

// Bytes of the process locale to wide, with pass-through runs; stops
// (terminated) at the first sequence the locale rejects.
void locale_to_wide(kw_wchar *dst, const char *s) {
  std::mbstate_t state{};
  kw_wchar *o = dst;
  const char *end = s + std::strlen(s);
  for (const char *p = s; p < end;) {
    if (*p == 1) {
      do {
        *o++ = static_cast<unsigned char>(*p);
      } while (*p++ != 2 && p < end);
      continue;
    }
    wchar_t wc = 0;
    std::size_t avail = std::min<std::size_t>(static_cast<std::size_t>(end - p), 4);
    std::size_t k = std::mbrtowc(&wc, p, avail, &state);
    if (k == static_cast<std::size_t>(-1) || k == static_cast<std::size_t>(-2) || k == 0 ||
        static_cast<char32_t>(wc) > 0x10FFFF)
      break;
    o += kw::runtime::utf16_encode(static_cast<char32_t>(wc), o);
    p += k;
  }
  *o = 0;
}

// The per-thread buffers of str_ret, wstr_ret and itowstr.
struct ReturnBuffers {
  char str[4 * STR_LEN + 1];
  std::vector<kw_wchar> ring[4];
  int index = -1;
  kw_wchar number[16];
};

ReturnBuffers &return_buffers() {
  thread_local ReturnBuffers buffers;
  return buffers;
}

}  // namespace

bool to_bytes(const kw_wchar *w, std::string &out) {
  out.assign(4 * wlen(w) + 1, '\0');
  bool ok = wstostr(out.data(), w) != nullptr;
  out.resize(std::strlen(out.c_str()));
  return ok;
}

bool is_ascii(const char *s) {
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  return true;
}

}  // namespace kw::text

using namespace kw::text;

// ---- the two directions -------------------------------------------------------------

KW_API char *wstostr(char *dst, const kw_wchar *w) {
  if (!btkUnicodeIsEnabled()) return wstostr_nativeq_legacy(dst, w, 0);
  if (btkStrUtf16ToUtf8(w, BTK_UNI_UNBOUNDED, dst, BTK_UNI_UNBOUNDED, nullptr) < 0) return nullptr;
  return dst;
}

KW_API char *wstostr_nativeq(char *dst, const kw_wchar *w, int native) {
  if (!btkUnicodeIsEnabled()) return wstostr_nativeq_legacy(dst, w, native);
  if (native != 1) return wstostr(dst, w);
  if (btkStrUtf16ToNative(w, BTK_UNI_UNBOUNDED, dst, BTK_UNI_UNBOUNDED, '?', nullptr) < 0)
    return nullptr;
  return dst;
}

KW_API char *wstostr_legacy(char *dst, const kw_wchar *w) {
  return wstostr_nativeq_legacy(dst, w, 0);
}

KW_API char *wstostr_nativeq_legacy(char *dst, const kw_wchar *w, int native) {
  if (!w || !dst) {
    vex_printf("WSTOSTR :  Illegal NULL pointer !!!");
    return dst;
  }
  int lang = get_language();
  if (lang == kJapanese) {
    return native == 1 ? unicode_str_to_multibyte_str(dst, w) : unicode_str_to_euc_str(dst, w);
  }
  if (code_page_language(lang)) {
    std::size_t n = wlen(w);
    int error = 0;
    if (wide_to_mb(lang_get_code_page(lang), w, n + 1, dst, 4 * n + 1, &error) < 1) {
      print_conversion_error("wstostr", error);
      dst[0] = 0;
    }
    return dst;
  }
  if (lang == kEnglish) {
    std::size_t i = 0;
    for (; w[i]; ++i) dst[i] = static_cast<char>(w[i] == 0x20AC ? 0x80 : w[i] & 0xFF);
    dst[i] = 0;
    return dst;
  }
  wide_to_locale(dst, w);
  return dst;
}

KW_API kw_wchar *strtows(kw_wchar *dst, const char *s) {
  if (!btkUnicodeIsEnabled()) return strtows_legacy(dst, s);
  if (btkStrUtf8ToUtf16(s, BTK_UNI_UNBOUNDED, dst, BTK_UNI_UNBOUNDED, nullptr) < 0) return nullptr;
  return dst;
}

KW_API kw_wchar *strtows_legacy(kw_wchar *dst, const char *s) {
  if (!s || !dst) {
    vex_printf("STRTOWS :Illegal NULL pointer !!!");
    return dst;
  }
  int lang = get_language();
  if (lang == kJapanese) return euc_str_to_unicode_str(dst, s);
  if (code_page_language(lang)) {
    std::size_t n = std::strlen(s) + 1;
    int error = 0;
    if (mb_to_wide(lang_get_code_page(lang), s, n, dst, n, &error) < 1) {
      print_conversion_error("strtows", error);
      dst[0] = 0;
    }
    return dst;
  }
  if (lang == kEnglish) {
    std::size_t i = 0;
    for (; s[i]; ++i) {
      auto b = static_cast<unsigned char>(s[i]);
      dst[i] = b == 0x80 ? 0x20AC : b;
    }
    dst[i] = 0;
    return dst;
  }
  locale_to_wide(dst, s);
  return dst;
}

KW_API char *vex_wstr_to_str(char *dst, const kw_wchar *w) { return wstostr(dst, w); }

KW_API kw_wchar *vex_str_to_wstr(kw_wchar *dst, const char *s) { return strtows(dst, s); }

// ---- allocating ------------------------------------------------------------------------

KW_API char *make_wstostr(const kw_wchar *w) { return make_wstostr_nativeq(w, 0); }

KW_API char *make_wstostr_nativeq(const kw_wchar *w, int native) {
  if (!w) return nullptr;
  auto *dst = static_cast<char *>(getmem(4 * wlen(w) + 1));
  if (!wstostr_nativeq(dst, w, native)) {
    relmem(&dst);
    return nullptr;
  }
  return dst;
}

KW_API char *make_wstostr_rls(char **p, const kw_wchar *w) {
  if (!p) return nullptr;
  relmem(p);
  *p = w ? make_wstostr(w) : nullptr;
  return *p;
}

KW_API kw_wchar *make_strtows(const char *s) {
  if (!s) return nullptr;
  auto *dst = static_cast<kw_wchar *>(getmem((std::strlen(s) + 1) * sizeof(kw_wchar)));
  if (!strtows(dst, s)) {
    relmem(&dst);
    return nullptr;
  }
  return dst;
}

KW_API kw_wchar *make_strtows_zone(memzone *zone, const char *s) {
  if (!s || !zone) return nullptr;
  auto *dst = static_cast<kw_wchar *>(zone_getmem(zone, (std::strlen(s) + 1) * sizeof(kw_wchar)));
  return strtows(dst, s) ? dst : nullptr;  // the zone keeps a failed block
}

KW_API kw_wchar *make_strtows_memmgr(memmgr *manager, const char *s) {
  if (!s) return nullptr;
  auto *dst =
      static_cast<kw_wchar *>(memmgr_getmem(manager, (std::strlen(s) + 1) * sizeof(kw_wchar)));
  if (!strtows(dst, s)) {
    relmem(&dst);
    return nullptr;
  }
  return dst;
}

// ---- bounded --------------------------------------------------------------------------------

KW_API int wstrtos_limit(const kw_wchar *w, int size, char *dst) {
  if (!w || !dst || size < 1) return 1;
  // The conversion buffer grows with the text, so that no input overruns it.
  std::string bytes;
  bool ok = to_bytes(w, bytes);
  if (!ok || bytes.size() > static_cast<std::size_t>(size - 1)) {
    dst[0] = 0;
    return 1;
  }
  std::memcpy(dst, bytes.c_str(), bytes.size() + 1);
  return 0;
}

KW_API int strtows_limit(const char *s, int size, kw_wchar *dst) {
  if (!s || !dst || size < 1) return 1;
  std::vector<kw_wchar> wide(std::strlen(s) + 1);
  bool ok = strtows(wide.data(), s) != nullptr;
  std::size_t n = wlen(wide.data());
  if (!ok || n > static_cast<std::size_t>(size - 1)) {
    dst[0] = 0;
    return 1;
  }
  std::memcpy(dst, wide.data(), (n + 1) * sizeof(kw_wchar));
  return 0;
}

KW_API int wstrtos_buff(const kw_wchar *w, char *dst, int size) {
  if (!dst || size < 1) return E_INVALID_INPUT;
  dst[0] = 0;
  if (!w) return E_INVALID_INPUT;
  std::size_t n = wlen(w);
  char local[4096];
  char *buffer = n < 1024 ? local : static_cast<char *>(getmem(4 * n + 4));
  int status = E_NO_ERROR;
  if (!wstostr(buffer, w)) {
    status = E_CANT_PARSE;
  } else {
    std::size_t len = std::strlen(buffer);
    if (len > static_cast<std::size_t>(size - 1))
      status = E_CANT_FIT;
    else
      std::memcpy(dst, buffer, len + 1);
  }
  if (buffer != local) rlsmem(buffer);
  return status;
}

// ---- internal buffers -------------------------------------------------------------------------

KW_API char *str_ret(const kw_wchar *w) {
  char *buffer = return_buffers().str;
  buffer[0] = 0;
  if (!w) return buffer;
  std::size_t n = wlen(w);
  if (n <= STR_LEN) {
    if (!wstostr(buffer, w)) buffer[0] = 0;
    return buffer;
  }
  dbg_crash_msg("str_ret", "string \"%ws\" is longer than STR_LEN", w);
  // Still here: convert what fits, never half a surrogate pair.
  std::size_t keep = STR_LEN;
  if (w[keep - 1] >= 0xD800 && w[keep - 1] <= 0xDBFF) --keep;
  std::u16string head(w, keep);
  if (!wstostr(buffer, head.c_str())) buffer[0] = 0;
  return buffer;
}

KW_API kw_wchar *wstr_ret(const char *s) {
  ReturnBuffers &b = return_buffers();
  b.index = (b.index + 1) % 4;
  std::vector<kw_wchar> &buffer = b.ring[b.index];
  if (!s) s = "";
  std::size_t need = std::strlen(s) + 1;
  if (buffer.size() < need) buffer.assign(std::max<std::size_t>(need, STR_LEN), 0);
  if (!strtows(buffer.data(), s)) buffer[0] = 0;
  return buffer.data();
}

KW_API kw_wchar *itowstr(int i) {
  kw_wchar *buffer = return_buffers().number;
  char digits[16];
  int n = std::snprintf(digits, sizeof digits, "%d", i);
  for (int j = 0; j <= n; ++j) buffer[j] = static_cast<kw_wchar>(digits[j]);
  return buffer;
}

KW_API char *mknewstr_from_wstr(const kw_wchar *w) {
  if (!w || !*w) return nullptr;
  return make_wstostr(w);
}
