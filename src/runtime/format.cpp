// The runtime formatter: C99 printf directives plus `I64`, `%ws`/`%S`, into
// a caller buffer, an output sink or a stdio stream.
//
// Every message and string the library builds passes through here, so the
// engine avoids stdio entirely: literal runs are copied with one memcpy,
// integers use a two-digits-at-a-time table, and floating point goes through
// std::to_chars with an explicit precision, which produces exactly the digits
// printf would (correctly rounded, in the C locale).
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "keelwork/btk_format.h"
#include "runtime/format_internal.h"
#include "runtime/utf_internal.h"

namespace kw::runtime {
namespace {

// ---- output targets ---------------------------------------------------------

// Writes into a caller buffer, keeping count of the whole length.
struct BufOut {
  char *p;
  std::size_t room;
  std::size_t total = 0;

  void put(const char *s, std::size_t n) {
    total += n;
    if (n == 0) return;
    if (n <= room) {
      std::memcpy(p, s, n);
      p += n;
      room -= n;
    } else if (room) {
      std::memcpy(p, s, room);
      p += room;
      room = 0;
    }
  }
  void put1(char c) {
    ++total;
    if (room) {
      *p++ = c;
      --room;
    }
  }
  void fill(char c, std::size_t n) {
    total += n;
    std::size_t k = n < room ? n : room;
    if (k == 0) return;
    std::memset(p, c, k);
    p += k;
    room -= k;
  }
};

// Stages output in a small buffer and hands it to a sink; a refusal stops
// all further output.
struct SinkOut {
  btk_out_sink *sink;
  std::size_t total = 0;     // bytes produced by the format
  std::size_t accepted = 0;  // bytes the sink took
  std::size_t used = 0;
  bool stopped = false;
  char buf[512];

  explicit SinkOut(btk_out_sink *s) : sink(s) {}
  void flush() {
    if (used && !stopped) {
      if (sink->ops->write(sink, buf, used) < 0)
        stopped = true;
      else
        accepted += used;
    }
    used = 0;
  }
  void put(const char *s, std::size_t n) {
    total += n;
    if (stopped) return;
    if (used + n <= sizeof buf) {
      std::memcpy(buf + used, s, n);
      used += n;
      return;
    }
    flush();
    if (n <= sizeof buf) {
      std::memcpy(buf, s, n);
      used = n;
    } else if (!stopped) {
      if (sink->ops->write(sink, s, n) < 0)
        stopped = true;
      else
        accepted += n;
    }
  }
  void put1(char c) {
    ++total;
    if (used == sizeof buf) flush();
    if (!stopped) buf[used++] = c;
  }
  void fill(char c, std::size_t n) {
    while (n) {
      if (used == sizeof buf) flush();
      if (stopped) {
        total += n;
        return;
      }
      std::size_t k = sizeof buf - used < n ? sizeof buf - used : n;
      std::memset(buf + used, c, k);
      used += k;
      total += k;
      n -= k;
    }
  }
};

// Appends to a std::string (the wide family's staging text), where `%n`
// counts UTF-16 units rather than bytes.
struct StrOut {
  std::string *s;
  std::size_t total = 0;
  void put(const char *p, std::size_t n) {
    total += n;
    s->append(p, n);
  }
  void put1(char c) {
    ++total;
    s->push_back(c);
  }
  void fill(char c, std::size_t n) {
    total += n;
    s->append(n, c);
  }
  std::size_t count() const {
    std::size_t n = 0;
    for (unsigned char c : *s) n += ((c & 0xC0) != 0x80) + (c >= 0xF0);
    return n;
  }
};

template <class Out>
std::size_t count_so_far(const Out &o) {
  return o.total;
}
template <>
std::size_t count_so_far(const StrOut &o) {
  return o.count();
}

// ---- directives ---------------------------------------------------------------

// The same bits as FormatItem's, so that a conversion specification read
// elsewhere carries over as it is.
enum Flag : unsigned {
  kLeft = FormatItem::kLeft,
  kPlus = FormatItem::kPlus,
  kSpace = FormatItem::kSpace,
  kAlt = FormatItem::kAlt,
  kZero = FormatItem::kZero
};

enum class Len : unsigned char { kNone, kHH, kH, kL, kLL, kJ, kZ, kT, kBigL, kW, kI64, kI32 };

struct Directive {
  unsigned flags = 0;
  std::size_t width = 0;
  int prec = -1;  // -1: none
  Len len = Len::kNone;
  char conv = 0;
};

// Emits one field: [blanks][prefix][zeros][body][blanks]. `shown` is the
// length of prefix+body as the width counts it (bytes, or UTF-16 units in
// the wide family).
template <class Out>
inline void emit_field(Out &o, const Directive &s, const char *prefix, std::size_t plen,
                       const char *body, std::size_t blen, std::size_t zeros, std::size_t shown) {
  std::size_t len = shown + zeros;
  std::size_t pad = s.width > len ? s.width - len : 0;
  if (pad && !(s.flags & kLeft)) o.fill(' ', pad);
  if (plen) o.put(prefix, plen);
  if (zeros) o.fill('0', zeros);
  o.put(body, blen);
  if (pad && (s.flags & kLeft)) o.fill(' ', pad);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes `v` in decimal ending at `end`; returns the start.
inline char *u64_dec(char *end, std::uint64_t v) {
  while (v >= 100) {
    unsigned r = static_cast<unsigned>(v % 100);
    v /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * r, 2);
  }
  if (v >= 10) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * v, 2);
  } else {
    *--end = static_cast<char>('0' + v);
  }
  return end;
}

