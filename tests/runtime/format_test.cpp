#include <gtest/gtest.h>

#include <keelwork/btk_format.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

// The tables compare with glibc through formats held in variables.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

int g_anchor;

// Formats with both the library and glibc and expects the same text and
// the same result. The formats come from the test tables, so clang's
// warning about a format that is not a literal does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
template <class... A>
void expect_like_glibc(const char *fmt, A... args) {
  char ours[2048], theirs[2048];
  int a = btk_snprintf(ours, sizeof ours, fmt, args...);
  int b = std::snprintf(theirs, sizeof theirs, fmt, args...);
  EXPECT_STREQ(ours, theirs) << "format " << fmt;
  EXPECT_EQ(a, b) << "format " << fmt;
}
#pragma GCC diagnostic pop

TEST(Format, APIExamples) {
  char buf[64];
  EXPECT_EQ(btk_snprintf(buf, sizeof buf, "%s:%d %.2f", "pi", 3, 3.14159), 9);
  EXPECT_STREQ(buf, "pi:3 3.14");
  EXPECT_EQ(btk_sprintf(buf, "%I64d|%ws", static_cast<long long>(1) << 40, u"w\u00e9"), 17);
  EXPECT_STREQ(buf, "1099511627776|w\xc3\xa9");
  kw_wchar wide[32];
  EXPECT_EQ(btk_swprintf(wide, 32, u"%s=%d %hs", u"x\u00e9", 5, "b"), 6);
  EXPECT_EQ(std::u16string(wide), u"x\u00e9=5 b");
}

TEST(Format, IntegersMatchGlibc) {
  const char *formats[] = {"%d",    "%5d",     "%-5d|", "%05d",   "%+d",   "% d",    "%.3d",
                           "%8.3d", "%-8.3d|", "%+05d", "%.0d",   "%x",    "%#x",    "%#X",
                           "%#o",   "%#.0o",   "%o",    "%08x",   "%#08x", "%-#8x|", "%u",
                           "%10u",  "%.10x",   "%+.0d", "%#5.0x", "% 05d"};
  const int values[] = {0, 1, -1, 42, -42, 255, INT_MAX, INT_MIN, 100000, 7};
  for (const char *f : formats) {
    for (int v : values) {
      SCOPED_TRACE(f);
      expect_like_glibc(f, v);
    }
  }
  const long long big[] = {0, LLONG_MAX, LLONG_MIN, -1, 1234567890123LL};
  for (long long v : big) {
    expect_like_glibc("%lld|%llx|%llo|%20lld|%-+20lld|", v, v, v, v, v);
    expect_like_glibc("%jd %zd %td", static_cast<intmax_t>(v), static_cast<ssize_t>(v),
                      static_cast<ptrdiff_t>(v));
  }
  expect_like_glibc("%hhd %hhu %hd %hu", 300, 300, 70000, 70000);
  expect_like_glibc("%lu %lx", ULONG_MAX, ULONG_MAX);
  expect_like_glibc("%p %p %20p %-20p|", static_cast<void *>(&g_anchor), nullptr,
                    static_cast<void *>(&g_anchor + 1), nullptr);
}

TEST(Format, WidthAndPrecisionFromArguments) {
  expect_like_glibc("%*d|%-*d|%.*d|%*.*f", 6, 42, 6, 42, 4, 7, -10, 3, 2.5);
  expect_like_glibc("%.*s|%.*f", -1, "abc", -3, 1.5);  // negative precision: none
  expect_like_glibc("%c%c%-3c|%3c", 'a', 0x162, 'b', 'c');
  expect_like_glibc("%s|%10s|%-10s|%.2s|%10.2s", "text", "text", "text", "text", "text");
  expect_like_glibc("100%% %5%|");
}

