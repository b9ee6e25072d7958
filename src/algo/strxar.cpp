// String xars: xars of pointers that own getmem'd byte or wide strings.
#include <cstring>
#include <vector>

#include "algo/algo_internal.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/memory.h"
#include "keelwork/strxar.h"
#include "keelwork/wstring.h"

using kw::algo::count_of;
using kw::algo::slot;

namespace {

constexpr int kIncrement = 8;
constexpr kw_wchar kReplacement = 0xFFFD;

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

// Converts with the runtime's validating conversion `convert` (the shared
// contract of btk_unicode.h), replacing each invalid character by
// `replacement` and going on after its first unit. The result is a new
// getmem string.
template <class From, class To, class Convert>
To *convert_replacing(const From *text, Convert convert, const To *replacement) {
  if (!text) return nullptr;
  std::vector<To> out;
  for (const From *p = text;;) {
    int32_t used = 0;
    int32_t n = convert(p, -1, nullptr, 0, &used);  // measures
    if (n < 0 && used <= 0) used = 0;
    int32_t take = n >= 0 ? -1 : used;  // the valid run before the bad character
    int32_t want = n >= 0 ? n : convert(p, used, nullptr, 0, nullptr);
    if (want > 0) {
      std::size_t at = out.size();
      out.resize(at + want + 1);
      int32_t got = convert(p, take, out.data() + at, want + 1, nullptr);
      out.resize(at + (got > 0 ? got : 0));
    }
    if (n >= 0) break;
    for (const To *r = replacement; *r; ++r) out.push_back(*r);
    p += used + 1;
    if (!*p) break;
  }
  out.push_back(0);
  To *copy = static_cast<To *>(getmem(out.size() * sizeof(To)));
  std::memcpy(copy, out.data(), out.size() * sizeof(To));
  return copy;
}

kw_wchar *utf8_to_utf16(const char *text) {
  static const kw_wchar replacement[] = {kReplacement, 0};
  return convert_replacing(text, btkStrUtf8ToUtf16, replacement);
}

char *utf16_to_utf8(const kw_wchar *text) {
  static const char replacement[] = "\xef\xbf\xbd";
  return convert_replacing(text, btkStrUtf16ToUtf8, replacement);
}

// Byte strings are in the session encoding (UTF-8 in Unicode mode); text
// the session's conversion refuses is taken as UTF-8 with replacements, so
// that every string still gets a copy.
kw_wchar *session_to_wide(const char *text) {
  if (kw_wchar *w = make_strtows(text)) return w;
  return utf8_to_utf16(text);
}

char *wide_to_session(const kw_wchar *text) {
  if (char *s = make_wstostr(text)) return s;
  return utf16_to_utf8(text);
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
                       [array](int i) { return session_to_wide(string_at(array, i)); });
}

KW_API int wchar_array_to_char_xarray(const kw_wchar *const *array, int count, void *to_address) {
  if (!array) count = 0;
  return store_strings(to_address, count, kIncrement,
                       [array](int i) { return wide_to_session(string_at(array, i)); });
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
