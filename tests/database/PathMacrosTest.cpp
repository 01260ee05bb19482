// The path macros of Folders rows, over a made-up machine.
#include <gtest/gtest.h>

#include <map>

#include "database/PathMacros.h"

namespace sentrel {
namespace {

class FixedFolders final : public TMacroFolderSource {
public:
    std::map<TSystemFolder, std::string> Folders = {
        {TSystemFolder::Startup, "C:\\Users\\u\\Start Menu\\Programs\\Startup"},
        {TSystemFolder::ProgramFiles, "C:\\Program Files"},
        {TSystemFolder::StartMenu, "C:\\Users\\u\\Start Menu"},
        {TSystemFolder::Programs, "C:\\Users\\u\\Start Menu\\Programs"},
        {TSystemFolder::Desktop, "C:\\Users\\u\\Desktop"},
        {TSystemFolder::Favorites, "C:\\Users\\u\\Favorites"},
        {TSystemFolder::System, "C:\\WINDOWS\\system32"},
        {TSystemFolder::Temp, "C:\\Temp\\"},
        {TSystemFolder::AppData, "C:\\Users\\u\\Application Data"},
        {TSystemFolder::CommonFiles, "C:\\Program Files\\Common Files"},
        {TSystemFolder::Windows, "C:\\WINDOWS"},
        {TSystemFolder::CommonAppData, "C:\\All Users\\Application Data"},
        {TSystemFolder::NetHood, "C:\\Users\\u\\NetHood"},
    };
    std::string Folder(TSystemFolder folder) const override {
        const auto found = Folders.find(folder);
        return found == Folders.end() ? std::string() : found->second;
    }
};

std::string Expanded(std::string path, const TMacroFolderSource& folders) {
    ExpandPathMacros(path, folders);
    return path;
}

TEST(PathMacros, EveryMacroOfTheTable) {
    const FixedFolders folders;
    const std::pair<const char*, const char*> cases[] = {
        {"%0%\\x", "\\x"},
        {"%1%\\x", "C:\\Users\\u\\Start Menu\\Programs\\Startup\\x"},
        {"%2%\\x", "C:\\Program Files\\x"},
        {"%3%\\x", "C:\\Users\\u\\Start Menu\\x"},
        {"%4%\\x", "C:\\Users\\u\\Start Menu\\Programs\\x"},
        {"%5%\\x", "C:\\Users\\u\\Desktop\\x"},
        {"%6%\\x", "C:\\Users\\u\\Favorites\\x"},
        {"%7%\\x", "C:\\WINDOWS\\system32\\x"},
        {"%8%\\x", "C:\\Temp\\x"},  // the temporary folder's own trailing backslash removed
        {"%9%\\x", "C:\\Users\\u\\Application Data\\x"},
        {"%10%\\x", "C:\\Program Files\\Common Files\\x"},
        {"%1l%\\x", "C:\\WINDOWS\\Downloaded Program Files\\x"},  // a lower-case L
        {"%11%\\x", "\\x"},                                       // not a macro: removed
        {"%1L%\\x", "\\x"},                                       // exact letter case
        {"%12%\\x", "C:\\Users\\u\\Start Menu\\Programs\\x"},
        {"%13%\\x", "C:\\All Users\\Application Data\\x"},
        {"%14%\\x", "C:\\Users\\u\\\\x"},  // the parent ends in a backslash: doubled
        {"%15%\\x", "C:\\Users\\u\\NetHood\\x"},
        {"%16%\\x", "C:\\WINDOWS\\x"},
        {"%17%\\x", "\\x"},
        {"%%\\x", "\\x"},
        {"%16%", "C:\\WINDOWS"},
        {"pre%16%post", "preC:\\WINDOWSpost"},
        {"%16%\\%7%\\x", "C:\\WINDOWS\\%7%\\x"},  // only the first macro is expanded
        {"%2%\\a%b", "C:\\Program Files\\a%b"},
        {"no macro\\", "no macro\\"},
        {"one % sign", "one % sign"},
        {"", ""},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(Expanded(path, folders), expected) << path;
}

TEST(PathMacros, FoldersTheSystemCannotGiveAreEmpty) {
    FixedFolders folders;
    folders.Folders.clear();
    EXPECT_EQ(Expanded("%9%\\x", folders), "\\x");
    EXPECT_EQ(Expanded("%8%\\x", folders), "\\x");
    EXPECT_EQ(Expanded("%14%\\x", folders), "\\x");
    // A temporary folder without a trailing backslash keeps its last character.
    folders.Folders[TSystemFolder::Temp] = "C:\\Temp";
    EXPECT_EQ(Expanded("%8%\\x", folders), "C:\\Temp\\x");
}

TEST(PathMacros, ExtractCutsTheFirstMacroOut) {
    std::string path = "ab%7%cd%16%";
    auto macro = ExtractPathMacro(path);
    ASSERT_TRUE(macro);
    EXPECT_EQ(macro->Text, "%7%");
    EXPECT_EQ(macro->Position, 2u);
    EXPECT_EQ(path, "abcd%16%");

    path = "%%";
    macro = ExtractPathMacro(path);
    ASSERT_TRUE(macro);
    EXPECT_EQ(macro->Text, "%%");
    EXPECT_EQ(macro->Position, 0u);
    EXPECT_EQ(path, "");

    for (const char* unchanged : {"", "C:\\x", "50% off"}) {
        path = unchanged;
        EXPECT_FALSE(ExtractPathMacro(path)) << unchanged;
        EXPECT_EQ(path, unchanged);
    }
}

}  // namespace
}  // namespace sentrel
