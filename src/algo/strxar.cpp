// String xars: xars of pointers that own getmem'd byte or wide strings.
#include <cstring>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/memory.h"
#include "keelwork/strxar.h"

using kw::algo::count_of;
using kw::algo::slot;

namespace {

constexpr int kIncrement = 8;
constexpr char32_t kReplacement = 0xFFFD;

template <class C>
std::size_t length(const C *s) {
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

template <class C>
C *duplicate(const C *s) {
  if (!s) return nullptr;
  std::size_t n = length(s) + 1;
  C *copy = static_cast<C *>(getmem(n * sizeof(C)));
  std::memcpy(copy, s, n * sizeof(C));
  return copy;
}

// Decodes one UTF-8 sequence at s (NUL-terminated); advances s. Invalid or
// overlong sequences and encoded surrogates give U+FFFD for their first
// byte.
char32_t decode_utf8(const unsigned char *&s) {
  unsigned char c = *s++;
  if (c < 0x80) return c;
  int extra;
  char32_t cp, min;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  const unsigned char *p = s;
  for (int k = 0; k < extra; ++k, ++p) {
    if ((*p & 0xC0) != 0x80) return kReplacement;  // also stops at the NUL
    cp = (cp << 6) | (*p & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  s = p;
  return cp;
}

kw_wchar *utf8_to_utf16(const char *text) {
  if (!text) return nullptr;
  std::vector<kw_wchar> out;
  out.reserve(length(text) + 1);
  for (auto *s = reinterpret_cast<const unsigned char *>(text); *s;) {
    char32_t cp = decode_utf8(s);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<kw_wchar>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<kw_wchar>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<kw_wchar>(cp));
    }
  }
  out.push_back(0);
  auto *copy = static_cast<kw_wchar *>(getmem(out.size() * sizeof(kw_wchar)));
  std::memcpy(copy, out.data(), out.size() * sizeof(kw_wchar));
  return copy;
}

char *utf16_to_utf8(const kw_wchar *text) {
  if (!text) return nullptr;
  std::vector<char> out;
  out.reserve(length(text) * 3 + 1);
  for (const kw_wchar *s = text; *s;) {
    char32_t cp = *s++;
    if (cp >= 0xD800 && cp <= 0xDBFF && *s >= 0xDC00 && *s <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (*s++ - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  out.push_back(0);
  char *copy = static_cast<char *>(getmem(out.size()));
  std::memcpy(copy, out.data(), out.size());
  return copy;
}

void release_strings(void *to_address) {
  void **p = static_cast<void **>(slot(to_address));
  int n = count_of(p);
  for (int i = 0; i < n; ++i) relmem(&p[i]);
}

// Makes `*to_address` hold `count` strings made by `make(i)`. The new
// strings are made before the old ones go, so a source may be the target.
template <class Make>
int store_strings(void *to_address, int count, int increment, Make make) {
  if (!to_address) return -1;
  if (count < 0) count = 0;
  std::vector<void *> made(count);
  for (int i = 0; i < count; ++i) made[i] = make(i);
  if (slot(to_address)) release_strings(to_address);
  if (xar_alloc_or_resize(to_address, count, sizeof(void *), increment) != 0) {
    for (void *s : made) rlsmem(s);
    return -1;
  }
  if (count > 0) std::memcpy(slot(to_address), made.data(), count * sizeof(void *));
  return count;
}

template <class C>
const C *string_at(const C *const *array, int i) {
  return array ? array[i] : nullptr;
}

}  // namespace

KW_API int copy_string_xarray(const char *const *from, void *to_address) {
  return store_strings(to_address, count_of(from), kIncrement,
                       [from](int i) { return duplicate(from[i]); });
}

KW_API int copy_string_array_to_xarray(const char *const *array, int count, void *to_address) {
  if (!array) count = 0;
  return store_strings(to_address, count, kIncrement,
                       [array](int i) { return duplicate(array[i]); });
}

KW_API int copy_wstring_xarray(const kw_wchar *const *from, void *to_address) {
  return store_strings(to_address, count_of(from), kIncrement,
                       [from](int i) { return duplicate(from[i]); });
}

KW_API int copy_wstring_array_to_xarray(const kw_wchar *const *array, int count, void *to_address) {
  if (!array) count = 0;
  return store_strings(to_address, count, kIncrement,
                       [array](int i) { return duplicate(array[i]); });
}

KW_API int copy_wstring_xarray_from_to(const kw_wchar *const *from, void *to_address, int increment,
                                       int first, int last) {
  int n = count_of(from);
  if (last < 0 || last >= n) last = n - 1;
  if (first < 0) first = 0;
  int count = last >= first ? last - first + 1 : 0;
  return store_strings(to_address, count, increment > 0 ? increment : kIncrement,
                       [from, first](int i) { return duplicate(from[first + i]); });
}

KW_API int char_array_to_wchar_xarray(const char *const *array, int count, void *to_address) {
  if (!array) count = 0;
  return store_strings(to_address, count, kIncrement,
                       [array](int i) { return utf8_to_utf16(string_at(array, i)); });
}

KW_API int wchar_array_to_char_xarray(const kw_wchar *const *array, int count, void *to_address) {
  if (!array) count = 0;
  return store_strings(to_address, count, kIncrement,
                       [array](int i) { return utf16_to_utf8(string_at(array, i)); });
}

KW_API int append_wstr_to_wstr_xarray(void *array_address, const kw_wchar *string, int copy) {
  if (!array_address) return -1;
  const kw_wchar *stored = copy == 1 ? duplicate(string) : string;
  if (xar_alloc_or_append(array_address, 1, sizeof(void *), kIncrement, &stored) != 0) {
    if (copy == 1) rlsmem(const_cast<kw_wchar *>(stored));
    return -1;
  }
  return xar_count(array_address);
}

KW_API int resize_string_xarray(void *array_address, int count) {
  if (!array_address || count < 0)
    return kw::algo::reject("resize_string_xarray", "invalid call", -1);
  void **p = static_cast<void **>(slot(array_address));
  for (int i = count; i < count_of(p); ++i) relmem(&p[i]);
  return xar_alloc_or_resize(array_address, count, sizeof(void *), kIncrement);
}

KW_API void release_ptr_xar(void *array_address) {
  if (!array_address || !slot(array_address)) return;
  release_strings(array_address);
  xar_free(array_address);
}

KW_API void release_wstring_xarray(void *array_address) { release_ptr_xar(array_address); }
KW_API void rls_string_xarray(void *array_address) { release_ptr_xar(array_address); }
KW_API void free_wstring_xar(void *array_address) { release_ptr_xar(array_address); }
