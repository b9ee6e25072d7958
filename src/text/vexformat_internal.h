// Internal entry points of the formatting family.
#ifndef KW_TEXT_VEXFORMAT_INTERNAL_H
#define KW_TEXT_VEXFORMAT_INTERNAL_H

#include <cstdarg>

namespace kw::text {

// Formats into the calling thread's next result buffer (an xar of bytes,
// NUL-terminated) and returns it; null when the format was malformed and
// nothing was produced. Valid until 9 more formatting calls on the thread.
char *format_to_thread_buffer(const char *format, va_list args);

// The same with the legacy formatter (own directive table, session
// encoding); never null. Aborts the program on an invalid directive.
char *legacy_format_to_thread_buffer(const char *format, va_list args);

// Formats in the current mode: the legacy formatter in legacy mode.
char *format_in_mode(const char *format, va_list args);

}  // namespace kw::text

#endif  // KW_TEXT_VEXFORMAT_INTERNAL_H
