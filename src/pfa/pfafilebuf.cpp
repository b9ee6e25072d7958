// pfaFileBuf: the buffered stream of the runtime over a file-layer stream.
#include "keelwork/pfafilebuf.hpp"

#include <cstdio>

#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "keelwork/pfastream.h"
#include "keelwork/wstring.h"

pfaFileBuf::pfaFileBuf() = default;

// The base destructor can no longer reach the overrides: close here.
pfaFileBuf::~pfaFileBuf() {
  if (IsOpen()) Close();
}

const char *pfaFileBuf::ModeFor(std::ios_base::openmode flags) {
  using std::ios;
  const ios::openmode access = flags & (ios::in | ios::out | ios::app | ios::trunc);
  if (access == ios::in) return "rb";
  if (access == (ios::in | ios::out)) return "rb+";
  if (access == ios::out || access == (ios::out | ios::trunc)) return "wb";
  if (access == (ios::in | ios::out | ios::trunc)) return "wb+";
  if (access == ios::app || access == (ios::out | ios::app)) return "ab";
  if (access == (ios::in | ios::app) || access == (ios::in | ios::out | ios::app)) return "ab+";
  return nullptr;
}

bool pfaFileBuf::rtl_open_impl(const char *name, std::ios_base::openmode flags) {
  if (file_ || !name) return false;
  const char *mode = ModeFor(flags);
  if (!mode) return false;
  kw_wchar *wname = make_strtows(name);  // a name in the session encoding
  if (!wname) return false;
  file_ = pfa_fopen_wfile_vers(wname, mode, PFA_VERS_OWN);
  relmem(&wname);
  return file_ != nullptr;
}

long pfaFileBuf::rtl_read(char *buf, long n) {
  if (!file_ || n < 0) return -1;
  int want = n > 0x7fffffff ? 0x7fffffff : static_cast<int>(n);
  int got = 0;
  int r = pfa_read_file(file_, want, &got, buf);
  if (r == PFA_E_QUIT) return 0;
  return r == 0 ? got : -1;
}

long pfaFileBuf::rtl_write(const char *buf, long n) {
  if (!file_ || n < 0 || n > 0x7fffffff) return -1;
  return pfa_write_file(file_, static_cast<int>(n), buf) == 0 ? n : -1;
}

int64_t pfaFileBuf::rtl_lseek(int64_t offset, int whence) {
  if (!file_) return -1;
  int64_t at = 0;
  switch (whence) {
    case SEEK_SET:
      at = offset;
      break;
    case SEEK_CUR:
      if (pfa_get_file_position(file_, &at) != 0) return -1;
      at += offset;
      break;
    case SEEK_END:
      if (pfa_unwind_file(file_) != 0 || pfa_get_file_position(file_, &at) != 0) return -1;
      at += offset;
      if (offset == 0) return at;
      break;
    default:
      return -1;
  }
  if (at < 0 || pfa_set_file_position(file_, at) != 0) return -1;
  return at;
}

int64_t pfaFileBuf::rtl_tell() {
  int64_t at = 0;
  return file_ && pfa_get_file_position(file_, &at) == 0 ? at : -1;
}

int pfaFileBuf::rtl_close_impl() {
  if (file_) pfa_dispose(&file_);
  file_ = nullptr;
  return 0;
}

int pfaFileBuf::rtl_trunc(long) { return 0; }
