// The object-type table: the live records, the indexes by code and by
// extension, the per-type accessors and registration at run time.
#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/memory.h"
#include "keelwork/objtype.h"
#include "pfa/objtype_internal.h"

namespace kw::pfa {
namespace {

constexpr ObjTypeRow kStaticRows[] = {
#include "pfa/objtype_table.inc"
};

constexpr bool codes_below_dynamic_base() {
  for (const ObjTypeRow &row : kStaticRows)
    if (row.type >= OBJ_TYPE_DYNAMIC_BASE) return false;
  return true;
}
constexpr bool extensions_fit() {
  for (const ObjTypeRow &row : kStaticRows)
    if (std::char_traits<char>::length(row.extension) >= OBJ_TYPE_EXT_SIZE) return false;
  return true;
}
static_assert(std::size(kStaticRows) == 416, "the static table holds 416 types");
static_assert(codes_below_dynamic_base(), "a static type lies in the dynamic range");
static_assert(extensions_fit(), "a static extension is too long for the index");
static_assert(kStaticRows[std::size(kStaticRows) - 1].type == OBJ_TYPE_ALL_FILE,
              "the All File row closes the table");

bool code_less(const TypeRecord *a, const TypeRecord *b) { return a->type < b->type; }

constexpr bool codes_unique() {
  for (size_t i = 0; i < std::size(kStaticRows); ++i)
    for (size_t j = i + 1; j < std::size(kStaticRows); ++j)
      if (kStaticRows[i].type == kStaticRows[j].type) return false;
  return true;
}
// The record found by an extension is then the record of its code too,
// which lets a parse read the type's rules from the record it looked up.
static_assert(codes_unique(), "two static rows share a code");

// Up to 8 bytes of `s` packed into a word (byte i in bits 8i.., zero past
// n) with the ASCII letters upper-cased; reads only s[0, n).
[[gnu::always_inline]] inline uint64_t packed_upper(const char *s, size_t n) {
  uint64_t x = 0;
  if (n >= 8) {
    std::memcpy(&x, s, 8);
  } else if (n >= 4) {
    uint32_t lo, hi;  // overlapping halves: the shared bytes are the same
    std::memcpy(&lo, s, 4);
    std::memcpy(&hi, s + n - 4, 4);
    x = lo | uint64_t{hi} << (8 * (n - 4));
  } else if (n >= 2) {
    uint16_t lo, hi;
    std::memcpy(&lo, s, 2);
    std::memcpy(&hi, s + n - 2, 2);
    x = lo | uint64_t{hi} << (8 * (n - 2));
  } else if (n == 1) {
    x = static_cast<unsigned char>(s[0]);
  }
  // Eight bytes at once: the top bit of each byte of `lower` is set for
  // 'a'..'z' (seven-bit sums never carry into the next byte).
  constexpr uint64_t kOnes = 0x0101010101010101u;
  const uint64_t seven = x & (0x7F * kOnes);
  const uint64_t lower = (seven + 0x1F * kOnes) & ~(seven + 0x05 * kOnes) & ~x & (0x80 * kOnes);
  return x ^ (lower >> 2);  // 0x20 off each lower-case letter
}

// The index key of an extension: its first 8 bytes upper-cased and a hash
// of all of them (upper-cased), compared before the bytes past the eighth.
struct ExtKey {
  uint64_t head;
  uint32_t hash;
};

[[gnu::always_inline]] inline ExtKey ext_key(std::string_view ext) {
  constexpr uint64_t kMix = 0x9E3779B97F4A7C15u;
  uint64_t head = packed_upper(ext.data(), ext.size() < 8 ? ext.size() : 8);
  uint64_t acc = (head ^ ext.size()) * kMix;
  for (size_t at = 8; at < ext.size(); at += 8)
    acc = (acc ^ packed_upper(ext.data() + at, ext.size() - at < 8 ? ext.size() - at : 8)) * kMix;
  return {head, static_cast<uint32_t>(acc >> 32)};
}

// Whether `ext` upper-cased is `key` past their first 8 bytes.
bool same_tail(std::string_view ext, const char *key) {
  for (size_t i = 8; i < ext.size(); ++i) {
    char c = ext[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != key[i]) return false;
  }
  return true;
}

uint32_t code_hash(int32_t type) { return static_cast<uint32_t>(type) * 2654435769u; }

class Table {
 public:
  Table() {
    for (const ObjTypeRow &row : kStaticRows) {
      // Codes from the dynamic base up belong to registration; the static
      // assertion keeps the data right, this keeps a patched table honest.
      if (row.type >= OBJ_TYPE_DYNAMIC_BASE) {
        dbg_crash_msg("obj_type_table", "dynamic base %d < static type %d", OBJ_TYPE_DYNAMIC_BASE,
                      row.type);
        crash();
      }
      TypeRecord record{row.type,     row.extension,      row.label, row.name_length,
                        row.spg_mode, row.name_list_type, row.icon,  row.ugc_type,
                        row.author,   row.flags,          row.type,  {}};
      make_key(row.extension, record.key);
      records_.push_back(record);
    }
    all_file_ = &records_.back();
    reindex();
  }

