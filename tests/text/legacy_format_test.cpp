// The legacy formatter reads flags, width and precision itself and hands
// each item to the runtime formatter's emitters. Its output must be the
// runtime formatter's for the same specification written as text, for
// every row of the directive table, every shape of flags, and results that
// outgrow its staging.
#include <gtest/gtest.h>
#include <keelwork/btk_format.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/lang.h>
#include <keelwork/vexformat.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

class LegacyFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    btkUnicodeSetEnabled(0);
    set_language(LANG_ENGLISH);
  }
};

// The runtime formatter's text for `format`, as a C string.
template <class... Args>
std::string runtime_text(const char *format, Args... args) {
  int n = btk_snprintf(nullptr, 0, format, args...);
  if (n < 0) return "<refused>";
  std::vector<char> buf(static_cast<std::size_t>(n) + 1);
  btk_snprintf(buf.data(), buf.size(), format, args...);
  return buf.data();
}

// A legacy directive and the letters the runtime formatter reads for it.
struct Letters {
  const char *legacy;
  const char *runtime;
};

// Flags, widths and precisions as written, with the number of "*" in them.
struct Flags {
  const char *text;
  int stars;
};

constexpr Flags kFlags[] = {{"", 0},    {"-", 0},    {"+", 0},     {" ", 0},      {"#", 0},
                            {"0", 0},   {"-0", 0},   {"+ ", 0},    {"5", 0},      {"-5", 0},
                            {"05", 0},  {"-012", 0}, {".0", 0},    {".3", 0},     {".", 0},
                            {"8.3", 0}, {"-8.3", 0}, {"#08.3", 0}, {"+ 07.2", 0}, {"00012", 0},
                            {"*", 1},   {".*", 1},   {"*.*", 2},   {"-*", 1},     {"0*.*", 2}};

constexpr int kStarValues[] = {3, -3, 0, 12};

// Whether the flags end up with a precision of 0.
bool zero_precision(const Flags &f, int star) {
  std::string t = f.text;
  std::size_t dot = t.find('.');
  if (dot == std::string::npos) return false;
  if (dot + 1 == t.size() || t[dot + 1] == '0') return true;
  return t[dot + 1] == '*' && (f.stars == 1 ? star : -star) == 0;
}

// Formats with every flag shape and star value, the legacy directive
// against the runtime's letters, and compares. Wide strings keep a first
// character whole under a precision of 0: those shapes are left to tests
// of their own.
template <class T>
void compare_all(const Letters &letters, std::initializer_list<T> values,
                 bool skip_zero_precision = false) {
  for (const Flags &f : kFlags) {
    std::string legacy = std::string("<%") + f.text + letters.legacy + ">";
    std::string runtime = std::string("<%") + f.text + letters.runtime + ">";
    for (int star : kStarValues) {
      if (f.stars == 0 && star != kStarValues[0]) break;
      if (skip_zero_precision && zero_precision(f, star)) continue;
      for (T v : values) {
        SCOPED_TRACE(legacy + " star " + std::to_string(star));
        const char *got;
        std::string expected;
        if (f.stars == 0) {
          got = vex_sprintf(nullptr, legacy.c_str(), v);
          expected = runtime_text(runtime.c_str(), v);
        } else if (f.stars == 1) {
          got = vex_sprintf(nullptr, legacy.c_str(), star, v);
          expected = runtime_text(runtime.c_str(), star, v);
        } else {
          got = vex_sprintf(nullptr, legacy.c_str(), star, -star, v);
          expected = runtime_text(runtime.c_str(), star, -star, v);
        }
        EXPECT_EQ(got, expected);
      }
    }
  }
}

TEST_F(LegacyFormat, IntegersAgreeWithTheRuntimeFormatter) {
  const Letters int32[] = {{"d", "d"},   {"i", "i"},   {"o", "o"},   {"u", "u"},  {"x", "x"},
                           {"X", "X"},   {"D", "d"},   {"U", "u"},   {"c", "c"},  {"C", "c"},
                           {"hd", "hd"}, {"hX", "hX"}, {"Hu", "hu"}, {"ho", "ho"}};
  for (const Letters &l : int32) compare_all<int>(l, {0, 7, -42, 65, INT_MIN, INT_MAX, 65537});
  const Letters longs[] = {{"ld", "ld"}, {"li", "li"}, {"lo", "lo"}, {"lu", "lu"}, {"lX", "lX"}};
  for (const Letters &l : longs) compare_all<long>(l, {0L, -1L, LONG_MIN, LONG_MAX, 1L << 40});
  const Letters int64[] = {{"lld", "lld"},  {"lli", "lli"},  {"llo", "llo"},
                           {"LLX", "llX"},  {"I64d", "lld"}, {"I64X", "llX"},
                           {"i64u", "llu"}, {"I64o", "llo"}, {"I64i", "lli"}};
  for (const Letters &l : int64)
    compare_all<long long>(l, {0LL, -1LL, 1LL << 40, LLONG_MIN, LLONG_MAX});
}

