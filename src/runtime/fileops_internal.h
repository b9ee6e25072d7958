// Whole-file calls behind the cache-invalidating wrappers of the file
// layer: opening with the Windows-style _O_* flags, copying and moving a
// file. The platform version lives in posix/fileops.cpp. Each answers like
// the Windows call it stands for; errno is set on failure.
#ifndef KW_RUNTIME_FILEOPS_INTERNAL_H
#define KW_RUNTIME_FILEOPS_INTERNAL_H

#include <cstdint>

namespace kw::runtime::fileops {

// The _O_* flags the callers pass (they are stored in callers' code).
inline constexpr int kOWrite = 0x1;
inline constexpr int kOReadWrite = 0x2;
inline constexpr int kOAppend = 0x8;
inline constexpr int kOCreate = 0x100;
inline constexpr int kOTruncate = 0x200;
inline constexpr int kOExclusive = 0x400;

// A close-on-exec descriptor, or -1. `permissions` holds _S_IREAD (0x100)
// and _S_IWRITE (0x80) or plain POSIX bits; the umask applies.
int open_file(const char *path, int flags, int permissions);
// Copies the contents and permission bits of `from` onto `to` (replaced
// unless `fail_if_exists`); the copy is written beside the target and
// renamed into place. true on success.
bool copy_file(const char *from, const char *to, bool fail_if_exists);
// Moves `from` to `to`: a rename, or across file systems a copy and a
// removal when `copy_allowed`. An existing target is replaced only with
// `replace`. true on success.
bool move_file(const char *from, const char *to, bool replace, bool copy_allowed);

}  // namespace kw::runtime::fileops

#endif  // KW_RUNTIME_FILEOPS_INTERNAL_H
