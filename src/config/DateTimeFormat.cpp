#include "config/DateTimeFormat.h"

#include <span>
#include <stdexcept>
#include <vector>

namespace sentrel {

namespace {

enum class Field { Literal, Day, Month, Year, Era, Hour12, Hour24, Minute, Second, Designator };

struct Token {
    Field field = Field::Literal;
    int count = 0;        // letters in the field
    std::string literal;  // text of a literal
};

Field FieldOf(char letter) {
    switch (letter) {
        case 'd': return Field::Day;
        case 'M': return Field::Month;
        case 'y': return Field::Year;
        case 'g': return Field::Era;
        case 'h': return Field::Hour12;
        case 'H': return Field::Hour24;
        case 'm': return Field::Minute;
        case 's': return Field::Second;
        case 't': return Field::Designator;
        default: return Field::Literal;
    }
}

void AppendLiteral(std::vector<Token>& tokens, std::string_view text) {
    if (text.empty()) return;
    if (tokens.empty() || tokens.back().field != Field::Literal) tokens.push_back({Field::Literal, 0, {}});
    tokens.back().literal += text;
}

std::vector<Token> Tokenize(std::string_view picture) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {
            if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                AppendLiteral(tokens, "'");
                i += 2;
                continue;
            }
            // Quoted text up to the closing quote ('' inside is one quote); an open quote runs to the end.
            ++i;
            std::string quoted;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        quoted += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                quoted += picture[i++];
            }
            AppendLiteral(tokens, quoted);
            continue;
        }
        const Field field = FieldOf(c);
        if (field == Field::Literal) {
            AppendLiteral(tokens, picture.substr(i, 1));
            ++i;
            continue;
        }
        int count = 0;
        while (i < picture.size() && picture[i] == c) {
            ++count;
            ++i;
        }
        tokens.push_back({field, count, {}});
    }
    return tokens;
}

std::string Number(int value, bool twoDigits) {
    std::string text = std::to_string(value);
    if (twoDigits && text.size() < 2) text.insert(0, 1, '0');
    return text;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    }
    return true;
}

// The fields read from a text; what a picture does not name keeps its value here.
struct ParsedFields {
    std::optional<int> year;
    int month = 1;
    int day = 1;
    int hour = 0;
    bool twelveHourClock = false;
    bool pm = false;
    int minute = 0;
    int second = 0;
};

class Reader {
public:
    Reader(std::string_view text, const DateTimeFormat& format) : text_(text), format_(format) {}

    std::size_t Position() const { return position_; }
    bool AtEnd() const { return position_ == text_.size(); }

    bool Skip(char c) {
        if (AtEnd() || text_[position_] != c) return false;
        ++position_;
        return true;
    }

    // Reads the text of one picture into `fields`; false when the text does not fit it.
    bool ReadPicture(std::string_view picture, ParsedFields& fields) {
        for (const Token& token : Tokenize(picture)) {
            if (!ReadToken(token, fields)) return false;
        }
        return true;
    }

private:
    bool ReadToken(const Token& token, ParsedFields& fields) {
        switch (token.field) {
            case Field::Literal:
                if (text_.substr(position_).substr(0, token.literal.size()) != token.literal) return false;
                position_ += token.literal.size();
                return true;
            case Field::Day:
                if (token.count >= 3) return ReadName(format_.dayNames, format_.abbreviatedDayNames).has_value();
                return ReadNumber(2, fields.day);
            case Field::Month:
                if (token.count >= 3) {
                    const auto month = ReadName(format_.monthNames, format_.abbreviatedMonthNames);
                    if (!month) return false;
                    fields.month = *month + 1;
                    return true;
                }
                return ReadNumber(2, fields.month);
            case Field::Year: {
                const std::size_t start = position_;
                int year = 0;
                if (!ReadNumber(token.count >= 4 ? 4 : 2, year)) return false;
                if (position_ - start <= 2) year += year < 50 ? 2000 : 1900;
                fields.year = year;
                return true;
            }
            case Field::Era: return true;
            case Field::Hour12: fields.twelveHourClock = true; return ReadNumber(2, fields.hour);
            case Field::Hour24: fields.twelveHourClock = false; return ReadNumber(2, fields.hour);
            case Field::Minute: return ReadNumber(2, fields.minute);
            case Field::Second: return ReadNumber(2, fields.second);
            case Field::Designator: return ReadDesignator(token.count == 1, fields.pm);
        }
        return false;
    }

    bool ReadNumber(std::size_t maxDigits, int& value) {
        std::size_t digits = 0;
        int result = 0;
        while (digits < maxDigits && !AtEnd() && text_[position_] >= '0' && text_[position_] <= '9') {
            result = result * 10 + (text_[position_] - '0');
            ++position_;
            ++digits;
        }
        if (digits == 0) return false;
        value = result;
        return true;
    }

