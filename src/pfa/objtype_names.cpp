// Authoring applications, the author-and-extension refinement, extension
// filters and the numeric versions of file names.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "pfa/objtype_internal.h"

namespace {

using kw::pfa::record_of;

// Application names by code; the maker's two families of applications
// share "VEXE", so the name gives the first.
constexpr const char *kAuthors[] = {
    "",           "VEXE", "QUILLWORK", "VEXE",      "ACAD",    "CATIAV5",  "INVENTOR",
    "SOLIDWORKS", "UG",   "TARVO5",    "MOSSDRAFT", "MOSSMOD", "MSTATION", "SEDGE",
};
static_assert(std::size(kAuthors) == OBJ_AUTHOR_SEDGE + 1, "one name per application code");

constexpr int32_t kTarvo5Type = 1005;

// The types that share an extension, told apart by their application.
struct Refinement {
  int32_t plain;
  int32_t author;
  int32_t result;
};
constexpr Refinement kRefinements[] = {
    {2, OBJ_AUTHOR_VEXE, 2},
    {2, OBJ_AUTHOR_SOLIDWORKS, 887},
    {2, OBJ_AUTHOR_UG, 872},
    {1, OBJ_AUTHOR_VEXE, 1},
    {1, OBJ_AUTHOR_SOLIDWORKS, 891},
    {1, OBJ_AUTHOR_SEDGE, 20255},
    {4, OBJ_AUTHOR_VEXE, 4},
    {4, OBJ_AUTHOR_SOLIDWORKS, 889},
    {20005, OBJ_AUTHOR_MSTATION, 20251},
    {122, OBJ_AUTHOR_SEDGE, 20257},
};

// The "MI" files of the two drafting applications: drawings and formats.
constexpr int32_t kMiPlain = 747;
int32_t refine_mi(int32_t author, const char *kind) {
  const bool format = kind && btk_strcasecmp(kind, "frm") == 0;
  if (author == OBJ_AUTHOR_MOSSDRAFT) return format ? 748 : 747;
  return format ? 759 : 758;
}

// The code of an application name, -1 when there is none.
int32_t find_author(const char *text) {
  for (int32_t code = 0; code < static_cast<int32_t>(std::size(kAuthors)); ++code)
    if (btk_strcasecmp(kAuthors[code], text) == 0) return code;
  return -1;
}

// Writes "*.ext*" (lower case) for one record; false for no extension.
bool one_filter(const kw::pfa::TypeRecord &r, bool honour_unmatchable, std::string &out) {
  size_t n = std::strlen(r.extension);
  if (n == 0) return false;
  if (honour_unmatchable && (r.flags & OBJ_TYPE_UNMATCHABLE_EXT)) --n;
  out += "*.";
  for (size_t i = 0; i < n; ++i) {
    char c = r.extension[i];
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  out += '*';
  return true;
}

// The filter text of one type; manufacturing files also show assemblies.
bool type_filter(int32_t type, bool honour_unmatchable, std::string &out) {
  const kw::pfa::TypeRecord &r = record_of(type);
  if (r.type == 37) {
    std::string assembly;
    if (one_filter(record_of(1), honour_unmatchable, assembly)) out += assembly + ",";
  }
  return one_filter(r, honour_unmatchable, out);
}

// The wide filter of one type: "/|/" stands for a positive code without
// an extension.
bool wide_type_filter(int32_t type, std::string &out) {
  if (type_filter(type, true, out)) return true;
  if (type > 0) {
    out = "/|/";
    return true;
  }
  return false;
}

bool to_wide(const std::string &text, kw_wchar *wbuf, int size) {
  return btkStrUtf8ToUtf16(text.c_str(), -1, wbuf, size, nullptr) >= 0;
}

template <typename Char>
Char *last_segment(Char *name) {
  Char *segment = name;
  for (Char *p = name; *p; ++p)
    if (*p == '/' || *p == '\\') segment = p + 1;
  return segment;
}

// The `nth` (1 or 2) '.' of the last segment of `name`, a leading '.' not
// counted; null when there is none.
template <typename Char>
Char *nth_dot(Char *name, int nth) {
  Char *p = last_segment(name);
  if (*p == '.') ++p;
  for (; *p; ++p)
    if (*p == '.' && --nth == 0) return p;
  return nullptr;
}

}  // namespace

// ---- authoring applications ------------------------------------------------------------------

KW_API int32_t string_to_author(const char *text) {
  int32_t code = text ? find_author(text) : -1;
  if (code < 0) {
    dbg_print_info("string_to_author", "%s not found", text ? text : "(null)");
    return 0;
  }
  return code;
}

KW_API const char *author_to_string(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(std::size(kAuthors))) {
    dbg_print_info("author_to_string", "Unknown type %d", code);
    return nullptr;
  }
  return kAuthors[code];
}

