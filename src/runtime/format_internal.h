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

// One conversion of the byte family that a caller has read
// from text of its own syntax: the flags "-+ #0" as bits, the width, the
// precision (-1: none), the size prefix and the conversion letter.
struct FormatItem {
  enum Flag : unsigned { kLeft = 1, kPlus = 2, kSpace = 4, kAlt = 8, kZero = 16 };
  enum class Size : unsigned char { kNone, kShort, kLong, kLongLong };
  unsigned flags = 0;
  std::size_t width = 0;
  int prec = -1;
  Size size = Size::kNone;
  char conv = 0;
};

// Writes one conversion with its argument already taken, exactly as
// btk_snprintf writes the same conversion given as text: at most `room`
// bytes to `dst`, no terminator. Returns the length of the whole text, or
// -1 (as btk_snprintf) when it passes INT_MAX or the letter does not fit the
// argument. Integers (d i o u x X c) are narrowed by the size prefix as the
// engine narrows what it reads; strings (s) and pointers (p) go through the
// pointer form; floating point (e E f F g G) through the double form.
std::ptrdiff_t format_item(char *dst, std::size_t room, const FormatItem &item, long long value);
std::ptrdiff_t format_item(char *dst, std::size_t room, const FormatItem &item, double value);
std::ptrdiff_t format_item(char *dst, std::size_t room, const FormatItem &item, const void *value);

}  // namespace kw::runtime

#endif  // KW_RUNTIME_FORMAT_INTERNAL_H
