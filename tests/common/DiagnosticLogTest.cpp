#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

std::vector<std::string> LinesOf(const std::string& path) {
    std::vector<std::string> lines;
    if (!FileExists(path)) return lines;
    std::istringstream text(ReadFileText(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

TEST(DiagnosticLog, OneTimestampedLinePerEventAndRollsAtItsBound) {
    test::TempFolder folder;
    constexpr std::int64_t kBound = 300;
    DiagnosticLog log(folder / "Sentrel4.log", kBound);

    log.Write("first\r\nevent\u202E" + std::string(5000, 'x'));  // a name from outside, made safe
    const std::vector<std::string> first = LinesOf(log.Path());
    ASSERT_EQ(first.size(), 1u);
    const std::string shown = "first event\uFFFD" + std::string(3987, 'x') + "…";
    EXPECT_TRUE(std::regex_match(first[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )" + shown)))
        << first[0];
    EXPECT_FALSE(FileExists(log.OlderPath()));

    // Far more than two files hold: only the current file and the older one remain, each within
    // the bound, and the newest event is the last line of the current file.
    for (int i = 0; i < 100; ++i) log.Write("event number " + std::to_string(i));
    EXPECT_LE(FileSize(log.Path()), kBound);
    EXPECT_LE(FileSize(log.OlderPath()), kBound);
    const std::vector<std::string> current = LinesOf(log.Path());
    const std::vector<std::string> older = LinesOf(log.OlderPath());
    ASSERT_FALSE(current.empty());
    ASSERT_FALSE(older.empty());
    EXPECT_NE(current.back().find("event number 99"), std::string::npos);
    // Nothing is lost between the two files: the older one ends where the current one starts.
    const auto numberOf = [](const std::string& line) { return std::stoi(line.substr(line.rfind(' ') + 1)); };
    EXPECT_EQ(numberOf(older.back()) + 1, numberOf(current.front()));
}

TEST(DiagnosticLog, CaughtErrorsNameWhereAndWhat) {
    test::TempFolder folder;
    OpenDiagnosticLog(folder / "Sentrel4.log");
    try {
        throw std::runtime_error("row 7 is damaged");
    } catch (...) {
        LogCaught("RegistryTimer row");
    }
    try {
        throw 42;
    } catch (...) {
        LogCaught("elsewhere");
    }
    CloseDiagnosticLog();
    LogEvent("after the close: not in the file");

    const std::vector<std::string> lines = LinesOf(folder / "Sentrel4.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" RegistryTimer row: caught row 7 is damaged"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" elsewhere: caught an exception that is no std::exception"), std::string::npos)
        << lines[1];
}

}  // namespace
}  // namespace sentrel
