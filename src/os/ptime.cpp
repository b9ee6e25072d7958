// Broken-down times: the calendar arithmetic, conversions between seconds
// and local or GMT records, and the ptime and vex_tm records.
#include "keelwork/ptime.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>

#include "keelwork/btk_os.h"
#include "keelwork/debug.h"
#include "os/os_internal.h"

namespace {

// Days before each month (index 0-11) and in the whole year (index 12).
constexpr int kDaysBefore[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

constexpr int64_t kSecondsPerDay = 86400;

bool is_leap(int64_t full_year) {
  return (full_year % 4 == 0 && full_year % 100 != 0) || full_year % 400 == 0;
}

// Days from 1 January 1970 to 1 January of `full_year` (1970 or later):
// 365 for each year plus one for each leap year in between. 477 leap years
// lie before 1970.
int64_t days_before_year(int64_t full_year) {
  int64_t y = full_year - 1;
  return 365 * (full_year - 1970) + (y / 4 - y / 100 + y / 400) - 477;
}

int64_t yday(int64_t full_year, int month, int64_t day) {
  int days = 0;
  if (month > 12) month = 12;
  if (month > 0) days = kDaysBefore[is_leap(full_year) ? 1 : 0][month];
  return days + day - 1;
}

int64_t plain_seconds(const std::tm &tm) {
  int64_t full_year = static_cast<int64_t>(tm.tm_year) + 1900;
  if (full_year < 1970) return 0;
  int64_t days = days_before_year(full_year) + yday(full_year, tm.tm_mon, tm.tm_mday);
  return days * kSecondsPerDay + static_cast<int64_t>(tm.tm_hour) * 3600 +
         static_cast<int64_t>(tm.tm_min) * 60 + tm.tm_sec;
}

// ---- the per-day conversion caches ---------------------------------------------------------

// One remembered day: the difference between the C library's conversion and
// the plain arithmetic, and the daylight-saving flag of that day. A day is
// remembered only when that difference holds for all of it (not on the day
// a zone changes its offset) and the record's fields lie within the day (the
// arithmetic is linear there), so that a hit gives what the C library would.
struct DayCache {
  bool valid = false;
  int mday = 0;
  int mon = 0;
  int year = 0;
  int64_t diff = 0;
  int isdst = 0;
};

// Per thread, so that conversions on several threads never race.
thread_local DayCache t_local_cache;
thread_local DayCache t_gmt_cache;

bool within_one_day(const std::tm &tm) {
  if (tm.tm_year + static_cast<int64_t>(1900) < 1970) return false;
  if (tm.tm_mon < 0 || tm.tm_mon > 11) return false;
  int leap = is_leap(tm.tm_year + static_cast<int64_t>(1900)) ? 1 : 0;
  int month_days = kDaysBefore[leap][tm.tm_mon + 1] - kDaysBefore[leap][tm.tm_mon];
  return tm.tm_mday >= 1 && tm.tm_mday <= month_days && tm.tm_hour >= 0 && tm.tm_hour <= 23 &&
         tm.tm_min >= 0 && tm.tm_min <= 59 && tm.tm_sec >= 0 && tm.tm_sec <= 59;
}

// The C library's seconds of `tm` (not changed) and its daylight-saving flag.
bool library_seconds(const std::tm &tm, bool gmt, time_t *seconds, int *isdst) {
  std::tm copy = tm;
  copy.tm_isdst = -1;
  bool ok = gmt ? kw::os::gmt_seconds(&copy, seconds) : kw::os::local_seconds(&copy, seconds);
  if (ok) *isdst = gmt ? 0 : (copy.tm_isdst > 0 ? 1 : 0);
  return ok;
}

// Whether the difference `diff` holds at the first and the last second of
// the record's day.
bool uniform_day(const std::tm &tm, bool gmt, int64_t diff) {
  for (int edge = 0; edge < 2; ++edge) {
    std::tm probe = tm;
    probe.tm_hour = edge ? 23 : 0;
    probe.tm_min = edge ? 59 : 0;
    probe.tm_sec = edge ? 59 : 0;
    time_t t = 0;
    int isdst = 0;
    if (!library_seconds(probe, gmt, &t, &isdst)) return false;
    if (static_cast<int64_t>(t) - plain_seconds(probe) != diff) return false;
  }
  return true;
}

bool cached_seconds(std::tm *tm, bool gmt, time_t *out) {
  DayCache &cache = gmt ? t_gmt_cache : t_local_cache;
  const int64_t plain = plain_seconds(*tm);
  const bool cacheable = within_one_day(*tm);
  if (cacheable && cache.valid && cache.mday == tm->tm_mday && cache.mon == tm->tm_mon &&
      cache.year == tm->tm_year) {
    tm->tm_isdst = cache.isdst;
    *out = static_cast<time_t>(plain + cache.diff);
    return true;
  }
  time_t t = 0;
  int isdst = 0;
  if (!library_seconds(*tm, gmt, &t, &isdst)) return false;
  const int64_t diff = static_cast<int64_t>(t) - plain;
  if (cacheable && uniform_day(*tm, gmt, diff)) {
    cache = DayCache{true, tm->tm_mday, tm->tm_mon, tm->tm_year, diff, isdst};
  }
  tm->tm_isdst = isdst;
  *out = t;
  return true;
}

// ---- ptime records -----------------------------------------------------------------------------

std::atomic<int64_t> g_clock_offset{0};
thread_local ptime t_current;

std::tm to_tm(const ptime &p) {
  std::tm tm{};
  tm.tm_sec = p.tm_sec;
  tm.tm_min = p.tm_min;
  tm.tm_hour = p.tm_hour;
  tm.tm_mday = p.tm_mday;
  tm.tm_mon = p.tm_mon;
  tm.tm_year = p.tm_year;
  tm.tm_isdst = -1;
  return tm;
}

void from_tm(const std::tm &tm, int is_local, ptime *p) {
  p->tm_sec = tm.tm_sec;
  p->tm_min = tm.tm_min;
  p->tm_hour = tm.tm_hour;
  p->tm_mday = tm.tm_mday;
  p->tm_mon = tm.tm_mon;
  p->tm_year = tm.tm_year;
  p->tm_is_local = is_local;
}

bool record_seconds(const ptime &p, time_t *out) {
  std::tm tm = to_tm(p);
  return cached_seconds(&tm, p.tm_is_local == 0, out);
}

ptime *current(ptime *record, bool local) {
  int64_t now = kw::os::wall_clock().seconds + g_clock_offset.load(std::memory_order_relaxed);
  if (now <= 0) return nullptr;
  ptime *p = record ? record : &t_current;
  std::tm tm{};
  bool ok = local ? kw::os::local_breakdown(static_cast<time_t>(now), &tm)
                  : kw::os::gmt_breakdown(static_cast<time_t>(now), &tm);
  if (!ok) tm = std::tm{};
  from_tm(tm, local ? 1 : 0, p);
  return p;
}

// Whether the record is dated on or before 1 January 1970.
bool on_or_before_epoch_day(const ptime &p) {
  if (p.tm_year != 70) return p.tm_year < 70;
  if (p.tm_mon != 0) return p.tm_mon < 0;
  return p.tm_mday <= 1;
}

// Field by field, year first; both records must hold the same kind of time.
int compare_fields(const ptime &a, const ptime &b) {
  if ((a.tm_is_local != 0) != (b.tm_is_local != 0)) {
    dbg_crash_msg("ptime_compare", "tm_is_local should be the same for time1 and time2");
  }
  const int32_t ptime::*fields[] = {&ptime::tm_year, &ptime::tm_mon, &ptime::tm_mday,
                                    &ptime::tm_hour, &ptime::tm_min, &ptime::tm_sec};
  for (auto field : fields) {
    int64_t d = static_cast<int64_t>(a.*field) - b.*field;
    if (d != 0) return d < 0 ? -1 : 1;
  }
  return 0;
}

}  // namespace

// ---- current time ------------------------------------------------------------------------------

KW_API ptime *ptime_current_local(ptime *record) { return current(record, true); }

KW_API ptime *ptime_current_gmt(ptime *record) { return current(record, false); }

KW_API void ptime_set_offset(uint32_t low, int32_t high) {
  int64_t offset =
      static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32 | low);
  g_clock_offset.store(offset, std::memory_order_relaxed);
}

