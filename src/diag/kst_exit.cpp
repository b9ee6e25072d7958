// Exit handlers, temporary-file cleanup and the exit sequence.
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "diag/diag_internal.h"
#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/kstexit.h"
#include "keelwork/memory.h"
#include "keelwork/runmode.h"
#include "keelwork/thread.h"
#include "keelwork/vexformat.h"
#include "keelwork/xar.h"
#include "runtime/runtime_internal.h"

namespace {

using kw::runtime::LazyLock;
using kw::runtime::LazyMutex;
using kw::runtime::RemoveResult;

constexpr int kHandlerIncrement = 3;
constexpr int kTempIncrement = 10;

// A registered temporary path: the list's own copy of the caller's text and
// the absolute system path, prepared at registration because the cleanup
// may run in a signal handler. Both strings live in the entry's block.
struct TempEntry {
  const kw_wchar *text;
  const char *path;
};

// The lists are xars that are never changed once published. A writer copies
// the current list, changes the copy and publishes it, all under the exit
// lock; readers (the handler run and the cleanup) take no lock and keep
// using the list they loaded. While any reader is active, a replaced list or
// a removed entry is kept rather than freed, so a reader never sees freed
// memory, even when it interrupted the writer.
std::atomic<kst_exit_handler *> g_handlers{nullptr};
std::atomic<TempEntry **> g_temp_files{nullptr};
std::atomic<TempEntry **> g_temp_dirs{nullptr};
std::atomic<int> g_readers{0};

LazyMutex g_exit_lock{false};

// Set under its own plain mutex, read without it: the exit paths must not
// wait for a lock.
LazyMutex g_exit_func_lock{false};
std::atomic<kst_exit_function> g_exit_func{nullptr};

// Once-flags of the two stages; never reset.
std::atomic<int> g_handlers_ran{0};
std::atomic<int> g_final_ran{0};

std::atomic<long> g_applstart_pid{0};

std::atomic<const kw::diag::SessionEndSteps *> g_session_steps{nullptr};

class ReaderGuard {
 public:
  ReaderGuard() { g_readers.fetch_add(1); }
  ~ReaderGuard() { g_readers.fetch_sub(1); }
  ReaderGuard(const ReaderGuard &) = delete;
  ReaderGuard &operator=(const ReaderGuard &) = delete;
};

// What writers replaced while a reader was active, freed by a later change
// made while none is. Guarded by the exit lock.
struct Kept {
  Kept *next;
  void *list;
  TempEntry *entry;
};
Kept *g_kept = nullptr;

// Frees what a writer replaced, or keeps it while a reader may hold it.
// Called under the exit lock.
void retire(void *list, TempEntry *entry = nullptr) {
  if (g_readers.load() != 0) {
    auto *kept = static_cast<Kept *>(getmem(sizeof(Kept)));
    *kept = Kept{g_kept, list, entry};
    g_kept = kept;
    return;
  }
  // No reader now, and a later one loads only the published lists.
  while (Kept *kept = g_kept) {
    g_kept = kept->next;
    xar_free(&kept->list);
    rlsmem(kept->entry);
    rlsmem(kept);
  }
  xar_free(&list);
  rlsmem(entry);
}

// A writable copy of `list` (a new empty list for null).
template <typename T>
T *copy_list(T *list, int increment) {
  return static_cast<T *>(list ? xar_replicate(list)
                               : xar_alloc(0, static_cast<int>(sizeof(T)), increment));
}

// ---- temporary entries ------------------------------------------------------------------

// The byte string `name` (session encoding) as a wide string; false when it
// does not convert.
bool widen(const char *name, std::u16string &out) {
  const char *p = name;
  const char *end = name + std::strlen(name);
  while (p < end) {
    kw_wchar wc[2] = {0, 0};
    int used = btk_mbtowc(wc, p, static_cast<int32_t>(end - p));
    if (used <= 0) return false;
    out += wc[0];
    if (wc[0] >= 0xD800 && wc[0] <= 0xDBFF) out += wc[1];
    p += used;
  }
  return true;
}

// The wide text as a system path (UTF-8); false when it is not valid UTF-16.
bool system_form(std::u16string_view text, std::string &out) {
  int32_t len = static_cast<int32_t>(text.size());
  int32_t n = btkStrUtf16ToUtf8(text.data(), len, nullptr, 0, nullptr);
  if (n < 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return btkStrUtf16ToUtf8(text.data(), len, out.data(), n + 1, nullptr) == n;
}

// A new entry for `text`, its path made absolute against the working
// directory; null when the text cannot name a file.
TempEntry *make_entry(std::u16string_view text) {
  std::string path;
  if (!system_form(text, path)) return nullptr;
  if (path[0] != '/') {
    char cwd[4096];
    if (!btk_getcwd(cwd, sizeof cwd)) return nullptr;
    std::string dir = cwd;
    if (dir.back() != '/') dir += '/';
    path.insert(0, dir);
  }
  std::size_t text_bytes = (text.size() + 1) * sizeof(kw_wchar);
  auto *block = static_cast<char *>(getmem(sizeof(TempEntry) + text_bytes + path.size() + 1));
  auto *entry = reinterpret_cast<TempEntry *>(block);
  auto *wide = reinterpret_cast<kw_wchar *>(block + sizeof(TempEntry));
  char *sys = block + sizeof(TempEntry) + text_bytes;
  std::memcpy(wide, text.data(), text.size() * sizeof(kw_wchar));
  wide[text.size()] = 0;
  std::memcpy(sys, path.c_str(), path.size() + 1);
  entry->text = wide;
  entry->path = sys;
  return entry;
}

// Whether `path` names a directory now (a symbolic link does not).
bool is_directory(const char *path) {
  btk_stat_t st;
  return btk_lstat(path, &st) == 0 && (st.mode & BTK_S_IFMT) == BTK_S_IFDIR;
}

int register_temp(std::u16string_view text) {
  if (text.empty()) return 0;
  TempEntry *entry = make_entry(text);
  if (!entry) return 0;
  auto &list = is_directory(entry->path) ? g_temp_dirs : g_temp_files;
  LazyLock lock(g_exit_lock);
  TempEntry **old = list.load();
  TempEntry **copy = copy_list(old, kTempIncrement);
  if (xar_append(&copy, 1, &entry) != 0) {
    xar_free(&copy);
    rlsmem(entry);
    return 0;
  }
  list.store(copy);
  retire(old);
  return 1;
}

// Removes the oldest entry of `list` whose text is `text`; false when none.
bool remove_entry(std::atomic<TempEntry **> &list, std::u16string_view text) {
  TempEntry **old = list.load();
  int n = xar_count(&old);
  for (int i = 0; i < n; ++i) {
    if (std::u16string_view(old[i]->text) != text) continue;
    TempEntry *entry = old[i];
    TempEntry **copy = copy_list(old, kTempIncrement);
    xar_delete(&copy, i);
    list.store(copy);
    retire(old, entry);
    return true;
  }
  return false;
}

int unregister_temp(std::u16string_view text) {
  if (text.empty()) return 0;
  std::string path;
  if (!system_form(text, path)) return 0;
  // The path's state picks the list to search first. Its kind may have
  // changed since it was registered (a file path that has since become a
  // directory), so the other list is searched too.
  bool dir = is_directory(path.c_str());
  LazyLock lock(g_exit_lock);
  if (remove_entry(dir ? g_temp_dirs : g_temp_files, text)) return 1;
  return remove_entry(dir ? g_temp_files : g_temp_dirs, text) ? 1 : 0;
}

// Reports a registered directory that still holds entries. Outside a signal
// handler this is the development assertion; inside one, where it may not
// lock or allocate, the line is written directly to standard error when the
// assertion would print. Signal-safe when `signal_safe` is set.
void report_not_empty(const TempEntry &entry, bool signal_safe) {
  if (!signal_safe) {
    dbg_err_crash("SysRemoveDirAsyncSafe", "dir %ws is not empty", entry.text);
    return;
  }
  if (!get_verbose_mode() || user_run_mode()) return;
  kw::runtime::write_stderr("SysRemoveDirAsyncSafe:  dir ");
  kw::runtime::write_stderr(entry.path);
  kw::runtime::write_stderr(" is not empty\n");
}

// Signal-safe when `signal_safe` is set, or while verbose mode is off.
void cleanup_temp(bool signal_safe) {
  ReaderGuard reading;
  TempEntry **files = g_temp_files.load();
  int n = xar_count(&files);
  for (int i = 0; i < n; ++i) kw::runtime::remove_file(files[i]->path);
  TempEntry **dirs = g_temp_dirs.load();
  for (int i = xar_count(&dirs) - 1; i >= 0; --i) {
    if (kw::runtime::remove_directory(dirs[i]->path) == RemoveResult::not_empty)
      report_not_empty(*dirs[i], signal_safe);
  }
}

// ---- the stages ---------------------------------------------------------------------------

int session_end_code(int reason) {
  switch (reason) {
    case KST_EXIT_REASON_NORMAL:
      return 1;
    case KST_EXIT_REASON_ERROR:
      return 5;
    case KST_EXIT_REASON_CRASH:
      return 2;
    default:
      return 3;
  }
}

void run_handlers(int reason) {
  if (g_handlers_ran.exchange(1)) return;
  {
    ReaderGuard reading;
    kst_exit_handler *list = g_handlers.load();
    int n = xar_count(&list);
    for (int i = 0; i < n; ++i) list[i](reason);
  }
  report_memory_leaks(1);
}

// Signal-safe when `signal_safe` is set, as far as the session logger's
// steps are.
void run_final_stage(int reason, bool signal_safe) {
  if (g_final_ran.exchange(1)) return;
  int code = session_end_code(reason);
  const kw::diag::SessionEndSteps *steps = g_session_steps.load();
  if (steps && steps->prepare) steps->prepare(code);
  cleanup_temp(signal_safe);
  if (steps && steps->run) steps->run(code);
}

// Parses a whole decimal integer (blanks around it allowed) that fits an int.
bool parse_status(const char *text, int *value) {
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || v < INT_MIN || v > INT_MAX) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  if (*end) return false;
  *value = static_cast<int>(v);
  return true;
}

// Test harnesses name the status they expect with VEX_EXPECTED_EXIT_STATUS;
// the expected status becomes a successful exit. A value that is not an
// integer is ignored.
int apply_expected_status(int status) {
  const char *text = btk_getenv("VEX_EXPECTED_EXIT_STATUS");
  int expected = 0;
  if (!text || !*text || !parse_status(text, &expected)) return status;
  if (expected == 0 && status == 0) return 0;
  vex_printf("Status - expected: %d, actual: %d\n", expected, status);
  return expected == status ? 0 : status;
}

}  // namespace

