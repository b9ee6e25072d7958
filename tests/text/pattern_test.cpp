// Wildcard filters and glob matching, including their running time on
// patterns with many stars.
#include <gtest/gtest.h>
#include <keelwork/pattern.h>

#include <chrono>
#include <random>
#include <string>

namespace {

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

TEST(Patterns, APIExamples) {
  EXPECT_EQ(match_user_filter("bracket.prt", "*.prt"), 1);
  EXPECT_EQ(vex_glob_match(u"*.{prt,asm}", u"top.asm", 1), 1);
  EXPECT_EQ(filter_is_any("*"), 1);
}

TEST(Filters, Matching) {
  struct Case {
    const char *s, *filter;
    int match;
  } cases[] = {{"abc", "abc", 1},    {"abc", "a*", 1},
               {"abc", "*c", 1},     {"abc", "a?c", 1},
               {"ac", "a?c", 0},     {"abc", "*b*", 1},
               {"abc", "**", 1},     {"", "*", 1},
               {"", "?", 0},         {"ABC", "abc", 0},
               {"a*c", "a*c", 1},    {"abcabc", "*bc", 1},
               {"abcabd", "*bc", 0}, {"mississippi", "*sip*", 1},
               {"abc", "", 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.s) + " ~ " + c.filter);
    EXPECT_EQ(match_user_filter(c.s, c.filter), c.match);
    EXPECT_EQ(match_w_user_filter(wide(c.s).c_str(), wide(c.filter).c_str()), c.match);
    EXPECT_EQ(string_match(c.s, c.filter), c.match);
  }
  EXPECT_EQ(match_user_filter(nullptr, "x"), 1);
  EXPECT_EQ(match_user_filter("x", nullptr), 1);
  EXPECT_EQ(string_match(nullptr, "x"), 0);
}

TEST(Filters, Helpers) {
  EXPECT_EQ(filter_has_wildcards("a?"), 1);
  EXPECT_EQ(filter_has_wildcards("a"), 0);
  EXPECT_EQ(string_is_pattern("*"), 1);
  const char *s = "ab?c*d";
  EXPECT_EQ(find_filter_str_wildcard(s), s + 4);
  EXPECT_EQ(*find_filter_str_wildcard("ab?"), '?');
  EXPECT_EQ(find_filter_str_wildcard("ab"), nullptr);
  const kw_wchar *w = u"x?y*";
  EXPECT_EQ(find_filter_wstr_wildcard(w), w + 3);
  EXPECT_EQ(filter_is_any("***"), 1);
  EXPECT_EQ(filter_is_any(""), 1);
  EXPECT_EQ(filter_is_any("*a"), 0);
  EXPECT_EQ(filter_is_any(nullptr), 0);
}

TEST(Filters, PatternMatchHasOnlyStars) {
  EXPECT_EQ(pattern_match(u"abc", u"a*", 0), 1);
  EXPECT_EQ(pattern_match(u"abc", u"a?c", 0), 0);  // "?" is literal here
  EXPECT_EQ(pattern_match(u"a?c", u"a?c", 0), 1);
  EXPECT_EQ(pattern_match(u"ABC", u"a*c", 0), 0);
  EXPECT_EQ(pattern_match(u"ABC", u"a*c", 1), 1);
  EXPECT_EQ(pattern_match(u"\x00C9T\x00C9", u"\x00E9*", 1), 1);
}

TEST(Globs, Matching) {
  struct Case {
    const char *pattern, *s;
    int period, match;
  } cases[] = {
      {"{a,ab}c", "abc", 0, 0},
      {"{a,ab}c", "ac", 0, 1},
      {"{ab,a}", "a", 0, 0},
      {"{,a}b", "ab", 0, 0},
      {"{,a}b", "b", 0, 1},
      {"x{}y", "xy", 0, 1},
      {"{ab,cd}", "cd", 0, 1},
      {"{ab,cd}", "ce", 0, 0},
      {"{a{b,c}", "ab", 0, 1},
      {"*", ".profile", 1, 0},
      {".*", ".profile", 1, 1},
      {"*", ".profile", 0, 1},
      {"?x", ".x", 1, 0},
      {"a?", "a.", 1, 1},
      {"*.c", "main.c", 1, 1},
      {"[a-c]x", "bx", 0, 1},
      {"[!a-c]x", "bx", 0, 0},
      {"[!a-c]x", "dx", 0, 1},
      {"[]a]", "]", 0, 1},
      {"[]a]", "a", 0, 1},
      {"[!]]", "x", 0, 1},
      {"[a-]", "-", 0, 1},
      {"[\\]]", "]", 0, 1},
      {"[abc", "a", 0, 0},
      {"\\*", "*", 0, 1},
      {"\\*", "x", 0, 0},
      {"a\\", "a\\", 0, 1},
      {"{a,b", "a", 0, 0},
      {"{a\\,b,c}", "a,b", 0, 1},
      {"*{x,y}", "aay", 0, 1},
      {"a*b*c", "aXbYc", 0, 1},
      {"a*b*c", "aXbY", 0, 0},
      {"", "", 0, 1},
      {"", "a", 0, 0},
      {"*", "", 1, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.s + (c.period ? " (period)" : ""));
    EXPECT_EQ(vex_glob_match_ascii(c.pattern, c.s, c.period), c.match);
    EXPECT_EQ(vex_glob_match(wide(c.pattern).c_str(), wide(c.s).c_str(), c.period), c.match);
  }
  EXPECT_EQ(vex_glob_match(nullptr, u"x", 0), 0);
  EXPECT_EQ(vex_glob_match(u"\x30D1*", u"\x30D1\x30FC\x30C4", 0), 1);
}