inline char *u64_hex(char *end, std::uint64_t v, bool upper) {
  const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    *--end = digits[v & 15];
    v >>= 4;
  } while (v);
  return end;
}

inline char *u64_oct(char *end, std::uint64_t v) {
  do {
    *--end = static_cast<char>('0' + (v & 7));
    v >>= 3;
  } while (v);
  return end;
}

template <class Out>
void emit_integer(Out &o, const Directive &s, std::uint64_t mag, bool negative) {
  char buf[32];
  char *end = buf + sizeof buf;
  char *start = end;
  char prefix[4];
  std::size_t plen = 0;
  char c = s.conv;
  bool is_signed = c == 'd' || c == 'i';
  if (s.prec == 0 && mag == 0) {
    // An explicit zero precision prints no digits for zero, except that
    // "%#.0o" still shows its 0.
    if (c == 'o' && (s.flags & kAlt)) *--start = '0';
  } else if (c == 'x' || c == 'X' || c == 'p') {
    start = u64_hex(end, mag, c == 'X');
  } else if (c == 'o') {
    start = u64_oct(end, mag);
  } else {
    start = u64_dec(end, mag);
  }
  if (is_signed) {
    if (negative)
      prefix[plen++] = '-';
    else if (s.flags & kPlus)
      prefix[plen++] = '+';
    else if (s.flags & kSpace)
      prefix[plen++] = ' ';
  } else if (c == 'p') {
    if (s.flags & kPlus)
      prefix[plen++] = '+';
    else if (s.flags & kSpace)
      prefix[plen++] = ' ';
  }
  std::size_t ndig = static_cast<std::size_t>(end - start);
  std::size_t zeros = 0;
  if (s.prec >= 0) {
    if (static_cast<std::size_t>(s.prec) > ndig) zeros = static_cast<std::size_t>(s.prec) - ndig;
  }
  if (c == 'o' && (s.flags & kAlt) && zeros == 0 && (ndig == 0 || *start != '0')) zeros = 1;
  if (((c == 'x' || c == 'X') && (s.flags & kAlt) && mag != 0) || c == 'p') {
    prefix[plen++] = '0';
    prefix[plen++] = c == 'X' ? 'X' : 'x';
  }
  if (s.prec < 0 && (s.flags & (kZero | kLeft)) == kZero) {
    std::size_t len = plen + ndig + zeros;
    if (s.width > len) zeros += s.width - len;
  }
  emit_field(o, s, prefix, plen, start, ndig, zeros, plen + ndig);
}