namespace kw::diag {

const SessionEndSteps *set_session_end_steps(const SessionEndSteps *steps) {
  return g_session_steps.exchange(steps);
}

void run_exit_stages_contained(int reason) noexcept {
  try {
    kst_exit_run(reason);
  } catch (...) {
    try {
      run_final_stage(reason, false);
    } catch (...) {
    }
  }
}

}  // namespace kw::diag

// ---- exit handlers ----------------------------------------------------------------------------

KW_API int kst_exit_register(kst_exit_handler handler) {
  if (!handler) return 0;
  LazyLock lock(g_exit_lock);
  kst_exit_handler *old = g_handlers.load();
  kst_exit_handler *copy = copy_list(old, kHandlerIncrement);
  if (xar_insert(&copy, 0, 1, &handler) != 0) {
    xar_free(&copy);
    return 0;
  }
  g_handlers.store(copy);
  retire(old);
  return 1;
}

KW_API int kst_exit_unregister(kst_exit_handler handler) {
  LazyLock lock(g_exit_lock);
  kst_exit_handler *old = g_handlers.load();
  int n = xar_count(&old);
  for (int i = 0; i < n; ++i) {
    if (old[i] != handler) continue;
    kst_exit_handler *copy = copy_list(old, kHandlerIncrement);
    xar_delete(&copy, i);
    g_handlers.store(copy);
    retire(old);
    return 1;
  }
  return 0;
}

