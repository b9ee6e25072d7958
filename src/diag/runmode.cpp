// Run modes, added run modes and the input mode.
#include <cstring>

#include "diag/diag_internal.h"
#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/runmode.h"
#include "keelwork/xar.h"

namespace {

// Set up by the main thread before parallel work starts; not locked.
int g_run_mode = 0;
int32_t *g_added_modes = nullptr;  // xar, increment 4, null when empty
int g_input_mode = 0;
int g_show_picks = -1;

bool is_regression(int mode) {
  return mode == 9029 || mode == 9129 || mode == 9229 || mode == 9329;
}

bool is_added(int mode) {
  if (!g_added_modes) return false;  // the common case: no added modes
  int n = xar_count(&g_added_modes);
  for (int i = 0; i < n; ++i)
    if (g_added_modes[i] == mode) return true;
  return false;
}

}  // namespace

void kw::diag::store_run_mode(int mode) { g_run_mode = mode; }

KW_API int get_run_mode(void) { return g_run_mode; }

KW_API int can_change_run_mode(int mode) {
  if (is_regression(g_run_mode) && (mode == 1111 || mode == 2222)) {
    const char *allow = btk_getenv("ALLOW_SINGLE_STEP");
    if (allow && btk_strcasecmp(allow, "YES") == 0) return 1;
    dbg_err_crash("can_change_run_mode",
                  "Cannot change to single step mode in regression run mode\n"
                  "unless environment variable ALLOW_SINGLE_STEP is set to YES\n");
    return 0;
  }
  return 1;
}

KW_API int set_run_mode(int mode) {
  int previous = g_run_mode;
  if (can_change_run_mode(mode)) {
    g_run_mode = mode;
    set_memmgr_verbose(mode != 0);
  }
  return previous;
}

KW_API int user_run_mode(void) { return g_run_mode == 0; }

KW_API int regression_run_mode(void) { return is_regression(g_run_mode); }

KW_API int is_run_mode(int mode) { return g_run_mode == mode || is_added(mode); }

KW_API int add_added_run_mode(int mode) {
  if (can_change_run_mode(mode)) {
    int32_t value = mode;
    xar_alloc_or_append(&g_added_modes, 1, sizeof(int32_t), 4, &value);
  }
  return 0;
}

KW_API int del_added_run_mode(int mode) {
  for (int i = xar_count(&g_added_modes) - 1; i >= 0; --i)
    if (g_added_modes[i] == mode) xar_remove(&g_added_modes, i, 1);
  return 0;
}

KW_API int del_all_added_run_modes(void) {
  xar_free(&g_added_modes);
  return 0;
}

KW_API int is_runmode_trl_show_picks(void) {
  if (g_show_picks == -1) g_show_picks = btk_getenv("VEX_SHOW_PICKS_MODE") ? 1 : 0;
  if (g_show_picks == 0 && is_run_mode(1112)) g_show_picks = 1;
  return g_show_picks;
}

KW_API int get_input_mode(void) { return g_input_mode; }

KW_API int set_input_mode(int mode) {
  int previous = g_input_mode;
  g_input_mode = mode;
  return previous;
}
