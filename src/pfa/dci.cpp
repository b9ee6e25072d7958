// The cache-invalidating wrappers: each calls the runtime's service and
// then drops the directory-cache entries of the directories it touched, so
// that the next listing of those directories reads them again.
#include <cstring>

#include "keelwork/btk_os.h"
#include "keelwork/pfadir.h"
#include "runtime/fileops_internal.h"

namespace {

namespace fileops = kw::runtime::fileops;

// Depth of wrapper calls on this thread: a console file opened from inside
// another wrapper's work does not invalidate.
thread_local int t_depth = 0;

struct Nested {
  Nested() { ++t_depth; }
  ~Nested() { --t_depth; }
};

void update(const char *name) {
  if (name) pfa_file_name_update_dir_cache(name);
}

}  // namespace

extern "C" {

FILE *dci_fopen(const char *name, const char *mode) {
  Nested nested;
  FILE *f = btk_fopen(name, mode);
  if (name && mode && mode[0] != 'r' && mode[0] != 'R' &&
      !(t_depth > 1 && std::strcmp(name, "std.out") == 0))
    update(name);
  return f;
}

int dci_open(const char *name, int flags, int permissions) {
  Nested nested;
  int fd = name ? fileops::open_file(name, flags, permissions) : -1;
  if (flags & fileops::kOCreate) update(name);
  return fd;
}

int dci_rename(const char *old_name, const char *new_name) {
  Nested nested;
  int r = btk_rename(old_name, new_name);
  update(old_name);
  update(new_name);
  return r;
}

int dci_unlink(const char *name) {
  Nested nested;
  int r = btk_unlink(name);
  update(name);
  return r;
}

int dci_mkdir(const char *name, int mode) {
  Nested nested;
  int r = btk_mkdir(name, mode);
  update(name);
  return r;
}

int dci_rmdir(const char *name) {
  Nested nested;
  int r = btk_rmdir(name);
  update(name);
  return r;
}

int dci_DeleteFile(const char *name) {
  Nested nested;
  int r = name && btk_unlink(name) == 0 ? 1 : 0;
  update(name);
  return r;
}

intptr_t dci_CreateFile(const char *name, uint32_t access, uint32_t share, void *security,
                        uint32_t disposition, uint32_t flags, void *template_file) {
  Nested nested;
  intptr_t h = uCreateFile(name, access, share, security, disposition, flags, template_file);
  // Opening an existing file for reading creates nothing.
  if (disposition != BTK_OPEN_EXISTING || (access & BTK_GENERIC_WRITE)) update(name);
  return h;
}

int dci_CreateDirectory(const char *name, void *) {
  Nested nested;
  int r = name && btk_mkdir(name, 0777) == 0 ? 1 : 0;
  update(name);
  return r;
}

int dci_CreateDirectoryEx(const char *template_dir, const char *name, void *) {
  Nested nested;
  int mode = 0777;
  btk_stat_t st;
  if (template_dir && btk_stat(template_dir, &st) == 0) mode = static_cast<int>(st.mode & 07777);
  int r = name && btk_mkdir(name, mode) == 0 ? 1 : 0;
  update(name);
  return r;
}

int dci_RemoveDirectory(const char *name) {
  Nested nested;
  int r = name && btk_rmdir(name) == 0 ? 1 : 0;
  update(name);
  return r;
}

int dci_CopyFile(const char *from, const char *to, int fail_if_exists) {
  Nested nested;
  int r = from && to && fileops::copy_file(from, to, fail_if_exists != 0) ? 1 : 0;
  update(to);
  return r;
}

int dci_CopyFileEx(const char *from, const char *to, void *, void *, int *cancel, uint32_t flags) {
  Nested nested;
  int r = 0;
  if (from && to && !(cancel && *cancel)) r = fileops::copy_file(from, to, flags & 0x1) ? 1 : 0;
  update(to);
  return r;
}

int dci_MoveFile(const char *from, const char *to) {
  Nested nested;
  int r = from && to && fileops::move_file(from, to, false, false) ? 1 : 0;
  update(from);
  update(to);
  return r;
}

int dci_MoveFileEx(const char *from, const char *to, uint32_t flags) {
  Nested nested;
  int r = from && to && fileops::move_file(from, to, flags & 0x1, flags & 0x2) ? 1 : 0;
  update(from);
  update(to);
  return r;
}

}  // extern "C"
