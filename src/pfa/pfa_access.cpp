// Accessors of the record: component getters and setters, flag bits, the
// location of a record, and the object type derived from its extension.
#include <bit>
#include <cstring>
#include <string>

#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa {
namespace {

int copy_component(const vex_file *f, int k, char *buf, int size) {
  if (buf && size > 0) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf || k < 0 || k >= PFA_COMPONENT_COUNT || size <= 0) return PFA_E_INVALID_INPUT;
  std::string_view c = comp(f, k);
  if (c.size() >= static_cast<size_t>(size)) return PFA_E_INVALID_INPUT;
  copy_bytes(buf, c.data(), c.size());
  buf[c.size()] = 0;
  return 0;
}

int set_component(vex_file *f, int k, const char *s, int limit) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!s) s = "";
  size_t n = std::strlen(s);
  if (n >= static_cast<size_t>(limit)) return PFA_E_INVALID_INPUT;
  return pfa_put_component_len(f, k, s, static_cast<int>(n), 1);
}

int set_flag(vex_file *f, uint32_t bit, int on) {
  if (!valid(f)) return -1;
  int old = (f->flags & bit) != 0;
  if (on)
    f->flags |= bit;
  else
    f->flags &= ~bit;
  return old;
}

int get_flag(const vex_file *f, uint32_t bit) { return valid(f) && (f->flags & bit) ? 1 : 0; }

int cmp_len_first(std::string_view a, std::string_view b, bool fold) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (fold) {
      if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
      if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::string_view arg_text(const char *s, int len) {
  if (!s) return {};
  return len < 0 ? std::string_view(s) : std::string_view(s, static_cast<size_t>(len));
}

}  // namespace

// Backslashes become '/', "." segments go, and the path ends in '/'.
size_t normalize_path_to(std::string_view in, char *w, size_t room, size_t first_dot) {
  // Up to the first '.' there is nothing to drop: a plain copy that turns
  // backslashes, which the compiler vectorizes.
  size_t i = first_dot;
  if (i == std::string_view::npos || i > in.size()) {
    i = in.size();
  } else {
    while (i < in.size() && in[i] != '.') ++i;
  }
  if (i > room) return std::string_view::npos;
  runtime::copy_replacing(w, in.data(), i, '\\', '/');
  size_t n = i;
  for (; i < in.size(); ++i) {
    char c = in[i] == '\\' ? '/' : in[i];
    if (c == '.' && (i == 0 || in[i - 1] == '/' || in[i - 1] == '\\') && i + 1 < in.size() &&
        (in[i + 1] == '/' || in[i + 1] == '\\')) {
      ++i;  // skip "./"
      continue;
    }
    if (n == room) return std::string_view::npos;
    w[n++] = c;
  }
  if (n && w[n - 1] != '/') {
    if (n == room) return std::string_view::npos;
    w[n++] = '/';
  }
  return n;
}

void normalize_path(std::string_view in, NameBuf &out) {
  out.clear();
  size_t n = normalize_path_to(in, out.data(), NameBuf::kCap - 2);
  out.set_size(n == std::string_view::npos ? NameBuf::kCap - 2 : n);
}

