// Wide-string primitives and their byte-string counterparts.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/strutil.h"
#include "keelwork/wstring.h"
#include "keelwork/xar.h"
#include "text/search_internal.h"
#include "text/wstring_internal.h"

namespace kw::text {

std::size_t wlen(const kw_wchar *s) { return std::char_traits<char16_t>::length(s); }

std::u16string to_wide(const char *bytes) {
  std::u16string w(std::strlen(bytes) + 1, u'\0');
  strtows(w.data(), bytes);  // after a failure, what was converted
  w.resize(wlen(w.data()));
  return w;
}

}  // namespace kw::text

using kw::text::wlen;

namespace {

// Compare units after wuppercase where they differ.
inline int fold_diff(kw_wchar a, kw_wchar b) {
  if (a == b) return 0;
  return wuppercase(a) - wuppercase(b);
}

kw_wchar *g_wstok_position = nullptr;

// The scratch limit of the replacement functions, in units.
constexpr std::size_t kReplaceLimit = 520;

}  // namespace

// ---- basic operations -----------------------------------------------------------

KW_API int wslen(const kw_wchar *s) { return static_cast<int>(wlen(s)); }

KW_API kw_wchar *wscpy(kw_wchar *dst, const kw_wchar *src) {
  std::memmove(dst, src, (wlen(src) + 1) * sizeof(kw_wchar));
  return dst;
}

KW_API kw_wchar *wscat(kw_wchar *dst, const kw_wchar *src) {
  wscpy(dst + wlen(dst), src);
  return dst;
}

KW_API kw_wchar *wsncpy(kw_wchar *dst, const kw_wchar *src, int n) {
  if (n <= 0) return dst;
  std::size_t i = 0, limit = static_cast<std::size_t>(n);
  for (; i < limit && src[i]; ++i) dst[i] = src[i];
  for (; i < limit; ++i) dst[i] = 0;
  return dst;
}

KW_API kw_wchar *wsncat(kw_wchar *dst, const kw_wchar *src, int n) {
  if (n <= 0) return dst;
  kw_wchar *o = dst + wlen(dst);
  for (int i = 0; i < n && src[i]; ++i) *o++ = src[i];
  *o = 0;
  return dst;
}

KW_API int wscmp(const kw_wchar *a, const kw_wchar *b) {
  for (; *a == *b; ++a, ++b)
    if (!*a) return 0;
  return static_cast<int>(*a) - static_cast<int>(*b);
}

KW_API int wsncmp(const kw_wchar *a, const kw_wchar *b, int n) {
  for (; n > 0; --n, ++a, ++b) {
    if (*a != *b) return static_cast<int>(*a) - static_cast<int>(*b);
    if (!*a) break;
  }
  return 0;
}

KW_API kw_wchar *wschr(const kw_wchar *s, int c) {
  for (;; ++s) {
    if (*s == c) return const_cast<kw_wchar *>(s);
    if (!*s) return nullptr;
  }
}

KW_API kw_wchar *wsrchr(const kw_wchar *s, int c) {
  const kw_wchar *found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return const_cast<kw_wchar *>(found);
  }
}

KW_API kw_wchar *wstrchr_two_tokens(const kw_wchar *s, int a, int b) {
  if (!s || !*s) return const_cast<kw_wchar *>(s);
  while (*s && *s != a && *s != b) ++s;
  return const_cast<kw_wchar *>(s);
}

KW_API int wstrcmp_null(const kw_wchar *a, const kw_wchar *b) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  return wscmp(a, b);
}

KW_API int wu_strcmp(const kw_wchar *a, const kw_wchar *b) {
  for (;; ++a, ++b) {
    if (int d = fold_diff(*a, *b)) return d;
    if (!*a) return 0;
  }
}

KW_API int wu_strcmp_null(const kw_wchar *a, const kw_wchar *b) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  return wu_strcmp(a, b);
}

