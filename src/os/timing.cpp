// Clocks, stopwatches, process times, timing messages, delays and random
// numbers.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

#include "keelwork/btk_os.h"
#include "keelwork/ptime.h"
#include "keelwork/runmode.h"
#include "keelwork/vexformat.h"
#include "os/os_internal.h"

namespace {

constexpr int64_t kMicrosecondsPerSecond = 1000000;

vex_timeval now() {
  kw::os::WallClock clock = kw::os::wall_clock();
  // Whole milliseconds, as the clock has always been reported.
  return {clock.seconds, clock.nanoseconds / 1000000 * 1000};
}

// a - b, borrowing a second when the microseconds go negative.
vex_timeval difference(const vex_timeval &a, const vex_timeval &b) {
  vex_timeval d{a.tv_sec - b.tv_sec, a.tv_usec - b.tv_usec};
  if (d.tv_usec < 0) {
    d.tv_usec += kMicrosecondsPerSecond;
    d.tv_sec -= 1;
  }
  return d;
}

vex_timeval from_microseconds(int64_t us) {
  return {us / kMicrosecondsPerSecond, us % kMicrosecondsPerSecond};
}

// The timing messages; used from the main thread.
struct Timing {
  bool on = false;
  vex_timeval baseline{};
  vex_timeval previous{};
};
Timing g_timing;

std::atomic<int64_t> g_times_start{-1};
std::atomic<bool> g_random_seeded{false};

const char *text_or_empty(const char *text) { return text ? text : ""; }

}  // namespace

// ---- the library's times and sleep
// ---------------------------------------------------------------

int32_t kw::os::times(int32_t fields[4]) {
  const int64_t ms = steady_milliseconds();
  int64_t expected = -1;
  g_times_start.compare_exchange_strong(expected, ms);
  const int64_t start = g_times_start.load();
  const int64_t cpu = processor_milliseconds();
  if (cpu < 0) {
    fields[0] = fields[1] = fields[2] = fields[3] = 0;
    return -1;
  }
  // 32-bit fields wrap after 24 days, as their readers expect.
  fields[0] = static_cast<int32_t>(static_cast<uint32_t>(ms - start));
  fields[1] = static_cast<int32_t>(static_cast<uint32_t>(cpu));
  fields[2] = 0;
  fields[3] = 0;
  return fields[0];
}

int kw::os::sleep_seconds(int seconds) {
  sleep_milliseconds(static_cast<int64_t>(seconds) * 1000);
  return seconds;
}

// ---- clocks and stopwatches
// ------------------------------------------------------------------------

KW_API int vex_gettimeofday(vex_timeval *tv) {
  if (!tv) return -1;
  *tv = now();
  return 0;
}

