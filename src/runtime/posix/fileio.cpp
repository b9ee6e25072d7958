// Buffered file streams on POSIX: stdio streams opened close-on-exec, or
// plain descriptors for the low-level opens. Line reads work on the
// stream's own buffer (glibc's read pointers), so that a line costs one
// memchr and one memcpy and NUL bytes stay data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "runtime/fileio_internal.h"

namespace kw::runtime::fileio {

struct File {
  FILE *stream = nullptr;  // null for a descriptor
  int fd = -1;             // the descriptor of a descriptor-level open
  bool borrowed = false;   // a standard stream: never closed
  int pushed = -1;         // a byte pushed back on a descriptor
  int last = 0;            // 1 read, 2 write: update streams need a seek between
};

namespace {

OpenError classify(int err) {
  switch (err) {
    case EMFILE:
    case ENFILE:
      return OpenError::kTooManyOpen;
    case ENOENT:
    case ENOTDIR:
      return OpenError::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return OpenError::kNoAccess;
    case EISDIR:
      return OpenError::kIsDirectory;
    default:
      return OpenError::kOther;
  }
}

void set_error(OpenError *error, int err) {
  if (error) *error = classify(err);
}

// open(2) flags of a stream mode, or -1 for a bad mode.
int mode_flags(const char *mode) {
  bool plus = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
    case 'R':
      return plus ? O_RDWR : O_RDONLY;
    case 'w':
    case 'W':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a':
    case 'A':
      return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default:
      return -1;
  }
}

const char *fdopen_mode(const char *mode) {
  bool plus = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r':
    case 'R':
      return plus ? "r+" : "r";
    case 'w':
    case 'W':
      return plus ? "w+" : "w";
    default:
      return plus ? "a+" : "a";
  }
}

mode_t posix_permissions(int permissions) {
  if (permissions & ~0x180) return static_cast<mode_t>(permissions & 07777);
  mode_t m = 0;
  if (permissions & 0x100) m |= 0444;
  if (permissions & 0x80) m |= 0222;
  return m ? m : 0666;
}

// An update stream must be positioned between reading and writing.
void switch_to(File *f, int op) {
  if (f->stream && f->last && f->last != op && !f->borrowed) std::fseek(f->stream, 0, SEEK_CUR);
  f->last = op;
}

File *wrap_fd(int fd, const char *mode, OpenError *error) {
  auto *f = new (std::nothrow) File;
  if (!f) {
    ::close(fd);
    set_error(error, ENOMEM);
    return nullptr;
  }
  if (mode) {
    f->stream = ::fdopen(fd, fdopen_mode(mode));
    if (!f->stream) {
      int err = errno;
      ::close(fd);
      delete f;
      set_error(error, err);
      return nullptr;
    }
  } else {
    f->fd = fd;
  }
  if (error) *error = OpenError::kNone;
  return f;
}

int open_checked(const char *path, int flags, mode_t perms, OpenError *error) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, perms);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    set_error(error, errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    set_error(error, EISDIR);
    return -1;
  }
  return fd;
}

long fd_read(int fd, void *buf, size_t n) {
  for (;;) {
    ssize_t r = ::read(fd, buf, n);
    if (r >= 0) return static_cast<long>(r);
    if (errno != EINTR) return -1;
  }
}

}  // namespace

File *open_stream(const char *path, const char *mode, bool secure, OpenError *error) {
  if (!path || !mode) {
    set_error(error, EINVAL);
    return nullptr;
  }
  int flags = mode_flags(mode);
  if (flags < 0) {
    set_error(error, EINVAL);
    return nullptr;
  }
  if (secure) flags |= O_NOFOLLOW;
  int fd = open_checked(path, flags, secure ? 0600 : 0666, error);
  if (fd < 0) return nullptr;
  return wrap_fd(fd, mode, error);
}

File *open_descriptor(const char *path, int flags, int permissions, OpenError *error) {
  if (!path) {
    set_error(error, EINVAL);
    return nullptr;
  }
  int o = (flags & kReadWrite) ? O_RDWR : (flags & kWriteOnly) ? O_WRONLY : O_RDONLY;
  if (flags & kAppend) o |= O_APPEND;
  if (flags & kCreate) o |= O_CREAT;
  if (flags & kTruncate) o |= O_TRUNC;
  if (flags & kExclusive) o |= O_EXCL;
  int fd = open_checked(path, o, posix_permissions(permissions), error);
  if (fd < 0) return nullptr;
  return wrap_fd(fd, nullptr, error);
}

File *standard_stream(int which) {
  auto *f = new (std::nothrow) File;
  if (!f) return nullptr;
  f->stream = which == 0 ? stdin : which == 1 ? stdout : stderr;
  f->borrowed = true;
  return f;
}

int close(File *file) {
  if (!file) return -1;
  int r = 0;
  if (file->stream) {
    r = file->borrowed ? std::fflush(file->stream) : std::fclose(file->stream);
  } else if (file->fd >= 0) {
    r = ::close(file->fd);
  }
  delete file;
  return r == 0 ? 0 : -1;
}

