#pragma once
// Firefox's preference lines (prefs.js, which Firefox rewrites, and user.js, which it reads at
// each start and which wins) for the settings a program of the user's can take over: the home
// page, what Firefox shows at start, the search engine where a preference still names it, and
// the proxy. The files are read the way Firefox reads them, token by token: a statement may
// share its line, run over several lines, follow a comment, or end its line with a lone CR. The
// fix removes one statement exactly and keeps every other byte of the file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers/BrowserFiles.h"

namespace sentrel {

enum class FirefoxPrefKind { Other, HomePage, StartupMode, SearchEngine, Proxy };

// What kind of watched setting a preference is; Other for the rest.
FirefoxPrefKind WatchedFirefoxPrefKind(std::string_view name);

// One `user_pref("name", value);` statement and the bytes the fix removes for it: its whole
// line (or lines) when the statement has them to itself (blanks before it, blanks and comments
// that close on the line after it), else just the statement, so that the rest of its line stays.
struct FirefoxPrefLine {
    std::string name;
    std::string value;        // a string value unescaped; true, false or the number as written
    std::size_t offset = 0;   // where those bytes start in the file
    std::string line;         // the bytes: the line with its line end, or the statement
    bool wholeLine = false;
    FirefoxPrefKind kind = FirefoxPrefKind::Other;
};

// Every preference statement (user_pref, or pref and sticky_pref, with their optional sticky or
// locked) that Firefox applies, in the file's order. One that does not parse is skipped as
// Firefox skips it, up to the next semicolon. Any text parses.
std::vector<FirefoxPrefLine> ParsePrefLines(std::string_view text);

// The text without the entry's bytes: at its recorded offset, or else where the text first holds
// them as a statement. Nothing when the text holds them as no statement (in a comment, say).
std::optional<std::string> RemovePrefLine(std::string_view text, const FirefoxPrefLine& line);

// The text with the entry put back (the undo of a removal in a file changed since): unchanged
// when it holds the bytes as a statement, else with them appended as a line of their own, so
// that they win over any earlier statement of the same preference.
std::string PutBackPrefLine(std::string_view text, const FirefoxPrefLine& line);

// The text without every statement of preference `name` with the value `value` (as
// ParsePrefLines gives it), and those statements; nothing when it holds none.
struct PrefRemoval {
    std::string text;
    std::vector<FirefoxPrefLine> removed;
};
std::optional<PrefRemoval> RemovePrefStatements(std::string_view text, std::string_view name, std::string_view value);

// The undo of a removal: the file as it was (`before`) when it is still what the removal wrote
// (`written`), else `now` with the removed statements put back (PutBackPrefLine). `now` is
// nothing for a file that is gone: the statements then make a file of their own.
std::string UndoPrefRemoval(const std::optional<std::string>& now, std::string_view before, std::string_view written,
                            const std::vector<FirefoxPrefLine>& removed);

// A watched preference line of one file of one Firefox profile.
struct FirefoxPrefSetting {
    std::string profile;
    std::string profileFolder;
    std::string file;  // the path of prefs.js or user.js
    FirefoxPrefLine line;
};

struct FirefoxPrefSettings {
    std::vector<FirefoxPrefSetting> settings;
    std::vector<BrowserReadProblem> problems;
};

// The watched lines of prefs.js and user.js of every profile.
FirefoxPrefSettings ReadFirefoxPrefSettings(const std::string& firefoxFolder);

}  // namespace sentrel
