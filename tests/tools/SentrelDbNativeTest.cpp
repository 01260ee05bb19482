// Runs the built sentrel-db program as the maker would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "common/Files.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "support/TempFolder.h"
#include "support/ToolRunner.h"

namespace sentrel {
namespace {

namespace fs = std::filesystem;

using test::RunResult;
using test::RunTool;

// The names in a folder (files and folders), sorted.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every table of a database file: name -> column name -> values, plus "#rows" per table.
using TableDump = std::map<std::string, std::vector<std::pair<std::string, std::vector<std::string>>>>;
TableDump LoadTables(const std::string& path, std::map<std::string, int>* rowCounts = nullptr) {
    TDataBase dataBase(path, true, std::string(kDataBasePassPhrase));
    TableDump tables;
    for (int i = 0; i < dataBase.TableCount(); ++i) {
        const TTable& table = *dataBase.GetTableByIndex(i);
        auto& columns = tables[table.Name()];
        for (int c = 0; c < table.ColumnCount(); ++c)
            columns.emplace_back(table.GetColumn(c)->Name(),
                                 std::vector<std::string>(table.GetColumn(c)->Values().begin(),
                                                          table.GetColumn(c)->Values().end()));
        if (rowCounts != nullptr) (*rowCounts)[table.Name()] = table.RowCount();
    }
    return tables;
}

void ExpectOneLineError(const RunResult& result, int exitCode, const std::string& mentions) {
    EXPECT_EQ(result.ExitCode, exitCode) << result.Err;
    EXPECT_TRUE(result.Err.starts_with("sentrel-db: ")) << result.Err;
    EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 1) << result.Err;
    EXPECT_NE(result.Err.find(mentions), std::string::npos) << result.Err;
    EXPECT_EQ(result.Out, "");
}

TEST(SentrelDbTool, BuildDumpAndBuildAgainGiveTheSameTables) {
    test::TempFolder folder;
    const std::string source = folder / "source";
    CreateFolders(source);
    test::WriteTextFile(JoinPath(source, "PrimaryFiles.csv"),
                        "FILE_NAME,SPYWARE_REF,PATH_REF,CODE\r\n"
                        "\"quoted, with comma\",1,0,\"say \"\"hi\"\"\"\r\n"
                        "\"two\r\nlines\",,,\r\n"
                        "café.exe,-5,2,x");
    test::WriteTextFile(JoinPath(source, "Cookies.csv"), "FILES_MASK\n*@doubleclick*\n\"\"\n");
    test::WriteTextFile(JoinPath(source, "Empty.csv"), "A,B\n");
    test::WriteTextFile(JoinPath(source, "notes.txt"), "not a table");

    const std::string first = folder / "first.db";
    RunResult built = RunTool({"build", source, first});
    ASSERT_EQ(built.ExitCode, 0) << built.Err;
    EXPECT_EQ(built.Err, "");

    // The tables are the CSV cells, byte for byte.
    std::map<std::string, int> rowCounts;
    const TableDump tables = LoadTables(first, &rowCounts);
    ASSERT_EQ(tables.size(), 3u);
    const auto& primary = tables.at("PrimaryFiles");
    ASSERT_EQ(primary.size(), 4u);
    EXPECT_EQ(primary[0].first, "FILE_NAME");
    EXPECT_EQ(primary[0].second, (std::vector<std::string>{"quoted, with comma", "two\r\nlines", "café.exe"}));
    EXPECT_EQ(primary[3].second, (std::vector<std::string>{"say \"hi\"", "", "x"}));
    EXPECT_EQ(tables.at("Cookies")[0].second, (std::vector<std::string>{"*@doubleclick*", ""}));
    EXPECT_EQ(rowCounts, (std::map<std::string, int>{{"Cookies", 2}, {"Empty", 0}, {"PrimaryFiles", 3}}));

    const std::string dumped = folder / "dumped";
    const RunResult dump = RunTool({"dump", first, dumped});
    ASSERT_EQ(dump.ExitCode, 0) << dump.Err;
    EXPECT_EQ(dump.Err, "");
    EXPECT_EQ(Entries(dumped), (std::vector<std::string>{"Cookies.csv", "Empty.csv", "PrimaryFiles.csv"}));

    const std::string second = folder / "second.db";
    ASSERT_EQ(RunTool({"build", dumped, second}).ExitCode, 0);
    EXPECT_EQ(LoadTables(second), tables);
    EXPECT_EQ(ReadFileBytes(second), ReadFileBytes(first));  // saving is deterministic

    // Dumping over an existing folder replaces each table and names the strays.
    test::WriteTextFile(JoinPath(dumped, "Stale.csv"), "X\n");
    test::WriteTextFile(JoinPath(dumped, "Cookies.csv"), "changed\n");
    const RunResult again = RunTool({"dump", second, dumped});
    ASSERT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_NE(again.Err.find("Stale.csv"), std::string::npos) << again.Err;
    EXPECT_EQ(ReadFileText(JoinPath(dumped, "Cookies.csv")), "FILES_MASK\n*@doubleclick*\n\"\"\n");
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"dumped", "first.db", "second.db", "source"}));
}

