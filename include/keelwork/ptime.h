/* Time, dates and timing.
 *
 * Points in time are whole seconds since 1970-01-01 00:00 GMT, held in a
 * time_t (64 bits). `ptime` is a broken-down time that knows whether it
 * holds local time or GMT; `vex_tm` is the compact record kept in data.
 * Conversions between seconds and broken-down times use the library's own
 * arithmetic plus the zone rules of the C library (TZ), cached per day. A
 * small date-format language prints drawing-note dates and file time
 * stamps; stopwatches, process times, timing messages, delays and random
 * numbers complete the family.
 *
 * Errors: functions return the value stated for null or unusable input and
 * never fail otherwise; nothing here allocates what callers must free.
 * Functions that return an internal buffer say so.
 *
 * Threads: the settings (formats, clock offset, timing baseline, random
 * seed) and the conversion caches are process-wide and meant for the main
 * thread, as is the console output of the timing messages. Conversions,
 * formatting and the clock readers may be called from any thread; internal
 * result records are per thread.
 */
#ifndef KEELWORK_PTIME_H
#define KEELWORK_PTIME_H

#include <time.h>

#include "kw_base.h"

KW_BEGIN_DECLS

/* A broken-down time. */
typedef struct ptime {
  int32_t tm_sec;      /* 0-59 */
  int32_t tm_min;      /* 0-59 */
  int32_t tm_hour;     /* 0-23 */
  int32_t tm_mday;     /* day of the month, 1-31 */
  int32_t tm_mon;      /* 0-11 */
  int32_t tm_year;     /* years since 1900 */
  int32_t tm_is_local; /* 1: local time; 0: GMT */
} ptime;

/* The zone offset of a vex_tm that knows none. */
#define VEX_TM_NO_ZONE 9999

/* The compact broken-down time. */
typedef struct vex_tm {
  int8_t tm_sec;
  int8_t tm_min;
  int8_t tm_hour;
  int8_t tm_mday;
  int8_t tm_mon;       /* 0-11 */
  int8_t tm_isdst;     /* daylight-saving flag */
  int16_t tm_year;     /* as the caller stores it; years since 1900 when filled here */
  int16_t tm_zone_min; /* zone offset in minutes, VEX_TM_NO_ZONE when unknown */
} vex_tm;

/* Room for any text of vex_tm_to_string, terminator included. */
#define VEX_TM_STRING_SIZE 32

/* Seconds and microseconds: a clock reading or an elapsed time. */
typedef struct vex_timeval {
  int64_t tv_sec;
  int64_t tv_usec;
} vex_timeval;

/* Modes of ptime_convert. */
#define PTIME_TO_LOCAL 1
#define PTIME_TO_GMT 2

/* Longest date format kept or used, in characters; buffers that receive a
 * format hold PTIME_FORMAT_SIZE wide characters. */
#define PTIME_FORMAT_MAX 80
#define PTIME_FORMAT_SIZE (PTIME_FORMAT_MAX + 1)

/* ---- current time and the clock offset ---------------------------------------- */

/* The clock plus the offset, broken down in local time (is-local 1) or GMT
 * (0), into `record` or, when it is null, a per-thread record. Returns the
 * record filled; null when the adjusted clock is not positive. When the
 * break-down fails the six time fields are 0 and only the flag is set. */
KW_API ptime *ptime_current_local(ptime *record);
KW_API ptime *ptime_current_gmt(ptime *record);
/* Sets the offset added to the clock by the two functions above to
 * high * 2^32 + low seconds. */
KW_API void ptime_set_offset(uint32_t low, int32_t high);

/* ---- ptime records -------------------------------------------------------------- */

/* Copies the whole record; 1, or 0 when either pointer is null. */
KW_API int ptime_copy(const ptime *from, ptime *to);
/* Converts `from` into `to` (which may be the same record): PTIME_TO_LOCAL
 * or PTIME_TO_GMT. A record dated on or before 1970-01-01 is copied with
 * only the flag changed. Returns 1; 0 for another mode, null records or a
 * time the C library cannot convert (`to` unchanged). */
