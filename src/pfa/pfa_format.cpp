// Formatting a record back into a name, the path helpers (".." folding,
// joins, parents), comparisons and the dump.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "keelwork/vexformat.h"
#include "pfa/objtype_internal.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa {
namespace {

constexpr const char *kErrorNames[] = {
#define KW_ERR_ROW(name, value) #name,
    PFA_ERROR_LIST(KW_ERR_ROW)
#undef KW_ERR_ROW
};

std::atomic<bool> g_version_reported{false};

void copy_out(char *buf, const NameBuf &s) { std::memcpy(buf, s.c_str(), s.size() + 1); }

// A name holding '.' with no extension reads back split at its last '.'
// unless an empty extension follows it; a dot file whose whole tail is the
// name needs none.
bool needs_empty_extension(const vex_file *f) {
  std::string_view name = comp(f, PFA_NAME);
  if (name.find('.') == std::string_view::npos) return false;
  return !(hide_initial_dot_files() && name[0] == '.');
}

// A name or extension holding '|' (read from text with two) needs the
// separator written even for an empty string version, or its own '|' would
// start one when read back. A hidden dot file's whole tail is its name.
bool has_bar(const vex_file *f) {
  std::string_view name = comp(f, PFA_NAME);
  if (hide_initial_dot_files() && !name.empty() && name[0] == '.') return false;
  // Name and extension lie back to back: one search covers both.
  std::string_view both(name.data(),
                        static_cast<size_t>(f->ranges[PFA_EXT][1] - f->ranges[PFA_NAME][0]));
  return both.find('|') != std::string_view::npos;
}

// Where a record of the standard file system prints text that the parser
// would still read as location: the whole text when it has no host or
// device, else what follows "host:" or the drive's "X:" (the parser reads a
// drive after a host, and a drive followed by ':' is a host). Npos when
// there is no such text.
size_t open_location_end(const vex_file *f, std::string_view printed) {
  if (f->loc_type != PFA_LOC_STD_FS) return std::string_view::npos;
  size_t host = comp_len(f, PFA_LOC1), device = comp_len(f, PFA_LOC2);
  if (host == 0 && device == 0) return 0;
  if (host > 0 && device > 0) return std::string_view::npos;  // "\\host\X$" ends the location
  if (device > 0) return comp(f, PFA_LOC2) == "/" ? std::string_view::npos : device + 1;
  size_t at = host + 1;  // "host:" or "host::"
  if (at < printed.size() && printed[at] == ':') ++at;
  return at;
}

// Text that starts like a drive ("P:x\\", "a:b"), a host ("h::x") or the
// all-drives location would read back as one; after a drive, text starting
// with ':' would turn the drive into a host.
bool reads_as_location(std::string_view text, bool after_drive) {
  if (after_drive) return text.starts_with(":");
  if (text.starts_with("pfafs:drives")) return true;
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon > text.find_first_of("\\/")) return false;
  // A scheme path printed as "lhp://..." reads back as that path.
  if (has_path_scheme(text) && text.substr(colon, 3) == "://") return false;
  char next = colon + 1 < text.size() ? text[colon + 1] : 0;
  bool letter = (text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z');
  return (colon == 1 && letter) || next == ':' || (next == '/' && colon >= 2);
}

// Appends `s`, its ASCII letters lower-cased when `lower`, in one pass.
void append_cased(NameBuf &out, std::string_view s, bool lower) {
  if (!lower || out.size() + s.size() >= NameBuf::kCap) {
    out.append(s);  // refused, and the overflow marked, when it does not fit
    return;
  }
  runtime::copy_lowered(out.data() + out.size(), s.data(), s.size());
  out.set_size(out.size() + s.size());
}

int format(const vex_file *f, NameBuf &out, bool lower, int mask) {
  out.clear();
  int loc_bits = mask & (PFA_M_HOST | PFA_M_DEVICE | PFA_M_PATH);
  if (loc_bits != 0 && loc_bits != (PFA_M_HOST | PFA_M_DEVICE | PFA_M_PATH)) {
    dbg_err_crash("pfa_get_full_name_low", "can't split location");
    return PFA_E_INVALID_INPUT;
  }
  bool is_dir = f->obj_type == OBJ_TYPE_DIRECTORY;
  if (loc_bits) {
    int r = location_string(f, out);
    if (r != 0) return r;
    if (out.empty() && is_dir) out.append(".\\");
  }
  bool fold = lower && !(f->flags & PFA_F_AS_ON_DISK);
  const size_t tail_start = out.size();
  if (mask & PFA_M_NAME) append_cased(out, comp(f, PFA_NAME), fold);
  if ((mask & PFA_M_EXT) && comp_len(f, PFA_EXT) > 0 && !is_dir) {
    out.push('.');
    append_cased(out, comp(f, PFA_EXT), fold);
  } else if ((mask & PFA_M_EXT) && !is_dir && needs_empty_extension(f)) {
    out.push('.');  // else the name's last '.' would start an extension
  }
  // A tail of "." or ".." would read back as a directory reference unless a
  // version follows.
  std::string_view tail(out.data() + tail_start, out.size() - tail_start);
  // So would an extension that reads as a version number ("a.1|").
  bool no_version = !((mask & PFA_M_VERSION) && f->version != 0);
  int as_version = 0;
  bool dots = (tail == "." || tail == "..") && no_version;
  bool numeric_ext = no_version && (mask & PFA_M_EXT) && comp_len(f, PFA_EXT) > 0 && !is_dir &&
                     parse_version(comp(f, PFA_EXT), &as_version);
  if ((mask & PFA_M_STRING_VERSION) &&
      (comp_len(f, PFA_ITER) > 0 || has_bar(f) || dots || numeric_ext)) {
    out.push('|');  // with a '|' in the name, only a last one is the separator
    out.append(comp(f, PFA_ITER));
  } else if ((mask & PFA_M_VERSION) && f->version != 0) {
    if ((f->version < -2 || f->version > 0) &&
        !g_version_reported.load(std::memory_order_relaxed) &&
        !pfaloc_allows_numeric_versions(const_cast<vex_file *>(f)) &&
        !g_version_reported.exchange(true))
      dbg_err_crash("pfa_get_full_name_low", "%d on %s", f->version, pfaloc_type_name(f->loc_type));
    char digits[8];
    char *end = digits + sizeof digits, *p = end;
    int v = f->version < 0 ? -f->version : f->version;
    do *--p = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    if (f->version < 0) *--p = '-';
    *--p = '.';
    out.append(std::string_view(p, static_cast<size_t>(end - p)));
  }
  size_t open_at = loc_bits ? open_location_end(f, out.view()) : std::string_view::npos;
  if (open_at != std::string_view::npos &&
      reads_as_location(out.view().substr(open_at),
                        open_at > 0 && comp_len(f, PFA_LOC2) > 0 && comp_len(f, PFA_LOC1) == 0)) {
    // Printed after ".\" the text stays a relative path and name.
    NameBuf copy(out.view());
    out.assign(copy.view().substr(0, open_at));
    out.append(".\\");
    out.append(copy.view().substr(open_at));
  }
  if (out.overflow() || out.size() > static_cast<size_t>(kMaxName)) {
    out.clear();
    return PFA_E_INVALID_INPUT;
  }
  return 0;
}

// Copies n bytes through a 16-byte block operation: as one block when both
// sides have 16 bytes of room (the bytes written past n are scratch the
// caller overwrites or leaves behind the terminator), else piece by piece.
template <typename Copy>
void copy_short(char *dst, size_t dst_room, const char *src, size_t src_room, size_t n, Copy copy) {
  if (n <= 16 && dst_room >= 16 && src_room >= 16)
    copy(dst, src, 16);
  else
    copy(dst, src, n);
}

// The whole name of the common record written straight into `buf` (which
// holds PFA_NAME_SIZE bytes): a standard file system record printed by the
// built-in method, with no host, string version or directory type, a path
// without "..", doubled separators or a scheme, a name and extension
// without '.' or '|', and nothing the parser would read back as a location
// or a version. Every other record (false) goes through format(), which
// this matches byte for byte on the records it takes.
bool format_plain(const vex_file *f, char *buf, bool lower) {
  constexpr size_t npos = NameScan::npos;
  if (f->loc_type != PFA_LOC_STD_FS || (f->flags & PFA_F_SUBSTITUTE) ||
      f->obj_type == OBJ_TYPE_DIRECTORY || comp_len(f, PFA_LOC1) != 0 || comp_len(f, PFA_ITER) != 0)
    return false;
  const unsigned state = std_plain_state();
  if (!(state & kStdPrintsItself)) return false;
  const std::string_view device = comp(f, PFA_LOC2), path = comp(f, PFA_LOC3),
                         name = comp(f, PFA_NAME), ext = comp(f, PFA_EXT);
  if (device == "/" || has_path_scheme(path)) return false;
  // Path, name and extension lie back to back: one scan covers them.
  const size_t from = static_cast<size_t>(f->ranges[PFA_LOC3][0]);
  const size_t name_at = path.size(), ext_at = name_at + name.size();
  const size_t end = ext_at + ext.size();
  // ':' and '|' share a row: either in the name or extension, or ':'
  // anywhere without a drive, sends the record to format() (which also
  // takes the few such records this could print itself).
  enum : size_t { kOdd, kSlash, kDot };
  static constexpr char kWanted[3] = {':', '/', '.'};
  runtime::ByteMasks<3, (PFA_NAME_SIZE + 63) / 64> s;
  s.scan(f->text + from, end, kWanted, '|');
  // The path as printed ends at its last '/', which is mostly its end.
  size_t printed = name_at;
  if (printed > 0 && path.back() != '/') {
    size_t last_slash = s.prev(kSlash, 0, name_at);
    printed = last_slash == npos ? 0 : last_slash + 1;
  }
  if (end <= 64) {
    // One word per byte: ".." or "//" inside the printed path, '.', ':'
    // or '|' in the name or extension.
    const uint64_t dots = s.m[kDot][0], slashes = s.m[kSlash][0], odd = s.m[kOdd][0];
    const uint64_t pair_starts = printed > 1 ? ~uint64_t{0} >> (65 - printed) : 0;
    const uint64_t tail = name_at < 64 ? ~uint64_t{0} << name_at : 0;
    if ((((dots & (dots >> 1)) | (slashes & (slashes >> 1))) & pair_starts) ||
        ((dots | odd) & tail) || (device.empty() && odd))
      return false;
  } else {
    if (s.pair_in(kDot, 0, printed) || s.pair_in(kSlash, 0, printed) ||
        s.next(kDot, name_at, end) != npos || s.next(kOdd, name_at, end) != npos ||
        (device.empty() && s.any(kOdd)))
      return false;
  }
  // Without a drive, ':' anywhere could read as a drive or host (refused
  // above); after one, a ':' first would make "X::", a host.
  if (!device.empty() && (printed > 0 ? path[0] == ':' : (!name.empty() && name[0] == ':')))
    return false;
  const int version = f->version;
  int as_version = 0;
  if (version == 0 && !ext.empty() && parse_version(ext, &as_version)) return false;
  if ((version < -2 || version > 0) && !g_version_reported.load(std::memory_order_relaxed) &&
      !(state & kStdAllowsVersions))
    return false;  // format() asks the location and may report
  char digits[8];
  char *digits_end = digits + sizeof digits, *d = digits_end;
  if (version != 0) {
    int v = version < 0 ? -version : version;
    do *--d = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    if (version < 0) *--d = '-';
    *--d = '.';
  }
  const size_t digits_len = static_cast<size_t>(digits_end - d);
  const size_t total = (device.empty() ? 0 : device.size() + 1) + printed + name.size() +
                       (ext.empty() ? 0 : ext.size() + 1) + digits_len;
  if (total > static_cast<size_t>(kMaxName)) return false;

  const bool fold = lower && !(f->flags & PFA_F_AS_ON_DISK);
  auto room = [&](size_t at) { return static_cast<size_t>(kNameSize) - at; };
  auto src_room = [&](const char *p) { return static_cast<size_t>(f->text + kNameSize - p); };
  auto cased = [fold](char *dst, const char *src, size_t n) {
    if (fold)
      runtime::copy_lowered(dst, src, n);
    else
      copy_bytes(dst, src, n);
  };
  size_t at = 0;
  if (!device.empty()) {
    runtime::copy_small(buf, device.data(), device.size());
    at = device.size();
    buf[at++] = ':';
  }
  if (printed > 0) runtime::copy_replacing(buf + at, path.data(), printed, '/', '\\');
  at += printed;
  copy_short(buf + at, room(at), name.data(), src_room(name.data()), name.size(), cased);
  at += name.size();
  if (!ext.empty()) {
    buf[at++] = '.';
    copy_short(buf + at, room(at), ext.data(), src_room(ext.data()), ext.size(), cased);
    at += ext.size();
  }
  runtime::copy_small(buf + at, d, digits_len);
  at += digits_len;
  buf[at] = 0;
  return true;
}

int wide_out(const NameBuf &s, kw_wchar *wbuf) {
  if (!to_wide(s.c_str(), wbuf, kNameSize)) {
    wbuf[0] = 0;
    return PFA_E_INVALID_INPUT;
  }
  return 0;
}

}  // namespace

