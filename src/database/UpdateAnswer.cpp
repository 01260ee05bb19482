#include "database/UpdateAnswer.h"

#include <algorithm>
#include <array>

#include "database/Archive.h"
#include "database/DataBase.h"
#include "database/Table.h"

namespace sentrel {

namespace {

// Files of the program folder that an update must never replace. The working files of the
// database are listed in DataBase.h.
constexpr std::array<std::string_view, 14> kProgramFiles = {
    "database.db",       "options.ini",        "backups.ini",  "black_list.txt", "white_list.txt",
    "keys_to_watch.ini", "Sentrel4.exe",       "db_backup.db", "graphics",       "Help",
    "backuped",          "Sentrel4-setup.exe", "unins000.exe", "uninstall.exe"};

bool IsOwnFile(std::string_view name) {
    const auto same = [&](std::string_view own) { return SameNameIgnoringCase(name, own); };
    if (std::any_of(kProgramFiles.begin(), kProgramFiles.end(), same)) return true;
    const std::array<std::string_view, 5> working = {kSavedTablesName, kUnpackedDataBaseName, kUnpackedUpdateName,
                                                     kPatchedDataBaseName, "$b_unpacked_patched.dat"};
    if (std::any_of(working.begin(), working.end(), same)) return true;
    // The temporary "_decrypted.dat" files of the pipeline.
    return name.size() >= kDecryptedSuffix.size() &&
           SameNameIgnoringCase(name.substr(name.size() - kDecryptedSuffix.size()), kDecryptedSuffix);
}

bool IsPlainCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

}  // namespace

std::string UpdateIndexQuery(int dataBaseNumber) {
    return std::string(kUpdateIndexPath) + "?elem=&user_date=" + std::to_string(dataBaseNumber);
}

std::string UpdateIndexUrl(std::string_view serverAddress, int dataBaseNumber) {
    return std::string(serverAddress) + UpdateIndexQuery(dataBaseNumber);
}

std::string UpdateFileUrl(std::string_view serverAddress, std::string_view entry) {
    return std::string(serverAddress) + "/" + std::string(entry);
}

std::vector<std::string> SplitUpdateAnswer(std::string_view body) {
    std::vector<std::string> entries;
    if (body.empty()) return entries;
    for (;;) {
        const std::size_t bar = body.find('|');
        if (bar == std::string_view::npos || bar + 1 == body.size()) break;
        entries.emplace_back(body.substr(0, bar));
        body.remove_prefix(bar + 1);
    }
    if (body.ends_with('|')) body.remove_suffix(1);
    entries.emplace_back(body);
    return entries;
}

bool IsSafeUpdateEntryName(std::string_view name) {
    if (name.empty() || name.size() > kMaxUpdateEntryLength) return false;
    if (!std::all_of(name.begin(), name.end(), IsPlainCharacter)) return false;
    // Leaves out ".", "..", trailing dots and device names.
    if (!IsSafeArchiveName(name)) return false;
    return !IsOwnFile(name);
}

std::vector<std::string> ParseUpdateAnswer(std::string_view body) {
    if (body.size() > kMaxUpdateAnswerSize)
        throw UpdateAnswerError("The update server's answer is too long (" + std::to_string(body.size()) +
                                " bytes); no update was downloaded.");
    std::vector<std::string> entries = SplitUpdateAnswer(body);
    for (const std::string& entry : entries) {
        if (!IsSafeUpdateEntryName(entry)) {
            std::string shown;
            for (const char c : entry.substr(0, 60))
                shown += IsPlainCharacter(c) || c == ' ' || c == '/' || c == '\\' || c == ':' ? c : '?';
            throw UpdateAnswerError("The update server named a file that cannot be an update (\"" + shown +
                                    "\"); no update was downloaded.");
        }
    }
    return entries;
}

}  // namespace sentrel
