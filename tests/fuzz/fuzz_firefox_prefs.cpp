// Firefox's preference reader on arbitrary bytes: each statement's bytes lie in the text, and
// removing them leaves every other statement; putting back one still there changes nothing;
// removing all of one name and value leaves none, and the undo gives the text back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "browsers/FirefoxPrefs.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> Names(const std::vector<sentrel::FirefoxPrefLine>& lines) {
    std::vector<std::string> names;
    for (const auto& line : lines) names.push_back(line.name + '\0' + line.value);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sentrel;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<FirefoxPrefLine> lines = ParsePrefLines(text);
    std::size_t previousEnd = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const FirefoxPrefLine& line = lines[i];
        Check(!line.line.empty() && line.offset >= previousEnd && line.offset + line.line.size() <= size);
        Check(text.compare(line.offset, line.line.size(), line.line) == 0);
        previousEnd = line.offset + line.line.size();
        const std::optional<std::string> removed = RemovePrefLine(text, line);
        Check(removed && *removed == std::string(text).erase(line.offset, line.line.size()));
        std::vector<std::string> others = Names(lines);
        others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
        Check(Names(ParsePrefLines(*removed)) == others && PutBackPrefLine(text, line) == text);
    }
    if (lines.empty()) return 0;
    const auto removal = RemovePrefStatements(text, lines[0].name, lines[0].value);
    Check(removal && UndoPrefRemoval(removal->text, text, removal->text, removal->removed) == text);
    for (const FirefoxPrefLine& left : ParsePrefLines(removal->text))
        Check(left.name != lines[0].name || left.value != lines[0].value);
    return 0;
}
