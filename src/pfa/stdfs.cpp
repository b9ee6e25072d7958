// The built-in location types: the standard file system (drives, hosts,
// neutral forms), the UNC file system and the process's standard streams.
// Their methods parse and print locations and, when they must ask the
// operating system, map a name to a POSIX path: a drive through
// KEELWORK_DRIVE_<LETTER>, a UNC name under KEELWORK_UNC_ROOT (/net).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "keelwork/btk_os.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "keelwork/pfadir.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa {
namespace {

constexpr const char *kDriveEnvPrefix = "KEELWORK_DRIVE_";
constexpr const char *kDefaultUncRoot = "/net";

bool is_sep(char c) { return c == '/' || c == '\\'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int write_out(std::string_view s, void *buf, size_t size) {
  if (!buf || size == 0) return PFA_E_INVALID_INPUT;
  if (s.size() >= size) {
    static_cast<char *>(buf)[0] = 0;
    return PFA_E_INVALID_INPUT;
  }
  copy_bytes(buf, s.data(), s.size());
  static_cast<char *>(buf)[s.size()] = 0;
  return 0;
}

// The path part of a location text from `i` (rule shared by both file
// systems): up to and including the last separator; a rest of exactly "."
// adds nothing and ".." adds "../", both consumed.
struct PathPart {
  std::string_view raw;  // before normalizing
  bool updir = false;    // "../" follows the normalized text
  size_t end = 0;        // one past the consumed text
  size_t first_dot = 0;  // the first '.' in `raw`: npos for none, 0 for not known
};

// The path part once its cut is known: `cut` bytes from `i` (one past the
// last separator), the first '.' among them at `first_dot`.
[[gnu::always_inline]] inline PathPart path_part_cut(std::string_view t, size_t i, size_t cut,
                                                     size_t first_dot) {
  std::string_view rest = t.substr(i);
  PathPart p;
  p.raw = rest.substr(0, cut);
  p.first_dot = first_dot;
  p.end = i + cut;
  rest.remove_prefix(cut);
  if (rest == ".") {
    p.end += 1;
  } else if (rest == "..") {
    p.updir = true;
    p.end += 2;
  }
  return p;
}

PathPart path_part(std::string_view t, size_t i) {
  std::string_view rest = t.substr(i);
  size_t cut =
      static_cast<size_t>(std::find_if(rest.rbegin(), rest.rend(), is_sep).base() - rest.begin());
  return path_part_cut(t, i, cut, 0);  // first '.' not known
}

// The same on a scanned text.
[[gnu::always_inline]] inline PathPart path_part(std::string_view t, size_t i,
                                                 const NameScan &scan) {
  size_t last = scan.prev(NameScan::kSep, i, t.size());
  size_t cut = last == NameScan::npos ? 0 : last + 1 - i;
  size_t dot = scan.next(NameScan::kDot, i, i + cut);
  return path_part_cut(t, i, cut, dot == NameScan::npos ? dot : dot - i);
}

size_t take_path(std::string_view t, size_t i, NameBuf &path) {
  PathPart p = path_part(t, i);
  normalize_path(p.raw, path);
  if (p.updir) path.append("../");  // normalized text ends in '/', so this stays normal
  return p.end;
}

bool component_sized(std::string_view host, std::string_view device) {
  return host.size() < static_cast<size_t>(kComponentSize) &&
         device.size() < static_cast<size_t>(kComponentSize);
}

bool store_location(vex_file *f, std::string_view host, std::string_view device,
                    std::string_view path) {
  return component_sized(host, device) && put_components(f, PFA_LOC1, host, device, path) == 0;
}

// store_location with the path still to normalize. While a parse fills an
// empty record, the location is the last group and the path is normalized
// straight into the record's text.
bool store_location(vex_file *f, std::string_view host, std::string_view device,
                    const PathPart &path) {
  if (!component_sized(host, device)) return false;
  const int end = text_len(f);
  if (f->ranges[PFA_LOC1][0] != end) {
    NameBuf normalized;
    normalize_path(path.raw, normalized);
    if (path.updir) normalized.append("../");
    return put_components(f, PFA_LOC1, host, device, normalized) == 0;
  }
  size_t room = static_cast<size_t>(kMaxName - end);
  if (host.size() + device.size() > room) return false;
  char *w = f->text + end;
  runtime::copy_small(w, host.data(), host.size());
  runtime::copy_small(w + host.size(), device.data(), device.size());
  size_t at = host.size() + device.size();
  size_t n = normalize_path_to(path.raw, w + at, room - at, path.first_dot);
  if (n == std::string_view::npos) {
    f->text[end] = 0;
    return false;
  }
  if (path.updir) {
    if (room - at - n < 3) {
      f->text[end] = 0;
      return false;
    }
    std::memcpy(w + at + n, "../", 3);
    n += 3;
  }
  int16_t a = static_cast<int16_t>(end);
  int16_t b = static_cast<int16_t>(a + host.size());
  int16_t c = static_cast<int16_t>(b + device.size());
  int16_t d = static_cast<int16_t>(c + n);
  f->ranges[PFA_LOC1][0] = a;
  f->ranges[PFA_LOC1][1] = f->ranges[PFA_LOC2][0] = b;
  f->ranges[PFA_LOC2][1] = f->ranges[PFA_LOC3][0] = c;
  f->ranges[PFA_LOC3][1] = d;
  for (int k = PFA_LOC3 + 1; k < PFA_COMPONENT_COUNT; ++k) f->ranges[k][0] = f->ranges[k][1] = d;
  f->text[d] = 0;
  if (d != end) f->flags &= ~PFA_F_AS_ON_DISK;
  return true;
}

constexpr const char *kSchemes[] = {"lhpub", "lhp", "lhws", "awcs", "awws", "pfazip"};

bool scheme_prefix(std::string_view t, size_t colon) {
  if (t.substr(colon).substr(0, 3) != "://") return false;
  for (const char *s : kSchemes)
    if (t.substr(0, colon) == s) return true;
  return false;
}

// ---- standard file system ------------------------------------------------------------

int std_device_idx(vex_file *) { return PFA_LOC2; }
int std_host_idx(vex_file *) { return PFA_LOC1; }
int std_path_idx(vex_file *) { return PFA_LOC3; }

int std_claim_scanned(vex_file *f, std::string_view t, const NameScan &scan, int *consumed) {
  constexpr size_t npos = NameScan::npos;
  std::string_view host, device;
  size_t i = 0;
  if (!t.empty() && t[0] == 'p' && t.starts_with("pfafs:drives")) {
    if (!store_location(f, {}, "/", std::string_view())) return PFA_E_INVALID_INPUT;
    *consumed = static_cast<int>(t.size());
    return 0;
  }
  if (t.size() >= 2 && t[0] == '\\' && t[1] == '\\') {
    // \\host\X$\ : a drive of another host.
    size_t end = t.find('\\', 2);
    if (end == npos || end == 2 || end - 2 >= static_cast<size_t>(kComponentSize))
      return PFA_E_INVALID_INPUT;
    host = t.substr(2, end - 2);
    if (end + 3 >= t.size() || !is_letter(t[end + 1]) || t[end + 2] != '$' || t[end + 3] != '\\')
      return PFA_E_INVALID_INPUT;
    device = t.substr(end + 1, 1);
    i = end + 3;
  } else {
    size_t colon = scan.next(NameScan::kColon, 0, t.size());
    if (colon != npos && colon > 0 && colon < static_cast<size_t>(kComponentSize) &&
        colon + 1 < t.size() && (t[colon + 1] == ':' || (t[colon + 1] == '/' && colon >= 2)) &&
        scan.next(NameScan::kSep, 0, colon) == npos &&
        scan.next(NameScan::kBar, 0, colon) == npos && !scheme_prefix(t, colon)) {
      host = t.substr(0, colon);
      i = colon + 1;
      if (i < t.size() && t[i] == ':') ++i;
    }
    if (i + 1 < t.size() && is_letter(t[i]) && t[i + 1] == ':') {
      device = t.substr(i, 1);
      i += 2;
    } else if (i < t.size() && t[i] == '$') {
      size_t slash = t.find('/', i + 1);
      if (slash != npos && slash > i + 1 && slash - i - 1 < static_cast<size_t>(kComponentSize) &&
          t.substr(i + 1, slash - i - 1).find_first_of("\\:|") == std::string_view::npos) {
        device = t.substr(i + 1, slash - i - 1);
        i = slash;
      }
    }
    if (host.empty() && device.empty()) {
      // Neutral forms: "/////host", then "///device".
      auto slashes = [&](size_t at) {
        size_t n = 0;
        while (at + n < t.size() && t[at + n] == '/') ++n;
        return n;
      };
      // A word that holds ':' or '\\' would print as another drive or host,
      // so it is no host or device: the slashes are then a path.
      auto word = [&](size_t at) {
        size_t end = t.find_first_of("/|", at);
        if (end == std::string_view::npos) end = t.size();
        std::string_view w = t.substr(at, end - at);
        return w.find_first_of(":\\") == std::string_view::npos ? w : std::string_view();
      };
      size_t n = slashes(i);
      if (n == 5 && !word(i + 5).empty()) {
        host = word(i + 5);
        i += 5 + host.size();
        n = slashes(i);
      }
      if (n == 3 && !word(i + 3).empty()) {
        device = word(i + 3);
        i += 3 + device.size();
      } else if (n >= 4 && host.empty()) {
        i += n - 1;  // four or more slashes without a host are one
      }
    }
  }
  PathPart path = path_part(t, i, scan);
  if (!store_location(f, host, device, path)) return PFA_E_INVALID_INPUT;
  *consumed = static_cast<int>(path.end);
  return 0;
}

int std_claim(vex_file *f, void *name, void *, void *consumed_out) {
  std::string_view t(static_cast<const char *>(name));
  if (t.size() > NameScan::kMaxLen) return PFA_E_INVALID_INPUT;
  NameScan scan(t);
  return std_claim_scanned(f, t, scan, static_cast<int *>(consumed_out));
}

// Writes the pieces of a location string straight into the caller's
// buffer; a string that does not fit leaves it empty.
class OutText {
 public:
  OutText(void *buf, size_t size) : d_(static_cast<char *>(buf)), room_(size) {}
  void put(std::string_view s) {
    if (n_ + s.size() < room_) copy_bytes(d_ + n_, s.data(), s.size());
    n_ += s.size();
  }
  void put(char c) {
    if (n_ + 1 < room_) d_[n_] = c;
    ++n_;
  }
  // The caller has checked that there is a buffer of at least one byte.
  int finish() {
    if (n_ >= room_) {
      d_[0] = 0;
      return PFA_E_INVALID_INPUT;
    }
    d_[n_] = 0;
    return 0;
  }

 private:
  char *d_;
  size_t room_;
  size_t n_ = 0;
};

int std_location_string(vex_file *f, void *buf, void *, size_t size) {
  if (!buf || size == 0) return PFA_E_INVALID_INPUT;
  std::string_view host = comp(f, PFA_LOC1), device = comp(f, PFA_LOC2);
  NameBuf path;
  backslash_path(comp(f, PFA_LOC3), path);
  OutText s(buf, size);
  if (!host.empty() && device.empty()) {
    // "host:" reads back as a host only before '/' and after two or more
    // characters; otherwise "host::" keeps it from turning into a drive or
    // a name.
    s.put(host);
    s.put(':');
    if (host.size() < 2 || path.empty() || path[0] != '\\') s.put(':');
    if (!path.empty() && path[0] == '\\') {
      s.put('/');
      s.put(path.view().substr(1));
    } else {
      // A relative path starting like a drive would read as the host's drive.
      if (path.size() >= 2 && is_letter(path[0]) && path[1] == ':') s.put(".\\");
      s.put(path);
    }
  } else if (!host.empty()) {
    s.put("\\\\");
    s.put(host);
    s.put('\\');
    s.put(device);
    s.put('$');
    s.put(path);
  } else if (device == "/") {
    s.put("pfafs:drives");
  } else if (!device.empty()) {
    s.put(device);
    s.put(':');
    if (!path.empty() && path[0] == ':') s.put(".\\");  // "t::" would be a host
    s.put(path);
  } else {
    s.put(path);
  }
  return s.finish();
}

void folded_path(std::string_view p, NameBuf &path) {
  path.assign(p);
  pfa_remove_redundant_updirs(path.data());
  path.sync();
  if (!path.empty() && path.back() != '/') path.push('/');
}

int std_neutral_location(vex_file *f, void *buf, void *, size_t size) {
  std::string_view host = comp(f, PFA_LOC1), device = comp(f, PFA_LOC2);
  if (device == "/") return write_out("pfafs:drives", buf, size);
  NameBuf s, path;
  if (!host.empty()) {
    s.append("/////");
    s.append(host);
  }
  if (!device.empty()) {
    s.append("///");
    s.append(device);
  }
  folded_path(comp(f, PFA_LOC3), path);
  if (path.empty() && (!host.empty() || !device.empty())) path.push('/');
  if (!path.empty() && path[0] != '/' && !s.empty()) s.push('/');
  s.append(path);
  if (s.overflow()) return PFA_E_INVALID_INPUT;
  return write_out(s, buf, size);
}

int std_make_parent(vex_file *f, vex_file *out) {
  std::string_view host = comp(f, PFA_LOC1), device = comp(f, PFA_LOC2), path = comp(f, PFA_LOC3);
  if (device == "/") return PFA_E_ROOT_DIR;
  if (f->obj_type != OBJ_TYPE_DIRECTORY || (path != "/" && !(path.empty() && !device.empty())))
    return 1;
  if (!host.empty()) return PFA_E_ROOT_DIR;
  if (device.empty()) return PFA_E_ROOT_DIR;  // the root of the file system
  for (int k = PFA_ITER; k >= PFA_LOC1; --k) put_component(out, k, {});
  put_component(out, PFA_LOC2, "/");
  out->version = 0;
  out->obj_type = OBJ_TYPE_DIRECTORY;
  return 0;
}

int std_is_folder(vex_file *f) {
  std::string path;
  if (os_path_of(f, path, true) != 0) return 0;
  return os::path_kind(existing_path(path).c_str()) == 1 ? PFA_E_EXIST : 0;
}

int std_case_sensitive(vex_file *) { return 1; }

int std_is_remote(vex_file *f) {
  std::string path;
  if (f->loc_type == PFA_LOC_UNC) return 1;
  if (os_path_of(f, path, false) != 0) return 0;
  if (path.empty()) path = ".";
  return os::is_remote(path.c_str()) ? 1 : 0;
}

int std_access(vex_file *f, int mode, int) {
  std::string path;
  int r = os_path_of(f, path, true);
  if (r != 0) return r;
  switch (os::access_ok(existing_path(path).c_str(), mode)) {
    case 0:
      return 0;
    case os::kAccessMissing:
      return PFA_E_NOT_FOUND;
    default:
      return PFA_E_NO_ACCESS;
  }
}

int std_dir_open(vex_file *f, pfa_stream *l, void *, void *, void *, int) {
  std::string path;
  int r = os_path_of(f, path, f->obj_type != OBJ_TYPE_DIRECTORY);
  if (r != 0) return r;
  if (path.empty()) path = ".";
  void *dir = os::dir_open(existing_path(path).c_str());
  if (!dir) return PFA_E_NOT_FOUND;
  l->handle = dir;
  return 0;
}

int std_dir_close(vex_file *, pfa_stream *l) {
  if (l->handle) os::dir_close(l->handle);
  l->handle = nullptr;
  return 0;
}

// Reads the next entry: its name into `raw` (of `size` bytes, or 260) and,
// when `entry` is given, the entry as a record of this directory with the
// name as found on disk.
int std_dir_read_next(vex_file *f, pfa_stream *l, void *entry_out, void *raw, void *is_dir_out,
                      int size) {
  if (!l->handle) return PFA_E_INACTIVE;
  std::string name;
  bool is_dir = false;
  for (;;) {
    if (!os::dir_next(l->handle, name, &is_dir)) return PFA_E_NOT_CACHABLE;
    if (name != "." && name != "..") break;
  }
  if (raw) {
    size_t cap = size > 0 ? static_cast<size_t>(size) : static_cast<size_t>(kNameSize);
    if (name.size() >= cap) return PFA_E_INVALID_NAME;
    std::memcpy(raw, name.c_str(), name.size() + 1);
  }
  if (is_dir_out) *static_cast<int *>(is_dir_out) = is_dir;
  auto *entry = static_cast<vex_file *>(entry_out);
  if (valid(entry)) {
    reset_record(entry);
    entry->loc_type = f->loc_type;
    for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(entry, k, comp(f, k));
    Tail parts;
    if (hide_initial_dot_files() && name[0] == '.')
      parts.name = name;
    else
      split_tail(name, false, false, parts);
    if (put_component(entry, PFA_NAME, parts.name) || put_component(entry, PFA_EXT, parts.ext) ||
        put_component(entry, PFA_ITER, parts.rev))
      return PFA_E_INVALID_NAME;
    entry->version = static_cast<int16_t>(parts.version);
    entry->obj_type = parts.name == name ? OBJ_TYPE_UNTYPED : parts.type;
    if (is_dir) pfa_put_obj_type(entry, OBJ_TYPE_DIRECTORY);
    if (name[0] == '.') entry->flags |= PFA_F_OS_HIDDEN;
    entry->flags |= PFA_F_AS_ON_DISK;
  }
  return 0;
}

// ---- UNC file system ---------------------------------------------------------------------

int unc_claim(vex_file *f, void *name, void *, void *consumed_out) {
  const char *c = static_cast<const char *>(name);
  if (!is_sep(c[0]) || !is_sep(c[1]) || is_sep(c[2])) return PFA_E_INVALID_NAME;
  std::string_view t(c);
  size_t end = t.find_first_of("/\\", 2);
  NameBuf host, share, path;
  host.append("//");
  host.append(t.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2));
  size_t i = end == std::string_view::npos ? t.size() : end;
  if (i < t.size()) {
    // Doubled separators before the share are one: "//server//" is the
    // server itself, never a name "/" beside it.
    while (i + 1 < t.size() && is_sep(t[i + 1])) ++i;
    size_t s_end = t.find_first_of("/\\", i + 1);
    std::string_view s =
        t.substr(i + 1, s_end == std::string_view::npos ? std::string_view::npos : s_end - i - 1);
    if (!s.empty()) {
      share.push('/');
      share.append(s);
      i = s_end == std::string_view::npos ? t.size() : s_end;
      i = take_path(t, i, path);
      if (path.empty()) path.push('/');
    } else {
      i += 1;  // "//server/"
    }
  }
  if (!store_location(f, host, share, path)) return PFA_E_INVALID_INPUT;
  *static_cast<int *>(consumed_out) = static_cast<int>(i);
  return 0;
}

int unc_location_string(vex_file *f, void *buf, void *, size_t size) {
  NameBuf s, path;
  s.append(comp(f, PFA_LOC1));
  s.append(comp(f, PFA_LOC2));
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] == '/') s.data()[i] = '\\';
  backslash_path(comp(f, PFA_LOC3), path);
  s.append(path);
  if (s.overflow()) return PFA_E_INVALID_INPUT;
  return write_out(s, buf, size);
}

