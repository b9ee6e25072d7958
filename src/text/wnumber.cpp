// Number parsing on wide strings and the arithmetic-expression evaluator
// behind kw_wstoexp and kw_wsisexp.
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "keelwork/btk_unicode.h"
#include "keelwork/wstring.h"
#include "text/wstring_internal.h"

namespace {

// The ASCII text that starts at `p`, up to the first unit outside ASCII.
std::string ascii_prefix(const kw_wchar *p) {
  std::string s;
  for (; *p && *p < 0x80; ++p) s.push_back(static_cast<char>(*p));
  return s;
}

const kw_wchar *skip_space(const kw_wchar *p) {
  while (*p && btk_iswspace(*p)) ++p;
  return p;
}

const kw_wchar *skip_digits(const kw_wchar *p, int *count) {
  *count = 0;
  while (btk_iswdigit(*p)) ++p, ++*count;
  return p;
}

// ---- the default evaluator -----------------------------------------------------

enum Status { kOk = 0, kSyntax = 1, kDivideByZero = 2, kRange = 3, kTooDeep = 4 };

struct Value {
  bool is_int = true;
  int64_t i = 0;
  double r = 0;
  double real() const { return is_int ? static_cast<double>(i) : r; }
};

Value real_value(double d) {
  Value v;
  v.is_int = false;
  v.r = d;
  return v;
}

Value int_value(int64_t i) {
  Value v;
  v.i = i;
  return v;
}

// Recursive descent over + - * / ^, unary signs and parentheses.
class Parser {
 public:
  explicit Parser(const kw_wchar *text) : p_(text) {}

  Status parse(Value *out) {
    Status s = expression(out, 0);
    if (s != kOk) return s;
    skip();
    if (*p_) return kSyntax;
    if (!out->is_int && !std::isfinite(out->r)) return kRange;
    return kOk;
  }

 private:
  static constexpr int kMaxDepth = 200;

  void skip() { p_ = skip_space(p_); }

  bool accept(char c) {
    skip();
    if (*p_ != c) return false;
    ++p_;
    return true;
  }

  Status expression(Value *v, int depth) {
    if (Status s = term(v, depth); s != kOk) return s;
    for (;;) {
      bool add = accept('+');
      if (!add && !accept('-')) return kOk;
      Value rhs;
      if (Status s = term(&rhs, depth); s != kOk) return s;
      *v = add ? plus(*v, rhs) : minus(*v, rhs);
    }
  }

  Status term(Value *v, int depth) {
    if (Status s = unary(v, depth); s != kOk) return s;
    for (;;) {
      bool mul = accept('*');
      if (!mul && !accept('/')) return kOk;
      Value rhs;
      if (Status s = unary(&rhs, depth); s != kOk) return s;
      if (mul) {
        *v = times(*v, rhs);
      } else if (Status s = divide(v, rhs); s != kOk) {
        return s;
      }
    }
  }

  Status unary(Value *v, int depth) {
    if (depth > kMaxDepth) return kTooDeep;
    if (accept('-')) {
      if (Status s = unary(v, depth + 1); s != kOk) return s;
      *v = negate(*v);
      return kOk;
    }
    if (accept('+')) return unary(v, depth + 1);
    return power(v, depth);
  }

  Status power(Value *v, int depth) {
    if (Status s = primary(v, depth); s != kOk) return s;
    if (!accept('^')) return kOk;
    Value exponent;
    if (Status s = unary(&exponent, depth + 1); s != kOk) return s;
    return raise(v, exponent);
  }

  Status primary(Value *v, int depth) {
    skip();
    if (accept('(')) {
      if (depth > kMaxDepth) return kTooDeep;
      if (Status s = expression(v, depth + 1); s != kOk) return s;
      return accept(')') ? kOk : kSyntax;
    }
    return number(v);
  }

