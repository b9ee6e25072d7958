// Small platform helpers of the runtime layer.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "runtime/runtime_internal.h"

namespace kw::runtime {

// Signal-safe.
void write_stderr(const char *text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = ::write(2, text, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

void raise_signal(int signal) { ::raise(signal); }

long env_long(const char *name, long fallback) {
  const char *s = std::getenv(name);
  if (!s || !*s) return fallback;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 0);
  if (errno || end == s) return fallback;
  return v;
}

}  // namespace kw::runtime
