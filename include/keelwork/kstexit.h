/* Exit handlers, temporary-file cleanup and the end of the process.
 *
 * The application and the library end the process through kst_exit(status),
 * never through exit() directly. kst_exit runs the exit handlers that
 * modules registered (newest first), reports memory leaks, removes the
 * temporary files and directories registered during the run, lets the
 * session logger record how the session ended, and exits. Crashes reach the
 * same sequence through kst_exit_run(KST_EXIT_REASON_CRASH), signal handlers
 * through kst_exit_run_signal_safe, emergencies through kst_exit_panic. An
 * application may replace the final exit by its own exit function.
 *
 * The sequence has two stages, each run at most once per process whatever
 * path reaches it: the handlers (followed by the leak report), and the final
 * stage (session logger and temporary-file cleanup). A crash inside a
 * handler therefore repeats neither.
 *
 * Registration: the handler list and the two temporary lists belong to the
 * library and live until the process ends; the lists keep their own copies
 * of registered paths. Registered paths are made absolute against the
 * working directory at registration, so a later change of directory does
 * not change which file is removed. Functions return 1 for success and 0
 * for failure unless stated.
 *
 * Threads and signals: registration from any thread is serialised by the
 * exit lock. The run functions take no lock; they work on the lists as they
 * were when they started, so handlers may register and unregister freely
 * (changes take effect for later runs only). kst_exit_cleanup_temp and
 * kst_exit_run_signal_safe may be called from a signal handler (see each).
 *
 * C++ exceptions: the library throws none. An exception thrown by a handler
 * or by the exit function passes through kst_exit_run and kst_exit_low and
 * is contained by kst_exit.
 */
#ifndef KEELWORK_KSTEXIT_H
#define KEELWORK_KSTEXIT_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* Exit reasons passed to the handlers and to kst_exit_run. */
#define KST_EXIT_REASON_NORMAL 1   /* kst_exit(0) */
#define KST_EXIT_REASON_ERROR 2    /* kst_exit with a status other than 0 and 3 */
#define KST_EXIT_REASON_ABNORMAL 3 /* kst_exit(3): thread failure, system abort */
#define KST_EXIT_REASON_CRASH 4    /* crash() */

/* An exit handler: receives the exit reason; its result is ignored. */
typedef int (*kst_exit_handler)(int reason);
/* The application's exit function: receives the exit status; kst_exit
 * returns its result. */
typedef int (*kst_exit_function)(int status);

/* ---- exit handlers ---------------------------------------------------------- */

/* Puts `handler` in front of the handler list (it runs before those
 * registered earlier); the same handler may be registered more than once.
 * 0 for a null handler or when the list cannot grow. */
KW_API int kst_exit_register(kst_exit_handler handler);
/* Removes the newest registration of `handler`; 1 when one was removed. */
KW_API int kst_exit_unregister(kst_exit_handler handler);

/* ---- temporary files and directories ----------------------------------------- */

/* Registers a path to remove at exit: a directory when it names an existing
 * directory now (a symbolic link counts as a file), otherwise a file, so a
 * path registered before it exists is a file. The byte form is converted to
 * a wide string from the session encoding. 0 for a null or empty path, one
 * that cannot be converted, or a relative path when the working directory
 * cannot be read. */
KW_API int kst_exit_register_temp(const char *name);
KW_API int kst_exit_register_temp_w(const kw_wchar *name);
/* Removes the oldest registration whose text equals `name` exactly
 * (case-sensitive), looking first in the list that the path's current state
 * selects and then in the other one. 1 when one was removed; 0 for a null or
 * empty path or when there is none. */
KW_API int kst_exit_unregister_temp(const char *name);
KW_API int kst_exit_unregister_temp_w(const kw_wchar *name);
/* Removes the registered files (first to last), then the registered
 * directories (last to first, so a directory registered after its parent
 * goes first). Files that cannot be removed are left silently; a directory
 * that is not empty is reported through dbg_err_crash and left. The
 * registrations are kept, so a second call tries again.
 * Signal-safe while verbose mode is off (the report is a development
 * assertion); kst_exit_run_signal_safe reports without it. */
KW_API void kst_exit_cleanup_temp(void);

/* ---- the exit sequence --------------------------------------------------------- */

/* Runs the handlers with `reason` (then reports leaks) and the final stage,
 * each unless it ran before. Not signal-safe. */
KW_API void kst_exit_run(int reason);
/* The final stage alone (session logger and cleanup), unless it ran before.
 * Signal-safe as far as the session logger's steps are. */
KW_API void kst_exit_run_signal_safe(int reason);
/* The session logger's emergency report. */
KW_API void kst_exit_panic(void);
/* The exit sequence without exception protection: honours
 * VEX_EXPECTED_EXIT_STATUS, then calls the exit function when one is
 * installed and returns its result; otherwise runs the stages and ends the
 * process with the status (0 when the status was the expected one). */
KW_API int kst_exit_low(int status);
/* kst_exit_low inside exception protection: when an exception escapes, the
 * final stage runs alone (then, should that throw too, the emergency
 * report) and -1 is returned instead of ending the process. */
KW_API int kst_exit(int status);
/* Installs the exit function (null: none), replacing any earlier one; 0. */
KW_API int set_kst_exit_func(kst_exit_function function);

/* Take and release the exit lock, to register several entries as one unit.
 * The lock is not recursive: do not register while holding it. */
KW_API void lock_kst_exit_functions(void);
KW_API void unlock_kst_exit_functions(void);

/* ---- the application-start process ------------------------------------------------ */

/* Records the process that started the application (0 or less: none). */
KW_API void set_applstart_procid(int32_t pid);
/* Asks the recorded process to close: sends it SIGTERM carrying `code` as
 * the signal's value. 1 when sent; 0 when no process is recorded or the
 * signal could not be sent. */
KW_API int exit_applstart(int code);

KW_END_DECLS

#endif /* KEELWORK_KSTEXIT_H */