  Status number(Value *v) {
    std::string text;
    const kw_wchar *q = p_;
    bool real = false;
    while (btk_iswdigit(*q)) text.push_back(static_cast<char>(*q++));
    if (*q == '.') {
      real = true;
      text.push_back('.');
      ++q;
      while (btk_iswdigit(*q)) text.push_back(static_cast<char>(*q++));
    }
    if (text.empty() || text == ".") return kSyntax;
    if (*q == 'e' || *q == 'E') {
      const kw_wchar *e = q + 1;
      std::string exp = "e";
      if (*e == '+' || *e == '-') exp.push_back(static_cast<char>(*e++));
      if (btk_iswdigit(*e)) {
        while (btk_iswdigit(*e)) exp.push_back(static_cast<char>(*e++));
        text += exp;
        real = true;
        q = e;
      }
    }
    p_ = q;
    if (!real) {
      int64_t i = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), i);
      if (ec == std::errc() && end == text.data() + text.size()) {
        *v = int_value(i);
        return kOk;
      }
    }
    double d = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ec != std::errc() || end != text.data() + text.size()) return kRange;
    *v = real_value(d);
    return kOk;
  }

  static Value plus(Value a, Value b) {
    int64_t r;
    if (a.is_int && b.is_int && !__builtin_add_overflow(a.i, b.i, &r)) return int_value(r);
    return real_value(a.real() + b.real());
  }

  static Value minus(Value a, Value b) {
    int64_t r;
    if (a.is_int && b.is_int && !__builtin_sub_overflow(a.i, b.i, &r)) return int_value(r);
    return real_value(a.real() - b.real());
  }

  static Value times(Value a, Value b) {
    int64_t r;
    if (a.is_int && b.is_int && !__builtin_mul_overflow(a.i, b.i, &r)) return int_value(r);
    return real_value(a.real() * b.real());
  }

  static Value negate(Value a) {
    if (a.is_int && a.i != INT64_MIN) return int_value(-a.i);
    return real_value(-a.real());
  }

  static Status divide(Value *a, Value b) {
    if (b.real() == 0) return kDivideByZero;
    if (a->is_int && b.is_int && !(a->i == INT64_MIN && b.i == -1) && a->i % b.i == 0) {
      *a = int_value(a->i / b.i);
      return kOk;
    }
    *a = real_value(a->real() / b.real());
    return kOk;
  }

  static Status raise(Value *base, Value exponent) {
    if (base->is_int && exponent.is_int && exponent.i >= 0) {
      int64_t result = 1, b = base->i, e = exponent.i;
      bool overflow = false;
      while (e > 0 && !overflow) {
        if (e & 1) overflow = __builtin_mul_overflow(result, b, &result);
        e >>= 1;
        if (e > 0 && !overflow) overflow = __builtin_mul_overflow(b, b, &b);
      }
      if (!overflow) {
        *base = int_value(result);
        return kOk;
      }
    }
    double r = std::pow(base->real(), exponent.real());
    if (!std::isfinite(r)) return kRange;
    *base = real_value(r);
    return kOk;
  }

  const kw_wchar *p_;
};

std::atomic<kw_expr_evaluator> g_evaluator{nullptr};

bool evaluate_number(const kw_wchar *w, double *value) {
  if (!w) return false;
  kw_expr_evaluator evaluate = g_evaluator.load();
  if (!evaluate) evaluate = kw_eval_arith_expr;
  kw_expr_value v{};
  if (evaluate(w, &v) != 0) return false;
  if (v.type == KW_EXPR_INTEGER) {
    if (value) *value = static_cast<double>(v.integer);
    return true;
  }
  if (v.type == KW_EXPR_REAL) {
    if (value) *value = v.real;
    return true;
  }
  return false;
}

}  // namespace

// ---- conversions -------------------------------------------------------------------

KW_API double watof(const kw_wchar *w) {
  if (!w) return 0;
  std::string bytes;
  kw::text::to_bytes(w, bytes);
  return std::strtod(bytes.c_str(), nullptr);
}

KW_API long watol(const kw_wchar *w) {
  if (!w) return 0;
  std::string bytes;
  kw::text::to_bytes(w, bytes);
  return std::strtol(bytes.c_str(), nullptr, 10);
}

