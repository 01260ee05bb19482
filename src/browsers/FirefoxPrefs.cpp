#include "browsers/FirefoxPrefs.h"

#include <array>

#include "browsers/FirefoxProfiles.h"
#include "common/Files.h"

namespace sentrel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Reads one statement line; the reader stops at the first thing that does not fit.
class StatementReader {
public:
    explicit StatementReader(std::string_view text) : text_(text) {}

    std::size_t Position() const { return at_; }

    void SkipBlanks() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
    }

    bool Take(std::string_view word) {
        SkipBlanks();
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool TakeName(std::string_view& keyword) {
        SkipBlanks();
        for (const std::string_view candidate : {"user_pref", "sticky_pref", "pref"}) {
            if (text_.substr(at_, candidate.size()) == candidate) {
                keyword = candidate;
                at_ += candidate.size();
                return true;
            }
        }
        return false;
    }

    // A quoted string (either quote) with the escapes Firefox knows.
    std::optional<std::string> TakeString() {
        SkipBlanks();
        if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) return std::nullopt;
        const char quote = text_[at_++];
        std::string value;
        while (at_ < text_.size() && text_[at_] != quote) {
            char c = text_[at_++];
            if (c != '\\') {
                value += c;
                continue;
            }
            if (at_ >= text_.size()) return std::nullopt;
            c = text_[at_++];
            switch (c) {
                case '"': case '\'': case '\\': value += c; break;
                case 'n': value += '\n'; break;
                case 'r': value += '\r'; break;
                case 't': value += '\t'; break;
                case 'x': {
                    const auto byte = TakeHex(2);
                    if (!byte || *byte == 0) return std::nullopt;
                    AppendUtf8(value, *byte);
                    break;
                }
                case 'u': {
                    auto unit = TakeHex(4);
                    if (!unit || *unit == 0) return std::nullopt;
                    if (*unit >= 0xD800 && *unit <= 0xDBFF) {  // a surrogate pair
                        if (text_.substr(at_, 2) != "\\u") return std::nullopt;
                        at_ += 2;
                        const auto low = TakeHex(4);
                        if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
                        unit = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
                    } else if (*unit >= 0xDC00 && *unit <= 0xDFFF) {
                        return std::nullopt;
                    }
                    AppendUtf8(value, *unit);
                    break;
                }
                default: return std::nullopt;
            }
        }
        if (at_ >= text_.size()) return std::nullopt;
        ++at_;
        return value;
    }

    // true, false or an integer, as written.
    std::optional<std::string> TakeLiteral() {
        SkipBlanks();
        for (const std::string_view word : {"true", "false"}) {
            if (text_.substr(at_, word.size()) == word) {
                at_ += word.size();
                return std::string(word);
            }
        }
        const std::size_t start = at_;
        if (at_ < text_.size() && (text_[at_] == '-' || text_[at_] == '+')) ++at_;
        const std::size_t digits = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
        if (at_ == digits) return std::nullopt;
        return std::string(text_.substr(start, at_ - start));
    }

    // After the statement: blanks, then nothing, a // or # comment, or a /* comment. Sets
    // `opensComment` when that comment does not end on the line.
    bool TakeRest(bool& opensComment) {
        SkipBlanks();
        const std::string_view rest = text_.substr(at_);
        if (rest.empty() || rest.substr(0, 2) == "//" || rest.front() == '#') return true;
        if (rest.substr(0, 2) != "/*") return false;
        opensComment = rest.find("*/", 2) == std::string_view::npos;
        return true;
    }

private:
    std::optional<unsigned> TakeHex(std::size_t count) {
        if (text_.size() - at_ < count) return std::nullopt;
        unsigned value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text_[at_++];
            value <<= 4;
            if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
            else return std::nullopt;
        }
        return value;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

struct Statement {
    FirefoxPrefLine line;
    std::size_t begin = 0;  // its bytes in the line, from the keyword to the semicolon
    std::size_t end = 0;
};