// ---- ptime records -----------------------------------------------------------------------------

KW_API int ptime_copy(const ptime *from, ptime *to) {
  if (!from || !to) return 0;
  std::memmove(to, from, sizeof(ptime));
  return 1;
}

KW_API int ptime_convert(int mode, const ptime *from, ptime *to) {
  if (!from || !to || (mode != PTIME_TO_LOCAL && mode != PTIME_TO_GMT)) return 0;
  const int want_local = mode == PTIME_TO_LOCAL ? 1 : 0;
  const int is_local = from->tm_is_local != 0 ? 1 : 0;
  if (is_local == want_local || on_or_before_epoch_day(*from)) {
    ptime copy = *from;
    copy.tm_is_local = want_local;
    *to = copy;
    return 1;
  }
  time_t seconds = 0;
  if (!record_seconds(*from, &seconds)) return 0;
  std::tm tm{};
  bool ok =
      want_local ? kw::os::local_breakdown(seconds, &tm) : kw::os::gmt_breakdown(seconds, &tm);
  if (!ok) return 0;
  from_tm(tm, want_local, to);
  return 1;
}

KW_API int ptime_convert_to_gmt(const ptime *from, ptime *to) {
  return ptime_convert(PTIME_TO_GMT, from, to);
}

KW_API int ptime_convert_to_local(const ptime *from, ptime *to) {
  return ptime_convert(PTIME_TO_LOCAL, from, to);
}

