// Clocks, stopwatches, process times, timing messages, delays and random
// numbers.
#include <gtest/gtest.h>
#include <keelwork/ptime.h>
#include <keelwork/runmode.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

int64_t elapsed_ms(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

TEST(Clock, ReadingsAgreeWithTheSystemClock) {
  // time() reads the kernel's coarse clock, which may lag a precise reading
  // by a tick, so the bounds come from the precise clock too.
  auto seconds_now = [] {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  vex_timeval tv{};
  auto before = seconds_now();
  ASSERT_EQ(vex_gettimeofday(&tv), 0);
  auto after = seconds_now();
  EXPECT_GE(tv.tv_sec, before);
  EXPECT_LE(tv.tv_sec, after);
  EXPECT_EQ(tv.tv_usec % 1000, 0);  // whole milliseconds
  EXPECT_LT(tv.tv_usec, 1000000);
  EXPECT_EQ(vex_gettimeofday(nullptr), -1);
  double d = get_double_elapsed_time();
  EXPECT_GE(d, static_cast<double>(before));
  EXPECT_LE(d, static_cast<double>(seconds_now()) + 1);
}

TEST(Stopwatch, StopGivesTheElapsedTimeAndPrints) {
  vex_timeval t{};
  gfx_timer_start(&t);
  // A start in the past, with more microseconds than the clock has now,
  // makes the stop borrow a second.
  t.tv_sec -= 2;
  t.tv_usec = 999000;
  gfx_timer_stop(&t);
  EXPECT_GE(t.tv_sec, 1);
  EXPECT_LE(t.tv_sec, 2);
  EXPECT_GE(t.tv_usec, 0);
  EXPECT_LT(t.tv_usec, 1000000);

  vex_timeval fixed{2, 500000};
  testing::internal::CaptureStdout();
  gfx_timer_print(&fixed, "redraw");
  gfx_timer_frames_per_second(&fixed, "redraw");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "elapsed time for redraw was 2 seconds, 500000 microseconds\n"
            "frames per second for redraw was 0.400\n");
}

TEST(ProcessTimes, UserTimeGrowsWithWork) {
  vex_timeval before{}, after{}, system{}, wall{};
  ASSERT_EQ(kst_get_cpu_user_secs(&before), 0);
  auto start = Clock::now();
  volatile uint64_t x = 0;
  while (elapsed_ms(start) < 60) x = x + 1;
  ASSERT_EQ(kst_get_cpu_user_secs(&after), 0);
  ASSERT_EQ(kst_get_cpu_system_secs(&system), 0);
  ASSERT_EQ(kst_get_cpu_elapsed_secs(&wall), 0);
  int64_t grew = (after.tv_sec - before.tv_sec) * 1000000 + after.tv_usec - before.tv_usec;
  EXPECT_GT(grew, 10000);
  EXPECT_LT(after.tv_usec, 1000000);
  EXPECT_GT(wall.tv_sec, 1000000000);
  EXPECT_EQ(kst_get_cpu_user_secs(nullptr), -1);
  EXPECT_EQ(kst_get_cpu_user_ticks(), 13);
  EXPECT_EQ(kst_get_cpu_system_ticks(), 13);
  EXPECT_EQ(kst_get_cpu_elapsed_ticks(), 13);
}

TEST(TimingMessages, SilentUnlessSwitchedOn) {
  unsetenv("VEX_DISPLAY_TIMING");
  testing::internal::CaptureStdout();
  vex_start_timing();
  vex_timing_msg("load", "parts");
  vex_print_time("now");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(TimingMessages, PrintElapsedTimeAndMoveTheBaseline) {
  setenv("VEX_DISPLAY_TIMING", "1", 1);
  testing::internal::CaptureStdout();
  vex_start_timing();
  int64_t now_s = 0, now_us = 0;
  vex_timing_elapsed(nullptr, nullptr, &now_s, &now_us);
  // Put the baseline 3.25 seconds back.
  int64_t s = now_s - 3, us = now_us - 250000;
  if (us < 0) {
    us += 1000000;
    s -= 1;
  }
  ASSERT_EQ(vex_timing_baseline_set(1, &s, &us), 0);
  vex_timing_msg("load", "parts");
  vex_print_time("done");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_search(
      out, std::regex("^\nRunning Application, time is \\d+\\.\\d\\d seconds\\.\n")))
      << out;
  EXPECT_TRUE(
      std::regex_search(out, std::regex("\n {23}load:   3\\.2[5-9]\\d seconds: parts\ndone, time "
                                        "is \\d+\\.\\d\\d seconds\\.\n$")))
      << out;
  // The message moved the baseline to now.
  int64_t es = 0, eus = 0;
  vex_timing_elapsed(&es, &eus, nullptr, nullptr);
  EXPECT_EQ(es, 0);
  // Reading the baseline back also moves it.
  int64_t old_s = 0, old_us = 0;
  ASSERT_EQ(vex_timing_baseline_set(0, &old_s, &old_us), 0);
  EXPECT_GE(old_s, now_s);
  EXPECT_EQ(vex_timing_baseline_set(1, nullptr, &old_us), -1);
}

TEST(Delay, RefusesNegativeAndCutsLongRequests) {
  EXPECT_EQ(spg_delay(-1), -1);
  // Run mode 73 waits a tenth as long: 50 tenths are cut to 30, so 300 ms.
  set_run_mode(73);
  testing::internal::CaptureStdout();
  auto start = Clock::now();
  EXPECT_EQ(spg_delay(50), 0);
  int64_t waited = elapsed_ms(start);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "spg_delay: More than a 3 second delay requested.\n");
  EXPECT_GE(waited, 299);  // the delay counts whole milliseconds
  EXPECT_LT(waited, 1000);
}

