// SystemClock.h outside Windows: the fixed English pictures and the C library's local time.
#include "config/SystemClock.h"

#include <chrono>
#include <ctime>

namespace sentrel {

DateTimeFormat UserDateTimeFormat() {
    return DateTimeFormat{};
}

TDateTime CurrentDateTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    CivilDateTime civil;
    civil.year = local.tm_year + 1900;
    civil.month = local.tm_mon + 1;
    civil.day = local.tm_mday;
    civil.hour = local.tm_hour;
    civil.minute = local.tm_min;
    civil.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
    civil.millisecond = static_cast<int>(milliseconds < 0 ? 0 : milliseconds);
    return EncodeDateTime(civil).value_or(0.0);
}

}  // namespace sentrel