KW_API time_t ptime_to_time_t_(const ptime *record) {
  if (!record) return -1;
  time_t seconds = 0;
  return record_seconds(*record, &seconds) ? seconds : -1;
}

KW_API int32_t ptime_diff(const ptime *a, const ptime *b) {
  if (!a || !b) return 0;
  int64_t d = static_cast<int64_t>(ptime_to_time_t_(a)) - ptime_to_time_t_(b);
  if (d > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (d < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(d);
}

KW_API time_t atb_ptime_diff_1_1_70(const ptime *record) {
  if (!record || record->tm_year == 0) return -1;
  return ptime_to_time_t_(record);
}

KW_API int ptime_compare(const ptime *a, const ptime *b) {
  if (!a || !b) {
    dbg_crash_msg("ptime_compare", "bad parameters");
    return 0;
  }
  ptime scratch;
  if ((a->tm_is_local != 0) != (b->tm_is_local != 0)) {
    // Bring the local one to GMT; should that fail the field comparison
    // reports the mismatch.
    if (a->tm_is_local != 0) {
      if (ptime_convert(PTIME_TO_GMT, a, &scratch)) return compare_fields(scratch, *b);
    } else if (ptime_convert(PTIME_TO_GMT, b, &scratch)) {
      return compare_fields(*a, scratch);
    }
  }
  return compare_fields(*a, *b);
}

// ---- calendar arithmetic -----------------------------------------------------------------------

KW_API int tm_is_leap_year(int year) { return is_leap(year) ? 1 : 0; }

KW_API int tm_get_yday(int year, int month, int day) {
  int64_t d = yday(static_cast<int64_t>(year) + 1900, month, day);
  if (d > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (d < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(d);
}

KW_API time_t vexs_mktime(struct tm *tm) {
  time_t seconds = 0;
  return tm && cached_seconds(tm, false, &seconds) ? seconds : -1;
}

KW_API time_t vexs_timegm(struct tm *tm) {
  time_t seconds = 0;
  return tm && cached_seconds(tm, true, &seconds) ? seconds : -1;
}

KW_API time_t vexs_mktime_(const struct tm *tm) {
  return tm ? static_cast<time_t>(plain_seconds(*tm)) : 0;
}

KW_API struct tm *vexs_gmtime(const time_t *seconds) {
  thread_local std::tm result;
  if (!seconds || !kw::os::gmt_breakdown(*seconds, &result)) return nullptr;
  return &result;
}

KW_API ptime *vexe_gmtime(ptime *record, time_t seconds) {
  if (!record) return nullptr;
  std::tm tm{};
  if (!kw::os::gmt_breakdown(seconds, &tm)) tm = std::tm{};
  from_tm(tm, 0, record);
  return record;
}

KW_API double vexs_difftime(time_t a, time_t b) {
  return static_cast<double>(a) - static_cast<double>(b);
}

// ---- vex_tm records ----------------------------------------------------------------------------

KW_API int tm_get_local_tm(vex_tm *out, time_t *seconds) {
  if (!out) return 0;
  time_t t = seconds ? *seconds : 0;
  if (t == 0) {
    t = static_cast<time_t>(btk_time(nullptr));
    if (seconds) *seconds = t;
  }
  if (t == 0) return 0;
  std::tm tm{};
  if (!kw::os::local_breakdown(t, &tm)) return 0;
  if (tm.tm_year < std::numeric_limits<int16_t>::min() ||
      tm.tm_year > std::numeric_limits<int16_t>::max())
    return 0;
  out->tm_sec = static_cast<int8_t>(tm.tm_sec);
  out->tm_min = static_cast<int8_t>(tm.tm_min);
  out->tm_hour = static_cast<int8_t>(tm.tm_hour);
  out->tm_mday = static_cast<int8_t>(tm.tm_mday);
  out->tm_mon = static_cast<int8_t>(tm.tm_mon);
  out->tm_isdst = static_cast<int8_t>(tm.tm_isdst > 0 ? 1 : 0);
  out->tm_year = static_cast<int16_t>(tm.tm_year);
  out->tm_zone_min = VEX_TM_NO_ZONE;
  return 1;
}

KW_API int vex_tm_to_tm(const vex_tm *in, struct tm *out) {
  if (!in || !out) return 0;
  *out = std::tm{};
  out->tm_sec = in->tm_sec;
  out->tm_min = in->tm_min;
  out->tm_hour = in->tm_hour;
  out->tm_mday = in->tm_mday;
  out->tm_mon = in->tm_mon;
  out->tm_isdst = in->tm_isdst;
  out->tm_year = in->tm_year;
  out->tm_wday = -1;
  out->tm_yday = -1;
  return 1;
}

KW_API time_t vex_mktime(const vex_tm *in) {
  if (!in) return 0;
  std::tm tm{};
  vex_tm_to_tm(in, &tm);
  int64_t seconds = plain_seconds(tm);
  if (in->tm_zone_min != VEX_TM_NO_ZONE) seconds += static_cast<int64_t>(in->tm_zone_min) * 60;
  return static_cast<time_t>(seconds);
}

KW_API char *vex_tm_to_string(const vex_tm *in, char *buffer) {
  if (!in || !buffer) return nullptr;
  // "Jan": the month's abbreviation with a capital first letter only.
  char month[4] = {};
  std::snprintf(month, sizeof month, "%s", get_month_str(in->tm_mon + 1));
  for (int i = 1; month[i]; ++i)
    if (month[i] >= 'A' && month[i] <= 'Z') month[i] = static_cast<char>(month[i] - 'A' + 'a');
  std::snprintf(buffer, VEX_TM_STRING_SIZE, "%d-%3.3s-%.2d %.2d:%.2d:%.2d", in->tm_mday, month,
                in->tm_year, in->tm_hour, in->tm_min, in->tm_sec);
  return buffer;
}

KW_API int string_to_vex_tm(const char *text, vex_tm *out) {
  if (!text || !out) return 0;
  int day = 0, year = 0, hours = 0, minutes = 0, seconds = 0;
  char month[4] = {};
  // The year is read whole: the records write years since 1900, which take
  // three digits from 2000 on.
  if (std::sscanf(text, "%2d-%3s-%d %2d:%2d:%2d", &day, month, &year, &hours, &minutes, &seconds) !=
      6)
    return 0;
  int m = get_month_int(month);
  if (m == 0) return 0;
  if (year < std::numeric_limits<int16_t>::min() || year > std::numeric_limits<int16_t>::max())
    return 0;
  out->tm_mday = static_cast<int8_t>(day);
  out->tm_mon = static_cast<int8_t>(m - 1);
  out->tm_year = static_cast<int16_t>(year);
  out->tm_hour = static_cast<int8_t>(hours);
  out->tm_min = static_cast<int8_t>(minutes);
  out->tm_sec = static_cast<int8_t>(seconds);
  out->tm_isdst = 0;
  out->tm_zone_min = VEX_TM_NO_ZONE;
  return 1;
}
