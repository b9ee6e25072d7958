// The date-format language, the note and time-stamp formats, month names
// and the current date as text.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "keelwork/btk_os.h"
#include "keelwork/lang.h"
#include "keelwork/ptime.h"
#include "os/os_internal.h"

namespace {

constexpr const char *kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr const char *kFullMonths[12] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                                         "MAY",       "JUNE",     "JULY",     "AUGUST",
                                         "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};

constexpr char16_t kNoteDefault[] = u"%dd-%Mmm-%yy";
constexpr char16_t kStampDefaultJapanese[] = u"%yyyy/%mm/%dd %hh:%mi:%ss";
constexpr char16_t kStampDefault[] = u"%dd-%Mmm-%yy %Hh:%mi:%ss %PM";

// A format set by the application; unset, the default applies.
struct FormatSetting {
  bool set = false;
  char16_t text[PTIME_FORMAT_SIZE] = {};
};

FormatSetting g_note_format;
FormatSetting g_stamp_format;

void store_format(FormatSetting &setting, const kw_wchar *format) {
  if (!format) {
    setting.set = false;
    setting.text[0] = 0;
    return;
  }
  int n = 0;
  while (n < PTIME_FORMAT_MAX && format[n]) {
    setting.text[n] = format[n];
    ++n;
  }
  setting.text[n] = 0;
  setting.set = true;
}

kw_wchar *copy_format(const kw_wchar *format, kw_wchar *buffer) {
  if (!buffer) return nullptr;
  int n = 0;
  while (n < PTIME_FORMAT_MAX && format[n]) {
    buffer[n] = format[n];
    ++n;
  }
  buffer[n] = 0;
  return buffer;
}

// Whether the session runs in Japanese, whose time stamps are written
// year first.
bool japanese_session() { return get_language() == LANG_JAPANESE; }

// Appends to a caller's buffer, never more than its size - 1 characters.
class Output {
 public:
  Output(kw_wchar *out, int size) : out_(out), size_(size) { out_[0] = 0; }
  void put(std::u16string_view text) {
    for (size_t i = 0; i < text.size() && n_ + 1 < size_; ++i) out_[n_++] = text[i];
    out_[n_] = 0;
  }
  void put_ascii(const char *text) {
    while (*text && n_ + 1 < size_) out_[n_++] = static_cast<unsigned char>(*text++);
    out_[n_] = 0;
  }
  int length() const { return n_; }

 private:
  kw_wchar *out_;
  int size_;
  int n_ = 0;
};

bool starts_with(std::u16string_view token, std::u16string_view prefix) {
  return token.substr(0, prefix.size()) == prefix;
}

// A month name with a capital first letter only ("Jan", "January").
void capitalise(const char *upper, char *out, size_t size) {
  std::snprintf(out, size, "%s", upper);
  for (size_t i = 1; out[i]; ++i)
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
}

struct DateValues {
  int year, month, day;
  bool with_time;
  int hour, minute, second;
};

// The directive a token starts with: its text into `text` and its length,
// or 0 when the token starts with none.
size_t directive(std::u16string_view token, const DateValues &v, char *text, size_t size) {
  auto two_digits = [&](int value, size_t length) {
    std::snprintf(text, size, "%02d", value);
    return length;
  };
  auto blank_padded = [&](int value) {
    std::snprintf(text, size, "%2d", value);
    return size_t{2};
  };
  auto plain = [&](int value, size_t length) {
    std::snprintf(text, size, "%d", value);
    return length;
  };
  auto word = [&](const char *w, size_t length) {
    std::snprintf(text, size, "%s", w);
    return length;
  };
  auto capitalised = [&](const char *w, size_t length) {
    capitalise(w, text, size);
    return length;
  };
  if (token.empty()) return 0;
  switch (token[0]) {
    case u' ':
      if (starts_with(token, u" d")) return blank_padded(v.day);
      if (starts_with(token, u" m")) return blank_padded(v.month);
      return 0;
    case u'h':
      if (v.with_time && v.hour != -1 && starts_with(token, u"hh")) return two_digits(v.hour, 2);
      return 0;
    case u'H':
      if (v.with_time && starts_with(token, u"Hh")) {
        int h = v.hour % 12;
        return two_digits(h == 0 ? 12 : h, 2);
      }
      return 0;
    case u'M':
      if (starts_with(token, u"MMM")) return word(get_month_str(v.month), 3);
      if (starts_with(token, u"Mmm")) return capitalised(get_month_str(v.month), 3);
      if (starts_with(token, u"Month")) return capitalised(get_full_month_str(v.month), 5);
      if (starts_with(token, u"MONTH")) return word(get_full_month_str(v.month), 5);
      return 0;
    case u'm':
      if (starts_with(token, u"mm")) return two_digits(v.month, 2);
      if (v.with_time && starts_with(token, u"mi")) return two_digits(v.minute, 2);
      return plain(v.month, 1);
    case u'P':
      if (v.with_time && starts_with(token, u"PM")) return word(v.hour / 12 != 0 ? "PM" : "AM", 2);
      return 0;
    case u'd':
      if (starts_with(token, u"dd")) return two_digits(v.day, 2);
      return plain(v.day, 1);
    case u's':
      if (v.with_time && starts_with(token, u"ss")) return two_digits(v.second, 2);
      return 0;
    case u'y':
      if (starts_with(token, u"yyyy")) return plain(v.year, 4);
      if (starts_with(token, u"yy")) return two_digits((v.year % 100 + 100) % 100, 2);
      return 0;
    default:
      return 0;
  }
}

size_t wide_length(const kw_wchar *text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n]) ++n;
  return n;
}

