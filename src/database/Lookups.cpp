#include "database/Lookups.h"

#include <optional>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "database/FileChecksums.h"
#include "database/Mask.h"
#include "database/PathParts.h"

namespace sentrel {

namespace {

// The backup store inside the program folder, as it appears in the paths of its files.
constexpr std::string_view kBackupStoreFolder = "backuped\\";

// The stored text holds the computed one or lies inside it; an empty text never matches.
bool SecondLevelMatches(const std::string& stored, const std::string& computed) {
    if (stored.empty() || computed.empty()) return false;
    return stored.find(computed) != std::string::npos || computed.find(stored) != std::string::npos;
}

}  // namespace

TLookupResult FindByChecksum(const TThreatTables& tables, const TFileAccess& files, const std::string& path) {
    TLookupResult result;
    const auto size = files.FindFileSize(path);
    if (!size || !IsChecksumFileSize(*size)) return result;
    const TIntegerArray* rows = tables.ChecksumIndex().Find(std::to_string(*size));
    const TTable* checksums = tables.DataBase().FindTable(kChecksumsTable);
    if (rows == nullptr || checksums == nullptr) return result;

    std::optional<TFileChecksums> computed;
    std::string computedText;
    for (int k = 0; k < rows->Count(); ++k) {
        const int row = rows->Get(k);
        std::int32_t firstLevel = 0;
        std::int32_t spywareRef = 0;
        std::string secondLevel;
        if (!checksums->GetInt(row, kFirstLevelChecksumColumn, firstLevel)) continue;
        checksums->GetString(row, kSecondLevelChecksumColumn, secondLevel);
        if (!checksums->GetInt(row, kSpywareRefColumn, spywareRef)) continue;
        if (!computed) {
            try {
                computed = ComputeOpenedFileChecksums(*files.OpenForReading(path));
            } catch (const FileError&) {
                LogCaught("file checksum lookup");
                return result;  // unreadable: no match
            }
            computedText = std::to_string(computed->SecondLevel);
        }
        if (computed->FirstLevel == firstLevel && SecondLevelMatches(secondLevel, computedText)) {
            result.Found = true;
            result.SpywareRef = spywareRef;
            return result;
        }
    }
    return result;
}

TLookupResult FindByFileName(const TThreatTables& tables, const std::string& path, int& row) {
    TLookupResult result;
    row = 0;
    const TIntegerArray* rows = tables.FileNameIndex().Find(PathFileName(path));
    const TTable* primaryFiles = tables.DataBase().FindTable(kPrimaryFilesTable);
    if (rows == nullptr || primaryFiles == nullptr) return result;
    for (int k = 0; k < rows->Count(); ++k) {
        std::int32_t spywareRef = 0;
        if (!primaryFiles->GetInt(rows->Get(k), kSpywareRefColumn, spywareRef)) continue;
        result.Found = true;
        result.SpywareRef = spywareRef;
        row = rows->Get(k);
        break;
    }
    return result;
}

bool MatchesFileFolder(const TThreatTables& tables, const TMacroFolderSource& folders, const std::string& path,
                       int row) {
    std::string mask;
    if (!tables.DataBase().GetLinkedString(kPrimaryFilesTable, kPathRefColumn, kFilePathColumn, kFoldersTable, row,
                                           mask))
        return false;
    std::string thirtyTwoBitMask = mask;
    ExpandPathMacros(mask, folders);
    if (MatchesMask(PathFolder(path), mask)) return true;
    // A program-files or common-files row matches the 32-bit programs' folder as well; a row
    // under any other macro has no second folder.
    const ThirtyTwoBitProgramFolders thirtyTwoBit(folders);
    std::string cut = thirtyTwoBitMask;
    const std::optional<TPathMacro> macro = ExtractPathMacro(cut);
    if (!macro || MacroReplacement(macro->Text, thirtyTwoBit).empty()) return false;
    ExpandPathMacros(thirtyTwoBitMask, thirtyTwoBit);
    return thirtyTwoBitMask != mask && MatchesMask(PathFolder(path), thirtyTwoBitMask);
}

TLookupResult IsKnownSpywareFile(const TThreatTables& tables, const TLookupSystem& system, const std::string& path) {
    TLookupResult result = FindByChecksum(tables, system.Files, path);
    if (result.Found) return result;
    const std::string backupStore = system.ProgramFolder + std::string(kBackupStoreFolder);
    if (path.find(backupStore) != std::string::npos) return result;
    int row = 0;
    result = FindByFileName(tables, path, row);
    if (result.Found) result.Found = MatchesFileFolder(tables, system.MacroFolders, path, row);
    return result;
}

}  // namespace sentrel