  const TypeRecord *find(int32_t type) const {
    for (uint32_t i = code_hash(type) >> shift_;; i = (i + 1) & mask_) {
      const CodeSlot &s = by_code_[i];
      if (!s.record || s.type == type) return s.record;
    }
  }

  // The first record in table order whose key is `ext` upper-cased; null
  // for an unknown or overlong extension.
  const TypeRecord *find_extension(std::string_view ext) const {
    if (ext.size() >= OBJ_TYPE_EXT_SIZE) return nullptr;
    const ExtKey key = ext_key(ext);
    for (uint32_t i = key.hash & mask_;; i = (i + 1) & mask_) {
      const ExtSlot &s = by_ext_[i];
      if (!s.record) return nullptr;
      if (s.hash == key.hash && s.head == key.head && s.length == ext.size() &&
          (ext.size() <= 8 || same_tail(ext, s.record->key)))
        return s.record;
    }
  }

  const TypeRecord &all_file() const { return *all_file_; }
  std::deque<TypeRecord> &records() { return records_; }
  TypeRecord *mutable_find(int32_t type) { return const_cast<TypeRecord *>(find(type)); }

  TypeRecord &add(const TypeRecord &record) {
    records_.push_back(record);
    reindex();
    return records_.back();
  }

  int32_t next_dynamic_code() { return ++last_dynamic_; }

  // Both indexes from the records in table order, the first of equal codes
  // or keys winning; records without an extension are not in the extension
  // index, except "All File". The match types follow the extensions as they
  // now stand.
  void reindex() {
    uint32_t slots = 16;
    while (slots < 2 * records_.size()) slots *= 2;
    mask_ = slots - 1;
    shift_ = static_cast<uint32_t>(32 - std::countr_zero(slots));
    by_code_.assign(slots, CodeSlot{});
    by_ext_.assign(slots, ExtSlot{});
    for (const TypeRecord &r : records_) {
      uint32_t i = code_hash(r.type) >> shift_;
      while (by_code_[i].record && by_code_[i].type != r.type) i = (i + 1) & mask_;
      if (!by_code_[i].record) by_code_[i] = {r.type, &r};
      if (!r.key[0] && &r != all_file_) continue;
      std::string_view key(r.key);
      const ExtKey k = ext_key(key);
      for (i = k.hash & mask_; by_ext_[i].record; i = (i + 1) & mask_)
        if (by_ext_[i].hash == k.hash && by_ext_[i].record->key == key) break;
      if (!by_ext_[i].record) by_ext_[i] = {k.hash, static_cast<uint32_t>(key.size()), k.head, &r};
    }
    for (TypeRecord &r : records_) {
      const TypeRecord *match = (r.flags & kUnmatchable) ? nullptr : find_extension(r.key);
      const int32_t looked_up = match ? match->type : OBJ_TYPE_NO_TYPE;
      r.ext_match_type = !match || (looked_up == OBJ_TYPE_ALL_FILE && r.type != OBJ_TYPE_ALL_FILE)
                             ? r.type
                             : looked_up;
    }
  }

