// The legacy-mode formatter: the library's own directive table, wide
// strings in the session encoding, precisions that never split a multibyte
// character, and per-thread rotating result buffers.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

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

constexpr std::size_t kMaxSpec = 19;
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
  std::string flags;  // flags, width and precision, "*" resolved
  const Directive *directive;
  char letter;  // the glibc conversion letter
};

// Reads the specification at `p` (the "%"); `*end` gets the character after
// it. Aborts on an invalid one.
Conversion parse_conversion(const char *p, const char **end) {
  Conversion c{};
  const char *q = p + 1;
  while (*q && !std::isalpha(static_cast<unsigned char>(*q))) {
    if (!std::strchr("-+ #0123456789.*", *q)) invalid_directive();
    c.flags.push_back(*q++);
  }
  if (!*q) invalid_directive();
  std::size_t matched = 0;
  if (*q == 'S') {
    static const Directive kWideS = {"S", "s", ArgClass::kWide};
    c.directive = &kWideS;
    matched = 1;
  } else {
    for (const Directive &d : kDirectives) {
      std::size_t n = std::strlen(d.text);
      if (btk_strncasecmp(q, d.text, n) == 0) {
        c.directive = &d;
        matched = n;
        break;
      }
    }
  }
  if (!c.directive) invalid_directive();
  const char *letters = c.directive->replacement ? c.directive->replacement : c.directive->text;
  if (1 + c.flags.size() + std::strlen(letters) > kMaxSpec) invalid_directive();
  char last = static_cast<char>(
      std::tolower(static_cast<unsigned char>(letters[std::strlen(letters) - 1])));
  char written = q[matched - 1];
  // Upper-case forms that change the output (FF, 1E+05) stay as written.
  bool same = std::tolower(static_cast<unsigned char>(written)) == last;
  c.letter = same && std::strchr("xefg", last) ? written : last;
  *end = q + matched;
  return c;
}

// Replaces each "*" of the flags by the next int argument, as printf would
// read it: a negative width is a "-" flag, a negative precision none.
void resolve_stars(std::string &flags, va_list &args) {
  std::string out;
  for (std::size_t i = 0; i < flags.size(); ++i) {
    if (flags[i] != '*') {
      out.push_back(flags[i]);
      continue;
    }
    long v = va_arg(args, int);
    bool precision = !out.empty() && out.back() == '.';
    if (v < 0 && precision) {
      out.pop_back();
      continue;
    }
    if (v < 0) {
      out.push_back('-');
      v = -v;
    }
    out += std::to_string(v);
  }
  flags = out;
}

// The precision of the flags, or -1.
long precision_of(const std::string &flags) {
  std::size_t dot = flags.rfind('.');
  if (dot == std::string::npos) return -1;
  return std::strtol(flags.c_str() + dot + 1, nullptr, 10);
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
      // Whole characters: a multibyte character is never split.
      std::size_t k = static_cast<std::size_t>(ops.char_length(static_cast<unsigned char>(*p)));
      std::size_t n = 1;
      while (n < k && p[n]) ++n;
      append(p, n);
      p += n;
      continue;
    }
    if (p[1] == '%') {
      append("%", 1);
      p += 2;
      continue;
    }
    Conversion c = parse_conversion(p, &p);
    resolve_stars(c.flags, ap);
    std::string spec = "%" + c.flags;
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
    std::string item;
    auto format_item = [&](const std::string &fmt, auto value) {
      int n = std::snprintf(nullptr, 0, fmt.c_str(), value);
      if (n < 0 || !reserve(slot.scratch, slot.scratch_capacity, static_cast<std::size_t>(n) + 1)) {
        stopped = true;
        return;
      }
      std::snprintf(slot.scratch, static_cast<std::size_t>(n) + 1, fmt.c_str(), value);
      item.assign(slot.scratch, static_cast<std::size_t>(n));
    };
    std::string fmt = spec + size_prefix + c.letter;
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
        const char *s = va_arg(ap, const char *);
        if (s && !reserve(slot.scratch, slot.scratch_capacity, std::strlen(s) + 1)) {
          stopped = true;
          break;
        }
        format_item(fmt, s);
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
        long precision = precision_of(c.flags);
        if (precision >= 0 && len > static_cast<std::size_t>(precision)) {
          len = ops.take_care_of_precision(slot.convert, len, static_cast<std::size_t>(precision));
          slot.convert[len] = 0;
        }
        // The text is cut already; the precision must not cut it again.
        std::string plain =
            "%" + c.flags.substr(0, std::min(c.flags.find('.'), c.flags.size())) + "s";
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
    append(item.data(), item.size());
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
