// The error file of the debug messages, written through the file layer.
#ifndef KW_DIAG_DEBUG_OUTPUT_INTERNAL_H
#define KW_DIAG_DEBUG_OUTPUT_INTERNAL_H

struct vex_file;

namespace kw::diag {

// Opens the named error file with `mode` ("w" or "a"); null when it cannot
// be opened (messages then go to the file layer's standard error).
vex_file *open_error_file(const char *name, const char *mode);
// Closes and frees what open_error_file returned.
void close_error_file(vex_file *file);

}  // namespace kw::diag

#endif  // KW_DIAG_DEBUG_OUTPUT_INTERNAL_H