 private:
  struct CodeSlot {
    int32_t type = 0;
    const TypeRecord *record = nullptr;
  };
  struct ExtSlot {
    uint32_t hash = 0;
    uint32_t length = 0;
    uint64_t head = 0;  // the key's first 8 bytes
    const TypeRecord *record = nullptr;
  };

  std::deque<TypeRecord> records_;  // table order; addresses never move
  // Open addressing with linear probing, at most half full.
  std::vector<CodeSlot> by_code_;
  std::vector<ExtSlot> by_ext_;
  uint32_t mask_ = 0;
  uint32_t shift_ = 0;
  const TypeRecord *all_file_ = nullptr;
  int32_t last_dynamic_ = OBJ_TYPE_DYNAMIC_BASE;
};

// Built on first use and never destroyed: lookups stay valid in exit
// handlers, and the texts registered at run time stay reachable.
Table &table() {
  static Table *instance = new Table;
  return *instance;
}

bool g_vex_flag = false;

uint32_t flags_of(int32_t type) { return record_of(type).flags; }

// An extension that names, filters and dialogs can carry.
bool valid_extension(const char *ext) {
  size_t n = std::strlen(ext);
  if (n == 0 || n >= OBJ_TYPE_EXT_SIZE) return false;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(ext); *p; ++p)
    if (*p <= ' ' || std::strchr(".\\/*?,{}|\"<>:", *p)) return false;
  return true;
}

// A copy in a block of the memory manager, upper-cased when asked.
char *owned_copy(const char *text, bool upper) {
  size_t n = std::strlen(text);
  char *copy = static_cast<char *>(getmem(n + 1));
  for (size_t i = 0; i <= n; ++i) {
    char c = text[i];
    copy[i] = upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return copy;
}

}  // namespace

const TypeRecord *exact_record(int32_t type) { return table().find(type); }

const TypeRecord &record_of(int32_t type) {
  const TypeRecord *r = exact_record(type);
  return r ? *r : table().all_file();
}

bool make_key(const char *ext, char *key) {
  size_t i = 0;
  for (; ext[i]; ++i) {
    if (i + 1 >= OBJ_TYPE_EXT_SIZE) {
      key[0] = 0;
      return false;
    }
    char c = ext[i];
    key[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  key[i] = 0;
  return true;
}

int32_t type_of_key(const char *key) {
  const TypeRecord *r = table().find_extension(key);
  return r ? r->type : OBJ_TYPE_NO_TYPE;
}

const TypeRecord *extension_record(std::string_view ext) { return table().find_extension(ext); }

}  // namespace kw::pfa

using kw::pfa::record_of;

// ---- per-type fields -------------------------------------------------------------------------

KW_API const char *type_to_extension(int32_t type) { return record_of(type).extension; }

KW_API const kw_wchar *object_extension(int32_t type) {
  thread_local kw_wchar buffer[OBJ_TYPE_EXT_SIZE];
  type_to_extension_wbuff(type, buffer);
  return buffer;
}

KW_API int type_to_extension_wbuff(int32_t type, kw_wchar *wbuf) {
  if (!wbuf) return 0;
  const kw::pfa::TypeRecord *r = kw::pfa::exact_record(type);
  if (!r || btkStrUtf8ToUtf16(r->extension, -1, wbuf, OBJ_TYPE_EXT_SIZE, nullptr) < 0) {
    wbuf[0] = 0;
    return 0;
  }
  return 1;
}

KW_API const char *get_db_type_label(int32_t type) { return record_of(type).label; }
KW_API int32_t type_to_name_length(int32_t type) { return record_of(type).name_length; }
KW_API int32_t type_to_spg_mode(int32_t type) { return record_of(type).spg_mode; }
KW_API int32_t type_to_name_list_type(int32_t type) { return record_of(type).name_list_type; }
KW_API int32_t find_ugc_type_from_db_type(int32_t type) { return record_of(type).ugc_type; }
KW_API int32_t type_to_authoring_app(int32_t type) { return record_of(type).author; }

KW_API int is_basalt_application_type(int32_t type) {
  return record_of(type).author == kw::pfa::kAuthorBasalt;
}

KW_API int is_valid_dbtype(int32_t type) { return kw::pfa::exact_record(type) != nullptr; }

KW_API int is_runtime_file_type(int32_t type) {
  return type >= OBJ_TYPE_DYNAMIC_BASE && is_valid_dbtype(type);
}

KW_API int type_to_mixed_case_OK(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_LOWER_CASE) == 0;
}
KW_API int type_to_weird_chars_OK(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_WEIRD_CHARS) != 0;
}
KW_API int is_nonkst_import_type(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_IMPORT) != 0;
}
KW_API int type_needs_special_dialog_filtering(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_DIALOG_FILTERING) != 0;
}
KW_API int type_has_unmatchable_ext(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_UNMATCHABLE_EXT) != 0;
}
KW_API int type_no_ext_append_to_label(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_NO_EXT_IN_LABEL) != 0;
}
KW_API int type_dont_translate_label(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_DONT_TRANSLATE) != 0;
}
KW_API int type_has_subtypes(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_SUBTYPES) != 0;
}
KW_API int type_allows_family_names(int32_t type) {
  return (kw::pfa::flags_of(type) & OBJ_TYPE_FAMILY_NAMES) != 0;
}

