#include "classlib/datetime.h"

#include <cmath>
#include <ctime>

#include "classlib/sysutils.h"

namespace dashtune {
namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// Days from 1 January 0001 (day 1) to 30 December 1899, the zero of TDateTime.
constexpr std::int64_t kDateDelta = 693594;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Splits a value into whole days since the zero date and milliseconds into the day, rounding to
// the nearest millisecond so that 0.5 s stored as a fraction does not read back as 499 ms.
void SplitValue(TDateTime value, std::int64_t& days, std::int64_t& milliseconds) {
  std::int64_t total = std::llround(value * static_cast<double>(kMillisecondsPerDay));
  days = total / kMillisecondsPerDay;
  milliseconds = total % kMillisecondsPerDay;
  if (milliseconds < 0) {
    milliseconds += kMillisecondsPerDay;
    --days;
  }
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    throw EConvertError("Ungültiges Argument für Datumskodierung");
  }
  std::int64_t y = year - 1;
  std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return static_cast<TDateTime>(days - kDateDelta);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    throw EConvertError("Ungültiges Argument für Zeitkodierung");
  }
  std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
  return static_cast<TDateTime>(ms) / static_cast<TDateTime>(kMillisecondsPerDay);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  std::int64_t days, milliseconds;
  SplitValue(value, days, milliseconds);
  std::int64_t n = days + kDateDelta - 1;  // days since 1 January 0001, from 0
  if (n < 0) {
    year = month = day = 0;
    return;
  }
  std::int64_t y400 = n / 146097;
  n %= 146097;
  std::int64_t y100 = std::min<std::int64_t>(n / 36524, 3);
  n -= y100 * 36524;
  std::int64_t y4 = n / 1461;
  n %= 1461;
  std::int64_t y1 = std::min<std::int64_t>(n / 365, 3);
  n -= y1 * 365;
  year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  month = 1;
  while (n >= DaysInMonth(year, month)) {
    n -= DaysInMonth(year, month);
    ++month;
  }
  day = static_cast<int>(n + 1);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  std::int64_t days, ms;
  SplitValue(value, days, ms);
  hour = static_cast<int>(ms / 3'600'000);
  minute = static_cast<int>(ms / 60'000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

TDateTime Now() {
  std::timespec now{};
  std::timespec_get(&now, TIME_UTC);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                    static_cast<int>(now.tv_nsec / 1'000'000));
}

namespace {

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

// Counts how often the character at Pos repeats, case-insensitively.
std::size_t RunLength(std::string_view format, std::size_t pos) {
  char c = static_cast<char>(format[pos] | 0x20);
  std::size_t end = pos;
  while (end < format.size() && static_cast<char>(format[end] | 0x20) == c) ++end;
  return end - pos;
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value) {
  if (format.empty()) {
    const TFormatSettings& settings = FormatSettings();
    return FormatDateTime(settings.ShortDateFormat + " " + settings.LongTimeFormat, value);
  }
  int year, month, day, hour, minute, second, millisecond;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, millisecond);
  const TFormatSettings& settings = FormatSettings();
  std::string out;
  bool after_hour = false;  // "m" right after an hour means minutes
  std::size_t pos = 0;
  while (pos < format.size()) {
    char c = format[pos];
    char lower = static_cast<char>(c | 0x20);
    if (c == '\'' || c == '"') {
      std::size_t end = format.find(c, pos + 1);
      if (end == std::string_view::npos) end = format.size();
      out.append(format.substr(pos + 1, end - pos - 1));
      pos = end + 1;
      continue;
    }
    std::size_t run = (lower >= 'a' && lower <= 'z') ? RunLength(format, pos) : 1;
    switch (lower) {
      case 'd':
        out += run >= 2 ? TwoDigits(day) : std::to_string(day);
        after_hour = false;
        break;
      case 'm':
        if (after_hour) {
          out += run >= 2 ? TwoDigits(minute) : std::to_string(minute);
        } else {
          out += run >= 2 ? TwoDigits(month) : std::to_string(month);
        }
        after_hour = false;
        break;
      case 'y':
        out += run >= 3 ? std::to_string(year) : TwoDigits(year % 100);
        after_hour = false;
        break;
      case 'h':
        out += run >= 2 ? TwoDigits(hour) : std::to_string(hour);
        after_hour = true;
        break;
      case 'n':
        out += run >= 2 ? TwoDigits(minute) : std::to_string(minute);
        after_hour = false;
        break;
      case 's':
        out += run >= 2 ? TwoDigits(second) : std::to_string(second);
        after_hour = false;
        break;
      case 'z': {
        std::string ms = std::to_string(millisecond);
        if (run >= 3) ms.insert(0, 3 - ms.size(), '0');
        out += ms;
        after_hour = false;
        break;
      }
      case '/': out += settings.DateSeparator; break;
      case ':': out += settings.TimeSeparator; break;
      default: out.append(format.substr(pos, run));
    }
    pos += run;
  }
  return out;
}

}  // namespace dashtune