KW_API int ptime_convert(int mode, const ptime *from, ptime *to);
KW_API int ptime_convert_to_gmt(const ptime *from, ptime *to);
KW_API int ptime_convert_to_local(const ptime *from, ptime *to);
/* Seconds since 1970-01-01 00:00 GMT of the record (read as local time or
 * GMT by its flag); -1 for null. */
KW_API time_t ptime_to_time_t_(const ptime *record);
/* a - b in seconds, limited to the int32 range; 0 when either is null. */
KW_API int32_t ptime_diff(const ptime *a, const ptime *b);
/* Seconds from 1970-01-01 00:00 GMT to `record`; -1 when it is null or its
 * year field is 0. */
KW_API time_t atb_ptime_diff_1_1_70(const ptime *record);
/* <0, 0 or >0 as `a` is earlier than, equal to or later than `b` (the first
 * differing field, a - b, from the year down). A local record is converted
 * to GMT first when the flags differ. Null records are reported and give 0. */
KW_API int ptime_compare(const ptime *a, const ptime *b);

/* ---- calendar arithmetic ----------------------------------------------------------- */

/* 1 when the full (Gregorian) `year` is a leap year, else 0. */
KW_API int tm_is_leap_year(int year);
/* Zero-based day of the year of `day` (1-31) in `month` (0-11) of `year`
 * (years since 1900). A month above 12 counts as 12, a negative month as no
 * days. */
KW_API int tm_get_yday(int year, int month, int day);
/* Seconds since the epoch of `tm` read as local time / as GMT, the C
 * library deciding daylight saving; tm_isdst of `tm` receives the flag used
 * and no other field changes. -1 when the C library cannot convert. */
KW_API time_t vexs_mktime(struct tm *tm);
KW_API time_t vexs_timegm(struct tm *tm);
/* Plain arithmetic without a zone: (days before the year + day of the year)
 * * 86400 + hours * 3600 + minutes * 60 + seconds; 0 for a year before 1970
 * and for null. */
KW_API time_t vexs_mktime_(const struct tm *tm);
/* GMT break-down of `*seconds` into a per-thread record; null when
 * `seconds` is null or the conversion fails. */
KW_API struct tm *vexs_gmtime(const time_t *seconds);
/* GMT break-down of `seconds` into `record` (is-local 0; all fields 0 when
 * the conversion fails). Returns `record`. */
KW_API ptime *vexe_gmtime(ptime *record, time_t seconds);
/* a - b. */
KW_API double vexs_difftime(time_t a, time_t b);

/* ---- vex_tm records ------------------------------------------------------------------ */

/* Breaks `*seconds` (the current time when `seconds` is null or holds 0; it
 * is stored back when `seconds` is not null) into `out` in local time with
 * zone offset VEX_TM_NO_ZONE and the year as years since 1900. 1 on
 * success; 0 when `out` is null, the time is 0 or cannot be broken down. */
KW_API int tm_get_local_tm(vex_tm *out, time_t *seconds);
/* Copies the six byte fields and the year into `out` (other fields 0; day of
 * week and day of year -1). 1, or 0 for null pointers. */
KW_API int vex_tm_to_tm(const vex_tm *in, struct tm *out);
/* vexs_mktime_ of the record plus the zone offset * 60 when it is known; 0
 * for null. */
KW_API time_t vex_mktime(const vex_tm *in);
/* Writes "day-Mon-year hh:mm:ss" ("4-Dec-126 10:05:00") into `buffer`, which
 * holds VEX_TM_STRING_SIZE bytes; returns `buffer` (null for null input). */