KW_API const char *type_to_icon_name(int32_t type, int want_default) {
  const kw::pfa::TypeRecord &r = record_of(type);
  if (r.icon || !want_default) return r.icon;
  return (r.flags & OBJ_TYPE_IMPORT) ? "generic_nonkst" : "generic_kst";
}

KW_API int32_t type_to_ext_match_type(int32_t type) { return record_of(type).ext_match_type; }

// ---- reverse lookups ----------------------------------------------------------------------------

KW_API int32_t extension_to_type(const char *ext) {
  if (!ext) return OBJ_TYPE_NO_TYPE;
  size_t n = 0;
  while (n < OBJ_TYPE_EXT_SIZE && ext[n]) ++n;  // a longer text is no extension
  const kw::pfa::TypeRecord *r = kw::pfa::extension_record(std::string_view(ext, n));
  return r ? r->type : OBJ_TYPE_NO_TYPE;
}

KW_API int32_t ext_to_type(const kw_wchar *wext) {
  char ext[4 * OBJ_TYPE_EXT_SIZE];
  if (!wext || btkStrUtf16ToUtf8(wext, -1, ext, sizeof ext, nullptr) < 0) return OBJ_TYPE_NO_TYPE;
  return extension_to_type(ext);
}

KW_API int32_t type_label_to_type(const char *label) {
  if (!label) return -1;
  // Code order: the lowest code with that label wins.
  std::vector<const kw::pfa::TypeRecord *> matches;
  for (const kw::pfa::TypeRecord &r : kw::pfa::table().records())
    if (btk_strcasecmp(r.label, label) == 0) matches.push_back(&r);
  if (matches.empty()) return -1;
  return (*std::min_element(matches.begin(), matches.end(), kw::pfa::code_less))->type;
}

KW_API int32_t spg_mode_to_type(int32_t mode) {
  for (const kw::pfa::TypeRecord &r : kw::pfa::table().records())
    if (r.spg_mode == mode) return r.type;
  return -1;
}

// ---- registration
// ---------------------------------------------------------------------------------

