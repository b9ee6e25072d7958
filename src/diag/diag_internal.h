// Internal helpers of the diagnostics subsystem.
#ifndef KW_DIAG_DIAG_INTERNAL_H
#define KW_DIAG_DIAG_INTERNAL_H

#include <string>
#include <string_view>

namespace kw::diag {

// Letters, digits and underscores make up an environment variable's name.
inline bool env_name_char(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_';
}

// The value of the environment variable `name` as a wide string; empty when
// it is unset (or its name is not plain ASCII).
std::u16string env_value_wide(std::u16string_view name);

// Replaces each "$NAME" of `text` by the variable's value (nothing when
// unset; a lone "$" names the empty variable and disappears). Values are not
// scanned again.
std::u16string expand_env_vars(std::u16string_view text);

// Sets the run mode without the change check and without touching the
// memory manager's verbosity (callers do both themselves).
void store_run_mode(int mode);

// The session logger's part in the end of the process. The exit sequence
// calls these steps; the session logger installs its table once it is
// registered, and until then (or for a null slot) a step does nothing.
struct SessionEndSteps {
  // Prepares the end-of-session status for a session-end code: 1 normal
  // end, 5 end with an error status, 2 crash, 3 abnormal end.
  void (*prepare)(int code);
  // Runs the logger program for the code; for any code but 1 it replaces
  // the process.
  void (*run)(int code);
  // The emergency report of kst_exit_panic.
  void (*panic)();
};

// Installs the session logger's steps (null: none); the table must live
// until the process ends. Returns the previous table.
const SessionEndSteps *set_session_end_steps(const SessionEndSteps *steps);

// kst_exit_run(reason) for the crash paths, which must go on to the exit
// whatever a handler does: an exception from a handler is contained and the
// final stage then runs alone with the same reason. Not signal-safe.
void run_exit_stages_contained(int reason) noexcept;

}  // namespace kw::diag

#endif  // KW_DIAG_DIAG_INTERNAL_H
