// White space, quoting, tokens and escapes.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "keelwork/status_codes.h"
#include "keelwork/strutil.h"
#include "keelwork/wstring.h"
#include "text/wstring_internal.h"

using kw::text::wlen;

namespace {

std::atomic<int> g_freeze_symbols{0};

inline bool blank_or_tab(kw_wchar c) { return c == ' ' || c == '\t'; }

inline bool in_set(const kw_wchar *set, kw_wchar c) {
  if (!set || !c) return false;
  for (; *set; ++set)
    if (*set == c) return true;
  return false;
}

constexpr std::size_t kQuotedMax = 81;

template <class T>
T *escape_copy(const T *s, int special, int escape, int marker) {
  std::size_t n = std::char_traits<T>::length(s);
  auto *out = static_cast<T *>(getmem((2 * n + 1) * sizeof(T)));
  T *o = out;
  for (; *s; ++s) {
    int c = static_cast<std::make_unsigned_t<T>>(*s);
    if (c == escape || c == marker) {
      *o++ = static_cast<T>(marker);
      *o++ = *s;
    } else {
      *o++ = c == special ? static_cast<T>(escape) : *s;
    }
  }
  *o = 0;
  return out;
}

template <class T>
T *unescape_copy(const T *s, int special, int escape, int marker) {
  std::size_t n = std::char_traits<T>::length(s);
  auto *out = static_cast<T *>(getmem((n + 1) * sizeof(T)));
  T *o = out;
  for (; *s; ++s) {
    int c = static_cast<std::make_unsigned_t<T>>(*s);
    if (c == marker && s[1]) {
      *o++ = *++s;
    } else {
      *o++ = c == escape ? static_cast<T>(special) : *s;
    }
  }
  *o = 0;
  return out;
}

}  // namespace

// ---- white space ----------------------------------------------------------------

KW_API int blankpad(char *s, int size) {
  if (!s || !*s || size < 1) return 0;
  std::size_t n = std::strlen(s);
  if (n >= static_cast<std::size_t>(size)) return 0;
  std::memset(s + n, ' ', static_cast<std::size_t>(size) - 1 - n);
  s[size - 1] = 0;
  return 1;
}

KW_API int blankstr(const kw_wchar *w) {
  if (!w) return 1;
  while (blank_or_tab(*w)) ++w;
  return *w == 0;
}

KW_API int empty_string(const char *s) {
  if (!s) return 1;
  while (*s && std::isspace(static_cast<unsigned char>(*s))) ++s;
  return *s == 0;
}

KW_API int empty_string_noz(const char *start, const char *end) {
  if (!start) return 1;
  for (; (!end || start < end) && *start; ++start)
    if (!std::isspace(static_cast<unsigned char>(*start))) return 0;
  return 1;
}

KW_API kw_wchar *remove_trailing_whitespace(kw_wchar *w) {
  if (!w) return nullptr;
  std::size_t n = wlen(w);
  while (n > 0 && (blank_or_tab(w[n - 1]) || w[n - 1] == '\n')) --n;
  w[n] = 0;
  return n ? w + n - 1 : w;
}

KW_API kw_wchar *remove_all_trailing_whitespaces(kw_wchar *w) {
  if (!w) return nullptr;
  std::size_t n = wlen(w);
  while (n > 0 && btk_iswspace(w[n - 1])) --n;
  w[n] = 0;
  return w;
}

KW_API kw_wchar *remove_lead_trail_whitespace(kw_wchar *w) {
  if (!w) return nullptr;
  remove_all_trailing_whitespaces(w);
  const kw_wchar *p = w;
  while (btk_iswspace(*p)) ++p;
  if (p != w) std::memmove(w, p, (wlen(p) + 1) * sizeof(kw_wchar));
  return w;
}

KW_API kw_wchar *strip_wspaces(kw_wchar **w) {
  if (!w || !*w) return nullptr;
  while (btk_iswspace(**w)) ++*w;
  return *w;
}

KW_API kw_wchar *extract_string(kw_wchar *w) {
  if (!w) return nullptr;
  remove_all_trailing_whitespaces(w);
  while (btk_iswspace(*w)) ++w;
  return w;
}

KW_API char *trunc_ctrl_chars(const char *src, char *dst) {
  if (!src || !dst) return dst;
  char *o = dst;
  for (; *src; ++src) {
    auto c = static_cast<unsigned char>(*src);
    // Bytes of multibyte characters count as printable, as wide units
    // above 127 do.
    if (c >= 0x80 || std::isspace(c) || std::isprint(c)) *o++ = static_cast<char>(c);
  }
  *o = 0;
  return dst;
}

// ---- quoting --------------------------------------------------------------------------

KW_API int is_quote_char(int wc) { return wc == '"' || wc == '\''; }

KW_API kw_wchar *strip_quotes(const kw_wchar *w, kw_wchar *dst) {
  if (!w || !dst) return dst;
  const kw_wchar *start = w;
  if (is_quote_char(*start)) ++start;
  std::size_t n = wlen(start), end = n;
  while (end > 0 && start[end - 1] == ' ') --end;
  if (end > 0 && is_quote_char(start[end - 1]))
    --end;
  else
    end = n;
  end = std::min(end, kQuotedMax);
  std::memmove(dst, start, end * sizeof(kw_wchar));
  dst[end] = 0;
  return dst;
}

KW_API int wstr_to_richtext_buff(const kw_wchar *src, kw_wchar *dst, int size) {
  if (!src || !dst || size < 1 || src == dst) return E_INVALID_INPUT;
  std::size_t cap = static_cast<std::size_t>(size) - 1, o = 0;
  for (; *src; ++src) {
    std::size_t need = *src == '\\' ? 2 : 1;
    if (o + need > cap) {
      dst[o] = 0;
      return E_CANT_FIT;
    }
    dst[o++] = *src;
    if (need == 2) dst[o++] = '\\';
  }
  dst[o] = 0;
  return E_NO_ERROR;
}

