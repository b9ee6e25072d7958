// Operating-system wrappers on POSIX.
#include <fcntl.h>
#include <netdb.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "runtime/runtime_internal.h"

extern char **environ;

namespace {

// "r" -> "re": streams opened by the library are close-on-exec.
std::string cloexec_mode(const char *mode) {
  std::string m = mode ? mode : "r";
  if (m.find('e') == std::string::npos) m += 'e';
  return m;
}

void fill_stat(const struct stat &st, btk_stat_t *out) {
  out->device = static_cast<uint64_t>(st.st_dev);
  out->inode = static_cast<uint64_t>(st.st_ino);
  out->mode = static_cast<uint32_t>(st.st_mode);
  out->nlink = static_cast<uint32_t>(st.st_nlink);
  out->uid = static_cast<uint32_t>(st.st_uid);
  out->gid = static_cast<uint32_t>(st.st_gid);
  out->size = static_cast<int64_t>(st.st_size);
  out->atime = static_cast<int64_t>(st.st_atim.tv_sec);
  out->mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
  out->ctime = static_cast<int64_t>(st.st_ctim.tv_sec);
  out->mtime_nsec = static_cast<int64_t>(st.st_mtim.tv_nsec);
}

int exit_status(int wstatus) {
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
  return -1;
}

int wait_child(pid_t pid) {
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return exit_status(wstatus);
}

intptr_t spawn(int mode, const char *path, const char *const *argv, bool search) {
  if (!path || !argv) {
    errno = EINVAL;
    return -1;
  }
  pid_t pid;
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  if (mode == BTK_P_NOWAIT) {
    // A child started without waiting runs in a session of its own, so the
    // application's terminal signals do not reach it.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  }
  char *const *args = const_cast<char *const *>(argv);
  int rc = search ? posix_spawnp(&pid, path, nullptr, &attr, args, environ)
                  : posix_spawn(&pid, path, nullptr, &attr, args, environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    errno = rc;
    return -1;
  }
  if (mode == BTK_P_NOWAIT) return pid;
  return wait_child(pid);
}

std::once_flag g_host_once, g_user_once, g_tmp_once;
std::string *g_host, *g_user, *g_tmp;

}  // namespace

// ---- environment -------------------------------------------------------------------

KW_API const char *btk_getenv(const char *name) { return name ? std::getenv(name) : nullptr; }

KW_API int btk_putenv(const char *entry) {
  if (!entry || !*entry || *entry == '=') {
    errno = EINVAL;
    return -1;
  }
  const char *eq = std::strchr(entry, '=');
  if (!eq) return unsetenv(entry);
  std::string name(entry, eq);
  return setenv(name.c_str(), eq + 1, 1);
}

// ---- standard streams and files ------------------------------------------------------

KW_API FILE *btk_get_stdin(void) { return stdin; }
KW_API FILE *btk_get_stdout(void) { return stdout; }
KW_API FILE *btk_get_stderr(void) { return stderr; }

KW_API FILE *btk_fopen(const char *path, const char *mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  return std::fopen(path, cloexec_mode(mode).c_str());
}

KW_API FILE *btk_wfopen(const kw_wchar *path, const kw_wchar *mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  char *narrow_path = btkStrUtf16ToUtf8Alloc(path, -1, nullptr);
  char *narrow_mode = btkStrUtf16ToUtf8Alloc(mode, -1, nullptr);
  FILE *f = nullptr;
  if (narrow_path && narrow_mode)
    f = btk_fopen(narrow_path, narrow_mode);
  else
    errno = EILSEQ;
  relmem(&narrow_path);
  relmem(&narrow_mode);
  return f;
}

KW_API int btk_fclose(FILE *stream) { return stream ? std::fclose(stream) : EOF; }

KW_API char *btk_fgets(char *buffer, int size, FILE *stream) {
  return buffer && stream && size > 0 ? std::fgets(buffer, size, stream) : nullptr;
}

KW_API int btk_fputs(const char *text, FILE *stream) {
  return text && stream ? std::fputs(text, stream) : EOF;
}

KW_API int btk_fflush(FILE *stream) { return std::fflush(stream); }

KW_API int btk_stat(const char *path, btk_stat_t *status) {
  struct stat st;
  if (!path || !status) {
    errno = EINVAL;
    return -1;
  }
  if (::stat(path, &st) != 0) return -1;
  fill_stat(st, status);
  return 0;
}

KW_API int btk_lstat(const char *path, btk_stat_t *status) {
  struct stat st;
  if (!path || !status) {
    errno = EINVAL;
    return -1;
  }
  if (::lstat(path, &st) != 0) return -1;
  fill_stat(st, status);
  return 0;
}

KW_API int btk_access(const char *path, int mode) { return path ? ::access(path, mode) : -1; }
KW_API int btk_unlink(const char *path) { return path ? ::unlink(path) : -1; }
KW_API int btk_rename(const char *from, const char *to) {
  return from && to ? std::rename(from, to) : -1;
}
KW_API int btk_mkdir(const char *path, int mode) {
  return path ? ::mkdir(path, static_cast<mode_t>(mode)) : -1;
}
KW_API int btk_rmdir(const char *path) { return path ? ::rmdir(path) : -1; }
KW_API int btk_chdir(const char *path) { return path ? ::chdir(path) : -1; }
KW_API char *btk_getcwd(char *buffer, size_t size) {
  return buffer && size ? ::getcwd(buffer, size) : nullptr;
}

// ---- time -------------------------------------------------------------------------------

KW_API int64_t btk_time(int64_t *t) {
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (t) *t = now;
  return now;
}

KW_API int btk_utime(const char *path, const btk_utimbuf *times) {
  if (!path) return -1;
  if (!times) return ::utime(path, nullptr);
  struct utimbuf u;
  u.actime = static_cast<time_t>(times->actime);
  u.modtime = static_cast<time_t>(times->modtime);
  return ::utime(path, &u);
}

// ---- processes ----------------------------------------------------------------------------

KW_API int btk_system(const char *command) {
  if (!command) return ::access("/bin/sh", X_OK) == 0 ? 1 : 0;
  const char *argv[] = {"sh", "-c", command, nullptr};
  return static_cast<int>(spawn(BTK_P_WAIT, "/bin/sh", argv, false));
}

KW_API intptr_t btk_spawnv(int mode, const char *path, const char *const *argv) {
  return spawn(mode, path, argv, false);
}

KW_API intptr_t btk_spawnvp(int mode, const char *file, const char *const *argv) {
  return spawn(mode, file, argv, true);
}

KW_API int btk_execv(const char *path, const char *const *argv) {
  if (!path || !argv) return -1;
  return ::execv(path, const_cast<char *const *>(argv));
}

// ---- the machine ------------------------------------------------------------------------------

KW_API const char *get_tmp_dir(void) {
  std::call_once(g_tmp_once, [] {
    const char *d = std::getenv("TMPDIR");
    if (!d || !*d) d = std::getenv("TMP");
    if (!d || !*d) d = "/tmp";
    g_tmp = new std::string(d);
  });
  return g_tmp->c_str();
}

KW_API const char *get_btk_fullhost(void) {
  std::call_once(g_host_once, [] {
    char name[256] = "localhost";
    ::gethostname(name, sizeof name - 1);
    std::string full = name;
    if (full.find('.') == std::string::npos) {
      addrinfo hints{};
      hints.ai_flags = AI_CANONNAME;
      addrinfo *res = nullptr;
      if (::getaddrinfo(name, nullptr, &hints, &res) == 0 && res) {
        if (res->ai_canonname && std::strchr(res->ai_canonname, '.')) full = res->ai_canonname;
        ::freeaddrinfo(res);
      }
    }
    g_host = new std::string(full);
  });
  return g_host->c_str();
}

KW_API const char *get_btk_user(void) {
  std::call_once(g_user_once, [] {
    std::string user;
    passwd pw{}, *result = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &result) == 0 && result && pw.pw_name)
      user = pw.pw_name;
    if (user.empty())
      if (const char *u = std::getenv("USER")) user = u;
    if (user.empty())
      if (const char *u = std::getenv("LOGNAME")) user = u;
    g_user = new std::string(user.empty() ? "unknown" : user);
  });
  return g_user->c_str();
}