int put_components(vex_file *f, int first, std::string_view a, std::string_view b,
                   std::string_view c) {
  // Components lie back to back, so the group and all after it are empty
  // when the group starts where the text ends.
  const int end = text_len(f);
  if (first + 2 >= PFA_COMPONENT_COUNT || f->ranges[first][0] != end) {
    int r = put_component(f, first, a);
    if (r == 0) r = put_component(f, first + 1, b);
    if (r == 0) r = put_component(f, first + 2, c);
    return r;
  }
  const size_t added = a.size() + b.size() + c.size();
  if (added == 0) return 0;  // nothing changes
  if (static_cast<size_t>(end) + added > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  int at = end, k = first;
  for (std::string_view s : {a, b, c}) {
    runtime::copy_small(f->text + at, s.data(), s.size());
    f->ranges[k][0] = static_cast<int16_t>(at);
    at += static_cast<int>(s.size());
    f->ranges[k++][1] = static_cast<int16_t>(at);
  }
  for (; k < PFA_COMPONENT_COUNT; ++k) f->ranges[k][0] = f->ranges[k][1] = static_cast<int16_t>(at);
  f->text[at] = 0;
  f->flags &= ~PFA_F_AS_ON_DISK;
  return 0;
}

// Offers the text to the claiming types from the highest index down.
int claim_location(vex_file *f, const char *text, int loc_type, int *consumed,
                   const NameScan *scan) {
  const char *first_colon;
  if (scan) {
    size_t colon = scan->next(NameScan::kColon, 0, scan->len);
    first_colon = colon == NameScan::npos ? nullptr : text + colon;
  } else {
    first_colon = std::strchr(text, ':');
  }
  int result = PFA_E_INVALID_NAME;
  int saved = f->loc_type;
  uint32_t mask = claim_mask();
  if (loc_type >= 0) mask &= 1u << loc_type;
  mask &= ~1u;  // type 0 is no location
  while (mask) {
    int t = std::bit_width(mask) - 1;
    mask &= ~(1u << t);
    pfaloc_method method = claim_method(t);
    if (!method) continue;
    f->loc_type = t;
    *consumed = 0;
    int r;
    if (scan && method == std_claim_method()) {
      // The standard file system's claim reuses the parse's scan.
      r = claim_std(f, std::string_view(text, scan->len), *scan, consumed);
    } else {
      auto claim = reinterpret_cast<pfaloc_fn_FPPP>(method);
      r = claim(f, const_cast<char *>(text), const_cast<char *>(first_colon), consumed);
    }
    if (r == 0) return 0;
    result = r;
    if (f->ranges[PFA_LOC1][0] != f->ranges[PFA_LOC3][1])  // the refusal left some behind
      for (int k = PFA_LOC3; k >= PFA_LOC1; --k) put_component(f, k, {});
  }
  f->loc_type = saved;
  return result;
}

}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int pfa_get_host(const vex_file *f, char *buf) {
  if (!valid(f)) return copy_component(f, 0, buf, kComponentSize);
  return copy_component(f, host_idx(f), buf, kComponentSize);
}
int pfa_get_device(const vex_file *f, char *buf) {
  if (!valid(f)) return copy_component(f, 0, buf, kComponentSize);
  return copy_component(f, device_idx(f), buf, kComponentSize);
}

int pfa_get_path(const vex_file *f, char *buf) {
  if (buf) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf) return PFA_E_INVALID_INPUT;
  NameBuf p;
  backslash_path(comp(f, path_idx(f)), p);
  if (p.size() > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  std::memcpy(buf, p.c_str(), p.size() + 1);
  return 0;
}

int pfa_get_name(const vex_file *f, char *buf) {
  if (buf) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf) return PFA_E_INVALID_INPUT;
  std::string_view name = comp(f, PFA_NAME);
  if (f->obj_type == OBJ_TYPE_DIRECTORY && name.empty()) {
    std::string_view p = comp(f, path_idx(f));
    while (!p.empty() && p.back() == '/') p.remove_suffix(1);
    size_t cut = p.rfind('/');
    name = cut == std::string_view::npos ? p : p.substr(cut + 1);
  }
  copy_bytes(buf, name.data(), name.size());
  buf[name.size()] = 0;
  return 0;
}

int pfa_get_wname(const vex_file *f, kw_wchar *wbuf) {
  if (wbuf) wbuf[0] = 0;
  char buf[kNameSize];
  int r = pfa_get_name(f, buf);
  if (r != 0) return r;
  return to_wide(buf, wbuf, kNameSize) ? 0 : PFA_E_INVALID_INPUT;
}

