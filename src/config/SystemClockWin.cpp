// SystemClock.h on Windows: the user's locale settings and the local system time.
#include "config/SystemClock.h"

#include <windows.h>

#include <string>

namespace sentrel {

namespace {

// Replaces `item` with the locale's text for `type`; leaves it when the system reports none.
void ReadLocaleText(LCID locale, LCTYPE type, std::string& item) {
    const int size = GetLocaleInfoA(locale, type, nullptr, 0);
    if (size <= 1) return;
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written = GetLocaleInfoA(locale, type, text.data(), size);
    if (written <= 1) return;
    text.resize(static_cast<std::size_t>(written - 1));
    item = text;
}

// GetLocaleInfo counts day names from Monday; DateTimeFormat from Sunday.
constexpr LCTYPE kDayNames[7] = {LOCALE_SDAYNAME7, LOCALE_SDAYNAME1, LOCALE_SDAYNAME2, LOCALE_SDAYNAME3,
                                 LOCALE_SDAYNAME4, LOCALE_SDAYNAME5, LOCALE_SDAYNAME6};
constexpr LCTYPE kAbbreviatedDayNames[7] = {LOCALE_SABBREVDAYNAME7, LOCALE_SABBREVDAYNAME1, LOCALE_SABBREVDAYNAME2,
                                            LOCALE_SABBREVDAYNAME3, LOCALE_SABBREVDAYNAME4, LOCALE_SABBREVDAYNAME5,
                                            LOCALE_SABBREVDAYNAME6};

}  // namespace

DateTimeFormat LocaleDateTimeFormat(std::uint32_t locale) {
    const auto lcid = static_cast<LCID>(locale);
    DateTimeFormat format;
    ReadLocaleText(lcid, LOCALE_SSHORTDATE, format.shortDate);
    ReadLocaleText(lcid, LOCALE_STIMEFORMAT, format.longTime);
    // A 24-hour locale may have no designators at all; an empty one is the locale's own value.
    format.amDesignator.clear();
    format.pmDesignator.clear();
    ReadLocaleText(lcid, LOCALE_S1159, format.amDesignator);
    ReadLocaleText(lcid, LOCALE_S2359, format.pmDesignator);
    for (int i = 0; i < 12; ++i) {
        ReadLocaleText(lcid, static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + i), format.monthNames[i]);
        ReadLocaleText(lcid, static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i), format.abbreviatedMonthNames[i]);
    }
    for (int i = 0; i < 7; ++i) {
        ReadLocaleText(lcid, kDayNames[i], format.dayNames[i]);
        ReadLocaleText(lcid, kAbbreviatedDayNames[i], format.abbreviatedDayNames[i]);
    }
    return format;
}

DateTimeFormat UserDateTimeFormat() {
    return LocaleDateTimeFormat(LOCALE_USER_DEFAULT);
}

TDateTime CurrentDateTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    CivilDateTime civil;
    civil.year = now.wYear;
    civil.month = now.wMonth;
    civil.day = now.wDay;
    civil.hour = now.wHour;
    civil.minute = now.wMinute;
    civil.second = now.wSecond;
    civil.millisecond = now.wMilliseconds;
    return EncodeDateTime(civil).value_or(0.0);
}

}  // namespace sentrel
