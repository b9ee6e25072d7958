// The legacy-mode formatter: the library's own directive table, wide
// strings in the session encoding, precisions that never split a multibyte
// character, and per-thread rotating result buffers.
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
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

// The length of each directive's text, worked out at compile time.
constexpr auto kDirectiveLengths = [] {
  std::array<std::size_t, std::size(kDirectives)> lengths{};
  for (std::size_t i = 0; i < lengths.size(); ++i) lengths[i] = text_length(kDirectives[i].text);
  return lengths;
}();

constexpr std::size_t kMaxSpec = 19;

// ASCII only: directives are never letters of another script, and the C
// library's tolower would consult the process locale.
constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

constexpr bool is_letter(char c) { return ascii_lower(c) >= 'a' && ascii_lower(c) <= 'z'; }

constexpr bool is_flag_char(char c) {
  return c == '-' || c == '+' || c == ' ' || c == '#' || c == '.' || c == '*' ||
         (c >= '0' && c <= '9');
}
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
  const Directive *directive;
  char letter;  // the C conversion letter
};

// Reads the specification at `p` (the "%"); `*end` gets the character after
// it. Aborts on an invalid one. Stars stay unresolved.
void parse_conversion(const char *p, const char **end, Conversion *c) {
  c->flags_len = 0;
  c->directive = nullptr;
  const char *q = p + 1;
  while (*q && !is_letter(*q)) {
    if (!is_flag_char(*q) || c->flags_len >= kMaxSpec) invalid_directive();
    c->flags[c->flags_len++] = *q++;
  }
  if (!*q) invalid_directive();
  std::size_t matched = 0;
  if (*q == 'S') {
    static const Directive kWideS = {"S", "s", ArgClass::kWide};
    c->directive = &kWideS;
    matched = 1;
  } else {
    const char first = ascii_lower(*q);
    for (std::size_t i = 0; i < std::size(kDirectives) && !c->directive; ++i) {
      const Directive &d = kDirectives[i];
      if (ascii_lower(d.text[0]) != first) continue;
      std::size_t n = kDirectiveLengths[i], k = 1;
      // The terminator of `q` differs from every letter, so this stops there.
      while (k < n && ascii_lower(q[k]) == ascii_lower(d.text[k])) ++k;
      if (k == n) {
        c->directive = &d;
        matched = n;
      }
    }
  }
  if (!c->directive) invalid_directive();
  const char *letters = c->directive->replacement ? c->directive->replacement : c->directive->text;
  std::size_t letters_len = std::strlen(letters);
  if (1 + c->flags_len + letters_len > kMaxSpec) invalid_directive();
  char last = ascii_lower(letters[letters_len - 1]);
  char written = q[matched - 1];
  // Upper-case forms that change the output (FF, 1E+05) stay as written.
  bool same = ascii_lower(written) == last;
  c->letter = same && std::strchr("xefg", last) ? written : last;
  *end = q + matched;
}

// Replaces each "*" of the flags by the next int argument, as printf would
// read it: a negative width is a "-" flag, a negative precision none.
void resolve_stars(Conversion *c, va_list &args) {
  if (!std::memchr(c->flags, '*', c->flags_len)) return;
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
    n += static_cast<std::size_t>(std::snprintf(out + n, sizeof out - n, "%ld", v));
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

}  // namespace

