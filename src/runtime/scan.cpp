// The runtime scanner: C99 scanf directives plus `I64` and `%ws`, over a
// direct byte range or a getc/ungetc source.
//
// The scanner never reads past the end of a direct source, never depends on
// the process locale (numbers are parsed with std::from_chars) and stops
// cleanly at a malformed format.
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "keelwork/btk_format.h"
#include "runtime/utf_internal.h"

namespace {

using kw::runtime::utf16_encode;
using kw::runtime::utf8_decode;

constexpr int kMalformed = -2;

// Reads bytes from the source with one byte of look-ahead. Direct sources
// can also be rewound to any earlier position.
class Reader {
 public:
  explicit Reader(btk_in_source *s) : s_(s), direct_(!s->ops || !s->ops->getc) {
    if (direct_) {
      p_ = s->cur ? s->cur : s->start;
      end_ = s->end;
      if (!p_ || !end_ || end_ < p_) p_ = end_ = nullptr;
    }
  }
  // The next byte, or -1 at the end.
  int peek() {
    if (direct_) return p_ < end_ ? static_cast<unsigned char>(*p_) : -1;
    if (ahead_ == kNone) ahead_ = s_->ops->getc(s_);
    return ahead_ < 0 ? -1 : ahead_;
  }
  void next() {
    ++count_;
    if (direct_)
      ++p_;
    else
      ahead_ = kNone;
  }
  std::size_t count() const { return count_; }
  bool direct() const { return direct_; }
  const char *pos() const { return p_; }
  void rewind(const char *p, std::size_t count) {
    p_ = p;
    count_ = count;
  }
  // Gives the look-ahead back to the source when done.
  void finish() {
    if (direct_)
      s_->cur = p_;
    else if (ahead_ >= 0 && s_->ops->ungetc)
      s_->ops->ungetc(s_, ahead_);
  }

