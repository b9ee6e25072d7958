// The legacy-mode formatter: the library's own directive table, wide
// strings in the session encoding, precisions that never split a multibyte
// character, and per-thread rotating result buffers.
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "keelwork/btk_format.h"
#include "keelwork/btk_hooks.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/lang.h"
#include "keelwork/memory.h"
#include "keelwork/thread.h"
#include "keelwork/wstring.h"
#include "keelwork/xar.h"
#include "runtime/format_internal.h"
#include "text/file_seam_internal.h"
#include "text/vexformat_internal.h"
#include "text/wstring_internal.h"

namespace kw::text {
namespace {

enum class ArgClass { kInt32, kLong, kInt64, kDouble, kBytes, kWide, kPath, kPointer };

struct Directive {
  const char *text;
  const char *replacement;
  ArgClass cls;
};

constexpr Directive kDirectives[] = {
#include "text/printf_directives.inc"
};

constexpr std::size_t text_length(const char *s) {
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

constexpr std::size_t kMaxSpec = 19;

// ASCII only: directives are never letters of another script, and the C
// library's tolower would consult the process locale.
constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

constexpr bool is_letter(char c) { return ascii_lower(c) >= 'a' && ascii_lower(c) <= 'z'; }

constexpr bool is_flag_char(char c) {
  return c == '-' || c == '+' || c == ' ' || c == '#' || c == '.' || c == '*' ||
         (c >= '0' && c <= '9');
}

using kw::runtime::FormatItem;

// What the parser needs of a row, worked out at compile time so that a
// directive costs a few comparisons: the text in lower case and the length
// matched, the length of the letters handed on, their conversion letter
// (lower case) and whether an
// upper-case letter as written is kept (FF, 1E+05), the size prefix, and
// the next row with the same first letter (-1: none).
struct RowInfo {
  char lower[5];
  std::size_t length;
  std::size_t spec_letters;
  char letter;
  bool keeps_case;
  FormatItem::Size size;
  int next;
};

constexpr RowInfo row_info(const Directive &d) {
  const char *letters = d.replacement ? d.replacement : d.text;
  std::size_t n = text_length(letters);
  char last = ascii_lower(letters[n - 1]);
  FormatItem::Size size = FormatItem::Size::kNone;
  if (d.cls == ArgClass::kInt64)
    size = FormatItem::Size::kLongLong;
  else if (d.cls == ArgClass::kLong)
    size = FormatItem::Size::kLong;
  else if (d.text[0] == 'h')
    size = FormatItem::Size::kShort;
  RowInfo r = {{},
               text_length(d.text),
               n,
               last,
               last == 'x' || last == 'e' || last == 'f' || last == 'g',
               size,
               -1};
  for (std::size_t i = 0; i < r.length; ++i) r.lower[i] = ascii_lower(d.text[i]);
  return r;
}

constexpr std::size_t kRows = std::size(kDirectives);

struct RowIndex {
  std::array<RowInfo, kRows> info{};
  std::array<int, 26> first{};  // by the lower-case first letter; -1: none
};

// Chains the rows by first letter, keeping the table's order within each
// chain, so that the first row that matches is the one the table gives.
constexpr RowIndex kRowIndex = [] {
  RowIndex r;
  for (int &f : r.first) f = -1;
  std::array<int, 26> last{};
  for (std::size_t i = 0; i < kRows; ++i) {
    r.info[i] = row_info(kDirectives[i]);
    int letter = ascii_lower(kDirectives[i].text[0]) - 'a';
    if (r.first[letter] < 0)
      r.first[letter] = static_cast<int>(i);
    else
      r.info[last[letter]].next = static_cast<int>(i);
    last[letter] = static_cast<int>(i);
  }
  return r;
}();

// A conversion letter "S" is a wide string whatever follows it.
constexpr Directive kWideS = {"S", "s", ArgClass::kWide};
constexpr RowInfo kWideSInfo = row_info(kWideS);

constexpr int kSlots = 9;
constexpr int kWorkBuffer = 500;

// The operations the formatter is given: wide strings to bytes, precision
// for multibyte text, paths for the operating system, character length.
struct FormatterOps {
  char *(*wide_to_bytes)(char *dst, const kw_wchar *w);
  std::size_t (*take_care_of_precision)(const char *text, std::size_t len, std::size_t precision);
  void (*path_to_os)(char *path, int size);
  int (*char_length)(int byte);
};

// The longest prefix of `text` within `precision` bytes that ends on a
// character boundary; a first character longer than that stays whole.
std::size_t cut_at_character(const char *text, std::size_t len, std::size_t precision) {
  std::size_t cut = 0;
  while (cut < len) {
    std::size_t k = static_cast<std::size_t>(vex_csetlen(static_cast<unsigned char>(text[cut])));
    if (cut + k > len) k = len - cut;
    if (cut + k > precision) return cut == 0 ? k : cut;
    cut += k;
  }
  return cut;
}

void path_for_os(char *path, int size) {
  const FileLayer &files = file_layer();
  if (files.path_to_os) files.path_to_os(path, size, 4);
}

constexpr FormatterOps kOps = {wstostr, cut_at_character, path_for_os, vex_csetlen};

// ---- per-thread buffers ----------------------------------------------------------

struct Slot {
  char *result;   // xar, growth 300
  char *convert;  // xar, 500 at creation, growth 500
  char *scratch;  // xar, 500 at creation, growth 500
  int convert_capacity;
  int scratch_capacity;
};

struct LegacyBuffers {
  Slot slot[kSlots];
  int index;
};

thrLocalObject *g_key = nullptr;

void release_vsprintf_bufs(void *record) {
  auto *b = static_cast<LegacyBuffers *>(record);
  for (Slot &s : b->slot) {
    xar_free(&s.result);
    xar_free(&s.convert);
    xar_free(&s.scratch);
  }
  rlsmem(b);
  thrLocalObject_SetData(g_key, nullptr);
}

Slot &next_slot() {
  static int once = 0;
  btkThrSetupInitOnce(&once, [] { g_key = thrLocalObject_Create(nullptr); });
  auto *b = static_cast<LegacyBuffers *>(thrLocalObject_GetData(g_key));
  if (!b) {
    b = static_cast<LegacyBuffers *>(getmem(sizeof(LegacyBuffers)));
    std::memset(b, 0, sizeof *b);
    b->index = -1;
    thrLocalObject_SetData(g_key, b);
    thrCurThread_RegisterOnExitFunc(release_vsprintf_bufs, b);
  }
  b->index = (b->index + 1) % kSlots;
  Slot &s = b->slot[b->index];
  if (s.result) {
    xar_resize(&s.result, 0);
  } else {
    s.result = static_cast<char *>(xar_alloc(0, 1, 300));
    s.convert = static_cast<char *>(xar_alloc(kWorkBuffer, 1, kWorkBuffer));
    s.scratch = static_cast<char *>(xar_alloc(kWorkBuffer, 1, kWorkBuffer));
    s.convert_capacity = s.scratch_capacity = kWorkBuffer;
  }
  return s;
}

// Grows a work buffer to at least `need` bytes; false when refused.
bool reserve(char *&buffer, int &capacity, std::size_t need) {
  if (need <= static_cast<std::size_t>(capacity)) return true;
  if (need > static_cast<std::size_t>(xar_max_count_get(1))) return false;
  if (xar_resize(&buffer, static_cast<int>(need)) != 0) return false;
  capacity = static_cast<int>(need);
  return true;
}

[[noreturn]] void invalid_directive() {
  btkAbort("Invalid printf specifier!", "parse_conver_spec", "kwwcfun/vexprintf", 724);
}

// ---- one conversion ------------------------------------------------------------------

struct Conversion {
  // Flags, width and precision with every "*" resolved: at most 17
  // characters as written, each "*" becoming at most 11.
  char flags[200];
  std::size_t flags_len;
  bool has_star;
  const Directive *directive;
  const RowInfo *info;
  char letter;  // the C conversion letter
};

// Reads the conversion at `p` (the "%"); `*end` gets the character after
// it. Aborts on an invalid one. Stars stay unresolved.
void parse_conversion(const char *p, const char **end, Conversion *c) {
  c->flags_len = 0;
  c->has_star = false;
  c->directive = nullptr;
  const char *q = p + 1;
  while (*q && !is_letter(*q)) {
    if (!is_flag_char(*q) || c->flags_len >= kMaxSpec) invalid_directive();
    c->has_star |= *q == '*';
    c->flags[c->flags_len++] = *q++;
  }
  if (!*q) invalid_directive();
  if (*q == 'S') {
    c->directive = &kWideS;
    c->info = &kWideSInfo;
  } else {
    for (int i = kRowIndex.first[ascii_lower(*q) - 'a']; i >= 0; i = kRowIndex.info[i].next) {
      const RowInfo &row = kRowIndex.info[i];
      std::size_t k = 1;
      // The terminator of `q` differs from every letter, so this stops there.
      while (k < row.length && ascii_lower(q[k]) == row.lower[k]) ++k;
      if (k == row.length) {
        c->directive = &kDirectives[i];
        c->info = &row;
        break;
      }
    }
  }
  if (!c->directive) invalid_directive();
  if (1 + c->flags_len + c->info->spec_letters > kMaxSpec) invalid_directive();
  char written = q[c->info->length - 1];
  // Upper-case forms that change the output (FF, 1E+05) stay as written.
  c->letter =
      c->info->keeps_case && ascii_lower(written) == c->info->letter ? written : c->info->letter;
  *end = q + c->info->length;
}

// Writes the decimal digits of `v` (>= 0) at `out`; returns their count.
std::size_t write_decimal(char *out, long v) {
  char digits[24];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  for (std::size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

// Replaces each "*" of the flags by the next int argument, as printf would
// read it: a negative width is a "-" flag, a negative precision none.
void resolve_stars(Conversion *c, va_list &args) {
  if (!c->has_star) return;
  char out[sizeof c->flags];
  std::size_t n = 0;
  for (std::size_t i = 0; i < c->flags_len; ++i) {
    if (c->flags[i] != '*') {
      out[n++] = c->flags[i];
      continue;
    }
    long v = va_arg(args, int);
    if (v < 0) {
      if (n > 0 && out[n - 1] == '.') {
        --n;
        continue;
      }
      out[n++] = '-';
      v = -v;
    }
    n += write_decimal(out + n, v);
  }
  std::memcpy(c->flags, out, n);
  c->flags_len = n;
}

// The precision of the flags, or -1.
long precision_of(const Conversion &c) {
  const char *dot = static_cast<const char *>(std::memchr(c.flags, '.', c.flags_len));
  if (!dot) return -1;
  long v = 0;
  for (const char *p = dot + 1; p < c.flags + c.flags_len && *p >= '0' && *p <= '9'; ++p)
    v = v * 10 + (*p - '0');
  return v;
}

// Reads a decimal number at text[*i] as the runtime's formatter reads one;
// false when it passes INT_MAX.
bool read_number(const char *text, std::size_t len, std::size_t *i, std::size_t *out) {
  std::size_t v = 0;
  for (; *i < len && text[*i] >= '0' && text[*i] <= '9'; ++*i) {
    v = v * 10 + static_cast<std::size_t>(text[*i] - '0');
    if (v > INT_MAX) return false;
  }
  *out = v;
  return true;
}

// Reads the first `len` characters of the resolved flags into `item` by the
// grammar of the runtime's formatter (flags, width, "." and precision), the
// formatter the conversion text is meant for. False when that formatter
// would refuse the text (flags out of order, a second ".", a number past
// INT_MAX): the item is then dropped and formatting stops.
bool read_item(const char *text, std::size_t len, FormatItem *item) {
  if (len == 0) return true;
  std::size_t i = 0;
  for (; i < len; ++i) {
    switch (text[i]) {
      case '-':
        item->flags |= FormatItem::kLeft;
        continue;
      case '+':
        item->flags |= FormatItem::kPlus;
        continue;
      case ' ':
        item->flags |= FormatItem::kSpace;
        continue;
      case '#':
        item->flags |= FormatItem::kAlt;
        continue;
      case '0':
        item->flags |= FormatItem::kZero;
        continue;
      default:
        break;
    }
    break;
  }
  if (!read_number(text, len, &i, &item->width)) return false;
  if (i < len && text[i] == '.') {
    ++i;
    std::size_t prec;
    if (!read_number(text, len, &i, &prec)) return false;
    item->prec = static_cast<int>(prec);
  }
  return i == len;
}

// Collects the result in a local buffer and hands it to the slot's result
// buffer in large pieces, so that a short result costs one append. Every
// piece is admitted against the growth limit of the result, as if it were
// appended on its own: the first one that would pass it is dropped and
// formatting stops.
class ResultWriter {
 public:
  explicit ResultWriter(Slot &slot)
      : slot_(slot), max_count_(static_cast<std::size_t>(xar_max_count_get(1))) {}

  bool stopped() const { return stopped_; }
  void stop() { stopped_ = true; }

  void put(const char *bytes, std::size_t n) {
    if (!admit(n)) return;
    if (n <= kStage - used_) {
      std::memcpy(stage_ + used_, bytes, n);
      used_ += n;
      return;
    }
    flush();
    if (n <= kStage) {
      std::memcpy(stage_, bytes, n);
      used_ = n;
    } else {
      append(bytes, n);
    }
  }

  // Formats one item with `write(dst, room)`, which returns the length of
  // the whole item (-1: refused) and may be called again with more room.
  template <class Write>
  void put_item(Write &&write) {
    if (stopped_) return;
    std::size_t room = kStage - used_;
    std::ptrdiff_t length = write(stage_ + used_, room);
    if (length < 0) {
      stopped_ = true;
      return;
    }
    auto n = static_cast<std::size_t>(length);
    if (!admit(n)) return;
    if (n <= room) {
      used_ += n;
      return;
    }
    flush();
    if (n <= kStage) {
      write(stage_, kStage);
      used_ = n;
      return;
    }
    if (!reserve(slot_.scratch, slot_.scratch_capacity, n + 1)) {
      stopped_ = true;
      return;
    }
    write(slot_.scratch, n);
    append(slot_.scratch, n);
  }

  // Hands on the rest with the terminator; when the buffer is full the
  // terminator replaces the last byte.
  char *finish() {
    std::size_t count = appended_ + used_;
    if (count < max_count_) {
      stage_[used_] = 0;
      append(stage_, used_ + 1);
    } else {
      flush();
      slot_.result[count - 1] = 0;
    }
    return slot_.result;
  }

 private:
  static constexpr std::size_t kStage = 512;

  bool admit(std::size_t n) {
    if (stopped_ || n > max_count_ - 1 - (appended_ + used_)) stopped_ = true;
    return !stopped_;
  }
  void append(const char *bytes, std::size_t n) {
    if (xar_append(&slot_.result, static_cast<int>(n), bytes) == 0)
      appended_ += n;
    else
      stopped_ = true;
  }
  void flush() {
    if (used_) append(stage_, used_);
    used_ = 0;
  }

  Slot &slot_;
  const std::size_t max_count_;
  std::size_t appended_ = 0;  // bytes in the result buffer
  std::size_t used_ = 0;      // bytes in the stage
  bool stopped_ = false;
  char stage_[kStage + 1];  // room for the terminator
};

}  // namespace

char *legacy_format_to_thread_buffer(const char *format, va_list args) {
  Slot &slot = next_slot();
  const FormatterOps &ops = kOps;
  ResultWriter out(slot);
  va_list ap;
  va_copy(ap, args);
  const char *p = format ? format : "";
  while (*p && !out.stopped()) {
    if (*p != '%') {
      // A run of whole characters: a multibyte character is never split,
      // so a "%" inside one is no directive. Every encoding has one-byte
      // characters below 0x80.
      const char *run = p;
      for (;;) {
        auto b = static_cast<unsigned char>(*p);
        if (b == 0 || b == '%') break;
        if (b < 0x80) {
          ++p;
          continue;
        }
        std::size_t k = static_cast<std::size_t>(ops.char_length(b));
        std::size_t n = 1;
        while (n < k && p[n]) ++n;
        p += n;
      }
      out.put(run, static_cast<std::size_t>(p - run));
      continue;
    }
    if (p[1] == '%') {
      out.put("%", 1);
      p += 2;
      continue;
    }
    Conversion c;
    parse_conversion(p, &p, &c);
    resolve_stars(&c, ap);
    // The conversion as the runtime's formatter (which writes numbers
    // digit for digit as the C library does) reads "%", the flags, width
    // and precision, the size prefix and the letter.
    FormatItem item;
    item.size = c.info->size;
    item.conv = c.letter;
    auto put_value = [&](auto value) {
      out.put_item([&](char *dst, std::size_t room) {
        return kw::runtime::format_item(dst, room, item, value);
      });
    };
    if (c.directive->cls == ArgClass::kWide) {
      const kw_wchar *w = va_arg(ap, const kw_wchar *);
      if (!w) {
        if (read_item(c.flags, c.flags_len, &item))
          put_value(static_cast<const void *>(nullptr));
        else
          out.stop();
        continue;
      }
      std::size_t units = wlen(w);
      if (!reserve(slot.convert, slot.convert_capacity, 4 * units + 1)) {
        out.stop();
        continue;
      }
      if (!ops.wide_to_bytes(slot.convert, w)) slot.convert[0] = 0;
      std::size_t len = std::strlen(slot.convert);
      long precision = precision_of(c);
      if (precision >= 0 && len > static_cast<std::size_t>(precision)) {
        len = ops.take_care_of_precision(slot.convert, len, static_cast<std::size_t>(precision));
        slot.convert[len] = 0;
      }
      // The text is cut already; the precision must not cut it again.
      const char *dot = static_cast<const char *>(std::memchr(c.flags, '.', c.flags_len));
      std::size_t keep = dot ? static_cast<std::size_t>(dot - c.flags) : c.flags_len;
      if (read_item(c.flags, keep, &item))
        put_value(static_cast<const void *>(slot.convert));
      else
        out.stop();
      continue;
    }
    if (!read_item(c.flags, c.flags_len, &item)) {
      // Its argument is left unread: nothing is formatted after it.
      out.stop();
      continue;
    }
    switch (c.directive->cls) {
      case ArgClass::kInt32:
        put_value(static_cast<long long>(va_arg(ap, int)));
        break;
      case ArgClass::kLong:
        put_value(static_cast<long long>(va_arg(ap, long)));
        break;
      case ArgClass::kInt64:
        put_value(va_arg(ap, long long));
        break;
      case ArgClass::kPointer:
        put_value(static_cast<const void *>(va_arg(ap, void *)));
        break;
      case ArgClass::kDouble: {
        double v = va_arg(ap, double);
        if (std::fabs(v) < 1e-30) v = 0.0;
        // The runtime's formatter, like glibc, writes at least two exponent
        // digits and never pads a third with 0 (e+05, not e+005): nothing
        // to trim afterwards.
        put_value(v);
        break;
      }
      case ArgClass::kBytes:
        put_value(static_cast<const void *>(va_arg(ap, const char *)));
        break;
      case ArgClass::kPath: {
        const char *s = va_arg(ap, const char *);
        char path[256] = "";
        if (s) {
          std::strncpy(path, s, sizeof path - 1);
          ops.path_to_os(path, sizeof path);
        }
        put_value(static_cast<const void *>(s ? path : nullptr));
        break;
      }
      case ArgClass::kWide:
        break;  // above
    }
  }
  va_end(ap);
  return out.finish();
}

}  // namespace kw::text
