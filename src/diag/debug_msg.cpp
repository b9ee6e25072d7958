// The two reporting families: error-file messages and development messages.
#include <atomic>
#include <cstring>
#include <string>

#include "diag/debug_output_internal.h"
#include "diag/diag_internal.h"
#include "keelwork/btk_format.h"
#include "keelwork/btk_hooks.h"
#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/kstexit.h"
#include "keelwork/lang.h"
#include "keelwork/memory.h"
#include "keelwork/runmode.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "keelwork/xar.h"
#include "runtime/runtime_internal.h"

using kw::runtime::LazyLock;
using kw::runtime::LazyMutex;

namespace {

// ---- settings ---------------------------------------------------------------------

std::atomic<int> g_allow_print{0};
std::atomic<int> g_allow_crash{0};
std::atomic<dbg_crash_veto_func> g_crash_veto{nullptr};
char g_error_file[260] = "";
std::atomic<int> g_first_open{1};
std::atomic<int> g_msg_busy{0};
std::atomic<int> g_verbose{0};
std::atomic<int> g_debug_switch{0};
std::atomic<int> g_crash_decision{-1};
std::atomic<int> g_dialog_decision{-1};
std::atomic<dbg_err_crash_callback> g_crash_callback{nullptr};
std::atomic<int> g_in_crash_handling{0};
std::atomic<int> g_crash_busy{0};
std::atomic<int> g_auto_traceback{0};
std::atomic<int> g_allow_crash_cache{-1};
std::atomic<mgr_msg_func> g_msg_hook{nullptr};
std::atomic<mgr_msg_func> g_msgid_hook{nullptr};
std::atomic<mgr_msg_trl_func> g_trl_hook{nullptr};

LazyMutex g_msg_tool_lock;
LazyMutex g_crash_lock;
LazyMutex g_syserr_lock;
LazyMutex g_print_info_lock;

constexpr std::size_t kMessageBuffer = 1000;
constexpr std::size_t kTrailMax = 259;

// Cuts `text` to at most `max` bytes without splitting a character of the
// session encoding (UTF-8, or the legacy one).
std::size_t cut_at_character(const char *text, std::size_t len, std::size_t max) {
  if (len <= max) return len;
  std::size_t cut = 0;
  while (cut < max) {
    std::size_t k = static_cast<std::size_t>(vex_csetlen(static_cast<unsigned char>(text[cut])));
    if (cut + k > max) break;
    cut += k;
  }
  return cut;
}

// Formats into a string without a length limit.
std::string format_all(const char *format, va_list args) {
  if (!format) return {};
  va_list copy;
  va_copy(copy, args);
  char *text = vex_vsprintf(nullptr, format, copy);
  va_end(copy);
  return text ? std::string(text) : std::string();
}

// ---- the error-file family ------------------------------------------------------------

enum class FileKind { Error, Crash, Info };

// Writes one framed message; returns whether dbg_crash_msg decided to crash.
bool write_error_file_message(FileKind kind, const char *where, int level, const char *format,
                              va_list args) {
  if (g_msg_busy.load()) return false;  // a nested or concurrent message is dropped
  LazyLock lock(g_msg_tool_lock);
  if (g_msg_busy.exchange(1)) return false;
  bool do_crash = false;
  if (kind == FileKind::Crash && g_allow_crash.load()) {
    dbg_crash_veto_func veto = g_crash_veto.load();
    do_crash = !veto || veto(where) != 0;
  }
  if (g_allow_print.load()) {
    vex_file *file = nullptr;
    if (g_error_file[0])
      file = kw::diag::open_error_file(g_error_file, g_first_open.load() ? "w" : "a");
    const char *w = where ? where : "";
    switch (kind) {
      case FileKind::Error:
        dbg_pfa_fprintf(file, "\n*** %c-LEVEL ERROR in %s : ***\n\t", level, w);
        break;
      case FileKind::Crash:
        dbg_pfa_fprintf(file, "\n*** FATAL ERROR in %s : ***\n\t", w);
        break;
      case FileKind::Info:
        dbg_pfa_fprintf(file, "\n*** INFO MESSAGE from %s : ***\n\t", w);
        break;
    }
    std::string text = format_all(format, args);
    text.resize(cut_at_character(text.data(), text.size(), kMessageBuffer - 1));
    // The text was cut to fit the buffer; the line break must survive that.
    dbg_pfa_fprintf(file, "%s", text.c_str());
    dbg_pfa_fprintf(file, "\n");
    if (file) {
      kw::diag::close_error_file(file);
      g_first_open.store(0);
    }
  }
  g_msg_busy.store(0);
  return do_crash;
}

void error_file_message(FileKind kind, const char *where, int level, const char *format,
                        va_list args) {
  // crash() runs after the lock was released.
  if (write_error_file_message(kind, where, level, format, args)) crash();
}

int dialog_decision() {
  int d = g_dialog_decision.load();
  if (d != -1) return d;
  int run = get_run_mode();
  if (get_input_mode() != 1)
    d = 1;
  else if (run == 9029 || run == -151)
    d = 0;
  else
    d = btk_getenv("DBG_ERR_SHOW_DIALOG") ? 1 : 0;
  g_dialog_decision.store(d);
  return d;
}

// Passes a byte string to the trail hook as wide text with code 69 ('E').
void trail_error(const char *text) {
  mgr_msg_trl_func hook = g_trl_hook.load();
  if (!hook) return;
  kw_wchar *wide = make_strtows(text);
  if (wide) {
    hook(wide, 69);
    relmem(&wide);
  }
}

int err_crash(const char *where, const char *format, va_list args) {
  if (!g_verbose.load() || g_crash_busy.load() || g_in_crash_handling.load()) return 0;
  LazyLock lock(g_crash_lock);
  if (g_crash_busy.exchange(1)) return 0;
  if (g_crash_decision.load() == -1) g_crash_decision.store(user_run_mode() ? 0 : 1);
  int dialog = dialog_decision();

  std::string message;
  bool formatted = false;
  std::string trail;
  if (!user_run_mode() && where) {
    trail = std::string(where) + "  :";
    if (format) {
      message = format_all(format, args);
      formatted = true;
      vex_printf("%s:  %s\n", where, message.c_str());
      trail += message;
      trail.resize(cut_at_character(trail.data(), trail.size(), kTrailMax));
    } else {
      vex_printf("%s:  \n", where);
    }
  }

  bool crash_now = g_crash_decision.load() != 0;
  if (crash_now && dialog) {
    if (dbg_err_crash_callback cb = g_crash_callback.load())
      crash_now = cb(where, formatted ? message.c_str() : nullptr) != 0;
  }
  if (crash_now) {
    if (where && !trail.empty()) trail_error(trail.c_str());
    static const char kCrashing[] = "dbg_err_crash() -- crashing out in ORDER_DEBUG ONLY.";
    trail_error(kCrashing);
    ikst_printf("%s\n", kCrashing);
    crash();
    g_crash_busy.store(0);
    return 1;
  }
  vex_printf("dbg_err_crash() -- continuing from serious error (%s).\n", "ORDER_DEBUG");
  mgr_msg_put("dummy message", "dbg_err_crash() - continuing from serious error (ORDER_DEBUG).");
  g_crash_busy.store(0);
  return 1;
}

int err_syserr(const char *where, const char *format, va_list args) {
  if (!g_verbose.load()) return 0;
  LazyLock lock(g_syserr_lock);
  if (!user_run_mode() && where) {
    if (format)
      vex_printf("%s:  %s (ORDER_DEBUG)\n", where, format_all(format, args).c_str());
    else
      vex_printf("%s:   (ORDER_DEBUG)\n", where);
  }
  return 1;
}

int print_info(const char *where, const char *format, va_list args) {
  if (user_run_mode()) return 0;
  LazyLock lock(g_print_info_lock);
  if (where) vex_printf("%s:  ", where);
  if (format) vex_printf("%s", format_all(format, args).c_str());
  vex_printf(where ? " (INFO MESSAGE)\n" : "\n");
  return 1;
}

}  // namespace