KW_API char *vex_tm_to_string(const vex_tm *in, char *buffer);
/* Reads "day-Mon-year hh:mm:ss" as written above or with a two-digit year;
 * 1 when all six fields were read, the month name was recognised and every
 * value fits its field (`out` filled, zone unknown), else 0. */
KW_API int string_to_vex_tm(const char *text, vex_tm *out);

/* ---- date formats --------------------------------------------------------------------- */

/* Set the drawing-note date format and the file time-stamp format (at most
 * PTIME_FORMAT_MAX characters are kept; null restores the default).
 * `option` is not used. Return 0. */
KW_API int set_todays_date_note_format(const kw_wchar *option, const kw_wchar *format);
KW_API int set_file_timestamp_format(const kw_wchar *option, const kw_wchar *format);
/* Copy the format into `buffer` (PTIME_FORMAT_SIZE wide characters); return
 * `buffer`, or null for a null buffer. */
KW_API kw_wchar *get_todays_date_note_format(kw_wchar *buffer);
KW_API kw_wchar *get_file_timestamp_format(kw_wchar *buffer);
/* The formats themselves (internal buffers, valid until the next setter).
 * The note format defaults to "%dd-%Mmm-%yy"; the time-stamp format to
 * "%yyyy/%mm/%dd %hh:%mi:%ss" under language 1 and "%dd-%Mmm-%yy %Hh:%mi:%ss
 * %PM" under any other. */
KW_API const kw_wchar *get_todays_date_note_format_low(void);
KW_API const kw_wchar *get_file_timestamp_format_low(void);

/* Formats a date (month 1-12, full year) and, when `with_time` is set, a
 * time by the date-format language: the format's first PTIME_FORMAT_MAX
 * characters are cut at every '%'; the piece before the first '%' and each
 * piece after one count as tokens, of which the first 4 (8 with time) are
 * used. A token that starts with a directive gives the directive's text and
 * the rest of the token; any other token gives nothing. Directives:
 * " d" " m" (blank-padded), "hh" (skipped for hour -1) "Hh" (12-hour),
 * "MMM" "Mmm" "Month" "MONTH" "mm" "mi" "m", "PM", "dd" "d", "ss", "yyyy"
 * "yy"; hh, Hh, mi, PM and ss only with time. At most `out_size` - 1
 * characters and a terminator are written (nothing when `out` is null or
 * `out_size` < 1). Returns the number of characters written. */
KW_API int format_date_time_string(const kw_wchar *format, int year, int month, int day,
                                   int with_time, int hour, int minute, int second, kw_wchar *out,
                                   int out_size);
/* format_date_time_string without time. */
KW_API int format_date_string(const kw_wchar *format, int year, int month, int day, kw_wchar *out,
                              int out_size);

/* ---- month names ------------------------------------------------------------------------ */

/* "JAN" .. "DEC" and "JANUARY" .. "DECEMBER" for 1..12, "???" otherwise. */
KW_API const char *get_month_str(int n);
KW_API const char *get_full_month_str(int n);
/* Upper-cases `text` in place and tells its month (1-12) by its first
 * letters; 0 when they name none, and for null. */
KW_API int get_month_int(char *text);

/* ---- the current date as text --------------------------------------------------------------- */

/* The local time as " 4-Dec-26 10:05:00" (blank-padded day, English month,
 * two-digit year) into `out`, which holds 19 wide characters. Returns `out`. */
KW_API kw_wchar *date_second_string(kw_wchar *out);
/* The local time as "20261204.100500" into `out`, which holds 16 bytes.
 * Returns `out`. */
KW_API char *date_second_string_short(char *out);
/* The local day, month (1-12) and four-digit year; null pointers are
 * skipped. Returns 0. */
KW_API int get_num_date(int *day, int *month, int *year);

/* ---- clocks and stopwatches -------------------------------------------------------------------
 */

/* The wall clock: seconds since 1970 and microseconds in whole milliseconds
 * (milliseconds * 1000), taken from one reading. 0, or -1 for null. */
