#pragma once
// Date-times as text, the way the options file stores them: the locale's short date picture, a
// blank and the locale's long time picture (the time left out at exactly midnight), read back
// with the same pictures.
//
// Pictures follow the Windows locale rules: d dd ddd dddd (day, day name), M MM MMM MMMM
// (month, month name), y yy yyyy (year), g gg (era, written as nothing), h hh (12-hour clock),
// H HH (24-hour clock), m mm, s ss, t tt (first letter or whole AM/PM designator); text in
// single quotes ('' for a quote) and every other character stand for themselves, so the
// separators are part of the pictures.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "config/DateTime.h"

namespace sentrel {

struct DateTimeFormat {
    std::string shortDate = "M/d/yyyy";
    std::string longTime = "h:mm:ss tt";
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
    std::array<std::string, 12> monthNames{"January", "February", "March",     "April",   "May",      "June",
                                           "July",    "August",   "September", "October", "November", "December"};
    std::array<std::string, 12> abbreviatedMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Sunday first.
    std::array<std::string, 7> dayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    std::array<std::string, 7> abbreviatedDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
};

// Formats one picture; seconds are cut, not rounded. Throws std::out_of_range for a date-time
// outside years 1 to 9999 (or not a number).
std::string FormatPicture(TDateTime value, std::string_view picture, const DateTimeFormat& format);

// The short date, and unless the time is exactly midnight a blank and the long time.
std::string FormatDateTime(TDateTime value, const DateTimeFormat& format);

// Reads text written by FormatDateTime with the same format: the short date, then either the
// end or one blank and the long time. Names and designators match without regard to case; a
// numeric field takes up to two digits (four for yyyy; two-digit years are 1950 to 2049).
// Nothing when the text does not fit the pictures or names no valid date and time.
std::optional<TDateTime> ParseDateTime(std::string_view text, const DateTimeFormat& format);

}  // namespace sentrel
