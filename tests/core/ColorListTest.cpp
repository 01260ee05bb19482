#include "core/ColorList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/Files.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TempFolder;
using test::WriteTextFile;
using Lines = std::vector<std::string>;

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(ColorList, CreatesAMissingFileEmpty) {
    TempFolder folder;
    const std::string path = folder / std::string(kWhiteListFileName);
    TColorList list(path);
    EXPECT_EQ(list.Path(), path);
    EXPECT_EQ(list.Count(), 0u);
    ASSERT_TRUE(FileExists(path));
    EXPECT_EQ(FileSize(path), 0);
    EXPECT_EQ(FilesIn(folder.Path()), Lines{"white_list.txt"});

    // An existing file is loaded, not replaced.
    WriteTextFile(folder / "black_list.txt", "evil\r\n");
    EXPECT_EQ(TColorList(folder / "black_list.txt").Entries(), Lines{"evil"});
    EXPECT_EQ(ReadFileText(folder / "black_list.txt"), "evil\r\n");
}

TEST(ColorList, LoadsOneEntryPerLineWhateverTheLineEnd) {
    EXPECT_EQ(TColorList::ParseLines(""), Lines{});
    EXPECT_EQ(TColorList::ParseLines("a"), Lines{"a"});
    EXPECT_EQ(TColorList::ParseLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(TColorList::ParseLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(TColorList::ParseLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(TColorList::ParseLines("a\r\rb\n\n"), (Lines{"a", "", "b", ""}));
    EXPECT_EQ(TColorList::ParseLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(TColorList::ParseLines("x\r"), Lines{"x"});
    // Blanks belong to the entry; entries repeat as they are.
    EXPECT_EQ(TColorList::ParseLines(" a \r\n a \r\n"), (Lines{" a ", " a "}));

    TempFolder folder;
    WriteTextFile(folder / "list.txt", "Malicious file\r\nsecond\nthird\rfourth");
    EXPECT_EQ(TColorList(folder / "list.txt").Entries(), (Lines{"Malicious file", "second", "third", "fourth"}));
}

TEST(ColorList, ReadsAndSavesAListSavedAsUnicode) {
    TempFolder folder;
    const auto unicode = [](std::u16string_view text) {
        std::string bytes = "\xFF\xFE";
        for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        return bytes;
    };
    const std::string path = folder / "white_list.txt";
    WriteTextFile(path, unicode(u"Change in autorun list\r\nTracking cookie a.txt is recognised\r\n"));
    TColorList list(path);
    EXPECT_EQ(list.Entries(), (Lines{"Change in autorun list", "Tracking cookie a.txt is recognised"}));
    EXPECT_TRUE(list.Contains("change in AUTORUN list"));
    list.AddAndSave("Folder x was recognised");
    EXPECT_EQ(ReadFileText(path), unicode(u"Change in autorun list\r\nTracking cookie a.txt is recognised\r\n"
                                          u"Folder x was recognised\r\n"));
}

TEST(ColorList, ContainsComparesWholeLinesIgnoringCase) {
    TempFolder folder;
    WriteTextFile(folder / "list.txt", "Malicious file is found in system folder: EVIL.dll.\r\n\r\nabc\r\n");
    const TColorList list(folder / "list.txt");
    EXPECT_TRUE(list.Contains("Malicious file is found in system folder: EVIL.dll."));
    EXPECT_TRUE(list.Contains("malicious FILE is found in system folder: evil.DLL."));
    EXPECT_TRUE(list.Contains("ABC"));
    EXPECT_FALSE(list.Contains("ab"));
    EXPECT_FALSE(list.Contains("abcd"));
    EXPECT_FALSE(list.Contains("abc "));
    EXPECT_FALSE(list.Contains("Malicious file"));
    // An empty text is never contained, even with an empty entry in the list.
    EXPECT_FALSE(list.Contains(""));

    const TColorList empty(folder / "empty.txt");
    EXPECT_FALSE(empty.Contains("abc"));
    EXPECT_FALSE(empty.Contains(""));
}

TEST(ColorList, ReadsAListAnOlderVersionWroteInTheSystemsCodePage) {
    TempFolder folder;
    // Windows-1251 (Cyrillic) and Windows-1252 (Western): each list is saved back as UTF-8 with
    // its lines kept.
    WriteTextFile(folder / "cyrillic.txt", "C:\\\xCE\xF2\xF7\xB8\xF2.exe\r\nabc\r\n");
    TColorList cyrillic(folder / "cyrillic.txt", 1251);
    EXPECT_EQ(cyrillic.Entries(), (Lines{"C:\\Отчёт.exe", "abc"}));
    EXPECT_TRUE(cyrillic.Contains("c:\\ОТЧЁТ.EXE"));
    cyrillic.AddAndSave("Отчёт 报告 😀.exe");
    EXPECT_EQ(ReadFileText(folder / "cyrillic.txt"), "C:\\Отчёт.exe\r\nabc\r\nОтчёт 报告 😀.exe\r\n");

    WriteTextFile(folder / "western.txt", "C:\\Programme\\M\xFCller\\Spiel.exe\r\n");
    TColorList western(folder / "western.txt", 1252);
    EXPECT_TRUE(western.Contains("C:\\PROGRAMME\\MÜLLER\\SPIEL.EXE"));
    western.AddAndSave("x");
    EXPECT_EQ(ReadFileText(folder / "western.txt"), "C:\\Programme\\Müller\\Spiel.exe\r\nx\r\n");

    // A UTF-8 list is read as UTF-8 whatever the code page, and a name beyond every code page
    // comes back exactly.
    const TColorList reloaded(folder / "cyrillic.txt", 1252);
    EXPECT_EQ(reloaded.Entries(), cyrillic.Entries());
    EXPECT_TRUE(reloaded.Contains("ОТЧЁТ 报告 😀.EXE"));
}

TEST(ColorList, AddAndSaveRewritesTheWholeFileInOneStep) {
    TempFolder folder;
    const std::string path = folder / "white_list.txt";
    WriteTextFile(path, "first\nsecond\r");
    TColorList list(path);

    list.AddAndSave("Tracking cookie user@ads.txt is recognised");
    EXPECT_EQ(ReadFileText(path), "first\r\nsecond\r\nTracking cookie user@ads.txt is recognised\r\n");
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_TRUE(list.Contains("TRACKING COOKIE USER@ADS.TXT IS RECOGNISED"));

    list.AddAllAndSave({"x", "first"});
    EXPECT_EQ(ReadFileText(path), "first\r\nsecond\r\nTracking cookie user@ads.txt is recognised\r\nx\r\nfirst\r\n");
    EXPECT_EQ(TColorList(path).Entries(), list.Entries());

    // The options dialog replaces the file's contents: clear, then add all.
    list.Clear();
    EXPECT_EQ(ReadFileText(path), "first\r\nsecond\r\nTracking cookie user@ads.txt is recognised\r\nx\r\nfirst\r\n");
    list.AddAllAndSave({"only"});
    EXPECT_EQ(ReadFileText(path), "only\r\n");
    list.Clear();
    list.AddAllAndSave({});
    EXPECT_EQ(ReadFileText(path), "");

    // No temporary file is left beside the list.
    EXPECT_EQ(FilesIn(folder.Path()), Lines{"white_list.txt"});
}

TEST(ColorList, AFailedSaveLeavesTheListAsItWas) {
    TempFolder folder;
    const std::string sub = folder / "sub";
    CreateFolders(sub);
    const std::string path = JoinPath(sub, "black_list.txt");
    TColorList list(path);
    list.AddAndSave("kept");

    // The folder goes away: nothing can be written there any more.
    std::filesystem::remove_all(sub);
    EXPECT_THROW(list.AddAndSave("lost"), FileError);
    EXPECT_THROW(list.AddAllAndSave({"lost", "too"}), FileError);
    EXPECT_EQ(list.Entries(), Lines{"kept"});
    EXPECT_FALSE(list.Contains("lost"));
}

}  // namespace
}  // namespace sentrel