KW_API char *eliminate_symbol_doubles(char *s, const char *sym) {
  if (!s || !sym || !*sym) return s;
  // Each removal drops the first character of an occurrence, and the search
  // goes on from where it was: the part not yet searched is the original
  // text after that character, so one pass does it.
  std::string_view text(s), pattern(sym);
  std::size_t read = 0, write = 0;
  for (std::size_t hit; (hit = text.find(pattern, read)) != std::string_view::npos;
       read = hit + 1) {
    std::memmove(s + write, s + read, hit - read);
    write += hit - read;
  }
  std::memmove(s + write, s + read, text.size() - read + 1);
  return s;
}

// ---- tokens --------------------------------------------------------------------------------

KW_API int parse_quoted_to_tok(const kw_wchar **cursor, const kw_wchar *delims, int size,
                               kw_wchar *token) {
  if (!cursor || !*cursor || !token || size < 1) return E_INVALID_INPUT;
  if (in_set(delims, '"') || in_set(delims, '\'')) return E_INVALID_INPUT;
  const kw_wchar *p = *cursor;
  while (in_set(delims, *p)) ++p;
  std::size_t n = 0, cap = static_cast<std::size_t>(size) - 1;
  kw_wchar quote = 0;
  bool cut = false;
  for (; *p; ++p) {
    kw_wchar c = *p;
    if (!quote && in_set(delims, c)) break;
    if ((c == '"' && quote != '\'') || (c == '\'' && quote != '"')) {
      quote = quote ? 0 : c;
      continue;
    }
    if (n < cap)
      token[n++] = c;
    else
      cut = true;
  }
  token[n] = 0;
  if (quote) return E_CANT_PARSE;
  *cursor = *p ? p : nullptr;
  return cut ? E_CANT_FIT : E_NO_ERROR;
}

KW_API int wstr_to_wrapped_tok(const kw_wchar *w, const kw_wchar *delims, int size, kw_wchar *dst) {
  if (!w || !dst || size < 1) return E_INVALID_INPUT;
  std::size_t n = wlen(w);
  if (n >= static_cast<std::size_t>(size)) return E_INVALID_INPUT;
  bool has_double = false, has_single = false, has_delim = false;
  for (const kw_wchar *p = w; *p; ++p) {
    has_double |= *p == '"';
    has_single |= *p == '\'';
    has_delim |= in_set(delims, *p);
  }
  std::u16string out;
  if (!has_double && !has_single && !has_delim) {
    out = w;
  } else if (!has_double || !has_single) {
    kw_wchar q = has_double ? '\'' : '"';
    out.push_back(q);
    out.append(w);
    out.push_back(q);
  } else {
    // Pieces, each quoted by the kind it does not contain.
    std::u16string piece;
    kw_wchar wrapper = 0;
    auto flush = [&] {
      kw_wchar q = wrapper ? wrapper : u'"';
      out.push_back(q);
      out.append(piece);
      out.push_back(q);
      piece.clear();
    };
    for (const kw_wchar *p = w; *p; ++p) {
      kw_wchar need = *p == '"' ? u'\'' : *p == '\'' ? u'"' : 0;
      if (need && wrapper && need != wrapper) flush();
      if (need) wrapper = need;
      piece.push_back(*p);
    }
    flush();
  }
  if (out.size() >= static_cast<std::size_t>(size)) {
    dst[0] = 0;
    return E_CANT_FIT;
  }
  std::memcpy(dst, out.c_str(), (out.size() + 1) * sizeof(kw_wchar));
  return E_NO_ERROR;
}

KW_API kw_wchar *remove_dup_special_chars(kw_wchar *w) {
  if (!w) return nullptr;
  bool in_run = false;
  for (kw_wchar *p = w; *p; ++p) {
    if (*p == 1) {
      in_run = true;
    } else if (*p == 2) {
      in_run = false;
    } else if (in_run) {
      switch (*p) {
        case 't':
          *p = '"';
          break;
        case 'u':
          *p = '!';
          break;
        case 'b':
          *p = 'l';
          break;
        case ' ':
          *p = '~';
          break;
        default:
          break;
      }
    }
  }
  return w;
}

// ---- escapes -------------------------------------------------------------------------------

KW_API char *replace_escape_char_in_str(const char *s, int special, int escape, int marker) {
  return s ? escape_copy(s, special, escape, marker) : nullptr;
}

KW_API char *unreplace_escape_char_in_str(const char *s, int special, int escape, int marker) {
  return s ? unescape_copy(s, special, escape, marker) : nullptr;
}

KW_API kw_wchar *replace_escape_wchar_in_wstr(const kw_wchar *w, int special, int escape,
                                              int marker) {
  return w ? escape_copy(w, special, escape, marker) : nullptr;
}

KW_API kw_wchar *unreplace_escape_wchar_in_wstr(const kw_wchar *w, int special, int escape,
                                                int marker) {
  return w ? unescape_copy(w, special, escape, marker) : nullptr;
}

KW_API kw_wchar *replace_wchar_in_wstr(kw_wchar *w, int from, int to) {
  if (!w) return nullptr;
  for (kw_wchar *p = w; *p; ++p)
    if (*p == from) *p = static_cast<kw_wchar>(to);
  return w;
}

KW_API int set_freeze_symbol_chars(int flag) { return g_freeze_symbols.exchange(flag); }

KW_API int get_freeze_symbol_chars(void) { return g_freeze_symbols.load(); }
