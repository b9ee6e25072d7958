// Buffered file streams of the runtime layer, as the file layer's standard
// file system and standard streams use them: a stream opened by mode
// ("r", "w+", ...) or by the file layer's low-level flags, with
// reading, line reading, writing, positions and buffering. The platform
// version lives in posix/fileio.cpp.
#ifndef KW_RUNTIME_FILEIO_INTERNAL_H
#define KW_RUNTIME_FILEIO_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace kw::runtime::fileio {

// An open stream; opaque.
struct File;

// The file layer's low-level open flags (pfa_open).
inline constexpr int kReadOnly = 0x0;
inline constexpr int kWriteOnly = 0x1;
inline constexpr int kReadWrite = 0x2;
inline constexpr int kAppend = 0x8;
inline constexpr int kCreate = 0x100;
inline constexpr int kTruncate = 0x200;
inline constexpr int kExclusive = 0x400;
inline constexpr int kText = 0x4000;
inline constexpr int kBinary = 0x8000;

// What an open failed with.
enum class OpenError { kNone, kTooManyOpen, kNotFound, kNoAccess, kIsDirectory, kOther };

// Opens `path` with a stream mode ("r", "wb+", ...; 'b' and 't' are
// accepted and ignored). `secure`: a created file gets mode 0600 and a
// symbolic link in the last component is refused. Null on failure, with
// `*error` (may be null) set.
File *open_stream(const char *path, const char *mode, bool secure, OpenError *error);
// Opens `path` with the low-level flags above and permission bits
// (0x100 owner read, 0x80 owner write as the file layer has them, or
// POSIX bits when larger). Reads and writes then go straight to the
// descriptor.
File *open_descriptor(const char *path, int flags, int permissions, OpenError *error);
// The process's standard input (0), output (1) or error (2); closing it
// only flushes.
File *standard_stream(int which);
// Closes and releases; 0, or -1 when the final flush or close failed.
int close(File *file);

// Up to `n` bytes; the count, 0 at the end, -1 on error.
long read(File *file, void *buf, size_t n);
// One line: bytes up to and including '\n', at most `cap` bytes; the
// count (NUL bytes are data), 0 at the end, -1 on error. No terminator is
// written.
long read_line(File *file, char *buf, size_t cap);
// One byte, -1 at the end; pushes one back.
int get_byte(File *file);
int unget_byte(File *file, int c);
// Writes all `n` bytes; 0, or -1 on error.
int write(File *file, const void *buf, size_t n);

// Position in bytes, -1 on error.
int64_t tell(File *file);
// `whence` 0 start, 1 current, 2 end; 0 or -1.
int seek(File *file, int64_t offset, int whence);
int flush(File *file);
// Truncates (or extends) to `size` bytes; 0 or -1.
int truncate(File *file, int64_t size);
// Buffering: `mode` 0 full, 1 line, 2 none (the runtime's _IOFBF, _IOLBF,
// _IONBF); `buf` may be null. 0 or -1.
int set_buffer(File *file, char *buf, int mode, size_t size);
// Copies the rest of `from` to `to`; the bytes copied, -1 on error.
int64_t copy(File *from, File *to);
// Whether the stream reads from a terminal or pipe (no positions).
bool is_descriptor(const File *file);

}  // namespace kw::runtime::fileio

#endif  // KW_RUNTIME_FILEIO_INTERNAL_H
