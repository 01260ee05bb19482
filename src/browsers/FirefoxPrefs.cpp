#include "browsers/FirefoxPrefs.h"

#include <array>
#include <cstdint>
#include <limits>

#include "browsers/FirefoxProfiles.h"
#include "browsers/PrefsTokens.h"
#include "common/Files.h"

namespace sentrel {
namespace {

using TokenKind = PrefsTokenKind;

struct Statement {
    FirefoxPrefLine line;
    std::size_t begin = 0;  // the statement alone, from its keyword to its semicolon
    std::size_t end = 0;
};

// A preference value: true, false, a string, or an integer that fits 32 bits with its sign.
std::optional<std::string> ReadValue(PrefsLexer& lexer, PrefsToken& token) {
    if (token.kind == TokenKind::True) return "true";
    if (token.kind == TokenKind::False) return "false";
    if (token.kind == TokenKind::String) return std::move(token.text);
    std::string sign;
    if (token.Is('-') || token.Is('+')) {
        sign = std::string(1, token.symbol);
        token = lexer.Next();
    }
    if (token.kind != TokenKind::Integer) return std::nullopt;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (token.number > (sign == "-" ? kMax + 1 : kMax)) return std::nullopt;
    return sign + token.text;
}

// One statement from its first token: `keyword(name, value[, sticky|locked ...]);`. On a token that
// does not fit, nothing, with `token` left on it.
std::optional<Statement> ReadStatement(PrefsLexer& lexer, PrefsToken& token) {
    if (token.kind != TokenKind::UserPref && token.kind != TokenKind::Pref && token.kind != TokenKind::StickyPref)
        return std::nullopt;
    Statement statement;
    statement.begin = token.begin;
    token = lexer.Next();
    if (!token.Is('(')) return std::nullopt;
    token = lexer.Next();
    if (token.kind != TokenKind::String) return std::nullopt;
    statement.line.name = std::move(token.text);
    token = lexer.Next();
    if (!token.Is(',')) return std::nullopt;
    token = lexer.Next();
    std::optional<std::string> value = ReadValue(lexer, token);
    if (!value) return std::nullopt;
    statement.line.value = std::move(*value);
    token = lexer.Next();
    while (token.Is(',')) {
        token = lexer.Next();
        if (token.kind != TokenKind::Sticky && token.kind != TokenKind::Locked) return std::nullopt;
        token = lexer.Next();
    }
    if (!token.Is(')')) return std::nullopt;
    token = lexer.Next();
    if (!token.Is(';')) return std::nullopt;
    statement.end = token.end;
    statement.line.kind = WatchedFirefoxPrefKind(statement.line.name);
    return statement;
}

// Every statement Firefox applies, with the bytes the fix would remove for it. A statement that
// does not parse is skipped as Firefox skips it: every token up to and including the next
// semicolon goes, the token that did not fit first among them.
std::vector<Statement> ParseStatements(std::string_view text) {
    std::vector<Statement> statements;
    PrefsLexer lexer(text);
    PrefsToken token = lexer.Next();
    while (token.kind != TokenKind::End) {
        if (std::optional<Statement> statement = ReadStatement(lexer, token)) {
            const std::optional<std::size_t> lineStart = CleanLineStart(text, statement->begin);
            const std::optional<std::size_t> lineEnd = lineStart ? CleanLineEnd(text, statement->end) : std::nullopt;
            FirefoxPrefLine& line = statement->line;
            line.wholeLine = lineEnd.has_value();
            line.offset = line.wholeLine ? *lineStart : statement->begin;
            const std::size_t end = line.wholeLine ? *lineEnd : statement->end;
            line.line = std::string(text.substr(line.offset, end - line.offset));
            statements.push_back(std::move(*statement));
            token = lexer.Next();
            continue;
        }
        while (token.kind != TokenKind::End && !token.Is(';')) token = lexer.Next();
        if (token.kind != TokenKind::End) token = lexer.Next();
    }
    return statements;
}

// Where the text holds the entry as a statement: the bytes that hold it, at the recorded offset
// when they are there, else the first place. A statement the fix took out alone may since have
// its line to itself, and is then still found by the statement's own bytes.
struct Span {
    std::size_t offset;
    std::size_t size;
};
std::optional<Span> FindStatement(std::string_view text, const FirefoxPrefLine& entry) {
    std::optional<Span> found;
    for (const Statement& statement : ParseStatements(text)) {
        std::optional<Span> span;
        if (statement.line.line == entry.line)
            span = Span{statement.line.offset, entry.line.size()};
        else if (!entry.wholeLine && text.substr(statement.begin, statement.end - statement.begin) == entry.line)
            span = Span{statement.begin, entry.line.size()};
        if (!span) continue;
        if (span->offset == entry.offset) return span;
        if (!found) found = span;
    }
    return found;
}

std::string WithoutSpan(std::string_view text, Span span) {
    std::string result(text.substr(0, span.offset));
    result.append(text.substr(span.offset + span.size));
    return result;
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
    for (Statement& statement : ParseStatements(text)) lines.push_back(std::move(statement.line));
    return lines;
}

std::optional<std::string> RemovePrefLine(std::string_view text, const FirefoxPrefLine& line) {
    if (line.line.empty()) return std::nullopt;
    const std::optional<Span> span = FindStatement(text, line);
    if (!span) return std::nullopt;
    return WithoutSpan(text, *span);
}

std::string PutBackPrefLine(std::string_view text, const FirefoxPrefLine& line) {
    if (line.line.empty() || FindStatement(text, line)) return std::string(text);
    const std::string_view lineEnd = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string result(text);
    if (!result.empty() && result.back() != '\n' && result.back() != '\r') result += lineEnd;
    result += line.line;
    if (result.back() != '\n' && result.back() != '\r') result += lineEnd;
    return result;
}

std::optional<PrefRemoval> RemovePrefStatements(std::string_view text, std::string_view name, std::string_view value) {
    PrefRemoval removal;
    for (Statement& statement : ParseStatements(text)) {
        if (statement.line.name == name && statement.line.value == value)
            removal.removed.push_back(std::move(statement.line));
    }
    if (removal.removed.empty()) return std::nullopt;
    // The bytes between the statements, in one pass (the bytes of two statements never overlap).
    std::size_t kept = 0;
    for (const FirefoxPrefLine& line : removal.removed) {
        removal.text.append(text.substr(kept, line.offset - kept));
        kept = line.offset + line.line.size();
    }
    removal.text.append(text.substr(kept));
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