std::optional<Statement> ParseStatement(StatementReader& reader) {
    reader.SkipBlanks();
    Statement statement;
    statement.begin = reader.Position();
    std::string_view keyword;
    if (!reader.TakeName(keyword) || !reader.Take("(")) return std::nullopt;
    std::optional<std::string> name = reader.TakeString();
    if (!name || !reader.Take(",")) return std::nullopt;
    std::optional<std::string> value = reader.TakeString();
    if (!value) value = reader.TakeLiteral();
    if (!value || !reader.Take(")") || !reader.Take(";")) return std::nullopt;
    statement.end = reader.Position();
    statement.line.name = std::move(*name);
    statement.line.value = std::move(*value);
    statement.line.kind = WatchedFirefoxPrefKind(statement.line.name);
    return statement;
}

// The statements at the start of a line (without its line end). `clean` when nothing but blanks
// and a comment follows them; a line of several, or with more after them, still gives them all,
// as Firefox takes them.
std::vector<Statement> ParseLine(std::string_view body, bool& clean, bool& opensComment) {
    StatementReader reader(body);
    std::vector<Statement> statements;
    while (auto statement = ParseStatement(reader)) {
        statements.push_back(std::move(*statement));
        StatementReader rest = reader;
        if (rest.TakeRest(opensComment)) {
            clean = true;
            break;
        }
    }
    return statements;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool StartsLine(std::string_view text, std::size_t at) {
    return at == 0 || text[at - 1] == '\n' || (at == kByteOrderMark.size() && text.substr(0, at) == kByteOrderMark);
}

}  // namespace

FirefoxPrefKind WatchedFirefoxPrefKind(std::string_view name) {
    using Kind = FirefoxPrefKind;
    struct Watched {
        std::string_view name;
        Kind kind;
    };
    static constexpr std::array kWatched = {
        Watched{"browser.startup.homepage", Kind::HomePage},
        Watched{"browser.newtab.url", Kind::HomePage},
        Watched{"browser.startup.page", Kind::StartupMode},
        Watched{"browser.search.defaultenginename", Kind::SearchEngine},
        Watched{"browser.search.defaultenginename.private", Kind::SearchEngine},
        Watched{"browser.search.selectedEngine", Kind::SearchEngine},
        Watched{"browser.search.defaulturl", Kind::SearchEngine},
        Watched{"browser.urlbar.placeholderName", Kind::SearchEngine},
        Watched{"browser.urlbar.placeholderName.private", Kind::SearchEngine},
        Watched{"keyword.URL", Kind::SearchEngine},
        Watched{"network.proxy.type", Kind::Proxy},
        Watched{"network.proxy.autoconfig_url", Kind::Proxy},
        Watched{"network.proxy.http", Kind::Proxy},
        Watched{"network.proxy.ssl", Kind::Proxy},
        Watched{"network.proxy.socks", Kind::Proxy},
    };
    for (const Watched& watched : kWatched) {
        if (watched.name == name) return watched.kind;
    }
    // The search engines in their order of choice: browser.search.order.1, .2, ...
    constexpr std::string_view kOrder = "browser.search.order.";
    if (name.substr(0, kOrder.size()) == kOrder) return Kind::SearchEngine;
    return Kind::Other;
}

std::vector<FirefoxPrefLine> ParsePrefLines(std::string_view text) {
    std::vector<FirefoxPrefLine> lines;
    bool inComment = false;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
        const std::string_view line = text.substr(start, end - start);
        std::string_view body = line.substr(0, line.find('\n'));
        std::size_t lineStart = start;
        if (start == 0 && body.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            // The mark belongs to the file, not to its first line.
            body.remove_prefix(kByteOrderMark.size());
            lineStart = kByteOrderMark.size();
        }
        if (inComment) {
            // The rest of the line after the comment's end is not looked at: a statement there
            // is as rare as it is odd, and it is not a line of its own to remove.
            inComment = body.find("*/") == std::string_view::npos;
        } else {
            bool clean = false;
            bool opensComment = false;
            std::vector<Statement> statements = ParseLine(body, clean, opensComment);
            if (statements.size() == 1 && clean && !opensComment) {
                // The usual line: the fix removes it whole, line end and all. (A comment it opens
                // stays, or the lines in it would come alive.)
                FirefoxPrefLine& only = statements.front().line;
                only.offset = lineStart;
                only.line = std::string(text.substr(lineStart, end - lineStart));
                only.wholeLine = true;
                lines.push_back(std::move(only));
            } else if (!statements.empty()) {
                // Only the statement itself, so that the others of its line stay.
                for (Statement& statement : statements) {
                    statement.line.offset = lineStart + statement.begin;
                    statement.line.line = std::string(body.substr(statement.begin, statement.end - statement.begin));
                    lines.push_back(std::move(statement.line));
                }
            } else {
                // A line that is no statement may still open a comment that runs on.
                const std::size_t open = body.rfind("/*");
                if (open != std::string_view::npos && body.find("*/", open + 2) == std::string_view::npos &&
                    body.substr(0, open).find("//") == std::string_view::npos) {
                    opensComment = true;
                }
            }
            inComment = opensComment;
        }
        start = end;
    }
    return lines;
}

