// btkFileBuf: a buffered std::streambuf over a file, with the raw file
// operations as virtual functions (rtl_*) so that derived classes can put
// any file object behind the same buffering.
//
// The base class works on operating-system descriptors: Open("name",
// std::ios::in | std::ios::out ...) opens a file with rtl_open_impl, and
// std::istream / std::ostream read and write through it. A derived class
// overrides the rtl_* operations (read, write, seek, tell, close, ...).
//
// One buffer serves reading and writing: switching direction flushes or
// drops the buffered bytes and repositions the file. A btkFileBuf is used
// by one thread at a time; lock()/unlock() let callers serialise access.
#ifndef KEELWORK_BTK_FILEBUF_HPP
#define KEELWORK_BTK_FILEBUF_HPP

#include <cstdint>
#include <ios>
#include <mutex>
#include <streambuf>
#include <vector>

#include "kw_base.h"

class KW_API btkFileBuf : public std::streambuf {
 public:
  btkFileBuf();
  ~btkFileBuf() override;
  btkFileBuf(const btkFileBuf &) = delete;
  btkFileBuf &operator=(const btkFileBuf &) = delete;

  // Opens `name` (UTF-8) with a combination of std::ios flags (in, out,
  // app, trunc, binary). Returns this, or null on failure.
  btkFileBuf *Open(const char *name, std::ios_base::openmode mode);
  // Opens an anonymous temporary file for reading and writing.
  btkFileBuf *OpenTemp();
  // Flushes and closes; returns this, or null when it was not open or the
  // final write failed.
  btkFileBuf *Close();
  bool IsOpen() const { return open_; }

  virtual void lock();
  virtual void unlock();
  // Sets the buffer size in bytes (0: unbuffered); only before I/O starts.
  virtual void setCache(std::size_t size);

 protected:
  // ---- stream-buffer operations ----
  int_type overflow(int_type c) override;
  int_type pbackfail(int_type c) override;
  std::streamsize showmanyc() override;
  int_type underflow() override;
  int_type uflow() override;
  std::streamsize xsgetn(char_type *s, std::streamsize n) override;
  std::streamsize xsputn(const char_type *s, std::streamsize n) override;
  pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;
  std::streambuf *setbuf(char_type *s, std::streamsize n) override;
  int sync() override;
  void imbue(const std::locale &loc) override;

  // ---- raw file operations ----
  // Opens the file; returns true on success. `flags` are std::ios flags.
  virtual bool rtl_open_impl(const char *name, std::ios_base::openmode flags);
  // Opens an anonymous temporary file.
  virtual bool rtl_opentmp();
  // Reads up to n bytes; the count, 0 at end of file, -1 on error.
  virtual long rtl_read(char *buf, long n);
  // Writes n bytes; the count written, -1 on error.
  virtual long rtl_write(const char *buf, long n);
  // Truncates the file to `length` bytes, `high` holding the upper 32 bits.
  virtual int rtl_trunc(long high, long length);
  // Moves the file position; the new position, -1 on error. `whence` is
  // SEEK_SET, SEEK_CUR or SEEK_END.
  virtual int64_t rtl_lseek(int64_t offset, int whence);
  // Pushes buffered data of the file to its device; 0 or -1.
  virtual int rtl_flush();
  // The file position; -1 on error.
  virtual int64_t rtl_tell();
  // Closes the file; 0 or -1.
  virtual int rtl_close_impl();
  // Truncates the file to `length` bytes.
  virtual int rtl_trunc(long length);

  // The descriptor of the base implementation (-1 when closed).
  int fd() const { return fd_; }
  std::ios_base::openmode mode() const { return mode_; }

 private:
  bool flush_output();  // writes the put area
  void drop_input();    // repositions the file at the logical read position
  bool ensure_buffer();

  int fd_ = -1;
  bool open_ = false;
  std::ios_base::openmode mode_{};
  std::vector<char> buffer_;
  std::size_t cache_size_ = 8192;
  char *user_buffer_ = nullptr;
  std::size_t user_size_ = 0;
  std::recursive_mutex lock_;
};

#endif  // KEELWORK_BTK_FILEBUF_HPP
