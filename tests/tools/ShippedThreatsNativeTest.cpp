// Checks the shipped threat tables (data/threats) for what the program's lookups rely on, and
// the harmless test set that other tests use (documented in data/threats/README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>

#include "common/Files.h"
#include "database/HostLists.h"
#include "sentrel-db/TableCsv.h"

namespace sentrel {
namespace {

std::unique_ptr<TTable> LoadShipped(const std::string& name) {
    std::vector<std::string> warnings;
    auto table = dbtool::TableFromCsv(name, ReadFileText(JoinPath(SENTREL_THREATS_FOLDER, name + ".csv")), warnings);
    EXPECT_TRUE(warnings.empty()) << name;
    return table;
}

std::vector<std::string> ColumnNames(const TTable& table) {
    std::vector<std::string> names;
    for (int c = 0; c < table.ColumnCount(); ++c) names.push_back(table.GetColumn(c)->Name());
    return names;
}

std::string Cell(const TTable& table, int row, const char* column) {
    std::string text;
    EXPECT_TRUE(table.GetString(row, column, text)) << column;
    return text;
}

std::int32_t IntCell(const TTable& table, int row, const char* column) {
    std::int32_t value = 0;
    EXPECT_TRUE(table.GetInt(row, column, value)) << table.Name() << " row " << row << " " << column;
    return value;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The two checksums of a file's content, computed as the program does: the first-level sum over
// the even offsets below 1536 that are multiples of 32, the second-level sum over the even
// offsets of the first 8192 bytes and up to 32764 bytes from the middle (both stop at
// length - 2), each adding byte + offset modulo 2^32.
std::pair<std::int32_t, std::int32_t> ContentChecksums(const std::vector<std::uint8_t>& b) {
    const std::uint32_t length = static_cast<std::uint32_t>(b.size());
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    for (std::uint32_t i = 0;; i += 2) {
        if (i >= 8192) break;
        second += b[i] + i;
        if (i >= length - 2) break;
        if (i < 1536 && i % 32 == 0) first += b[i] + i;
    }
    for (std::uint32_t i = length / 2; i < length / 2 + 32764; i += 2) {
        second += b[i] + i;
        if (i >= length - 2) break;
    }
    return {static_cast<std::int32_t>(first), static_cast<std::int32_t>(second)};
}

std::vector<std::uint8_t> Content(std::size_t length, unsigned factor, unsigned offset, unsigned modulus) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>((i * factor + offset) % modulus);
    return bytes;
}

TEST(ShippedThreats, TablesHaveTheColumnsTheProgramReads) {
    const std::map<std::string, std::vector<std::string>> expected{
        {"PrimaryFiles", {"FILE_NAME", "SPYWARE_REF", "PATH_REF", "CODE"}},
        {"Checksums", {"FILE_SIZE", "FIRST_LEVEL_CHECKSUM", "SECOND_LEVEL_CHECKSUM", "SPYWARE_REF"}},
        {"Folders", {"FILE_PATH", "CAN_BE_DELETED", "SPYWARE_REF"}},
        {"RegEntries", {"REG_PATH", "SPYWARE_REF"}},
        {"Cookies", {"FILES_MASK"}},
        {std::string(kTrackerDomainsTable), {std::string(kDomainColumn)}},
        {std::string(kMaliciousHostsTable), {std::string(kHostColumn)}},
        {std::string(kPublicSuffixesTable), {std::string(kSuffixColumn)}},
    };
    for (const auto& [name, columns] : expected) {
        const auto table = LoadShipped(name);
        EXPECT_EQ(ColumnNames(*table), columns) << name;
        EXPECT_GT(table->RowCount(), 0) << name;
    }
}

TEST(ShippedThreats, RowsAreWellFormedForTheLookups) {
    const auto files = LoadShipped("PrimaryFiles");
    const auto folders = LoadShipped("Folders");
    std::set<std::string> names;
    for (int row = 0; row < files->RowCount(); ++row) {
        const std::string name = Cell(*files, row, "FILE_NAME");
        EXPECT_EQ(FileNamePart(name), name) << "a bare file name: " << name;
        // Only the first row of a name is ever tested against its folder.
        EXPECT_TRUE(names.insert(Lower(name)).second) << "file name listed twice: " << name;
        const std::int32_t pathRef = IntCell(*files, row, "PATH_REF");
        ASSERT_TRUE(pathRef >= 0 && pathRef < folders->RowCount()) << name;
        EXPECT_EQ(IntCell(*files, row, "SPYWARE_REF"), IntCell(*folders, pathRef, "SPYWARE_REF")) << name;
        EXPECT_FALSE(Cell(*files, row, "CODE").empty()) << name;
    }

    const std::set<std::string> macros{"%0%", "%1%", "%2%",  "%3%",  "%4%",  "%5%",  "%6%",  "%7%", "%8%",
                                       "%9%", "%10%", "%1l%", "%12%", "%13%", "%14%", "%15%", "%16%"};
    for (int row = 0; row < folders->RowCount(); ++row) {
        const std::string path = Cell(*folders, row, "FILE_PATH");
        // One macro at the start, then a folder that ends in a backslash or a trailing '*'.
        const std::size_t close = path.find('%', 1);
        ASSERT_TRUE(path.starts_with("%") && close != std::string::npos) << path;
        EXPECT_TRUE(macros.contains(path.substr(0, close + 1))) << path;
        EXPECT_EQ(path.find('%', close + 1), std::string::npos) << path;
        EXPECT_TRUE(path.ends_with("\\") || path.ends_with("*")) << path;
        const std::int32_t deletable = IntCell(*folders, row, "CAN_BE_DELETED");
        EXPECT_TRUE(deletable == 0 || deletable == 1) << path;
        IntCell(*folders, row, "SPYWARE_REF");
        // A folder the scanner may delete is a threat's own folder, never a bare system folder.
        if (deletable == 1) {
            EXPECT_EQ(path.find_first_of("*?"), std::string::npos) << path;
            EXPECT_GT(path.size(), close + 3) << path;
        }
    }

    const auto entries = LoadShipped("RegEntries");
    for (int row = 0; row < entries->RowCount(); ++row) {
        const std::string path = Cell(*entries, row, "REG_PATH");
        EXPECT_TRUE(path.starts_with("HKEY_LOCAL_MACHINE\\") || path.starts_with("HKEY_CURRENT_USER\\")) << path;
        EXPECT_GE(std::count(path.begin(), path.end(), '\\'), 2) << path;
        EXPECT_FALSE(path.ends_with("\\")) << path;
        IntCell(*entries, row, "SPYWARE_REF");
    }

    const auto cookies = LoadShipped("Cookies");
    for (int row = 0; row < cookies->RowCount(); ++row) {
        const std::string mask = Cell(*cookies, row, "FILES_MASK");
        // A '*' followed by '*' or '?' makes the matcher raise "Invalid mask" on every tick.
        for (std::size_t i = 0; i + 1 < mask.size(); ++i)
            EXPECT_FALSE(mask[i] == '*' && (mask[i + 1] == '*' || mask[i + 1] == '?')) << mask;
        EXPECT_TRUE(mask.starts_with("*@")) << mask;
    }
}

// The lists of the public feeds, as sentrel-db import writes them: the lookups need no row
// numbers for a column in byte order, and compare lower-case names.
TEST(ShippedThreats, HostListsAreSortedUniqueAndLowerCase) {
    for (const std::string_view name : {kTrackerDomainsTable, kMaliciousHostsTable, kPublicSuffixesTable}) {
        const auto table = LoadShipped(std::string(name));
        ASSERT_EQ(table->ColumnCount(), 1) << name;
        const std::vector<std::string_view>& cells = table->GetColumn(0)->Values();
        EXPECT_GT(cells.size(), 1000u) << name;
        // The first row out of order or repeated, the first empty one, the first with upper case.
        const auto disorder = std::adjacent_find(cells.begin(), cells.end(), std::greater_equal<>());
        EXPECT_EQ(disorder, cells.end()) << name << ": " << *disorder << " before " << *(disorder + 1);
        const auto empty = std::find(cells.begin(), cells.end(), std::string_view());
        EXPECT_EQ(empty, cells.end()) << name << " row " << (empty - cells.begin());
        const auto upper = std::find_if(cells.begin(), cells.end(), [](std::string_view cell) {
            return Lower(std::string(cell)) != cell;
        });
        EXPECT_EQ(upper, cells.end()) << name << ": " << *upper;
    }
}

TEST(ShippedThreats, TheTestSetIsWhereTheReadmeSaysItIs) {
    const auto files = LoadShipped("PrimaryFiles");
    const auto folders = LoadShipped("Folders");
    EXPECT_EQ(Cell(*files, 0, "FILE_NAME"), "sentrel_test_threat.exe");
    EXPECT_EQ(IntCell(*files, 0, "SPYWARE_REF"), 9001);
    EXPECT_EQ(Cell(*folders, IntCell(*files, 0, "PATH_REF"), "FILE_PATH"), "%16%\\SentrelTest\\");
    EXPECT_EQ(Cell(*files, 1, "FILE_NAME"), "sentrel_test_sysdir.dll");
    EXPECT_EQ(Cell(*folders, IntCell(*files, 1, "PATH_REF"), "FILE_PATH"), "%7%\\");
    EXPECT_EQ(Cell(*folders, 2, "FILE_PATH"), "%9%\\SentrelTestFolder\\");
    EXPECT_EQ(IntCell(*folders, 2, "CAN_BE_DELETED"), 1);
    EXPECT_EQ(IntCell(*folders, 2, "SPYWARE_REF"), 9003);

    const auto entries = LoadShipped("RegEntries");
    EXPECT_EQ(Cell(*entries, 0, "REG_PATH"), "HKEY_CURRENT_USER\\Software\\SentrelTest\\ThreatKey");
    EXPECT_EQ(Cell(*entries, 1, "REG_PATH"), "HKEY_CURRENT_USER\\Software\\SentrelTest\\ThreatValue");
    EXPECT_EQ(IntCell(*entries, 1, "SPYWARE_REF"), 9004);
    EXPECT_EQ(Cell(*LoadShipped("Cookies"), 0, "FILES_MASK"), "*@sentrel-test-tracker*");

    // Test families (9000 and up) use only test names.
    for (int row = 0; row < files->RowCount(); ++row) {
        if (IntCell(*files, row, "SPYWARE_REF") >= 9000) {
            EXPECT_TRUE(Cell(*files, row, "FILE_NAME").starts_with("sentrel_test_")) << row;
        }
    }
}

TEST(ShippedThreats, ChecksumRowsMatchTheDocumentedTestContents) {
    // The summing order is checked on known values first.
    EXPECT_EQ(ContentChecksums(std::vector<std::uint8_t>(1024, 0)), std::make_pair(15872, 457984));
    EXPECT_EQ(ContentChecksums(std::vector<std::uint8_t>(1024, 255)), std::make_pair(24032, 653824));
    EXPECT_EQ(ContentChecksums(std::vector<std::uint8_t>(20000, 0)), std::make_pair(36096, 91768120));

    const std::vector<std::uint8_t> contents[] = {Content(4096, 7, 0, 251), Content(4096, 13, 5, 256),
                                                  Content(40000, 31, 17, 253)};
    const std::int32_t refs[] = {9002, 9005, 9006};
    const auto checksums = LoadShipped("Checksums");
    ASSERT_EQ(checksums->RowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const auto [first, second] = ContentChecksums(contents[row]);
        EXPECT_EQ(Cell(*checksums, row, "FILE_SIZE"), std::to_string(contents[row].size()));
        EXPECT_EQ(IntCell(*checksums, row, "FIRST_LEVEL_CHECKSUM"), first);
        EXPECT_EQ(Cell(*checksums, row, "SECOND_LEVEL_CHECKSUM"), std::to_string(second));
        EXPECT_EQ(IntCell(*checksums, row, "SPYWARE_REF"), refs[row]);
    }
}

}  // namespace
}  // namespace sentrel
