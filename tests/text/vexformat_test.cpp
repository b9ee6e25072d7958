// Formatting in both modes, the rotating result buffers, console output and
// its redirections, scanning, wide characters through byte streams and the
// message formats.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <keelwork/btk_unicode.h>
#include <keelwork/debug.h>
#include <keelwork/lang.h>
#include <keelwork/runmode.h>
#include <keelwork/status_codes.h>
#include <keelwork/thread.h>
#include <keelwork/vexformat.h>
#include <keelwork/wstring.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "test_files.h"

namespace {

using kw::test::read_file;
using kw::test::temp_path;

TEST(Formatting, APIExamples) {
  char buf[64];
  EXPECT_STREQ(vex_sprintf(buf, "%s has %d parts", "assembly", 12), "assembly has 12 parts");
  const char *mine = vex_sprintf(nullptr, "%ws", u"caf\x00E9");
  EXPECT_STREQ(mine, "caf\xC3\xA9");
  testing::internal::CaptureStdout();
  EXPECT_EQ(vex_printf("%d\n", 5), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "5\n");
}

// The directives of the legacy formatter against their expected text.
TEST(Formatting, LegacyDirectives) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_ENGLISH);
  char buf[128];
  struct Case {
    std::string got, expected;
  } cases[] = {
      {vex_sprintf(buf, "%d|%5d|%-4d|%04d", 42, 7, 3, 9), "42|    7|3   |0009"},
      {vex_sprintf(buf, "%X %x %o %u %i", 255, 255, 8, 7u, -3), "FF ff 10 7 -3"},
      {vex_sprintf(buf, "%lld %I64d %llx %I64X", 1LL << 40, -(1LL << 40), 255LL, 255LL),
       "1099511627776 -1099511627776 ff FF"},
      {vex_sprintf(buf, "%ld %lu %lX", LONG_MAX, 5ul, 255l), "9223372036854775807 5 FF"},
      {vex_sprintf(buf, "%hd %hu", 65537, 65535), "1 65535"},
      {vex_sprintf(buf, "%e|%14e|%-14e|", 100000.0, 100000.0, 100000.0),
       "1.000000e+05|  1.000000e+05|1.000000e+05  |"},
      {vex_sprintf(buf, "%f %f %.2f", 1e-31, -1e-40, 3.14159), "0.000000 0.000000 3.14"},
      {vex_sprintf(buf, "%g %G %E %lf %le %lg", 0.5, 1e-10, 2.0, 1.5, 1.5, 1.5),
       "0.5 1E-10 2.000000E+00 1.500000 1.500000e+00 1.5"},
      {vex_sprintf(buf, "[%s] [%5s] [%-5s] [%.2s]", "ab", "ab", "ab", "abc"),
       "[ab] [   ab] [ab   ] [ab]"},
      {vex_sprintf(buf, "%*d|%-*d|%.*s|%.*s", 4, 1, 3, 2, 1, "xyz", -1, "xyz"), "   1|2  |x|xyz"},
      {vex_sprintf(buf, "%*d", -3, 5), "5  "},
      {vex_sprintf(buf, "%c%c 100%%", 'o', 'k'), "ok 100%"},
      {vex_sprintf(buf, "%ws|%S|%5ws", u"w", u"S", u"ab"), "w|S|   ab"},
      {vex_sprintf(buf, "%s", static_cast<const char *>(nullptr)), "(null)"},
      {vex_sprintf(buf, "%lux", 3ul), "3x"},  // the directive ends at its row
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.got, c.expected);
  }
  void *p = reinterpret_cast<void *>(0x1234);
  EXPECT_STREQ(vex_sprintf(buf, "%p", p), "0x1234");
}

TEST(Formatting, LegacyJapaneseKeepsCharactersWhole) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_JAPANESE);
  char buf[64];
  EXPECT_STREQ(vex_sprintf(buf, "%ws", u"\x4E9C\xFF71"), "\xB0\xA1\x8E\xB1");
  EXPECT_STREQ(vex_sprintf(buf, "[%.3ws]", u"\x4E9C\x4E9C"), "[\xB0\xA1]");
  EXPECT_STREQ(vex_sprintf(buf, "[%.1ws]", u"\x4E9C"), "[\xB0\xA1]");  // the first stays whole
  EXPECT_STREQ(vex_sprintf(buf, "[%5.3ws]", u"\x4E9C\x4E9C"), "[   \xB0\xA1]");
  EXPECT_STREQ(vex_sprintf(buf, "[%.4ws]",
                           u"a\x4E9C"
                           "b"),
               "[a\xB0\xA1"
               "b]");
  // Characters of the format itself are copied whole, even a lead byte
  // right before the terminator.
  EXPECT_STREQ(vex_sprintf(buf, "\xB0\xA1%d\xB0", 1),
               "\xB0\xA1"
               "1\xB0");
}