int unc_neutral_location(vex_file *f, void *buf, void *, size_t size) {
  NameBuf s, path;
  s.append(comp(f, PFA_LOC1));
  s.append(comp(f, PFA_LOC2));
  folded_path(comp(f, PFA_LOC3), path);
  if (!comp(f, PFA_LOC2).empty() && path.empty()) path.push('/');
  s.append(path);
  if (s.overflow()) return PFA_E_INVALID_INPUT;
  return write_out(s, buf, size);
}

int unc_make_parent(vex_file *f, vex_file *out) {
  std::string_view host = comp(f, PFA_LOC1), share = comp(f, PFA_LOC2), path = comp(f, PFA_LOC3);
  if (f->obj_type != OBJ_TYPE_DIRECTORY) return 1;
  if (!share.empty() && path != "/" && !path.empty()) return 1;
  if (host == "//" || host.empty()) return PFA_E_ROOT_DIR;
  for (int k = PFA_ITER; k >= PFA_LOC2; --k) put_component(out, k, {});
  if (share.empty()) put_component(out, PFA_LOC1, "//");
  out->version = 0;
  out->obj_type = OBJ_TYPE_DIRECTORY;
  return 0;
}

int unc_is_folder(vex_file *f) {
  if (comp(f, PFA_LOC1) == "//" && f->obj_type == OBJ_TYPE_DIRECTORY) return PFA_E_EXIST;
  return std_is_folder(f);
}

