// Directory change watches on inotify. Events are drained without blocking
// whenever a token is asked about; each event marks every token of its
// watch as fired.
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "keelwork/btk_os.h"
#include "runtime/dirwatch_internal.h"

namespace kw::runtime::dirwatch {
namespace {

constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                           IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

struct Token {
  int wd;
  bool fired;
};

struct State {
  std::mutex lock;
  int fd = -1;
  bool init_failed = false;
  bool limit_read = false;
  int limit = -1;
  int64_t next = 1;
  std::unordered_map<int64_t, Token> tokens;
  std::unordered_map<int, std::vector<int64_t>> by_wd;
};

State &state() {
  static State *s = new State;  // lives for the process: watches may be asked about at exit
  return *s;
}

void fire_wd(State &s, int wd) {
  auto it = s.by_wd.find(wd);
  if (it == s.by_wd.end()) return;
  for (int64_t t : it->second) s.tokens[t].fired = true;
}

void fire_all(State &s) {
  for (auto &entry : s.tokens) entry.second.fired = true;
}

// Reads every pending event.
void drain(State &s) {
  if (s.fd < 0) return;
  alignas(struct inotify_event) char buf[16384];
  for (;;) {
    ssize_t n = ::read(s.fd, buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    for (ssize_t i = 0; i < n;) {
      auto *ev = reinterpret_cast<struct inotify_event *>(buf + i);
      if (ev->mask & IN_Q_OVERFLOW) {
        fire_all(s);
      } else {
        fire_wd(s, ev->wd);
        if (ev->mask & IN_IGNORED) {
          // The kernel dropped the watch (directory gone): its tokens stay
          // fired and the number may be handed out again.
          auto it = s.by_wd.find(ev->wd);
          if (it != s.by_wd.end()) {
            for (int64_t t : it->second) s.tokens[t].wd = -1;
            s.by_wd.erase(it);
          }
        }
      }
      i += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
    }
  }
}

int configured_limit(State &s) {
  if (!s.limit_read) {
    s.limit_read = true;
    if (const char *v = btk_getenv("KEELWORK_INOTIFY_LIMIT"); v && *v) {
      char *end = nullptr;
      long n = std::strtol(v, &end, 10);
      if (end && *end == 0 && n >= 0 && n < 1000000000) s.limit = static_cast<int>(n);
    }
  }
  return s.limit;
}

}  // namespace

int64_t watch(const char *path, int *error) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  *error = kOk;
  int limit = configured_limit(s);
  if (limit >= 0 && static_cast<int>(s.tokens.size()) >= limit) {
    *error = kLimit;
    return 0;
  }
  if (s.fd < 0) {
    if (s.init_failed) {
      *error = kLimit;
      return 0;
    }
    s.fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (s.fd < 0) {
      // EMFILE: the per-user instance limit; any failure here leaves the
      // process on modification times.
      s.init_failed = true;
      *error = kLimit;
      return 0;
    }
  }
  // Events of a watch on the same directory that predate this token must
  // not mark it.
  drain(s);
  int wd = ::inotify_add_watch(s.fd, path, kMask);
  if (wd < 0) {
    *error = errno == ENOSPC || errno == ENOMEM ? kLimit : kFailed;
    return 0;
  }
  int64_t token = s.next++;
  s.tokens[token] = Token{wd, false};
  s.by_wd[wd].push_back(token);
  return token;
}

bool changed(int64_t token) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  drain(s);
  auto it = s.tokens.find(token);
  return it == s.tokens.end() || it->second.fired || it->second.wd < 0;
}

void unwatch(int64_t token) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  auto it = s.tokens.find(token);
  if (it == s.tokens.end()) return;
  int wd = it->second.wd;
  s.tokens.erase(it);
  if (wd < 0) return;
  auto w = s.by_wd.find(wd);
  if (w == s.by_wd.end()) return;
  std::erase(w->second, token);
  if (w->second.empty()) {
    s.by_wd.erase(w);
    ::inotify_rm_watch(s.fd, wd);
  }
}

int set_limit(int n) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  int old = configured_limit(s);
  s.limit = n;
  return old;
}

int active() {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return static_cast<int>(s.tokens.size());
}

}  // namespace kw::runtime::dirwatch