// ---- floating point ---------------------------------------------------------

// Applies the '#' flag to e/f/a output: a decimal point is always shown.
inline std::size_t force_point(char *body, std::size_t len, std::size_t cap) {
  if (std::memchr(body, '.', len)) return len;
  std::size_t at = len;
  for (std::size_t i = 0; i < len; ++i) {
    if (body[i] == 'e' || body[i] == 'p') {
      at = i;
      break;
    }
  }
  if (len + 1 > cap) return len;
  std::memmove(body + at + 1, body + at, len - at);
  body[at] = '.';
  return len + 1;
}

// Length modifiers whose argument is a long, or a long long.
constexpr bool reads_long(Len len) { return len == Len::kL || len == Len::kZ || len == Len::kT; }
constexpr bool reads_long_long(Len len) {
  return len == Len::kLL || len == Len::kJ || len == Len::kI64;
}

// An integer argument narrowed to the size its length modifier names, as
// printf converts it.
std::int64_t narrow_signed(long long v, Len len) {
  switch (len) {
    case Len::kHH:
      return static_cast<signed char>(v);
    case Len::kH:
      return static_cast<short>(v);
    default:
      return reads_long(len)        ? static_cast<long>(v)
             : reads_long_long(len) ? v
                                    : static_cast<int>(v);
  }
}

std::uint64_t narrow_unsigned(unsigned long long v, Len len) {
  switch (len) {
    case Len::kHH:
      return static_cast<unsigned char>(v);
    case Len::kH:
      return static_cast<unsigned short>(v);
    default:
      return reads_long(len)        ? static_cast<unsigned long>(v)
             : reads_long_long(len) ? v
                                    : static_cast<unsigned>(v);
  }
}

template <class Out>
void emit_signed(Out &o, const Directive &s, std::int64_t v) {
  std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  emit_integer(o, s, mag, v < 0);
}

// Unsigned conversions ignore '+' and ' '.
template <class Out>
void emit_unsigned(Out &o, Directive s, std::uint64_t v) {
  s.flags &= ~(kPlus | kSpace);
  emit_integer(o, s, v, false);
}

template <class F>
std::to_chars_result float_chars(char *first, char *last, F v, char conv, int prec, bool alt) {
  switch (conv) {
    case 'f':
      return std::to_chars(first, last, v, std::chars_format::fixed, prec < 0 ? 6 : prec);
    case 'e':
      return std::to_chars(first, last, v, std::chars_format::scientific, prec < 0 ? 6 : prec);
    case 'a':
      return prec < 0 ? std::to_chars(first, last, v, std::chars_format::hex)
                      : std::to_chars(first, last, v, std::chars_format::hex, prec);
    default:
      break;
  }
  int p = prec < 0 ? 6 : (prec == 0 ? 1 : prec);
  if (!alt) return std::to_chars(first, last, v, std::chars_format::general, p);
  // "%#g": the style of %e or %f chosen by the exponent, trailing zeros kept.
  auto r = std::to_chars(first, last, v, std::chars_format::scientific, p - 1);
  if (r.ec != std::errc()) return r;
  const char *e = static_cast<const char *>(std::memchr(first, 'e', r.ptr - first));
  int x = 0;
  for (const char *d = e + 2; d < r.ptr; ++d) x = x * 10 + (*d - '0');
  if (e[1] == '-') x = -x;
  if (p > x && x >= -4) return std::to_chars(first, last, v, std::chars_format::fixed, p - 1 - x);
  return r;
}