int pfa_get_extension(const vex_file *f, char *buf) {
  if (buf) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf) return PFA_E_INVALID_INPUT;
  size_t n = static_cast<size_t>(comp_len(f, PFA_EXT));
  if (n > 4 && n > std::strlen(type_to_extension(f->obj_type))) return PFA_E_NOT_VALID;
  return copy_component(f, PFA_EXT, buf, kNameSize);
}

int pfa_get_wext(const vex_file *f, kw_wchar *wbuf) {
  if (wbuf) wbuf[0] = 0;
  char buf[kNameSize];
  int r = pfa_get_extension(f, buf);
  if (r != 0) return r;
  return to_wide(buf, wbuf, kNameSize) ? 0 : PFA_E_INVALID_INPUT;
}

int32_t pfa_get_obj_type(const vex_file *f) { return valid(f) ? f->obj_type : -1; }
int32_t pfa_get_version(const vex_file *f) { return valid(f) ? f->version : -1; }

int pfa_get_string_version(const vex_file *f, char *buf) {
  if (buf) buf[0] = 0;
  if (!valid(f) || !buf) return PFA_E_INVALID_INPUT;
  if (comp_len(f, PFA_ITER) == 0) return PFA_E_NOT_FOUND;
  return copy_component(f, PFA_ITER, buf, kNameSize);
}

int32_t pfa_get_encode(const vex_file *f) {
  if (!valid(f)) return -4;
  if (f->stream && f->stream->encoding_decided && f->stream->file_encoding != -4)
    return f->stream->file_encoding;
  return f->encoding;
}

int pfa_get_component(const vex_file *f, int k, char *buf, int size) {
  return copy_component(f, k, buf, size);
}
int pfa_component_length(const vex_file *f, int k) {
  if (!valid(f) || k < 0 || k >= PFA_COMPONENT_COUNT) return -1;
  return comp_len(f, k);
}
int pfa_has_component(const vex_file *f, int k) {
  return valid(f) && k >= 0 && k < PFA_COMPONENT_COUNT && comp_len(f, k) > 0;
}
int pfa_component_first_char(const vex_file *f, int k, char *c) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!c || k < 0 || k >= PFA_COMPONENT_COUNT) return PFA_E_INVALID_INPUT;
  if (comp_len(f, k) == 0) return PFA_E_NOT_FOUND;
  *c = comp(f, k).front();
  return 0;
}
int pfa_component_last_char(const vex_file *f, int k, char *c) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!c || k < 0 || k >= PFA_COMPONENT_COUNT) return PFA_E_INVALID_INPUT;
  if (comp_len(f, k) == 0) return PFA_E_NOT_FOUND;
  *c = comp(f, k).back();
  return 0;
}
int pfa_component_strcmp(const vex_file *f, int k, const char *s, int len) {
  if (!valid(f) || k < 0 || k >= PFA_COMPONENT_COUNT) return -1;
  return cmp_len_first(comp(f, k), arg_text(s, len), false);
}
int pfa_component_u_strcmp(const vex_file *f, int k, const char *s, int len) {
  if (!valid(f) || k < 0 || k >= PFA_COMPONENT_COUNT) return -1;
  return cmp_len_first(comp(f, k), arg_text(s, len), true);
}
int pfas_component_strcmp(const vex_file *a, const vex_file *b, int k) {
  if (!valid(a) || !valid(b) || k < 0 || k >= PFA_COMPONENT_COUNT) return -1;
  return cmp_len_first(comp(a, k), comp(b, k), false);
}
int pfas_component_u_strcmp(const vex_file *a, const vex_file *b, int k) {
  if (!valid(a) || !valid(b) || k < 0 || k >= PFA_COMPONENT_COUNT) return -1;
  return cmp_len_first(comp(a, k), comp(b, k), true);
}
int pfa_component_is_substring(const vex_file *a, const vex_file *b, int k) {
  if (!valid(a) || !valid(b) || k < 0 || k >= PFA_COMPONENT_COUNT) return 0;
  return comp(b, k).starts_with(comp(a, k));
}