TEST_F(LegacyFormat, FloatingPointAgreesWithTheRuntimeFormatter) {
  // Magnitudes below 1e-30 are written as 0 by the legacy formatter alone.
  const Letters doubles[] = {{"e", "e"}, {"E", "E"},  {"f", "f"},  {"F", "F"},  {"g", "g"},
                             {"G", "G"}, {"lf", "f"}, {"LE", "E"}, {"lg", "g"}, {"le", "e"}};
  for (const Letters &l : doubles)
    compare_all<double>(l, {0.0, 1.5, -2.5e-7, 100000.0, 1e300, 0.1, HUGE_VAL, -NAN});
}

TEST_F(LegacyFormat, StringsAndPointersAgreeWithTheRuntimeFormatter) {
  compare_all<const char *>({"s", "s"}, {"", "ab", "abcdefgh", nullptr});
  compare_all<const char *>({"pd", "s"}, {"", "ab", "abcdefgh", nullptr});
  compare_all<void *>({"p", "p"}, {nullptr, reinterpret_cast<void *>(0x1234)});
  // Wide strings are written in the session encoding (ASCII here), then
  // as bytes; a null one as a null byte string.
  compare_all<const char16_t *>({"ws", "ls"}, {u"", u"ab", u"abcdefgh"}, true);
  compare_all<const char16_t *>({"S", "ls"}, {u"ab"}, true);
  char buf[64];
  EXPECT_STREQ(vex_sprintf(buf, "[%5.3ws|%ws|%-7S]", nullptr, nullptr, nullptr),
               "[     |(null)|(null) ]");
}

TEST_F(LegacyFormat, DirectivesEndWhereTheirRowEnds) {
  char buf[128];
  EXPECT_STREQ(vex_sprintf(buf, "%lux|%ldd|%pdx", 3ul, 4l, "p"), "3x|4d|px");
  EXPECT_STREQ(vex_sprintf(buf, "%I6|%pz", 5, reinterpret_cast<void *>(0x10)), "56|0x10z");
  EXPECT_STREQ(vex_sprintf(buf, "%wsx|%Sx", u"a", u"b"), "ax|bx");
}

// Stars are replaced by their values in the text before it is read, so a
// "*" next to digits joins them; text the runtime formatter would refuse
// stops formatting with what came before it.
TEST_F(LegacyFormat, SpecificationsThatAreNotPlainPrintf) {
  char buf[128];
  EXPECT_EQ(vex_sprintf(buf, "[%5*d]", 3, 1), "[" + std::string(52, ' ') + "1]");
  EXPECT_EQ(vex_sprintf(buf, "[%*5d]", 1, 2), "[" + std::string(14, ' ') + "2]");
  for (const char *format : {"a%5-d|%d", "a%1.2.3d|%d", "a%3000000000d|%d", "a%-+5-d|%d"}) {
    SCOPED_TRACE(format);
    EXPECT_STREQ(vex_sprintf(buf, format, 1, 2), "a");
  }
  EXPECT_STREQ(vex_sprintf(buf, "a%.3000000000f|%d", 1.0, 2), "a");
  EXPECT_STREQ(vex_sprintf(buf, "a%5-s|%d", "s", 2), "a");
  EXPECT_STREQ(vex_sprintf(buf, "a%5-ws|%d", u"w", 2), "a");
  EXPECT_STREQ(vex_sprintf(buf, "a%*d|%d", INT_MIN, 1, 2), "a");  // width 2147483648
  // A wide string's precision cuts the converted text; only the part before
  // it is read as a specification.
  EXPECT_STREQ(vex_sprintf(buf, "[%.9999999999ws|%-4.1ws|%.ws]", u"xyz", u"xyz", u"xyz"),
               "[xyz|x   |x]");
  EXPECT_STREQ(vex_sprintf(buf, "%1.2.3ws|%d", u"xyz", 2), "xy|2");
}

TEST_F(LegacyFormat, ResultsLongerThanTheStaging) {
  std::string text(700, 't'), literal(505, 'L');
  const std::string formats[] = {
      literal + "%8d|%.3s|%d",       // an item crossing the stage's end
      "%-600d|%s|%d",                // an item longer than the stage
      "%d%s%d",                      // a string longer than the stage
      literal + literal + "%d%s%d",  // plain text longer than it
  };
  for (const std::string &format : formats) {
    SCOPED_TRACE(format.substr(0, 20));
    std::string expected = runtime_text(format.c_str(), 12345, text.c_str(), 6789);
    EXPECT_EQ(vex_sprintf(nullptr, format.c_str(), 12345, text.c_str(), 6789), expected);
    EXPECT_GT(expected.size(), 512u);
  }
  EXPECT_EQ(vex_sprintf(nullptr, "%2000.1e|%s|%I64d", 1.5, text.c_str(), 7LL),
            runtime_text("%2000.1e|%s|%lld", 1.5, text.c_str(), 7LL));
  // Japanese text keeps its characters whole across the staging's end.
  set_language(LANG_JAPANESE);
  std::string kanji;
  for (int i = 0; i < 400; ++i) kanji += "\xB0\xA1";
  EXPECT_EQ(vex_sprintf(nullptr, (kanji + "%d" + kanji).c_str(), 5), kanji + "5" + kanji);
}

}  // namespace