TEST(Format, FloatingPointMatchesGlibc) {
  const char *formats[] = {"%f",    "%e",      "%g",       "%a",      "%E",    "%G",
                           "%A",    "%F",      "%.0f",     "%.0e",    "%.0g",  "%#.0f",
                           "%#.0e", "%#g",     "%#.3g",    "%.20f",   "%.17g", "%.3a",
                           "%.0a",  "%+12.4f", "%-12.4e|", "%012.3f", "% .5g", "%#a",
                           "%.40e", "%15g",    "%015e",    "%-+15a|", "%.1f",  "%.2f"};
  const double values[] = {0.0,
                           -0.0,
                           1.0,
                           -1.5,
                           0.5,
                           2.5,
                           0.125,
                           1e-31,
                           1e-300,
                           123456.789,
                           1e21,
                           1e-5,
                           1e-4,
                           99999.95,
                           0.000123456,
                           1.0 / 3,
                           100000.0,
                           DBL_MAX,
                           DBL_MIN,
                           4.9e-324,
                           9.5,
                           0.05,
                           1234567.0,
                           0.15,
                           2.675,
                           1e15,
                           1e16,
                           -1e100,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::nan(""),
                           -std::nan("")};
  for (const char *f : formats) {
    for (double v : values) {
      SCOPED_TRACE(f);
      expect_like_glibc(f, v);
    }
  }
  const long double lvalues[] = {0.0L, 1.0L / 3, -2.5L, 1e4000L, LDBL_MIN, 123.456L};
  for (long double v : lvalues) expect_like_glibc("%Lf|%Le|%Lg|%.30Lg|%La", v, v, v, v, v);
}

TEST(Format, RandomValuesMatchGlibc) {
  std::mt19937_64 rng(12345);
  const char *ffmt[] = {"%.*f", "%.*e", "%.*g", "%.*a", "%#.*g"};
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    int prec = static_cast<int>(rng() % 25);
    const char *f = ffmt[i % 5];
    if (f[3] == 'f' && std::fabs(v) > 1e60) continue;  // keep the fixed outputs short
    char a[1024], b[1024];
    btk_snprintf(a, sizeof a, f, prec, v);
    std::snprintf(b, sizeof b, f, prec, v);
    ASSERT_STREQ(a, b) << f << " prec " << prec << " bits " << bits;
    long long n = static_cast<long long>(rng());
    btk_snprintf(a, sizeof a, "%lld|%-*llx|%0*llo", n, prec, n, prec, n);
    std::snprintf(b, sizeof b, "%lld|%-*llx|%0*llo", n, prec, n, prec, n);
    ASSERT_STREQ(a, b);
  }
}

TEST(Format, TruncationAndCounts) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(btk_snprintf(buf, 4, "%d", 12345), 5);
  EXPECT_STREQ(buf, "123");
  EXPECT_EQ(buf[4], 'x');
  EXPECT_EQ(btk_snprintf(nullptr, 0, "%s-%s", "ab", "cd"), 5);
  EXPECT_EQ(btk_snprintf(buf, 1, "abc"), 3);
  EXPECT_STREQ(buf, "");
  int n = -1;
  short h = -1;
  EXPECT_EQ(btk_snprintf(buf, sizeof buf, "abc%n%hnde", &n, &h), 5);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(h, 3);
  // A long result beyond the local staging of the float path.
  std::string big(5000, '\0');
  int len = btk_snprintf(big.data(), big.size(), "%.1000f", 1e300);
  char ref[5000];
  EXPECT_EQ(len, std::snprintf(ref, sizeof ref, "%.1000f", 1e300));
  EXPECT_STREQ(big.c_str(), ref);
}

TEST(Format, MalformedFormatsFail) {
  char buf[32];
  const char *bad[] = {"%", "abc%", "%y", "%5", "%.", "%hhq", "%99999999999d", "%1$d"};
  for (const char *f : bad) {
    SCOPED_TRACE(f);
    EXPECT_EQ(btk_snprintf(buf, sizeof buf, f, 1), -1);
  }
  EXPECT_EQ(btk_snprintf(buf, sizeof buf, nullptr), -1);
  // Precisions near INT_MAX leave the number out instead of overrunning.
  for (const char *f : {"[%.*e]", "[%.*f]", "[%.*g]", "[%.*a]"}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(btk_snprintf(buf, sizeof buf, f, INT_MAX, 0.0), 2);
    EXPECT_STREQ(buf, "[]");
  }
  EXPECT_EQ(btk_snprintf(buf, sizeof buf, "%.*f", 20, 0.5), 22);  // large but sane still works
}