void ascii_lower(char *s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s[i] >= 'A' && s[i] <= 'Z') s[i] = static_cast<char>(s[i] - 'A' + 'a');
}

int ascii_casecmp(const char *a, const char *b) {
  for (;; ++a, ++b) {
    int x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y || x == 0) return x - y;
  }
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool has_path_scheme(std::string_view s) {
  if (s.empty() || s[0] != 'l') return false;  // every scheme starts with 'l'
  return s.starts_with("lhpub:") || s.starts_with("lhws:") || s.starts_with("lhp:");
}

bool to_bytes(const kw_wchar *w, char *out, size_t size) {
  if (!w) return false;
  return btkStrUtf16ToUtf8(w, -1, out, static_cast<int32_t>(size), nullptr) >= 0;
}

bool to_wide(const char *s, kw_wchar *out, size_t size) {
  if (!s) return false;
  return btkStrUtf8ToUtf16(s, -1, out, static_cast<int32_t>(size), nullptr) >= 0;
}

void backslash_path(std::string_view path, NameBuf &out) {
  out.clear();
  append_backslash_path(path, out);
}

void append_backslash_path(std::string_view path, NameBuf &out) {
  if (has_path_scheme(path)) {
    out.append(path);
    return;
  }
  size_t last = path.rfind('/');
  if (last == std::string_view::npos) return;
  path = path.substr(0, last + 1);
  // One look at every pair of neighbours for a ".." to fold or a run of
  // '/' to write as one separator; both are rare.
  runtime::ByteMasks<2, (PFA_NAME_SIZE + 63) / 64> marks;
  static constexpr char kMarked[2] = {'.', '/'};
  marks.scan(path.data(), path.size(), kMarked);
  bool updir = marks.has_pair(0), run = marks.has_pair(1);
  NameBuf folded;
  if (updir) {
    // Doubled separators print as one, so they are folded as one: the
    // printed path must fold the same way when it is read back.
    for (size_t i = 0; i < path.size(); ++i)
      if (path[i] != '/' || i == 0 || path[i - 1] != '/') folded.push(path[i]);
    pfa_remove_redundant_updirs(folded.data());
    folded.sync();
    path = folded.view();
    if (has_path_scheme(path)) {  // folded into a scheme path: print it as one
      out.append(path);
      return;
    }
    run = true;  // the folded path is written by the careful loop
  }
  const size_t start = out.size();
  char *w = out.data() + start;
  size_t room = NameBuf::kCap - 1 - start;
  if (path.size() > room) {
    out.append(path);  // marks the overflow
    return;
  }
  size_t n = path.size();
  if (!run) {
    runtime::copy_replacing(w, path.data(), n, '/', '\\');
  } else {
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
      if (path[i] != '/')
        w[k++] = path[i];
      else if (i == 0 || path[i - 1] != '/')
        w[k++] = '\\';
    }
    n = k;
  }
  out.set_size(start + n);
}