// ---- standard streams ----------------------------------------------------------------------

int stdio_claim(vex_file *f, void *name, void *, void *consumed_out) {
  const char *c = static_cast<const char *>(name);
  if (c[0] != 's' || std::strncmp(c, "stdio://", 8) != 0) return PFA_E_INVALID_NAME;
  std::string_view stream(c + 8);
  if (stream != "err" && stream != "in" && stream != "out") return PFA_E_INVALID_NAME;
  if (!store_location(f, {}, "stdio://", std::string_view())) return PFA_E_INVALID_INPUT;
  *static_cast<int *>(consumed_out) = 8;
  return 0;
}

int stdio_location_string(vex_file *f, void *buf, void *, size_t size) {
  return write_out(comp(f, PFA_LOC2), buf, size);
}

int stdio_dir_open(vex_file *, pfa_stream *l, void *, void *, void *, int) {
  l->handle = nullptr;
  return 0;
}
int stdio_dir_close(vex_file *, pfa_stream *) { return 0; }
int stdio_dir_read_next(vex_file *, pfa_stream *, void *, void *, void *, int) {
  return PFA_E_NOT_CACHABLE;
}
int stdio_access(vex_file *f, int, int) {
  std::string_view n = comp(f, PFA_NAME);
  return n == "in" || n == "out" || n == "err" ? 0 : PFA_E_NOT_FOUND;
}
int answer_zero(vex_file *) { return 0; }

