// Validity checks of object names and the active wildcard set.
#include <atomic>
#include <cctype>
#include <string>

#include "keelwork/strutil.h"
#include "keelwork/wstring.h"
#include "text/wstring_internal.h"

namespace {

constexpr std::size_t kWildcardMax = 31;

kw_wchar g_wildcards[kWildcardMax + 1];
int g_wildcards_on = 0;
std::atomic<int> g_less_restrictive{0};

bool is_wildcard(kw_wchar c) {
  if (!c) return false;
  for (const kw_wchar *p = g_wildcards; *p; ++p)
    if (*p == c) return true;
  return false;
}

void install_wildcards(const kw_wchar *set) {
  std::size_t i = 0;
  for (; set && set[i] && i < kWildcardMax; ++i) g_wildcards[i] = set[i];
  g_wildcards[i] = 0;
}

inline bool ascii_alnum(kw_wchar c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Letters, digits, "_", "-" and everything outside ASCII.
inline bool symbol_char(kw_wchar c) { return ascii_alnum(c) || c == '_' || c == '-' || c > 127; }

// 1 when `w` starts with "-" or holds a character that `allowed(c, index)`
// refuses.
template <class Allowed>
int invalid_with(const kw_wchar *w, Allowed allowed) {
  if (!w || !*w) return 0;
  if (w[0] == '-') return 1;
  for (std::size_t i = 0; w[i]; ++i)
    if (!allowed(w[i], i)) return 1;
  return 0;
}

}  // namespace

KW_API int is_valid_char(int c) {
  if (c < 0 && c >= -128) c &= 0xFF;
  return (c >= 0 && c <= 255 && std::isalnum(c)) || c == '_' || c == '-';
}

KW_API int is_valid_wc(int wc) {
  if (wc > 127) return g_less_restrictive.load() != 0;
  return ascii_alnum(static_cast<kw_wchar>(wc)) || wc == '_' || wc == '-';
}

KW_API int set_less_restrictive_names(int flag) { return g_less_restrictive.exchange(flag); }

KW_API int invalid_symbol(const kw_wchar *w) {
  return invalid_with(w, [](kw_wchar c, std::size_t) { return symbol_char(c); });
}

KW_API int invalid_xsec_name(const kw_wchar *w) {
  return invalid_with(w, [](kw_wchar c, std::size_t i) {
    return symbol_char(c) || (i > 0 && (c == '"' || c == '.'));
  });
}

KW_API int invalid_view_name(const kw_wchar *w) {
  return invalid_with(w, [](kw_wchar c, std::size_t) { return symbol_char(c) || c == ' '; });
}

KW_API int invalid_name_idx(const kw_wchar *w) {
  if (!w || !*w || w[0] == '-') return 0;
  bool groups = g_wildcards_on && !is_wildcard('<');
  std::size_t i = 0;
  while (w[i]) {
    kw_wchar c = w[i];
    if (is_valid_wc(c) || (g_wildcards_on && is_wildcard(c))) {
      ++i;
      continue;
    }
    if (groups && c == '<' && i > 0) {
      std::size_t close = i + 1;
      while (w[close] && w[close] != '>') ++close;
      if (!w[close]) return static_cast<int>(i);
      if (w[close + 1]) return static_cast<int>(close);
      i = close + 1;
      continue;
    }
    return static_cast<int>(i);
  }
  return static_cast<int>(i);
}

KW_API int invalid_string(const kw_wchar *w) {
  if (!w) return 0;
  return invalid_name_idx(w) < wslen(w);
}

KW_API int invalid_euc_str(const char *s) {
  if (!s) return 0;
  return invalid_string(kw::text::to_wide(s).c_str());
}

KW_API int enable_wild_card(void) {
  int old = g_wildcards_on;
  install_wildcards(u"*?$");
  g_wildcards_on = 1;
  return old;
}

KW_API int enable_custom_wild_card(const kw_wchar *set, kw_wchar *old) {
  if (old) wscpy(old, g_wildcards);
  int previous = g_wildcards_on;
  install_wildcards(set);
  g_wildcards_on = 1;
  return previous;
}

KW_API int disable_wild_card(void) {
  g_wildcards[0] = 0;
  g_wildcards_on = 0;
  return 0;
}