bool lower_for(const vex_file *f) {
  int32_t t = f->obj_type;
  if (t == OBJ_TYPE_NOT_YET || t == OBJ_TYPE_UNTYPED) return false;
  return (record_of(t).flags & OBJ_TYPE_LOWER_CASE) != 0;
}

void formatted_tail(const vex_file *f, NameBuf &out) {
  format(f, out, lower_for(f), PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION);
}

int location_string(const vex_file *f, NameBuf &out) {
  out.clear();
  if (f->loc_type == PFA_LOC_STD_FS && !(f->flags & PFA_F_SUBSTITUTE) && std_location_plain(f, out))
    return 0;
  int r = pfaloc_call_FPPS(PFALOC_PfaGetLocationString, const_cast<vex_file *>(f), out.data(),
                           nullptr, NameBuf::kCap);
  if (r == -1) r = 0;  // a location without a printer prints nothing
  if (r != 0) {
    out.clear();
    return r;
  }
  out.sync();
  return 0;
}

}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

const char *pfa_error_to_string(int code) {
  if (code < 0 || code >= static_cast<int>(std::size(kErrorNames))) return "PFA_UNKNOWN_ERROR";
  return kErrorNames[code];
}

int pfa_get_full_name_low(const vex_file *f, char *buf, int lower, int mask) {
  if (buf) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf) return PFA_E_INVALID_INPUT;
  if (mask == PFA_M_ALL && format_plain(f, buf, lower != 0)) return 0;
  NameBuf s;
  int r = format(f, s, lower != 0, mask);
  if (r == 0) copy_out(buf, s);
  return r;
}

