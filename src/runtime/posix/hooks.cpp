// Crash, abort and trap hooks.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "keelwork/btk_hooks.h"
#include "runtime/runtime_internal.h"

namespace {
std::atomic<btkAbortHook> g_abort_hook{nullptr};
std::atomic<btkCrashHook> g_crash_hook{nullptr};
std::atomic<btkTrapHook> g_trap_hook{nullptr};
std::atomic<int> g_crashing{0};

[[noreturn]] void die() {
  // SIGABRT hands the process to the application's crash handling or to the
  // default core dump; should a handler return, end the process anyway.
  raise(SIGABRT);
  _exit(134);
}
}  // namespace

KW_API btkAbortHook btkSetAbortHook(btkAbortHook hook) { return g_abort_hook.exchange(hook); }

KW_API btkCrashHook btkSetCrashHook(btkCrashHook hook) { return g_crash_hook.exchange(hook); }

KW_API void btkAbort(const char *message, const char *function, const char *file, int line) {
  if (btkAbortHook h = g_abort_hook.load()) h(message, file, line);
  char text[1024];
  std::snprintf(text, sizeof text, "btkAbort: %s%s%s%s%s:%d\n", message ? message : "",
                function ? " in " : "", function ? function : "", file ? " at " : "",
                file ? file : "", line);
  kw::runtime::write_stderr(text);
  die();
}

KW_API void btkCrash(void) {
  // A crash hook that crashes again must not recurse for ever.
  if (g_crashing.fetch_add(1) == 0) {
    if (btkCrashHook h = g_crash_hook.load()) h();
  }
  die();
}

KW_API int trp_execute(int code) {
  btkTrapHook h = g_trap_hook.load();
  return h ? h(code) : 0;
}

KW_API btkTrapHook trp_set_execute_hook(btkTrapHook hook) { return g_trap_hook.exchange(hook); }