int pfa_has_location(const vex_file *f, int *loc_type) {
  if (!valid(f)) return 0;
  if (loc_type) *loc_type = f->loc_type;
  return f->ranges[PFA_LOC1][0] != f->ranges[PFA_LOC3][1];
}
int pfa_is_dir(const vex_file *f) { return valid(f) && f->obj_type == OBJ_TYPE_DIRECTORY; }
int pfa_is_location(const vex_file *f, int loc_type) { return valid(f) && f->loc_type == loc_type; }
int pfa_file_is_open(const vex_file *f) { return get_flag(f, PFA_F_OPEN); }

int pfa_put_host(vex_file *f, const char *host) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  return set_component(f, host_idx(f), host, kComponentSize);
}
int pfa_put_device(vex_file *f, const char *device) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  return set_component(f, device_idx(f), device, kComponentSize);
}
int pfa_put_path(vex_file *f, const char *path) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!path) path = "";
  if (std::strlen(path) >= static_cast<size_t>(kNameSize)) return PFA_E_INVALID_INPUT;
  NameBuf p;
  normalize_path(path, p);
  if (p.size() >= static_cast<size_t>(kNameSize)) return PFA_E_INVALID_INPUT;
  return pfa_put_component_len(f, path_idx(f), p.data(), static_cast<int>(p.size()), 1);
}
int pfa_put_name(vex_file *f, const char *name) {
  int r = set_component(f, PFA_NAME, name, kNameSize);
  if (r != 0) return r;
  int32_t t = f->obj_type;
  if (t == OBJ_TYPE_NOT_YET || t == OBJ_TYPE_UNTYPED || t == OBJ_TYPE_DIRECTORY) return 0;
  int n = comp_len(f, PFA_NAME);
  bool family = (f->flags & PFA_F_GENERIC_NAME) != 0;
  if ((n >= 32 && n >= type_to_name_length(t)) ||
      (!family && !type_to_weird_chars_OK(t) && name_has_unusual_chars(comp(f, PFA_NAME))))
    f->obj_type = OBJ_TYPE_UNTYPED;
  return 0;
}
int pfa_put_extension(vex_file *f, const char *ext) {
  int r = set_component(f, PFA_EXT, ext, kNameSize);
  if (r != 0) return r;
  std::string_view name = comp(f, PFA_NAME);
  bool unusual = (!name.empty() && name[0] == '.') || name_has_unusual_chars(name);
  return pfa_put_extension_to_type(f, static_cast<int>(name.size()), unusual);
}
int pfa_put_version(vex_file *f, int version) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (version < -32768 || version > 32767) return PFA_E_INVALID_INPUT;
  f->version = static_cast<int16_t>(version);
  f->flags &= ~PFA_F_AS_ON_DISK;
  return 0;
}
int pfa_put_string_version(vex_file *f, const char *rev) {
  int r = set_component(f, PFA_ITER, rev, kNameSize);
  if (r == 0) f->version = 0;
  return r;
}

int pfa_put_location(vex_file *f, const char *text, int loc_type) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!text || loc_type < -1 || loc_type >= PFA_LOC_TYPE_COUNT) return PFA_E_INVALID_INPUT;
  if (f->flags & PFA_F_OPEN) return PFA_E_ERROR;
  std::string s(text);
  // A location ends in a separator, so that its last segment stays in it.
  if (!s.empty() && s.back() != '/' && s.back() != '\\' && s.back() != ':' && s != "pfafs:drives" &&
      !s.starts_with("stdio://"))
    s += '/';
  if (s.size() > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  vex_file tmp;
  init_record(&tmp);
  tmp.loc_type = f->loc_type;
  int consumed = 0;
  int r = claim_location(&tmp, s.c_str(), loc_type, &consumed);
  if (r != 0) return r;
  int rest = text_len(f) - f->ranges[PFA_NAME][0];
  if (text_len(&tmp) + rest > kMaxName) return PFA_E_INVALID_INPUT;
  if (f->appinfo) release_attachments(f);
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(f, k, comp(&tmp, k));
  f->loc_type = tmp.loc_type;
  return 0;
}