int pfa_get_full_name(const vex_file *f, char *buf) {
  if (buf) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  const bool lower = lower_for(f);
  if (buf && format_plain(f, buf, lower)) return 0;
  return pfa_get_full_name_low(f, buf, lower, PFA_M_ALL);
}

int pfa_get_full_name_mixed_case(const vex_file *f, char *buf, int lower) {
  return pfa_get_full_name_low(f, buf, lower, PFA_M_ALL);
}

int pfa_get_full_wname(const vex_file *f, kw_wchar *wbuf) {
  if (wbuf) wbuf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!wbuf) return PFA_E_INVALID_INPUT;
  NameBuf s;
  int r = format(f, s, lower_for(f), PFA_M_ALL);
  return r ? r : wide_out(s, wbuf);
}

int pfa_get_full_wname_mixed_case(const vex_file *f, kw_wchar *wbuf, int lower) {
  if (wbuf) wbuf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!wbuf) return PFA_E_INVALID_INPUT;
  NameBuf s;
  int r = format(f, s, lower != 0, PFA_M_ALL);
  return r ? r : wide_out(s, wbuf);
}

int pfa_get_file_name(const vex_file *f, int mask, char *buf) {
  if (buf) buf[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!buf) return PFA_E_INVALID_INPUT;
  const int all_loc = PFA_M_HOST | PFA_M_DEVICE | PFA_M_PATH;
  int loc_bits = mask & all_loc;
  NameBuf s;
  int r;
  if (loc_bits == 0 || loc_bits == all_loc) {
    r = format(f, s, lower_for(f), mask);
  } else if (f->loc_type != PFA_LOC_STD_FS) {
    dbg_err_crash("pfa_get_file_name", "can't split non-standard location");
    return PFA_E_INVALID_INPUT;
  } else {
    vex_file copy;
    std::memcpy(&copy, f, sizeof copy);
    copy.appinfo = nullptr;
    copy.stream = nullptr;
    if (!(mask & PFA_M_HOST)) put_component(&copy, host_idx(f), {});
    if (!(mask & PFA_M_DEVICE)) put_component(&copy, device_idx(f), {});
    if (!(mask & PFA_M_PATH)) put_component(&copy, path_idx(f), {});
    copy.flags = f->flags;
    r = format(&copy, s, lower_for(f), (mask & ~all_loc) | all_loc);
  }
  if (r != 0) return r;
  // Without the path and with no name, the last path segment names it.
  if (!(mask & PFA_M_PATH) && (mask & PFA_M_NAME) && comp_len(f, PFA_NAME) == 0) {
    char name[kNameSize];
    if (pfa_get_name(f, name) == 0) s.append(name);
    if (s.overflow() || s.size() > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  }
  copy_out(buf, s);
  return 0;
}

int pfa_get_file_wname(const vex_file *f, int mask, kw_wchar *wbuf) {
  if (wbuf) wbuf[0] = 0;
  char buf[kNameSize];
  int r = pfa_get_file_name(f, mask, buf);
  if (r != 0) return r;
  return to_wide(buf, wbuf, kNameSize) ? 0 : (wbuf[0] = 0, PFA_E_INVALID_INPUT);
}

int pfa_remove_redundant_updirs(char *path) {
  if (!path) return 0;
  std::string_view p(path);
  // The kept segments joined by '/'; a ".." after a separator cancels the
  // named segment before it. Segment starts are remembered to undo them.
  NameBuf out;
  size_t starts[NameBuf::kCap];
  bool named[NameBuf::kCap];
  size_t kept = 0;
  bool changed = false;
  size_t start = 0;
  for (;;) {
    size_t slash = p.find('/', start);
    size_t end = slash == std::string_view::npos ? p.size() : slash;
    std::string_view seg = p.substr(start, end - start);
    if (seg == ".." && start > 0 && kept > 0 && named[kept - 1]) {
      --kept;
      out.resize(kept == 0 ? 0 : starts[kept] - 1);
      changed = true;
    } else if (kept < NameBuf::kCap) {
      if (kept > 0) out.push('/');
      starts[kept] = out.size();
      named[kept] = !seg.empty() && seg != ".." && seg != ".";
      out.append(seg);
      ++kept;
    }
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (!changed || out.overflow()) return 0;
  // A fully folded relative path must not turn absolute.
  std::string_view r = out.view();
  if (!p.empty() && p[0] != '/' && !r.empty() && r[0] == '/') r.remove_prefix(1);
  std::memmove(path, r.data(), r.size());
  path[r.size()] = 0;
  return 1;
}

int pfa_path_is_absolute(const vex_file *f) {
  if (!valid(f)) return 0;
  if (comp_len(f, host_idx(f)) > 0) return 1;
  std::string_view path = comp(f, path_idx(f));
  if (comp_len(f, device_idx(f)) > 0) return !path.empty() && path[0] == '/';
  if (pfaloc_call_F(PFALOC_PfaPathIdx, const_cast<vex_file *>(f)) == -1 &&
      f->loc_type != PFA_LOC_STD_FS)
    return 1;
  return (!path.empty() && path[0] == '/') || has_path_scheme(path);
}

int pfa_is_path_relative(const kw_wchar *wname) {
  char name[kNameSize];
  if (!to_bytes(wname, name, sizeof name)) return 0;
  vex_file f;
  kw::pfa::ensure_layer();
  init_record(&f);
  if (parse_full(&f, nullptr, name, -1, 0, false) != 0) return 0;
  return !pfa_path_is_absolute(&f);
}

int pfa_make_subdir(const vex_file *dir, const char *relative, vex_file *out) {
  if (!valid(dir) || !valid(out)) return PFA_E_NOT_VALID;
  if (!relative || dir->obj_type != OBJ_TYPE_DIRECTORY) return PFA_E_INVALID_INPUT;
  vex_file joined;
  init_record(&joined);
  int r = join_location(dir, relative, &joined);
  if (r != 0) return r;
  if (out->flags & PFA_F_OPEN) return PFA_E_ERROR;
  reset_record(out);
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(out, k, comp(&joined, k));
  out->loc_type = joined.loc_type;
  out->obj_type = OBJ_TYPE_DIRECTORY;
  return 0;
}

int pfa_build_path(const vex_file *dir, const char *relative, char *buf) {
  if (buf) buf[0] = 0;
  if (!buf) return PFA_E_INVALID_INPUT;
  vex_file out;
  init_record(&out);
  int r = pfa_make_subdir(dir, relative, &out);
  return r ? r : pfa_get_full_name_mixed_case(&out, buf, 0);
}

int pfa_concat_locations(const vex_file *dir, vex_file *rel) {
  if (!valid(dir) || !valid(rel)) return PFA_E_NOT_VALID;
  if (pfa_path_is_absolute(rel)) return 0;
  std::string path(comp(rel, path_idx(rel)));
  vex_file joined;
  init_record(&joined);
  int r = join_location(dir, path, &joined);
  if (r != 0) return r;
  int rest = text_len(rel) - rel->ranges[PFA_NAME][0];
  int loc = comp_len(&joined, 0) + comp_len(&joined, 1) + comp_len(&joined, 2);
  if (loc + rest > kMaxName) return PFA_E_INVALID_NAME;
  for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(rel, k, comp(&joined, k));
  rel->loc_type = joined.loc_type;
  return 0;
}

int pfa_make_parent(const vex_file *f, vex_file *out) {
  if (!valid(f) || !valid(out)) return PFA_E_NOT_VALID;
  if (out != f && (out->flags & PFA_F_OPEN)) return PFA_E_ERROR;
  vex_file work;
  std::memcpy(&work, f, sizeof work);
  work.appinfo = nullptr;
  work.stream = nullptr;
  work.flags &=
      ~(PFA_F_OPEN | PFA_F_SUBSTITUTE | PFA_F_DIR_CACHED | PFA_F_CACHE_COPY | PFA_F_REMOTE_COUNTED);
  int r = pfaloc_call_FF(PFALOC_PfaMakeParent, const_cast<vex_file *>(f), &work);
  if (r == -1) r = 1;
  if (r != 0 && r != 1) return r;
  if (r == 1) {
    if (f->obj_type == OBJ_TYPE_DIRECTORY) {
      int pk = path_idx(f);
      std::string path(comp(f, pk));
      // Drop the last segment; a ".." segment (or an empty relative path)
      // climbs one more level instead.
      std::string_view p(path);
      if (!p.empty() && p.back() == '/') p.remove_suffix(1);
      size_t cut = p.rfind('/');
      std::string_view last = cut == std::string_view::npos ? p : p.substr(cut + 1);
      std::string parent;
      if (p.empty() || last == "..") {
        parent = path + "../";
      } else {
        parent =
            std::string(cut == std::string_view::npos ? std::string_view() : p.substr(0, cut + 1));
      }
      if (put_component(&work, pk, parent) != 0) return PFA_E_INVALID_NAME;
    }
    put_component(&work, PFA_NAME, {});
    put_component(&work, PFA_EXT, {});
    put_component(&work, PFA_ITER, {});
    work.version = 0;
    work.obj_type = OBJ_TYPE_DIRECTORY;
    work.flags &= ~PFA_F_GENERIC_NAME;
  }
  if (out != f)
    release_attachments(out);
  else if (out->appinfo)
    release_attachments(out);
  pfa_stream *stream = out->stream;
  uint32_t open_flags = out->flags & (PFA_F_OPEN | PFA_F_SUBSTITUTE | PFA_F_REMOTE_COUNTED);
  std::memcpy(out, &work, sizeof work);
  out->stream = stream;
  out->flags = (work.flags & ~(PFA_F_OPEN | PFA_F_SUBSTITUTE | PFA_F_REMOTE_COUNTED)) | open_flags;
  out->appinfo = nullptr;
  return 0;
}

int pfa_same_locations(const vex_file *a, const vex_file *b) {
  if (!valid(a) || !valid(b) || a->loc_type != b->loc_type) return 0;
  bool cs = pfaloc_is_case_sensitive(const_cast<vex_file *>(a));
  auto eq = [cs](std::string_view x, std::string_view y) { return cs ? x == y : iequal(x, y); };
  if (!eq(comp(a, path_idx(a)), comp(b, path_idx(b)))) return 0;
  if (!eq(comp(a, device_idx(a)), comp(b, device_idx(b)))) return 0;
  std::string_view ha = comp(a, host_idx(a)), hb = comp(b, host_idx(b));
  if (a->loc_type == PFA_LOC_STD_FS) {
    // A missing host is the local host.
    const std::string &local = local_host();
    if (ha.empty()) ha = local;
    if (hb.empty()) hb = local;
    return iequal(ha, hb);
  }
  return eq(ha, hb);
}

int compare_vex_files(const vex_file *a, const vex_file *b) {
  bool va = valid(a), vb = valid(b);
  if (!va || !vb) return va == vb ? 0 : (va ? 1 : -1);
  if (a->loc_type != b->loc_type) return a->loc_type < b->loc_type ? -1 : 1;
  bool cs = pfaloc_is_case_sensitive(const_cast<vex_file *>(a));
  int r = cs ? std::strcmp(a->text, b->text) : ascii_casecmp(a->text, b->text);
  if (r != 0) return r < 0 ? -1 : 1;
  if (pfaloc_allows_numeric_versions(const_cast<vex_file *>(a)) && a->version != b->version)
    return a->version < b->version ? -1 : 1;
  return 0;
}

void dump_vex_file(const vex_file *f, const vex_file *cur_dir) {
  static const char *const kLabels[PFA_COMPONENT_COUNT] = {"loc1", "loc2", "loc3",
                                                           "name", " ext", "iter"};
  if (!valid(f)) {
    vex_printf("Invalid file object\n");
    return;
  }
  if (f == cur_dir) vex_printf("This file represents the Current Directory\n");
  for (int k = 0; k < PFA_COMPONENT_COUNT; ++k) {
    if (comp_len(f, k) == 0) continue;
    std::string value(comp(f, k));
    vex_printf("      %s: %s\n", kLabels[k], value.c_str());
  }
  vex_printf("   version:  %d\n", f->version);
  vex_printf("      type: %d\n", f->obj_type);
  if (f->stream) pfaloc_call_FL(PFALOC_PfaDbgShowStream, const_cast<vex_file *>(f));
  vex_printf("End of this file.\n\n");
  if ((f->flags & PFA_F_SUBSTITUTE) && f->stream &&
      valid(static_cast<vex_file *>(f->stream->handle)) && f->stream->handle != f) {
    vex_printf("Substitute stream will be displayed below.\n");
    dump_vex_file(static_cast<const vex_file *>(f->stream->handle), cur_dir);
  }
}

}  // extern "C"
