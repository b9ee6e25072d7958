// Environment values as wide strings, and $NAME expansion.
#include <cstdlib>
#include <string>

#include "diag/diag_internal.h"
#include "keelwork/btk_os.h"
#include "keelwork/memory.h"
#include "keelwork/wstring.h"

namespace kw::diag {

std::u16string env_value_wide(std::u16string_view name) {
  std::string narrow;
  narrow.reserve(name.size());
  for (char16_t c : name) {
    if (c >= 0x80) return {};
    narrow.push_back(static_cast<char>(c));
  }
  const char *value = btk_getenv(narrow.c_str());
  if (!value) return {};
  // The session encoding: UTF-8, or the language's in legacy mode.
  kw_wchar *wide = make_strtows(value);
  if (!wide) return {};
  std::u16string out(wide);
  relmem(&wide);
  return out;
}

std::u16string expand_env_vars(std::u16string_view text) {
  std::u16string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t dollar = text.find(u'$', pos);
    if (dollar == std::u16string_view::npos) break;
    out.append(text.substr(pos, dollar - pos));
    std::size_t end = dollar + 1;
    while (end < text.size() && env_name_char(text[end])) ++end;
    out.append(env_value_wide(text.substr(dollar + 1, end - dollar - 1)));
    pos = end;
  }
  if (pos < text.size()) out.append(text.substr(pos));
  return out;
}

}  // namespace kw::diag