TEST(SentrelDbTool, InfoListsTablesColumnsRowsAndTheKnownSpywaresTotal) {
    test::TempFolder folder;
    test::WriteTextFile(folder / "RegEntries.csv", "REG_PATH,SPYWARE_REF\nHKEY_CURRENT_USER\\Software\\X,1\na,2\n");
    test::WriteTextFile(folder / "Cookies.csv", "FILES_MASK\n*@a*\n*@b*\n*@c*\n");
    const std::string db = folder / "database.db";
    ASSERT_EQ(RunTool({"build", folder.Path(), db}).ExitCode, 0);

    const RunResult info = RunTool({"info", db});
    ASSERT_EQ(info.ExitCode, 0) << info.Err;
    EXPECT_EQ(info.Out, db + ": 2 tables\n"
                             "Cookies: 3 rows; columns: FILES_MASK\n"
                             "RegEntries: 2 rows; columns: REG_PATH,SPYWARE_REF\n"
                             "KnownSpywares: 5\n");
    EXPECT_EQ(info.Err, "");
}

TEST(SentrelDbTool, BadInputFailsWithOneLineAndLeavesNothingBehind) {
    test::TempFolder folder;
    const std::string source = folder / "source";
    CreateFolders(source);
    test::WriteTextFile(JoinPath(source, "A.csv"), "X,Y\n1,2\n");
    test::WriteTextFile(JoinPath(source, "B.csv"), "X,Y\n1,2\n3\n");
    const std::string out = folder / "out";
    CreateFolders(out);
    const std::string db = JoinPath(out, "database.db");

    ExpectOneLineError(RunTool({}), 2, "no command");
    ExpectOneLineError(RunTool({"frobnicate"}), 2, "unknown command \"frobnicate\"");
    ExpectOneLineError(RunTool({"build", source}), 2, "build takes SRC_DIR OUT.db");
    ExpectOneLineError(RunTool({"info", db, "extra"}), 2, "info takes DB");

    // A ragged row names its file and line, and no database appears.
    ExpectOneLineError(RunTool({"build", source, db}), 1, "B.csv:3: the row has 1 fields, the header has 2");
    ExpectOneLineError(RunTool({"build", folder / "missing", db}), 1, "is not a folder");
    test::WriteTextFile(JoinPath(source, "B.csv"), "X,Y\n\"open,2\n");
    ExpectOneLineError(RunTool({"build", source, db}), 1, "B.csv:2: a quoted field is not closed");
    EXPECT_TRUE(Entries(out).empty());

    // A failed build leaves an existing database as it was.
    test::WriteTextFile(JoinPath(source, "B.csv"), "X,Y\n");
    ASSERT_EQ(RunTool({"build", source, db}).ExitCode, 0);
    const auto good = ReadFileBytes(db);
    test::WriteTextFile(JoinPath(source, "B.csv"), "X,Y\n1,2,3\n");
    ExpectOneLineError(RunTool({"build", source, db}), 1, "B.csv:2:");
    EXPECT_EQ(ReadFileBytes(db), good);
    EXPECT_EQ(Entries(out), std::vector<std::string>{"database.db"});

    // Files that are no database: missing, plain text, cut short, a folder.
    const std::string text = folder / "text.db";
    test::WriteTextFile(text, "FILE_NAME,SPYWARE_REF\nthis is no database at all\n");
    const std::string truncated = folder / "truncated.db";
    WriteFileBytes(truncated, std::span(good.data(), good.size() / 2));
    ExpectOneLineError(RunTool({"info", folder / "missing.db"}), 1, "missing.db");
    ExpectOneLineError(RunTool({"info", text}), 1, "is not a readable database");
    ExpectOneLineError(RunTool({"info", truncated}), 1, "is not a readable database");
    ExpectOneLineError(RunTool({"info", out}), 1, "is a folder");
    ExpectOneLineError(RunTool({"dump", truncated, folder / "dumped"}), 1, "is not a readable database");
    EXPECT_FALSE(fs::exists(folder / "dumped"));
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"out", "source", "text.db", "truncated.db"}));
}

