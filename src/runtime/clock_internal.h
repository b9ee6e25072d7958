// Clocks, process times, sleeping and the C library's zone conversions: the
// runtime-layer services under the time and date functions. The platform
// versions live in posix/clock.cpp.
#ifndef KW_RUNTIME_CLOCK_INTERNAL_H
#define KW_RUNTIME_CLOCK_INTERNAL_H

#include <cstdint>
#include <ctime>

namespace kw::runtime::clock {

// The wall clock as seconds since 1970 and nanoseconds within the second.
struct WallClock {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
};
WallClock wall_clock();

// Milliseconds of a steady clock (never goes back), from an arbitrary start.
int64_t steady_milliseconds();

// User and system processor time of the process, in microseconds. False
// when the system cannot tell.
bool process_times(int64_t *user_us, int64_t *system_us);

// Processor time of the process in milliseconds (the C library's clock());
// -1 when unavailable.
int64_t processor_milliseconds();

// Sleeps the calling thread for `milliseconds` (nothing for 0 or less),
// resuming after interruptions until the time has passed.
void sleep_milliseconds(int64_t milliseconds);

// The C library's conversions with the process's zone rules (TZ). The
// break-downs return false when the time cannot be broken down.
bool local_breakdown(time_t seconds, std::tm *out);
bool gmt_breakdown(time_t seconds, std::tm *out);
// Seconds of a broken-down time read as local time (tm_isdst as given:
// negative lets the zone rules decide) or as GMT; false when the C library
// cannot convert. `tm` is normalised by the call.
bool local_seconds(std::tm *tm, time_t *out);
bool gmt_seconds(std::tm *tm, time_t *out);

}  // namespace kw::runtime::clock

#endif  // KW_RUNTIME_CLOCK_INTERNAL_H