KW_API double get_double_elapsed_time(void) {
  vex_timeval t = now();
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

KW_API void gfx_timer_start(vex_timeval *t) {
  if (t) *t = now();
}

KW_API void gfx_timer_stop(vex_timeval *t) {
  if (t) *t = difference(now(), *t);
}

KW_API void gfx_timer_print(const vex_timeval *t, const char *label) {
  if (!t) return;
  vex_printf("elapsed time for %s was %ld seconds, %ld microseconds\n", text_or_empty(label),
             static_cast<long>(t->tv_sec), static_cast<long>(t->tv_usec));
}

KW_API void gfx_timer_frames_per_second(const vex_timeval *t, const char *label) {
  if (!t) return;
  double elapsed = static_cast<double>(t->tv_sec) + static_cast<double>(t->tv_usec) / 1e6;
  vex_printf("frames per second for %s was %.3lf\n", text_or_empty(label), 1.0 / elapsed);
}

KW_API int kst_get_cpu_user_secs(vex_timeval *t) {
  if (!t) return -1;
  int64_t user = 0, system = 0;
  bool ok = kw::os::process_times(&user, &system);
  *t = ok ? from_microseconds(user) : vex_timeval{};
  return ok ? 0 : -1;
}

KW_API int kst_get_cpu_system_secs(vex_timeval *t) {
  if (!t) return -1;
  int64_t user = 0, system = 0;
  bool ok = kw::os::process_times(&user, &system);
  *t = ok ? from_microseconds(system) : vex_timeval{};
  return ok ? 0 : -1;
}

KW_API int kst_get_cpu_elapsed_secs(vex_timeval *t) { return vex_gettimeofday(t); }

KW_API int kst_get_cpu_user_ticks(void) { return 13; }
KW_API int kst_get_cpu_system_ticks(void) { return 13; }
KW_API int kst_get_cpu_elapsed_ticks(void) { return 13; }

// ---- timing messages
// ----------------------------------------------------------------------------------

KW_API void vex_start_timing(void) {
  if (!btk_getenv("VEX_DISPLAY_TIMING")) return;
  g_timing.previous = g_timing.baseline;
  g_timing.baseline = now();
  g_timing.on = true;
  vex_printf("%s, time is %ld.%02ld seconds.\n", "\nRunning Application",
             static_cast<long>(g_timing.baseline.tv_sec),
             static_cast<long>(g_timing.baseline.tv_usec / 10000));
}

KW_API int vex_timing_baseline_set(int set, int64_t *seconds, int64_t *microseconds) {
  if (set) {
    if (!seconds || !microseconds) return -1;
    g_timing.baseline = {*seconds, *microseconds};
    return 0;
  }
  if (seconds) *seconds = g_timing.baseline.tv_sec;
  if (microseconds) *microseconds = g_timing.baseline.tv_usec;
  g_timing.baseline = now();
  return 0;
}

KW_API int vex_timing_elapsed(int64_t *seconds, int64_t *microseconds, int64_t *now_seconds,
                              int64_t *now_microseconds) {
  const vex_timeval t = now();
  const vex_timeval elapsed = difference(t, g_timing.baseline);
  if (seconds) *seconds = elapsed.tv_sec;
  if (microseconds) *microseconds = elapsed.tv_usec;
  if (now_seconds) *now_seconds = t.tv_sec;
  if (now_microseconds) *now_microseconds = t.tv_usec;
  return 0;
}

KW_API void vex_timing_msg(const char *label, const char *text) {
  if (!g_timing.on) return;
  const vex_timeval t = now();
  const vex_timeval elapsed = difference(t, g_timing.baseline);
  vex_printf("%27s: %3I64d.%03I64d seconds: %s\n", text_or_empty(label),
             static_cast<long long>(elapsed.tv_sec), static_cast<long long>(elapsed.tv_usec / 1000),
             text_or_empty(text));
  g_timing.baseline = t;
}

KW_API void vex_print_time(const char *label) {
  if (!g_timing.on) return;
  const vex_timeval t = now();
  vex_printf("%s, time is %ld.%02ld seconds.\n", text_or_empty(label), static_cast<long>(t.tv_sec),
             static_cast<long>(t.tv_usec / 10000));
}

// ---- delays
// ------------------------------------------------------------------------------------------------

KW_API int spg_delay(int tenths) {
  if (tenths < 0) return -1;
  if (tenths > 30) {
    tenths = 30;
    if (get_run_mode() != 0) vex_printf("spg_delay: More than a 3 second delay requested.\n");
  }
  if (regression_run_mode()) return 0;
  const int64_t target = std::llround(tenths * 1000.0 / (get_run_mode() == 73 ? 100 : 10));
  // Wait on the wall-time field alone: the processor-time field does not
  // grow while the thread sleeps and would grow as fast as the wall clock
  // while it spins.
  int32_t fields[4];
  if (kw::os::times(fields) == -1) return -1;
  const uint32_t start = static_cast<uint32_t>(fields[0]);
  for (;;) {
    if (kw::os::times(fields) == -1) return -1;
    const int64_t waited = static_cast<uint32_t>(fields[0]) - start;
    if (waited >= target) return 0;
    kw::os::sleep_milliseconds(std::min<int64_t>(target - waited, 10));
  }
}

KW_API int spg_delay_mic(int64_t microseconds) {
  kw::os::sleep_milliseconds(microseconds / 1000);
  return 1;
}

KW_API int spg_delay_time_val(int64_t seconds, int64_t microseconds) {
  if (seconds < 0 || microseconds < 0 || (seconds == 0 && microseconds == 0)) return 0;
  seconds = std::min<int64_t>(seconds, 1000000);
  const int64_t ms = std::max<int64_t>(seconds * 1000 + microseconds / 1000, 1);
  kw::os::sleep_milliseconds(ms);
  return 1;
}

KW_API int spg_sleep(void) { return 0; }

KW_API int vex_get_time_zone(void) { return 0; }

// ---- random numbers
// ------------------------------------------------------------------------------------------

KW_API int32_t vex_get_random_num(void) {
  const vex_timeval t = now();
  return static_cast<int32_t>((t.tv_sec % 100000) * 4096 + t.tv_usec % 100000);
}

KW_API int32_t vex_random_num(void) {
  if (!g_random_seeded.exchange(true)) std::srand(static_cast<unsigned>(vex_get_random_num()));
  // Fifteen bits of each draw, whatever the C library's RAND_MAX: the
  // result stays a non-negative 31-bit number.
  const int32_t high = std::rand() & 0x7fff;
  const int32_t low = std::rand() & 0x7fff;
  return (high << 16) | low;
}
