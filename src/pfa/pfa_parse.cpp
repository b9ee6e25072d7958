// Parsing a full name into a record: variable and home expansion, drive
// inheritance, the location claim, the tail grammar (name, extension,
// versions, family names), relative joins and the directory decision.
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <string>

#include "keelwork/btk_os.h"
#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "pfa/objtype_internal.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa {
namespace {

std::atomic<int> g_allow_unusual_rev{0};
std::atomic<int> g_hide_dot_files{1};

bool is_sep(char c) { return c == '/' || c == '\\'; }

// "$NAME" references end at '/', '\\', '.', ']' or the end. Unset variables
// stay as written. The value is not searched again, so a value holding '$'
// cannot make the expansion loop.
bool expand_variables(std::string &s) {
  size_t pos = 0;
  while ((pos = s.find('$', pos)) != std::string::npos) {
    size_t end = pos + 1;
    while (end < s.size() && !is_sep(s[end]) && s[end] != '.' && s[end] != ']') ++end;
    if (end == pos + 1) {
      ++pos;
      continue;
    }
    std::string var = s.substr(pos + 1, end - pos - 1);
    const char *value = btk_getenv(var.c_str());
    if (!value) {
      pos = end;
      continue;
    }
    size_t len = std::strlen(value);
    s.replace(pos, end - pos, value, len);
    if (s.size() > static_cast<size_t>(kMaxName)) return false;
    pos += len;
  }
  return true;
}

bool expand_home(std::string &s) {
  if (s.empty() || s[0] != '~') return true;
  if (s.size() > 1 && !is_sep(s[1])) return true;
  std::string home;
  if (!os::home_dir(home) || home.empty()) return false;
  if (!is_sep(home.back())) home += '/';
  s = home + (s.size() > 2 ? s.substr(2) : std::string());
  return s.size() <= static_cast<size_t>(kMaxName);
}

// Puts the device of `dir` (or of the current directory) before a name that
// starts with exactly one separator, rewriting `text` into `work`. Only a
// drive of the standard file system is inherited: an empty device, the
// all-drives location or a share would turn the name into one that means
// something else.
// The drive a name starting with one separator inherits, or empty.
std::string_view inherited_drive(std::string_view text, const vex_file *dir) {
  if (text.empty() || !is_sep(text[0]) || (text.size() > 1 && is_sep(text[1]))) return {};
  const vex_file *from = dir;
  if (!valid(from)) {
    // The current-directory record is made once and never replaced;
    // holding it here spares its once-guard on every name.
    static const vex_file *const cur_dir = cur_dir_record();
    from = cur_dir;
  }
  if (!valid(from) || from->loc_type != PFA_LOC_STD_FS) return {};
  std::string_view device = comp(from, device_idx(from));
  if (device == "/") return {};
  return device;
}

bool inherit_drive(std::string_view &text, NameBuf &work, const vex_file *dir) {
  std::string_view device = inherited_drive(text, dir);
  if (device.empty()) return false;
  if (text.data() != work.c_str()) work.assign(text);
  work.prepend(":");
  work.prepend(device);
  text = work.view();
  return true;
}

// Bytes allowed in a name of a type without unusual characters: letters,
// digits, '_', '-' and every byte of a multibyte character.
constexpr std::array<bool, 256> kUsualNameByte = [] {
  std::array<bool, 256> usual{};
  for (int c = 0; c < 256; ++c)
    usual[c] = c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               (c >= '0' && c <= '9') || c == '_' || c == '-';
  return usual;
}();

// What a name's bytes are, joined: unusual bytes and ASCII capitals.
constexpr unsigned kUnusualByte = 1, kUpperByte = 2;
unsigned name_classes(std::string_view name) {
  static_assert(kUnusualByte == 1 && kUpperByte == 2);
  return runtime::letter_digit_classes(name.data(), name.size(), '_', '-');
}

// Stores name, extension and string version after the location a claim
// stored last, as put_components does, in one go.
bool store_tail(vex_file *f, const Tail &t) {
  const int at = text_len(f);
  if (f->ranges[PFA_NAME][0] != at) return put_components(f, PFA_NAME, t.name, t.ext, t.rev) == 0;
  const size_t total = t.name.size() + t.ext.size() + t.rev.size();
  if (static_cast<size_t>(at) + total > static_cast<size_t>(kMaxName)) return false;
  char *w = f->text + at;
  runtime::copy_small(w, t.name.data(), t.name.size());
  runtime::copy_small(w + t.name.size(), t.ext.data(), t.ext.size());
  runtime::copy_small(w + t.name.size() + t.ext.size(), t.rev.data(), t.rev.size());
  const int16_t ext_at = static_cast<int16_t>(at + static_cast<int>(t.name.size()));
  const int16_t rev_at = static_cast<int16_t>(ext_at + static_cast<int>(t.ext.size()));
  const int16_t end = static_cast<int16_t>(rev_at + static_cast<int>(t.rev.size()));
  f->ranges[PFA_NAME][1] = f->ranges[PFA_EXT][0] = ext_at;
  f->ranges[PFA_EXT][1] = f->ranges[PFA_ITER][0] = rev_at;
  f->ranges[PFA_ITER][1] = end;
  w[total] = 0;
  if (total) f->flags &= ~PFA_F_AS_ON_DISK;
  return true;
}

}  // namespace

