#include "browsers/PrefsTokens.h"

#include <algorithm>
#include <array>

#include "common/Utf8Text.h"

namespace sentrel {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsPrefsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsWordStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordPart(char c) { return IsWordStart(c) || IsDigit(c); }

PrefsTokenKind WordKind(std::string_view word) {
    struct Keyword {
        std::string_view word;
        PrefsTokenKind kind;
    };
    static constexpr std::array kKeywords = {
        Keyword{"pref", PrefsTokenKind::Pref},           Keyword{"user_pref", PrefsTokenKind::UserPref},
        Keyword{"sticky_pref", PrefsTokenKind::StickyPref}, Keyword{"true", PrefsTokenKind::True},
        Keyword{"false", PrefsTokenKind::False},         Keyword{"sticky", PrefsTokenKind::Sticky},
        Keyword{"locked", PrefsTokenKind::Locked},
    };
    for (const Keyword& keyword : kKeywords) {
        if (keyword.word == word) return keyword.kind;
    }
    return PrefsTokenKind::Error;
}

// The end of the comment starting at `at` (one of //, #, /*), or nothing when none starts there.
// A /* comment that never ends runs to the end of the text.
std::optional<std::size_t> CommentEnd(std::string_view text, std::size_t at) {
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("//") || rest.starts_with("#")) {
        std::size_t end = at;
        while (end < text.size() && !IsLineEnd(text[end])) ++end;
        return end;
    }
    if (!rest.starts_with("/*")) return std::nullopt;
    const std::size_t close = text.find("*/", at + 2);
    return close == std::string_view::npos ? text.size() : close + 2;
}

}  // namespace


PrefsLexer::PrefsLexer(std::string_view text) : text_(text) {}

void PrefsLexer::SkipBlanksAndComments() {
    while (at_ < text_.size()) {
        if (IsPrefsBlank(text_[at_]) || IsLineEnd(text_[at_])) {
            ++at_;
        } else if (text_.substr(at_).starts_with(kByteOrderMark)) {
            at_ += kByteOrderMark.size();
        } else if (const auto end = CommentEnd(text_, at_)) {
            at_ = *end;
        } else {
            return;
        }
    }
}

PrefsToken PrefsLexer::Next() {
    SkipBlanksAndComments();
    PrefsToken token;
    token.begin = at_;
    if (at_ >= text_.size()) {
        token.end = at_;
        return token;
    }
    const char c = text_[at_];
    if (c == '"' || c == '\'') {
        ReadString(token);
    } else if (IsWordStart(c)) {
        while (at_ < text_.size() && IsWordPart(text_[at_])) ++at_;
        token.kind = WordKind(text_.substr(token.begin, at_ - token.begin));
    } else if (IsDigit(c)) {
        token.kind = PrefsTokenKind::Integer;
        while (at_ < text_.size() && IsDigit(text_[at_])) {
            token.number = std::min(token.number * 10 + static_cast<unsigned>(text_[at_] - '0'), kPrefsIntegerCap);
            ++at_;
        }
        token.text = std::string(text_.substr(token.begin, at_ - token.begin));
    } else if (std::string_view("(),;+-").find(c) != std::string_view::npos) {
        token.kind = PrefsTokenKind::Symbol;
        token.symbol = c;
        ++at_;
    } else {
        token.kind = PrefsTokenKind::Error;  // a lone '/', a control character, any other byte
        ++at_;
    }
    token.end = at_;
    return token;
}

// A quoted string with the escapes Firefox knows. A bad escape spoils the string but does not end
// it: the string still runs to its closing quote, as in Firefox, so that its rest is not read as
// statements.
void PrefsLexer::ReadString(PrefsToken& token) {
    const char quote = text_[at_++];
    bool bad = false;
    std::string value;
    while (at_ < text_.size() && text_[at_] != quote) {
        char c = text_[at_++];
        if (c != '\\') {
            value += c;
            continue;
        }
        if (at_ >= text_.size()) break;
        c = text_[at_++];
        switch (c) {
            case '"': case '\'': case '\\': value += c; break;
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            case 't': value += '\t'; break;
            case 'x': {
                const auto byte = ReadHex(2);
                if (!byte || *byte == 0) bad = true;
                else AppendUtf8(value, static_cast<char32_t>(*byte));
                break;
            }
            case 'u': {
                auto unit = ReadHex(4);
                if (unit && *unit >= 0xD800 && *unit <= 0xDBFF) {  // a surrogate pair
                    std::optional<unsigned> low;
                    if (text_.substr(at_, 2) == "\\u") {
                        at_ += 2;
                        low = ReadHex(4);
                    }
                    if (low && *low >= 0xDC00 && *low <= 0xDFFF)
                        unit = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
                    else
                        unit.reset();
                } else if (unit && *unit >= 0xDC00 && *unit <= 0xDFFF) {
                    unit.reset();
                }
                if (!unit || *unit == 0) bad = true;
                else AppendUtf8(value, static_cast<char32_t>(*unit));
                break;
            }
            default: bad = true;
        }
    }
    if (at_ >= text_.size()) {
        token.kind = PrefsTokenKind::Error;  // no closing quote: the string takes the rest of the text
        return;
    }
    ++at_;
    token.kind = bad ? PrefsTokenKind::Error : PrefsTokenKind::String;
    if (!bad) token.text = std::move(value);
}

// `count` hex digits; a character that is none is left for the string.
std::optional<unsigned> PrefsLexer::ReadHex(std::size_t count) {
    unsigned value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (at_ >= text_.size()) return std::nullopt;
        const char c = text_[at_];
        value <<= 4;
        if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
        else return std::nullopt;
        ++at_;
    }
    return value;
}

std::optional<std::size_t> CleanLineEnd(std::string_view text, std::size_t at) {
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\r') return at + 1 < text.size() && text[at + 1] == '\n' ? at + 2 : at + 1;
        if (c == '\n') return at + 1;
        if (IsPrefsBlank(c)) {
            ++at;
            continue;
        }
        const auto end = CommentEnd(text, at);
        if (!end) return std::nullopt;
        // A /* comment over a line end belongs to the lines after too.
        const std::string_view comment = text.substr(at, *end - at);
        if (comment.starts_with("/*") && (comment.size() < 4 || !comment.ends_with("*/") ||
                                          comment.find_first_of("\r\n") != std::string_view::npos))
            return std::nullopt;
        at = *end;
    }
    return at;
}

std::optional<std::size_t> CleanLineStart(std::string_view text, std::size_t at) {
    const std::size_t first = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (at > first && IsPrefsBlank(text[at - 1])) --at;
    if (at == first || IsLineEnd(text[at - 1])) return at;
    return std::nullopt;
}

}  // namespace sentrel