template <class Out, class F>
void emit_float(Out &o, const Directive &s, F v) {
  char lc = static_cast<char>(s.conv | 0x20);
  bool upper = s.conv != lc;
  char sign[4] = {};
  std::size_t plen = 0;
  if (std::signbit(v))
    sign[plen++] = '-';
  else if (s.flags & kPlus)
    sign[plen++] = '+';
  else if (s.flags & kSpace)
    sign[plen++] = ' ';
  if (!std::isfinite(v)) {
    const char *t = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    emit_field(o, s, sign, plen, t, 3, 0, plen + 3);
    return;
  }
  F a = std::fabs(v);
  if (lc == 'a') {
    sign[plen++] = '0';
    sign[plen++] = upper ? 'X' : 'x';
  }
  // A number is never written with more than 16 Mi digits: the C++
  // library's conversion overflows near INT_MAX digits, and such output
  // would not fit an int count anyway. Like an allocation failure, the item
  // is then left out.
  constexpr int kMaxFloatPrecision = 1 << 24;
  if (s.prec > kMaxFloatPrecision) return;
  char local[400];
  char *body = local;
  std::size_t cap = sizeof local;
  char *heap = nullptr;
  auto r = float_chars(body, body + cap - 1, a, lc, s.prec, (s.flags & kAlt) != 0);
  if (r.ec != std::errc()) {
    // Long fixed output (huge values or precisions): size it exactly enough.
    cap = static_cast<std::size_t>(s.prec < 0 ? 0 : s.prec) + 5000 + 64;
    heap = static_cast<char *>(::operator new(cap, std::nothrow));
    if (!heap) return;
    body = heap;
    r = float_chars(body, body + cap - 1, a, lc, s.prec, (s.flags & kAlt) != 0);
    if (r.ec != std::errc()) {
      ::operator delete(heap);
      return;
    }
  }
  std::size_t blen = static_cast<std::size_t>(r.ptr - body);
  if (s.flags & kAlt) blen = force_point(body, blen, cap);
  if (upper) {
    for (std::size_t i = 0; i < blen; ++i)
      if (body[i] >= 'a' && body[i] <= 'z') body[i] = static_cast<char>(body[i] - 32);
  }
  std::size_t zeros = 0;
  if ((s.flags & (kZero | kLeft)) == kZero && s.width > plen + blen) zeros = s.width - plen - blen;
  emit_field(o, s, sign, plen, body, blen, zeros, plen + blen);
  if (heap) ::operator delete(heap);
}

// ---- strings ----------------------------------------------------------------

// Counts the bytes of a byte string, reading at most `limit` bytes.
inline std::size_t bounded_len(const char *s, int prec) {
  if (prec < 0) return std::strlen(s);
  const void *z = std::memchr(s, 0, static_cast<std::size_t>(prec));
  return z ? static_cast<std::size_t>(static_cast<const char *>(z) - s)
           : static_cast<std::size_t>(prec);
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Writes a UTF-16 string as UTF-8. `limit` (< 0: none) caps the output in
// bytes (byte family) or in UTF-16 units (wide family); a character that
// would cross it is left out whole. Unpaired surrogates become U+FFFD.
// Returns the bytes and the units written through a first measuring pass
// when a width needs them, then writes in a second pass.
struct WideRun {
  std::size_t bytes = 0;
  std::size_t units = 0;
  std::size_t src_units = 0;  // units of the source covered
};

inline WideRun measure_wide(const char16_t *w, long limit, bool limit_units) {
  WideRun r;
  for (std::size_t i = 0;; ++i) {
    char32_t u = w[i];
    if (u == 0) break;
    std::size_t nb, nu = 1;
    if (u < 0x80) {
      nb = 1;
    } else if (u < 0x800) {
      nb = 2;
    } else if (is_high_surrogate(u) && is_low_surrogate(w[i + 1])) {
      nb = 4;
      nu = 2;
    } else {
      nb = 3;  // BMP character, or U+FFFD for an unpaired surrogate
    }
    if (limit >= 0 && (limit_units ? r.units + nu : r.bytes + nb) > static_cast<std::size_t>(limit))
      break;
    r.bytes += nb;
    r.units += nu;
    i += nu - 1;
    r.src_units = i + 1;
  }
  return r;
}

template <class Out>
void write_wide(Out &o, const char16_t *w, std::size_t n) {
  char buf[256];
  std::size_t used = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (used > sizeof buf - 4) {
      o.put(buf, used);
      used = 0;
    }
    char32_t u = w[i];
    if (u < 0x80) {
      buf[used++] = static_cast<char>(u);
      continue;
    }
    char32_t cp = 0;
    int k = utf16_decode(w + i, w + n, &cp);
    if (k < 0) {
      std::memcpy(buf + used, kReplacement, 3);
      used += 3;
      continue;
    }
    used += static_cast<std::size_t>(utf8_encode(cp, buf + used));
    i += static_cast<std::size_t>(k - 1);
  }
  o.put(buf, used);
}

