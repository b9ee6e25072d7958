// btkFileBuf on POSIX descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "keelwork/btk_filebuf.hpp"
#include "keelwork/btk_os.h"

btkFileBuf::btkFileBuf() = default;

// A derived class must Close() in its own destructor: by the time this one
// runs, its rtl_* overrides are gone.
btkFileBuf::~btkFileBuf() {
  if (open_) Close();
}

btkFileBuf *btkFileBuf::Open(const char *name, std::ios_base::openmode mode) {
  if (open_ || !name) return nullptr;
  if (!rtl_open_impl(name, mode)) return nullptr;
  mode_ = mode;
  open_ = true;
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
  return this;
}

btkFileBuf *btkFileBuf::OpenTemp() {
  if (open_ || !rtl_opentmp()) return nullptr;
  mode_ = std::ios::in | std::ios::out | std::ios::binary;
  open_ = true;
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
  return this;
}

btkFileBuf *btkFileBuf::Close() {
  if (!open_) return nullptr;
  bool ok = flush_output();
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
  if (rtl_close_impl() != 0) ok = false;
  open_ = false;
  return ok ? this : nullptr;
}

void btkFileBuf::lock() { lock_.lock(); }
void btkFileBuf::unlock() { lock_.unlock(); }

void btkFileBuf::setCache(std::size_t size) {
  if (gptr() || pptr()) return;  // I/O has started
  cache_size_ = size;
}

bool btkFileBuf::ensure_buffer() {
  if (user_buffer_) return true;
  std::size_t want = cache_size_ ? cache_size_ : 1;
  if (buffer_.size() != want) buffer_.assign(want, 0);
  return true;
}

bool btkFileBuf::flush_output() {
  if (!pbase() || pptr() == pbase()) return true;
  long n = static_cast<long>(pptr() - pbase());
  const char *p = pbase();
  while (n > 0) {
    long w = rtl_write(p, n);
    if (w <= 0) return false;
    p += w;
    n -= w;
  }
  setp(pbase(), epptr());
  return true;
}

void btkFileBuf::drop_input() {
  if (!eback()) return;
  off_type unread = egptr() - gptr();
  if (unread > 0) rtl_lseek(-unread, SEEK_CUR);
  setg(nullptr, nullptr, nullptr);
}