KW_API int32_t author_and_ext_to_type(const char *author, const char *ext, const char *kind,
                                      const char *) {
  const int32_t code = find_author(author ? author : "");
  if (code == OBJ_AUTHOR_TARVO5) return kTarvo5Type;
  if (!ext || !*ext) return OBJ_TYPE_NO_TYPE;
  const int32_t plain = extension_to_type(ext);
  if (code < 0) {
    dbg_print_info("author_and_ext_to_type", "unknown author %s:", author);
    return plain;
  }
  if (plain == kMiPlain && (code == OBJ_AUTHOR_MOSSDRAFT || code == OBJ_AUTHOR_MOSSMOD))
    return refine_mi(code, kind);
  for (const Refinement &r : kRefinements)
    if (r.plain == plain && r.author == code) return r.result;
  return plain;
}

// ---- filters -----------------------------------------------------------------------------------

KW_API const char *get_object_extension_filter(const int32_t *types, int n) {
  thread_local std::string filter;
  filter.clear();
  if (!types || n < 1) return filter.c_str();
  auto upper = [](const char *ext) {
    char key[OBJ_TYPE_EXT_SIZE];
    kw::pfa::make_key(ext, key);
    return std::string(key);
  };
  if (n == 1) {
    filter += "*.";
    filter += upper(type_to_extension(types[0]));
    filter += '*';
    return filter.c_str();
  }
  filter = "*{";
  bool first = true;
  for (int i = 0; i < n; ++i) {
    const char *ext = type_to_extension(types[i]);
    if (!*ext) continue;
    if (!first) filter += ',';
    filter += '.';
    filter += upper(ext);
    first = false;
  }
  filter += "}*";
  return filter.c_str();
}

KW_API int type_to_one_filter_str_buff(int32_t type, char *buf, int honour_unmatchable) {
  if (!buf) return 0;
  std::string filter;
  if (!type_filter(type, honour_unmatchable != 0, filter) ||
      filter.size() >= OBJ_TYPE_FILTER_SIZE) {
    buf[0] = 0;
    return 0;
  }
  std::memcpy(buf, filter.c_str(), filter.size() + 1);
  return 1;
}

KW_API int type_to_filter_str_buff(const int32_t *types, int n, char *buf, int size,
                                   int honour_unmatchable) {
  if (!buf || size < 1) return 0;
  std::string all;
  int written = 0;
  for (int i = 0; types && i < n; ++i) {
    std::string one;
    if (!type_filter(types[i], honour_unmatchable != 0, one)) continue;
    const size_t length = all.size() + (written ? 1 : 0) + one.size();
    if (length >= static_cast<size_t>(size)) break;
    if (written) all += ',';
    all += one;
    ++written;
  }
  std::memcpy(buf, all.c_str(), all.size() + 1);
  return written;
}

KW_API int type_to_one_filter_str(int32_t type, kw_wchar *wbuf, int size) {
  if (!wbuf || size < 1) return 0;
  std::string filter;
  if (!wide_type_filter(type, filter) || !to_wide(filter, wbuf, size)) {
    wbuf[0] = 0;
    return 0;
  }
  return 1;
}

KW_API int type_to_filter_str(const int32_t *types, int n, kw_wchar *wbuf, int size) {
  if (!wbuf || size < 1) return 0;
  std::string all;
  int written = 0;
  for (int i = 0; types && i < n; ++i) {
    std::string one;
    if (!wide_type_filter(types[i], one)) continue;
    const size_t length = all.size() + (written ? 1 : 0) + one.size();
    if (length >= static_cast<size_t>(size)) break;  // ASCII: one unit per byte
    if (written) all += ',';
    all += one;
    ++written;
  }
  to_wide(all, wbuf, size);
  return written;
}

// ---- numeric versions in names
// ----------------------------------------------------------------------

KW_API int32_t get_version_from_ascii_fname(const char *name, char *out) {
  if (!name || !out) return 0;
  std::memmove(out, name, std::strlen(name) + 1);
  char *segment = last_segment(out);
  char *dot = std::strrchr(segment, '.');
  if (!dot || !dot[1]) return 0;
  int64_t value = 0;
  for (const char *p = dot + 1; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) return 0;
  }
  *dot = 0;
  return static_cast<int32_t>(value);
}

KW_API int strip_version_from_fname(kw_wchar *wname) {
  kw_wchar *dot = wname ? nth_dot(wname, 2) : nullptr;
  if (!dot) return 0;
  *dot = 0;
  return 1;
}

KW_API int strip_extension_from_fname(kw_wchar *wname) {
  kw_wchar *dot = wname ? nth_dot(wname, 1) : nullptr;
  if (!dot) return 0;
  *dot = 0;
  return 1;
}

KW_API int strip_ext_from_ascii_fname(char *name) {
  char *dot = name ? nth_dot(name, 1) : nullptr;
  if (!dot) return 0;
  *dot = 0;
  return 1;
}
