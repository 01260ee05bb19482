// Firefox's preference reader on arbitrary bytes (a damaged or hostile prefs.js or user.js).
// Nothing may crash, and for every statement found:
//  - its bytes lie inside the text, after the previous statement's, and a whole line starts and
//    ends a line;
//  - removing it takes exactly its bytes out, and the text left holds every other statement
//    with its name and value, in order (no statement comes alive or goes with it);
//  - the text still holding it is left as it is when it is put back;
// and removing every statement of the first's name and value, then undoing that, gives the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "browsers/FirefoxPrefs.h"

namespace {

using namespace sentrel;

void Check(bool condition) {
    if (!condition) std::abort();
}

bool EndsLine(std::string_view bytes) { return !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'); }

std::vector<std::string> NamesAndValues(const std::vector<FirefoxPrefLine>& lines) {
    std::vector<std::string> result;
    for (const FirefoxPrefLine& line : lines) result.push_back(line.name + '\0' + line.value);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<FirefoxPrefLine> lines = ParsePrefLines(text);
    const std::vector<std::string> all = NamesAndValues(lines);
    std::size_t previousEnd = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const FirefoxPrefLine& line = lines[i];
        Check(!line.line.empty() && line.offset >= previousEnd && line.offset + line.line.size() <= text.size());
        Check(text.compare(line.offset, line.line.size(), line.line) == 0);
        previousEnd = line.offset + line.line.size();
        if (line.wholeLine) {
            const bool startsLine = line.offset == 0 || EndsLine(text.substr(0, line.offset)) ||
                                    (line.offset == 3 && text.starts_with("\xEF\xBB\xBF"));
            Check(startsLine && (EndsLine(line.line) || previousEnd == text.size()));
        }
        const std::optional<std::string> removed = RemovePrefLine(text, line);
        Check(removed && *removed == std::string(text).erase(line.offset, line.line.size()));
        std::vector<std::string> others = all;
        others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
        Check(NamesAndValues(ParsePrefLines(*removed)) == others);
        Check(PutBackPrefLine(text, line) == text);
    }
    if (lines.empty()) return 0;
    const auto removal = RemovePrefStatements(text, lines.front().name, lines.front().value);
    Check(removal.has_value());
    for (const FirefoxPrefLine& left : ParsePrefLines(removal->text))
        Check(left.name != lines.front().name || left.value != lines.front().value);
    Check(UndoPrefRemoval(removal->text, text, removal->text, removal->removed) == text);
    return 0;
}
