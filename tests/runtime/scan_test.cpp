#include <gtest/gtest.h>
#include <keelwork/btk_format.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

// The tables compare with glibc through formats held in variables.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

TEST(Scan, APIExamples) {
  int n = 0;
  char name[16];
  double v = 0;
  EXPECT_EQ(btk_sscanf("width=42 name=plate 2.5", "width=%d name=%15s %lf", &n, name, &v), 3);
  EXPECT_EQ(n, 42);
  EXPECT_STREQ(name, "plate");
  EXPECT_EQ(v, 2.5);
  kw_wchar wide[8];
  EXPECT_EQ(btk_sscanf("\xe6\x97\xa5\xe6\x9c\xac rest", "%7ws", wide), 1);
  EXPECT_EQ(std::u16string(wide), u"\u65e5\u672c");
}

// Scans one value with the library and with glibc and expects the same
// count, the same value and the same position (%n).
template <class T>
void expect_like_glibc(const char *text, const char *conv) {
  std::string fmt = std::string(conv) + "%n";
  T ours{}, theirs{};
  int pos_ours = -1, pos_theirs = -1;
  int a = btk_sscanf(text, fmt.c_str(), &ours, &pos_ours);
  int b = std::sscanf(text, fmt.c_str(), &theirs, &pos_theirs);
  EXPECT_EQ(a, b);
  if (a == 1 && b == 1) {
    if constexpr (std::is_floating_point_v<T>) {
      if (std::isnan(theirs))
        EXPECT_TRUE(std::isnan(ours));
      else
        EXPECT_EQ(ours, theirs);
    } else {
      EXPECT_EQ(ours, theirs);
    }
    EXPECT_EQ(pos_ours, pos_theirs);
  }
}

TEST(Scan, IntegersMatchGlibc) {
  const char *texts[] = {"0",
                         "42",
                         "-42",
                         "+7",
                         "  12ab",
                         "0x1f",
                         "0X",
                         "017",
                         "-0x10",
                         "x",
                         "",
                         "   ",
                         "2147483647",
                         "-2147483648",
                         "99999999999",
                         "-",
                         "18446744073709551615",
                         "18446744073709551616",
                         "0777777777777777777777777",
                         "123456789012345678901234567890"};
  const char *convs[] = {"%d", "%i", "%u", "%x", "%o", "%3d", "%2x", "%1i"};
  for (const char *t : texts) {
    for (const char *c : convs) {
      SCOPED_TRACE(std::string(c) + " on \"" + t + "\"");
      expect_like_glibc<int>(t, c);
    }
    SCOPED_TRACE(t);
    expect_like_glibc<long long>(t, "%lld");
    expect_like_glibc<unsigned long long>(t, "%llu");
    expect_like_glibc<long long>(t, "%lli");
    expect_like_glibc<short>(t, "%hd");
    expect_like_glibc<signed char>(t, "%hhd");
    expect_like_glibc<long>(t, "%lx");
  }
  long long big = 0;
  EXPECT_EQ(btk_sscanf("-9000000000", "%I64d", &big), 1);
  EXPECT_EQ(big, -9000000000LL);
}

TEST(Scan, FloatsMatchGlibc) {
  const char *texts[] = {"1.5",
                         "-0.0",
                         ".5",
                         "5.",
                         "1e10",
                         "1E-5",
                         "0x1p3",
                         "0x.8",
                         "inf",
                         "-INFINITY",
                         "nan",
                         "1e400",
                         "1e-400",
                         "3.14159xyz",
                         "  +2.5e2 ",
                         "-",
                         ".",
                         "e5",
                         "123456789012345678901234567890",
                         "0.1000000000000000055511151231257827"};
  for (const char *t : texts) {
    SCOPED_TRACE(t);
    expect_like_glibc<double>(t, "%lf");
    expect_like_glibc<float>(t, "%f");
    expect_like_glibc<long double>(t, "%Lf");
  }
}

// Where glibc keeps characters that turned out not to belong to the number
// ("1e" of "1ex"), a direct source gets them back, as strtod would.
TEST(Scan, FloatsTakeTheLongestNumber) {
  static const std::string long_one = "1." + std::string(630, '0') + "1x";
  const char *kLongOne = long_one.c_str();
  struct Row {
    const char *text, *fmt;
    int count;
    double value;
    int pos;
  } rows[] = {
      {"1ex", "%lf%n", 1, 1.0, 1},        {"1e+", "%lf%n", 1, 1.0, 1},
      {"2.5e-3z", "%lf%n", 1, 0.0025, 6}, {"0x", "%lf%n", 1, 0.0, 1},
      {"0x1p3", "%4lf%n", 1, 1.0, 3},     {"0x1p3", "%lf%n", 1, 8.0, 5},
      {"-0x8", "%lf%n", 1, -8.0, 4},      {"infinit", "%lf%n", 1, INFINITY, 3},
      {"nan(12)", "%lf%n", 1, NAN, 7},    {"1e-99999", "%lf%n", 1, 0.0, 8},
      {kLongOne, "%lf%n", 1, 1.0, 633},  // longer than any fixed buffer
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.fmt) + " on " + r.text);
    double v = -1;
    int pos = -1;
    EXPECT_EQ(btk_sscanf(r.text, r.fmt, &v, &pos), r.count);
    if (std::isnan(r.value))
      EXPECT_TRUE(std::isnan(v));
    else
      EXPECT_EQ(v, r.value);
    EXPECT_EQ(pos, r.pos);
  }
}