bool allow_unusual_revision_chars() { return g_allow_unusual_rev.load() != 0; }
bool hide_initial_dot_files() { return g_hide_dot_files.load() != 0; }

// Letters, digits, '_' and '-' are allowed, and any byte of a multibyte
// character; a name starting with '-' is unusual.
bool name_has_unusual_chars(std::string_view name) {
  if (name.empty()) return false;
  if (name[0] == '-') return true;
  for (char c : name)
    if (!kUsualNameByte[static_cast<unsigned char>(c)]) return true;
  return false;
}

bool is_family_form(std::string_view name) {
  if (name.size() < 3 || name.back() != '>') return false;
  size_t lt = name.find('<');
  if (lt == std::string_view::npos || lt == 0 || lt + 2 > name.size() - 1) return false;
  std::string_view generic = name.substr(lt + 1, name.size() - lt - 2);
  return generic.find_first_of("<>") == std::string_view::npos &&
         name.substr(0, lt).find('>') == std::string_view::npos;
}

TailMarks tail_marks(std::string_view tail) {
  constexpr size_t npos = std::string_view::npos;
  TailMarks m{npos, npos, npos, npos};
  size_t d1 = npos, d2 = npos;  // the last two dots so far
  for (size_t i = 0; i < tail.size(); ++i) {
    if (tail[i] == '.') {
      d2 = d1;
      d1 = i;
    } else if (tail[i] == '|') {
      if (m.first_bar == npos) m.first_bar = i;
      m.last_bar = i;
      m.dot1 = d1;
      m.dot2 = d2;
    }
  }
  if (m.last_bar == npos) {
    m.dot1 = d1;
    m.dot2 = d2;
  }
  return m;
}

[[gnu::always_inline]] inline TailMarks tail_marks(const NameScan &scan, size_t from) {
  constexpr size_t npos = NameScan::npos;
  const size_t end = scan.len;
  TailMarks m{npos, npos, npos, npos};
  if (end - from <= 64) {
    // A tail of up to 64 bytes: its '|' and '.' in one word each.
    uint64_t bars = scan.window(NameScan::kBar, from), dots = scan.window(NameScan::kDot, from);
    auto top = [](uint64_t bits) { return static_cast<size_t>(63 - std::countl_zero(bits)); };
    if (bars) {
      m.first_bar = static_cast<size_t>(std::countr_zero(bars));
      m.last_bar = top(bars);
      dots &= (uint64_t{1} << m.last_bar) - 1;
    }
    if (dots) {
      m.dot1 = top(dots);
      dots &= ~(uint64_t{1} << m.dot1);
      if (dots) m.dot2 = top(dots);
    }
    return m;
  }
  m.first_bar = scan.next(NameScan::kBar, from, end);
  if (m.first_bar != npos) m.last_bar = scan.prev(NameScan::kBar, from, end);
  m.dot1 = scan.prev(NameScan::kDot, from, m.last_bar == npos ? end : m.last_bar);
  if (m.dot1 != npos) m.dot2 = scan.prev(NameScan::kDot, from, m.dot1);
  for (size_t *p : {&m.first_bar, &m.last_bar, &m.dot1, &m.dot2})
    if (*p != npos) *p -= from;
  return m;
}

