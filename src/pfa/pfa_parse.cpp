// Parsing a full name into a record: variable and home expansion, drive
// inheritance, the location claim, the tail grammar (name, extension,
// versions, family names), relative joins and the directory decision.
#include <array>
#include <atomic>
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
void inherit_drive(std::string_view &text, NameBuf &work, const vex_file *dir) {
  if (text.empty() || !is_sep(text[0]) || (text.size() > 1 && is_sep(text[1]))) return;
  const vex_file *from = dir;
  if (!valid(from)) {
    // The current-directory record is made once and never replaced;
    // holding it here spares its once-guard on every name.
    static const vex_file *const cur_dir = cur_dir_record();
    from = cur_dir;
  }
  if (!valid(from) || from->loc_type != PFA_LOC_STD_FS) return;
  std::string_view device = comp(from, device_idx(from));
  if (device.empty() || device == "/") return;
  if (text.data() != work.c_str()) work.assign(text);
  work.prepend(":");
  work.prepend(device);
  text = work.view();
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

bool is_upper_ascii(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

bool allow_unusual_revision_chars() { return g_allow_unusual_rev.load() != 0; }
bool hide_initial_dot_files() { return g_hide_dot_files.load() != 0; }

bool parse_version(std::string_view s, int *version) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && s[i] == '-') {
    negative = true;
    ++i;
  }
  if (i >= s.size() || s[i] < '1' || s[i] > '9') return false;
  long value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
    if (value > 32768) return false;
  }
  if (negative) value = -value;
  if (value > 32767 || value < -32768) return false;
  if (version) *version = static_cast<int>(value);
  return true;
}

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

void split_tail(std::string_view tail, bool weak, bool case_check, Tail &out) {
  Tail parts;  // built here and stored once
  std::string_view part = tail;
  size_t bar = tail.find('|');
  if (bar != std::string_view::npos) {
    size_t last = tail.rfind('|');
    if (last != bar) {
      dbg_err_crash("parse_name_ext_vers", "not expecting two");
      bar = last;
    }
    part = tail.substr(0, bar);
    parts.rev = tail.substr(bar + 1);
  } else {
    size_t dot = part.rfind('.');
    int v = 0;
    if (dot != std::string_view::npos && parse_version(part.substr(dot + 1), &v)) {
      parts.version = v;
      part = part.substr(0, dot);
    }
  }
  size_t dot = part.rfind('.');
  if (dot != std::string_view::npos) {
    parts.name = part.substr(0, dot);
    parts.ext = part.substr(dot + 1);
  } else {
    parts.name = part;
  }
  // The record of the extension's type carries the rules for the name.
  const TypeRecord *record = parts.name.empty() ? nullptr : extension_record(parts.ext);
  int32_t type = record ? record->type : OBJ_TYPE_NO_TYPE;
  if (type == OBJ_TYPE_ALL_FILE || type == OBJ_TYPE_NO_TYPE || type == OBJ_TYPE_DIRECTORY)
    type = OBJ_TYPE_UNTYPED;
  if (type != OBJ_TYPE_UNTYPED && !weak) {
    std::string_view name = parts.name;
    bool family = (record->flags & OBJ_TYPE_FAMILY_NAMES) && is_family_form(name);
    int length = static_cast<int>(name.size());
    if (length >= 32 && length >= record->name_length) type = OBJ_TYPE_UNTYPED;
    if (type != OBJ_TYPE_UNTYPED && !(record->flags & OBJ_TYPE_WEIRD_CHARS)) {
      if (case_check && (record->flags & OBJ_TYPE_LOWER_CASE)) {
        for (char c : name)
          if (is_upper_ascii(c)) type = OBJ_TYPE_UNTYPED;
      }
      if (family) {
        size_t lt = name.find('<');
        if (name_has_unusual_chars(name.substr(0, lt)) ||
            name_has_unusual_chars(name.substr(lt + 1, name.size() - lt - 2)))
          type = OBJ_TYPE_UNTYPED;
      } else if (name_has_unusual_chars(name)) {
        type = OBJ_TYPE_UNTYPED;
      }
    }
    parts.family = family && type != OBJ_TYPE_UNTYPED;
  }
  parts.type = type;
  out = parts;
}

int parse_full(vex_file *f, const vex_file *dir, const char *name, int loc_type, int dir_mode,
               bool strict_case) {
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!name || f == cur_dir_if_made()) return PFA_E_INVALID_INPUT;
  size_t n = std::strlen(name);
  if (n > static_cast<size_t>(kMaxName)) return PFA_E_INVALID_INPUT;
  if (loc_type < -1 || loc_type >= PFA_LOC_TYPE_COUNT) return PFA_E_INVALID_INPUT;
  // The text as given, or as the rare expansions rewrote it into `work`.
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

  reset_record(f);
  int32_t saved_loc = f->loc_type;

  // The claim sees the text before the first '|' while unusual revision
  // characters are allowed, so that a revision may hold separators.
  NameBuf hidden;
  const char *claim_text = text.data();  // NUL-terminated: `name` or `work`
  size_t claim_len = text.size();
  if (allow_unusual_revision_chars()) {
    size_t bar = text.find('|');
    if (bar != std::string_view::npos) {
      hidden.assign(text.substr(0, bar));
      claim_text = hidden.c_str();
      claim_len = bar;
    }
  }
  int consumed = 0;
  int result = claim_location(f, claim_text, loc_type, &consumed);
  if (result != 0) {
    f->loc_type = saved_loc;
    return result;
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
      split_tail(tail, false, strict_case, parts);
      split = true;
    }
    if (put_components(f, PFA_NAME, parts.name, parts.ext, parts.rev)) {
      reset_record(f);
      return PFA_E_INVALID_INPUT;
    }
    f->version = static_cast<int16_t>(parts.version);
    if (parts.family) f->flags |= PFA_F_GENERIC_NAME;
  }

  // Relative names join onto the directory (itself, or a file's parent).
  if (valid(dir) && !pfa_path_is_absolute(f)) {
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