TEST(Scan, StringsSetsAndCharacters) {
  char a[16], b[16], c[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(btk_sscanf("  hello world", "%s %3s", a, b), 2);
  EXPECT_STREQ(a, "hello");
  EXPECT_STREQ(b, "wor");
  EXPECT_EQ(btk_sscanf("abc:def", "%[a-c]:%[^\n]", a, b), 2);
  EXPECT_STREQ(a, "abc");
  EXPECT_STREQ(b, "def");
  EXPECT_EQ(btk_sscanf("]x-y", "%[]x-]", a), 1);  // "]" first and "-" last are members
  EXPECT_STREQ(a, "]x-");
  EXPECT_EQ(btk_sscanf(" ab", "%c%2c", c, c + 1), 2);  // %c skips no blanks
  EXPECT_EQ(std::string(c, 4), " abx");
  int x = 0, y = 0;
  EXPECT_EQ(btk_sscanf("10 % 20", "%d %% %d", &x, &y), 2);
  EXPECT_EQ(btk_sscanf("1,2", "%*d,%d", &y), 1);
  EXPECT_EQ(y, 2);
  void *p = nullptr;
  EXPECT_EQ(btk_sscanf("0x1234", "%p", &p), 1);
  EXPECT_EQ(p, reinterpret_cast<void *>(0x1234));
}

TEST(Scan, ResultCounts) {
  int x = 0, y = 0;
  struct Row {
    const char *text, *fmt;
    int want;
  } rows[] = {
      {"", "%d", -1},     {"   ", "%d", -1},    {"", "abc", -1},    {"12", "%d %d", 1},
      {"a", "%d", 0},     {"12 x", "%d %d", 1}, {"12", "%d,%d", 1}, {"ab", "a%d", 0},
      {"1", "%*d%d", -1}, {"1 2", "%*d%d", 1},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.fmt) + " on \"" + r.text + "\"");
    EXPECT_EQ(btk_sscanf(r.text, r.fmt, &x, &y), r.want);
    EXPECT_EQ(std::sscanf(r.text, r.fmt, &x, &y), r.want);
  }
}

TEST(Scan, MalformedFormatsFailCleanly) {
  int x;
  char s[8];
  const char *bad[] = {"%[abc", "%", "%0d", "%y", "%[", "%99999999999d"};
  for (const char *f : bad) {
    SCOPED_TRACE(f);
    EXPECT_LT(btk_sscanf("abc 12", f, s, &x), -1);
  }
  EXPECT_LT(btk_sscanf(nullptr, "%d", &x), -1);
}

TEST(Scan, WideStrings) {
  kw_wchar w[8];
  struct Row {
    const char *text, *fmt;
    int want;
    const char16_t *value;
  } rows[] = {
      {"abc", "%ws", 1, u"abc"},
      {"\xf0\x9f\x98\x80z", "%ls", 1, u"\U0001F600z"},
      {"\xc3\xa9t\xc3\xa9 x", "%2S", 1, u"\u00e9t"},  // the width counts units stored
      {"a\xf0\x9f\x98\x80", "%2ws", 0, nullptr},      // a pair that does not fit
      {"ab\xff", "%ws", 0, nullptr},                  // invalid UTF-8
      {"\xe6\x97", "%ws", 0, nullptr},                // truncated
      {"\xc3\xa9", "%wc", 1, nullptr},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.fmt);
    std::fill(std::begin(w), std::end(w), 0);
    EXPECT_EQ(btk_sscanf(r.text, r.fmt, w), r.want);
    if (r.value) {
      EXPECT_EQ(std::u16string(w), r.value);
    }
  }
  EXPECT_EQ(w[0], 0xE9);
}

// A source that hands out bytes one at a time.
struct CharSource {
  btk_in_source base;
  const char *text;
  int pos;
  int ungets;
};

int src_getc(btk_in_source *s) {
  auto *c = reinterpret_cast<CharSource *>(s);
  return c->text[c->pos] ? static_cast<unsigned char>(c->text[c->pos++]) : -1;
}
int src_ungetc(btk_in_source *s, int) {
  auto *c = reinterpret_cast<CharSource *>(s);
  ++c->ungets;
  --c->pos;
  return 0;
}
const btk_in_ops kCharOps = {src_getc, src_ungetc, nullptr, nullptr};

int scan_source(btk_in_source *src, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = btk_scanf_stream_low(src, fmt, ap, nullptr);
  va_end(ap);
  return n;
}

TEST(Scan, Sources) {
  CharSource cs{{&kCharOps, nullptr, nullptr, nullptr}, "12 3.5rest", 0, 0};
  int i = 0;
  double d = 0;
  EXPECT_EQ(scan_source(&cs.base, "%d %lf", &i, &d), 2);
  EXPECT_EQ(i, 12);
  EXPECT_EQ(d, 3.5);
  EXPECT_EQ(cs.pos, 6);  // the look-ahead went back to the source
  EXPECT_EQ(cs.ungets, 1);
  // A direct source is never read past its end, even without a NUL.
  char raw[4] = {'7', '8', '9', '9'};
  btk_in_source direct{nullptr, raw, raw, raw + 2};
  EXPECT_EQ(scan_source(&direct, "%d", &i), 1);
  EXPECT_EQ(i, 78);
  EXPECT_EQ(direct.cur, raw + 2);
  char word[8];
  btk_in_source word_src{nullptr, raw, raw, raw + 3};
  EXPECT_EQ(scan_source(&word_src, "%s", word), 1);
  EXPECT_STREQ(word, "789");
}

}  // namespace
