// Fuzzes the session conversions in Unicode mode and in legacy mode under
// every kind of language: bytes to wide and back, wide to bytes and back,
// with buffers of exactly the described sizes. Round trips that are exact
// by construction are checked: valid UTF-8 and UTF-16 in Unicode mode, and
// every byte string under legacy English.
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/wstring.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLanguages[] = {LANG_ENGLISH, LANG_JAPANESE,   LANG_FRENCH,     LANG_RUSSIAN,
                              LANG_KOREAN,  LANG_CHINESE_TW, LANG_CHINESE_CN, LANG_HEBREW,
                              LANG_GREEK,   LANG_TURKISH,    LANG_POLISH,     LANG_GENERIC_MB};

std::size_t wlen(const kw_wchar *w) { return std::char_traits<char16_t>::length(w); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 1 << 13) return 0;
  unsigned pick = data[0];
  bool unicode = pick & 1;
  int lang = kLanguages[(pick >> 1) % std::size(kLanguages)];
  btkUnicodeSetEnabled(unicode);
  set_language(lang);
  std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  bytes.resize(std::strlen(bytes.c_str()));

  // Bytes to wide and back.
  std::vector<kw_wchar> wide(bytes.size() + 1);
  kw_wchar *w = strtows(wide.data(), bytes.c_str());
  if (wlen(wide.data()) > bytes.size()) std::abort();
  std::vector<char> back(4 * wlen(wide.data()) + 1);
  char *b = wstostr(back.data(), wide.data());
  if (std::strlen(back.data()) >= back.size()) std::abort();
  if (unicode && w && (!b || bytes != back.data())) std::abort();
  if (!unicode && lang == LANG_ENGLISH && bytes != back.data()) std::abort();

  // Wide to bytes and back (the data as UTF-16 units, cut at a 0 unit).
  std::u16string units((size - 1) / 2, u'\0');
  std::memcpy(units.data(), data + 1, units.size() * 2);
  units.resize(wlen(units.c_str()));
  std::vector<char> narrow(4 * units.size() + 1);
  char *n = wstostr(narrow.data(), units.c_str());
  std::size_t nlen = std::strlen(narrow.data());
  if (nlen >= narrow.size()) std::abort();
  std::vector<kw_wchar> again(nlen + 1);
  kw_wchar *a = strtows(again.data(), narrow.data());
  if (unicode && n && (!a || units != again.data())) std::abort();

  // The other entry points with the same inputs.
  std::vector<char> native(4 * units.size() + 1);
  wstostr_nativeq(native.data(), units.c_str(), 1);
  char *made = make_wstostr(units.c_str());
  rlsmem(made);
  kw_wchar *made_wide = make_strtows(bytes.c_str());
  rlsmem(made_wide);
  char small[16];
  wstrtos_limit(units.c_str(), sizeof small, small);
  wstrtos_buff(units.c_str(), small, sizeof small);
  kw_wchar wsmall[16];
  strtows_limit(bytes.c_str(), 16, wsmall);
  if (units.size() <= STR_LEN) str_ret(units.c_str());
  wstr_ret(bytes.c_str());
  return 0;
}
