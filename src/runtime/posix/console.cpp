// Terminal echo for password-style input.
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "runtime/runtime_internal.h"

namespace kw::runtime {

int set_console_echo(FILE *stream, bool on) {
  if (!stream) return -1;
  int fd = fileno(stream);
  termios mode{};
  if (fd < 0 || !isatty(fd) || tcgetattr(fd, &mode) != 0) return -1;
  int was_on = (mode.c_lflag & ECHO) ? 1 : 0;
  if (on)
    mode.c_lflag |= ECHO;
  else
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  if (tcsetattr(fd, TCSANOW, &mode) != 0) return -1;
  return was_on;
}

}  // namespace kw::runtime