template <class Out>
void emit_wide_string(Out &o, const Directive &s, const char16_t *w, bool wide_family) {
  if (!w) w = u"(null)";
  WideRun r = measure_wide(w, s.prec, wide_family);
  std::size_t shown = wide_family ? r.units : r.bytes;
  std::size_t pad = s.width > shown ? s.width - shown : 0;
  if (pad && !(s.flags & kLeft)) o.fill(' ', pad);
  write_wide(o, w, r.src_units);
  if (pad && (s.flags & kLeft)) o.fill(' ', pad);
}

// Byte string in the wide family: UTF-8 that is repaired (invalid bytes
// become U+FFFD) and measured in UTF-16 units.
template <class Out>
void emit_utf8_in_wide(Out &o, const Directive &s, const char *t) {
  if (!t) t = "(null)";
  const auto *p = reinterpret_cast<const unsigned char *>(t);
  const unsigned char *end = p + std::strlen(t);
  std::string fixed;
  std::size_t units = 0;
  while (p < end) {
    char32_t cp = 0;
    int k = utf8_decode(p, end, &cp);
    std::size_t nu = (k > 0 && cp >= 0x10000) ? 2 : 1;
    if (s.prec >= 0 && units + nu > static_cast<std::size_t>(s.prec)) break;
    if (k < 0) {
      fixed.append(kReplacement, 3);
      p += 1;
    } else {
      fixed.append(reinterpret_cast<const char *>(p), static_cast<std::size_t>(k));
      p += k;
    }
    units += nu;
  }
  emit_field(o, s, nullptr, 0, fixed.data(), fixed.size(), 0, units);
}

// One UTF-16 unit as a character (a lone surrogate becomes U+FFFD).
template <class Out>
void emit_wide_char(Out &o, const Directive &s, unsigned u) {
  char b[4];
  u &= 0xFFFF;
  std::size_t n;
  if (u >= 0xD800 && u <= 0xDFFF) {
    std::memcpy(b, kReplacement, 3);
    n = 3;
  } else {
    n = static_cast<std::size_t>(utf8_encode(u, b));
  }
  emit_field(o, s, nullptr, 0, b, n, 0, 1);
}

// ---- the engine ---------------------------------------------------------------

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Reads a decimal number; false when it does not fit in an int.
inline bool read_number(const char *&p, std::size_t *out) {
  std::size_t v = 0;
  while (is_digit(*p)) {
    v = v * 10 + static_cast<std::size_t>(*p - '0');
    if (v > INT_MAX) return false;
    ++p;
  }
  *out = v;
  return true;
}

