// Internal parts of the file object: component access, the layer's
// first-use set-up, the parser and formatter pieces the location types
// share, and the operating-system calls of the built-in file systems.
#ifndef KW_PFA_PFA_INTERNAL_H
#define KW_PFA_PFA_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "keelwork/pfa.h"
#include "runtime/bytemask.h"
#include "runtime/fsys_internal.h"

// The stream record of an open file (zeroed when made, released by
// close). The handle comes first, so a substitute vex_file is found in the
// record's first word; the read state serves transcoding reads and the
// bytes held back from the caller (a byte-order mark's neighbours, the
// start of a character cut by the end of a line buffer).
struct pfa_stream {
  void *handle;
  void *file_converter;     // btkUConv of the file's encoding, or null
  void *session_converter;  // btkUConv of the session encoding, or null
  int32_t encoding_decided;
  int32_t file_encoding;
  int32_t raw;
  int32_t bom_length;
  // Read state of transcoding streams: raw bytes of the file, the pivot
  // and the decoded session bytes not yet delivered.
  char *in_buf;            // kStreamInSize bytes
  kw_wchar *pivot;         // kStreamPivotUnits units
  char *out_buf;           // kStreamOutSize bytes
  int32_t in_pos, in_end;  // undecoded raw bytes
  int32_t out_pos, out_end;
  int64_t raw_next;      // file offset just past the raw bytes read
  int64_t batch_offset;  // file offset of the bytes out_buf was decoded from
  int32_t at_end;        // the location reported the end of the file
  // Bytes read but held back, delivered before anything else.
  int32_t carry_len;
  unsigned char carry[8];
  // How the file was opened: kStreamRead, kStreamWrite, ... bits.
  int32_t open_mode;
};

namespace kw::pfa {

inline constexpr int kStreamInSize = 2050;
inline constexpr int kStreamPivotUnits = 2050;  // 4100 bytes
inline constexpr int kStreamOutSize = 4 * kStreamInSize + 16;
inline constexpr int kStreamRead = 1;
inline constexpr int kStreamWrite = 2;
inline constexpr int kStreamAppend = 4;
inline constexpr int kStreamUpdate = 8;     // '+'
inline constexpr int kStreamFromRead = 16;  // the mode began with 'r'
inline constexpr int kStreamRemote = 32;    // counted among the remote files
inline constexpr int kStreamPreset = 64;    // file_encoding fixed by the open
inline constexpr int kStreamStdio = 128;    // a standard stream

// Sets up the stream services once, with the layer: the text and
// diagnostics seams.
void setup_streams();
// The stream methods of the standard file system and the standard streams.
void register_std_stream_methods(int loc_type);
void register_stdio_stream_methods(int loc_type);

}  // namespace kw::pfa

namespace kw::pfa {

inline constexpr int kNameSize = PFA_NAME_SIZE;
inline constexpr int kMaxName = PFA_NAME_SIZE - 1;
inline constexpr int kComponentSize = PFA_COMPONENT_SIZE;

// A name being built: fixed room for twice a full name on the stack, so
// that parsing and formatting allocate nothing. Appends that do not fit set
// the overflow mark and leave the text as it was.
class NameBuf {
 public:
  static constexpr size_t kCap = 2 * PFA_NAME_SIZE;
  NameBuf() { d_[0] = 0; }
  explicit NameBuf(std::string_view s) : NameBuf() { append(s); }
  NameBuf(const NameBuf &) = delete;
  NameBuf &operator=(const NameBuf &) = delete;

  bool append(std::string_view s) {
    if (n_ + s.size() >= kCap) return overflow_ = true, false;
    if (!s.empty()) __builtin_memcpy(d_ + n_, s.data(), s.size());
    n_ += s.size();
    d_[n_] = 0;
    return true;
  }
  bool push(char c) {
    if (n_ + 1 >= kCap) return overflow_ = true, false;
    d_[n_++] = c;
    d_[n_] = 0;
    return true;
  }
  bool prepend(std::string_view s) {
    if (n_ + s.size() >= kCap) return overflow_ = true, false;
    __builtin_memmove(d_ + s.size(), d_, n_ + 1);
    if (!s.empty()) __builtin_memcpy(d_, s.data(), s.size());
    n_ += s.size();
    return true;
  }
  void assign(std::string_view s) {
    clear();
    append(s);
  }
  void clear() {
    n_ = 0;
    d_[0] = 0;
    overflow_ = false;
  }
  void resize(size_t n) {
    if (n < n_) n_ = n, d_[n_] = 0;
  }
  std::string_view view() const { return std::string_view(d_, n_); }
  operator std::string_view() const { return view(); }
  const char *c_str() const { return d_; }
  char *data() { return d_; }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  char back() const { return n_ ? d_[n_ - 1] : 0; }
  char operator[](size_t i) const { return d_[i]; }
  bool overflow() const { return overflow_; }
  // After writing into data() directly.
  void sync() {
    const void *nul = __builtin_memchr(d_, 0, kCap - 1);
    n_ = nul ? static_cast<size_t>(static_cast<const char *>(nul) - d_) : kCap - 1;
    d_[n_] = 0;
  }
  // After writing `n` bytes into data() directly.
  void set_size(size_t n) {
    n_ = n < kCap ? n : kCap - 1;
    d_[n_] = 0;
  }