#define KW_REG(t, seq, slot, fn) pfa_loc_method_register_##seq(t, PFALOC_##slot, fn)

}  // namespace

pfaloc_method std_claim_method() { return reinterpret_cast<pfaloc_method>(&std_claim); }

bool only_builtin_claims() {
  // The answer holds until the registry changes: it is kept with the
  // generation it was worked out under (plus one, so that 0 means none),
  // both in one word so that no thread sees one without the other.
  static std::atomic<uint64_t> cache{0};
  const uint32_t generation = registry_generation();
  uint64_t cached = cache.load(std::memory_order_relaxed);
  if (cached >> 1 == uint64_t{generation} + 1) return cached & 1;
  constexpr uint32_t kBuiltin = 1u << PFA_LOC_STD_FS | 1u << PFA_LOC_UNC | 1u << PFA_LOC_STDIO;
  bool only = claim_mask() == kBuiltin &&
              claim_method(PFA_LOC_STD_FS) == reinterpret_cast<pfaloc_method>(&std_claim) &&
              claim_method(PFA_LOC_UNC) == reinterpret_cast<pfaloc_method>(&unc_claim) &&
              claim_method(PFA_LOC_STDIO) == reinterpret_cast<pfaloc_method>(&stdio_claim);
  // A change while the answer was worked out moves the generation on, so
  // the next call works it out again.
  cache.store((uint64_t{generation} + 1) << 1 | (only ? 1 : 0), std::memory_order_relaxed);
  return only;
}

