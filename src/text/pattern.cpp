// Wildcard filters and glob matching.
//
// Both matchers keep the classic results but not the classic cost: trying
// the rest of the pattern at every suffix for each "*" takes exponential
// time on patterns with many stars. Filters (only "*" and "?") use the
// linear backtracking to the last star, which is exact for them; globs
// remember from which text position each star has failed, so no star
// tries a position twice.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "keelwork/pattern.h"
#include "keelwork/strutil.h"
#include "keelwork/vexformat.h"
#include "keelwork/wstring.h"
#include "text/wstring_internal.h"

namespace {

std::atomic<int> g_glob_debug{0};

// Filter matching over units of type T with the unit equality `eq`;
// `question` says whether "?" is a wildcard.
template <class T, class Eq>
bool filter_match(const T *s, std::size_t n, const T *f, std::size_t m, bool question, Eq eq) {
  std::size_t si = 0, fi = 0, star = SIZE_MAX, mark = 0;
  while (si < n) {
    if (fi < m && f[fi] == '*') {
      star = fi++;
      mark = si;
    } else if (fi < m && ((question && f[fi] == '?') || eq(f[fi], s[si]))) {
      ++fi;
      ++si;
    } else if (star != SIZE_MAX) {
      fi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (fi < m && f[fi] == '*') ++fi;
  return fi == m;
}

template <class T>
std::size_t length(const T *s) {
  return std::char_traits<T>::length(s);
}

// ---- glob ------------------------------------------------------------------------

// A vector that keeps its first N elements inline, so that short patterns
// match without touching the heap.
template <class T, std::size_t N>
class SmallVector {
 public:
  void assign(std::size_t n, const T &value) {
    heap_.clear();
    size_ = n;
    if (n > N) heap_.assign(n, value);
    for (std::size_t i = 0; i < n && i < N; ++i) inline_[i] = value;
  }
  void push_back(const T &value) {
    if (size_ < N && heap_.empty()) {
      inline_[size_++] = value;
      return;
    }
    if (heap_.empty()) heap_.assign(inline_, inline_ + size_);
    heap_.push_back(value);
    ++size_;
  }
  void pop_back() {
    --size_;
    if (!heap_.empty()) heap_.pop_back();
  }
  bool empty() const { return size_ == 0; }
  T &back() { return (*this)[size_ - 1]; }
  T &operator[](std::size_t i) { return heap_.empty() ? inline_[i] : heap_[i]; }

 private:
  T inline_[N];
  std::vector<T> heap_;
  std::size_t size_ = 0;
};

template <class T>
class Glob {
 public:
  Glob(const T *pattern, const T *text, bool period)
      : p_(pattern), np_(length(pattern)), s_(text), ns_(length(text)), period_(period) {
    star_ids_.assign(np_, -1);
    bool after_star = false;
    for (std::size_t i = 0; i < np_; ++i) {
      if (p_[i] == '*') {
        if (!after_star) star_ids_[i] = stars_++;
        after_star = true;
        continue;
      }
      after_star = false;
      if (p_[i] == '\\') ++i;
    }
    exhausted_from_.assign(static_cast<std::size_t>(stars_), SIZE_MAX);
  }

  // Walks the pattern; at each star the rest is tried at every later text
  // position, innermost star first, on an explicit stack so that the length
  // of the text never reaches the machine stack. A star whose attempts all
  // failed from some position fails from there on whenever it is reached
  // again, so each star tries each position once.
  bool run() {
    struct Frame {
      int star;
      std::size_t rest;   // pattern index after the star run
      std::size_t start;  // first text position tried
      std::size_t k;      // text position being tried
    };
    SmallVector<Frame, 16> stack;
    std::size_t pi = 0, si = 0;
    for (;;) {
      Step step = advance(&pi, &si);
      if (step == Step::kStar) {
        step = Step::kFail;
        int star = star_ids_[pi];
        if (!leading_period(si) && si < exhausted_from_[star]) {
          while (pi < np_ && p_[pi] == '*') ++pi;
          if (pi == np_) return true;
          stack.push_back({star, pi, si, si});
          continue;
        }
      }
      if (step == Step::kMatch) return true;
      // The attempt of the innermost star failed: try its next position.
      for (;;) {
        if (stack.empty()) return false;
        Frame &f = stack.back();
        if (++f.k <= ns_ && f.k < exhausted_from_[f.star]) {
          pi = f.rest;
          si = f.k;
          break;
        }
        exhausted_from_[f.star] = f.start;
        stack.pop_back();
      }
    }
  }

 private:
  using U = std::make_unsigned_t<T>;
  static constexpr std::size_t kNone = SIZE_MAX;

  bool leading_period(std::size_t si) const {
    return period_ && si == 0 && ns_ > 0 && s_[0] == '.';
  }

  // Matches the class at p_[pi] ("[") against `c`; kNone when unterminated,
  // else the index after "]" with `*hit` set.
  std::size_t match_class(std::size_t pi, U c, bool *hit) const {
    std::size_t q = pi + 1;
    bool negate = q < np_ && p_[q] == '!';
    if (negate) ++q;
    bool found = false, first = true;
    for (;;) {
      if (q >= np_) return kNone;
      U lo = static_cast<U>(p_[q]);
      if (lo == ']' && !first) {
        ++q;
        break;
      }
      first = false;
      if (lo == '\\') {
        if (++q >= np_) return kNone;
        lo = static_cast<U>(p_[q]);
      }
      ++q;
      if (q + 1 < np_ && p_[q] == '-' && p_[q + 1] != ']') {
        ++q;
        U hi = static_cast<U>(p_[q]);
        if (hi == '\\') {
          if (++q >= np_) return kNone;
          hi = static_cast<U>(p_[q]);
        }
        ++q;
        if (lo <= c && c <= hi) found = true;
      } else if (c == lo) {
        found = true;
      }
    }
    *hit = found != negate;
    return q;
  }

  // Skips to the end of the current alternative (its "," or "}"); kNone
  // when the pattern ends first.
  std::size_t skip_alternative(std::size_t q) const {
    while (q < np_ && p_[q] != ',' && p_[q] != '}') q += p_[q] == '\\' ? 2 : 1;
    return q < np_ ? q : kNone;
  }

  // Decides the alternatives at p_[pi] ("{") for the text at `si`: on
  // success `*pi` is after the "}" and `*si` after the chosen alternative.
  bool alternatives(std::size_t *pi, std::size_t *si) const {
    if (g_glob_debug.load()) debug_alternatives(*pi, *si);
    std::size_t q = *pi + 1, t = *si;
    for (;;) {
      if (q >= np_) return false;
      U c = static_cast<U>(p_[q]);
      if (c == ',' || c == '}') {  // this alternative is complete: take it
        while (q < np_ && p_[q] != '}') q += p_[q] == '\\' ? 2 : 1;
        if (q >= np_) return false;
        *pi = q + 1;
        *si = t;
        return true;
      }
      if (c == '{') {  // ignored inside the group
        ++q;
        continue;
      }
      if (c == '\\' && q + 1 < np_) c = static_cast<U>(p_[++q]);
      if (t >= ns_) return false;  // the text ended inside this alternative
      if (static_cast<U>(s_[t]) == c) {
        ++q;
        ++t;
        continue;
      }
      q = skip_alternative(q);
      if (q == kNone || p_[q] == '}') return false;
      ++q;
      t = *si;
    }
  }

  void debug_alternatives(std::size_t pi, std::size_t si) const {
    if constexpr (sizeof(T) == 1) {
      vex_printf("'{' pattern=%s string=%s\n", reinterpret_cast<const char *>(p_ + pi),
                 reinterpret_cast<const char *>(s_ + si));
    } else {
      vex_printf("'{' pattern=%ws string=%ws\n", p_ + pi, s_ + si);
    }
  }

  enum class Step { kMatch, kFail, kStar };

  // Matches everything up to the next star: kStar with `*pi` at it, kMatch
  // when pattern and text end together, else kFail.
  Step advance(std::size_t *pi_io, std::size_t *si_io) const {
    std::size_t pi = *pi_io, si = *si_io;
    Step result = Step::kFail;
    for (;;) {
      if (pi >= np_) {
        result = si == ns_ ? Step::kMatch : Step::kFail;
        break;
      }
      U c = static_cast<U>(p_[pi]);
      if (c == '*') {
        result = Step::kStar;
        break;
      }
      if (c == '?') {
        if (si >= ns_ || leading_period(si)) break;
        ++pi;
        ++si;
      } else if (c == '[') {
        if (si >= ns_) break;
        bool hit = false;
        std::size_t next = match_class(pi, static_cast<U>(s_[si]), &hit);
        if (next == kNone || !hit) break;
        pi = next;
        ++si;
      } else if (c == '{') {
        if (!alternatives(&pi, &si)) break;
      } else {
        if (c == '\\' && pi + 1 < np_) c = static_cast<U>(p_[++pi]);
        if (si >= ns_ || static_cast<U>(s_[si]) != c) break;
        ++pi;
        ++si;
      }
    }
    *pi_io = pi;
    *si_io = si;
    return result;
  }

  const T *p_;
  std::size_t np_;
  const T *s_;
  std::size_t ns_;
  bool period_;
  int stars_ = 0;
  SmallVector<int, 64> star_ids_;
  SmallVector<std::size_t, 16> exhausted_from_;
};

// Globs made only of literals, "*" and "?" are filters, but for the rule
// that a leading "." must be matched literally: the linear matcher decides
// them.
template <class T>
int glob_match(const T *pattern, const T *text, bool period) {
  std::size_t np = length(pattern);
  bool plain = true;
  for (std::size_t i = 0; i < np && plain; ++i)
    plain = pattern[i] != '\\' && pattern[i] != '[' && pattern[i] != '{';
  if (!plain) return Glob<T>(pattern, text, period).run();
  if (period && text[0] == '.' && (pattern[0] == '*' || pattern[0] == '?')) return 0;
  return filter_match(text, length(text), pattern, np, true, [](T a, T b) { return a == b; });
}

template <class T>
bool has_any(const T *s, const char *chars) {
  for (; *s; ++s)
    for (const char *c = chars; *c; ++c)
      if (*s == static_cast<T>(*c)) return true;
  return false;
}

}  // namespace

KW_API int match_user_filter(const char *s, const char *filter) {
  if (!s || !filter) return 1;
  return filter_match(s, std::strlen(s), filter, std::strlen(filter), true,
                      [](char a, char b) { return a == b; });
}

KW_API int match_w_user_filter(const kw_wchar *w, const kw_wchar *filter) {
  if (!w || !filter) return 1;
  return filter_match(w, length(w), filter, length(filter), true,
                      [](kw_wchar a, kw_wchar b) { return a == b; });
}

KW_API int filter_has_wildcards(const char *s) { return s && has_any(s, "*?"); }

KW_API int string_is_pattern(const char *s) { return filter_has_wildcards(s); }

KW_API char *find_filter_str_wildcard(const char *s) {
  if (!s) return nullptr;
  const char *star = std::strchr(s, '*');
  return const_cast<char *>(star ? star : std::strchr(s, '?'));
}

KW_API kw_wchar *find_filter_wstr_wildcard(const kw_wchar *w) {
  if (!w) return nullptr;
  kw_wchar *star = wschr(w, '*');
  return star ? star : wschr(w, '?');
}

KW_API int filter_is_any(const char *s) {
  if (!s) return 0;
  while (*s == '*') ++s;
  return *s == 0;
}

KW_API int string_match(const char *s, const char *pattern) {
  if (!s || !pattern) return 0;
  return filter_match(s, std::strlen(s), pattern, std::strlen(pattern), true,
                      [](char a, char b) { return a == b; });
}

KW_API int pattern_match(const kw_wchar *w, const kw_wchar *pattern, int flags) {
  if (!w || !pattern) return 0;
  if (flags & 1)
    return filter_match(w, length(w), pattern, length(pattern), false,
                        [](kw_wchar a, kw_wchar b) { return wlowercase(a) == wlowercase(b); });
  return filter_match(w, length(w), pattern, length(pattern), false,
                      [](kw_wchar a, kw_wchar b) { return a == b; });
}

KW_API int vex_is_glob_pattern(const kw_wchar *w) {
  if (!w) return 0;
  for (; *w; ++w) {
    if (*w == '\\') {
      if (!*++w) break;
      continue;
    }
    if (*w == '*' || *w == '?' || *w == '[' || *w == '{') return 1;
  }
  return 0;
}

KW_API int vex_glob_match(const kw_wchar *pattern, const kw_wchar *w, int period) {
  if (!pattern || !w) return 0;
  return glob_match(pattern, w, period != 0);
}

KW_API int vex_glob_match_ascii(const char *pattern, const char *s, int period) {
  if (!pattern || !s) return 0;
  if (g_glob_debug.load()) vex_printf("vex_glob_match: pattern=%s string=%s\n", pattern, s);
  return glob_match(pattern, s, period != 0);
}

KW_API int vex_glob_set_debug(int flag) { return g_glob_debug.exchange(flag); }