TEST(Delay, UserModeWaitsTenthsQuietly) {
  testing::internal::CaptureStdout();
  auto start = Clock::now();
  EXPECT_EQ(spg_delay(2), 0);
  int64_t waited = elapsed_ms(start);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_GE(waited, 199);
  EXPECT_LT(waited, 700);
}

TEST(Delay, RegressionModesDoNotWait) {
  for (int mode : {9029, 9129, 9229, 9329}) {
    SCOPED_TRACE(mode);
    set_run_mode(mode);
    auto start = Clock::now();
    EXPECT_EQ(spg_delay(30), 0);
    EXPECT_LT(elapsed_ms(start), 100);
  }
}

TEST(Delay, MicrosecondsAndTimeValues) {
  auto start = Clock::now();
  EXPECT_EQ(spg_delay_mic(20000), 1);
  EXPECT_GE(elapsed_ms(start), 20);
  EXPECT_EQ(spg_delay_time_val(0, 0), 0);
  EXPECT_EQ(spg_delay_time_val(-1, 5), 0);
  EXPECT_EQ(spg_delay_time_val(0, -5), 0);
  start = Clock::now();
  EXPECT_EQ(spg_delay_time_val(0, 1), 1);  // at least a millisecond
  EXPECT_GE(elapsed_ms(start), 1);
  start = Clock::now();
  EXPECT_EQ(spg_delay_time_val(0, 30000), 1);
  EXPECT_GE(elapsed_ms(start), 30);
  EXPECT_EQ(spg_sleep(), 0);
  EXPECT_EQ(vex_get_time_zone(), 0);
}

TEST(Random, NumbersStayInRange) {
  int32_t clock_number = vex_get_random_num();
  EXPECT_GE(clock_number, 0);
  EXPECT_LT(clock_number, 99999 * 4096 + 100000);
  bool differ = false;
  int32_t first = vex_random_num();
  for (int i = 0; i < 100; ++i) {
    int32_t r = vex_random_num();
    ASSERT_GE(r, 0);
    ASSERT_EQ(r & 0x8000, 0);  // fifteen bits from each draw
    differ |= r != first;
  }
  EXPECT_TRUE(differ);
}

}  // namespace
