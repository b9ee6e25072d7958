// The operating-system calls of the file layer's built-in file systems on
// POSIX: home and current directory, host name, file kinds, directory
// reading, access tests and whether a file system is remote.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "keelwork/btk_os.h"
#include "runtime/fsys_internal.h"

namespace kw::runtime::fsys {

bool home_dir(std::string &out) {
  if (const char *home = btk_getenv("HOME"); home && *home) {
    out = home;
    return true;
  }
  if (const char *share = btk_getenv("HOMESHARE"); share && *share) {
    out = share;
    return true;
  }
  const char *drive = btk_getenv("HOMEDRIVE");
  const char *path = btk_getenv("HOMEPATH");
  if (drive && *drive && path && *path) {
    out = std::string(drive) + path;
    return true;
  }
  struct passwd pw;
  struct passwd *result = nullptr;
  std::vector<char> buf(4096);
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && pw.pw_dir &&
      *pw.pw_dir) {
    out = pw.pw_dir;
    return true;
  }
  return false;
}

bool current_dir(std::string &out) {
  std::vector<char> buf(4096);
  if (!::getcwd(buf.data(), buf.size())) return false;
  out = buf.data();
  return true;
}

bool host_name(std::string &out) {
  char buf[256];
  if (::gethostname(buf, sizeof buf) != 0) return false;
  buf[sizeof buf - 1] = 0;
  out = buf;
  return true;
}

int path_kind(const char *path) {
  struct stat st;
  if (::stat(path, &st) != 0) return -1;
  return S_ISDIR(st.st_mode) ? 1 : 0;
}

namespace {

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool find_case_insensitive(const std::string &dir, std::string_view name, std::string &found) {
  DIR *d = ::opendir(dir.c_str());
  if (!d) return false;
  bool ok = false;
  while (struct dirent *e = ::readdir(d)) {
    if (ascii_iequal(e->d_name, name)) {
      found = e->d_name;
      ok = true;
      break;
    }
  }
  ::closedir(d);
  return ok;
}

void *dir_open(const char *path) { return ::opendir(path); }

bool dir_next(void *handle, std::string &name, bool *is_dir) {
  auto *d = static_cast<DIR *>(handle);
  struct dirent *e = ::readdir(d);
  if (!e) return false;
  name = e->d_name;
  if (is_dir) {
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      *is_dir = ::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    } else {
      *is_dir = e->d_type == DT_DIR;
    }
  }
  return true;
}

void dir_close(void *handle) { ::closedir(static_cast<DIR *>(handle)); }

bool is_remote(const char *path) {
  struct statfs fs;
  if (::statfs(path, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:      // NFS
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x517B:      // SMB
    case 0x01021997:  // 9P
    case 0x5346414F:  // AFS
    case 0x00C36400:  // Ceph
    case 0x0BD00BD0:  // Lustre
    case 0x65735546:  // FUSE
      return true;
    default:
      return false;
  }
}

int access_ok(const char *path, int mode) {
  if (::access(path, mode) == 0) return 0;
  return errno == ENOENT || errno == ENOTDIR ? kAccessMissing : kAccessDenied;
}

}  // namespace kw::runtime::fsys