template <class Out>
int run(Out &o, const char *fmt, va_list ap, bool wide) {
  const char *p = fmt;
  for (;;) {
    const char *pct = ::strchrnul(p, '%');
    if (pct != p) o.put(p, static_cast<std::size_t>(pct - p));
    if (*pct == 0) break;
    p = pct + 1;
    Directive s;
    // Flags.
    for (;; ++p) {
      switch (*p) {
        case '-':
          s.flags |= kLeft;
          continue;
        case '+':
          s.flags |= kPlus;
          continue;
        case ' ':
          s.flags |= kSpace;
          continue;
        case '#':
          s.flags |= kAlt;
          continue;
        case '0':
          s.flags |= kZero;
          continue;
        case '\'':
          continue;  // digit grouping: none in the C locale
        default:
          break;
      }
      break;
    }
    // Width.
    if (*p == '*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        s.flags |= kLeft;
        w = w == INT_MIN ? INT_MAX : -w;
      }
      s.width = static_cast<std::size_t>(w);
      ++p;
    } else if (!read_number(p, &s.width)) {
      return -1;
    }
    // Precision.
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        int pr = va_arg(ap, int);
        s.prec = pr < 0 ? -1 : pr;
        ++p;
      } else {
        std::size_t pr;
        if (!read_number(p, &pr)) return -1;
        s.prec = static_cast<int>(pr);
      }
    }
    // Size prefix.
    switch (*p) {
      case 'h':
        s.len = Len::kH;
        if (*++p == 'h') {
          s.len = Len::kHH;
          ++p;
        }
        break;
      case 'l':
        s.len = Len::kL;
        if (*++p == 'l') {
          s.len = Len::kLL;
          ++p;
        }
        break;
      case 'q':
        s.len = Len::kLL;
        ++p;
        break;
      case 'j':
        s.len = Len::kJ;
        ++p;
        break;
      case 'z':
        s.len = Len::kZ;
        ++p;
        break;
      case 't':
        s.len = Len::kT;
        ++p;
        break;
      case 'L':
        s.len = Len::kBigL;
        ++p;
        break;
      case 'w':
        s.len = Len::kW;
        ++p;
        break;
      case 'I':
        if (p[1] == '6' && p[2] == '4') {
          s.len = Len::kI64;
          p += 3;
        } else if (p[1] == '3' && p[2] == '2') {
          s.len = Len::kI32;
          p += 3;
        } else {
          s.len = Len::kZ;  // "I": size_t/ptrdiff_t
          ++p;
        }
        break;
      default:
        break;
    }
    s.conv = *p++;
    switch (s.conv) {
      case 'd':
      case 'i': {
        long long v;
        if (reads_long(s.len))
          v = va_arg(ap, long);
        else if (reads_long_long(s.len))
          v = va_arg(ap, long long);
        else
          v = va_arg(ap, int);  // char and short arrive promoted
        emit_signed(o, s, narrow_signed(v, s.len));
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        unsigned long long v;
        if (reads_long(s.len))
          v = va_arg(ap, unsigned long);
        else if (reads_long_long(s.len))
          v = va_arg(ap, unsigned long long);
        else
          v = va_arg(ap, unsigned);
        emit_unsigned(o, s, narrow_unsigned(v, s.len));
        break;
      }
      case 'p': {
        void *v = va_arg(ap, void *);
        if (!v) {
          s.prec = -1;
          emit_field(o, s, nullptr, 0, "(nil)", 5, 0, 5);
        } else {
          s.flags &= ~kAlt;
          emit_integer(o, s, reinterpret_cast<std::uintptr_t>(v), false);
        }
        break;
      }
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (s.len == Len::kBigL)
          emit_float(o, s, va_arg(ap, long double));
        else
          emit_float(o, s, va_arg(ap, double));
        break;
      case 'c':
      case 'C': {
        bool wide_arg = s.len == Len::kL || s.len == Len::kW ||
                        (wide ? (s.conv == 'c' && s.len != Len::kH) : s.conv == 'C');
        unsigned v = va_arg(ap, unsigned);
        if (wide_arg) {
          emit_wide_char(o, s, v);
        } else if (wide && (v & 0xFF) >= 0x80) {
          emit_field(o, s, nullptr, 0, kReplacement, 3, 0, 1);
        } else {
          char c = static_cast<char>(v);
          emit_field(o, s, nullptr, 0, &c, 1, 0, 1);
        }
        break;
      }
      case 's':
      case 'S': {
        bool wide_arg = s.len == Len::kL || s.len == Len::kW ||
                        (wide ? (s.conv == 's' && s.len != Len::kH) : s.conv == 'S');
        if (wide_arg) {
          emit_wide_string(o, s, va_arg(ap, const char16_t *), wide);
        } else if (wide) {
          emit_utf8_in_wide(o, s, va_arg(ap, const char *));
        } else {
          const char *t = va_arg(ap, const char *);
          if (!t) t = (s.prec >= 0 && s.prec < 6) ? "" : "(null)";
          std::size_t n = bounded_len(t, s.prec);
          if (s.width == 0) {
            o.put(t, n);
          } else {
            emit_field(o, s, nullptr, 0, t, n, 0, n);
          }
        }
        break;
      }
      case 'n': {
        std::size_t t = count_so_far(o);
        void *dst = va_arg(ap, void *);
        switch (s.len) {
          case Len::kHH:
            *static_cast<signed char *>(dst) = static_cast<signed char>(t);
            break;
          case Len::kH:
            *static_cast<short *>(dst) = static_cast<short>(t);
            break;
          case Len::kL:
          case Len::kZ:
          case Len::kT:
            *static_cast<long *>(dst) = static_cast<long>(t);
            break;
          case Len::kLL:
          case Len::kJ:
          case Len::kI64:
            *static_cast<long long *>(dst) = static_cast<long long>(t);
            break;
          default:
            *static_cast<int *>(dst) = static_cast<int>(t);
            break;
        }
        break;
      }
      case '%':
        o.put1('%');
        break;
      default:
        return -1;  // unknown directive, or the format ends inside one
    }
  }
  return o.total > static_cast<std::size_t>(INT_MAX) ? -1 : 0;
}