int pfa_put_location_type(vex_file *f, int loc_type) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!pfa_location_type_registered(loc_type)) return PFA_E_INVALID_INPUT;
  f->loc_type = loc_type;
  return 0;
}

int pfa_put_wname(vex_file *f, const kw_wchar *wname) {
  char buf[kNameSize];
  if (!to_bytes(wname, buf, sizeof buf)) return valid(f) ? PFA_E_INVALID_INPUT : PFA_E_NOT_VALID;
  return pfa_put_name(f, buf);
}
int pfa_put_wextension(vex_file *f, const kw_wchar *wext) {
  char buf[kNameSize];
  if (!to_bytes(wext, buf, sizeof buf)) return valid(f) ? PFA_E_INVALID_INPUT : PFA_E_NOT_VALID;
  return pfa_put_extension(f, buf);
}
int pfa_put_wlocation(vex_file *f, const kw_wchar *wtext, int loc_type) {
  char buf[kNameSize];
  if (!to_bytes(wtext, buf, sizeof buf)) return valid(f) ? PFA_E_INVALID_INPUT : PFA_E_NOT_VALID;
  return pfa_put_location(f, buf, loc_type);
}

int pfa_copy_component(const vex_file *src, vex_file *dst, int k) {
  if (!valid(src) || !valid(dst)) return PFA_E_NOT_VALID;
  if (k < 0 || k >= PFA_COMPONENT_COUNT) return PFA_E_INVALID_INPUT;
  std::string c(comp(src, k));
  return pfa_put_component_len(dst, k, c.data(), static_cast<int>(c.size()), 1);
}

int pfa_copy_location(const vex_file *src, vex_file *dst) {
  if (!valid(src) || !valid(dst)) return PFA_E_NOT_VALID;
  if (dst->flags & PFA_F_OPEN) return PFA_E_ERROR;
  int total = 0;
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) total += comp_len(src, k);
  if (total + text_len(dst) - dst->ranges[PFA_NAME][0] > kMaxName) return PFA_E_INVALID_INPUT;
  std::string loc[3];
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) loc[k] = comp(src, k);
  if (dst->appinfo) release_attachments(dst);
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(dst, k, loc[k]);
  dst->loc_type = src->loc_type;
  return 0;
}

int pfa_set_mounted(vex_file *f, int on) {
  int old = set_flag(f, PFA_F_MOUNTED, on);
  if (old >= 0) f->flags |= PFA_F_MOUNT_KNOWN;
  return old;
}
int pfa_is_mounted(const vex_file *f) { return get_flag(f, PFA_F_MOUNTED); }
int pfa_set_ui_hidden_flag(vex_file *f, int on) { return set_flag(f, PFA_F_UI_HIDDEN, on); }
int pfa_get_ui_hidden_flag(const vex_file *f) { return get_flag(f, PFA_F_UI_HIDDEN); }
int pfa_set_OS_hidden_flag(vex_file *f, int on) { return set_flag(f, PFA_F_OS_HIDDEN, on); }
int pfa_get_OS_hidden_flag(const vex_file *f) { return get_flag(f, PFA_F_OS_HIDDEN); }
int pfa_set_generic_in_name(vex_file *f, int on) { return set_flag(f, PFA_F_GENERIC_NAME, on); }
int pfa_is_generic_in_name(const vex_file *f) { return get_flag(f, PFA_F_GENERIC_NAME); }

// ---- object type of a record ---------------------------------------------------------

