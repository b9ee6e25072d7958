// Fuzzes the scanner with a fuzzed format and a fuzzed text. Every
// conversion that could store gets a large, aligned buffer, and the text
// is a direct source without a terminator, so any read past its end or
// any write past a buffer trips the sanitizers.
#include <keelwork/btk_format.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

int scan(btk_in_source *src, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = btk_scanf_stream_low(src, fmt, ap, nullptr);
  va_end(ap);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  size_t flen = data[0] % 32;
  if (flen + 1 > size) return 0;
  std::string fmt(reinterpret_cast<const char *>(data + 1), flen);
  // Every directive gets the width 60 (any width the input gave is dropped),
  // which keeps strings, sets and %c within the buffers below, and at most
  // eight directives use the eight buffers.
  std::string safe;
  int directives = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i] == '\0' ? ' ' : fmt[i];
    if (c != '%') {
      safe.push_back(c);
      continue;
    }
    if (++directives > 8) {
      safe.push_back(' ');
      continue;
    }
    safe += "%60";
    while (i + 1 < fmt.size() && fmt[i + 1] >= '0' && fmt[i + 1] <= '9') ++i;
  }
  std::vector<char> text(data + 1 + flen, data + size);
  btk_in_source src{nullptr, text.data(), text.data(), text.data() + text.size()};
  alignas(16) static char bufs[8][512];
  scan(&src, safe.c_str(), bufs[0], bufs[1], bufs[2], bufs[3], bufs[4], bufs[5], bufs[6], bufs[7]);
  return 0;
}
