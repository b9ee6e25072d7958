// Change watches on directories for the directory cache: one inotify
// instance for the process, one kernel watch per directory shared by every
// token on it, and a fired mark per token. The platform version lives in
// posix/dirwatch.cpp.
#ifndef KW_RUNTIME_DIRWATCH_INTERNAL_H
#define KW_RUNTIME_DIRWATCH_INTERNAL_H

#include <cstdint>

namespace kw::runtime::dirwatch {

// Why a watch could not be set.
inline constexpr int kOk = 0;
inline constexpr int kLimit = 1;   // the kernel's (or the configured) limit is reached
inline constexpr int kFailed = 2;  // anything else (missing directory, no inotify)

// Starts watching the directory `path` for changes of its entries (names
// created, removed or moved, attributes, contents written). A token above
// 0, or 0 with `*error` set. The limit is the kernel's, or the smaller one
// that KEELWORK_INOTIFY_LIMIT (read once) or set_limit gives: the number
// of tokens that may be active at once.
int64_t watch(const char *path, int *error);
// True when the directory changed since its token was made, or when the
// watch was lost (directory removed or moved, event queue overflowed).
bool changed(int64_t token);
// Ends a token; the kernel watch goes when its last token does.
void unwatch(int64_t token);
// Test knob: at most `n` active tokens (-1: no limit of our own).
// Returns the previous value.
int set_limit(int n);
// The number of active tokens.
int active();

}  // namespace kw::runtime::dirwatch

#endif  // KW_RUNTIME_DIRWATCH_INTERNAL_H
