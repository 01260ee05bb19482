// The file checksums: the published figures, the shipped test set, the two windows, the size
// bounds, and real files read through the portable file access.
#include <gtest/gtest.h>

#include "common/Files.h"
#include "database/FileChecksums.h"
#include "database/FakeFileAccess.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::FakeFileAccess;
using test::MakeBytes;

struct Figure {
    const char* Name;
    std::vector<std::uint8_t> Content;
    TFileChecksums Expected;
};

// Figures worked out independently of this code (by hand and with the maker's reference script).
std::vector<Figure> KnownFigures() {
    const auto pattern = [](std::size_t length) {
        return MakeBytes(length, [](std::size_t i) { return i * 37 + 11; });
    };
    return {
        {"1024 zero bytes", std::vector<std::uint8_t>(1024, 0), {15872, 457984}},
        {"1024 bytes of 255", std::vector<std::uint8_t>(1024, 255), {24032, 653824}},
        {"20000 zero bytes", std::vector<std::uint8_t>(20000, 0), {36096, 91768120}},
        {"test content A", MakeBytes(4096, [](std::size_t i) { return (7 * i) % 251; }), {42035, 7720090}},
        {"test content B", MakeBytes(4096, [](std::size_t i) { return (13 * i + 5) % 256; }), {41712, 7730176}},
        {"test content C", MakeBytes(40000, [](std::size_t i) { return (31 * i + 17) % 253; }), {42435, 318538819}},
        // Around the edges of the passes: an odd length, the first-level sum cut short (1506,
        // 1507), the head just filled (8192, 8193), windows that meet (16384), a long file.
        {"1025 pattern bytes", pattern(1025), {19808, 558358}},
        {"1506 pattern bytes", pattern(1506), {40389, 1136148}},
        {"1507 pattern bytes", pattern(1507), {42000, 1137835}},
        {"8192 pattern bytes", pattern(8192), {42000, 30140416}},
        {"8193 pattern bytes", pattern(8193), {42000, 30148619}},
        {"16384 pattern bytes", pattern(16384), {42000, 68149248}},
        {"131075 pattern bytes", pattern(131075), {42000, 1361358466}},
        // The sums wrap modulo 2^32 and are read as signed values.
        {"14000000 zero bytes", std::vector<std::uint8_t>(14000000, 0), {36096, -1004990330}},
        {"15850124 bytes of 255", std::vector<std::uint8_t>(15850124, 255), {48336, 1269695356}},
    };
}

TEST(FileChecksums, KnownFiguresHoldThroughTheTwoWindows) {
    for (const Figure& figure : KnownFigures()) {
        SCOPED_TRACE(figure.Name);
        EXPECT_EQ(ComputeChecksums(figure.Content), figure.Expected);

        FakeFileAccess files;
        files.Add("C:\\f.bin", figure.Content);
        EXPECT_EQ(ComputeFileChecksums(files, "C:\\f.bin"), figure.Expected);
        // Opened once; only the head and the middle window are read.
        const std::uint64_t length = figure.Content.size();
        const std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(length, 8192));
        const std::size_t middle = static_cast<std::size_t>(std::min<std::uint64_t>(length - length / 2, 32764));
        EXPECT_EQ(files.Opened.size(), 1u);
        EXPECT_EQ(files.Windows,
                  (std::vector<FakeFileAccess::Window>{{0, head}, {length / 2, middle}}));
    }
}

TEST(FileChecksums, WindowsAreTheHeadAndUpTo32764BytesFromTheMiddle) {
    struct Case {
        std::uint64_t Length;
        std::size_t Head;
        std::uint64_t MiddleOffset;
        std::size_t MiddleLength;
    };
    for (const Case& c : {Case{1024, 1024, 512, 512}, Case{1025, 1025, 512, 513}, Case{20000, 8192, 10000, 10000},
                          Case{65529, 8192, 32764, 32764}, Case{65530, 8192, 32765, 32764},
                          Case{15850124, 8192, 7925062, 32764}, Case{0, 0, 0, 0}}) {
        SCOPED_TRACE(c.Length);
        const TChecksumWindows windows = ChecksumWindowsOf(c.Length);
        EXPECT_EQ(windows.HeadLength, c.Head);
        EXPECT_EQ(windows.MiddleOffset, c.MiddleOffset);
        EXPECT_EQ(windows.MiddleLength, c.MiddleLength);
    }
    // Windows shorter than the length needs are refused, not read past.
    const std::vector<std::uint8_t> bytes(1024);
    EXPECT_THROW(ComputeChecksums(2048, bytes, bytes), FileError);
    // A file of no bytes (never looked up) has nothing to sum.
    EXPECT_EQ(ComputeChecksums(std::span<const std::uint8_t>()), (TFileChecksums{0, 0}));
}

TEST(FileChecksums, FilesOutsideTheSizeBoundsAreNeverOpened) {
    FakeFileAccess files;
    files.AddUnreadable("C:\\1023", 1023);
    files.AddUnreadable("C:\\15850125", 15850125);
    files.AddUnreadable("C:\\empty", 0);
    for (const char* path : {"C:\\1023", "C:\\15850125", "C:\\empty"}) {
        SCOPED_TRACE(path);
        try {
            ComputeFileChecksums(files, path);
            ADD_FAILURE() << "no error";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find("only files of 1024 to 15850124 bytes"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_THROW(ComputeFileChecksums(files, "C:\\missing"), FileError);
    EXPECT_TRUE(files.Opened.empty());

    // The bounds themselves are in.
    EXPECT_FALSE(IsChecksumFileSize(1023));
    EXPECT_TRUE(IsChecksumFileSize(1024));
    EXPECT_TRUE(IsChecksumFileSize(15850124));
    EXPECT_FALSE(IsChecksumFileSize(15850125));
    files.AddUnreadable("C:\\1024", 1024);
    EXPECT_THROW(ComputeFileChecksums(files, "C:\\1024"), FileError);
    EXPECT_EQ(files.Opened, std::vector<std::string>{"C:\\1024"});
}

TEST(FileChecksums, RealFilesThroughPlainReads) {
    test::TempFolder folder;
    const TPlainFileAccess files;
    for (const Figure& figure : KnownFigures()) {
        if (figure.Content.size() > 200000) continue;  // the long ones are covered above
        SCOPED_TRACE(figure.Name);
        const std::string path = folder / "file.bin";
        WriteFileBytes(path, figure.Content, false);
        EXPECT_EQ(files.FindFileSize(path), static_cast<std::int64_t>(figure.Content.size()));
        EXPECT_EQ(ComputeFileChecksums(files, path), figure.Expected);
    }
    EXPECT_EQ(files.FindFileSize(folder / "missing.bin"), std::nullopt);
    EXPECT_EQ(files.FindFileSize(folder.Path()), std::nullopt);  // a folder is not a file
    EXPECT_THROW(ComputeFileChecksums(files, folder / "missing.bin"), FileError);
    EXPECT_THROW(files.OpenForReading(folder / "missing.bin"), FileError);
    // A window past the end is refused.
    WriteFileBytes(folder / "short.bin", std::vector<std::uint8_t>(10), false);
    const auto opened = files.OpenForReading(folder / "short.bin");
    EXPECT_EQ(opened->Size(), 10u);
    EXPECT_EQ(opened->MapWindow(4, 6)->Bytes().size(), 6u);
    EXPECT_THROW(opened->MapWindow(4, 7), FileError);
}

}  // namespace
}  // namespace sentrel