TEST(Formatting, InvalidLegacyDirectivesEndTheProgram) {
  btkUnicodeSetEnabled(0);
  char buf[32];
  for (const char *format : {"%ls", "%n", "%a", "%hs", "%5", "%1$d", "%lc"}) {
    SCOPED_TRACE(format);
    EXPECT_DEATH(vex_sprintf(buf, format, 1), "Invalid printf specifier!");
  }
}

TEST(Formatting, PathsWithoutAFileLayerPassUnchanged) {
  btkUnicodeSetEnabled(0);
  char buf[300];
  EXPECT_STREQ(vex_sprintf(buf, "%pd|%pf", "a\\b", "c"), "a\\b|c");
  std::string long_path(400, 'p');
  EXPECT_EQ(std::strlen(vex_sprintf(buf, "%pd", long_path.c_str())), 255u);
}

TEST(Formatting, SizedCopies) {
  char buf[8] = "xxxxxxx";
  EXPECT_STREQ(vex_sprintf(buf, "%d", 12345), "12345");
  auto low = [](char *dst, long size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    char *r = vex_vsnprintf_low(dst, size, format, args);
    va_end(args);
    return r;
  };
  char four[8] = "zzzzzzz";
  EXPECT_STREQ(low(four, 4, "%d", 12345), "123");
  char untouched[4] = "abc";
  EXPECT_EQ(low(untouched, 0, "%d", 1), untouched);
  EXPECT_STREQ(untouched, "abc");
  EXPECT_STREQ(low(nullptr, 2, "%d", 77), "77");
}

TEST(Formatting, TheTenthCallReusesTheFirstBuffer) {
  for (int legacy = 0; legacy < 2; ++legacy) {
    SCOPED_TRACE(legacy);
    btkUnicodeSetEnabled(!legacy);
    char *first = vex_sprintf(nullptr, "%d", 0);
    for (int i = 1; i < 9; ++i) EXPECT_NE(vex_sprintf(nullptr, "%d", i), first);
    EXPECT_STREQ(first, "0");  // still valid after eight more calls
    EXPECT_EQ(vex_sprintf(nullptr, "%d", 9), first);
    EXPECT_STREQ(first, "9");
  }
}

int format_on_thread(thrThread *, void *arg) {
  auto *out = static_cast<std::string *>(arg);
  for (int i = 0; i < 20; ++i) *out = vex_sprintf(nullptr, "%d-%ws", i, u"t");
  return 0;
}

TEST(Formatting, EachThreadHasItsBuffers) {
  for (int legacy = 0; legacy < 2; ++legacy) {
    btkUnicodeSetEnabled(!legacy);
    std::string a, b;
    thrThread *t1 = thrThread_Create();
    thrThread *t2 = thrThread_Create();
    thrThread_SetUserExecute(t1, format_on_thread, &a);
    thrThread_SetUserExecute(t2, format_on_thread, &b);
    ASSERT_EQ(thrThread_Execute(t1), 0);
    ASSERT_EQ(thrThread_Execute(t2), 0);
    thrThread_Destroy(t1);  // the buffers go with the thread
    thrThread_Destroy(t2);
    EXPECT_EQ(a, "19-t");
    EXPECT_EQ(b, "19-t");
  }
}

TEST(Formatting, WideOutput) {
  kw_wchar out[64];
  EXPECT_EQ(vex_wsprintf(out, "%s-%d \xC3\xA9", u"x", 3), 5);
  EXPECT_EQ(std::u16string(out), u"x-3 \x00E9");
  std::string long_format(1000, 'f');
  long_format += "%d";
  std::u16string big(1100, u'\0');
  EXPECT_EQ(vex_wsprintf(big.data(), long_format.c_str(), 1), 1001);
  EXPECT_EQ(vex_wsprintf(out, "\xFF"), -1);
}

// ---- console output ------------------------------------------------------------------