// split_tail with the separators already found.
[[gnu::always_inline]] inline void split_tail(std::string_view tail, const TailMarks &marks,
                                              bool weak, bool case_check, Tail &out) {
  constexpr size_t npos = std::string_view::npos;
  out = Tail();
  std::string_view part = tail;
  size_t dot = marks.dot1;  // the extension's
  if (marks.last_bar != npos) {
    if (marks.first_bar != marks.last_bar)
      dbg_err_crash("parse_name_ext_vers", "not expecting two");
    part = tail.substr(0, marks.last_bar);
    out.rev = tail.substr(marks.last_bar + 1);
  } else {
    int v = 0;
    if (dot != npos && parse_version(part.substr(dot + 1), &v)) {
      out.version = v;
      part = part.substr(0, dot);
      dot = marks.dot2;
    }
  }
  if (dot != npos) {
    out.name = part.substr(0, dot);
    out.ext = part.substr(dot + 1);
  } else {
    out.name = part;
  }
  // The record of the extension's type carries the rules for the name.
  const TypeRecord *record = out.name.empty() ? nullptr : extension_record(out.ext);
  int32_t type = record ? record->type : OBJ_TYPE_NO_TYPE;
  if (type == OBJ_TYPE_ALL_FILE || type == OBJ_TYPE_NO_TYPE || type == OBJ_TYPE_DIRECTORY)
    type = OBJ_TYPE_UNTYPED;
  if (type != OBJ_TYPE_UNTYPED && !weak) {
    const std::string_view name = out.name;
    const uint32_t flags = record->flags;
    bool family = (flags & OBJ_TYPE_FAMILY_NAMES) && is_family_form(name);
    int length = static_cast<int>(name.size());
    if (length >= 32 && length >= record->name_length) type = OBJ_TYPE_UNTYPED;
    if (type != OBJ_TYPE_UNTYPED && !(flags & OBJ_TYPE_WEIRD_CHARS)) {
      if (family) {
        size_t lt = name.find('<');
        if ((case_check && (flags & OBJ_TYPE_LOWER_CASE) && (name_classes(name) & kUpperByte)) ||
            name_has_unusual_chars(name.substr(0, lt)) ||
            name_has_unusual_chars(name.substr(lt + 1, name.size() - lt - 2)))
          type = OBJ_TYPE_UNTYPED;
      } else {
        // One pass answers both questions about the name.
        unsigned classes = name_classes(name);
        if ((case_check && (flags & OBJ_TYPE_LOWER_CASE) && (classes & kUpperByte)) ||
            (classes & kUnusualByte) || name[0] == '-')
          type = OBJ_TYPE_UNTYPED;
      }
    }
    out.family = family && type != OBJ_TYPE_UNTYPED;
  }
  out.type = type;
}

void split_tail(std::string_view tail, bool weak, bool case_check, Tail &out) {
  split_tail(tail, tail_marks(tail), weak, case_check, out);
}

// Joins a relative parsed name onto `dir` (the directory itself, or a
// file's parent); on failure the record is reset and the code returned.
[[gnu::noinline]] static int join_relative(vex_file *f, const vex_file *dir) {
  std::string_view device = comp(f, device_idx(f));
  std::string_view path = comp(f, path_idx(f));
  bool drive_relative = !device.empty() && (path.empty() || path[0] != '/');
  int dir_loc = 0;
  if (!drive_relative && pfa_has_location(dir, &dir_loc)) {
    vex_file base;
    init_record(&base);
    if (pfa_is_dir(dir)) {
      std::memcpy(&base, dir, sizeof base);
    } else if (pfa_make_parent(dir, &base) != 0) {
      reset_record(f);
      return PFA_E_INVALID_NAME;
    }
    base.appinfo = nullptr;
    base.stream = nullptr;
    base.flags = 0;
    vex_file joined;
    init_record(&joined);
    int r = join_location(&base, path, &joined);
    if (r != 0) {
      reset_record(f);
      return r;
    }
    std::string rest(f->text + f->ranges[PFA_NAME][0],
                     static_cast<size_t>(text_len(f) - f->ranges[PFA_NAME][0]));
    if (comp_len(&joined, PFA_LOC1) + comp_len(&joined, PFA_LOC2) + comp_len(&joined, PFA_LOC3) +
            static_cast<int>(rest.size()) >
        kMaxName) {
      reset_record(f);
      return PFA_E_INVALID_NAME;
    }
    for (int k = PFA_LOC1; k <= PFA_LOC3; ++k) put_component(f, k, comp(&joined, k));
    f->loc_type = joined.loc_type;
  }
  return 0;
}