KW_API int wu_strncmp(const kw_wchar *a, const kw_wchar *b, int n) {
  for (; n > 0; --n, ++a, ++b) {
    if (int d = fold_diff(*a, *b)) return d;
    if (!*a) break;
  }
  return 0;
}

KW_API int wu_strcmp_func(const void *a, const void *b) {
  return wu_strcmp(static_cast<const kw_wchar *>(a), static_cast<const kw_wchar *>(b));
}

KW_API kw_wchar *wstok(kw_wchar *s, const kw_wchar *delims) {
  if (s) g_wstok_position = s;
  kw_wchar *start = g_wstok_position;
  if (!start || !*start) return nullptr;
  kw_wchar *end = nullptr;
  if (delims) {
    for (kw_wchar *p = start; *p && !end; ++p)
      if (wschr(delims, *p) && *p) end = p;
  }
  if (!end) {
    g_wstok_position = nullptr;
    return start;
  }
  *end = 0;
  g_wstok_position = end + 1;
  return start;
}

KW_API kw_wchar *ws_sub_wc(const kw_wchar *src, kw_wchar *dst, int from, int to) {
  if (!dst) return nullptr;
  if (!src) {
    dst[0] = 0;
    return nullptr;
  }
  std::size_t i = 0;
  for (; src[i]; ++i) dst[i] = src[i] == from ? static_cast<kw_wchar>(to) : src[i];
  dst[i] = 0;
  return dst;
}

KW_API int ws_index(const kw_wchar *s, const kw_wchar *sub) {
  if (!s || !sub || !*s) return 0;
  std::size_t m = wlen(sub);
  if (m == 0) return 1;
  auto r = kw::text::search_units(s, wlen(s), sub, m, std::equal_to<>());
  return r.found >= 0 || r.tail > 0;
}

KW_API int searchwstr(const kw_wchar *s, const kw_wchar *sub) {
  if (!s || !sub || !*s) return -1;
  std::size_t n = wlen(s), m = wlen(sub);
  if (m == 0) return static_cast<int>(n);
  return static_cast<int>(kw::text::search_units(s, n, sub, m, std::equal_to<>()).found);
}

KW_API kw_wchar *wstrtok_replace(kw_wchar *dst, const kw_wchar *src, const kw_wchar *old_text,
                                 const kw_wchar *new_text) {
  if (!dst || !src || !old_text || !new_text) return nullptr;
  std::u16string_view s(src), o(old_text), n(new_text);
  std::size_t pos = s.find(o);
  if (pos == std::u16string_view::npos) return nullptr;
  if (s.size() - o.size() + n.size() >= kReplaceLimit) return nullptr;
  std::u16string out;
  out.reserve(s.size() - o.size() + n.size());
  out.append(s.substr(0, pos)).append(n).append(s.substr(pos + o.size()));
  std::memcpy(dst, out.c_str(), (out.size() + 1) * sizeof(kw_wchar));
  return dst + pos;
}

KW_API kw_wchar *wstrtok_replace_all(kw_wchar *dst, const kw_wchar *src, const kw_wchar *old_text,
                                     const kw_wchar *new_text) {
  if (!dst || !src || !old_text || !new_text) return nullptr;
  std::u16string s(src);
  if (s.size() >= kReplaceLimit) return nullptr;
  std::u16string_view o(old_text), n(new_text);
  // A result that would reach the limit leaves the text unchanged, whether
  // one replacement or all of them make it too long.
  std::u16string out = s;
  if (s.size() - o.size() + n.size() < kReplaceLimit) {
    std::u16string replaced;
    if (o.empty()) {
      replaced = s;
      replaced.append(n);
    } else {
      std::size_t pos = 0;
      for (std::size_t hit; (hit = s.find(o, pos)) != std::u16string::npos; pos = hit + o.size())
        replaced.append(s, pos, hit - pos).append(n);
      replaced.append(s, pos);
    }
    if (replaced.size() < kReplaceLimit) out = std::move(replaced);
  }
  std::memcpy(dst, out.c_str(), (out.size() + 1) * sizeof(kw_wchar));
  return dst;
}