bool std_printer_in_place() {
  return slot_method(PFA_LOC_STD_FS, PFALOC_PfaGetLocationString) ==
         reinterpret_cast<pfaloc_method>(&std_location_string);
}

unsigned std_plain_state() {
  // Kept with the registry generation it was worked out under, as the
  // answer of only_builtin_claims is.
  static std::atomic<uint64_t> cache{0};
  const uint32_t generation = registry_generation();
  uint64_t cached = cache.load(std::memory_order_relaxed);
  if (cached >> 8 == uint64_t{generation} + 1) return static_cast<unsigned>(cached & 0xFF);
  unsigned state = 0;
  if (std_printer_in_place()) state |= kStdPrintsItself;
  if (!slot_method(PFA_LOC_STD_FS, PFALOC_PfaLocGetVersioning)) state |= kStdAllowsVersions;
  cache.store((uint64_t{generation} + 1) << 8 | state, std::memory_order_relaxed);
  return state;
}

bool std_location_plain(const vex_file *f, NameBuf &out) {
  if (!std_printer_in_place()) return false;
  // As std_location_string prints a record without a host.
  std::string_view host = comp(f, PFA_LOC1), device = comp(f, PFA_LOC2);
  if (!host.empty() || device == "/") return false;
  if (!device.empty()) {
    out.append(device);
    out.push(':');
  }
  const size_t at = out.size();
  append_backslash_path(comp(f, PFA_LOC3), out);
  if (!device.empty() && out.size() > at && out[at] == ':') {
    NameBuf rest(out.view().substr(at));  // "t::" would be a host
    out.resize(at);
    out.append(".\\");
    out.append(rest);
  }
  if (out.overflow()) {
    out.clear();
    return false;  // the method reports it
  }
  return true;
}

