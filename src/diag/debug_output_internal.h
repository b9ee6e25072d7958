// The seam through which the debug messages write to file-layer streams.
#ifndef KW_DIAG_DEBUG_OUTPUT_INTERNAL_H
#define KW_DIAG_DEBUG_OUTPUT_INTERNAL_H

struct vex_file;

namespace kw::diag {

// Writes text to an open file-layer stream; installed by the file layer.
using PfaWriter = void (*)(vex_file *file, const char *text);
void set_pfa_writer(PfaWriter writer);

}  // namespace kw::diag

#endif  // KW_DIAG_DEBUG_OUTPUT_INTERNAL_H
