// The date-format language, the stored formats, month names and the current
// date as text.
#include <gtest/gtest.h>
#include <keelwork/lang.h>
#include <keelwork/ptime.h>

#include <cstring>
#include <ctime>
#include <string>

namespace {

std::string narrow(const std::u16string &w) { return std::string(w.begin(), w.end()); }

std::u16string format(const char16_t *f, int with_time, int hour = 13, int size = 100) {
  kw_wchar out[100];
  format_date_time_string(f, 2026, 12, 4, with_time, hour, 5, 9, out, size);
  return out;
}

TEST(DateFormat, Directives) {
  struct Row {
    const char16_t *format;
    int with_time;
    int hour;
    const char *expected;
  } rows[] = {
      {u"%dd-%Mmm-%yy", 0, 13, "04-Dec-26"},
      {u"%yyyy/%mm/%dd %hh:%mi:%ss", 1, 13, "2026/12/04 13:05:09"},
      {u"%dd-%Mmm-%yy %Hh:%mi:%ss %PM", 1, 13, "04-Dec-26 01:05:09 PM"},
      {u"% d.% m.%yyyy", 0, 13, " 4.12.2026"},
      {u"%MMM %Month %MONTH", 0, 13, "DEC December DECEMBER"},
      {u"%d/%m/%yy", 0, 13, "4/12/26"},
      // Plain text before the first '%' is dropped, as is a token that
      // starts with no directive; "%%" is no escape, only an empty token.
      {u"Date: %dd.%q.%yy", 0, 13, "04.26"},
      {u"%%dd", 0, 13, "04"},
      // Time directives only with time; "mi" without time is "m" + "i".
      {u"%hh %Hh %PM %ss", 0, 13, ""},
      {u"%mi", 0, 13, "12i"},
      {u"%hh|%Hh", 1, -1, "-1"},  // "hh" skipped for hour -1
      {u"%Hh", 1, 0, "12"},
      {u"%Hh", 1, 12, "12"},
      {u"%PM", 1, 11, "AM"},
      {u"%PM", 1, 12, "PM"},
      // Only the first 4 tokens (8 with time) count, the leading text among
      // them.
      {u"x%dd%mm%yy%dd", 0, 13, "041226"},
      {u"%dd%mm%yy%dd", 0, 13, "041226"},
      {u"%dd%mm%yy%hh%mi%ss%PM%dd", 1, 13, "041226130509PM"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(narrow(r.format));
    EXPECT_EQ(narrow(format(r.format, r.with_time, r.hour)), r.expected);
  }
}

TEST(DateFormat, OddValues) {
  kw_wchar out[64];
  format_date_time_string(u"%yy %yyyy %MMM %Mmm %mm", -5, 13, 0, 1, 0, 0, 0, out, 64);
  EXPECT_EQ(narrow(out), "95 -5 ??? ??? 13");
  format_date_time_string(u"%dd", 2026, 1, -2147483647 - 1, 0, 0, 0, 0, out, 64);
  EXPECT_EQ(narrow(out), "-2147483648");
}

TEST(DateFormat, OutputIsBounded) {
  const char16_t *f = u"%yyyy/%mm/%dd %hh:%mi:%ss";
  for (int size = 1; size <= 21; ++size) {
    SCOPED_TRACE(size);
    kw_wchar out[32];
    for (kw_wchar &c : out) c = u'#';
    int n = format_date_time_string(f, 2026, 12, 4, 1, 13, 5, 9, out, size);
    EXPECT_EQ(n, std::min(size - 1, 19));
    EXPECT_EQ(out[n], 0);
    EXPECT_EQ(narrow(out), std::string("2026/12/04 13:05:09").substr(0, n));
    for (int i = size; i < 32; ++i) ASSERT_EQ(out[i], u'#') << i;
  }
  // The buffer fills up inside the literal rest of a token.
  for (int size = 1; size <= 8; ++size) {
    SCOPED_TRACE(size);
    kw_wchar out[16];
    for (kw_wchar &c : out) c = u'#';
    int n = format_date_time_string(u"%mm%dd\u00e9\u00e9\u00e9\u00e9", 2026, 12, 4, 0, 0, 0, 0, out,
                                    size);
    EXPECT_EQ(n, size - 1);
    EXPECT_EQ(out[n], 0);
    for (int i = size; i < 16; ++i) ASSERT_EQ(out[i], u'#') << i;
  }
  kw_wchar guard = u'#';
  EXPECT_EQ(format_date_time_string(f, 2026, 1, 1, 1, 0, 0, 0, &guard, 0), 0);
  EXPECT_EQ(guard, u'#');
  EXPECT_EQ(format_date_time_string(f, 2026, 1, 1, 1, 0, 0, 0, nullptr, 10), 0);
  kw_wchar out[4] = u"zz";
  EXPECT_EQ(format_date_time_string(nullptr, 2026, 1, 1, 1, 0, 0, 0, out, 4), 0);
  EXPECT_EQ(out[0], 0);
}

TEST(DateFormat, OnlyTheFirstEightyCharactersOfAFormatCount) {
  std::u16string f(78, u'x');
  f += u"%dd";  // the directive starts within the 80 and is cut after "d"
  EXPECT_EQ(narrow(format(f.c_str(), 0)), "4");
}

TEST(DateFormat, StoredFormats) {
  kw_wchar buffer[PTIME_FORMAT_SIZE];
  EXPECT_EQ(std::u16string(get_todays_date_note_format(buffer)), u"%dd-%Mmm-%yy");
  std::u16string hundred(100, u'a');
  EXPECT_EQ(set_todays_date_note_format(nullptr, hundred.c_str()), 0);
  EXPECT_EQ(std::u16string(get_todays_date_note_format_low()), hundred.substr(0, 80));
  EXPECT_EQ(std::u16string(get_todays_date_note_format(buffer)), hundred.substr(0, 80));
  set_todays_date_note_format(nullptr, nullptr);
  EXPECT_EQ(std::u16string(get_todays_date_note_format_low()), u"%dd-%Mmm-%yy");
  EXPECT_EQ(get_todays_date_note_format(nullptr), nullptr);

  set_file_timestamp_format(nullptr, u"%yyyy");
  EXPECT_EQ(std::u16string(get_file_timestamp_format(buffer)), u"%yyyy");
  set_file_timestamp_format(nullptr, nullptr);
}

TEST(DateFormat, TimeStampDefaultFollowsTheLanguage) {
  set_language(LANG_GERMAN);
  EXPECT_EQ(std::u16string(get_file_timestamp_format_low()), u"%dd-%Mmm-%yy %Hh:%mi:%ss %PM");
  set_language(LANG_JAPANESE);
  EXPECT_EQ(std::u16string(get_file_timestamp_format_low()), u"%yyyy/%mm/%dd %hh:%mi:%ss");
  set_file_timestamp_format(nullptr, u"%dd");  // a format set wins over the language
  EXPECT_EQ(std::u16string(get_file_timestamp_format_low()), u"%dd");
}

TEST(MonthNames, NamesAndRecognition) {
  EXPECT_STREQ(get_month_str(1), "JAN");
  EXPECT_STREQ(get_month_str(12), "DEC");
  EXPECT_STREQ(get_month_str(0), "???");
  EXPECT_STREQ(get_full_month_str(9), "SEPTEMBER");
  EXPECT_STREQ(get_full_month_str(13), "???");
  struct Row {
    const char *text;
    int month;
  } rows[] = {{"jan", 1}, {"Feb", 2}, {"mar", 3}, {"apr", 4},  {"may", 5},  {"jun", 6},
              {"jul", 7}, {"aug", 8}, {"sep", 9}, {"oct", 10}, {"nov", 11}, {"dec", 12},
              {"xyz", 0}, {"", 0},    {"J", 7},   {"M", 5},    {"JA", 1},   {"june", 6}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.text);
    char buffer[8];
    std::strcpy(buffer, r.text);
    EXPECT_EQ(get_month_int(buffer), r.month);
  }
  char aug[] = "aug";
  get_month_int(aug);
  EXPECT_STREQ(aug, "AUG");
  EXPECT_EQ(get_month_int(nullptr), 0);
}

TEST(CurrentDate, TextForms) {
  setenv("TZ", "UTC", 1);
  tzset();
  time_t before = time(nullptr);
  kw_wchar wide[19];
  char shortform[16];
  date_second_string(wide);
  date_second_string_short(shortform);
  int day = 0, month = 0, year = 0;
  get_num_date(&day, &month, &year);
  time_t after = time(nullptr);
  if (before != after) GTEST_SKIP() << "the clock moved on between the readings";
  std::tm tm{};
  gmtime_r(&before, &tm);
  char expected[64];
  std::strftime(expected, sizeof expected, "%e-%b-%y %H:%M:%S", &tm);
  EXPECT_EQ(narrow(wide), expected);
  std::strftime(expected, sizeof expected, "%Y%m%d.%H%M%S", &tm);
  EXPECT_STREQ(shortform, expected);
  EXPECT_EQ(day, tm.tm_mday);
  EXPECT_EQ(month, tm.tm_mon + 1);
  EXPECT_EQ(year, tm.tm_year + 1900);
  EXPECT_EQ(get_num_date(nullptr, nullptr, nullptr), 0);
}

}  // namespace
