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

// Ends the process after a crash that returned: runs the exit handlers with
// `reason` and exits with `status`. Not signal-safe.
[[noreturn]] void exit_after_crash(int reason, int status);

}  // namespace kw::diag

#endif  // KW_DIAG_DIAG_INTERNAL_H
