// Date and time values (days since 30 December 1899, the fraction is the time of day) and their
// formatting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dashtune {

using TDateTime = double;

// The local date and time now.
TDateTime Now();

// Raise EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Formats a date and time. Specifiers (case-insensitive): d, dd (day), m, mm (month, or minutes
// right after an hour), yy, yyyy (year), h, hh (hour), n, nn (minutes), s, ss (seconds), z, zzz
// (milliseconds); "/" and ":" give the date and time separators of FormatSettings; text in
// single or double quotes is copied; any other character is copied as it is.
// An empty format stands for FormatSettings' short date, a blank and its long time.
// Example: FormatDateTime("dd/mm/yy, hh:mm:ss", value) gives "07/12/26, 04:30:00".
std::string FormatDateTime(std::string_view format, TDateTime value);

}  // namespace dashtune