TEST(SentrelDbTool, WorkingFilesNeverTouchTheUsersFiles) {
    // The program's working files are named db, db_unpacked.dat, ...; files of those names
    // beside the database belong to the user.
    test::TempFolder folder;
    test::WriteTextFile(folder / "T.csv", "A\n1\n");
    for (const char* name : {"db", "db_decrypted.dat", "db_unpacked.dat", "database.db_decrypted.dat"})
        test::WriteTextFile(folder / name, std::string("user file ") + name);
    const std::string db = folder / "database.db";
    ASSERT_EQ(RunTool({"build", folder.Path(), db}).ExitCode, 0);
    ASSERT_EQ(RunTool({"info", db}).ExitCode, 0);
    ASSERT_EQ(RunTool({"dump", db, folder / "dumped"}).ExitCode, 0);
    for (const char* name : {"db", "db_decrypted.dat", "db_unpacked.dat", "database.db_decrypted.dat"})
        EXPECT_EQ(ReadFileText(folder / name), std::string("user file ") + name);
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"T.csv", "database.db", "database.db_decrypted.dat",
                                                                "db", "db_decrypted.dat", "db_unpacked.dat",
                                                                "dumped"}));
}

TEST(SentrelDbTool, DumpWarnsAboutWhatATextTableCannotHold) {
    // The program's own files may hold what build never makes: a column longer than its table,
    // a table name that is no file name.
    test::TempFolder folder;
    const std::string db = folder / "database.db";
    {
        TDataBase dataBase(db, false, std::string(kDataBasePassPhrase));
        auto table = std::make_unique<TTable>("Cookies");
        auto masks = std::make_unique<TColumn>("FILES_MASK");
        for (const char* mask : {"*@a*", "*@b*"}) {
            masks->AddEmptyValue();
            masks->SetString(masks->Count() - 1, mask);
        }
        table->AddRow();
        table->AddColumn(std::move(masks));
        dataBase.AddTable(std::move(table));
        dataBase.AddTable(std::make_unique<TTable>("a/b"));
        dataBase.Save();
    }
    const RunResult info = RunTool({"info", db});
    EXPECT_NE(info.Out.find("Cookies: 1 rows; columns: FILES_MASK; column FILES_MASK holds 2 values\n"),
              std::string::npos)
        << info.Out;
    EXPECT_NE(info.Out.find("KnownSpywares: 1\n"), std::string::npos) << info.Out;

    const RunResult dump = RunTool({"dump", db, folder / "dumped"});
    ASSERT_EQ(dump.ExitCode, 0) << dump.Err;
    EXPECT_EQ(std::count(dump.Err.begin(), dump.Err.end(), '\n'), 2) << dump.Err;
    EXPECT_NE(dump.Err.find("sentrel-db: warning: the table \"a/b\" is left out"), std::string::npos) << dump.Err;
    EXPECT_NE(dump.Err.find("sentrel-db: warning: table \"Cookies\", column \"FILES_MASK\": 1 value(s)"),
              std::string::npos)
        << dump.Err;
    EXPECT_EQ(Entries(folder / "dumped"), std::vector<std::string>{"Cookies.csv"});
    EXPECT_EQ(ReadFileText(JoinPath(folder / "dumped", "Cookies.csv")), "FILES_MASK\n*@a*\n");
}

TEST(SentrelDbTool, HelpPrintsTheUsage) {
    for (const char* flag : {"--help", "-h"}) {
        const RunResult help = RunTool({flag});
        EXPECT_EQ(help.ExitCode, 0);
        EXPECT_TRUE(help.Out.starts_with("Usage: sentrel-db COMMAND")) << help.Out;
        for (const char* command : {"build SRC_DIR OUT.db", "dump DB OUT_DIR", "info DB"})
            EXPECT_NE(help.Out.find(command), std::string::npos) << command;
        EXPECT_EQ(help.Err, "");
    }
}

TEST(SentrelDbTool, TheShippedTablesBuildAndDumpBackToTheirSources) {
    test::TempFolder folder;
    const std::string db = folder / "database.db";
    const RunResult built = RunTool({"build", SENTREL_THREATS_FOLDER, db});
    ASSERT_EQ(built.ExitCode, 0) << built.Err;
    EXPECT_EQ(built.Err, "");

    // One table per .csv file of the folder.
    std::vector<std::string> sources = Entries(SENTREL_THREATS_FOLDER);
    std::erase_if(sources, [](const std::string& name) { return !name.ends_with(".csv"); });
    std::map<std::string, int> rowCounts;
    LoadTables(db, &rowCounts);
    int total = 0;
    for (const auto& [name, rows] : rowCounts) total += rows;
    EXPECT_EQ(rowCounts.size(), sources.size());
    const RunResult info = RunTool({"info", db});
    EXPECT_NE(info.Out.find("KnownSpywares: " + std::to_string(total) + "\n"), std::string::npos) << info.Out;

    // The sources are kept in the form that dump writes, so a dump reproduces them exactly.
    const std::string dumped = folder / "dumped";
    ASSERT_EQ(RunTool({"dump", db, dumped}).ExitCode, 0);
    for (const std::string& name : Entries(dumped))
        EXPECT_EQ(ReadFileText(JoinPath(dumped, name)), ReadFileText(JoinPath(SENTREL_THREATS_FOLDER, name))) << name;
    EXPECT_EQ(Entries(dumped), sources);
}

}  // namespace
}  // namespace sentrel