KW_API int wcnvrt_to_title(const kw_wchar *src, kw_wchar *dst) {
  bool in_run = false;
  std::size_t i = 0;
  for (; src[i]; ++i) {
    kw_wchar c = src[i];
    if (btk_iswalnum(c)) {
      dst[i] = static_cast<kw_wchar>(in_run ? wlowercase(c) : wuppercase(c));
      in_run = true;
    } else {
      dst[i] = c;
      in_run = false;
    }
  }
  dst[i] = 0;
  return 0;
}

KW_API int vex_iswprint(int c) { return c > 127 || (c >= 0 && std::isprint(c)); }

KW_API int vex_iswgraph(int c) { return c > 127 || (c >= 0 && std::isgraph(c)); }

KW_API kw_wchar *wstrip_cr(kw_wchar *s) {
  if (!s) return nullptr;
  if (kw_wchar *lf = wsrchr(s, '\n')) *lf = 0;
  return s;
}

KW_API char *strip_cr(char *s) {
  if (!s) return nullptr;
  if (char *lf = std::strchr(s, '\n')) *lf = 0;
  return s;
}

KW_API char *quick_strcat(char **p, const char *s) {
  char *old = *p;
  std::size_t n = std::strlen(s);
  std::memcpy(old, s, n);
  *p = old + n;
  return old;
}

KW_API kw_wchar *quick_wstrcat(kw_wchar **p, const kw_wchar *s) {
  kw_wchar *old = *p;
  std::size_t n = wlen(s);
  std::memcpy(old, s, n * sizeof(kw_wchar));
  *p = old + n;
  return old;
}

KW_API char *s_strip(char *s) {
  if (!s) return nullptr;
  while (*s && std::isspace(static_cast<unsigned char>(*s))) ++s;
  strip_cr(s);
  std::size_t n = std::strlen(s);
  while (n > 0 && std::isspace(static_cast<unsigned char>(s[n - 1]))) --n;
  s[n] = 0;
  return s;
}

KW_API int wstrcpy_limit(const kw_wchar *src, int size, kw_wchar *dst) {
  if (size < 1) return 1;
  std::size_t n = wlen(src);
  if (n <= static_cast<std::size_t>(size - 1)) {
    std::memmove(dst, src, (n + 1) * sizeof(kw_wchar));
    return 0;
  }
  dst[0] = 0;
  return 1;
}

KW_API int wstrcat_limit(kw_wchar *dst, const kw_wchar *src, int size) {
  if (size < 1) return 1;
  std::size_t have = wlen(dst), add = wlen(src), cap = static_cast<std::size_t>(size);
  if (have + add + 1 <= cap) {
    std::memcpy(dst + have, src, (add + 1) * sizeof(kw_wchar));
    return 0;
  }
  if (have < cap - 1) std::memcpy(dst + have, src, (cap - 1 - have) * sizeof(kw_wchar));
  dst[cap - 1] = 0;
  return 1;
}

KW_API char *strncpy_set_null(char *dst, const char *src, int n) {
  if (n <= 0) return dst;
  std::size_t len = strnlen(src, static_cast<std::size_t>(n));
  std::memmove(dst, src, len);
  if (len < static_cast<std::size_t>(n)) dst[len] = 0;
  dst[n - 1] = 0;
  return dst;
}

KW_API kw_wchar *wstrncpy_set_null(kw_wchar *dst, const kw_wchar *src, int n) {
  if (n <= 0) return dst;
  std::size_t len = 0;
  while (len < static_cast<std::size_t>(n) && src[len]) ++len;
  std::memmove(dst, src, len * sizeof(kw_wchar));
  if (len < static_cast<std::size_t>(n)) dst[len] = 0;
  dst[n - 1] = 0;
  return dst;
}

