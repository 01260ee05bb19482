#include "support/RewrittenFiles.h"

#include <memory>

#include "common/Files.h"
#include "config/IniText.h"
#include "config/Options.h"
#include "core/ColorList.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "warnings/Backuper.h"
#include "warnings/RegistryFile.h"

namespace sentrel::test {
namespace {

std::string OneOf(const std::string& text, const std::string& first, const std::string& second) {
    return text == first || text == second ? "" : "neither version: \"" + text + "\"";
}

RewrittenFile Options() {
    const auto version = [](int i) { return "[Options]\r\nShieldLevel=" + std::to_string(i % 2) + "\r\n"; };
    return {"options.ini",
            {"options.ini", "options.ini.tmp"},
            [](const std::string& folder) { TOptions("options.ini", folder).WriteInteger("ShieldLevel", 0); },
            [](const std::string& folder) {
                auto options = std::make_shared<TOptions>("options.ini", folder);
                return [options](int i) { options->WriteInteger("ShieldLevel", i % 2); };
            },
            [version](const std::string& folder) {
                return OneOf(ReadFileText(JoinPath(folder, "options.ini")), version(0), version(1));
            }};
}

RewrittenFile BlackList() {
    static const std::vector<std::string> versions[2] = {{"Tracking cookie a"}, {"Tracking cookie b", "Folder c"}};
    return {"black_list.txt",
            {"black_list.txt", "black_list.txt.tmp"},
            [](const std::string& folder) { TColorList(JoinPath(folder, "black_list.txt")).AddAllAndSave(versions[0]); },
            [](const std::string& folder) {
                auto list = std::make_shared<TColorList>(JoinPath(folder, "black_list.txt"));
                return [list](int i) {
                    list->Clear();
                    list->AddAllAndSave(versions[i % 2]);
                };
            },
            [](const std::string& folder) -> std::string {
                const TColorList read(JoinPath(folder, "black_list.txt"));
                if (read.Entries() == versions[0] || read.Entries() == versions[1]) return "";
                return "neither version: " + std::to_string(read.Entries().size()) + " entries";
            }};
}

// The store keeps one record; each write adds a second, fills it and deletes it again.
RewrittenFile Backups() {
    return {"backups.ini",
            {"backups.ini", "backups.ini.tmp", "backuped"},
            [](const std::string& folder) { TBackuper(folder).NewBackup("TCookieWarning", "Restore tracking cookie a"); },
            [](const std::string& folder) {
                auto store = std::make_shared<TBackuper>(folder);
                return [store](int) {
                    // A record left by the writer killed before is cleared first.
                    while (store->GetCount() > 1) store->DeleteBackup(1);
                    store->NewBackup("TCookieWarning", "Restore tracking cookie b");
                    store->SetString("File", "b");
                    store->DeleteBackup(1);
                };
            },
            [](const std::string& folder) -> std::string {
                const std::string text = ReadFileText(JoinPath(folder, "backups.ini"));
                if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n") return "torn: \"" + text + "\"";
                const TBackuper read(folder);
                if (read.GetCount() < 1 || read.GetCount() > 2) return "count " + std::to_string(read.GetCount());
                if (read.GetString(0, "Desc") != "Restore tracking cookie a") return "the first record changed";
                if (IniText::Parse(text).Get("Count", "Count") != std::to_string(read.GetCount()))
                    return "the count disagrees with the records";
                return "";
            }};
}

void SaveDataBase(const std::string& path, int version) {
    TDataBase dataBase(path, false, std::string(kDataBasePassPhrase));
    auto table = std::make_unique<TTable>("PrimaryFiles");
    auto& column = table->AddColumn(std::make_unique<TColumn>("FILE_NAME"));
    for (int row = 0; row < 200 + (version % 2) * 300; ++row) {
        table->AddRow();
        column.SetString(row, "file" + std::to_string(row) + ".dll");
    }
    dataBase.AddTable(std::move(table));
    dataBase.Save();
}

RewrittenFile DataBase() {
    return {"database.db",
            // The save's working files have fixed names: one killed save leaves them, the next
            // takes them over, so they never pile up.
            {"database.db", "database.db.tmp", "db", "db_decrypted.dat", "db_unpacked.dat",
             "db_unpacked.dat_decrypted.dat"},
            [](const std::string& folder) { SaveDataBase(JoinPath(folder, "database.db"), 0); },
            [](const std::string& folder) {
                return [path = JoinPath(folder, "database.db")](int i) { SaveDataBase(path, i); };
            },
            [](const std::string& folder) -> std::string {
                try {
                    const TDataBase read(JoinPath(folder, "database.db"), true, std::string(kDataBasePassPhrase));
                    const TTable* table = read.FindTable("PrimaryFiles");
                    if (table == nullptr) return "no table";
                    if (table->RowCount() != 200 && table->RowCount() != 500)
                        return std::to_string(table->RowCount()) + " rows";
                    return "";
                } catch (const std::exception& error) {
                    return error.what();
                }
            }};
}

// The file a registry value's fix leaves for its undo, written as the remedy writes it.
std::string RegistryBackupText(int version) {
    RegistryFileValue value;
    value.name = "Updater";
    value.data = version % 2 ? "b" : "a";
    value.quotedText = value.data;
    return RegistryFileText("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", value);
}

RewrittenFile RegistryBackup() {
    return {"backup.reg",
            {"backup.reg", "backup.reg.tmp"},
            [](const std::string& folder) { WriteFileAtomically(JoinPath(folder, "backup.reg"), RegistryBackupText(0)); },
            [](const std::string& folder) {
                return [path = JoinPath(folder, "backup.reg")](int i) { WriteFileAtomically(path, RegistryBackupText(i)); };
            },
            [](const std::string& folder) {
                return OneOf(ReadFileText(JoinPath(folder, "backup.reg")), RegistryBackupText(0), RegistryBackupText(1));
            }};
}

}  // namespace

const std::vector<RewrittenFile>& RewrittenFiles() {
    static const std::vector<RewrittenFile> files = {Options(), BlackList(), Backups(), DataBase(), RegistryBackup()};
    return files;
}

}  // namespace sentrel::test