TEST(Console, NoConsoleWritesTheStdFiles) {
  std::string out = temp_path("stdout"), err = temp_path("stderr");
  EXPECT_STREQ(Gdi32SetStdOutFile(out.c_str()), out.c_str());
  EXPECT_STREQ(Gdi32SetStdErrFile(err.c_str()), err.c_str());
  EXPECT_EQ(Gdi32SetStdOutFile(nullptr), nullptr);
  EXPECT_EQ(vex_printf("one %d\n", 1), 6);
  ikst_printf("two\n");
  ikst_fprintf(stderr, "to err\n");
  EXPECT_EQ(read_file(out), "one 1\ntwo\n");
  EXPECT_EQ(read_file(err), "to err\n");
  std::remove(out.c_str());
  std::remove(err.c_str());
}

TEST(Console, UnopenableStdFileFails) {
  Gdi32SetStdOutFile("/nonexistent-dir/std.out");
  EXPECT_EQ(ikst_printf("x"), -1);
}

TEST(Console, StreamsAndPuts) {
  FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(vex_fprintf(f, "%s=%ws", "k", u"v"), 3);
  EXPECT_EQ(vex_fputs("!", f), 1);
  std::rewind(f);
  char line[16];
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "k=v!");
  std::fclose(f);
  EXPECT_EQ(vex_fputs(nullptr, stdout), -1);
}

TEST(Console, DebugMessagesInALegacySession) {
  btkUnicodeSetEnabled(0);
  set_language(LANG_JAPANESE);
  set_verbose_mode(1);
  set_run_mode(1);
  testing::internal::CaptureStdout();
  dbg_err_syserr("where", "%ws", u"\x4E9C");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "where:  \xB0\xA1 (ORDER_DEBUG)\n");
}

// ---- scanning -------------------------------------------------------------------------------

TEST(Scanning, Strings) {
  int i = 0;
  char word[16];
  EXPECT_EQ(vex_sscanf("12 abc", "%d %15s", &i, word), 2);
  EXPECT_EQ(i, 12);
  EXPECT_STREQ(word, "abc");
  EXPECT_EQ(vex_sscanf("", "%d", &i), -1);
  EXPECT_EQ(vex_sscanf("x", "%d", &i), 0);
  double d = 0;
  EXPECT_EQ(vex_wsscanf(u"2.5 \x00E9", "%lf %15s", &d, word), 2);
  EXPECT_DOUBLE_EQ(d, 2.5);
  EXPECT_STREQ(word, "\xC3\xA9");
  EXPECT_EQ(vex_sscanf(nullptr, "%d", &i), -1);
}

TEST(Scanning, Streams) {
  FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fputs("7 8\n9\n", f);
  std::rewind(f);
  int a = 0, b = 0;
  EXPECT_EQ(vex_fscanf(f, "%d %d", &a, &b), 2);
  EXPECT_EQ(vex_fscanf(f, "%d", &a), 1);
  EXPECT_EQ(a, 9);
  EXPECT_EQ(vex_fscanf(f, "%d", &a), -1);
  std::fclose(f);
  EXPECT_EQ(vex_getws_no_echo(nullptr), nullptr);
}

TEST(Scanning, LinesWithoutEchoNeedATerminal) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_EQ(write(pipe_fds[1], "x\n", 2), 2);
  ASSERT_EQ(dup2(pipe_fds[0], 0), 0);
  kw_wchar line[STR_LEN];
  EXPECT_EQ(vex_getws_no_echo(line), nullptr);
}

TEST(Scanning, LinesWithoutEchoFromATerminal) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  ASSERT_EQ(dup2(slave, 0), 0);
  std::string typed =
      "s\xC3\xA9"
      "cret\n" +
      std::string(400, 'z') + "\nnext\n";
  ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  kw_wchar line[STR_LEN];
  ASSERT_EQ(vex_getws_no_echo(line), line);
  EXPECT_EQ(std::u16string(line),
            u"s\x00E9"
            "cret");
  ASSERT_EQ(vex_getws_no_echo(line), line);  // an overlong line is cut, its rest dropped
  EXPECT_EQ(std::u16string(line), std::u16string(STR_LEN - 1, u'z'));
  ASSERT_EQ(vex_getws_no_echo(line), line);
  EXPECT_EQ(std::u16string(line), u"next");
  termios mode{};
  ASSERT_EQ(tcgetattr(0, &mode), 0);
  EXPECT_TRUE(mode.c_lflag & ECHO);  // switched back on
  close(master);
}

// ---- wide characters through byte streams ---------------------------------------------------

struct Session {
  int unicode;
  int lang;
  std::u16string text;
  std::string bytes;
};