KW_API int32_t add_obj_type(const kw_wchar *wext, const kw_wchar *wlabel, int is_import) {
  static const char where[] = "add_obj_type";
  if (!wext || !wlabel) {
    dbg_err_crash(where, "invalid input");
    return -1;
  }
  char *ext = btkStrUtf16ToUtf8Alloc(wext, -1, nullptr);
  char *label = btkStrUtf16ToUtf8Alloc(wlabel, -1, nullptr);
  if (!ext || !label) {
    dbg_err_crash(where, "string conversion failed");
    rlsmem(ext);
    rlsmem(label);
    return -1;
  }
  if (!kw::pfa::valid_extension(ext)) {
    dbg_err_crash(where, "invalid input");
    rlsmem(ext);
    rlsmem(label);
    return -1;
  }
  char *upper = kw::pfa::owned_copy(ext, true);
  rlsmem(ext);
  if (extension_to_type(upper) != OBJ_TYPE_NO_TYPE) {
    dbg_print_info(where, "extension %ws in use", wext);
    rlsmem(upper);
    rlsmem(label);
    return -1;
  }
  kw::pfa::Table &t = kw::pfa::table();
  const uint32_t flags = OBJ_TYPE_WEIRD_CHARS | OBJ_TYPE_OWNED_EXTENSION | OBJ_TYPE_DONT_TRANSLATE |
                         OBJ_TYPE_OWNED_LABEL | (is_import ? OBJ_TYPE_IMPORT : 0);
  const int32_t code = t.next_dynamic_code();
  kw::pfa::TypeRecord record{code,  upper, label, 260, -1, -1, nullptr, 0, kw::pfa::kAuthorNone,
                             flags, code,  {}};
  kw::pfa::make_key(upper, record.key);
  t.add(record);
  return code;
}

KW_API int notify_extension_changed(int32_t type, const char *ext, const char *label,
                                    int translate) {
  static const char where[] = "notify_extension_changed";
  kw::pfa::Table &t = kw::pfa::table();
  kw::pfa::TypeRecord *r = t.mutable_find(type);
  if (!r || !ext || !kw::pfa::valid_extension(ext)) {
    dbg_err_crash(where, "invalid input");
    return -1;
  }
  if (r->flags & OBJ_TYPE_OWNED_EXTENSION) rlsmem(const_cast<char *>(r->extension));
  r->extension = kw::pfa::owned_copy(ext, true);
  r->flags |= OBJ_TYPE_OWNED_EXTENSION;
  kw::pfa::make_key(r->extension, r->key);
  if (label) {
    if (r->flags & OBJ_TYPE_OWNED_LABEL) rlsmem(const_cast<char *>(r->label));
    r->label = kw::pfa::owned_copy(label, false);
    r->flags |= OBJ_TYPE_OWNED_LABEL;
    if (translate)
      r->flags &= ~OBJ_TYPE_DONT_TRANSLATE;
    else
      r->flags |= OBJ_TYPE_DONT_TRANSLATE;
  }
  t.reindex();
  return 0;
}

KW_API int relax_non_vexe_filename_restrictions(void) {
  if (kw::pfa::g_vex_flag) {
    dbg_err_crash("relax_non_vexe_filename_restrictions", "not for vexe!");
    return -1;
  }
  for (kw::pfa::TypeRecord &r : kw::pfa::table().records()) {
    if (r.name_list_type != -1) continue;
    r.flags = (r.flags | OBJ_TYPE_WEIRD_CHARS) & ~OBJ_TYPE_LOWER_CASE;
    r.name_length = 260;
  }
  return 0;
}

KW_API int access_objextension_vex_flag(int set, int value) {
  if (set) kw::pfa::g_vex_flag = value != 0;
  return kw::pfa::g_vex_flag ? 1 : 0;
}

// ---- consistency checks
// ------------------------------------------------------------------------------

KW_API int obj_type_verify_namelist_ids(const int32_t *types, const int32_t *namelist_ids, int n) {
  int differences = 0;
  for (int i = 0; types && namelist_ids && i < n; ++i) {
    const int32_t ours = record_of(types[i]).name_list_type;
    if (ours == namelist_ids[i]) continue;
    dbg_crash_msg("obj_type_verify_namelist_ids", "namelist %d != %d for type %d", ours,
                  namelist_ids[i], types[i]);
    ++differences;
  }
  return differences;
}

KW_API int obj_type_verify_ugc_types(const int32_t *types, const int32_t *ugc_types, int n) {
  int differences = 0;
  for (int i = 0; types && ugc_types && i < n; ++i) {
    const int32_t ours = record_of(types[i]).ugc_type;
    if (ours == ugc_types[i]) continue;
    dbg_crash_msg("obj_type_verify_ugc_types", "ugc type %d != %d for type %d", ours, ugc_types[i],
                  types[i]);
    ++differences;
  }
  return differences;
}
