// Fuzzes the Japanese decoders: EUC-JP process codes at every position,
// the whole-string EUC-JP conversion, Shift-JIS to EUC-JP (allocating and
// into the bounded static buffer), the single-character decoders of the
// legacy session, and characters read one at a time from a stream.
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/memory.h>
#include <keelwork/vexformat.h>
#include <keelwork/wstring.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 13) return 0;
  std::string bytes(reinterpret_cast<const char *>(data), size);
  std::string text = bytes.substr(0, std::strlen(bytes.c_str()));
  btkUnicodeSetEnabled(0);
  set_language(LANG_JAPANESE);

  // Process codes, bounded by the fuzzed length and by what is left.
  for (std::size_t i = 0; i < text.size(); ++i) {
    kw_wchar code = 0;
    int limit = static_cast<int>(text.size() - i);
    int k = euc_mb2wc(&code, text.c_str() + i, limit);
    if (k < 0 || k > 3 || k > limit) std::abort();
    char out[4];
    int m = euc_wc2mb(out, code);
    if (m < 1 || m > 3) std::abort();
    kw_wchar wc = 0;
    vex_mbtowc(&wc, text.c_str() + i, limit);
  }

  std::vector<kw_wchar> wide(text.size() + 1);
  euc_str_to_unicode_str(wide.data(), text.c_str());
  std::vector<char> euc(2 * text.size() + 1);
  unicode_str_to_euc_str(euc.data(), wide.data());
  if (std::strlen(euc.data()) >= euc.size()) std::abort();

  char *converted = make_sjistoeuc(text.c_str());
  if (!converted || std::strlen(converted) > 3 * text.size()) std::abort();
  relmem(&converted);
  const char *local = nullptr;
  int chars = 0, length = 0;
  localize_string(text.c_str(), &local, &chars, &length);
  if (length > 519 || static_cast<std::size_t>(length) != std::strlen(local)) std::abort();

  // The same bytes under a double-byte code page.
  set_language(LANG_KOREAN);
  for (std::size_t i = 0; i < text.size(); ++i) {
    kw_wchar wc = 0;
    vex_mbtowc(&wc, text.c_str() + i, static_cast<int>(text.size() - i));
  }

  // One character at a time through a stream (NULs included).
  for (int lang : {LANG_JAPANESE, LANG_CHINESE_TW}) {
    set_language(lang);
    FILE *f = fmemopen(bytes.data(), bytes.size() ? bytes.size() : 1, "rb");
    if (!f) continue;
    for (std::size_t guard = 0; guard <= bytes.size() + 1; ++guard)
      if (fget_unicode_wc(f) == 0xFFFF && std::feof(f)) break;
    std::rewind(f);
    for (std::size_t guard = 0; guard <= bytes.size() + 1; ++guard)
      if (vex_fgetwc(f) == -1) break;
    std::fclose(f);
  }
  return 0;
}
