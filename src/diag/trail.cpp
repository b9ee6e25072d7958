// Trail substitutions (${NAME}) and expansion of $NAME from the environment.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "diag/diag_internal.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/runmode.h"
#include "keelwork/vexformat.h"
#include "keelwork/xar.h"

namespace {

using WView = std::u16string_view;

constexpr int kNameMax = 30;     // wide characters, without terminator
constexpr int kValueMax = 250;   // wide characters, without terminator
constexpr int kTrailLine = 260;  // the trail line buffer, in wide characters
constexpr int kEnvNameMax = 260;
constexpr std::size_t kListingBlock = 566;

// A substitution: 564 bytes, name then value, each zero-terminated.
struct Substitution {
  kw_wchar name[kNameMax + 1];
  kw_wchar value[kValueMax + 1];
};
static_assert(sizeof(Substitution) == 564);

Substitution *g_table = nullptr;  // xar sorted by name, increment 10
char **g_listing = nullptr;       // xar of byte strings

std::size_t wlen(const kw_wchar *s) {
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Code-unit order of wide strings.
int wcompare(const kw_wchar *a, const kw_wchar *b) {
  while (*a && *a == *b) ++a, ++b;
  return static_cast<int>(*a) - static_cast<int>(*b);
}

// Index of `name`, or -(insertion point) - 1.
int find(const kw_wchar *name) {
  int lo = 0, hi = xar_count(&g_table) - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int r = wcompare(name, g_table[mid].name);
    if (r == 0) return mid;
    if (r > 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -lo - 1;
}

const Substitution *lookup(WView name) {
  if (name.size() > static_cast<std::size_t>(kNameMax)) return nullptr;
  kw_wchar key[kNameMax + 1];
  std::copy(name.begin(), name.end(), key);
  key[name.size()] = 0;
  int at = find(key);
  return at >= 0 ? &g_table[at] : nullptr;
}

bool wide_space(kw_wchar c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

}  // namespace

KW_API int trl_define_substitution(const kw_wchar *name, const kw_wchar *value) {
  if (!name || !value || wlen(name) > kNameMax || wlen(value) > kValueMax) return E_INVALID_INPUT;
  // The expansion may grow the value: work in a buffer that holds any
  // expansion of a value of at most 250 characters that we accept.
  std::u16string expanded = kw::diag::expand_env_vars(value);
  if (expanded.size() > kValueMax) return E_INVALID_INPUT;
  if (!g_table) g_table = static_cast<Substitution *>(xar_alloc(0, sizeof(Substitution), 10));
  int at = find(name);
  Substitution *rec;
  int result;
  if (at >= 0) {
    rec = &g_table[at];
    result = E_FOUND;
  } else {
    at = -at - 1;
    if (xar_insert(&g_table, at, 1, nullptr) != 0) return E_INVALID_INPUT;
    rec = &g_table[at];
    std::copy(name, name + wlen(name) + 1, rec->name);
    result = E_NO_ERROR;
  }
  std::fill(std::begin(rec->value), std::end(rec->value), 0);
  std::copy(expanded.begin(), expanded.end(), rec->value);
  return result;
}

KW_API int set_trail_substitution(const kw_wchar *, const kw_wchar *text) {
  if (!text || !*text) return E_CANT_PARSE;
  // The first character is taken literally, then the name runs to the first
  // blank or closing brace.
  const kw_wchar *p = text + 1;
  while (*p && !wide_space(*p) && *p != u'}') ++p;
  if (*p == u'}') return E_INVALID_INPUT;
  std::u16string name(text, p);
  while (*p && wide_space(*p)) ++p;
  std::u16string value(p);
  int r = trl_define_substitution(name.c_str(), value.c_str());
  return r == E_FOUND ? E_NO_ERROR : r;
}

KW_API char **get_trail_substitution(void) {
  release_pointer_xar(&g_listing);
  int n = xar_count(&g_table);
  if (n == 0) return nullptr;
  g_listing = static_cast<char **>(xar_alloc(0, sizeof(char *), 10));
  for (int i = 0; i < n; ++i) {
    // The text may need more than the historical 566 bytes when names or
    // values hold non-ASCII characters: size the block by the text.
    const char *text = vex_sprintf(nullptr, "%ws %ws", g_table[i].name, g_table[i].value);
    std::size_t len = text ? std::strlen(text) : 0;
    char *line = static_cast<char *>(getmem(std::max(kListingBlock, len + 1)));
    std::memcpy(line, text ? text : "", len + 1);
    xar_append(&g_listing, 1, &line);
  }
  return g_listing;
}

KW_API void trl_substitute_variables(kw_wchar *line, int line_number) {
  if (!line) return;
  WView text(line, wlen(line));
  // First pass: the length of the result and whether anything is defined.
  std::size_t total = 0, pos = 0, rest = text.size();
  bool any_defined = false;
  while (pos < text.size()) {
    std::size_t dollar = text.find(u"${", pos);
    if (dollar == WView::npos) break;
    std::size_t close = text.find(u'}', dollar + 2);
    if (close == WView::npos) break;  // unterminated: the rest stays as it is
    total += dollar - pos;
    WView name = text.substr(dollar + 2, close - dollar - 2);
    const Substitution *s = name.empty() ? nullptr : lookup(name);
    if (s) {
      total += wlen(s->value);
      any_defined = true;
    } else {
      total += close + 1 - dollar;
    }
    pos = close + 1;
  }
  if (!any_defined) return;
  rest = text.size() - pos;
  if (total + rest >= static_cast<std::size_t>(kTrailLine)) {
    dbg_err_crash("trl_substitute_variables", "overflow in line %d, '%ws'", line_number, line);
    return;
  }
  // Second pass: build the result; values are not scanned again.
  std::u16string out;
  out.reserve(total + rest);
  pos = 0;
  while (pos < text.size()) {
    std::size_t dollar = text.find(u"${", pos);
    if (dollar == WView::npos) break;
    std::size_t close = text.find(u'}', dollar + 2);
    if (close == WView::npos) break;
    out.append(text.substr(pos, dollar - pos));
    WView name = text.substr(dollar + 2, close - dollar - 2);
    const Substitution *s = name.empty() ? nullptr : lookup(name);
    if (s)
      out.append(s->value);
    else
      out.append(text.substr(dollar, close + 1 - dollar));
    pos = close + 1;
  }
  out.append(text.substr(pos));
  std::copy(out.begin(), out.end(), line);
  line[out.size()] = 0;
}

KW_API void handle_env_vars(kw_wchar *text) {
  if (!text) return;
  WView in(text, wlen(text));
  if (in.find(u'$') == WView::npos) return;
  std::u16string out = kw::diag::expand_env_vars(in);
  std::copy(out.begin(), out.end(), text);
  text[out.size()] = 0;
}

KW_API int HandleEnvVars_ct(kw_wchar *text, int size) {
  if (!text || !*text) return 1;
  std::size_t len = wlen(text);
  if (size < 1 || len > static_cast<std::size_t>(size - 1)) return 0;
  // A private copy, not the historical process-wide buffer: concurrent
  // callers must not share it.
  std::u16string work(text, len);
  // Values are expanded in turn (a value holding "$NAME" is expanded
  // again), so a variable that refers to itself, directly or through
  // others, without growing would expand for ever. Every legitimate
  // expansion fits in `size` and needs far fewer replacements than this.
  const std::size_t max_replacements =
      std::max<std::size_t>(256, 4 * static_cast<std::size_t>(size));
  std::size_t replacements = 0;
  for (std::size_t dollar; (dollar = work.find(u'$')) != std::u16string::npos;) {
    std::size_t end = dollar + 1;
    while (end < work.size() && kw::diag::env_name_char(work[end])) ++end;
    std::size_t name_len = end - dollar - 1;
    if (name_len == 0 || name_len >= static_cast<std::size_t>(kEnvNameMax)) return 0;
    if (++replacements > max_replacements) return 0;
    std::u16string value = kw::diag::env_value_wide(work.substr(dollar + 1, name_len));
    if (work.size() - (name_len + 1) + value.size() > static_cast<std::size_t>(size - 1)) return 0;
    work.replace(dollar, name_len + 1, value);
  }
  std::copy(work.begin(), work.end(), text);
  text[work.size()] = 0;
  return 1;
}
