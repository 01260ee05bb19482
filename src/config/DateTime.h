#pragma once
// Date-times as the program keeps them: local time counted in days since 1899-12-30 00:00, the
// fraction being the time of day, so the days between two date-times are a plain subtraction.
// Before that day the whole part counts back and the fraction is still the time of day
// (-1.25 is 1899-12-29 06:00), as the program's date-times always were.

#include <optional>

namespace sentrel {

using TDateTime = double;

// A date and a time of day on the Gregorian calendar.
struct CivilDateTime {
    int year = 1899;
    int month = 12;  // 1 to 12
    int day = 30;    // 1 to the month's length
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    bool operator==(const CivilDateTime&) const = default;
};

inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;

bool IsLeapYear(int year);
// Days in a month of a year; 0 when the month is not 1 to 12.
int DaysInMonth(int year, int month);
// 0 for Sunday to 6 for Saturday.
int DayOfWeek(int year, int month, int day);

// Nothing when a field is out of its range (years 1 to 9999).
std::optional<TDateTime> EncodeDateTime(const CivilDateTime& value);
// To the nearest millisecond; nothing for a value that is not finite or outside years 1 to 9999.
std::optional<CivilDateTime> DecodeDateTime(TDateTime value);

}  // namespace sentrel
