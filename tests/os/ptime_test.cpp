// Time and dates: calendar arithmetic, conversions against the C library,
// the vex_tm text form, ptime comparison and the clock offset.
#include <gtest/gtest.h>
#include <keelwork/debug.h>
#include <keelwork/ptime.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

std::tm make_tm(int year, int mon, int mday, int hour = 0, int min = 0, int sec = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = mon;
  tm.tm_mday = mday;
  tm.tm_hour = hour;
  tm.tm_min = min;
  tm.tm_sec = sec;
  tm.tm_isdst = -1;
  return tm;
}

// Switches the process to a zone with daylight saving; false when the zone
// data is not installed.
bool use_zone(const char *zone) {
  if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone)) return false;
  setenv("TZ", zone, 1);
  tzset();
  return true;
}

ptime make_ptime(int year, int mon, int mday, int hour, int min, int sec, int is_local) {
  return ptime{sec, min, hour, mday, mon, year - 1900, is_local};
}

TEST(Ptime, APIExamples) {
  ptime now;
  ASSERT_EQ(ptime_current_gmt(&now), &now);
  EXPECT_EQ(now.tm_is_local, 0);
  ptime local;
  ASSERT_EQ(ptime_convert_to_local(&now, &local), 1);
  EXPECT_EQ(ptime_compare(&now, &local), 0);
  EXPECT_EQ(ptime_diff(&local, &now), 0);

  kw_wchar out[40];
  format_date_string(u"%dd-%Mmm-%yy", 2026, 12, 4, out, 40);
  EXPECT_EQ(std::u16string(out), u"04-Dec-26");
}

TEST(Calendar, DayOfYearAndLeapYears) {
  struct Row {
    int year, month, day, yday;
  } rows[] = {
      {2000, 2, 1, 60},    {1900, 2, 1, 59},   {2024, 0, 1, 0},    {2023, 11, 31, 364},
      {2024, 11, 31, 365}, {2023, 12, 1, 365}, {2023, 40, 1, 365}, {2023, -3, 10, 9},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(std::to_string(r.year) + "/" + std::to_string(r.month) + "/" +
                 std::to_string(r.day));
    EXPECT_EQ(tm_get_yday(r.year - 1900, r.month, r.day), r.yday);
  }
  EXPECT_EQ(tm_is_leap_year(2000), 1);
  EXPECT_EQ(tm_is_leap_year(1900), 0);
  EXPECT_EQ(tm_is_leap_year(2024), 1);
  EXPECT_EQ(tm_is_leap_year(2023), 0);
}

TEST(Calendar, PlainArithmeticMatchesTimegm) {
  std::tm before = make_tm(1969, 11, 31, 23, 59, 59);
  EXPECT_EQ(vexs_mktime_(&before), 0);
  std::tm epoch = make_tm(1970, 0, 1);
  EXPECT_EQ(vexs_mktime_(&epoch), 0);
  std::tm y2010 = make_tm(2010, 0, 1);
  EXPECT_EQ(vexs_mktime_(&y2010), 14610LL * 86400);
  EXPECT_EQ(vexs_mktime_(nullptr), 0);
  // Every 1 March and 31 December from 1970 to 2400 (leap rules of the
  // centuries included), at an odd time of day.
  for (int year = 1970; year <= 2400; ++year) {
    for (std::tm tm : {make_tm(year, 2, 1, 13, 7, 41), make_tm(year, 11, 31, 23, 59, 59)}) {
      std::tm copy = tm;
      ASSERT_EQ(vexs_mktime_(&tm), timegm(&copy)) << year;
    }
  }
}

// vexs_mktime against mktime in a zone with daylight saving, hour by hour
// through the change days and at odd times over several years, so that the
// per-day cache is hit, missed and refilled in every order.
TEST(Conversions, LocalSecondsMatchTheCLibrary) {
  if (!use_zone("Europe/Berlin")) GTEST_SKIP() << "zone data for Europe/Berlin not installed";
  auto check = [](std::tm tm) {
    std::tm expected_tm = tm;
    time_t expected = mktime(&expected_tm);
    std::tm ours = tm;
    time_t got = vexs_mktime(&ours);
    ASSERT_EQ(got, expected) << std::asctime(&tm);
    EXPECT_EQ(ours.tm_isdst, expected_tm.tm_isdst) << std::asctime(&tm);
    EXPECT_EQ(ours.tm_hour, tm.tm_hour);  // only the flag changes
  };
  const int change_days[][3] = {{2025, 2, 30}, {2025, 9, 26}, {2026, 2, 29}, {2026, 9, 25}};
  for (const auto &d : change_days)
    for (int pass = 0; pass < 2; ++pass)
      for (int h = 0; h < 24; ++h)
        for (int m : {0, 30, 59}) check(make_tm(d[0], d[1], d[2], pass ? 23 - h : h, m, 17));
  for (int day = 0; day < 3 * 366; day += 5)
    for (int h : {0, 1, 2, 3, 12, 23}) check(make_tm(2024, 0, 1 + day, h, 11, 5));
  // Before 1970 the arithmetic is flat; the conversion must still be exact.
  check(make_tm(1969, 6, 1, 10, 0, 0));
  check(make_tm(1969, 6, 1, 11, 0, 0));
}

