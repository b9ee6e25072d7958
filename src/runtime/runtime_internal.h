// Internal helpers of the runtime layer shared by every subsystem.
#ifndef KW_RUNTIME_INTERNAL_H
#define KW_RUNTIME_INTERNAL_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "keelwork/thread.h"

namespace kw::runtime {

// A lock created on first use under the initialisation mutex. Objects of
// this type are constant-initialised globals, so they may be used from any
// static constructor or destructor.
class LazyMutex {
 public:
  constexpr explicit LazyMutex(bool recursive = true) : recursive_(recursive) {}
  LazyMutex(const LazyMutex &) = delete;
  LazyMutex &operator=(const LazyMutex &) = delete;

  // The mutex, created when needed.
  thrMutex *get();
  // The mutex if it exists, else null (an unlock before the first lock does
  // nothing).
  thrMutex *existing() const { return mutex_.load(std::memory_order_acquire); }
  void lock() { thrMutex_Lock(get()); }
  void unlock() { thrMutex_Unlock(existing()); }

 private:
  std::atomic<thrMutex *> mutex_{nullptr};
  bool recursive_;
};

// RAII guard over a LazyMutex.
class LazyLock {
 public:
  explicit LazyLock(LazyMutex &m) : m_(m) { m_.lock(); }
  ~LazyLock() { m_.unlock(); }
  LazyLock(const LazyLock &) = delete;
  LazyLock &operator=(const LazyLock &) = delete;

 private:
  LazyMutex &m_;
};

// A guard that locks only while the application runs parallel work
// (thrThread_IsInMTSection), as several registries require.
class MTSectionLock {
 public:
  explicit MTSectionLock(LazyMutex &m) : m_(thrThread_IsInMTSection() ? &m : nullptr) {
    if (m_) m_->lock();
  }
  ~MTSectionLock() {
    if (m_) m_->unlock();
  }
  MTSectionLock(const MTSectionLock &) = delete;
  MTSectionLock &operator=(const MTSectionLock &) = delete;

 private:
  LazyMutex *m_;
};

// Raw system allocation for the runtime's own bookkeeping: malloc with the
// allocation-failure handler and the fatal path, never null.
void *sys_alloc(std::size_t size, const char *where);
void *sys_realloc(void *block, std::size_t size, const char *where);

// Writes bytes to standard error without going through stdio buffers.
// Signal-safe.
void write_stderr(const char *text);

// Signals the library raises itself (Linux numbers).
inline constexpr int kSignalAbort = 6;
inline constexpr int kSignalSegv = 11;
// Raises `signal` in the calling thread; returns when a handler returns.
void raise_signal(int signal);

// Outcome of removing a file or directory.
enum class RemoveResult { removed, not_empty, failed };

// Removes the file (or symbolic link) `path`, never following a link.
// Signal-safe.
RemoveResult remove_file(const char *path);
// Removes the empty directory `path`; not_empty when it still holds entries.
// Signal-safe.
RemoveResult remove_directory(const char *path);

// Sends `signal` with the integer `value` to the process `pid` (sigqueue);
// false when `pid` is not positive or the signal could not be sent.
inline constexpr int kSignalTerm = 15;
bool queue_signal(long pid, int signal, int value);

// Switches the echo of the terminal behind `stream` on or off; returns the
// previous state (1 on, 0 off), or -1 when `stream` is not a terminal or
// its mode cannot be changed.
int set_console_echo(std::FILE *stream, bool on);

// Reads an environment variable as an integer; `fallback` when unset or not
// a number.
long env_long(const char *name, long fallback);

}  // namespace kw::runtime

#endif  // KW_RUNTIME_INTERNAL_H