KW_API int watoi(const kw_wchar *w) { return static_cast<int>(watol(w)); }

KW_API long vex_wstrtol(const kw_wchar *w, kw_wchar **end, int base) {
  if (!w) return 0;
  const kw_wchar *p = skip_space(w);
  std::string text = ascii_prefix(p);
  char *stop = nullptr;
  long value = std::strtol(text.c_str(), &stop, base);
  if (end) *end = const_cast<kw_wchar *>(stop == text.c_str() ? w : p + (stop - text.c_str()));
  return value;
}

KW_API double vex_wstrtod(const kw_wchar *w, kw_wchar **end) {
  if (!w) return 0;
  const kw_wchar *p = skip_space(w);
  std::string text = ascii_prefix(p);
  char *stop = nullptr;
  double value = std::strtod(text.c_str(), &stop);
  if (end) *end = const_cast<kw_wchar *>(stop == text.c_str() ? w : p + (stop - text.c_str()));
  return value;
}

KW_API int vex_wstrtol_s(const kw_wchar *w, kw_wchar **end, int base, long *result) {
  errno = 0;
  long value = vex_wstrtol(w, end, base);
  int error = errno;
  if (result) *result = value;
  return error;
}

// ---- checks ----------------------------------------------------------------------------

KW_API int kw_wc_eq_char(kw_wchar wc, int c) {
  char bytes[4];
  return btk_wctomb(bytes, wc) == 1 && bytes[0] == static_cast<char>(c);
}

KW_API int kw_wsisinteger(const kw_wchar *w) {
  if (!w) return 0;
  const kw_wchar *p = skip_space(w);
  if (kw_wc_eq_char(*p, '-') || kw_wc_eq_char(*p, '+')) ++p;
  int digits;
  p = skip_digits(p, &digits);
  if (!digits) return 0;
  return *skip_space(p) == 0;
}

KW_API int kw_wsisfloat(const kw_wchar *w) {
  if (!w) return 0;
  const kw_wchar *p = skip_space(w);
  if (kw_wc_eq_char(*p, '-') || kw_wc_eq_char(*p, '+')) ++p;
  int before, after = 0;
  p = skip_digits(p, &before);
  if (*p && kw_wc_eq_char(*p, '.')) {
    p = skip_digits(p + 1, &after);
    if (!after) return 0;  // a point must be followed by a digit
  }
  if (!before && !after) return 0;
  if (*p && (kw_wc_eq_char(*p, 'e') || kw_wc_eq_char(*p, 'E'))) {
    ++p;
    if (kw_wc_eq_char(*p, '-') || kw_wc_eq_char(*p, '+')) ++p;
    int digits;
    const kw_wchar *first = p;
    p = skip_digits(p, &digits);
    if (!digits) return 0;
    int value = 0;
    for (int i = 0; i < digits && i < 3; ++i) value = value * 10 + (first[i] - '0');
    if (value >= 39) return 0;
  }
  return *skip_space(p) == 0;
}

// ---- expressions ------------------------------------------------------------------------

KW_API int kw_eval_arith_expr(const kw_wchar *text, kw_expr_value *value) {
  if (!text || !value) return kSyntax;
  Value v;
  Status s = Parser(text).parse(&v);
  if (s != kOk) return s;
  value->type = v.is_int ? KW_EXPR_INTEGER : KW_EXPR_REAL;
  value->integer = v.is_int ? v.i : 0;
  value->real = v.real();
  return kOk;
}

KW_API kw_expr_evaluator kw_set_expr_evaluator(kw_expr_evaluator evaluator) {
  kw_expr_evaluator old = g_evaluator.exchange(evaluator);
  return old ? old : kw_eval_arith_expr;
}

KW_API int kw_wstoexp(const kw_wchar *w, double *value) {
  double v = 0;
  if (!evaluate_number(w, &v)) return 0;
  if (value) *value = v;
  return 1;
}

KW_API int kw_wsisexp(const kw_wchar *w) { return evaluate_number(w, nullptr) ? 1 : 0; }