TEST(Conversions, PtimeConvertsBothWaysLikeTheCLibrary) {
  if (!use_zone("Europe/Berlin")) GTEST_SKIP() << "zone data for Europe/Berlin not installed";
  // Instants every 97 minutes over two years, and every 10 minutes around
  // the change of 26 October 2025 (01:00 GMT).
  std::tm start_tm = make_tm(2025, 0, 1);
  time_t start = timegm(&start_tm);
  std::tm change_tm = make_tm(2025, 9, 26);
  time_t change = timegm(&change_tm) + 3600;
  auto check = [](time_t t) {
    std::tm g{}, l{};
    gmtime_r(&t, &g);
    localtime_r(&t, &l);
    ptime gmt = make_ptime(g.tm_year + 1900, g.tm_mon, g.tm_mday, g.tm_hour, g.tm_min, g.tm_sec, 0);
    ptime local{};
    ASSERT_EQ(ptime_convert(PTIME_TO_LOCAL, &gmt, &local), 1);
    EXPECT_EQ(local.tm_is_local, 1);
    EXPECT_EQ(local.tm_hour, l.tm_hour) << t;
    EXPECT_EQ(local.tm_mday, l.tm_mday) << t;
    EXPECT_EQ(ptime_to_time_t_(&gmt), t);
    // Back to GMT; the repeated hour of the autumn change is ambiguous in
    // local time (the C library answers either way) and is left out.
    std::tm hour_before{}, hour_after{};
    time_t before = t - 3600, after = t + 3600;
    localtime_r(&before, &hour_before);
    localtime_r(&after, &hour_after);
    if (hour_before.tm_hour != l.tm_hour && hour_after.tm_hour != l.tm_hour) {
      ptime back{};
      ASSERT_EQ(ptime_convert_to_gmt(&local, &back), 1);
      EXPECT_EQ(ptime_compare(&back, &gmt), 0) << t;
      EXPECT_EQ(ptime_compare(&local, &gmt), 0) << t;
    }
  };
  for (time_t t = start; t < start + 2 * 365 * 86400; t += 97 * 60) check(t);
  for (time_t t = change - 3 * 3600; t < change + 3 * 3600; t += 600) check(t);
}

TEST(Conversions, RecordsOnOrBeforeTheEpochDayOnlyChangeTheFlag) {
  for (ptime p : {make_ptime(1970, 0, 1, 12, 0, 0, 1), make_ptime(1960, 5, 5, 5, 5, 5, 1)}) {
    ptime out{};
    ASSERT_EQ(ptime_convert(PTIME_TO_GMT, &p, &out), 1);
    EXPECT_EQ(out.tm_hour, p.tm_hour);
    EXPECT_EQ(out.tm_is_local, 0);
  }
  ptime p = make_ptime(2020, 1, 1, 0, 0, 0, 1), out{};
  EXPECT_EQ(ptime_convert(3, &p, &out), 0);
  EXPECT_EQ(ptime_convert(PTIME_TO_GMT, nullptr, &out), 0);
}

TEST(Conversions, GmtSecondsAndBreakDown) {
  std::tm tm = make_tm(2038, 0, 19, 3, 14, 8);  // past the 32-bit limit
  tm.tm_isdst = 1;
  EXPECT_EQ(vexs_timegm(&tm), 2147483648LL);
  EXPECT_EQ(tm.tm_isdst, 0);
  time_t t = 2147483648LL;
  struct tm *g = vexs_gmtime(&t);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->tm_year, 138);
  EXPECT_EQ(vexs_gmtime(nullptr), nullptr);
  ptime p;
  ASSERT_EQ(vexe_gmtime(&p, t), &p);
  EXPECT_EQ(p.tm_sec, 8);
  EXPECT_EQ(p.tm_is_local, 0);
  EXPECT_EQ(vexs_difftime(10, 4), 6.0);
}