// The engine's own reading of a conversion specification read elsewhere.
Directive directive_of(const FormatItem &item) {
  Directive s;
  s.flags = item.flags;
  s.width = item.width;
  s.prec = item.prec;
  switch (item.size) {
    case FormatItem::Size::kShort:
      s.len = Len::kH;
      break;
    case FormatItem::Size::kLong:
      s.len = Len::kL;
      break;
    case FormatItem::Size::kLongLong:
      s.len = Len::kLL;
      break;
    default:
      break;
  }
  s.conv = item.conv;
  return s;
}

std::ptrdiff_t item_length(const BufOut &o) {
  return o.total > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<std::ptrdiff_t>(o.total);
}

}  // namespace

// The three forms below follow the cases of run() for the letters they take.

std::ptrdiff_t format_item(char *dst, std::size_t room, const FormatItem &item, long long value) {
  BufOut o{dst, room};
  Directive s = directive_of(item);
  switch (s.conv) {
    case 'd':
    case 'i':
      emit_signed(o, s, narrow_signed(value, s.len));
      break;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      emit_unsigned(o, s, narrow_unsigned(static_cast<unsigned long long>(value), s.len));
      break;
    case 'c': {
      if (s.len != Len::kNone) return -1;  // a wide character
      char c = static_cast<char>(value);
      emit_field(o, s, nullptr, 0, &c, 1, 0, 1);
      break;
    }
    default:
      return -1;
  }
  return item_length(o);
}

std::ptrdiff_t format_item(char *dst, std::size_t room, const FormatItem &item, double value) {
  BufOut o{dst, room};
  Directive s = directive_of(item);
  switch (s.conv) {
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
      emit_float(o, s, value);
      break;
    default:
      return -1;
  }
  return item_length(o);
}