KW_API void lock_kst_exit_functions(void) { g_exit_lock.lock(); }

KW_API void unlock_kst_exit_functions(void) { g_exit_lock.unlock(); }

// ---- temporary files and directories ------------------------------------------------------------

KW_API int kst_exit_register_temp(const char *name) {
  std::u16string text;
  if (!name || !widen(name, text)) return 0;
  return register_temp(text);
}

KW_API int kst_exit_register_temp_w(const kw_wchar *name) { return name ? register_temp(name) : 0; }

KW_API int kst_exit_unregister_temp(const char *name) {
  std::u16string text;
  if (!name || !widen(name, text)) return 0;
  return unregister_temp(text);
}

KW_API int kst_exit_unregister_temp_w(const kw_wchar *name) {
  return name ? unregister_temp(name) : 0;
}

// Signal-safe while verbose mode is off.
KW_API void kst_exit_cleanup_temp(void) { cleanup_temp(false); }

// ---- the exit sequence
// ------------------------------------------------------------------------------

// Not signal-safe.
KW_API void kst_exit_run(int reason) {
  run_handlers(reason);
  run_final_stage(reason, false);
}

// Signal-safe as far as the session logger's steps are.
KW_API void kst_exit_run_signal_safe(int reason) { run_final_stage(reason, true); }

KW_API void kst_exit_panic(void) {
  const kw::diag::SessionEndSteps *steps = g_session_steps.load();
  if (steps && steps->panic) steps->panic();
}

KW_API int kst_exit_low(int status) {
  status = apply_expected_status(status);
  if (kst_exit_function function = g_exit_func.load()) return function(status);
  if (status == 0)
    kst_exit_run(KST_EXIT_REASON_NORMAL);
  else if (status == 3)
    kst_exit_run(KST_EXIT_REASON_ABNORMAL);  // the final stage with session-end code 3
  else
    kst_exit_run(KST_EXIT_REASON_ERROR);
  std::exit(status);
}

KW_API int kst_exit(int status) {
  try {
    return kst_exit_low(status);
  } catch (...) {
    try {
      kst_exit_run_signal_safe(KST_EXIT_REASON_ABNORMAL);
    } catch (...) {
      try {
        kst_exit_panic();
      } catch (...) {
      }
    }
    return -1;
  }
}

KW_API int set_kst_exit_func(kst_exit_function function) {
  g_exit_func_lock.lock();
  if (g_exit_func.exchange(function) && !user_run_mode())
    dbg_info_msg("set_kst_exit_func", "kst_exit_func already set!");
  return thrMutex_Unlock(g_exit_func_lock.existing());
}

// ---- the application-start process ------------------------------------------------------------

KW_API void set_applstart_procid(int32_t pid) { g_applstart_pid.store(pid > 0 ? pid : 0); }

KW_API int exit_applstart(int code) {
  long pid = g_applstart_pid.load();
  if (pid <= 0) return 0;
  return kw::runtime::queue_signal(pid, kw::runtime::kSignalTerm, code) ? 1 : 0;
}
