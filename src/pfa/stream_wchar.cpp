// Wide characters through file-layer streams, and the set-up that hands
// the stream functions to the text and diagnostics families.
#include <cstring>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/pfastream.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "pfa/pfa_internal.h"
#include "pfa/stream_internal.h"
#include "text/file_seam_internal.h"

namespace kw::pfa::stream {
namespace {

int get_byte(void *file) { return pfa_fgetc(static_cast<vex_file *>(file)); }
int put_byte(int byte, void *file) { return pfa_fputc(byte, static_cast<vex_file *>(file)); }

char *seam_fgets(char *buffer, int size, vex_file *file, int *error) {
  int count = 0;
  int r = pfa_fgets(file, size, &count, buffer);
  if (error) *error = r == PFA_E_QUIT ? 0 : r;
  return r == 0 ? buffer : nullptr;
}

int seam_fputs(const char *text, vex_file *file) { return pfa_fputs(file, text) == 0 ? 0 : -1; }

const char *seam_full_name(vex_file *file) {
  thread_local char name[PFA_NAME_SIZE];
  if (pfa_get_full_name(file, name) != 0) name[0] = 0;
  return name;
}

}  // namespace

}  // namespace kw::pfa::stream

namespace kw::pfa {

void setup_streams() {
  using namespace kw::pfa::stream;
  kw::text::FileLayer layer{};
  layer.fgetc = pfa_fgetc;
  layer.fgets = seam_fgets;
  layer.fputs = seam_fputs;
  layer.full_name = seam_full_name;
  kw::text::set_file_layer(layer);
}

}  // namespace kw::pfa

using namespace kw::pfa::stream;

extern "C" {

kw_wchar pfa_get_unicode_wc(vex_file *f) { return kw::text::get_unicode_wc(get_byte, f); }

int pfa_put_unicode_wc(kw_wchar wc, vex_file *f) {
  return put_unicode_wc(wc, put_byte, f) < 0 ? -1 : 0;
}

int pfa_fgetwc(vex_file *f) {
  kw_wchar wc = pfa_get_unicode_wc(f);
  return wc == 0xFFFF ? -1 : wc;
}

int pfa_fputwc(kw_wchar wc, vex_file *f) {
  if (!btkUnicodeIsEnabled()) return pfa_put_unicode_wc(wc, f) == 0 ? wc : -1;
  char bytes[4];
  int n = btk_wctomb(bytes, wc);
  if (n <= 0) return -1;
  return pfa_write_file(f, n, bytes) == 0 ? wc : -1;
}

int pfa_fputws(const kw_wchar *w, vex_file *f) {
  if (!w) return -1;
  char *text = make_wstostr(w);
  if (!text) {
    dbg_err_crash("pfa_fputws", "conversion failed");
    return -1;
  }
  int r = pfa_fputs(f, text);
  relmem(&text);
  return r == 0 ? 0 : -1;
}

kw_wchar *pfa_fgetws(kw_wchar *w, int size, vex_file *f) {
  if (!w || size < 1) return nullptr;
  w[0] = 0;
  // Each thread its own line buffer: streams belong to threads.
  thread_local std::string line;
  int used = 0;
  bool any = false;
  while (size - used >= 2) {
    // A line of k bytes gives at most k units, so it always fits.
    int room = size - used;
    line.resize(static_cast<size_t>(room));
    int got = 0;
    int r = pfa_fgets(f, room, &got, line.data());
    if (r == PFA_E_QUIT) break;
    if (r != 0) {
      char name[PFA_NAME_SIZE];
      if (pfa_get_full_name(f, name) != 0) name[0] = 0;
      dbg_err_crash("pfa_fgetws", "error %d reading %s", r, name);
      break;
    }
    any = true;
    int32_t n =
        btkUnicodeIsEnabled() ? btkStrUtf8ToUtf16(line.data(), got, w + used, room, nullptr) : -1;
    if (n < 0) {
      strtows(w + used, line.c_str());
      n = wslen(w + used);
    }
    used += n;
    if (got > 0 && line[static_cast<size_t>(got) - 1] == '\n') break;
  }
  w[used] = 0;
  return any ? w : nullptr;
}

}  // extern "C"