namespace {

// The steps after the text is final: the claim, the tail, the join onto
// `dir` and the directory decision, on a freshly reset record. The claim
// sees `claim_len` bytes of `text` (its scan `claim_scan`); the tail is
// split from `text` and its scan.
int parse_text(vex_file *f, const vex_file *dir, std::string_view text, const NameScan &scan,
               const char *claim_text, size_t claim_len, const NameScan *claim_scan, int loc_type,
               int dir_mode, bool strict_case) {
  int32_t saved_loc = f->loc_type;
  int consumed = -1;
  if (claim_scan == &scan && (loc_type == -1 || loc_type == PFA_LOC_STD_FS) &&
      only_builtin_claims()) {
    // Most names: neither a standard stream nor a UNC name, so the
    // standard file system claims them; its plain forms are stored here.
    consumed = claim_plain_std(f, text, scan);
    if (consumed >= 0) f->loc_type = PFA_LOC_STD_FS;
  }
  if (consumed < 0) {
    consumed = 0;
    int result = claim_location(f, claim_text, loc_type, &consumed, claim_scan);
    if (result != 0) {
      f->loc_type = saved_loc;
      return result;
    }
  }
  if (consumed < 0 || static_cast<size_t>(consumed) > claim_len)
    consumed = static_cast<int>(claim_len);

  std::string_view tail = text;
  tail.remove_prefix(static_cast<size_t>(consumed));
  bool is_directory = tail.empty();
  Tail parts;
  bool split = false;
  if (!is_directory) {
    if (dir_mode == 1 || (hide_initial_dot_files() && tail[0] == '.')) {
      parts.name = tail;
    } else {
      split_tail(tail, tail_marks(scan, static_cast<size_t>(consumed)), false, strict_case, parts);
      split = true;
    }
    if (!store_tail(f, parts)) {
      reset_record(f);
      return PFA_E_INVALID_INPUT;
    }
    f->version = static_cast<int16_t>(parts.version);
    if (parts.family) f->flags |= PFA_F_GENERIC_NAME;
  }

  // Relative names join onto the directory (itself, or a file's parent).
  if (valid(dir) && !pfa_path_is_absolute(f)) {
    int r = join_relative(f, dir);
    if (r != 0) return r;
  }

  if (is_directory) {
    f->obj_type = OBJ_TYPE_DIRECTORY;
    return 0;
  }
  if (split) {
    f->obj_type = parts.type;  // the split's type takes precedence
  } else {
    std::string_view stored_name = comp(f, PFA_NAME);
    bool unusual =
        (!stored_name.empty() && stored_name[0] == '.') || name_has_unusual_chars(stored_name);
    pfa_put_extension_to_type(f, static_cast<int>(stored_name.size()), unusual);
  }

  if (dir_mode != 0 && (f->loc_type == PFA_LOC_STD_FS || f->loc_type == PFA_LOC_UNC)) {
    if (dir_mode == 1 || pfaloc_call_F(PFALOC_PfaIsFolder, f) == PFA_E_EXIST)
      pfa_put_obj_type(f, OBJ_TYPE_DIRECTORY);
  }
  return 0;
}

// Names that expansions or the inherited drive rewrite, and names whose
// claim stops at a revision: the rewritten text is parsed as given.
[[gnu::noinline]] int parse_rewritten(vex_file *f, const vex_file *dir, const char *name, size_t n,
                                      int loc_type, int dir_mode, bool strict_case) {
  NameBuf work;
  std::string_view text(name, n);
  if (std::memchr(name, '$', n)) {
    std::string expanded(text);
    if (!expand_variables(expanded)) return PFA_E_INVALID_INPUT;
    work.assign(expanded);
    text = work.view();
  }
  if (n > 0 && name[0] == '~') {
    std::string expanded(text);
    if (!expand_home(expanded)) return PFA_E_INVALID_INPUT;
    work.assign(expanded);
    text = work.view();
  }
  inherit_drive(text, work, dir);
  if (work.overflow() || text.size() > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  NameScan scan(text);

  reset_record(f);
  // The claim sees the text before the first '|' while unusual revision
  // characters are allowed, so that a revision may hold separators.
  NameBuf hidden;
  NameScan hidden_scan;
  const NameScan *claim_scan = &scan;
  const char *claim_text = text.data();  // NUL-terminated: `name` or `work`
  size_t claim_len = text.size();
  if (allow_unusual_revision_chars()) {
    size_t bar = scan.next(NameScan::kBar, 0, text.size());
    if (bar != NameScan::npos) {
      hidden.assign(text.substr(0, bar));
      claim_text = hidden.c_str();
      claim_len = bar;
      hidden_scan = scan;
      hidden_scan.len = bar;
      claim_scan = &hidden_scan;
    }
  }
  return parse_text(f, dir, text, scan, claim_text, claim_len, claim_scan, loc_type, dir_mode,
                    strict_case);
}

}  // namespace

int parse_full(vex_file *f, const vex_file *dir, const char *name, int loc_type, int dir_mode,
               bool strict_case) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!name || f == cur_dir_if_made()) return PFA_E_INVALID_INPUT;
  size_t n = std::strlen(name);
  if (n > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  if (loc_type < -1 || loc_type >= PFA_LOC_TYPE_COUNT) return PFA_E_INVALID_INPUT;
  // One scan of the name serves the claim and the tail.
  std::string_view text(name, n);
  NameScan scan(text);
  if (scan.any(NameScan::kDollar) || (n > 0 && name[0] == '~') ||
      !inherited_drive(text, dir).empty() ||
      (allow_unusual_revision_chars() && scan.any(NameScan::kBar)))
    return parse_rewritten(f, dir, name, n, loc_type, dir_mode, strict_case);
  reset_record(f);
  return parse_text(f, dir, text, scan, name, n, &scan, loc_type, dir_mode, strict_case);
}

}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int set_allow_unusual_revision_characters(int flag) { return g_allow_unusual_rev.exchange(flag); }
int set_hide_initial_dot_files(int flag) { return g_hide_dot_files.exchange(flag); }

