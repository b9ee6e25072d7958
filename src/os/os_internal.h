// Internal helpers of the operating-system services: the clocks, process
// times, sleeping and the C library's zone conversions. The platform
// versions live in src/os/posix/.
#ifndef KW_OS_OS_INTERNAL_H
#define KW_OS_OS_INTERNAL_H

#include <cstdint>
#include <ctime>

namespace kw::os {

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

// The library's `times`: four 32-bit fields, milliseconds of wall time since
// the first call, the processor time in milliseconds, 0, 0. Returns the first
// field, or -1 when the processor time is unavailable (fields then 0).
int32_t times(int32_t fields[4]);
// The library's `sleep`: sleeps `seconds` and returns it (0 for less).
int sleep_seconds(int seconds);

}  // namespace kw::os

#endif  // KW_OS_OS_INTERNAL_H
