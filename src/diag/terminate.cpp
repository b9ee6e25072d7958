// Terminate handling: routes runtime aborts, crashes, unhandled C++
// exceptions and failures in threads into crash() and an orderly exit.
#include <cstdlib>
#include <exception>

#include "diag/diag_internal.h"
#include "keelwork/btk_hooks.h"
#include "keelwork/debug.h"
#include "keelwork/kstexit.h"
#include "keelwork/thread.h"
#include "keelwork/vexformat.h"

namespace {

void thread_failure(const char *) {
  ikst_printf("ThreadOnhandledException called, exit with cleanup\n");
  kst_exit(3);
}

[[noreturn]] void terminate_handler() {
  on_unhandled_exception();
  std::abort();
}

}  // namespace

KW_API void init_terminate_handler(void) {
  btkSetAbortHook(btkAbortToDbgErrCrash);
  btkSetCrashHook(btkCrashToCrash);
  thrSetDefaultOnUnhandled(thread_failure);
  std::set_terminate(terminate_handler);
}

KW_API void on_unhandled_exception(void) {
  crash();
  kw::diag::run_exit_stages_contained(KST_EXIT_REASON_CRASH);
  kst_exit(2);
}

KW_API void on_sys_abort_handler(void) {
  crash();
  kw::diag::run_exit_stages_contained(KST_EXIT_REASON_CRASH);
  kst_exit(3);
}

KW_API int btkAbortToDbgErrCrash(const char *message, const char *file, int line) {
  if (file && message)
    dbg_err_crash("btkAbort", " Warning in file %s, line %d :%s\n", file, line, message);
  else if (file)
    dbg_err_crash("btkAbort", " Warning in file %s, line %d\n", file, line);
  else if (message)
    dbg_err_crash("btkAbort", " Warning %s\n", message);
  else
    dbg_err_crash("btkAbort", nullptr);
  return 0;
}

KW_API int btkCrashToCrash(void) {
  crash();
  return 0;
}