btkFileBuf::int_type btkFileBuf::underflow() {
  if (!open_ || !(mode_ & std::ios::in)) return traits_type::eof();
  if (gptr() && gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (pptr() && !flush_output()) return traits_type::eof();
  setp(nullptr, nullptr);
  ensure_buffer();
  char *buf = user_buffer_ ? user_buffer_ : buffer_.data();
  std::size_t size = user_buffer_ ? user_size_ : buffer_.size();
  long n = rtl_read(buf, static_cast<long>(size));
  if (n <= 0) {
    setg(nullptr, nullptr, nullptr);
    return traits_type::eof();
  }
  setg(buf, buf, buf + n);
  return traits_type::to_int_type(*gptr());
}

btkFileBuf::int_type btkFileBuf::uflow() {
  int_type c = underflow();
  if (!traits_type::eq_int_type(c, traits_type::eof())) gbump(1);
  return c;
}

btkFileBuf::int_type btkFileBuf::overflow(int_type c) {
  if (!open_ || !(mode_ & (std::ios::out | std::ios::app))) return traits_type::eof();
  if (eback()) drop_input();
  if (!pbase()) {
    ensure_buffer();
    char *buf = user_buffer_ ? user_buffer_ : buffer_.data();
    std::size_t size = user_buffer_ ? user_size_ : buffer_.size();
    setp(buf, buf + size);
  }
  if (pptr() == epptr() && !flush_output()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  if (cache_size_ == 0 && !user_buffer_ && !flush_output()) return traits_type::eof();
  return c;
}

btkFileBuf::int_type btkFileBuf::pbackfail(int_type c) {
  if (!eback() || gptr() == eback()) return traits_type::eof();
  gbump(-1);
  if (!traits_type::eq_int_type(c, traits_type::eof())) *gptr() = traits_type::to_char_type(c);
  return traits_type::not_eof(c);
}

std::streamsize btkFileBuf::showmanyc() {
  if (gptr() && gptr() < egptr()) return egptr() - gptr();
  return 0;
}

std::streamsize btkFileBuf::xsgetn(char_type *s, std::streamsize n) {
  std::streamsize done = 0;
  while (done < n) {
    if (gptr() && gptr() < egptr()) {
      std::streamsize k = std::min<std::streamsize>(n - done, egptr() - gptr());
      std::memcpy(s + done, gptr(), static_cast<std::size_t>(k));
      gbump(static_cast<int>(k));
      done += k;
    } else if (traits_type::eq_int_type(underflow(), traits_type::eof())) {
      break;
    }
  }
  return done;
}

std::streamsize btkFileBuf::xsputn(const char_type *s, std::streamsize n) {
  std::size_t size = user_buffer_ ? user_size_ : cache_size_;
  if (static_cast<std::size_t>(n) < size) return std::streambuf::xsputn(s, n);
  // Large writes bypass the buffer.
  if (!open_ || !(mode_ & (std::ios::out | std::ios::app))) return 0;
  if (eback()) drop_input();
  if (!flush_output()) return 0;
  std::streamsize done = 0;
  while (done < n) {
    long w = rtl_write(s + done, static_cast<long>(n - done));
    if (w <= 0) break;
    done += w;
  }
  return done;
}

btkFileBuf::pos_type btkFileBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                         std::ios_base::openmode) {
  if (!open_) return pos_type(off_type(-1));
  if (!flush_output()) return pos_type(off_type(-1));
  setp(nullptr, nullptr);
  if (dir == std::ios::cur && eback()) off -= egptr() - gptr();  // the logical position
  setg(nullptr, nullptr, nullptr);
  int whence = dir == std::ios::beg ? SEEK_SET : dir == std::ios::cur ? SEEK_CUR : SEEK_END;
  int64_t at = rtl_lseek(off, whence);
  return at < 0 ? pos_type(off_type(-1)) : pos_type(off_type(at));
}

btkFileBuf::pos_type btkFileBuf::seekpos(pos_type pos, std::ios_base::openmode which) {
  return seekoff(off_type(pos), std::ios::beg, which);
}

std::streambuf *btkFileBuf::setbuf(char_type *s, std::streamsize n) {
  if (gptr() || pptr()) return nullptr;
  if (s && n > 0) {
    user_buffer_ = s;
    user_size_ = static_cast<std::size_t>(n);
  } else {
    user_buffer_ = nullptr;
    cache_size_ = 0;
  }
  return this;
}

int btkFileBuf::sync() {
  if (!open_) return 0;
  if (!flush_output()) return -1;
  if (eback()) drop_input();
  return rtl_flush();
}

void btkFileBuf::imbue(const std::locale &) {}  // bytes pass through untouched

// ---- raw operations on descriptors ------------------------------------------------------

bool btkFileBuf::rtl_open_impl(const char *name, std::ios_base::openmode flags) {
  bool in = flags & std::ios::in, out = flags & std::ios::out, app = flags & std::ios::app,
       trunc = flags & std::ios::trunc;
  int oflags = O_CLOEXEC;
  if (in && (out || app))
    oflags |= O_RDWR;
  else if (out || app)
    oflags |= O_WRONLY;
  else
    oflags |= O_RDONLY;
  if (app) oflags |= O_APPEND | O_CREAT;
  if (out && !in && !app) oflags |= O_CREAT | O_TRUNC;
  if (trunc) oflags |= O_CREAT | O_TRUNC;
  fd_ = ::open(name, oflags, 0666);
  return fd_ >= 0;
}

bool btkFileBuf::rtl_opentmp() {
  fd_ = ::open(get_tmp_dir(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ >= 0) return true;
  std::string pattern = std::string(get_tmp_dir()) + "/kwXXXXXX";
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return false;
  ::unlink(pattern.c_str());
  return true;
}

long btkFileBuf::rtl_read(char *buf, long n) {
  for (;;) {
    ssize_t r = ::read(fd_, buf, static_cast<std::size_t>(n));
    if (r >= 0 || errno != EINTR) return static_cast<long>(r);
  }
}

long btkFileBuf::rtl_write(const char *buf, long n) {
  for (;;) {
    ssize_t r = ::write(fd_, buf, static_cast<std::size_t>(n));
    if (r >= 0 || errno != EINTR) return static_cast<long>(r);
  }
}

int btkFileBuf::rtl_trunc(long high, long length) {
  off_t size = (static_cast<off_t>(high) << 32) | static_cast<uint32_t>(length);
  return ::ftruncate(fd_, size);
}

int64_t btkFileBuf::rtl_lseek(int64_t offset, int whence) {
  return static_cast<int64_t>(::lseek(fd_, static_cast<off_t>(offset), whence));
}

int btkFileBuf::rtl_flush() { return 0; }

int64_t btkFileBuf::rtl_tell() { return rtl_lseek(0, SEEK_CUR); }

int btkFileBuf::rtl_close_impl() {
  int r = fd_ >= 0 ? ::close(fd_) : 0;
  fd_ = -1;
  return r;
}

int btkFileBuf::rtl_trunc(long length) { return ::ftruncate(fd_, static_cast<off_t>(length)); }