std::ptrdiff_t format_item(char *dst, std::size_t room, const FormatItem &item, const void *value) {
  BufOut o{dst, room};
  Directive s = directive_of(item);
  if (s.conv == 'p') {
    if (!value) {
      s.prec = -1;
      emit_field(o, s, nullptr, 0, "(nil)", 5, 0, 5);
    } else {
      s.flags &= ~kAlt;
      emit_integer(o, s, reinterpret_cast<std::uintptr_t>(value), false);
    }
  } else if (s.conv == 's' && s.len == Len::kNone) {
    const char *t = static_cast<const char *>(value);
    if (!t) t = (s.prec >= 0 && s.prec < 6) ? "" : "(null)";
    std::size_t n = bounded_len(t, s.prec);
    if (s.width == 0)
      o.put(t, n);
    else
      emit_field(o, s, nullptr, 0, t, n, 0, n);
  } else {
    return -1;
  }
  return item_length(o);
}

int format_to_buffer(char *dst, std::size_t room, const char *format, va_list args,
                     std::size_t *total) {
  BufOut o{dst, room};
  int rc = format ? run(o, format, args, false) : -1;
  *total = o.total;
  return rc;
}

int format_wide_utf8(std::string &out, const char *format, va_list args, std::size_t *units) {
  StrOut o{&out};
  int rc;
  try {
    rc = run(o, format, args, true);
  } catch (const std::bad_alloc &) {
    return -1;
  }
  // The staged text is valid UTF-8: count its UTF-16 units.
  std::size_t n = 0;
  for (unsigned char c : out) {
    if ((c & 0xC0) != 0x80) ++n;
    if (c >= 0xF0) ++n;
  }
  *units = n;
  return rc;
}

}  // namespace kw::runtime

using kw::runtime::format_to_buffer;

// ---- the exported family -------------------------------------------------------

KW_API int btk_printf_stream_low(btk_out_sink *sink, const char *format, va_list args) {
  if (!sink || !sink->ops || !sink->ops->write) return -1;
  kw::runtime::SinkOut o(sink);
  int rc = format ? kw::runtime::run(o, format, args, false) : -1;
  o.flush();
  if (sink->ops->finish) sink->ops->finish(sink);
  if (rc < 0) return -1;
  return o.accepted > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(o.accepted);
}

KW_API int btk_vsnprintf(char *dst, size_t size, const char *format, va_list args) {
  if (!dst) size = 0;
  std::size_t total;
  int rc = format_to_buffer(dst, size ? size - 1 : 0, format, args, &total);
  if (size) dst[total < size ? total : size - 1] = '\0';
  return rc < 0 ? -1 : static_cast<int>(total);
}

KW_API int btk_snprintf(char *dst, size_t size, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = btk_vsnprintf(dst, size, format, ap);
  va_end(ap);
  return n;
}

KW_API int btk_vsprintf(char *dst, const char *format, va_list args) {
  if (!dst) return -1;
  std::size_t total;
  int rc = format_to_buffer(dst, SIZE_MAX, format, args, &total);
  dst[total] = '\0';
  return rc < 0 ? -1 : static_cast<int>(total);
}

KW_API int btk_sprintf(char *dst, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = btk_vsprintf(dst, format, ap);
  va_end(ap);
  return n;
}

namespace {

struct FileSink {
  btk_out_sink base;
  FILE *stream;
  bool failed;
};

int file_write(btk_out_sink *sink, const char *bytes, size_t n) {
  auto *f = reinterpret_cast<FileSink *>(sink);
  if (fwrite_unlocked(bytes, 1, n, f->stream) != n) {
    f->failed = true;
    return -1;
  }
  return 0;
}

constexpr btk_out_ops kFileOps = {file_write, nullptr, nullptr, nullptr};

}  // namespace

KW_API int btk_vfprintf(FILE *stream, const char *format, va_list args) {
  if (!stream) return -1;
  FileSink sink{{&kFileOps}, stream, false};
  flockfile(stream);
  int n = btk_printf_stream_low(&sink.base, format, args);
  funlockfile(stream);
  return sink.failed ? -1 : n;
}

KW_API int btk_fprintf(FILE *stream, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = btk_vfprintf(stream, format, ap);
  va_end(ap);
  return n;
}
