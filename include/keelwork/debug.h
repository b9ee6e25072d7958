/* Debug messages and crash reporting.
 *
 * Two families report unexpected conditions:
 *  - the error-file family (dbg_error_msg, dbg_crash_msg, dbg_info_msg)
 *    writes framed messages to the error file, or to standard error when no
 *    file is named; it prints only after dbg_set_allow_print(1), and
 *    dbg_crash_msg crashes only after dbg_set_allow_crash(1). Both switches
 *    are off at start, so by default these calls are silent;
 *  - the development family (dbg_err_crash, dbg_err_syserr, dbg_print_info)
 *    prints one-line console messages outside the user run mode; the first
 *    two act only in verbose mode. dbg_err_crash is the library's
 *    assertion: in a development run it crashes the process.
 *
 * `where` is the reporting function's name; formats accept `%ws` for wide
 * strings. Any thread may report: each family writes under its own
 * recursive lock, and a message raised while another of the same family is
 * being written is dropped. Returned strings are constants.
 */
#ifndef KEELWORK_DEBUG_H
#define KEELWORK_DEBUG_H

#include <stdio.h>

#include "kw_base.h"
#include "status_codes.h"

KW_BEGIN_DECLS

typedef struct vex_file vex_file;

/* ---- the error-file family ---------------------------------------------- */

/* Writes "*** L-LEVEL ERROR in where : ***" and the message; `level` is one
 * character. */
KW_API void dbg_error_msg(const char *where, int level, const char *format, ...);
/* Writes "*** FATAL ERROR in where : ***" and the message, then crashes when
 * crashing is allowed and the veto function (if any) agrees. */
KW_API void dbg_crash_msg(const char *where, const char *format, ...);
/* Writes "*** INFO MESSAGE from where : ***" and the message. */
KW_API void dbg_info_msg(const char *where, const char *format, ...);

/* ---- the development family ----------------------------------------------- */

/* The assertion: 1 when it acted, 0 when switched off or busy; crashes in a
 * development run. */
KW_API int dbg_err_crash(const char *where, const char *format, ...);
/* 1 when it acted (verbose mode), else 0; never crashes. */
KW_API int dbg_err_syserr(const char *where, const char *format, ...);
/* 1 when it printed (any run mode but the user mode), else 0. */
KW_API int dbg_print_info(const char *where, const char *format, ...);
/* Kind 0 acts as dbg_err_crash, 1 as dbg_err_syserr, 2 as dbg_print_info;
 * the first argument of `arguments` is the format. Always 0. */
KW_API int VexDebugErrorReport_va(int kind, const char *where, va_list arguments);
/* dbg_err_crash(where, "unimplemented case"); returns E_NOT_IMPLEMENTED. */
KW_API int e_not_implemented_x(const char *where);
/* Passes `message` to the message hook, reports it through dbg_err_crash and
 * hands control to the trail trap (trp_execute(2)); returns its result. */
KW_API int error_break(const char *message);
/* Hands the process to the application's crash handling (SIGABRT); should
 * that return, raises signal 11 through the signal layer when the debug
 * switch is on (returning 0), else runs the exit sequence with reason 4
 * (kst_exit_run) and ends the process with kst_exit(2), returning 0 only
 * when the application's exit function returns. */
KW_API int crash(void);

/* ---- settings ------------------------------------------------------------ */

typedef int (*dbg_crash_veto_func)(const char *where);
typedef int (*dbg_err_crash_callback)(const char *where, const char *message);

/* Copies at most 259 bytes of `name` (null or empty: standard error);
 * returns `name`. */