KW_API int btkIsDebuggerPresent(void) {
  FILE *f = std::fopen("/proc/self/status", "re");
  if (!f) return 0;
  char line[256];
  int traced = 0;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      traced = std::atoi(line + 10) != 0;
      break;
    }
  }
  std::fclose(f);
  return traced;
}

KW_API void uOutputDebugString(const char *text) {
  if (text) kw::runtime::write_stderr(text);
}

// ---- sockets ------------------------------------------------------------------------------------

KW_API int btk_socket(int domain, int type, int protocol) {
  return ::socket(domain, type | SOCK_CLOEXEC, protocol);
}
KW_API int btk_connect(int socket, const void *address, uint32_t length) {
  return ::connect(socket, static_cast<const sockaddr *>(address), length);
}
KW_API int btk_bind(int socket, const void *address, uint32_t length) {
  return ::bind(socket, static_cast<const sockaddr *>(address), length);
}
KW_API int btk_listen(int socket, int backlog) { return ::listen(socket, backlog); }
KW_API int btk_accept(int socket, void *address, uint32_t *length) {
  socklen_t len = length ? *length : 0;
  int fd =
      ::accept4(socket, static_cast<sockaddr *>(address), address ? &len : nullptr, SOCK_CLOEXEC);
  if (length) *length = len;
  return fd;
}
KW_API intptr_t btk_send(int socket, const void *bytes, size_t n, int flags) {
  return ::send(socket, bytes, n, flags | MSG_NOSIGNAL);
}
KW_API intptr_t btk_recv(int socket, void *bytes, size_t n, int flags) {
  return ::recv(socket, bytes, n, flags);
}
KW_API int btk_closesocket(int socket) { return ::close(socket); }