TEST(Ptime, CompareOrdersByFieldsAndReportsNullRecords) {
  ptime a = make_ptime(2024, 5, 1, 10, 0, 0, 0);
  ptime b = a;
  b.tm_sec = 1;
  EXPECT_LT(ptime_compare(&a, &b), 0);
  EXPECT_GT(ptime_compare(&b, &a), 0);
  b = a;
  b.tm_year += 1;
  b.tm_sec -= 1;
  EXPECT_LT(ptime_compare(&a, &b), 0);  // the year decides first

  dbg_set_allow_print(1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ptime_compare(nullptr, &a), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ptime_compare"), std::string::npos);
  EXPECT_NE(err.find("bad parameters"), std::string::npos);
}

TEST(Ptime, DiffIsLimitedToThirtyTwoBits) {
  ptime a = make_ptime(2100, 0, 1, 0, 0, 0, 0);
  ptime b = make_ptime(1971, 0, 1, 0, 0, 0, 0);
  EXPECT_EQ(ptime_diff(&a, &b), INT32_MAX);
  EXPECT_EQ(ptime_diff(&b, &a), INT32_MIN);
  ptime c = make_ptime(1971, 0, 1, 0, 1, 0, 0);
  EXPECT_EQ(ptime_diff(&c, &b), 60);
  EXPECT_EQ(ptime_diff(nullptr, &b), 0);
  EXPECT_EQ(atb_ptime_diff_1_1_70(&c), 365 * 86400 + 60);
  ptime zero_year{};
  EXPECT_EQ(atb_ptime_diff_1_1_70(&zero_year), -1);
  EXPECT_EQ(ptime_to_time_t_(nullptr), -1);
}

TEST(Ptime, ClockOffsetShiftsTheCurrentTime) {
  ptime before, after;
  ASSERT_NE(ptime_current_gmt(&before), nullptr);
  ptime_set_offset(86400, 0);
  ASSERT_NE(ptime_current_gmt(&after), nullptr);
  int32_t d = ptime_diff(&after, &before);
  EXPECT_GE(d, 86400);
  EXPECT_LE(d, 86402);
  // An offset of -2^32 seconds puts the clock before 1970.
  ptime_set_offset(0, -1);
  EXPECT_EQ(ptime_current_local(nullptr), nullptr);
  ptime_set_offset(0, 0);
  ptime *internal = ptime_current_local(nullptr);
  ASSERT_NE(internal, nullptr);
  EXPECT_EQ(internal->tm_is_local, 1);
}

TEST(VexTm, TextRoundTrip) {
  struct Row {
    const char *text;
    int ok;
    int mday = 0, mon = 0, year = 0, hour = 0, min = 0, sec = 0;
  } rows[] = {
      {"4-Dec-126 10:05:00", 1, 4, 11, 126, 10, 5, 0},
      {"04-dec-99 23:59:59", 1, 4, 11, 99, 23, 59, 59},
      {"17-SEP-2026 01:02:03", 1, 17, 8, 2026, 1, 2, 3},
      {"1-Xyz-99 00:00:00", 0},
      {"1-Jan-99 00:00", 0},
      {"1-Jan-99999 00:00:00", 0},  // the year does not fit
      {"", 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.text);
    vex_tm t{};
    t.tm_zone_min = 5;
    ASSERT_EQ(string_to_vex_tm(r.text, &t), r.ok);
    if (!r.ok) {
      EXPECT_EQ(t.tm_zone_min, 5);  // untouched
      continue;
    }
    EXPECT_EQ(t.tm_mday, r.mday);
    EXPECT_EQ(t.tm_mon, r.mon);
    EXPECT_EQ(t.tm_year, r.year);
    EXPECT_EQ(t.tm_hour, r.hour);
    EXPECT_EQ(t.tm_min, r.min);
    EXPECT_EQ(t.tm_sec, r.sec);
    EXPECT_EQ(t.tm_zone_min, VEX_TM_NO_ZONE);
    char text[VEX_TM_STRING_SIZE];
    vex_tm again{};
    ASSERT_EQ(string_to_vex_tm(vex_tm_to_string(&t, text), &again), 1) << text;
    EXPECT_EQ(std::string(vex_tm_to_string(&again, text)), std::string(vex_tm_to_string(&t, text)));
  }
  vex_tm t{};
  t.tm_mday = 4;
  t.tm_mon = 11;
  t.tm_year = 126;
  t.tm_hour = 10;
  t.tm_min = 5;
  char text[VEX_TM_STRING_SIZE];
  EXPECT_EQ(std::string(vex_tm_to_string(&t, text)), "4-Dec-126 10:05:00");
  t.tm_mon = 40;
  t.tm_mday = -128;
  t.tm_year = -32768;
  EXPECT_EQ(std::string(vex_tm_to_string(&t, text)), "-128-\?\?\?--32768 10:05:00");
}

TEST(VexTm, SecondsAndLocalBreakDown) {
  vex_tm t{};
  t.tm_mday = 1;
  t.tm_year = 110;  // 2010
  t.tm_zone_min = VEX_TM_NO_ZONE;
  EXPECT_EQ(vex_mktime(&t), 14610LL * 86400);
  t.tm_zone_min = -60;
  EXPECT_EQ(vex_mktime(&t), 14610LL * 86400 - 3600);

  struct tm out;
  ASSERT_EQ(vex_tm_to_tm(&t, &out), 1);
  EXPECT_EQ(out.tm_year, 110);
  EXPECT_EQ(out.tm_wday, -1);
  EXPECT_EQ(out.tm_yday, -1);

  time_t when = 0;
  vex_tm now{};
  ASSERT_EQ(tm_get_local_tm(&now, &when), 1);
  EXPECT_NE(when, 0);  // the current time is stored back
  EXPECT_EQ(now.tm_zone_min, VEX_TM_NO_ZONE);
  EXPECT_EQ(tm_get_local_tm(&now, nullptr), 1);
  EXPECT_EQ(tm_get_local_tm(nullptr, &when), 0);
}

}  // namespace
