#include "config/DateTime.h"

#include <cmath>
#include <cstdint>

namespace sentrel {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// Days since 1970-01-01 of a Gregorian date (proleptic, any year).
constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Date {
    std::int64_t year;
    int month;
    int day;
};

constexpr Date CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);
constexpr std::int64_t kFirstDay = DaysFromCivil(kMinYear, 1, 1) - kEpoch;
constexpr std::int64_t kLastDay = DaysFromCivil(kMaxYear, 12, 31) - kEpoch;

}  // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int DayOfWeek(int year, int month, int day) {
    // 1970-01-01 was a Thursday.
    const std::int64_t days = DaysFromCivil(year, month, day);
    return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

std::optional<TDateTime> EncodeDateTime(const CivilDateTime& value) {
    if (value.year < kMinYear || value.year > kMaxYear || value.day < 1 ||
        value.day > DaysInMonth(value.year, value.month) || value.hour < 0 || value.hour > 23 || value.minute < 0 ||
        value.minute > 59 || value.second < 0 || value.second > 59 || value.millisecond < 0 ||
        value.millisecond > 999) {
        return std::nullopt;
    }
    const auto days = static_cast<double>(DaysFromCivil(value.year, value.month, value.day) - kEpoch);
    const double time =
        static_cast<double>(((value.hour * 60 + value.minute) * 60 + value.second) * 1000 + value.millisecond) /
        static_cast<double>(kMillisecondsPerDay);
    return days >= 0 ? days + time : days - time;
}

std::optional<CivilDateTime> DecodeDateTime(TDateTime value) {
    if (!std::isfinite(value) || value <= static_cast<double>(kFirstDay - 1) ||
        value >= static_cast<double>(kLastDay + 1)) {
        return std::nullopt;
    }
    const double whole = std::trunc(value);
    auto days = static_cast<std::int64_t>(whole);
    auto milliseconds = static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * kMillisecondsPerDay));
    if (milliseconds >= kMillisecondsPerDay) {
        // Rounded up to the next midnight, which for days before the epoch lies further back.
        milliseconds = 0;
        days += value < 0 ? -1 : 1;
    }
    if (days < kFirstDay || days > kLastDay) return std::nullopt;
    const Date date = CivilFromDays(days + kEpoch);
    CivilDateTime result;
    result.year = static_cast<int>(date.year);
    result.month = date.month;
    result.day = date.day;
    result.millisecond = static_cast<int>(milliseconds % 1000);
    result.second = static_cast<int>(milliseconds / 1000 % 60);
    result.minute = static_cast<int>(milliseconds / 60'000 % 60);
    result.hour = static_cast<int>(milliseconds / 3'600'000);
    return result;
}

}  // namespace sentrel
