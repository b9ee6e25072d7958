// File removal and signalling used when the process ends.
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/runtime_internal.h"

namespace kw::runtime {

// Signal-safe.
RemoveResult remove_file(const char *path) {
  // unlink removes a read-only file too: the permission that matters is the
  // directory's, which the caller cannot change on our behalf.
  return ::unlink(path) == 0 ? RemoveResult::removed : RemoveResult::failed;
}

// Signal-safe.
RemoveResult remove_directory(const char *path) {
  if (::rmdir(path) == 0) return RemoveResult::removed;
  // POSIX allows either code for a directory that still holds entries.
  return errno == ENOTEMPTY || errno == EEXIST ? RemoveResult::not_empty : RemoveResult::failed;
}

bool queue_signal(long pid, int signal, int value) {
  // A pid of 0 or below would address a process group or every process.
  if (pid <= 0) return false;
  union sigval sv {};
  sv.sival_int = value;
  return ::sigqueue(static_cast<pid_t>(pid), signal, sv) == 0;
}

}  // namespace kw::runtime
