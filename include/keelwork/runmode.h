/* Run modes and trail substitution.
 *
 * The process runs in one run mode (0 is the user mode, the product as
 * customers run it; other values are development and test modes) plus any
 * number of added run modes. Trail lines are substituted with ${NAME}
 * definitions, whose values may refer to environment variables as $NAME.
 *
 * None of this state is locked: the main thread sets it up before parallel
 * work starts. The listing of get_trail_substitution belongs to the library
 * and is rebuilt on every call.
 */
#ifndef KEELWORK_RUNMODE_H
#define KEELWORK_RUNMODE_H

#include "kw_base.h"

KW_BEGIN_DECLS

/* The run mode (0 at start). */
KW_API int get_run_mode(void);
/* Sets the run mode when the change is allowed, switching the memory
 * manager's verbosity on for a non-zero mode; returns the previous mode. */
KW_API int set_run_mode(int mode);
/* 1 in the user mode (0). */
KW_API int user_run_mode(void);
/* 1 in a regression mode (9029, 9129, 9229, 9329). */
KW_API int regression_run_mode(void);
/* 1 when `mode` is the run mode or an added one. */
KW_API int is_run_mode(int mode);
/* Adds a run mode when allowed (duplicates kept); returns 0. */
KW_API int add_added_run_mode(int mode);
/* Removes every occurrence of `mode`; returns 0. */
KW_API int del_added_run_mode(int mode);
/* Forgets every added mode; returns 0. */
KW_API int del_all_added_run_modes(void);
/* 1 when picks are shown in trails (VEX_SHOW_PICKS_MODE or mode 1112). */
KW_API int is_runmode_trl_show_picks(void);
/* 1 when a change from the current run mode to `mode` is allowed; reports
 * the refusal through dbg_err_crash. */
KW_API int can_change_run_mode(int mode);

/* The input mode of the application (0 at start). */
KW_API int get_input_mode(void);
/* Sets the input mode; returns the previous one. */
KW_API int set_input_mode(int mode);

/* Defines or redefines ${name}: 0 new, E_FOUND replaced, E_INVALID_INPUT
 * refused (null, a name over 30 or a value over 250 characters). */
KW_API int trl_define_substitution(const kw_wchar *name, const kw_wchar *value);
/* Defines a substitution from "NAME value"; 0, E_CANT_PARSE or
 * E_INVALID_INPUT. `option` is not used. */
KW_API int set_trail_substitution(const kw_wchar *option, const kw_wchar *text);
/* Every definition as "name value", in name order: an xar of byte strings
 * (count with xar_count) that the library owns and rebuilds on the next
 * call; null when there are none. */
KW_API char **get_trail_substitution(void);
/* Replaces ${NAME} references in a trail line held in a buffer of 260 wide
 * characters, in place. */
KW_API void trl_substitute_variables(kw_wchar *line, int line_number);
/* Replaces $NAME references by environment values in place; the buffer must
 * hold the result. */
KW_API void handle_env_vars(kw_wchar *text);
/* The same within a buffer of `size` wide characters, values expanded in
 * turn; 1 on success, 0 on failure (text unchanged). */
KW_API int HandleEnvVars_ct(kw_wchar *text, int size);

KW_END_DECLS

#endif /* KEELWORK_RUNMODE_H */