int claim_plain_std(vex_file *f, std::string_view t, const NameScan &scan) {
  // The names the other built-in types claim, and the standard file
  // system's rarer forms (hosts, the all-drives location, named devices,
  // neutral forms), take the full claim.
  const size_t n = t.size();
  if (n == 0) return -1;
  const char c0 = t[0];
  if ((c0 == 's' && t.starts_with("stdio://")) || (c0 == 'p' && t.starts_with("pfafs:drives")) ||
      (n > 1 && is_sep(c0) && is_sep(t[1])))
    return -1;
  size_t i = 0;  // where the path starts: after "X:" or at the start
  size_t colon = scan.next(NameScan::kColon, 0, n);
  if (colon != NameScan::npos) {
    if (colon != 1 || !is_letter(c0) || (n > 2 && t[2] == ':')) return -1;
    i = 2;
  } else if (c0 == '$') {
    return -1;
  }
  // The record was just reset: the location is written from its start,
  // the drive letter (if any) first.
  if (text_len(f) != 0) return -1;
  const PathPart path = path_part(t, i, scan);
  char *w = f->text;
  const size_t device_len = i / 2;
  if (device_len) w[0] = c0;
  size_t written;
  if (path.first_dot == NameScan::npos) {
    // No "." segment to drop: the path is the text with '/' separators,
    // and it ends in one already.
    runtime::copy_replacing(w + device_len, path.raw.data(), path.raw.size(), '\\', '/');
    written = path.raw.size();
  } else {
    written = normalize_path_to(path.raw, w + device_len, kMaxName - device_len, path.first_dot);
    if (written == std::string_view::npos) return -1;
  }
  if (path.updir) {
    if (device_len + written + 3 > static_cast<size_t>(kMaxName)) return -1;
    std::memcpy(w + device_len + written, "../", 3);
    written += 3;
  }
  const int16_t path_end = static_cast<int16_t>(device_len + written);
  f->ranges[PFA_LOC2][1] = f->ranges[PFA_LOC3][0] = static_cast<int16_t>(device_len);
  f->ranges[PFA_LOC3][1] = path_end;
  for (int k = PFA_LOC3 + 1; k < PFA_COMPONENT_COUNT; ++k)
    f->ranges[k][0] = f->ranges[k][1] = path_end;
  w[path_end] = 0;
  if (path_end) f->flags &= ~PFA_F_AS_ON_DISK;
  return static_cast<int>(path.end);
}