 private:
  static constexpr int kNone = -2;
  btk_in_source *s_;
  bool direct_;
  const char *p_ = nullptr;
  const char *end_ = nullptr;
  int ahead_ = kNone;
  std::size_t count_ = 0;
};

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

enum class Len { kNone, kHH, kH, kL, kLL, kJ, kZ, kT, kBigL, kW };

void store_int(void *dst, Len len, std::uint64_t v) {
  switch (len) {
    case Len::kHH:
      *static_cast<unsigned char *>(dst) = static_cast<unsigned char>(v);
      break;
    case Len::kH:
      *static_cast<unsigned short *>(dst) = static_cast<unsigned short>(v);
      break;
    case Len::kL:
    case Len::kZ:
    case Len::kT:
      *static_cast<unsigned long *>(dst) = static_cast<unsigned long>(v);
      break;
    case Len::kLL:
    case Len::kJ:
      *static_cast<unsigned long long *>(dst) = v;
      break;
    default:
      *static_cast<unsigned *>(dst) = static_cast<unsigned>(v);
      break;
  }
}

// Reads an integer of `base` (0: by prefix) from at most `width` bytes.
// Returns false when no digit was found. Values beyond 64 bits saturate the
// way strtoull/strtoll do.
bool scan_integer(Reader &in, std::size_t width, int base, bool is_signed, std::uint64_t *out) {
  bool neg = false;
  int c = in.peek();
  if ((c == '-' || c == '+') && width > 0) {
    neg = c == '-';
    in.next();
    --width;
    c = in.peek();
  }
  bool any = false;
  if (c == '0' && width > 0 && (base == 0 || base == 16)) {
    in.next();
    --width;
    any = true;
    c = in.peek();
    if ((c == 'x' || c == 'X') && width > 0) {
      in.next();
      --width;
      base = 16;
      c = in.peek();
    } else if (base == 0) {
      base = 8;
    }
  }
  if (base == 0) base = 10;
  std::uint64_t v = 0;
  bool overflow = false;
  while (width > 0) {
    int d = c < 0 ? 99 : digit_value(c);
    if (d >= base) break;
    if (v > (UINT64_MAX - static_cast<unsigned>(d)) / static_cast<unsigned>(base))
      overflow = true;
    else
      v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    any = true;
    in.next();
    --width;
    c = in.peek();
  }
  if (!any) return false;
  if (is_signed) {
    std::uint64_t limit = neg ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    if (overflow || v > limit) v = limit;
    *out = neg ? 0 - v : v;
  } else {
    if (overflow) v = UINT64_MAX, neg = false;
    *out = neg ? 0 - v : v;
  }
  return true;
}

// Collects the longest text that can begin a floating-point number and
// parses it. Direct sources are rewound to the end of what was used.
template <class F>
bool scan_float(Reader &in, std::size_t width, F *out) {
  std::string text;  // as long as the number is: a cut would misplace the rest
  std::size_t n = 0;
  const char *start = in.pos();
  std::size_t start_count = in.count();
  auto take = [&](int c) {
    text.push_back(static_cast<char>(c));
    ++n;
    in.next();
    --width;
  };
  int c = in.peek();
  bool neg = false;
  std::size_t sign_len = 0;
  if ((c == '-' || c == '+') && width > 0) {
    neg = c == '-';
    sign_len = 1;
    in.next();
    --width;
    c = in.peek();
  }
  const std::size_t body = 0;
  bool hex = false;
  auto lower = [](int ch) { return ch >= 'A' && ch <= 'Z' ? ch + 32 : ch; };
  if (lower(c) == 'i' || lower(c) == 'n') {
    // inf, infinity, nan, nan(chars)
    while (width > 0 && c >= 0 &&
           ((lower(c) >= 'a' && lower(c) <= 'z') ||
            (n > body && (c == '(' || c == ')' || c == '_' || (c >= '0' && c <= '9'))))) {
      bool close = c == ')';
      take(c);
      c = in.peek();
      if (close) break;
    }
  } else {
    if (c == '0' && width > 0) {
      take(c);
      c = in.peek();
      if ((c == 'x' || c == 'X') && width > 0) {
        hex = true;
        in.next();
        --width;
        n = body;  // from_chars takes hex digits without the prefix
        text.clear();
        c = in.peek();
      }
    }
    auto is_digit = [hex](int ch) {
      return (ch >= '0' && ch <= '9') ||
             (hex && ((ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F')));
    };
    while (width > 0 && is_digit(c)) {
      take(c);
      c = in.peek();
    }
    if (c == '.' && width > 0) {
      take(c);
      c = in.peek();
      while (width > 0 && is_digit(c)) {
        take(c);
        c = in.peek();
      }
    }
    int e = hex ? 'p' : 'e';
    if (lower(c) == e && width > 0) {
      take(c);
      c = in.peek();
      if ((c == '-' || c == '+') && width > 0) {
        take(c);
        c = in.peek();
      }
      while (width > 0 && c >= '0' && c <= '9') {
        take(c);
        c = in.peek();
      }
    }
  }
  const char *buf = text.c_str();
  F v{};
  std::from_chars_result r;
  if (hex) {
    if (n == body) {
      // "0x" with no digits: the number is the 0 before the x.
      if (in.direct()) in.rewind(start + sign_len + 1, start_count + sign_len + 1);
      *out = neg ? -F(0) : F(0);
      return true;
    }
    r = std::from_chars(buf + body, buf + n, v, std::chars_format::hex);
  } else {
    r = std::from_chars(buf + body, buf + n, v);
  }
  if (r.ec == std::errc::invalid_argument) return false;
  if (in.direct()) {
    // Give back what the number did not use ("1e" of "1ex", "infx").
    std::size_t used = static_cast<std::size_t>(r.ptr - buf) + (hex ? 2 : 0) + sign_len;
    in.rewind(start + used, start_count + used);
  }
  if (r.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone: produce strtod's results.
    bool tiny = false;
    for (const char *q = buf + body; q < r.ptr; ++q)
      if (*q == 'e' || *q == 'E' || *q == 'p' || *q == 'P') {
        tiny = q[1] == '-';
        break;
      }
    v = tiny ? F(0) : std::numeric_limits<F>::infinity();
  }
  *out = neg ? -v : v;
  return true;
}

// Parses a scanset after "[": fills `set` and returns the position after
// "]", or null when the set is not closed.
const char *parse_scanset(const char *f, bool set[256]) {
  bool negate = false;
  if (*f == '^') {
    negate = true;
    ++f;
  }
  bool member[256] = {};
  bool first = true;
  for (;; first = false) {
    unsigned char c = static_cast<unsigned char>(*f);
    if (c == 0) return nullptr;
    if (c == ']' && !first) break;
    if (f[1] == '-' && f[2] && f[2] != ']' && static_cast<unsigned char>(f[2]) >= c) {
      for (unsigned x = c; x <= static_cast<unsigned char>(f[2]); ++x) member[x] = true;
      f += 3;
      continue;
    }
    member[c] = true;
    ++f;
  }
  for (int i = 0; i < 256; ++i) set[i] = member[i] != negate;
  return f + 1;
}

// Stores UTF-8 text as a UTF-16 string of at most `cap` units plus NUL.
// False when the text is not valid UTF-8.
bool store_utf16(const std::string &t, char16_t *dst) {
  const auto *p = reinterpret_cast<const unsigned char *>(t.data());
  const unsigned char *end = p + t.size();
  std::size_t o = 0;
  while (p < end) {
    char32_t cp = 0;
    int k = utf8_decode(p, end, &cp);
    if (k < 0) return false;
    if (dst) o += static_cast<std::size_t>(utf16_encode(cp, dst + o));
    p += k;
  }
  if (dst) dst[o] = 0;
  return true;
}

// Length of the UTF-8 sequence a lead byte announces (1 for bad leads).
inline int utf8_len(int lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

int scan(btk_in_source *source, const char *f, va_list ap) {
  Reader in(source);
  int assigned = 0;
  // As glibc: the end of input before anything was assigned is "end of
  // input", even after suppressed conversions.
  auto input_failure = [&]() { return assigned ? assigned : -1; };
  int rc;
  for (;;) {
    unsigned char fc = static_cast<unsigned char>(*f);
    if (fc == 0) {
      rc = assigned;
      break;
    }
    if (is_space(fc)) {
      while (is_space(static_cast<unsigned char>(*f))) ++f;
      while (is_space(in.peek())) in.next();
      continue;
    }
    if (fc != '%') {
      int c = in.peek();
      if (c < 0) {
        rc = input_failure();
        break;
      }
      if (c != fc) {
        rc = assigned;
        break;
      }
      in.next();
      ++f;
      continue;
    }
    ++f;
    if (*f == '%') {
      while (is_space(in.peek())) in.next();
      int c = in.peek();
      if (c < 0) {
        rc = input_failure();
        break;
      }
      if (c != '%') {
        rc = assigned;
        break;
      }
      in.next();
      ++f;
      continue;
    }
    bool suppress = false;
    if (*f == '*') {
      suppress = true;
      ++f;
    }
    std::size_t width = 0;
    bool has_width = false;
    while (*f >= '0' && *f <= '9') {
      has_width = true;
      width = width * 10 + static_cast<std::size_t>(*f - '0');
      if (width > INT_MAX) return kMalformed;
      ++f;
    }
    if (has_width && width == 0) {
      rc = kMalformed;
      break;
    }
    Len len = Len::kNone;
    switch (*f) {
      case 'h':
        len = Len::kH;
        if (*++f == 'h') len = Len::kHH, ++f;
        break;
      case 'l':
        len = Len::kL;
        if (*++f == 'l') len = Len::kLL, ++f;
        break;
      case 'q':
        len = Len::kLL;
        ++f;
        break;
      case 'j':
        len = Len::kJ;
        ++f;
        break;
      case 'z':
        len = Len::kZ;
        ++f;
        break;
      case 't':
        len = Len::kT;
        ++f;
        break;
      case 'L':
        len = Len::kBigL;
        ++f;
        break;
      case 'w':
        len = Len::kW;
        ++f;
        break;
      case 'I':
        if (f[1] == '6' && f[2] == '4') {
          len = Len::kLL;
          f += 3;
        } else if (f[1] == '3' && f[2] == '2') {
          len = Len::kNone;
          f += 3;
        } else {
          len = Len::kZ;
          ++f;
        }
        break;
      default:
        break;
    }
    char conv = *f++;
    if (!has_width) width = SIZE_MAX;
    bool wide = len == Len::kL || len == Len::kW || conv == 'S' || conv == 'C';
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
      case 'p': {
        while (is_space(in.peek())) in.next();
        if (in.peek() < 0) return in.finish(), input_failure();
        int base = conv == 'd' || conv == 'u' ? 10 : conv == 'i' ? 0 : conv == 'o' ? 8 : 16;
        std::uint64_t v;
        if (!scan_integer(in, width, base, conv == 'd' || conv == 'i', &v)) {
          in.finish();
          return assigned;
        }
        if (!suppress) {
          void *dst = va_arg(ap, void *);
          if (conv == 'p')
            *static_cast<void **>(dst) = reinterpret_cast<void *>(static_cast<std::uintptr_t>(v));
          else
            store_int(dst, len, v);
          ++assigned;
        }
        continue;
      }
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        while (is_space(in.peek())) in.next();
        if (in.peek() < 0) return in.finish(), input_failure();
        bool ok;
        if (len == Len::kBigL) {
          long double v;
          ok = scan_float(in, width, &v);
          if (ok && !suppress) *va_arg(ap, long double *) = v;
        } else if (len == Len::kL) {
          double v;
          ok = scan_float(in, width, &v);
          if (ok && !suppress) *va_arg(ap, double *) = v;
        } else {
          float v;
          ok = scan_float(in, width, &v);
          if (ok && !suppress) *va_arg(ap, float *) = v;
        }
        if (!ok) {
          in.finish();
          return assigned;
        }
        if (!suppress) ++assigned;
        continue;
      }
      case 's':
      case 'S':
      case '[':
      case 'c':
      case 'C': {
        bool set[256];
        bool is_c = conv == 'c' || conv == 'C';
        if (conv == '[') {
          f = parse_scanset(f, set);
          if (!f) {
            in.finish();
            return kMalformed;
          }
        } else if (!is_c) {
          for (int i = 0; i < 256; ++i) set[i] = !is_space(i);
          set[0] = true;
        }
        if (conv == 's' || conv == 'S') {
          while (is_space(in.peek())) in.next();
        }
        if (is_c && !has_width) width = 1;
        if (in.peek() < 0) return in.finish(), input_failure();
        if (!wide) {
          char *dst = suppress ? nullptr : va_arg(ap, char *);
          std::size_t n = 0;
          while (n < width) {
            int c = in.peek();
            if (c < 0 || (!is_c && !set[c])) break;
            if (dst) dst[n] = static_cast<char>(c);
            ++n;
            in.next();
          }
          if (n == 0 || (is_c && n < width)) {
            in.finish();
            return n == 0 && in.peek() < 0 ? input_failure() : assigned;
          }
          if (dst && !is_c) dst[n] = 0;
        } else {
          // UTF-8 input to UTF-16: whole characters; the width counts the
          // UTF-16 units stored (%s, %[) or the characters read (%c).
          char16_t *dst = suppress ? nullptr : va_arg(ap, char16_t *);
          std::string text;
          std::size_t units = 0, chars = 0;
          bool bad = false;
          while (is_c ? chars < width : units < width) {
            int c = in.peek();
            if (c < 0 || (!is_c && !set[c])) break;
            int k = utf8_len(c);
            unsigned char seq[4];
            int got = 0;
            while (got < k) {
              int b = in.peek();
              if (b < 0 || (got > 0 && (b & 0xC0) != 0x80)) break;
              seq[got++] = static_cast<unsigned char>(b);
              in.next();
            }
            char32_t cp = 0;
            if (utf8_decode(seq, seq + got, &cp) != k) {
              bad = true;
              break;
            }
            std::size_t nu = cp >= 0x10000 ? 2 : 1;
            if (!is_c && units + nu > width) {
              bad = true;  // no room left for this character
              break;
            }
            text.append(reinterpret_cast<const char *>(seq), static_cast<std::size_t>(k));
            units += nu;
            ++chars;
          }
          if (bad || text.empty() || (is_c && chars < width)) {
            in.finish();
            return assigned;
          }
          if (dst) {
            if (is_c) {
              std::string copy = text;
              // %lc stores units without a terminator.
              const auto *p = reinterpret_cast<const unsigned char *>(copy.data());
              const unsigned char *end = p + copy.size();
              std::size_t o = 0;
              while (p < end) {
                char32_t cp = 0;
                int k = utf8_decode(p, end, &cp);
                o += static_cast<std::size_t>(utf16_encode(cp, dst + o));
                p += k;
              }
            } else {
              store_utf16(text, dst);
            }
          }
        }
        if (!suppress) ++assigned;
        continue;
      }
      case 'n':
        if (!suppress) {
          std::uint64_t v = in.count();
          store_int(va_arg(ap, void *), len, v);
        }
        continue;
      default:
        in.finish();
        return kMalformed;
    }
  }
  in.finish();
  return rc;
}

}  // namespace

KW_API int btk_scanf_stream_low(btk_in_source *source, const char *format, va_list args,
                                void *extra) {
  (void)extra;
  if (!source || !format) return kMalformed;
  try {
    return scan(source, format, args);
  } catch (...) {  // out of memory while collecting a field
    return kMalformed;
  }
}

KW_API int btk_vsscanf(const char *text, const char *format, va_list args) {
  if (!text || !format) return kMalformed;
  btk_in_source src{nullptr, text, text, text + std::strlen(text)};
  return btk_scanf_stream_low(&src, format, args, nullptr);
}

KW_API int btk_sscanf(const char *text, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = btk_vsscanf(text, format, ap);
  va_end(ap);
  return n;
}
