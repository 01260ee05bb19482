// The lookups against real files and folders under Windows: read-only mappings of the two
// checksum windows, the shipped test set of database.db, and the macro folders of this machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/Files.h"
#include "database/Cipher.h"
#include "database/FakeFileAccess.h"
#include "database/FileChecksums.h"
#include "database/Lookups.h"
#include "platform/FileMapping.h"
#include "database/MappedFileAccessWin.h"
#include "platform/ProgramFolder.h"
#include "database/ShellFoldersWin.h"
#include "platform/UniqueHandle.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::MakeBytes;
using test::TempFolder;

std::vector<std::uint8_t> ContentA() { return MakeBytes(4096, [](std::size_t i) { return (7 * i) % 251; }); }
std::vector<std::uint8_t> ContentB() { return MakeBytes(4096, [](std::size_t i) { return (13 * i + 5) % 256; }); }
std::vector<std::uint8_t> ContentC() { return MakeBytes(40000, [](std::size_t i) { return (31 * i + 17) % 253; }); }

std::string WindowsFolder() {
    char path[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("GetWindowsDirectoryA failed");
    return path;
}

std::string SystemFolder() {
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("GetSystemDirectoryA failed");
    return path;
}

platform::UniqueFile Hold(const std::string& path, DWORD access, DWORD share) {
    platform::UniqueFile file(
        CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot open " + path);
    return file;
}

// Files the test puts into real folders of the machine, removed again (with the folders it
// created) however the test ends; leftovers of an earlier run are removed first.
class PlacedFiles {
public:
    PlacedFiles() = default;
    PlacedFiles(const PlacedFiles&) = delete;
    PlacedFiles& operator=(const PlacedFiles&) = delete;
    ~PlacedFiles() {
        for (auto file = files_.rbegin(); file != files_.rend(); ++file) DeleteFileA(file->c_str());
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) RemoveDirectoryA(folder->c_str());
    }
    void Folder(const std::string& path) {
        if (FolderExists(path)) return;
        CreateFolders(path);
        folders_.push_back(path);
    }
    std::string File(const std::string& path, std::span<const std::uint8_t> content) {
        files_.push_back(path);
        WriteFileBytes(path, content, false);
        return path;
    }

private:
    std::vector<std::string> files_;
    std::vector<std::string> folders_;
};

TEST(LookupsWin, MappedWindowsGiveTheKnownChecksums) {
    TempFolder folder;
    struct Figure {
        std::vector<std::uint8_t> Content;
        TFileChecksums Expected;
    };
    const Figure figures[] = {
        {std::vector<std::uint8_t>(1024, 0), {15872, 457984}},
        {std::vector<std::uint8_t>(1024, 255), {24032, 653824}},
        {std::vector<std::uint8_t>(20000, 0), {36096, 91768120}},
        // The middle window starts past the first allocation granule, off its boundary.
        {MakeBytes(131075, [](std::size_t i) { return i * 37 + 11; }), {42000, 1361358466}},
    };
    for (const Figure& figure : figures) {
        SCOPED_TRACE(figure.Content.size());
        const std::string path = folder / "figure.bin";
        WriteFileBytes(path, figure.Content, false);
        EXPECT_EQ(ComputeFileChecksums(SystemFileAccess(), path), figure.Expected);
    }

    // A window maps exactly the bytes asked for, at any offset.
    const auto content = MakeBytes(300001, [](std::size_t i) { return i * 131 + i / 977; });
    const std::string path = folder / "long.bin";
    WriteFileBytes(path, content, false);
    const platform::ReadOnlyFileMapping mapping(path);
    EXPECT_EQ(mapping.Size(), content.size());
    for (const auto& [offset, length] : {std::pair<std::uint64_t, std::size_t>{0, 8192}, {150000, 32764},
                                         {65535, 2}, {300000, 1}, {300001, 0}}) {
        SCOPED_TRACE(offset);
        const platform::MappedView view = mapping.MapWindow(offset, length);
        ASSERT_EQ(view.Bytes().size(), length);
        EXPECT_TRUE(std::equal(view.Bytes().begin(), view.Bytes().end(),
                               content.begin() + static_cast<std::ptrdiff_t>(offset)));
    }
    EXPECT_THROW(mapping.MapWindow(300000, 2), std::out_of_range);
    EXPECT_EQ(ComputeFileChecksums(SystemFileAccess(), path), ComputeChecksums(content));

    // An empty file opens, with nothing to map; a missing one does not.
    WriteFileBytes(folder / "empty.bin", {}, false);
    EXPECT_EQ(platform::ReadOnlyFileMapping(folder / "empty.bin").MapWindow(0, 0).Bytes().size(), 0u);
    EXPECT_THROW(platform::ReadOnlyFileMapping(folder / "missing.bin"), std::runtime_error);
    EXPECT_THROW(SystemFileAccess().OpenForReading(folder / "missing.bin"), FileError);
    EXPECT_EQ(SystemFileAccess().FindFileSize(folder / "missing.bin"), std::nullopt);
    EXPECT_EQ(SystemFileAccess().FindFileSize(folder.Path()), std::nullopt);
    EXPECT_EQ(SystemFileAccess().FindFileSize(path), 300001);
}

TEST(LookupsWin, FilesAreReadSharingReadAndWriteAndNeverOpenedOutsideTheBounds) {
    TempFolder folder;
    const auto& files = SystemFileAccess();
    const std::string path = folder / "shared.bin";
    WriteFileBytes(path, std::vector<std::uint8_t>(1024, 0), false);
    {
        // Another program has the file open for writing: it is still read.
        const auto writer = Hold(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_EQ(ComputeFileChecksums(files, path), (TFileChecksums{15872, 457984}));
    }
    {
        // A file nobody may open gives an error, and no match in a lookup.
        const auto locked = Hold(path, GENERIC_READ, 0);
        EXPECT_THROW(ComputeFileChecksums(files, path), FileError);
    }
    // Out of bounds: refused on its size alone, even while nobody could open it.
    for (const std::size_t size : {std::size_t{1023}, std::size_t{15850125}}) {
        const std::string bounded = folder / ("size" + std::to_string(size) + ".bin");
        WriteFileBytes(bounded, std::vector<std::uint8_t>(size, 0), false);
        const auto locked = Hold(bounded, GENERIC_READ, 0);
        try {
            ComputeFileChecksums(files, bounded);
            ADD_FAILURE() << "no error";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(std::to_string(size) + " bytes long"), std::string::npos)
                << error.what();
        }
    }
}

TEST(LookupsWin, ShippedTestSetIsFoundByChecksumAndByNameOnlyInItsFolder) {
    // The database.db built from data/threats, loaded from a copy (its working files go there).
    TempFolder program;
    const std::string shipped = platform::ProgramFolder() + "database.db";
    ASSERT_TRUE(FileExists(shipped)) << shipped << " is built from data/threats with the native sentrel-db";
    ASSERT_TRUE(CopyFileA(shipped.c_str(), (program / "database.db").c_str(), FALSE));
    const TThreatTables tables(
        std::make_unique<TDataBase>(program / "database.db", true, std::string(kDataBasePassPhrase)));
    const TLookupSystem system{SystemFileAccess(), MacroFolders(), program.Path()};

    TempFolder elsewhere;
    PlacedFiles placed;
    const std::string testFolder = WindowsFolder() + "\\SentrelTest\\";
    placed.Folder(testFolder);
    placed.Folder(testFolder + "sub\\");
    placed.Folder(program / "backuped\\1\\");
    const std::vector<std::uint8_t> harmless = {'n', 'o', ' ', 't', 'h', 'r', 'e', 'a', 't'};
    auto changedA = ContentA();
    changedA[0] ^= 1;  // an offset both checksums read
    auto oddA = ContentA();
    oddA[1] ^= 1;      // odd offsets are not read

    struct Case {
        std::string Path;
        std::vector<std::uint8_t> Content;
        bool Found;
        std::int32_t Ref;
    };
    const std::vector<Case> cases = {
        // By checksum, wherever the file lies and whatever its name.
        {elsewhere / "a.bin", ContentA(), true, 9002},
        {elsewhere / "b.bin", ContentB(), true, 9005},
        {elsewhere / "c.bin", ContentC(), true, 9006},
        {elsewhere / "changed.bin", changedA, false, 0},
        {elsewhere / "odd.bin", oddA, true, 9002},
        // By name, only in the folder of the name's Folders row.
        {elsewhere / "sentrel_test_threat.exe", harmless, false, 0},
        {testFolder + "sentrel_test_threat.exe", harmless, true, 9001},
        {testFolder + "SENTREL_TEST_THREAT.EXE", harmless, true, 9001},
        {testFolder + "sub\\sentrel_test_threat.exe", harmless, false, 0},
        {SystemFolder() + "\\sentrel_test_sysdir.dll", harmless, true, 9001},
        {testFolder + "sentrel_test_sysdir.dll", harmless, false, 0},
        // Inside the backup store: by checksum only.
        {program / "backuped\\1\\a.bin", ContentA(), true, 9002},
        {program / "backuped\\1\\sentrel_test_threat.exe", harmless, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        placed.File(c.Path, c.Content);
        const TLookupResult result = IsKnownSpywareFile(tables, system, c.Path);
        EXPECT_EQ(result.Found, c.Found);
        if (c.Found) {
            EXPECT_EQ(result.SpywareRef, c.Ref);
        }
        DeleteFileA(c.Path.c_str());  // one at a time: the upper-case name is the same file
    }
}

TEST(LookupsWin, MacrosExpandToThisMachinesFolders) {
    const auto expanded = [](std::string path) {
        ExpandPathMacros(path);
        return path;
    };
    const std::string windows = expanded("%16%");
    EXPECT_EQ(windows, WindowsFolder());
    EXPECT_EQ(expanded("%7%"), SystemFolder());
    EXPECT_EQ(expanded("%1l%\\x"), windows + "\\Downloaded Program Files\\x");
    EXPECT_EQ(expanded("%11%\\x"), "\\x");
    EXPECT_EQ(expanded("%0%\\x"), "\\x");
    EXPECT_EQ(expanded("%12%"), expanded("%4%"));
    EXPECT_EQ(expanded("%16%\\%7%"), windows + "\\%7%");

    const std::string temp = expanded("%8%");
    ASSERT_FALSE(temp.empty());
    EXPECT_NE(temp.back(), '\\');
    EXPECT_TRUE(FolderExists(temp)) << temp;

    const std::string appData = expanded("%9%");
    ASSERT_FALSE(appData.empty());
    const std::string parent = expanded("%14%\\x");
    EXPECT_TRUE(parent.ends_with("\\\\x")) << parent;
    EXPECT_TRUE(appData.starts_with(parent.substr(0, parent.size() - 2))) << parent;

    // The folders this Windows has, each without a trailing backslash.
    for (const char* macro : {"%1%", "%2%", "%3%", "%4%", "%5%", "%7%", "%9%", "%10%", "%13%", "%16%"}) {
        const std::string folder = expanded(macro);
        EXPECT_TRUE(FolderExists(folder)) << macro << " -> " << folder;
        EXPECT_FALSE(folder.empty() || folder.back() == '\\') << macro << " -> " << folder;
    }
}

}  // namespace
}  // namespace sentrel