int claim_std(vex_file *f, std::string_view text, const NameScan &scan, int *consumed) {
  return std_claim_scanned(f, text, scan, consumed);
}

// Resolves the name case-insensitively when the exact one is missing.
std::string existing_path(const std::string &path) {
  if (os::path_kind(path.c_str()) >= 0) return path;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t cut = p.rfind('/');
  std::string parent = cut == std::string::npos ? "." : (cut == 0 ? "/" : p.substr(0, cut));
  std::string found;
  if (!os::find_case_insensitive(parent, cut == std::string::npos ? p : p.substr(cut + 1), found))
    return path;
  if (cut == std::string::npos) return found;
  p.resize(cut + 1);
  p.append(found);
  return p;
}

int os_path_of(const vex_file *f, std::string &out, bool with_name) {
  out.clear();
  std::string_view host = comp(f, PFA_LOC1), device = comp(f, PFA_LOC2), path = comp(f, PFA_LOC3);
  if (f->loc_type == PFA_LOC_UNC) {
    const char *root = btk_getenv("KEELWORK_UNC_ROOT");
    out = root && *root ? root : kDefaultUncRoot;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    if (host.size() > 2) {
      out += '/';
      out.append(host.substr(2));
    }
    out += device;
    out += path;
  } else if (f->loc_type == PFA_LOC_STD_FS) {
    if (!host.empty() && !iequal(host, local_host()) && !iequal(host, "localhost"))
      return PFA_E_NOT_FOUND;
    if (!device.empty()) {
      if (device == "/") return PFA_E_NOT_FOUND;
      if (device.size() == 1 && is_letter(device[0]) && !nt_is_allowed_drive(device[0]))
        return PFA_E_NO_ACCESS;  // hidden from the user by policy
      std::string var = kDriveEnvPrefix;
      for (char c : device) {
        if (!is_letter(c) && !(c >= '0' && c <= '9') && c != '_') return PFA_E_NOT_FOUND;
        var += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      }
      const char *base = btk_getenv(var.c_str());
      if (!base || !*base) return PFA_E_NOT_FOUND;
      out = base;
      while (out.size() > 1 && out.back() == '/') out.pop_back();
      if (!path.empty() && path[0] != '/') out += '/';
      if (path.empty()) out += '/';
      out += (out == "/" && !path.empty() && path[0] == '/') ? path.substr(1) : path;
    } else {
      out = path;
    }
  } else {
    return PFA_E_INVALID_INPUT;
  }
  if (with_name && f->obj_type != OBJ_TYPE_DIRECTORY) {
    NameBuf tail;
    formatted_tail(f, tail);
    out += tail.view();
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return 0;
}

int join_location(const vex_file *dir, std::string_view relative, vex_file *out) {
  init_record(out);
  out->loc_type = dir->loc_type;
  int pk = path_idx(dir);
  std::string_view dir_path = comp(dir, pk);
  NameBuf normalized;
  normalize_path(relative, normalized);
  std::string_view rel = normalized.view();
  std::string path;
  if (dir_path.empty() && dir->loc_type == PFA_LOC_STD_FS) {
    path = rel;
  } else {
    path = std::string(dir_path);
    if (!path.empty() && path.back() == '|') path.pop_back();
    if (!path.empty() && path.back() != '/') path += '/';
    path += rel;
    if (rel.starts_with("../")) {
      pfa_remove_redundant_updirs(path.data());
      path.resize(std::strlen(path.c_str()));
      bool rooted = (!path.empty() && path[0] == '/') || comp_len(dir, host_idx(dir)) > 0 ||
                    comp_len(dir, device_idx(dir)) > 0;
      if (rooted && (path.starts_with("/../") || path.starts_with("../"))) return PFA_E_ROOT_DIR;
    }
  }
  int total = comp_len(dir, 0) + comp_len(dir, 1) + comp_len(dir, 2) - comp_len(dir, pk) +
              static_cast<int>(path.size());
  if (total > kMaxName) return PFA_E_INVALID_NAME;
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(out, k, k == pk ? path : comp(dir, k));
  out->obj_type = OBJ_TYPE_DIRECTORY;
  return 0;
}

const std::string &local_host() {
  static std::string host;
  static std::once_flag once;
  std::call_once(once, [] {
    if (!os::host_name(host)) host = "localhost";
  });
  return host;
}

// Types the application registered itself already are left as they are.
int register_builtins() {
  int ok = 1;
  if (!pfa_location_type_registered(PFA_LOC_STD_FS)) ok &= pfa_register_std_filesystem();
  if (!pfa_location_type_registered(PFA_LOC_UNC)) ok &= pfa_register_unc_filesystem();
  if (!pfa_location_type_registered(PFA_LOC_STDIO)) ok &= pfa_register_stdio_location();
  return ok;
}

}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int pfa_register_std_filesystem(void) {
  const int t = PFA_LOC_STD_FS;
  if (!pfa_loc_register_setup(t)) return 0;
  KW_REG(t, F, PfaDeviceIdx, std_device_idx);
  KW_REG(t, F, PfaHostIdx, std_host_idx);
  KW_REG(t, F, PfaPathIdx, std_path_idx);
  KW_REG(t, FPPP, PfaClaimLocation, std_claim);
  KW_REG(t, FPPS, PfaGetLocationString, std_location_string);
  KW_REG(t, FPPS, PfaGetNeutralLocation, std_neutral_location);
  KW_REG(t, FF, PfaMakeParent, std_make_parent);
  KW_REG(t, F, PfaIsFolder, std_is_folder);
  KW_REG(t, FLPPPI, PfaDirOpen, std_dir_open);
  KW_REG(t, FL, PfaDirClose, std_dir_close);
  KW_REG(t, FLPPPI, PfaDirReadNext, std_dir_read_next);
  KW_REG(t, FII, PfaAccess, std_access);
  KW_REG(t, F, PfaCaseSensitiveLoc, std_case_sensitive);
  KW_REG(t, F, PfaIsRemoteMounted, std_is_remote);
  register_std_stream_methods(t);
  return pfa_loc_register_setup(0);
}

