// Text arrays of byte and wide strings held in xars.
#include <cstring>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/sorted.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "keelwork/xar.h"
#include "keelwork/xtext.h"
#include "text/file_seam_internal.h"
#include "text/wstring_internal.h"

namespace {

constexpr int kGrowth = 4;

template <class T>
T *copy_of(const T *s) {
  if constexpr (sizeof(T) == 1)
    return make_scopy(s);
  else
    return make_wscopy(s);
}

template <class T>
int compare(const T *a, const T *b) {
  if constexpr (sizeof(T) == 1)
    return std::strcmp(a, b);
  else
    return wscmp(a, b);
}

int compare_bytes(const void *a, const void *b) {
  return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b));
}

int compare_wide(const void *a, const void *b) {
  return wscmp(static_cast<const kw_wchar *>(a), static_cast<const kw_wchar *>(b));
}

template <class T>
int insert(void *a_address, int index, const T *s) {
  auto **array = static_cast<T ***>(a_address);
  if (!array || !s) return -1;
  int count = xar_count(array);
  if (index == -1) index = count;
  if (index < 0 || index > count) return -1;
  if (!*array) *array = static_cast<T **>(xar_alloc(0, sizeof(T *), kGrowth));
  T *copy = copy_of(s);
  if (!*array || xar_insert(array, index, 1, &copy) != 0) {
    relmem(&copy);
    return -1;
  }
  return index;
}

template <class T>
int sorted_insert(void *a_address, const T *s, kw_compare_fn cmp) {
  auto **array = static_cast<T ***>(a_address);
  if (!array || !s) return -1;
  int index = 0;
  if (binary_search_low(xar_count(array), cmp, s, *array, &index)) return 0;
  return insert(a_address, index, s) >= 0 ? 1 : -1;
}

template <class T>
T **copy_array(T *const *a) {
  if (!a) return nullptr;
  int count = xar_count(&a);
  auto **out = static_cast<T **>(xar_alloc(count, sizeof(T *), kGrowth));
  for (int i = 0; i < count; ++i) out[i] = copy_of(a[i]);
  return out;
}

template <class T>
int lin_search(T *const *array, int n, const T *s) {
  if (!array || !s) return -1;
  for (int i = 0; i < n; ++i)
    if (array[i] && compare(array[i], s) == 0) return i;
  return -1;
}

bool damaged(const void *a) {
  int element_size = 0;
  return debug_xar_invalid(a) ||
         (a && (xar_params(a, &element_size, nullptr, nullptr, nullptr) != 0 ||
                element_size != static_cast<int>(sizeof(void *))));
}

template <class T, class IsSpace>
T **words_of(const T *s, IsSpace is_space) {
  if (!s) return nullptr;
  T **out = nullptr;
  while (*s) {
    while (*s && is_space(*s)) ++s;
    const T *start = s;
    while (*s && !is_space(*s)) ++s;
    if (s == start) break;
    std::basic_string<T> word(start, static_cast<std::size_t>(s - start));
    insert(&out, -1, word.c_str());
  }
  return out;
}

}  // namespace

KW_API void xtext_print(char *const *a) {
  if (damaged(a)) {
    vex_printf("Bad xarray.\n\n");
    return;
  }
  int count = xar_count(&a);
  for (int i = 0; i < count; ++i) vex_printf("%d::%s\n", i, a[i] ? a[i] : "");
}

KW_API void xwtext_print(kw_wchar *const *a) { xwtext_print_pfa(a, nullptr); }

KW_API void xwtext_print_pfa(kw_wchar *const *a, vex_file *stream) {
  const kw::text::FileLayer &files = kw::text::file_layer();
  auto out = [&](const char *text) {
    if (!stream)
      vex_printf("%s", text);
    else if (files.fputs)
      files.fputs(text, stream);
  };
  if (damaged(a)) {
    out("Bad xarray.\n\n");
    return;
  }
  int count = xar_count(&a);
  for (int i = 0; i < count; ++i) out(vex_sprintf(nullptr, "%d::%ws\n", i, a[i] ? a[i] : u""));
}

KW_API char **xtext_copy(char *const *a) { return copy_array(a); }

KW_API kw_wchar **xwtext_copy(kw_wchar *const *a) { return copy_array(a); }

KW_API int xtext_lin_search(char *const *a, const char *s) {
  return lin_search(a, xar_count(&a), s);
}

KW_API int xtext_lin_search_low(char *const *array, int n, const char *s) {
  return lin_search(array, n, s);
}

KW_API int xwtext_lin_search(kw_wchar *const *a, const kw_wchar *w) {
  return lin_search(a, xar_count(&a), w);
}

KW_API int xtext_bin_search(char *const *a, const char *s, int *index) {
  if (!s) return 0;
  return binary_search_low(xar_count(&a), compare_bytes, s, a, index);
}

KW_API int xwtext_bin_search(kw_wchar *const *a, const kw_wchar *w, int *index) {
  if (!w) return 0;
  return binary_search_low(xar_count(&a), compare_wide, w, a, index);
}

KW_API int xtext_insert(void *a_address, int index, const char *s) {
  return insert(a_address, index, s);
}

KW_API int xwtext_insert(void *a_address, int index, const kw_wchar *w) {
  return insert(a_address, index, w);
}

KW_API int xtext_sorted_insert(void *a_address, const char *s) {
  return sorted_insert(a_address, s, compare_bytes);
}

KW_API int xwtext_sorted_insert(void *a_address, const kw_wchar *w) {
  return sorted_insert(a_address, w, compare_wide);
}

KW_API void xtext_sort(char **a) { sort_pointers(xar_count(&a), compare_bytes, a); }

KW_API void xwtext_sort(kw_wchar **a) { sort_pointers(xar_count(&a), compare_wide, a); }

KW_API void xwtext_sort_wu(kw_wchar **a) { sort_pointers(xar_count(&a), wu_strcmp_func, a); }

KW_API char **xtext_from_string(const char *s) {
  return words_of(s, [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

KW_API kw_wchar **xwtext_from_string(const kw_wchar *w) {
  return words_of(w, [](kw_wchar c) { return btk_iswspace(c) != 0; });
}

KW_API int xtext_to_string(char *const *a, int first, const char *sep, int size, char *dst,
                           int *last) {
  if (last) *last = first - 1;
  if (!dst || size < 1) return 0;
  dst[0] = 0;
  int count = xar_count(&a);
  if (first < 0) first = 0;
  std::size_t len = 0, sep_len = sep ? std::strlen(sep) : 0;
  for (int i = first; i < count; ++i) {
    const char *item = a[i] ? a[i] : "";
    std::size_t add = std::strlen(item) + (i > first ? sep_len : 0);
    if (len + add >= static_cast<std::size_t>(size)) return 0;
    if (i > first && sep_len) std::memcpy(dst + len, sep, sep_len);
    std::memcpy(dst + len + (i > first ? sep_len : 0), item, std::strlen(item) + 1);
    len += add;
    if (last) *last = i;
  }
  return 1;
}

KW_API int xtext_to_xwtext(char *const *a, void *w_address) {
  auto **target = static_cast<kw_wchar ***>(w_address);
  if (!target) return 0;
  if (*target)
    reset_pointer_xar(target);
  else
    *target = static_cast<kw_wchar **>(xar_alloc(0, sizeof(kw_wchar *), kGrowth));
  int count = xar_count(&a);
  for (int i = 0; i < count; ++i) {
    std::u16string wide = kw::text::to_wide(a[i] ? a[i] : "");
    insert(target, -1, wide.c_str());
  }
  return count;
}