bool local_now(std::tm *tm) {
  return kw::os::local_breakdown(static_cast<time_t>(btk_time(nullptr)), tm);
}

}  // namespace

// ---- month names -----------------------------------------------------------------------------

KW_API const char *get_month_str(int n) { return n >= 1 && n <= 12 ? kMonths[n - 1] : "???"; }

KW_API const char *get_full_month_str(int n) {
  return n >= 1 && n <= 12 ? kFullMonths[n - 1] : "???";
}

KW_API int get_month_int(char *text) {
  if (!text) return 0;
  for (char *p = text; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  // Letters past the end of a short text count as matching nothing.
  const char first = text[0];
  const char second = first ? text[1] : 0;
  const char third = second ? text[2] : 0;
  switch (first) {
    case 'A':
      return second == 'P' ? 4 : 8;
    case 'D':
      return 12;
    case 'F':
      return 2;
    case 'J':
      return second == 'A' ? 1 : third == 'N' ? 6 : 7;
    case 'M':
      return third == 'R' ? 3 : 5;
    case 'N':
      return 11;
    case 'O':
      return 10;
    case 'S':
      return 9;
    default:
      return 0;
  }
}

// ---- formats -----------------------------------------------------------------------------------

KW_API int set_todays_date_note_format(const kw_wchar *, const kw_wchar *format) {
  store_format(g_note_format, format);
  return 0;
}

KW_API const kw_wchar *get_todays_date_note_format_low(void) {
  return g_note_format.set ? g_note_format.text : kNoteDefault;
}

KW_API kw_wchar *get_todays_date_note_format(kw_wchar *buffer) {
  return copy_format(get_todays_date_note_format_low(), buffer);
}

KW_API int set_file_timestamp_format(const kw_wchar *, const kw_wchar *format) {
  store_format(g_stamp_format, format);
  return 0;
}

KW_API const kw_wchar *get_file_timestamp_format_low(void) {
  if (g_stamp_format.set) return g_stamp_format.text;
  return japanese_session() ? kStampDefaultJapanese : kStampDefault;
}

KW_API kw_wchar *get_file_timestamp_format(kw_wchar *buffer) {
  return copy_format(get_file_timestamp_format_low(), buffer);
}

KW_API int format_date_time_string(const kw_wchar *format, int year, int month, int day,
                                   int with_time, int hour, int minute, int second, kw_wchar *out,
                                   int out_size) {
  if (!out || out_size < 1) return 0;
  Output output(out, out_size);
  if (!format) return 0;
  const std::u16string_view text(format, wide_length(format, PTIME_FORMAT_MAX));
  const DateValues values{year, month, day, with_time != 0, hour, minute, second};
  // The text before the first '%' is the first token and gives nothing.
  const int max_tokens = with_time ? 8 : 4;
  size_t percent = text.find(u'%');
  for (int token_no = 1; token_no < max_tokens && percent != std::u16string_view::npos;
       ++token_no) {
    const size_t start = percent + 1;
    percent = text.find(u'%', start);
    const std::u16string_view token =
        text.substr(start, percent == std::u16string_view::npos ? percent : percent - start);
    char produced[32];
    const size_t used = directive(token, values, produced, sizeof produced);
    if (used == 0) continue;
    output.put_ascii(produced);
    output.put(token.substr(used));
  }
  return output.length();
}

KW_API int format_date_string(const kw_wchar *format, int year, int month, int day, kw_wchar *out,
                              int out_size) {
  return format_date_time_string(format, year, month, day, 0, 0, 0, 0, out, out_size);
}

// ---- the current date as text -------------------------------------------------------------------

KW_API kw_wchar *date_second_string(kw_wchar *out) {
  if (!out) return nullptr;
  out[0] = 0;
  std::tm tm{};
  if (!local_now(&tm)) return out;
  char month[4];
  capitalise(get_month_str(tm.tm_mon + 1), month, sizeof month);
  int year2 = static_cast<int>((tm.tm_year + 1900LL) % 100 + 100) % 100;
  char text[32];
  std::snprintf(text, sizeof text, "%2d-%3.3s-%02d %02d:%02d:%02d", tm.tm_mday, month, year2,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  int n = 0;
  for (; text[n] && n < 18; ++n) out[n] = static_cast<unsigned char>(text[n]);
  out[n] = 0;
  return out;
}

KW_API char *date_second_string_short(char *out) {
  if (!out) return nullptr;
  out[0] = 0;
  std::tm tm{};
  if (!local_now(&tm)) return out;
  char year[16], day[8], hours[8], minutes[8], seconds[8];
  std::snprintf(year, sizeof year, "%d", tm.tm_year + 1900);
  std::snprintf(day, sizeof day, "%02d", tm.tm_mday);
  std::snprintf(hours, sizeof hours, "%02d", tm.tm_hour);
  std::snprintf(minutes, sizeof minutes, "%02d", tm.tm_min);
  std::snprintf(seconds, sizeof seconds, "%02d", tm.tm_sec);
  char text[64];
  std::snprintf(text, sizeof text, "%.4s%.2d%.2s.%.2s%.2s%.2s", year, tm.tm_mon + 1, day, hours,
                minutes, seconds);
  std::snprintf(out, 16, "%.15s", text);
  return out;
}

KW_API int get_num_date(int *day, int *month, int *year) {
  std::tm tm{};
  if (!local_now(&tm)) tm = std::tm{};
  if (day) *day = tm.tm_mday;
  if (month) *month = tm.tm_mon + 1;
  if (year) *year = tm.tm_year + 1900;
  return 0;
}