TEST(Globs, PatternDetection) {
  struct Case {
    const kw_wchar *w;
    int glob;
  } cases[] = {{u"a*", 1},  {u"a?", 1},    {u"[x]", 1}, {u"{a}", 1},
               {u"\\*", 0}, {u"plain", 0}, {u"a\\", 0}, {u"\\\\*", 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.w)));
    EXPECT_EQ(vex_is_glob_pattern(c.w), c.glob);
  }
}

TEST(Globs, DebugTrace) {
  EXPECT_EQ(vex_glob_set_debug(1), 0);
  testing::internal::CaptureStdout();
  vex_glob_match_ascii("x{a,b}", "xb", 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "vex_glob_match: pattern=x{a,b} string=xb\n'{' pattern={a,b} string=b\n");
  vex_glob_set_debug(0);
}

// The matching rules written plainly, trying the rest of the pattern at
// every position for each star (exponential, fine for short inputs), as
// the reference for the matcher that remembers failed stars.
bool reference_glob(const char *p, const char *s, const char *start, bool period) {
  for (;;) {
    char c = *p;
    if (!c) return !*s;
    if (c == '*') {
      if (period && s == start && *s == '.') return false;
      while (*p == '*') ++p;
      if (!*p) return true;
      for (const char *t = s;; ++t) {
        if (reference_glob(p, t, start, period)) return true;
        if (!*t) return false;
      }
    }
    if (c == '?') {
      if (!*s || (period && s == start && *s == '.')) return false;
      ++p;
      ++s;
    } else if (c == '[') {
      if (!*s) return false;
      const char *q = p + 1;
      bool found = false, first = true;
      for (;; first = false) {
        if (!*q) return false;
        if (*q == ']' && !first) break;
        found |= *q++ == *s;
      }
      if (!found) return false;
      p = q + 1;
      ++s;
    } else if (c == '{') {
      const char *q = p + 1, *t = s;
      for (;;) {
        if (!*q) return false;
        if (*q == ',' || *q == '}') {
          while (*q && *q != '}') ++q;
          if (!*q) return false;
          p = q + 1;
          s = t;
          break;
        }
        if (*q == '{') {
          ++q;
          continue;
        }
        if (!*t) return false;
        if (*t == *q) {
          ++q;
          ++t;
          continue;
        }
        while (*q && *q != ',' && *q != '}') ++q;
        if (!*q || *q == '}') return false;
        ++q;
        t = s;
      }
    } else {
      if (*s != c) return false;
      ++p;
      ++s;
    }
  }
}

TEST(Globs, AgreeWithThePlainRulesOnRandomInput) {
  std::mt19937 rng(5);
  const char pattern_chars[] = "ab.**?{,}[]";
  const char text_chars[] = "ab.";
  for (int round = 0; round < 20000; ++round) {
    std::string pattern, text;
    for (size_t n = rng() % 9; n > 0; --n) pattern.push_back(pattern_chars[rng() % 11]);
    for (size_t n = rng() % 8; n > 0; --n) text.push_back(text_chars[rng() % 3]);
    bool period = rng() % 2;
    SCOPED_TRACE(pattern + " ~ " + text);
    ASSERT_EQ(vex_glob_match_ascii(pattern.c_str(), text.c_str(), period),
              reference_glob(pattern.c_str(), text.c_str(), text.c_str(), period));
    bool filter = pattern.find_first_of(".{,}[]") == std::string::npos;
    if (filter) {
      ASSERT_EQ(match_user_filter(text.c_str(), pattern.c_str()),
                reference_glob(pattern.c_str(), text.c_str(), text.c_str(), false));
    }
  }
}

// Patterns with many stars once took exponential time: each star tried the
// rest of the pattern at every suffix.
TEST(Globs, ManyStarsTakePolynomialTime) {
  std::string text(5000, 'a');
  std::string pattern = "*a*a*a*a*a*a*a*a*b";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(match_user_filter(text.c_str(), pattern.c_str()), 0);
  EXPECT_EQ(string_match(text.c_str(), pattern.c_str()), 0);
  EXPECT_EQ(vex_glob_match_ascii(pattern.c_str(), text.c_str(), 0), 0);
  EXPECT_EQ(vex_glob_match(wide(pattern).c_str(), wide(text).c_str(), 0), 0);
  std::string alternatives = "*{a,b}*{a,c}*{x,a}*{a}*a*[ab]*?*b";
  EXPECT_EQ(vex_glob_match_ascii(alternatives.c_str(), text.c_str(), 0), 0);
  text += "b";
  EXPECT_EQ(vex_glob_match_ascii(pattern.c_str(), text.c_str(), 0), 1);
  EXPECT_EQ(match_user_filter(text.c_str(), pattern.c_str()), 1);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2));
  // Thousands of stars do not reach the machine stack.
  std::string stars;
  for (int i = 0; i < 20000; ++i) stars += "*a";
  EXPECT_EQ(vex_glob_match_ascii((stars + "b").c_str(), text.c_str(), 0), 0);
}

}  // namespace