KW_API const char *dbg_set_error_file_name(const char *name);
/* Stores the veto function of dbg_crash_msg; returns it. */
KW_API dbg_crash_veto_func dbg_set_crash_func(dbg_crash_veto_func function);
/* Store and return their argument. */
KW_API int dbg_set_allow_print(int flag);
KW_API int dbg_set_allow_crash(int flag);
KW_API int set_vex_debug_switch(int flag);
/* Store their argument and return 0. */
KW_API int set_verbose_mode(int flag);
KW_API int set_dbg_err_crash(int flag);
KW_API int get_verbose_mode(void);
/* Store their argument and return the previous value. */
KW_API int set_in_crash_handling(int flag);
KW_API int set_auto_traceback_flag(int flag);
KW_API int get_in_crash_handling(void);
/* The automatic-traceback flag (1 when unset; ALLOW_CRASH gives 3 for
 * "always", 2 for any other value). */
KW_API int get_auto_traceback_flag(void);
/* Swaps the crash callback under the crash lock; returns the previous one. */
KW_API dbg_err_crash_callback set_dbg_err_crash_callback(dbg_err_crash_callback function);
/* Switches the development environment on or off (print, crash, debug
 * switch, run mode -1 or 0, memory-manager verbosity). */
KW_API int vex_set_debug_env(int flag);

/* ---- locks for multi-line output ------------------------------------------ */

KW_API void lock_dbg_msg_tool(void);
KW_API void unlock_dbg_msg_tool(void);
KW_API void lock_dbg_crash(void);
KW_API void unlock_dbg_crash(void);
KW_API void lock_dbg_err_syserr(void);
KW_API void unlock_dbg_err_syserr(void);
KW_API void lock_dbg_print_info(void);
KW_API void unlock_dbg_print_info(void);

/* ---- message hooks ---------------------------------------------------------- */

/* The application's message functions. The message and message-identifier
 * hooks receive the first argument and the rest as a va_list; the trail hook
 * a wide text and a code (69, 'E', for errors). */
typedef int (*mgr_msg_func)(const char *first, va_list rest);
typedef void (*mgr_msg_trl_func)(const kw_wchar *text, int code);

/* Forward all arguments to the hook; 0 when none is installed. */
KW_API int mgr_msg_put(const char *first, ...);
KW_API int mgr_msgID_put(const char *first, ...);
KW_API void mgr_msg_put_in_trl(const kw_wchar *text, int code);
/* Store and return the hook. */
KW_API mgr_msg_func set_mgr_msg_func(mgr_msg_func function);
KW_API mgr_msg_func set_mgr_msgID_func(mgr_msg_func function);
KW_API mgr_msg_trl_func set_mgr_msg_put_in_trl_func(mgr_msg_trl_func function);

/* ---- terminate handling ----------------------------------------------------- */

/* Installs the abort, crash and thread-failure hooks of the runtime and a
 * std::terminate handler that reaches on_unhandled_exception. Call once. */
KW_API void init_terminate_handler(void);
KW_API void on_unhandled_exception(void);
KW_API void on_sys_abort_handler(void);
KW_API int btkAbortToDbgErrCrash(const char *message, const char *file, int line);
KW_API int btkCrashToCrash(void);

/* ---- output helpers ------------------------------------------------------------ */

/* Formats (at most 999 bytes) and writes to `stream` (null: standard error). */
KW_API void dbg_fprintf(FILE *stream, const char *format, ...);
/* The same on a file-layer stream (null: its standard error). */
KW_API void dbg_pfa_fprintf(vex_file *file, const char *format, ...);
/* Writes "label[a, b, c]\n". */
KW_API void dbg_pfa_show_id_tab(vex_file *file, const char *label, const int32_t *ids, int count);
/* The same for an xar of int32 ("<NULL>" / "<INVALID>" for bad arrays). */
KW_API void dbg_pfa_show_id_tab_xar(vex_file *file, const char *label, const int32_t *ids_xar);
/* Builds "label[a, b, c]" in `buffer`; returns 0. */
KW_API int dbg_sprintf_id_tab(char *buffer, const char *label, const int32_t *ids, int count);

/* ---- status-code names ------------------------------------------------------------ */

/* The name of a library status code, or "Unknown error macro.". */
KW_API const char *dbg_err_string(int code);
/* The name of a toolkit status code, or "". */
KW_API const char *vextk_perror(int code);

KW_END_DECLS

#endif /* KEELWORK_DEBUG_H */