// ---- Windows-shaped file opening ------------------------------------------------------------

KW_API intptr_t uCreateFile(const char *path, uint32_t access, uint32_t, void *,
                            uint32_t disposition, uint32_t, void *) {
  if (!path) return BTK_INVALID_HANDLE;
  bool rd = access & BTK_GENERIC_READ, wr = access & BTK_GENERIC_WRITE;
  int flags = O_CLOEXEC | (rd && wr ? O_RDWR : wr ? O_WRONLY : O_RDONLY);
  switch (disposition) {
    case BTK_CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case BTK_CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case BTK_OPEN_EXISTING:
      break;
    case BTK_OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case BTK_TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      errno = EINVAL;
      return BTK_INVALID_HANDLE;
  }
  int fd = ::open(path, flags, 0666);
  return fd < 0 ? BTK_INVALID_HANDLE : fd;
}

KW_API int btk_close_handle(intptr_t handle) {
  return handle < 0 ? -1 : ::close(static_cast<int>(handle));
}

KW_API intptr_t btk_read_handle(intptr_t handle, void *bytes, size_t n) {
  for (;;) {
    ssize_t r = ::read(static_cast<int>(handle), bytes, n);
    if (r >= 0 || errno != EINTR) return r;
  }
}

KW_API intptr_t btk_write_handle(intptr_t handle, const void *bytes, size_t n) {
  const char *p = static_cast<const char *>(bytes);
  size_t left = n;
  while (left > 0) {
    ssize_t r = ::write(static_cast<int>(handle), p, left);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    p += r;
    left -= static_cast<size_t>(r);
  }
  return static_cast<intptr_t>(n);
}