int pfa_register_unc_filesystem(void) {
  const int t = PFA_LOC_UNC;
  if (!pfa_loc_register_setup(t)) return 0;
  pfa_loc_type_inherit_methods(t, PFA_LOC_STD_FS);
  KW_REG(t, FPPP, PfaClaimLocation, unc_claim);
  KW_REG(t, FPPS, PfaGetLocationString, unc_location_string);
  KW_REG(t, FPPS, PfaGetNeutralLocation, unc_neutral_location);
  KW_REG(t, FF, PfaMakeParent, unc_make_parent);
  KW_REG(t, F, PfaIsFolder, unc_is_folder);
  return pfa_loc_register_setup(0);
}

int pfa_register_stdio_location(void) {
  const int t = PFA_LOC_STDIO;
  if (!pfa_loc_register_setup(t)) return 0;
  KW_REG(t, F, PfaDeviceIdx, std_device_idx);
  KW_REG(t, F, PfaHostIdx, std_host_idx);
  KW_REG(t, F, PfaPathIdx, std_path_idx);
  KW_REG(t, FPPP, PfaClaimLocation, stdio_claim);
  KW_REG(t, FPPS, PfaGetLocationString, stdio_location_string);
  KW_REG(t, FPPS, PfaGetNeutralLocation, stdio_location_string);
  KW_REG(t, FLPPPI, PfaDirOpen, stdio_dir_open);
  KW_REG(t, FL, PfaDirClose, stdio_dir_close);
  KW_REG(t, FLPPPI, PfaDirReadNext, stdio_dir_read_next);
  KW_REG(t, FII, PfaAccess, stdio_access);
  KW_REG(t, F, PfaDirCanOpenSubset, answer_zero);
  KW_REG(t, F, PfaIsRemoteMounted, answer_zero);
  KW_REG(t, F, PfaLocGetVersioning, answer_zero);
  for (int slot : {PFALOC_PfaFgetc, PFALOC_PfaReadFile, PFALOC_PfaFgets, PFALOC_PfaWriteFile,
                   PFALOC_PfaFputs, PFALOC_PfaCopyThruCookie, PFALOC_PfaFlushFile})
    pfa_loc_type_inherit_method(t, PFA_LOC_STD_FS, slot);
  register_stdio_stream_methods(t);
  return pfa_loc_register_setup(0);
}

int pfa_get_os_path(const vex_file *f, char *buf, size_t size) {
  if (buf && size) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf || size == 0) return PFA_E_INVALID_INPUT;
  std::string path;
  int r = os_path_of(f, path, true);
  if (r != 0) return r;
  if (path.empty()) path = ".";
  return write_out(path, buf, size);
}

}  // extern "C"
