// pfa_fgets and pfa_read_file over arbitrary file contents in each
// encoding: the first two bytes choose the encoding, the open mode, the
// reader and the buffer size; the rest is written to a temporary file and
// read back. No read may overrun its buffer or report more than it wrote;
// positions stay inside the file; where the encoding is the identity the
// bytes come back unchanged (a UTF-8 mark excepted).
#include <keelwork/btk_unicode.h>
#include <keelwork/pfastream.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kEncodings[] = {
    PFA_ENC_UNKNOWN, PFA_ENC_NONE, PFA_ENC_UTF8, PFA_ENC_UTF16LE, PFA_ENC_UTF16BE, PFA_ENC_UTF32LE,
    BTK_CP_EUC_JP,   932,          1252};

const std::string &path() {
  static std::string p = [] {
    const char *t = std::getenv("TMPDIR");
    return std::string(t && *t ? t : "/tmp") + "/kw_read_fuzz_" + std::to_string(getpid());
  }();
  return p;
}

bool starts_with_other_bom(const std::string &s) {
  int len = 0;
  btk_utf_type t = btkUtfTypeFromBOM(s.data(), s.size(), &len);
  return t != BTK_UTF_NONE && t != BTK_UTF_8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int32_t enc = kEncodings[data[0] % (sizeof kEncodings / sizeof kEncodings[0])];
  const bool binary = (data[0] >> 4) & 1;
  const bool use_fgets = (data[0] >> 5) & 1;
  const bool legacy = (data[0] >> 6) & 1;
  // A line buffer needs room for one byte besides the terminator.
  const int buf_size = (use_fgets ? 2 : 1) + data[1] % 64;
  std::string content(reinterpret_cast<const char *>(data + 2), size - 2);
  if (FILE *fp = std::fopen(path().c_str(), "wb")) {
    std::fwrite(content.data(), 1, content.size(), fp);
    std::fclose(fp);
  } else {
    return 0;
  }
  btkUnicodeSetEnabled(legacy ? 0 : 1);

  vex_file *f = pfa_alloc_file(path().c_str());
  if (!f) std::abort();
  pfa_put_encode(f, enc);
  if (pfa_fopen(f, PFA_VERS_OWN, binary ? "rb" : "r") != 0) std::abort();
  std::string out;
  std::vector<char> buf(static_cast<size_t>(buf_size) + 8, '\x5A');
  for (int guard = 0;; ++guard) {
    if (guard > 64 * static_cast<int>(content.size()) + 64) std::abort();  // no progress
    int count = -1;
    int r = use_fgets ? pfa_fgets(f, buf_size, &count, buf.data())
                      : pfa_read_file(f, buf_size, &count, buf.data());
    for (size_t i = static_cast<size_t>(buf_size); i < buf.size(); ++i)
      if (buf[i] != '\x5A') std::abort();  // overrun
    if (r == PFA_E_QUIT) break;
    if (r != 0) std::abort();
    if (count < 0 || count > (use_fgets ? buf_size - 1 : buf_size)) std::abort();
    if (use_fgets && buf[static_cast<size_t>(count)] != 0) std::abort();
    out.append(buf.data(), static_cast<size_t>(count));
    int64_t pos = -1;
    if (pfa_get_file_position(f, &pos) != 0 || pos < 0 ||
        pos > static_cast<int64_t>(content.size()))
      std::abort();
  }
  pfa_dispose(&f);

  // A binary open of unknown encoding and encoding -3 pass bytes as they
  // are; a UTF-8 (or unknown) file in a UTF-8 session loses only its mark.
  const bool untouched = (binary && enc == PFA_ENC_UNKNOWN) || enc == PFA_ENC_NONE;
  const bool identity = untouched || (!legacy && (enc == PFA_ENC_UNKNOWN || enc == PFA_ENC_UTF8) &&
                                      !starts_with_other_bom(content));
  if (identity) {
    std::string expect = content;
    if (!untouched && expect.compare(0, 3, "\xEF\xBB\xBF") == 0) expect.erase(0, 3);
    if (out != expect) std::abort();
  }
  return 0;
}
