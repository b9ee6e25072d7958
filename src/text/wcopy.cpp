// Allocating copies, formatted new strings and sections.
#include <cstring>
#include <string>
#include <type_traits>

#include "keelwork/memory.h"
#include "keelwork/strutil.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "text/wstring_internal.h"

using kw::text::wlen;

namespace {

template <class T>
T *copy_into(void *block, const T *s, std::size_t n) {
  auto *dst = static_cast<T *>(block);
  std::memcpy(dst, s, n * sizeof(T));
  dst[n] = 0;
  return dst;
}

// Copies of at most n-1 units in a block of n units.
template <class T>
T *copy_cut(const T *s, int n, std::size_t len) {
  if (!s || n <= 0) return nullptr;
  if (len < static_cast<std::size_t>(n)) return copy_into(getmem((len + 1) * sizeof(T)), s, len);
  return copy_into(getmem(static_cast<std::size_t>(n) * sizeof(T)), s,
                   static_cast<std::size_t>(n) - 1);
}

template <class T>
T *concat_replace(T **p, const T *s, std::size_t old_len, std::size_t add) {
  auto *out = static_cast<T *>(getmem((old_len + add + 1) * sizeof(T)));
  if (old_len) std::memcpy(out, *p, old_len * sizeof(T));
  std::memcpy(out + old_len, s, add * sizeof(T));
  out[old_len + add] = 0;
  relmem(p);
  *p = out;
  return out;
}

// Formats into the calling thread's result buffer, whatever the length.
const char *format_text(const char *format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const char *text = vex_vsprintf(nullptr, format ? format : "", copy);
  va_end(copy);
  return text ? text : "";
}

template <class T>
std::size_t length(const T *s) {
  if constexpr (sizeof(T) == 1)
    return std::strlen(s);
  else
    return wlen(s);
}

template <class T>
inline int unit(T c) {
  return static_cast<int>(static_cast<std::make_unsigned_t<T>>(c));
}

template <class T>
int section_count(const T *s, int sep) {
  if (!s) return 0;
  std::size_t n = length(s);
  if (n == 0) return 1;
  int count = 1;
  for (std::size_t i = 0; i < n; ++i)
    if (unit(s[i]) == sep && i + 1 < n) ++count;
  return count;
}

template <class T>
int make_sections(const T *s, int sep, T ***sections) {
  if (!s || !sections) return 0;
  int count = section_count(s, sep);
  std::size_t n = length(s);
  T *copy = copy_into(getmem((n + 1) * sizeof(T)), s, n);
  auto **array = static_cast<T **>(getmem(static_cast<std::size_t>(count) * sizeof(T *)));
  int k = 0;
  array[k++] = copy;
  for (std::size_t i = 0; i < n; ++i) {
    if (unit(copy[i]) != sep) continue;
    copy[i] = 0;
    if (i + 1 < n) array[k++] = copy + i + 1;
  }
  *sections = array;
  return count;
}

template <class T>
void free_sections(T **sections) {
  if (!sections) return;
  rlsmem(sections[0]);
  rlsmem(sections);
}

}  // namespace

// ---- copies ---------------------------------------------------------------------------

KW_API char *make_scopy(const char *s) {
  if (!s) return nullptr;
  std::size_t n = std::strlen(s);
  return copy_into(getmem(n + 1), s, n);
}

KW_API kw_wchar *make_wscopy(const kw_wchar *w) {
  if (!w) return nullptr;
  std::size_t n = wlen(w);
  return copy_into(getmem((n + 1) * sizeof(kw_wchar)), w, n);
}

KW_API char *make_scopy_zone(memzone *zone, const char *s) {
  if (!s || !zone) return nullptr;
  std::size_t n = std::strlen(s);
  return copy_into(zone_getmem(zone, n + 1), s, n);
}

KW_API kw_wchar *make_wscopy_zone(memzone *zone, const kw_wchar *w) {
  if (!w || !zone) return nullptr;
  std::size_t n = wlen(w);
  return copy_into(zone_getmem(zone, (n + 1) * sizeof(kw_wchar)), w, n);
}

KW_API char *make_scopy_memmgr(memmgr *manager, const char *s) {
  if (!s) return nullptr;
  std::size_t n = std::strlen(s);
  return copy_into(memmgr_getmem(manager, n + 1), s, n);
}

KW_API char *mknewstr(const char *s) { return make_scopy(s); }

KW_API kw_wchar *mknewwstr(const kw_wchar *w) { return make_wscopy(w); }

KW_API char *make_uscopy(const char *s) {
  char *copy = make_scopy(s);
  if (copy) vex_cnvrt_to_upper(s, copy);
  return copy;
}

KW_API kw_wchar *make_uwscopy(const kw_wchar *w) {
  kw_wchar *copy = make_wscopy(w);
  if (copy) wcnvrt_to_upper(w, copy);
  return copy;
}

KW_API char *make_sncopy(const char *s, int n) {
  return s ? copy_cut(s, n, strnlen(s, n > 0 ? static_cast<std::size_t>(n) : 0)) : nullptr;
}

KW_API kw_wchar *make_wsncopy(const kw_wchar *w, int n) {
  if (!w || n <= 0) return nullptr;
  std::size_t len = 0;
  while (len < static_cast<std::size_t>(n) && w[len]) ++len;
  return copy_cut(w, n, len);
}

KW_API kw_wchar *make_wscopy_rls(kw_wchar **p, const kw_wchar *w) {
  if (!p) return nullptr;
  relmem(p);
  *p = make_wscopy(w);
  return *p;
}

KW_API char *make_strcat_rls(char **p, const char *s) {
  if (!p || !s) return nullptr;
  return concat_replace(p, s, *p ? std::strlen(*p) : 0, std::strlen(s));
}

KW_API kw_wchar *make_wstrcat_rls(kw_wchar **p, const kw_wchar *w) {
  if (!p || !w) return nullptr;
  return concat_replace(p, w, *p ? wlen(*p) : 0, wlen(w));
}

// The formatters take the per-thread result, so no length overruns a
// fixed buffer.
KW_API char *mkstring(const char *format, ...) {
  va_list args;
  va_start(args, format);
  char *copy = make_scopy(format_text(format, args));
  va_end(args);
  return copy;
}

KW_API kw_wchar *mkwstring(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string wide = kw::text::to_wide(format_text(format, args));
  va_end(args);
  return make_wscopy(wide.c_str());
}

KW_API char *strcatv(char *dst, const char *format, ...) {
  if (!dst) return nullptr;
  va_list args;
  va_start(args, format);
  const char *text = format_text(format, args);
  std::memmove(dst + std::strlen(dst), text, std::strlen(text) + 1);
  va_end(args);
  return dst;
}

// ---- sections -----------------------------------------------------------------------------

KW_API int get_str_section_count(const char *s, int sep) { return section_count(s, sep); }

KW_API int get_wstr_section_count(const kw_wchar *w, int sep) { return section_count(w, sep); }

KW_API int make_str_sections(const char *s, int sep, char ***sections) {
  return make_sections(s, sep, sections);
}

KW_API int make_wstr_sections(const kw_wchar *w, int sep, kw_wchar ***sections) {
  return make_sections(w, sep, sections);
}

KW_API void free_str_sections(char **sections) { free_sections(sections); }

KW_API void free_wstr_sections(kw_wchar **sections) { free_sections(sections); }