char *legacy_format_to_thread_buffer(const char *format, va_list args) {
  Slot &slot = next_slot();
  const FormatterOps &ops = kOps;
  const auto max_count = static_cast<std::size_t>(xar_max_count_get(1));
  bool stopped = false;
  auto append = [&](const char *bytes, std::size_t n) {
    std::size_t count = static_cast<std::size_t>(xar_count(&slot.result));
    if (stopped || n > max_count - 1 - count) {
      stopped = true;
      return;
    }
    xar_append(&slot.result, static_cast<int>(n), bytes);
  };
  va_list ap;
  va_copy(ap, args);
  const char *p = format ? format : "";
  while (*p && !stopped) {
    if (*p != '%') {
      // A run of whole characters: a multibyte character is never split,
      // so a "%" inside one is no directive.
      const char *run = p;
      while (*p && *p != '%') {
        std::size_t k = static_cast<std::size_t>(ops.char_length(static_cast<unsigned char>(*p)));
        std::size_t n = 1;
        while (n < k && p[n]) ++n;
        p += n;
      }
      append(run, static_cast<std::size_t>(p - run));
      continue;
    }
    if (p[1] == '%') {
      append("%", 1);
      p += 2;
      continue;
    }
    Conversion c;
    parse_conversion(p, &p, &c);
    resolve_stars(&c, ap);
    const char *size_prefix = "";
    switch (c.directive->cls) {
      case ArgClass::kInt64:
        size_prefix = "ll";
        break;
      case ArgClass::kLong:
        size_prefix = "l";
        break;
      default:
        if (c.directive->text[0] == 'h') size_prefix = "h";
        break;
    }
    // The conversion handed to the runtime's formatter (which writes
    // numbers digit for digit as the C library does): "%", flags, width and
    // precision, the size prefix and the letter.
    char fmt[sizeof c.flags + 8];
    std::size_t f = 0;
    fmt[f++] = '%';
    std::memcpy(fmt + f, c.flags, c.flags_len);
    f += c.flags_len;
    for (const char *z = size_prefix; *z; ++z) fmt[f++] = *z;
    fmt[f++] = c.letter;
    fmt[f] = 0;
    // Formats one item into the scratch buffer and appends it.
    auto format_item = [&](const char *conversion, auto value) {
      int n = btk_snprintf(slot.scratch, static_cast<std::size_t>(slot.scratch_capacity),
                           conversion, value);
      if (n >= slot.scratch_capacity) {
        if (!reserve(slot.scratch, slot.scratch_capacity, static_cast<std::size_t>(n) + 1)) n = -1;
        if (n >= 0) btk_snprintf(slot.scratch, static_cast<std::size_t>(n) + 1, conversion, value);
      }
      if (n < 0) {
        stopped = true;
        return;
      }
      append(slot.scratch, static_cast<std::size_t>(n));
    };
    switch (c.directive->cls) {
      case ArgClass::kInt32:
        format_item(fmt, va_arg(ap, int));
        break;
      case ArgClass::kLong:
        format_item(fmt, va_arg(ap, long));
        break;
      case ArgClass::kInt64:
        format_item(fmt, va_arg(ap, long long));
        break;
      case ArgClass::kPointer:
        format_item(fmt, va_arg(ap, void *));
        break;
      case ArgClass::kDouble: {
        double v = va_arg(ap, double);
        if (std::fabs(v) < 1e-30) v = 0.0;
        // glibc writes at least two exponent digits and never pads a
        // third with 0 (e+05, not e+005): nothing to trim afterwards.
        format_item(fmt, v);
        break;
      }
      case ArgClass::kBytes: {
        const char *text = va_arg(ap, const char *);
        if (c.flags_len == 0 && text)
          append(text, std::strlen(text));  // a plain "%s" copies the text
        else
          format_item(fmt, text);
        break;
      }
      case ArgClass::kWide: {
        const kw_wchar *w = va_arg(ap, const kw_wchar *);
        if (!w) {
          format_item(fmt, static_cast<const char *>(nullptr));
          break;
        }
        std::size_t units = wlen(w);
        if (!reserve(slot.convert, slot.convert_capacity, 4 * units + 1)) {
          stopped = true;
          break;
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
        char plain[sizeof c.flags + 4];
        plain[0] = '%';
        std::memcpy(plain + 1, c.flags, keep);
        plain[keep + 1] = 's';
        plain[keep + 2] = 0;
        format_item(plain, static_cast<const char *>(slot.convert));
        break;
      }
      case ArgClass::kPath: {
        const char *s = va_arg(ap, const char *);
        char path[256] = "";
        if (s) {
          std::strncpy(path, s, sizeof path - 1);
          ops.path_to_os(path, sizeof path);
        }
        format_item(fmt, s ? static_cast<const char *>(path) : nullptr);
        break;
      }
    }
  }
  va_end(ap);
  // The terminator; when the buffer is full it replaces the last byte.
  std::size_t count = static_cast<std::size_t>(xar_count(&slot.result));
  if (count < max_count)
    xar_append(&slot.result, 1, "");
  else
    slot.result[count - 1] = 0;
  return slot.result;
}

}  // namespace kw::text