TEST(Format, WideStringArguments) {
  char buf[64];
  struct Row {
    const char *fmt;
    const char16_t *arg;
    const char *want;
  } rows[] = {
      {"%ws", u"abc", "abc"},
      {"%S", u"\u00e9t\u00e9", "\xc3\xa9t\xc3\xa9"},
      {"[%6ws]", u"\u00e9", "[    \xc3\xa9]"},  // width counts bytes
      {"[%-4S]", u"ab", "[ab  ]"},
      {"%.3ws", u"\u00e9\u00e9", "\xc3\xa9"},  // 3 bytes hold one é, not one and a half
      {"%.3ws", u"\U0001F600x", ""},           // a 4-byte character never splits
      {"%.4ws", u"\U0001F600x", "\xf0\x9f\x98\x80"},
      {"%ls", u"\U00010348", "\xf0\x90\x8d\x88"},
      {"%ws", u"a\xd800z", "a\xef\xbf\xbdz"},  // unpaired surrogates become U+FFFD
      {"%ws", u"\xdc00", "\xef\xbf\xbd"},
      {"%ws", nullptr, "(null)"},
      {"%.1ws", u"\xd83d", ""},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.fmt);
    int n = btk_snprintf(buf, sizeof buf, r.fmt, r.arg);
    EXPECT_STREQ(buf, r.want);
    EXPECT_EQ(n, static_cast<int>(std::strlen(r.want)));
  }
  EXPECT_EQ(btk_snprintf(buf, sizeof buf, "%wc|%C", u'\u00e9', 0xd800), 6);
  EXPECT_STREQ(buf, "\xc3\xa9|\xef\xbf\xbd");
}

TEST(Format, WideFamily) {
  kw_wchar out[16];
  EXPECT_EQ(btk_swprintf(out, 16, u"[%5s]", u"\u00e9"), 7);  // width in units
  EXPECT_EQ(std::u16string(out), u"[    \u00e9]");
  EXPECT_EQ(btk_swprintf(out, 5, u"%d", 1234567), 7);  // result: the whole length
  EXPECT_EQ(std::u16string(out), u"1234");
  EXPECT_EQ(btk_swprintf(out, 3, u"%s", u"a\U0001F600"), 3);  // a pair is never split
  EXPECT_EQ(std::u16string(out), u"a");
  EXPECT_EQ(btk_swprintf(out, 16, u"%hs|%S|%.1s", "\xc3\xa9", "x", u"\U0001F600"), 4);
  EXPECT_EQ(std::u16string(out), u"\u00e9|x|");
  EXPECT_EQ(btk_swprintf(out, 16, u"%hs", "\xff"), 1);  // invalid UTF-8 is repaired
  EXPECT_EQ(std::u16string(out), u"\ufffd");
  EXPECT_EQ(btk_swprintf(nullptr, -1, u"%d", 10), 2);
  int n = -1;
  EXPECT_EQ(btk_swprintf(out, 16, u"\u00e9\U0001F600%n!", &n), 4);
  EXPECT_EQ(n, 3);  // %n counts units in the wide family
  EXPECT_EQ(btk_swprintf(out, 16, u"%q"), -1);
}

struct CollectSink {
  btk_out_sink base;
  std::string text;
  std::size_t limit;
  int finished;
};

int collect_write(btk_out_sink *s, const char *b, size_t n) {
  auto *c = reinterpret_cast<CollectSink *>(s);
  if (c->text.size() + n > c->limit) return -1;
  c->text.append(b, n);
  return 0;
}
int collect_finish(btk_out_sink *s) {
  ++reinterpret_cast<CollectSink *>(s)->finished;
  return 0;
}
const btk_out_ops kCollectOps = {collect_write, collect_finish, nullptr, nullptr};

int stream_format(CollectSink *sink, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = btk_printf_stream_low(&sink->base, fmt, ap);
  va_end(ap);
  return n;
}

TEST(Format, StreamSinks) {
  CollectSink all{{&kCollectOps}, {}, SIZE_MAX, 0};
  std::string long_arg(3000, 'q');
  EXPECT_EQ(stream_format(&all, "<%s>%d", long_arg.c_str(), 7), 3003);
  EXPECT_EQ(all.text, "<" + long_arg + ">7");
  EXPECT_EQ(all.finished, 1);
  // A sink that refuses stops the output; the count is what it accepted.
  CollectSink small{{&kCollectOps}, {}, 600, 0};
  int n = stream_format(&small, "%s%s", long_arg.c_str(), "tail");
  EXPECT_EQ(n, static_cast<int>(small.text.size()));
  EXPECT_LE(small.text.size(), 600u);
  EXPECT_EQ(small.finished, 1);
  CollectSink bad{{&kCollectOps}, {}, SIZE_MAX, 0};
  EXPECT_EQ(stream_format(&bad, "ok %z"), -1);
  EXPECT_EQ(bad.text, "ok ");
  EXPECT_EQ(bad.finished, 1);
}

TEST(Format, FileStreams) {
  FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(btk_fprintf(f, "%s %05.1f %ws\n", "v", 2.25, u"\u00e9"), 11);
  std::rewind(f);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "v 002.2 \xc3\xa9\n");
  std::fclose(f);
}

}  // namespace