 private:
  char d_[kCap];
  size_t n_ = 0;
  bool overflow_ = false;
};

// memcpy that accepts the null data of an empty string_view.
inline void copy_bytes(void *dst, const void *src, size_t n) {
  if (n) __builtin_memcpy(dst, src, n);
}

inline bool valid(const vex_file *f) { return f && f->magic == PFA_MAGIC; }
inline int comp_len(const vex_file *f, int k) { return f->ranges[k][1] - f->ranges[k][0]; }
inline std::string_view comp(const vex_file *f, int k) {
  return std::string_view(f->text + f->ranges[k][0], static_cast<size_t>(comp_len(f, k)));
}
inline int text_len(const vex_file *f) { return f->ranges[PFA_ITER][1]; }

// The index of the component holding the device, host and path for the
// file's location type (0, 1, 2 by default).
int device_idx(const vex_file *f);
int host_idx(const vex_file *f);
int path_idx(const vex_file *f);

// Bit t set: location type t is registered and claims names; and its
// claim method.
uint32_t claim_mask();
pfaloc_method claim_method(int t);
// Changes whenever a slot of any type changes.
uint32_t registry_generation();
// The method in `slot` of type `t` (both in range), or null.
pfaloc_method slot_method(int t, int slot);

// Sets the layer up once: locks, built-in location types, record pool.
void ensure_layer();
// Initial state, keeping nothing (no hooks run).
void init_record(vex_file *f);
// Calls the location's PfaFree and releases the attachments.
void release_attachments(vex_file *f);
// Empties `f` to the initial state after releasing what it holds.
void reset_record(vex_file *f);
// The current-directory record (owned by the layer), or null when the
// process has none.
vex_file *cur_dir_record();
// The same without making it.
vex_file *cur_dir_if_made();

// Raw component replacement (no checks but the length): 0 or 9.
int put_component(vex_file *f, int k, std::string_view s);
// put_component for the group of three from `first` (the location, or
// name, extension and string version) in turn, stopping at the first
// refusal; one copy when the group and all after it are empty, as while a
// parse fills a record in order.
int put_components(vex_file *f, int first, std::string_view a, std::string_view b,
                   std::string_view c);

// Backslashes to '/', "." segments dropped, a final '/' ensured.
void normalize_path(std::string_view in, NameBuf &out);
// The same into `w`: the length written, or npos when it needs more than
// `room` bytes (no terminator is written). `first_dot` is where the first
// '.' of `in` is, or npos for none, when the caller knows.
size_t normalize_path_to(std::string_view in, char *w, size_t room, size_t first_dot = 0);
// Where the bytes the parser looks for lie in a full name, found in one
// pass; `len` is the length of the text scanned.
struct NameScan : runtime::ByteMasks<5, (PFA_NAME_SIZE + 63) / 64> {
  enum : size_t { kSep /* '/' or '\\' */, kDot, kColon, kBar, kDollar };
  NameScan() = default;
  explicit NameScan(std::string_view s) { rescan(s); }
  void rescan(std::string_view s) {
    static constexpr char kWanted[5] = {'/', '.', ':', '|', '$'};
    scan(s.data(), s.size(), kWanted, '\\');
  }
};

// Offers `text` to the registered location types (15 down to 1, or only
// `loc_type`); the first that answers 0 has stored components 0..2 and set
// `loc_type`. The last refusal's code otherwise, with loc_type restored.
// `scan`, when given, is the scan of exactly `text`.
int claim_location(vex_file *f, const char *text, int loc_type, int *consumed,
                   const NameScan *scan = nullptr);
// The standard file system's claim method, and the claim itself on a
// scanned text.
pfaloc_method std_claim_method();
// Whether the claiming types are the three built-in ones as registered.
bool only_builtin_claims();
// The standard file system's claim of a name that only it can claim and
// that has no host, named device or neutral form: the same components as
// the full claim, stored into a freshly reset record. The length consumed,
// or -1 for a name the full claim must take.
int claim_plain_std(vex_file *f, std::string_view text, const NameScan &scan);
// The location string of a standard file system record whose printer is
// the built-in one, appended to `out` without calling through the table;
// false (nothing appended) for records it leaves to the method: a host or
// the all-drives location.
bool std_location_plain(const vex_file *f, NameBuf &out);
// Whether the standard file system prints its locations with the built-in
// method.
bool std_printer_in_place();
// What the common-record printer needs to know of the standard file
// system's table, worked out once per registry change: kStdPrintsItself
// (the built-in location printer is in place) and kStdAllowsVersions (no
// versioning method, so numeric versions are allowed).
inline constexpr unsigned kStdPrintsItself = 1, kStdAllowsVersions = 2;
unsigned std_plain_state();
int claim_std(vex_file *f, std::string_view text, const NameScan &scan, int *consumed);

// Parsing switches.
bool allow_unusual_revision_chars();
bool hide_initial_dot_files();

// The tail grammar: name, extension, string version, version and type.
struct Tail {
  std::string_view name, ext, rev;
  int version = 0;
  int32_t type = -6;
  bool family = false;
};
// Where the separators of a tail lie: its first and last '|', and the last
// two '.' before the last '|' (before the end without one); npos for none.
struct TailMarks {
  size_t first_bar, last_bar, dot1, dot2;
};
TailMarks tail_marks(std::string_view tail);
// Splits `tail`; `weak` skips the type's name rules, `case_check` refuses
// upper case for lower-case types.
void split_tail(std::string_view tail, bool weak, bool case_check, Tail &out);
// A version string: optional '-', digits not starting with '0', 16 bits.
inline bool parse_version(std::string_view s, int *version) {
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
// 1 when the name holds a character outside the allowed set.
bool name_has_unusual_chars(std::string_view name);
// 1 for "inst<gen>" with '>' last and a non-empty generic.
bool is_family_form(std::string_view name);

// Full parse (the steps of pfa_parse_to_vex_file).
int parse_full(vex_file *f, const vex_file *dir, const char *name, int loc_type, int dir_mode,
               bool strict_case);

// Formatting helpers.
// The path component written with backslashes, runs of '/' as one, ".."
// pairs removed; scheme paths unchanged.
void backslash_path(std::string_view path, NameBuf &out);
// The same appended to `out`.
void append_backslash_path(std::string_view path, NameBuf &out);
// Whether formatting lowercases the name: the type refuses mixed case.
bool lower_for(const vex_file *f);
// Name, extension and numeric version as formatting writes them.
void formatted_tail(const vex_file *f, NameBuf &out);
// The location string through the location's method.
int location_string(const vex_file *f, NameBuf &out);
// Lowercases ASCII letters in place.
void ascii_lower(char *s, size_t n);
// True when `s` begins with one of the data-management path schemes
// "lhpub:", "lhws:", "lhp:".
bool has_path_scheme(std::string_view s);
// ASCII case-insensitive strcmp.
int ascii_casecmp(const char *a, const char *b);
// Case-insensitive ASCII equality.
bool iequal(std::string_view a, std::string_view b);

// Wide and byte names.
bool to_bytes(const kw_wchar *w, char *out, size_t size);
bool to_wide(const char *s, kw_wchar *out, size_t size);

// Built-in location types.
int register_builtins();
// Joins the directory's location and a relative text into a location
// claimed by the directory's type, in `out`.
int join_location(const vex_file *dir, std::string_view relative, vex_file *out);
// Answers 12 when the standard or UNC file system's path names a
// directory.
int os_path_of(const vex_file *f, std::string &out, bool with_name);
// `path`, or the entry of its directory whose name differs only in case
// when `path` itself does not exist.
std::string existing_path(const std::string &path);

// The current host name, for comparisons of the standard file system.
const std::string &local_host();

// Operating-system calls, from the runtime layer.
namespace os = kw::runtime::fsys;

}  // namespace kw::pfa

#endif  // KW_PFA_PFA_INTERNAL_H