int pfa_put_extension_to_type(vex_file *f, int name_len, int unusual) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  std::string_view ext = comp(f, PFA_EXT);
  int32_t t = OBJ_TYPE_UNTYPED;
  if (!ext.empty()) {
    char key[OBJ_TYPE_EXT_SIZE];
    size_t n = ext.size() < sizeof key ? ext.size() : 0;
    copy_bytes(key, ext.data(), n);
    key[n] = 0;
    t = n ? extension_to_type(key) : OBJ_TYPE_NO_TYPE;
    if (t == OBJ_TYPE_NO_TYPE || (t == OBJ_TYPE_ALL_FILE && ext.size() >= 4)) t = OBJ_TYPE_UNTYPED;
    if (t != OBJ_TYPE_UNTYPED && !(f->flags & PFA_F_GENERIC_NAME)) {
      if (name_len >= 32 && name_len >= type_to_name_length(t))
        t = OBJ_TYPE_UNTYPED;
      else if (unusual && !type_to_weird_chars_OK(t))
        t = OBJ_TYPE_UNTYPED;
    }
    if (t == OBJ_TYPE_DIRECTORY) t = OBJ_TYPE_UNTYPED;
  }
  f->obj_type = t;
  return 0;
}

int pfa_put_obj_type(vex_file *f, int32_t type) { return pfa_put_obj_type_lower(f, type, 0); }

int pfa_put_obj_type_lower(vex_file *f, int32_t type, int lower) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (type == f->obj_type) return 0;
  if (type == OBJ_TYPE_UNTYPED || (type == OBJ_TYPE_NOT_YET && f->obj_type == OBJ_TYPE_UNTYPED)) {
    f->obj_type = type;
    return 0;
  }
  if (type == OBJ_TYPE_DIRECTORY) {
    // The segment is the name as the file is written on disk.
    NameBuf tail;
    formatted_tail(f, tail);
    std::string segment(tail.view());
    int pk = path_idx(f);
    std::string path(comp(f, pk));
    if (!segment.empty()) {
      if (!path.empty() && path.back() != '/') path += '/';
      path += segment;
      path += '/';
    }
    int new_len = text_len(f) - comp_len(f, pk) - comp_len(f, PFA_NAME) - comp_len(f, PFA_EXT) +
                  static_cast<int>(path.size());
    if (new_len > kMaxName) return PFA_E_INVALID_INPUT;
    if (f->appinfo) release_attachments(f);
    put_component(f, PFA_NAME, {});
    put_component(f, PFA_EXT, {});
    put_component(f, pk, path);
    f->version = 0;
    f->obj_type = OBJ_TYPE_DIRECTORY;
    return 0;
  }
  std::string ext(type_to_extension(type));
  if (ext.empty()) {
    if (type == OBJ_TYPE_NOT_YET && f->obj_type == OBJ_TYPE_DIRECTORY) {
      f->obj_type = type;
      return 0;
    }
    return PFA_E_INVALID_INPUT;
  }
  if (lower) ascii_lower(ext.data(), ext.size());
  int r = pfa_put_component_len(f, PFA_EXT, ext.data(), static_cast<int>(ext.size()), 1);
  if (r != 0) return r;
  f->obj_type = type;
  return 0;
}

int pfa_put_obj_type_keep_ext(vex_file *f, int32_t type) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  const char *mine = type_to_extension(f->obj_type);
  const char *theirs = type_to_extension(type);
  if (!*mine || !*theirs || iequal(mine, theirs)) {
    f->obj_type = type;
    return 0;
  }
  dbg_err_crash("pfa_put_obj_type_keep_ext", "extension mismatch");
  return PFA_E_ERROR;
}

int pfa_no_mixed_case(const vex_file *f) {
  if (!f) return 1;
  if (!valid(f)) return 1;
  if (f->obj_type == OBJ_TYPE_UNTYPED || f->obj_type == OBJ_TYPE_NOT_YET) return 0;
  return !type_to_mixed_case_OK(f->obj_type);
}

int pfa_verify_obj_type(vex_file *f) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (f->obj_type == OBJ_TYPE_DIRECTORY) return 0;
  int32_t before = f->obj_type;
  std::string_view name = comp(f, PFA_NAME);
  bool unusual = (!name.empty() && name[0] == '.') || name_has_unusual_chars(name);
  pfa_put_extension_to_type(f, static_cast<int>(name.size()), unusual);
  return f->obj_type != before;
}

}  // extern "C"
