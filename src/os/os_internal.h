// Internal helpers of the operating-system services: the runtime layer's
// clocks, process times, sleeping and zone conversions by their short names,
// and the library's own `times` and `sleep`.
#ifndef KW_OS_OS_INTERNAL_H
#define KW_OS_OS_INTERNAL_H

#include "runtime/clock_internal.h"

namespace kw::os {

using runtime::clock::gmt_breakdown;
using runtime::clock::gmt_seconds;
using runtime::clock::local_breakdown;
using runtime::clock::local_seconds;
using runtime::clock::process_times;
using runtime::clock::processor_milliseconds;
using runtime::clock::sleep_milliseconds;
using runtime::clock::steady_milliseconds;
using runtime::clock::wall_clock;
using runtime::clock::WallClock;

// The library's `times`: four 32-bit fields, milliseconds of wall time since
// the first call, the processor time in milliseconds, 0, 0. Returns the first
// field, or -1 when the processor time is unavailable (fields then 0).
int32_t times(int32_t fields[4]);
// The library's `sleep`: sleeps `seconds` and returns it (0 for less).
int sleep_seconds(int seconds);

}  // namespace kw::os

#endif  // KW_OS_OS_INTERNAL_H
