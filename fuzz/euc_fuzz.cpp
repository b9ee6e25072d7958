// Fuzzes the legacy decoders (EUC-JP, Shift-JIS, GB18030 through iconv) and
// the streaming converter: arbitrary bytes, split at a fuzzed point, in
// both error modes.
#include <keelwork/btk_unicode.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void stream(btkUConv *cv, const char *p, const char *end, size_t split) {
  kw_wchar buf[7];
  const char *mid = p + (split < static_cast<size_t>(end - p) ? split : end - p);
  for (int pass = 0; pass < 2; ++pass) {
    const char *stop = pass == 0 ? mid : end;
    int rc;
    int guard = 0;
    do {
      kw_wchar *d = buf;
      rc = btkUConv_ToPivot(cv, &p, stop, &d, buf + 7, pass == 1);
      if (d < buf || d > buf + 7 || p > stop) std::abort();
      if (++guard > 100000) std::abort();  // every call makes progress
    } while (rc == BTK_UCONV_NO_SPACE || (rc == BTK_UCONV_INVALID && p < stop));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 1 << 14) return 0;
  size_t split = data[0];
  int which = data[1] % 4;
  std::vector<char> bytes(data + 2, data + size);
  const char *src = bytes.data();
  int32_t n = static_cast<int32_t>(bytes.size());
  std::vector<char> out(bytes.size() * 3 + 1);
  int32_t r = btkStrEucToUtf8(src, n, out.data(), static_cast<int32_t>(out.size()),
                              which ? 0xFFFD : 0, nullptr);
  if (r >= 0) {
    std::vector<char> back(out.size() + 1);
    btkStrUtf8ToEuc(out.data(), r, back.data(), static_cast<int32_t>(back.size()), '?', nullptr);
  }
  std::vector<kw_wchar> wide(bytes.size() + 1);
  btkStrEucToUtf16(src, n, wide.data(), static_cast<int32_t>(wide.size()), 0, nullptr);
  static const char *const kNames[] = {"EUC-JP", "CP932", "GB18030", "UTF-8"};
  for (int flags = 0; flags < 2; ++flags) {
    btkUConv *cv = btkUConv_Create(kNames[which], flags, nullptr);
    if (!cv) std::abort();
    stream(cv, src, src + bytes.size(), split);
    btkUConv_Dispose(cv);
  }
  // The bytes as UTF-16 units through the encoder.
  btkUConv *enc = btkUConv_Create(kNames[which], BTK_UCONV_SUBSTITUTE, nullptr);
  std::vector<kw_wchar> units(bytes.size() / 2);
  std::memcpy(units.data(), src, units.size() * 2);
  const kw_wchar *s = units.data();
  const kw_wchar *send = s + units.size();
  char ob[5];
  int guard = 0;
  for (;;) {
    char *d = ob;
    int rc = btkUConv_FromPivot(enc, &s, send, &d, ob + 5, 1);
    if (rc != BTK_UCONV_NO_SPACE || ++guard > 100000) break;
  }
  btkUConv_Dispose(enc);
  return 0;
}