TEST(WideCharacters, RoundTripsThroughStreams) {
  Session sessions[] = {
      {1, LANG_ENGLISH, u"a\x00E9\x3042", "a\xC3\xA9\xE3\x81\x82"},
      {0, LANG_JAPANESE, u"a\x4E9C\xFF71", "a\xB0\xA1\x8E\xB1"},
      {0, LANG_KOREAN, u"a\xAC00", "a\xB0\xA1"},
      {0, LANG_RUSSIAN, u"\x0416", "\xC6"},
      {0, LANG_ENGLISH, u"\x00E9\x20AC", "\xE9\x80"},  // Windows-1252 in the C locale
  };
  for (const Session &s : sessions) {
    SCOPED_TRACE(s.lang);
    btkUnicodeSetEnabled(s.unicode);
    set_language(s.lang);
    FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    for (kw_wchar wc : s.text) fput_unicode_wc(wc, f);
    std::rewind(f);
    char bytes[32] = {};
    ASSERT_EQ(std::fread(bytes, 1, sizeof bytes, f), s.bytes.size());
    EXPECT_EQ(std::string(bytes), s.bytes);
    std::rewind(f);
    for (kw_wchar wc : s.text) EXPECT_EQ(fget_unicode_wc(f), wc);
    EXPECT_EQ(fget_unicode_wc(f), 0xFFFF);
    std::fclose(f);
  }
}

TEST(WideCharacters, FailuresAndTheEnd) {
  FILE *f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(fput_unicode_wc(0xD800, f), 1);  // no UTF-8 form: a blank
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "put_unicode_wc:Error - 1113\n");
  std::fputs(
      "\xF0\x9F\x98\x80"
      "\xC3",
      f);
  std::rewind(f);
  EXPECT_EQ(fget_unicode_wc(f), u' ');
  EXPECT_EQ(fget_unicode_wc(f), 0xFFFD);  // outside the BMP, read whole
  EXPECT_EQ(fget_unicode_wc(f), 0xFFFF);  // cut off
  std::fclose(f);
}

TEST(WideCharacters, FgetwcByLanguage) {
  struct Case {
    int unicode, lang;
    const char *bytes;
    int first, second;
  } cases[] = {{0, LANG_KOREAN, "\xB0\xA1z", 0xAC00, 'z'},
               {0, LANG_ENGLISH, "\xE9z", 0xE9, 'z'},
               {0, LANG_JAPANESE, "\xB0\xA1z", 0x4E9C, 'z'},
               {1, LANG_ENGLISH, "\xC3\xA9z", 0xE9, 'z'}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.lang);
    btkUnicodeSetEnabled(c.unicode);
    set_language(c.lang);
    FILE *f = std::tmpfile();
    std::fputs(c.bytes, f);
    std::rewind(f);
    EXPECT_EQ(vex_fgetwc(f), c.first);
    EXPECT_EQ(vex_fgetwc(f), c.second);
    EXPECT_EQ(vex_fgetwc(f), -1);
    std::fclose(f);
  }
}

// ---- message formats ---------------------------------------------------------------------

TEST(MessageFormats, Parse) {
  struct Case {
    const char *format;
    int result, count;
    int types[4];
  } cases[] = {{"%0s and %1d", 0, 2, {4, 1, 0, 0}},  {"%C%0w %2f", 0, 3, {3, 0, 2, 0}},
               {"100%% %Q %0q", 0, 0, {0, 0, 0, 0}}, {"%1.2e", 0, 2, {0, 2, 0, 0}},
               {"%xs", -30, 0, {0, 0, 0, 0}},        {"%0z", -30, 0, {0, 0, 0, 0}},
               {"trailing %", -30, 0, {0, 0, 0, 0}}, {"", 0, 0, {0, 0, 0, 0}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    vex_msg_format info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(ParseMsgFormat(c.format, &info), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(info.count, c.count);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(info.args[i].type, c.types[i]) << i;
    for (const vex_msg_arg &a : info.args) EXPECT_EQ(a.value, 0);
  }
}

TEST(MessageFormats, ErrorCodes) {
  struct Case {
    int code, mapped;
  } cases[] = {{E_NOT_FOUND, -4}, {E_CANT_OPEN, -24}, {E_EXIST, -5}, {E_NO_ERROR, -1}, {77, -1}};
  for (const Case &c : cases) {
    int r = 0;
    EXPECT_EQ(Eerror2VexError_Msg(c.code, &r), c.mapped);
    EXPECT_EQ(r, c.mapped);
  }
}

}  // namespace
