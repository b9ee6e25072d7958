// Searching in strings and string arrays, and the comparison callbacks.
#include <cctype>
#include <cstring>
#include <functional>
#include <string_view>

#include "keelwork/btk_unicode.h"
#include "keelwork/sorted.h"
#include "keelwork/strutil.h"
#include "keelwork/wstring.h"
#include "text/search_internal.h"
#include "text/wstring_internal.h"

namespace {

inline int upper_ascii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 0x20 : c; }

template <class T, class Equal>
int index_in(const T *const *array, int n, const T *s, Equal equal) {
  if (!array || !s) return -1;
  for (int i = 0; i < n; ++i)
    if (array[i] && equal(array[i], s)) return i;
  return -1;
}

bool bytes_equal(const char *a, const char *b, int case_sensitive) {
  return case_sensitive ? std::strcmp(a, b) == 0 : btk_strcasecmp(a, b) == 0;
}

bool wide_equal(const kw_wchar *a, const kw_wchar *b, int case_sensitive) {
  return case_sensitive ? wscmp(a, b) == 0 : wu_strcmp(a, b) == 0;
}

}  // namespace

KW_API int searchstr(const char *s, const char *sub) {
  if (!s || !sub || !*s) return -1;
  std::size_t hit = std::string_view(s).find(sub);
  return hit == std::string_view::npos ? -1 : static_cast<int>(hit);
}

KW_API int u_searchstr(const char *s, const char *sub) {
  if (!s || !sub || !*s) return -1;
  std::size_t m = std::strlen(sub);
  if (m == 0) return 0;
  auto eq = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
  };
  return static_cast<int>(kw::text::search_units(s, std::strlen(s), sub, m, eq).found);
}

KW_API int vex_index(const kw_wchar *w, const kw_wchar *sub) {
  if (!sub || !*sub) return -1;
  if (!w || !*w) return -2;
  auto r =
      kw::text::search_units(w, kw::text::wlen(w), sub, kw::text::wlen(sub), std::equal_to<>());
  return r.found >= 0 ? static_cast<int>(r.found) : -2;
}

KW_API int is_str_in_str_array(const char *const *array, int n, const char *s, int case_sensitive) {
  return index_in(array, n, s,
                  [&](const char *a, const char *b) { return bytes_equal(a, b, case_sensitive); });
}

KW_API int is_wstr_in_wstr_arr_low(const kw_wchar *const *array, int n, const kw_wchar *w,
                                   int case_sensitive) {
  return index_in(array, n, w, [&](const kw_wchar *a, const kw_wchar *b) {
    return wide_equal(a, b, case_sensitive);
  });
}

KW_API int search_wstring_in_wstring_array(const kw_wchar *const *array, int n, const kw_wchar *w) {
  return is_wstr_in_wstr_arr_low(array, n, w, 1);
}

KW_API int is_wstring_in_wstring_array(const kw_wchar *const *array, int n, const kw_wchar *w,
                                       int case_sensitive) {
  return is_wstr_in_wstr_arr_low(array, n, w, case_sensitive) >= 0;
}

KW_API int compare_wstring_arrays(const kw_wchar *const *a, const kw_wchar *const *b, int n) {
  if (!a || !b) return 0;
  for (int i = 0; i < n; ++i)
    if (int d = wstrcmp_null(a[i], b[i])) return d;
  return 0;
}

KW_API int index_in_string_pair_arrays(const char *const *keys, const char *key,
                                       const char *const *values, const char *value, int n,
                                       int case_sensitive) {
  if (!keys || !values || !key || !value) return -1;
  for (int i = 0; i < n; ++i) {
    if (keys[i] && values[i] && bytes_equal(keys[i], key, case_sensitive) &&
        bytes_equal(values[i], value, case_sensitive))
      return i;
  }
  return -1;
}

KW_API int u_strcmp_func(const void *a, const void *b) {
  const auto *x = static_cast<const unsigned char *>(a);
  const auto *y = static_cast<const unsigned char *>(b);
  for (;; ++x, ++y) {
    int c = upper_ascii(*x), d = upper_ascii(*y);
    if (c != d || !c) return c - d;
  }
}

KW_API int upper_strncmp_func(const char *a, const char *b, int n) {
  const auto *x = reinterpret_cast<const unsigned char *>(a);
  const auto *y = reinterpret_cast<const unsigned char *>(b);
  for (; n > 0; --n, ++x, ++y) {
    int c = upper_ascii(*x), d = upper_ascii(*y);
    if (c != d || !c) return c - d;
  }
  return 0;
}

KW_API int compare_string_ptrs(const void *a, const void *b) {
  const char *x = *static_cast<const char *const *>(a);
  const char *y = *static_cast<const char *const *>(b);
  if (!x || !y) return check_null_pointers(x, y);
  return std::strcmp(x, y);
}
