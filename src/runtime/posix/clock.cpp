// Clocks, process times, sleeping and zone conversions on POSIX systems.
#include <sys/resource.h>

#include <cerrno>
#include <ctime>

#include "runtime/clock_internal.h"

namespace kw::runtime::clock {

WallClock wall_clock() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return {static_cast<int64_t>(ts.tv_sec), static_cast<int64_t>(ts.tv_nsec)};
}

int64_t steady_milliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool process_times(int64_t *user_us, int64_t *system_us) {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return false;
  *user_us = static_cast<int64_t>(usage.ru_utime.tv_sec) * 1000000 + usage.ru_utime.tv_usec;
  *system_us = static_cast<int64_t>(usage.ru_stime.tv_sec) * 1000000 + usage.ru_stime.tv_usec;
  return true;
}

int64_t processor_milliseconds() {
  std::clock_t c = std::clock();
  if (c == static_cast<std::clock_t>(-1)) return -1;
  return static_cast<int64_t>(c) / (CLOCKS_PER_SEC / 1000);
}

void sleep_milliseconds(int64_t milliseconds) {
  if (milliseconds <= 0) return;
  timespec request{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  timespec remaining{};
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

bool local_breakdown(time_t seconds, std::tm *out) { return localtime_r(&seconds, out) != nullptr; }

bool gmt_breakdown(time_t seconds, std::tm *out) { return gmtime_r(&seconds, out) != nullptr; }

// mktime and timegm return -1 both for failure and for one valid second; a
// day of week that stays at its sentinel tells the failure apart.
bool local_seconds(std::tm *tm, time_t *out) {
  tm->tm_wday = -1;
  time_t t = mktime(tm);
  if (t == static_cast<time_t>(-1) && tm->tm_wday == -1) return false;
  *out = t;
  return true;
}

bool gmt_seconds(std::tm *tm, time_t *out) {
  tm->tm_wday = -1;
  time_t t = timegm(tm);
  if (t == static_cast<time_t>(-1) && tm->tm_wday == -1) return false;
  *out = t;
  return true;
}

}  // namespace kw::runtime::clock