KW_API kw_wchar *wstrncat_set_null(kw_wchar *dst, const kw_wchar *src, int size) {
  if (size < 1) return dst;
  std::size_t have = wlen(dst), cap = static_cast<std::size_t>(size);
  if (have >= cap - 1) return dst;
  std::size_t add = std::min(wlen(src), cap - 1 - have);
  std::memcpy(dst + have, src, add * sizeof(kw_wchar));
  dst[have + add] = 0;
  return dst;
}

KW_API kw_wchar *change_end_to_ellipsis(kw_wchar *s) {
  if (!s) return nullptr;
  std::size_t n = wlen(s);
  for (std::size_t i = n > 3 ? n - 3 : 0; i < n; ++i) s[i] = '.';
  return s;
}

KW_API kw_wchar *left_truncate_string(const kw_wchar *src, kw_wchar *dst, int width) {
  if (!src || !dst || width < 1) return dst;
  std::size_t n = wlen(src), w = static_cast<std::size_t>(width);
  if (n < w) {
    std::memmove(dst, src, (n + 1) * sizeof(kw_wchar));
    return dst;
  }
  std::size_t dots = w < 4 ? w - 1 : 3;
  std::size_t keep = w - 1 - dots;
  const kw_wchar *tail = src + n - keep;
  // Do not start with the second half of a surrogate pair.
  if (keep > 0 && *tail >= 0xDC00 && *tail <= 0xDFFF) {
    ++tail;
    --keep;
  }
  kw_wchar buffer[4] = {'.', '.', '.', 0};
  std::memmove(dst + dots, tail, keep * sizeof(kw_wchar));
  std::memcpy(dst, buffer, dots * sizeof(kw_wchar));
  dst[dots + keep] = 0;
  return dst;
}

KW_API int build_wstr_list_from_ints(kw_wchar *dst, const int32_t *ints) {
  if (!dst) return 0;
  dst[0] = 0;
  int count = xar_count(&ints);
  std::size_t len = 0;
  for (int i = 0; i < count; ++i) {
    char item[24];
    int k = std::snprintf(item, sizeof item, i ? ", %d" : "%d", ints[i]);
    if (len + static_cast<std::size_t>(k) > 171) {
      for (const char *p = ", ..."; *p; ++p) dst[len++] = static_cast<kw_wchar>(*p);
      dst[len] = 0;
      return 1;
    }
    for (int j = 0; j < k; ++j) dst[len++] = static_cast<kw_wchar>(item[j]);
    dst[len] = 0;
  }
  return count > 0;
}

// ---- byte-string second arguments ---------------------------------------------------------

KW_API kw_wchar *wstrcat_s(kw_wchar *dst, const char *bytes) {
  return wscat(dst, kw::text::to_wide(bytes).c_str());
}

KW_API kw_wchar *wstrncat_s(kw_wchar *dst, const char *bytes, int n) {
  std::string cut(bytes, strnlen(bytes, 259));
  return wsncat(dst, kw::text::to_wide(cut.c_str()).c_str(), n);
}

KW_API int wstrcmp_s(const kw_wchar *w, const char *bytes) {
  return wscmp(w, kw::text::to_wide(bytes).c_str());
}

KW_API int wstrncmp_s(const kw_wchar *w, const char *bytes, int n) {
  return wsncmp(w, kw::text::to_wide(bytes).c_str(), n);
}

KW_API int wu_strcmp_s(const kw_wchar *w, const char *bytes) {
  // Printable ASCII compares directly; the rest is converted.
  const auto *b = reinterpret_cast<const unsigned char *>(bytes);
  for (; *w >= 0x20 && *w <= 0x7E && *b >= 0x20 && *b <= 0x7E; ++w, ++b) {
    int x = std::toupper(*w), y = std::toupper(*b);
    if (x != y) return x - y;
  }
  return wu_strcmp(w, kw::text::to_wide(reinterpret_cast<const char *>(b)).c_str());
}

KW_API int wu_strncmp_s(const kw_wchar *w, const char *bytes, int n) {
  return wu_strncmp(w, kw::text::to_wide(bytes).c_str(), n);
}