int pfa_parse_to_vex_file(vex_file *f, const char *name) {
  return parse_full(f, nullptr, name, -1, 2, false);
}
int pfa_parse_to_vex_file_in_dir(vex_file *f, const vex_file *dir, const char *name) {
  return parse_full(f, dir, name, -1, 2, false);
}
int parse_to_pfa(vex_file *f, int loc_type, const char *name) {
  return parse_full(f, nullptr, name, loc_type, 0, false);
}
int parse_to_pfa_dirstat(vex_file *f, int loc_type, const char *name, int dir_mode,
                         int strict_case) {
  return parse_full(f, nullptr, name, loc_type, dir_mode, strict_case != 0);
}

int pfa_parse_filename_tail(const char *full, char *dir_out, char *name_out, char *ext_out,
                            char *rev_out, int *version, int32_t *type, int *family,
                            int dir_if_trailing) {
  auto put = [](char *out, std::string_view s) {
    if (out) {
      copy_bytes(out, s.data(), s.size());
      out[s.size()] = 0;
    }
  };
  put(dir_out, {});
  put(name_out, {});
  put(ext_out, {});
  put(rev_out, {});
  if (version) *version = 0;
  if (type) *type = OBJ_TYPE_UNTYPED;
  if (family) *family = 0;
  if (!full) return PFA_E_INVALID_INPUT;
  std::string_view s(full);
  if (s.size() > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  // The '|' of a revision ends the directory search, so that a revision may
  // hold separators only while unusual revision characters are allowed.
  std::string_view searched = s;
  if (allow_unusual_revision_chars()) searched = s.substr(0, s.find('|'));
  size_t cut = searched.size();  // one past the last separator, 0 without one
  while (cut > 0 && !is_sep(searched[cut - 1])) --cut;
  std::string_view tail = s.substr(cut);
  put(dir_out, s.substr(0, cut));
  if (tail.empty()) {
    if (dir_if_trailing && type) *type = OBJ_TYPE_DIRECTORY;
    return 0;
  }
  Tail parts;
  if (hide_initial_dot_files() && tail[0] == '.') {
    parts.name = tail;
  } else {
    split_tail(tail, false, false, parts);
  }
  put(name_out, parts.name);
  put(ext_out, parts.ext);
  put(rev_out, parts.rev);
  if (version) *version = parts.version;
  if (type) *type = parts.type;
  if (family) *family = parts.family;
  return 0;
}

}  // extern "C"