long read(File *file, void *buf, size_t n) {
  if (n == 0) return 0;
  if (!file->stream) {
    long got = 0;
    auto *out = static_cast<unsigned char *>(buf);
    if (file->pushed >= 0) {
      *out++ = static_cast<unsigned char>(file->pushed);
      file->pushed = -1;
      if (--n == 0) return 1;
      got = 1;
    }
    long r = fd_read(file->fd, out, n);
    return r < 0 ? (got ? got : -1) : got + r;
  }
  switch_to(file, 1);
  size_t r = ::fread_unlocked(buf, 1, n, file->stream);
  if (r == 0 && std::ferror(file->stream)) {
    std::clearerr(file->stream);
    return -1;
  }
  return static_cast<long>(r);
}

long read_line(File *file, char *buf, size_t cap) {
  if (cap == 0) return 0;
  size_t n = 0;
  if (!file->stream) {
    while (n < cap) {
      int c = get_byte(file);
      if (c < 0) break;
      buf[n++] = static_cast<char>(c);
      if (c == '\n') break;
    }
    return static_cast<long>(n);
  }
  switch_to(file, 1);
  FILE *fp = file->stream;
  while (n < cap) {
    // What the stream holds in its buffer, scanned in place.
    char *p = fp->_IO_read_ptr, *end = fp->_IO_read_end;
    if (p < end) {
      size_t avail = static_cast<size_t>(end - p);
      if (avail > cap - n) avail = cap - n;
      const void *nl = std::memchr(p, '\n', avail);
      size_t take = nl ? static_cast<size_t>(static_cast<const char *>(nl) - p) + 1 : avail;
      std::memcpy(buf + n, p, take);
      fp->_IO_read_ptr += take;
      n += take;
      if (nl) break;
      continue;
    }
    int c = ::getc_unlocked(fp);  // refills the buffer
    if (c == EOF) {
      if (std::ferror(fp)) {
        std::clearerr(fp);
        return n ? static_cast<long>(n) : -1;
      }
      break;
    }
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  return static_cast<long>(n);
}

int get_byte(File *file) {
  if (!file->stream) {
    if (file->pushed >= 0) {
      int c = file->pushed;
      file->pushed = -1;
      return c;
    }
    unsigned char c;
    return fd_read(file->fd, &c, 1) == 1 ? c : -1;
  }
  switch_to(file, 1);
  int c = ::getc_unlocked(file->stream);
  return c == EOF ? -1 : c;
}

int unget_byte(File *file, int c) {
  if (c < 0) return -1;
  if (!file->stream) {
    if (file->pushed >= 0) return -1;
    file->pushed = c & 0xFF;
    return file->pushed;
  }
  int r = std::ungetc(c & 0xFF, file->stream);
  return r == EOF ? -1 : r;
}

int write(File *file, const void *buf, size_t n) {
  if (n == 0) return 0;
  if (!file->stream) {
    auto *p = static_cast<const char *>(buf);
    while (n > 0) {
      ssize_t w = ::write(file->fd, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      p += w;
      n -= static_cast<size_t>(w);
    }
    return 0;
  }
  switch_to(file, 2);
  return ::fwrite_unlocked(buf, 1, n, file->stream) == n ? 0 : -1;
}

int64_t tell(File *file) {
  if (!file->stream) {
    off_t r = ::lseek(file->fd, 0, SEEK_CUR);
    if (r < 0) return -1;
    return static_cast<int64_t>(r) - (file->pushed >= 0 ? 1 : 0);
  }
  off_t r = ::ftello(file->stream);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

int seek(File *file, int64_t offset, int whence) {
  int w = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : -1;
  if (w < 0) return -1;
  if (!file->stream) {
    if (w == SEEK_CUR && file->pushed >= 0) offset -= 1;
    file->pushed = -1;
    return ::lseek(file->fd, static_cast<off_t>(offset), w) < 0 ? -1 : 0;
  }
  file->last = 0;
  return ::fseeko(file->stream, static_cast<off_t>(offset), w) == 0 ? 0 : -1;
}

int flush(File *file) {
  if (!file->stream) return 0;
  return std::fflush(file->stream) == 0 ? 0 : -1;
}

int truncate(File *file, int64_t size) {
  if (size < 0) return -1;
  int fd = file->fd;
  if (file->stream) {
    if (std::fflush(file->stream) != 0) return -1;
    fd = ::fileno(file->stream);
  }
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : -1;
}

int set_buffer(File *file, char *buf, int mode, size_t size) {
  if (!file->stream) return 0;  // descriptors are unbuffered
  int m = mode == 0 ? _IOFBF : mode == 1 ? _IOLBF : mode == 2 ? _IONBF : -1;
  if (m < 0) return -1;
  return std::setvbuf(file->stream, buf, m, size) == 0 ? 0 : -1;
}

int64_t copy(File *from, File *to) {
  char buf[16384];
  int64_t total = 0;
  for (;;) {
    long n = read(from, buf, sizeof buf);
    if (n < 0) return -1;
    if (n == 0) return total;
    if (write(to, buf, static_cast<size_t>(n)) != 0) return -1;
    total += n;
  }
}

bool is_descriptor(const File *file) { return file && !file->stream; }

}  // namespace kw::runtime::fileio