namespace {

// Where the text holds the entry's bytes: at a line start for a whole line, anywhere for a
// statement that shares its line.
std::size_t FindPrefLine(std::string_view text, const FirefoxPrefLine& line) {
    std::size_t at = text.find(line.line);
    while (at != std::string_view::npos && line.wholeLine && !StartsLine(text, at)) at = text.find(line.line, at + 1);
    return at;
}

}  // namespace

std::optional<std::string> RemovePrefLine(std::string_view text, const FirefoxPrefLine& line) {
    if (line.line.empty()) return std::nullopt;
    std::size_t at = line.offset;
    const bool inPlace = at <= text.size() && text.substr(at, line.line.size()) == line.line &&
                         (!line.wholeLine || StartsLine(text, at));
    if (!inPlace) at = FindPrefLine(text, line);
    if (at == std::string_view::npos) return std::nullopt;
    std::string result(text.substr(0, at));
    result.append(text.substr(at + line.line.size()));
    return result;
}

std::string PutBackPrefLine(std::string_view text, const FirefoxPrefLine& line) {
    if (FindPrefLine(text, line) != std::string_view::npos) return std::string(text);
    const std::string_view lineEnd = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string result(text);
    if (!result.empty() && result.back() != '\n') result += lineEnd;
    result += line.line;
    if (result.back() != '\n') result += lineEnd;
    return result;
}

std::optional<PrefRemoval> RemovePrefStatements(std::string_view text, std::string_view name, std::string_view value) {
    PrefRemoval removal;
    for (FirefoxPrefLine& line : ParsePrefLines(text)) {
        if (line.name == name && line.value == value) removal.removed.push_back(std::move(line));
    }
    if (removal.removed.empty()) return std::nullopt;
    // From the last to the first, so that each offset still holds when its turn comes.
    removal.text = std::string(text);
    for (auto line = removal.removed.rbegin(); line != removal.removed.rend(); ++line) {
        std::optional<std::string> shorter = RemovePrefLine(removal.text, *line);
        if (!shorter) return std::nullopt;  // cannot be: the bytes were just read there
        removal.text = std::move(*shorter);
    }
    return removal;
}

std::string UndoPrefRemoval(const std::optional<std::string>& now, std::string_view before, std::string_view written,
                            const std::vector<FirefoxPrefLine>& removed) {
    if (now && *now == written) return std::string(before);
    std::string text = now.value_or(std::string());
    for (const FirefoxPrefLine& line : removed) text = PutBackPrefLine(text, line);
    return text;
}

FirefoxPrefSettings ReadFirefoxPrefSettings(const std::string& firefoxFolder) {
    FirefoxPrefSettings result;
    if (!PathIsFolder(firefoxFolder)) return result;
    FirefoxProfiles profiles = ReadFirefoxProfiles(firefoxFolder);
    result.problems = std::move(profiles.problems);
    for (const FirefoxProfile& profile : profiles.profiles) {
        for (const char* name : {"prefs.js", "user.js"}) {
            const std::string path = JoinPath(profile.path, name);
            ReadGuarded(path, result.problems, [&] {
                const FileRead file = ReadCappedFile(path, kMaxPrefsBytes);
                if (!file.text) {
                    if (!file.missing) result.problems.push_back({path, file.reason});
                    return;
                }
                for (FirefoxPrefLine& line : ParsePrefLines(*file.text)) {
                    if (line.kind == FirefoxPrefKind::Other) continue;
                    result.settings.push_back({profile.name, profile.path, path, std::move(line)});
                }
            });
        }
    }
    return result;
}

}  // namespace sentrel