KW_API int vex_gettimeofday(vex_timeval *tv);
/* The same as seconds with a fraction. */
KW_API double get_double_elapsed_time(void);
/* A stopwatch: start reads the clock into `t`; stop replaces it by the time
 * elapsed since. print writes "elapsed time for LABEL was S seconds, U
 * microseconds" and frames_per_second "frames per second for LABEL was R"
 * (1 / elapsed) on the console. Null stopwatches are ignored. */
KW_API void gfx_timer_start(vex_timeval *t);
KW_API void gfx_timer_stop(vex_timeval *t);
KW_API void gfx_timer_print(const vex_timeval *t, const char *label);
KW_API void gfx_timer_frames_per_second(const vex_timeval *t, const char *label);

/* The process's user and system processor time and the wall clock into `t`.
 * 0, or -1 for null or when the system cannot tell (`t` zeroed). */
KW_API int kst_get_cpu_user_secs(vex_timeval *t);
KW_API int kst_get_cpu_system_secs(vex_timeval *t);
KW_API int kst_get_cpu_elapsed_secs(vex_timeval *t);
/* The tick rate of the three readings above, kept for old callers: 13. */
KW_API int kst_get_cpu_user_ticks(void);
KW_API int kst_get_cpu_system_ticks(void);
KW_API int kst_get_cpu_elapsed_ticks(void);

/* ---- timing messages (VEX_DISPLAY_TIMING)
 * ---------------------------------------------------------- */

/* When VEX_DISPLAY_TIMING is set: sets the baseline to now, switches timing
 * on and prints "\nRunning Application, time is S.hh seconds." */
KW_API void vex_start_timing(void);
/* set 0: returns the old baseline in `*seconds`/`*microseconds` (each may
 * be null) and moves the baseline to now. set non-zero: the baseline
 * becomes the given values (both required). 0, or -1 for missing values. */
KW_API int vex_timing_baseline_set(int set, int64_t *seconds, int64_t *microseconds);
/* The time since the baseline and the current time; each pointer may be
 * null. Returns 0. */
KW_API int vex_timing_elapsed(int64_t *seconds, int64_t *microseconds, int64_t *now_seconds,
                              int64_t *now_microseconds);
/* While timing is on: prints "LABEL: S.mmm seconds: TEXT" with the time since
 * the baseline and moves the baseline to now. */
KW_API void vex_timing_msg(const char *label, const char *text);
/* While timing is on: prints "LABEL, time is S.hh seconds." with the clock. */
KW_API void vex_print_time(const char *label);

/* ---- delays
 * ------------------------------------------------------------------------------------------- */

/* Waits `tenths` tenths of a second (at most 30; a longer request is cut and,
 * outside the user run mode, reported on the console). Returns at once in
 * the regression run modes; run mode 73 waits a tenth as long. 0, or -1 for
 * a negative value or when the clock cannot be read. */
KW_API int spg_delay(int tenths);
/* Sleeps microseconds / 1000 milliseconds; returns 1. */
KW_API int spg_delay_mic(int64_t microseconds);
/* Sleeps seconds * 1000 + microseconds / 1000 milliseconds (at least 1;
 * seconds limited to 1000000). 1, or 0 for negative values or both 0. */
KW_API int spg_delay_time_val(int64_t seconds, int64_t microseconds);
/* Do nothing; return 0. */
KW_API int spg_sleep(void);
KW_API int vex_get_time_zone(void);

/* ---- random numbers
 * ------------------------------------------------------------------------------------- */

/* A number from the clock: (seconds mod 100000) * 4096 + (microseconds mod
 * 100000). */
KW_API int32_t vex_get_random_num(void);
/* A non-negative random number of 31 bits from the C library's generator,
 * which the first call seeds with vex_get_random_num. */
KW_API int32_t vex_random_num(void);

KW_END_DECLS

#endif /* KEELWORK_PTIME_H */
