// File-system calls of the runtime layer that the file layer's built-in
// file systems need: home and current directory, host name, file kinds,
// directory reading, access tests and whether a file system is remote. The
// platform versions live in posix/fsys.cpp.
#ifndef KW_RUNTIME_FSYS_INTERNAL_H
#define KW_RUNTIME_FSYS_INTERNAL_H

#include <string>
#include <string_view>

namespace kw::runtime::fsys {

bool home_dir(std::string &out);
bool current_dir(std::string &out);
bool host_name(std::string &out);
// 1 directory, 0 something else, -1 missing.
int path_kind(const char *path);
// The name of the entry of `dir` equal to `name` ignoring ASCII case.
bool find_case_insensitive(const std::string &dir, std::string_view name, std::string &found);
// Directory reading: an opaque handle, entries one by one (false at the
// end), and close.
void *dir_open(const char *path);
bool dir_next(void *handle, std::string &name, bool *is_dir);
void dir_close(void *handle);
// 1 when the file system at `path` is a network or FUSE file system.
bool is_remote(const char *path);
// Access test with access(2) modes: 0 when allowed, kAccessMissing when the
// file or a directory on its path does not exist, kAccessDenied otherwise.
inline constexpr int kAccessMissing = 1;
inline constexpr int kAccessDenied = 2;
int access_ok(const char *path, int mode);

}  // namespace kw::runtime::fsys

#endif  // KW_RUNTIME_FSYS_INTERNAL_H
