// Fuzzes vex_sprintf (both modes, legacy under Japanese and English) over a
// fixed set of valid formats with fuzzed arguments, and vex_sscanf over
// fuzzed text with a fixed set of formats.
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/vexformat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <class T>
T take(const uint8_t *&p, const uint8_t *end) {
  T v{};
  std::size_t n =
      static_cast<std::size_t>(end - p) < sizeof v ? static_cast<std::size_t>(end - p) : sizeof v;
  std::memcpy(&v, p, n);
  p += n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 12) return 0;
  const uint8_t *p = data, *end = data + size;
  unsigned pick = take<uint8_t>(p, end);
  btkUnicodeSetEnabled(pick & 1);
  set_language(pick & 2 ? LANG_JAPANESE : LANG_ENGLISH);
  int width = take<int8_t>(p, end);
  int prec = take<int8_t>(p, end);
  long long i = take<long long>(p, end);
  double d = take<double>(p, end);
  std::size_t rest = static_cast<std::size_t>(end - p);
  std::string bytes(reinterpret_cast<const char *>(p), rest / 2);
  bytes.resize(std::strlen(bytes.c_str()));
  std::u16string wide(rest / 4, u'\0');
  std::memcpy(wide.data(), p + rest / 2, wide.size() * 2);
  wide.resize(std::char_traits<char16_t>::length(wide.c_str()));

  const char *r = nullptr;
  std::vector<char> fixed(4 * wide.size() + 1);  // the buffer rule for wide text
  switch ((pick >> 2) % 8) {
    case 0:
      r = vex_sprintf(nullptr, "%*.*d|%-*lld|%#*.*llx|%I64u", width, prec, static_cast<int>(i),
                      width, i, width, prec, i, i);
      break;
    case 1:
      r = vex_sprintf(nullptr, "%*.*f|%*.*e|%g|%E", width, prec, d, width, prec, d, d, d);
      break;
    case 2:
      r = vex_sprintf(nullptr, "%s|%*.*s|%-10s", bytes.c_str(), width, prec, bytes.c_str(),
                      bytes.c_str());
      break;
    case 3:
      r = vex_sprintf(nullptr, "%ws|%*.*ws|%S", wide.c_str(), width, prec, wide.c_str(),
                      wide.c_str());
      break;
    case 4:
      r = vex_sprintf(nullptr, "%hd %hx %ld %lu %c %o %p", static_cast<int>(i), static_cast<int>(i),
                      static_cast<long>(i), static_cast<unsigned long>(i),
                      static_cast<int>(i & 0x7F) | 0x20, static_cast<unsigned>(i),
                      reinterpret_cast<void *>(i));
      break;
    case 5:
      r = vex_sprintf(fixed.data(), "%.*ws", prec, wide.c_str());
      break;
    case 6: {
      // The text as a format of its own, where it holds only plain text.
      if (bytes.find('%') == std::string::npos) r = vex_sprintf(nullptr, bytes.c_str());
      break;
    }
    default: {
      int a = 0;
      long long ll = 0;
      double f = 0;
      char word[32];
      kw_wchar wword[32];
      vex_sscanf(bytes.c_str(), "%d %lld %lf %31s", &a, &ll, &f, word);
      vex_sscanf(bytes.c_str(), "%5c%x%31ws", word, &a, wword);
      vex_wsscanf(wide.c_str(), "%d%31s", &a, word);
      break;
    }
  }
  if (r && std::strlen(r) > (1u << 20)) std::abort();
  return 0;
}
