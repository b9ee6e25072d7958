// The formatter's engine, shared by the byte and wide entry points.
#ifndef KW_RUNTIME_FORMAT_INTERNAL_H
#define KW_RUNTIME_FORMAT_INTERNAL_H

#include <cstdarg>
#include <cstddef>
#include <string>

#include "keelwork/btk_format.h"

namespace kw::runtime {

// Formats into a byte buffer of `room` bytes (no terminator is written; room
// may be 0 with a null dst). `*total` receives the length of the whole text.
// Returns 0, or -1 for a malformed format or a text longer than INT_MAX.
int format_to_buffer(char *dst, std::size_t room, const char *format, va_list args,
                     std::size_t *total);

// Formats with the conventions of the wide family into `out` as UTF-8: `%s`,
// `%c`, `%ls` take UTF-16 (char16_t) arguments, `%hs`, `%hc`, `%S`, `%C`
// take bytes (UTF-8), and widths and precisions count UTF-16 units. The
// text in `out` is always valid UTF-8. `*units` receives its length in
// UTF-16 units. Returns 0 or -1 as above.
int format_wide_utf8(std::string &out, const char *format, va_list args, std::size_t *units);

}  // namespace kw::runtime

#endif  // KW_RUNTIME_FORMAT_INTERNAL_H
