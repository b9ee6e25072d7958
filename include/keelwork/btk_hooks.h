/* Crash, abort and trap hooks of the runtime.
 *
 * The runtime ends the process on unrecoverable faults through `btkAbort`
 * (an error it detected) and `btkCrash` (a fault it cannot survive). The
 * application, or the debug-message family, routes both into its own
 * handling by installing hooks. `trp_execute` is the hook into the
 * application's trail facility; without a hook it does nothing.
 *
 * Nothing is installed by default: the library never changes the process's
 * handling of its own accord. Setters return the previous hook. All
 * functions are thread-safe; `btkCrash` and `btkAbort` are not signal-safe.
 */
#ifndef KEELWORK_BTK_HOOKS_H
#define KEELWORK_BTK_HOOKS_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Called by btkAbort with the message, source file and line (each may be
 * null or 0); its result is ignored and the process ends afterwards. */
typedef int (*btkAbortHook)(const char *message, const char *file, int line);
/* Called by btkCrash; should not return. */
typedef int (*btkCrashHook)(void);
/* The trail facility's trap, called with a code. */
typedef int (*btkTrapHook)(int code);

KW_API btkAbortHook btkSetAbortHook(btkAbortHook hook);
KW_API btkCrashHook btkSetCrashHook(btkCrashHook hook);

/* Reports an unrecoverable error found in `function` at file:line, calls the
 * abort hook, then ends the process with SIGABRT. */
KW_API KW_NORETURN void btkAbort(const char *message, const char *function, const char *file,
                                 int line);
/* Calls the crash hook; when there is none or it returns, ends the process
 * with SIGABRT. */
KW_API KW_NORETURN void btkCrash(void);

/* Hands `code` to the trail facility; returns the hook's result, 0 without
 * a hook. */
KW_API int trp_execute(int code);
/* Installs the trail facility's hook; returns the previous one. */
KW_API btkTrapHook trp_set_execute_hook(btkTrapHook hook);

KW_END_DECLS

#endif /* KEELWORK_BTK_HOOKS_H */
