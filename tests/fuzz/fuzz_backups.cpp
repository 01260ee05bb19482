// backups.ini as the backup store meets it (hand-edited, damaged or hostile): opening the store,
// listing and reading every record, adding a record and deleting every record never crash, never
// touch anything outside the store, and leave "Count" equal to the records.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/Files.h"
#include "warnings/Backuper.h"

namespace {

std::string Folder() {
    static const std::string folder = [] {
        const auto path = std::filesystem::temp_directory_path() / ("fuzz_backups_" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string() + "/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sentrel;
    const std::string folder = Folder();
    std::filesystem::remove_all(folder + "backuped");
    WriteFileAtomically(folder + "backups.ini", std::string(reinterpret_cast<const char*>(data), size));
    WriteFileAtomically(folder + "sentinel", std::string("keep"));

    TBackuper store(folder);
    const int count = store.GetCount();
    for (int i = 0; i < count; ++i) {
        const std::string code = store.GetSectionName(i);
        if (!TBackuper::IsBackupCode(code)) std::abort();
        for (const char* key : {"Type", "Desc", "File", "FilePath", "Folder", "BackupFolder", "RootKey"})
            (void)store.GetString(i, key);
        (void)store.GetInteger(i, "RootKey");
        (void)store.RecordFolder(code);
    }
    try {
        const NewBackupResult made = store.NewBackup("TCookieWarning", "Restore tracking cookie x");
        store.SetString("File", "x.txt");
        if (store.GetSectionName(store.GetCount() - 1) != made.code) std::abort();
        if (store.GetString(store.GetCount() - 1, "File") != "x.txt") std::abort();
    } catch (const FileError&) {
        // A file name the system refuses (the store's folder holds nothing odd here).
    }
    while (store.GetCount() > 0) store.DeleteBackup(0);
    if (ReadFileText(folder + "sentinel") != "keep") std::abort();
    return 0;
}