// ---- reporting -------------------------------------------------------------------------

KW_API void dbg_error_msg(const char *where, int level, const char *format, ...) {
  va_list args;
  va_start(args, format);
  error_file_message(FileKind::Error, where, level, format, args);
  va_end(args);
}

KW_API void dbg_crash_msg(const char *where, const char *format, ...) {
  va_list args;
  va_start(args, format);
  error_file_message(FileKind::Crash, where, 0, format, args);
  va_end(args);
}

KW_API void dbg_info_msg(const char *where, const char *format, ...) {
  va_list args;
  va_start(args, format);
  error_file_message(FileKind::Info, where, 0, format, args);
  va_end(args);
}

KW_API int dbg_err_crash(const char *where, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = err_crash(where, format, args);
  va_end(args);
  return r;
}

KW_API int dbg_err_syserr(const char *where, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = err_syserr(where, format, args);
  va_end(args);
  return r;
}

KW_API int dbg_print_info(const char *where, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int r = print_info(where, format, args);
  va_end(args);
  return r;
}

KW_API int VexDebugErrorReport_va(int kind, const char *where, va_list arguments) {
  if (user_run_mode() || kind < 0 || kind > 2) return 0;
  va_list args;
  va_copy(args, arguments);
  const char *format = va_arg(args, const char *);
  switch (kind) {
    case 0:
      err_crash(where, format, args);
      break;
    case 1:
      err_syserr(where, format, args);
      break;
    case 2:
      print_info(where, format, args);
      break;
  }
  va_end(args);
  return 0;
}

KW_API int e_not_implemented_x(const char *where) {
  dbg_err_crash(where, "unimplemented case");
  return E_NOT_IMPLEMENTED;
}

KW_API int error_break(const char *message) {
  mgr_msg_put(message);
  // The message is the format, as the trail facility has always passed it.
  dbg_err_crash("error_break", message);
  return trp_execute(2);
}

