// sentrel-db checksum and mask: the values the lookups compute, for the maker's signatures and
// masks.
#include <gtest/gtest.h>

#include <sstream>

#include "common/Files.h"
#include "sentrel-db/Commands.h"
#include "sentrel-db/Csv.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

struct ToolRun {
    int ExitCode;
    std::string Out;
    std::string Err;
};

ToolRun RunTool(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = dbtool::RunSentrelDb(arguments, out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::uint8_t> Pattern(std::size_t length, unsigned multiplier, unsigned offset, unsigned modulus) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>((multiplier * i + offset) % modulus);
    return bytes;
}

TEST(SentrelDbLookupCommands, ChecksumPrintsTheValuesOfAChecksumsRow) {
    test::TempFolder folder;
    WriteFileBytes(folder / "zeros1024", std::vector<std::uint8_t>(1024, 0), false);
    WriteFileBytes(folder / "ones1024", std::vector<std::uint8_t>(1024, 255), false);
    WriteFileBytes(folder / "zeros20000", std::vector<std::uint8_t>(20000, 0), false);
    WriteFileBytes(folder / "small", std::vector<std::uint8_t>(1023, 0), false);

    ToolRun run = RunTool({"checksum", folder / "zeros1024", folder / "ones1024", folder / "zeros20000"});
    EXPECT_EQ(run.ExitCode, dbtool::kExitSuccess) << run.Err;
    EXPECT_EQ(run.Out, folder / "zeros1024" + "\t1024\t15872\t457984\n" + folder / "ones1024" +
                           "\t1024\t24032\t653824\n" + folder / "zeros20000" + "\t20000\t36096\t91768120\n");
    EXPECT_EQ(run.Err, "");

    // A file without checksums is reported, the others still printed, and the exit says so.
    run = RunTool({"checksum", folder / "small", folder / "zeros1024", folder / "missing"});
    EXPECT_EQ(run.ExitCode, dbtool::kExitFailure);
    EXPECT_EQ(run.Out, folder / "zeros1024" + "\t1024\t15872\t457984\n");
    std::istringstream errors(run.Err);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(errors, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << run.Err;
    EXPECT_NE(lines[0].find("1023 bytes long; only files of 1024 to 15850124 bytes"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("missing"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "sentrel-db: 2 of 3 files have no checksums");

    run = RunTool({"checksum"});
    EXPECT_EQ(run.ExitCode, dbtool::kExitUsage);
    EXPECT_NE(run.Err.find("checksum takes FILE..."), std::string::npos) << run.Err;
}

// The shipped test rows are what the tool prints for the documented contents.
TEST(SentrelDbLookupCommands, ChecksumReproducesTheShippedTestRows) {
    test::TempFolder folder;
    WriteFileBytes(folder / "A", Pattern(4096, 7, 0, 251), false);
    WriteFileBytes(folder / "B", Pattern(4096, 13, 5, 256), false);
    WriteFileBytes(folder / "C", Pattern(40000, 31, 17, 253), false);
    const ToolRun run = RunTool({"checksum", folder / "A", folder / "B", folder / "C"});
    ASSERT_EQ(run.ExitCode, dbtool::kExitSuccess) << run.Err;

    std::string printed;
    std::istringstream lines(run.Out);
    for (std::string line; std::getline(lines, line);) {
        line = line.substr(line.find('\t') + 1);
        for (char& c : line)
            if (c == '\t') c = ',';
        printed += line + "\n";
    }
    const auto records = dbtool::ParseCsv(ReadFileText(JoinPath(SENTREL_THREATS_FOLDER, "Checksums.csv")));
    std::string shipped;
    for (std::size_t i = 1; i < records.size() && i <= 3; ++i) {
        const auto& fields = records[i].Fields;
        shipped += fields[0] + "," + fields[1] + "," + fields[2] + "\n";
    }
    EXPECT_EQ(printed, shipped);
}

TEST(SentrelDbLookupCommands, MaskPrintsMatchOrNoMatchPerName) {
    ToolRun run = RunTool({"mask", "a*c", "abc", "ac", "ABC", "abd"});
    EXPECT_EQ(run.ExitCode, dbtool::kExitSuccess) << run.Err;
    EXPECT_EQ(run.Out, "abc\tmatch\nac\tmatch\nABC\tmatch\nabd\tno match\n");

    run = RunTool({"mask", "a?c", "ac", "abc"});
    EXPECT_EQ(run.Out, "ac\tno match\nabc\tmatch\n");
    run = RunTool({"mask", "abc*", "abc", "abcd"});
    EXPECT_EQ(run.Out, "abc\tno match\nabcd\tmatch\n");
    run = RunTool({"mask", "*bd", "abcbd", "abd"});
    EXPECT_EQ(run.Out, "abcbd\tno match\nabd\tmatch\n");
    run = RunTool({"mask", "*@*.doubleclick*", "user@ad.doubleclick[1].txt", "user@doubleclick[1].txt"});
    EXPECT_EQ(run.Out, "user@ad.doubleclick[1].txt\tmatch\nuser@doubleclick[1].txt\tno match\n");

    // A malformed mask is refused before any name, even names the walk would not reach it with.
    for (const auto& arguments : {std::vector<std::string>{"mask", "*?x", "abx"},
                                  std::vector<std::string>{"mask", "a*?x", "zzz"},
                                  std::vector<std::string>{"mask", "x**", "x"}}) {
        run = RunTool(arguments);
        EXPECT_EQ(run.ExitCode, dbtool::kExitFailure) << arguments[1];
        EXPECT_EQ(run.Err, "sentrel-db: Invalid mask\n") << arguments[1];
        EXPECT_EQ(run.Out, "") << arguments[1];
    }

    run = RunTool({"mask", "a*c"});
    EXPECT_EQ(run.ExitCode, dbtool::kExitUsage);
    EXPECT_NE(run.Err.find("mask takes MASK NAME..."), std::string::npos) << run.Err;
    // Fixed-count commands still take exactly their count.
    EXPECT_EQ(RunTool({"info", "a.db", "b.db"}).ExitCode, dbtool::kExitUsage);
}

}  // namespace
}  // namespace sentrel
