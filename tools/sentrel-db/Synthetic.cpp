#include "Synthetic.h"

#include <array>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::dbtool {

namespace {

constexpr std::array<std::string_view, 16> kSyllables = {"ad", "bar", "click", "core", "data", "dl", "host", "lib",
                                                         "load", "mon", "net", "search", "srv", "tool", "up", "win"};
constexpr std::array<std::string_view, 6> kExtensions = {".exe", ".dll", ".ocx", ".sys", ".scr", ".bho"};
constexpr std::array<std::string_view, 5> kFolders = {"%WINDIR%\\", "%SYSDIR%\\", "%PROGRAMFILES%\\",
                                                      "%APPDATA%\\", "%COMMONAPPDATA%\\"};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : random_(seed) {}

    int Number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string Word() {
        std::string word;
        const int parts = Number(2, 4);
        for (int i = 0; i < parts; ++i) word += kSyllables[static_cast<std::size_t>(Number(0, 15))];
        if (Number(0, 2) == 0) word += std::to_string(Number(1, 99));
        return word;
    }

    std::string FileName() { return Word() + std::string(kExtensions[static_cast<std::size_t>(Number(0, 5))]); }
    std::string Folder() { return std::string(kFolders[static_cast<std::size_t>(Number(0, 4))]) + Word() + "\\"; }

private:
    std::mt19937 random_;
};

std::unique_ptr<TTable> MakeTable(std::string name, std::initializer_list<const char*> columns) {
    auto table = std::make_unique<TTable>(std::move(name));
    for (const char* column : columns) table->AddColumn(std::make_unique<TColumn>(column));
    return table;
}

void Set(TTable& table, int column, std::string text) {
    table.GetColumn(column)->SetString(table.RowCount() - 1, std::move(text));
}

}  // namespace

std::vector<std::unique_ptr<TTable>> MakeSyntheticTables(int rows, std::uint32_t seed) {
    Generator generate(seed);
    std::vector<std::unique_ptr<TTable>> tables;
    // Shares of the rows, roughly as a real database holds them.
    const int checksums = rows * 40 / 100;
    const int primaryFiles = rows * 30 / 100;
    const int folders = rows * 10 / 100;
    const int registry = rows * 15 / 100;
    const int cookies = rows - checksums - primaryFiles - folders - registry;

    auto checksumTable = MakeTable("Checksums", {"FILE_SIZE", "FIRST_LEVEL_CHECKSUM", "SECOND_LEVEL_CHECKSUM",
                                                 "SPYWARE_REF", "DESCRIPTION"});
    for (int i = 0; i < checksums; ++i) {
        checksumTable->AddRow();
        Set(*checksumTable, 0, std::to_string(generate.Number(1024, 15850124)));
        Set(*checksumTable, 1, std::to_string(generate.Number(1000, 900000)));
        Set(*checksumTable, 2, std::to_string(generate.Number(-2000000000, 2000000000)));
        Set(*checksumTable, 3, std::to_string(generate.Number(1, 20000)));
        Set(*checksumTable, 4, generate.FileName() + " variant " + std::to_string(generate.Number(1, 40)) +
                                   " of the " + generate.Word() + " family, dropped by " + generate.Word());
    }
    tables.push_back(std::move(checksumTable));

    auto fileTable = MakeTable("PrimaryFiles", {"FILE_NAME", "SPYWARE_REF", "PATH_REF", "CODE", "DESCRIPTION"});
    for (int i = 0; i < primaryFiles; ++i) {
        fileTable->AddRow();
        Set(*fileTable, 0, generate.FileName());
        Set(*fileTable, 1, std::to_string(generate.Number(1, 20000)));
        Set(*fileTable, 2, std::to_string(generate.Number(0, folders > 0 ? folders - 1 : 0)));
        Set(*fileTable, 3, std::to_string(i));
        Set(*fileTable, 4, "Component of " + generate.Word() + " installed by " + generate.Word() + " bundles");
    }
    tables.push_back(std::move(fileTable));

    auto folderTable = MakeTable("Folders", {"FILE_PATH", "CAN_BE_DELETED", "SPYWARE_REF"});
    for (int i = 0; i < folders; ++i) {
        folderTable->AddRow();
        Set(*folderTable, 0, generate.Folder() + generate.Word() + "\\");
        Set(*folderTable, 1, std::to_string(generate.Number(0, 1)));
        Set(*folderTable, 2, std::to_string(generate.Number(1, 20000)));
    }
    tables.push_back(std::move(folderTable));

    auto registryTable = MakeTable("RegEntries", {"REG_PATH", "SPYWARE_REF"});
    for (int i = 0; i < registry; ++i) {
        registryTable->AddRow();
        const char* root = generate.Number(0, 1) ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
        Set(*registryTable, 0, std::string(root) + "\\SOFTWARE\\" + generate.Word() + "\\" + generate.Word() + "\\" +
                                   generate.Word());
        Set(*registryTable, 1, std::to_string(generate.Number(1, 20000)));
    }
    tables.push_back(std::move(registryTable));

    auto cookieTable = MakeTable("Cookies", {"FILES_MASK"});
    for (int i = 0; i < cookies; ++i) {
        cookieTable->AddRow();
        Set(*cookieTable, 0, "*@*" + generate.Word() + "*");
    }
    tables.push_back(std::move(cookieTable));
    return tables;
}

}  // namespace sentrel::dbtool
