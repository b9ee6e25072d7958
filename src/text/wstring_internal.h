// Internal helpers of the string families.
#ifndef KW_TEXT_WSTRING_INTERNAL_H
#define KW_TEXT_WSTRING_INTERNAL_H

#include <cstddef>
#include <string>

#include "keelwork/kw_base.h"

namespace kw::text {

// Length of a wide string in units.
std::size_t wlen(const kw_wchar *s);

// A byte string in the session encoding as wide text (what converts, up to
// the first invalid character).
std::u16string to_wide(const char *bytes);

// A wide string in the session encoding; false when it does not convert
// (invalid UTF-16 in Unicode mode), `out` then holding what did.
bool to_bytes(const kw_wchar *w, std::string &out);

// True when the byte string holds only ASCII.
bool is_ascii(const char *s);

}  // namespace kw::text

#endif  // KW_TEXT_WSTRING_INTERNAL_H
