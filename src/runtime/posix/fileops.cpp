// Opening with Windows-style flags, copying and moving files on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "runtime/fileops_internal.h"

namespace kw::runtime::fileops {
namespace {

bool write_all(int fd, const char *p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool exists(const char *path) {
  struct stat st;
  return ::lstat(path, &st) == 0;
}

}  // namespace

int open_file(const char *path, int flags, int permissions) {
  int o = O_CLOEXEC;
  if (flags & kOReadWrite)
    o |= O_RDWR;
  else if (flags & kOWrite)
    o |= O_WRONLY;
  else
    o |= O_RDONLY;
  if (flags & kOAppend) o |= O_APPEND;
  if (flags & kOCreate) o |= O_CREAT;
  if (flags & kOTruncate) o |= O_TRUNC;
  if (flags & kOExclusive) o |= O_EXCL;
  mode_t mode = 0;
  if (permissions & ~0x180) {
    mode = static_cast<mode_t>(permissions & 07777);
  } else {
    // _S_IREAD / _S_IWRITE: read for everyone, write as asked.
    mode = 0444;
    if (permissions & 0x80) mode |= 0222;
    if (permissions == 0) mode = 0666;
  }
  int fd;
  do {
    fd = ::open(path, o, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool copy_file(const char *from, const char *to, bool fail_if_exists) {
  int in = ::open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    int saved = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(in);
    errno = saved;
    return false;
  }
  if (fail_if_exists && exists(to)) {
    ::close(in);
    errno = EEXIST;
    return false;
  }
  std::string tmp = std::string(to) + ".kwcopy-XXXXXX";
  int out = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (out < 0) {
    int saved = errno;
    ::close(in);
    errno = saved;
    return false;
  }
  bool ok = true;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!write_all(out, buf, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ok = ok && ::fchmod(out, st.st_mode & 07777) == 0;
  int saved = errno;
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (ok && fail_if_exists) {
    // link() refuses an existing target where rename() would replace it.
    ok = ::link(tmp.c_str(), to) == 0;
    saved = errno;
    ::unlink(tmp.c_str());
  } else if (ok) {
    ok = ::rename(tmp.c_str(), to) == 0;
    saved = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    errno = saved;
  }
  return ok;
}

bool move_file(const char *from, const char *to, bool replace, bool copy_allowed) {
  if (!replace && exists(to)) {
    errno = EEXIST;
    return false;
  }
  if (::rename(from, to) == 0) return true;
  if (errno != EXDEV || !copy_allowed) return false;
  if (!copy_file(from, to, !replace)) return false;
  return ::unlink(from) == 0;
}

}  // namespace kw::runtime::fileops
