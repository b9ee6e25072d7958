// pfaFileBuf: a stream buffer over a file-layer stream, so that
// std::istream and std::ostream read and write any vex_file (files of
// every location type, substitutes, the standard streams).
//
//   pfaFileBuf buf;
//   if (buf.Open("c:\\work\\notes.txt", std::ios::in)) {  // a session-encoded name
//     std::istream in(&buf);
//     for (std::string line; std::getline(in, line);) ...
//   }
//
// The file is opened in binary mode: bytes pass unchanged. Open accepts
// in, in|out, out, out|trunc, in|out|trunc, app, out|app, in|app and
// in|out|app (binary may be added); other combinations fail. The buffer
// owns its vex_file and closes and frees it on Close() or destruction. One
// thread at a time.
#ifndef KEELWORK_PFAFILEBUF_HPP
#define KEELWORK_PFAFILEBUF_HPP

#include <cstdint>
#include <ios>

#include "btk_filebuf.hpp"
#include "kw_base.h"
#include "pfa.h"

class KW_API pfaFileBuf : public btkFileBuf {
 public:
  pfaFileBuf();
  ~pfaFileBuf() override;

  // The open file, or null.
  vex_file *file() const { return file_; }
  // The stream mode Open uses for a combination of std::ios flags ("rb",
  // "rb+", "wb", "wb+", "ab", "ab+"), or null when it is refused.
  static const char *ModeFor(std::ios_base::openmode flags);

 protected:
  bool rtl_open_impl(const char *name, std::ios_base::openmode flags) override;
  long rtl_read(char *buf, long n) override;
  long rtl_write(const char *buf, long n) override;
  // Whence SEEK_SET, SEEK_CUR or SEEK_END; the new position, or -1.
  int64_t rtl_lseek(int64_t offset, int whence) override;
  int64_t rtl_tell() override;
  int rtl_close_impl() override;
  // Truncation is not offered through this buffer: always false (0).
  int rtl_trunc(long length) override;
  using btkFileBuf::rtl_trunc;

 private:
  vex_file *file_ = nullptr;
};

#endif  // KEELWORK_PFAFILEBUF_HPP