KW_API int crash(void) {
  kw::runtime::raise_signal(kw::runtime::kSignalAbort);
  if (g_debug_switch.load()) {
    kw::runtime::raise_signal(kw::runtime::kSignalSegv);
    return 0;
  }
  ikst_printf("Serious internal error; cannot continue.\n");
  kw::diag::run_exit_stages_contained(KST_EXIT_REASON_CRASH);
  // Returns only when the application's exit function does, or when the
  // exit sequence was cut short by an exception.
  kst_exit(2);
  return 0;
}

// ---- settings --------------------------------------------------------------------------

KW_API const char *dbg_set_error_file_name(const char *name) {
  LazyLock lock(g_msg_tool_lock);
  if (!name) {
    g_error_file[0] = 0;
  } else {
    std::size_t len = cut_at_character(name, std::strlen(name), sizeof g_error_file - 1);
    std::memcpy(g_error_file, name, len);
    g_error_file[len] = 0;
  }
  return name;
}

KW_API dbg_crash_veto_func dbg_set_crash_func(dbg_crash_veto_func function) {
  g_crash_veto.store(function);
  return function;
}

KW_API int dbg_set_allow_print(int flag) {
  g_allow_print.store(flag);
  return flag;
}

KW_API int dbg_set_allow_crash(int flag) {
  g_allow_crash.store(flag);
  return flag;
}

KW_API int set_vex_debug_switch(int flag) {
  g_debug_switch.store(flag);
  return flag;
}

KW_API int set_verbose_mode(int flag) {
  g_verbose.store(flag);
  return 0;
}

KW_API int set_dbg_err_crash(int flag) {
  g_crash_decision.store(flag);
  return 0;
}

KW_API int get_verbose_mode(void) { return g_verbose.load(); }

KW_API int set_in_crash_handling(int flag) { return g_in_crash_handling.exchange(flag); }

KW_API int get_in_crash_handling(void) { return g_in_crash_handling.load(); }

KW_API int set_auto_traceback_flag(int flag) { return g_auto_traceback.exchange(flag); }

KW_API int get_auto_traceback_flag(void) {
  if (g_allow_crash_cache.load() == -1 && g_auto_traceback.load() == 0) {
    const char *value = btk_getenv("ALLOW_CRASH");
    g_allow_crash_cache.store(value ? 1 : 0);
    if (value) {
      g_auto_traceback.store(btk_strcasecmp(value, "ALWAYS") == 0 ? 3 : 2);
      ikst_printf("Allowing Crash: get_auto_traceback_flag()\n");
    }
  }
  int flag = g_auto_traceback.load();
  return flag ? flag : 1;
}

KW_API dbg_err_crash_callback set_dbg_err_crash_callback(dbg_err_crash_callback function) {
  LazyLock lock(g_crash_lock);
  return g_crash_callback.exchange(function);
}

KW_API int vex_set_debug_env(int flag) {
  g_allow_print.store(flag);
  g_debug_switch.store(flag);
  g_allow_crash.store(flag);
  debug_xar_force_ext_no(flag);
  int mode = flag ? -1 : 0;
  if (!can_change_run_mode(mode)) return 0;
  kw::diag::store_run_mode(mode);
  return set_memmgr_verbose(flag ? 1 : 0);
}

// ---- locks --------------------------------------------------------------------------------

KW_API void lock_dbg_msg_tool(void) { g_msg_tool_lock.lock(); }
KW_API void unlock_dbg_msg_tool(void) { g_msg_tool_lock.unlock(); }
KW_API void lock_dbg_crash(void) { g_crash_lock.lock(); }
KW_API void unlock_dbg_crash(void) { g_crash_lock.unlock(); }
KW_API void lock_dbg_err_syserr(void) { g_syserr_lock.lock(); }
KW_API void unlock_dbg_err_syserr(void) { g_syserr_lock.unlock(); }
KW_API void lock_dbg_print_info(void) { g_print_info_lock.lock(); }
KW_API void unlock_dbg_print_info(void) { g_print_info_lock.unlock(); }

// ---- message hooks --------------------------------------------------------------------------

KW_API int mgr_msg_put(const char *first, ...) {
  mgr_msg_func hook = g_msg_hook.load();
  if (!hook) return 0;
  va_list rest;
  va_start(rest, first);
  int r = hook(first, rest);
  va_end(rest);
  return r;
}

KW_API int mgr_msgID_put(const char *first, ...) {
  mgr_msg_func hook = g_msgid_hook.load();
  if (!hook) return 0;
  va_list rest;
  va_start(rest, first);
  int r = hook(first, rest);
  va_end(rest);
  return r;
}

KW_API void mgr_msg_put_in_trl(const kw_wchar *text, int code) {
  if (mgr_msg_trl_func hook = g_trl_hook.load()) hook(text, code);
}

KW_API mgr_msg_func set_mgr_msg_func(mgr_msg_func function) {
  g_msg_hook.store(function);
  return function;
}

KW_API mgr_msg_func set_mgr_msgID_func(mgr_msg_func function) {
  g_msgid_hook.store(function);
  return function;
}

KW_API mgr_msg_trl_func set_mgr_msg_put_in_trl_func(mgr_msg_trl_func function) {
  g_trl_hook.store(function);
  return function;
}
