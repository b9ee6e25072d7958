// Fuzzes quoting and tokens: any text wrapped by wstr_to_wrapped_tok must
// come back unchanged from parse_quoted_to_tok, and parsing arbitrary text
// must stay within the token buffer and move the cursor forward.
#include <keelwork/status_codes.h>
#include <keelwork/strutil.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const kw_wchar *const kDelimiters[] = {u" ", u" \t", u",;", u"", nullptr, u"a"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 1 << 12) return 0;
  const kw_wchar *delims = kDelimiters[data[0] % 6];
  int size_limit = 1 + data[1];
  std::u16string w((size - 2) / 2, u'\0');
  std::memcpy(w.data(), data + 2, w.size() * 2);
  w.resize(std::char_traits<char16_t>::length(w.c_str()));

  std::vector<kw_wchar> wrapped(static_cast<std::size_t>(size_limit));
  int rc = wstr_to_wrapped_tok(w.c_str(), delims, size_limit, wrapped.data());
  if (rc == E_NO_ERROR) {
    if (std::char_traits<char16_t>::length(wrapped.data()) >= wrapped.size()) std::abort();
    std::vector<kw_wchar> token(wrapped.size() + 1);
    const kw_wchar *cursor = wrapped.data();
    if (parse_quoted_to_tok(&cursor, delims, static_cast<int>(token.size()), token.data()) !=
        E_NO_ERROR)
      std::abort();
    if (w != token.data() || cursor != nullptr) std::abort();
  }

  // Arbitrary text: every token fits its buffer and the cursor advances.
  std::vector<kw_wchar> token(static_cast<std::size_t>(size_limit));
  const kw_wchar *cursor = w.c_str();
  for (int guard = 0; cursor && guard <= static_cast<int>(w.size()) + 1; ++guard) {
    const kw_wchar *before = cursor;
    int r = parse_quoted_to_tok(&cursor, delims, size_limit, token.data());
    if (std::char_traits<char16_t>::length(token.data()) >= token.size()) std::abort();
    if (r == E_CANT_PARSE || r == E_INVALID_INPUT) break;
    if (cursor && cursor <= before && *before) std::abort();
    if (cursor && !*cursor) break;
  }
  return 0;
}
