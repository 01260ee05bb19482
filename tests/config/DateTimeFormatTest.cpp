#include "config/DateTimeFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/DateTime.h"

namespace sentrel {
namespace {

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    const auto value = EncodeDateTime({year, month, day, hour, minute, second, 0});
    if (!value) throw std::invalid_argument("bad test date");
    return *value;
}

DateTimeFormat Format(std::string shortDate, std::string longTime, std::string am = "AM", std::string pm = "PM") {
    DateTimeFormat format;
    format.shortDate = std::move(shortDate);
    format.longTime = std::move(longTime);
    format.amDesignator = std::move(am);
    format.pmDesignator = std::move(pm);
    return format;
}

// Pictures as several Windows locales give them.
const DateTimeFormat kEnglishUs = Format("M/d/yyyy", "h:mm:ss tt");
const DateTimeFormat kEnglishUk = Format("dd/MM/yyyy", "HH:mm:ss");
const DateTimeFormat kGerman = Format("dd.MM.yyyy", "HH:mm:ss", "", "");
const DateTimeFormat kJapanese =
    Format("yyyy/MM/dd", "H:mm:ss", "\xE5\x8D\x88\xE5\x89\x8D", "\xE5\x8D\x88\xE5\xBE\x8C");
const DateTimeFormat kKorean =
    Format("yyyy-MM-dd", "tt h:mm:ss", "\xEC\x98\xA4\xEC\xA0\x84", "\xEC\x98\xA4\xED\x9B\x84");
const DateTimeFormat kFrenchCanada = Format("yyyy-MM-dd", "HH' h 'mm' min 'ss' s'");
const DateTimeFormat kShortYear = Format("d-MMM-yy", "hh:mm:ss t");

TEST(DateTime, CountsDaysFromTheEndOf1899) {
    EXPECT_EQ(At(1899, 12, 30), 0.0);
    EXPECT_EQ(At(1900, 1, 1), 2.0);
    EXPECT_EQ(At(2000, 1, 1), 36526.0);
    EXPECT_EQ(At(2024, 2, 29, 12), 45351.5);
    EXPECT_EQ(At(1899, 12, 29, 6), -1.25);  // before the epoch the fraction is still the time of day
    EXPECT_EQ(At(1, 1, 1), -693593.0);

    EXPECT_EQ(DecodeDateTime(-1.25), (CivilDateTime{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_EQ(DecodeDateTime(45351.75), (CivilDateTime{2024, 2, 29, 18, 0, 0, 0}));
    EXPECT_EQ(DecodeDateTime(9999.0 - 1e-10), (CivilDateTime{1927, 5, 17, 0, 0, 0, 0}));  // rounds up to midnight
    EXPECT_EQ(DayOfWeek(2024, 1, 1), 1);
    EXPECT_EQ(DayOfWeek(1899, 12, 30), 6);

    EXPECT_FALSE(EncodeDateTime({2023, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(EncodeDateTime({2024, 13, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(EncodeDateTime({2024, 1, 1, 24, 0, 0, 0}));
    EXPECT_FALSE(EncodeDateTime({10000, 1, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(DecodeDateTime(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(DecodeDateTime(1e300));
    EXPECT_FALSE(DecodeDateTime(-693594.0));
}

TEST(DateTimeFormat, FormatsWithTheLocalePictures) {
    const TDateTime afternoon = At(2024, 1, 2, 15, 4, 5);
    EXPECT_EQ(FormatDateTime(afternoon, kEnglishUs), "1/2/2024 3:04:05 PM");
    EXPECT_EQ(FormatDateTime(afternoon, kEnglishUk), "02/01/2024 15:04:05");
    EXPECT_EQ(FormatDateTime(afternoon, kGerman), "02.01.2024 15:04:05");
    EXPECT_EQ(FormatDateTime(afternoon, kJapanese), "2024/01/02 15:04:05");
    EXPECT_EQ(FormatDateTime(afternoon, kKorean), "2024-01-02 \xEC\x98\xA4\xED\x9B\x84 3:04:05");
    EXPECT_EQ(FormatDateTime(afternoon, kFrenchCanada), "2024-01-02 15 h 04 min 05 s");
    EXPECT_EQ(FormatDateTime(afternoon, kShortYear), "2-Jan-24 03:04:05 P");

    // Exactly midnight has no time part; a moment later has one. Seconds are cut, not rounded.
    EXPECT_EQ(FormatDateTime(At(2024, 1, 2), kEnglishUs), "1/2/2024");
    EXPECT_EQ(FormatDateTime(At(2024, 1, 2, 0, 0, 1), kEnglishUs), "1/2/2024 12:00:01 AM");
    EXPECT_EQ(FormatDateTime(At(2024, 1, 2, 12), kEnglishUs), "1/2/2024 12:00:00 PM");
    EXPECT_EQ(FormatDateTime(At(2024, 1, 2, 23, 59, 59) + 0.9 / 86400, kGerman), "02.01.2024 23:59:59");

    EXPECT_EQ(FormatPicture(afternoon, "dddd, MMMM dd, yyyy", kEnglishUs), "Tuesday, January 02, 2024");
    EXPECT_EQ(FormatPicture(afternoon, "ddd d MMM y", kEnglishUs), "Tue 2 Jan 24");
    EXPECT_EQ(FormatPicture(At(2005, 3, 4), "y/yy", kEnglishUs), "5/05");
    EXPECT_EQ(FormatPicture(afternoon, "'d''M' '' gg yyyy 'open", kEnglishUs), "d'M '  2024 open");

    EXPECT_THROW(FormatDateTime(std::numeric_limits<double>::quiet_NaN(), kEnglishUs), std::out_of_range);
    EXPECT_THROW(FormatDateTime(1e9, kEnglishUs), std::out_of_range);
}

TEST(DateTimeFormat, ReadsBackWhatItWrites) {
    const std::vector<TDateTime> values = {
        At(2024, 1, 2, 15, 4, 5), At(2024, 1, 2),          At(2024, 2, 29, 12),    At(1999, 12, 31, 0, 0, 1),
        At(2049, 6, 30, 23, 59, 59), At(1950, 1, 1, 0, 30), At(2024, 10, 11, 11, 11, 11)};
    for (const DateTimeFormat* format : {&kEnglishUs, &kEnglishUk, &kGerman, &kJapanese, &kKorean, &kFrenchCanada,
                                         &kShortYear}) {
        for (const TDateTime value : values) {
            const std::string text = FormatDateTime(value, *format);
            EXPECT_EQ(ParseDateTime(text, *format), value) << text << " with " << format->shortDate;
        }
    }
    EXPECT_EQ(ParseDateTime(FormatDateTime(-1.25 - 1000, kGerman), kGerman), -1.25 - 1000);
    EXPECT_EQ(ParseDateTime("1/1/0001", kEnglishUs), -693593.0);
    // Names and designators match without regard to case; one-digit fields may have two.
    EXPECT_EQ(ParseDateTime("1/2/2024 3:04:05 pm", kEnglishUs), At(2024, 1, 2, 15, 4, 5));
    EXPECT_EQ(ParseDateTime("01/02/2024 03:04:05 AM", kEnglishUs), At(2024, 1, 2, 3, 4, 5));
    EXPECT_EQ(ParseDateTime("2-JAN-24 03:04:05 a", kShortYear), At(2024, 1, 2, 3, 4, 5));
    EXPECT_EQ(ParseDateTime("2-January-99", kShortYear), At(1999, 1, 2));
    EXPECT_EQ(ParseDateTime("12/31/24", kEnglishUs), At(2024, 12, 31));
}

TEST(DateTimeFormat, RefusesTextThatDoesNotFitThePictures) {
    // Written under one locale, read under another.
    EXPECT_FALSE(ParseDateTime("1/2/2024 3:04:05 PM", kGerman));
    EXPECT_FALSE(ParseDateTime("02.01.2024 15:04:05", kEnglishUs));
    EXPECT_FALSE(ParseDateTime("12/31/2024 3:04:05 PM", kEnglishUk));  // no 31st month
    EXPECT_FALSE(ParseDateTime("1/2/2024 3:04:05 PM", kEnglishUk));    // no designator in 24-hour time
    EXPECT_FALSE(ParseDateTime("2024/01/02 15:04:05", kKorean));
    // Not a date-time, or a broken one.
    for (const char* text : {"", "yes", "1/2/2024 ", "1/2/2024  3:04:05 PM", "1/2/2024 3:04:05", "1/2/2024 3:04 PM",
                             "2/30/2024", "13/1/2024", "1/2/2024 13:00:00 PM", "1/2/2024 3:60:00 PM", "1/2/", "1/2",
                             "1/2/2024 3:04:05 PM x", "0/2/2024", "1/2/10000", "-1/2/2024"}) {
        EXPECT_FALSE(ParseDateTime(text, kEnglishUs)) << text;
    }
    EXPECT_FALSE(ParseDateTime("02.01.2024 24:00:00", kGerman));
    EXPECT_FALSE(ParseDateTime("2-Jam-24", kShortYear));
}

}  // namespace
}  // namespace sentrel