    // Index of the longest full or abbreviated name that the text starts with.
    template <std::size_t N>
    std::optional<int> ReadName(const std::array<std::string, N>& names, const std::array<std::string, N>& shortNames) {
        const std::string_view rest = text_.substr(position_);
        std::optional<int> best;
        std::size_t bestLength = 0;
        for (const auto* list : {&names, &shortNames}) {
            for (std::size_t i = 0; i < N; ++i) {
                const std::string& name = (*list)[i];
                if (!name.empty() && name.size() > bestLength && StartsWithIgnoringCase(rest, name)) {
                    best = static_cast<int>(i);
                    bestLength = name.size();
                }
            }
        }
        position_ += bestLength;
        return best;
    }

    bool ReadDesignator(bool firstLetterOnly, bool& pm) {
        const std::string_view rest = text_.substr(position_);
        const auto form = [&](const std::string& designator) {
            return firstLetterOnly ? std::string_view(designator).substr(0, 1) : std::string_view(designator);
        };
        const std::string_view am = form(format_.amDesignator);
        const std::string_view pmText = form(format_.pmDesignator);
        const bool amFits = !am.empty() && StartsWithIgnoringCase(rest, am);
        const bool pmFits = !pmText.empty() && StartsWithIgnoringCase(rest, pmText);
        if (pmFits && (!amFits || pmText.size() > am.size())) {
            pm = true;
            position_ += pmText.size();
            return true;
        }
        if (amFits) {
            pm = false;
            position_ += am.size();
            return true;
        }
        // A locale without designators writes nothing here.
        if (am.empty()) {
            pm = false;
            return true;
        }
        if (pmText.empty()) {
            pm = true;
            return true;
        }
        return false;
    }

    std::string_view text_;
    const DateTimeFormat& format_;
    std::size_t position_ = 0;
};

}  // namespace

std::string FormatPicture(TDateTime value, std::string_view picture, const DateTimeFormat& format) {
    const auto civil = DecodeDateTime(value);
    if (!civil) throw std::out_of_range("The date-time " + std::to_string(value) + " is out of range");
    std::string text;
    for (const Token& token : Tokenize(picture)) {
        const bool twoDigits = token.count >= 2;
        switch (token.field) {
            case Field::Literal: text += token.literal; break;
            case Field::Day:
                if (token.count >= 3) {
                    const int weekday = DayOfWeek(civil->year, civil->month, civil->day);
                    text += token.count == 3 ? format.abbreviatedDayNames[weekday] : format.dayNames[weekday];
                } else {
                    text += Number(civil->day, twoDigits);
                }
                break;
            case Field::Month:
                if (token.count >= 3) {
                    text += token.count == 3 ? format.abbreviatedMonthNames[civil->month - 1]
                                             : format.monthNames[civil->month - 1];
                } else {
                    text += Number(civil->month, twoDigits);
                }
                break;
            case Field::Year:
                if (token.count >= 4) {
                    std::string year = std::to_string(civil->year);
                    text += std::string(year.size() < 4 ? 4 - year.size() : 0, '0') + year;
                } else {
                    text += Number(civil->year % 100, twoDigits);
                }
                break;
            case Field::Era: break;
            case Field::Hour12: text += Number(civil->hour % 12 == 0 ? 12 : civil->hour % 12, twoDigits); break;
            case Field::Hour24: text += Number(civil->hour, twoDigits); break;
            case Field::Minute: text += Number(civil->minute, twoDigits); break;
            case Field::Second: text += Number(civil->second, twoDigits); break;
            case Field::Designator: {
                const std::string& designator = civil->hour < 12 ? format.amDesignator : format.pmDesignator;
                text += token.count == 1 ? designator.substr(0, 1) : designator;
                break;
            }
        }
    }
    return text;
}

std::string FormatDateTime(TDateTime value, const DateTimeFormat& format) {
    const auto civil = DecodeDateTime(value);
    if (!civil) throw std::out_of_range("The date-time " + std::to_string(value) + " is out of range");
    std::string text = FormatPicture(value, format.shortDate, format);
    if (civil->hour != 0 || civil->minute != 0 || civil->second != 0 || civil->millisecond != 0) {
        text += ' ';
        text += FormatPicture(value, format.longTime, format);
    }
    return text;
}

std::optional<TDateTime> ParseDateTime(std::string_view text, const DateTimeFormat& format) {
    Reader reader(text, format);
    ParsedFields fields;
    if (!reader.ReadPicture(format.shortDate, fields)) return std::nullopt;
    if (!reader.AtEnd()) {
        if (!reader.Skip(' ') || !reader.ReadPicture(format.longTime, fields) || !reader.AtEnd()) return std::nullopt;
    }
    if (!fields.year) return std::nullopt;
    CivilDateTime civil;
    civil.year = *fields.year;
    civil.month = fields.month;
    civil.day = fields.day;
    civil.minute = fields.minute;
    civil.second = fields.second;
    if (fields.twelveHourClock) {
        if (fields.hour > 12) return std::nullopt;
        civil.hour = fields.hour % 12 + (fields.pm ? 12 : 0);
    } else {
        civil.hour = fields.hour;
    }
    return EncodeDateTime(civil);
}

}  // namespace sentrel
