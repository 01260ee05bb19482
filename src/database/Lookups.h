#pragma once
// The file lookups: is a file on the machine a known threat? First by its length and two
// checksums (Checksums), then by its bare name (PrimaryFiles) and folder (Folders). They read
// the tables and indexes of a TThreatTables and never change them; the machine is reached
// through a TFileAccess and a TMacroFolderSource, so the same code runs on Windows and in tests.

#include <cstdint>
#include <string>

#include "database/FileAccess.h"
#include "database/PathMacros.h"
#include "database/ThreatTables.h"

namespace sentrel {

struct TLookupResult {
    bool Found = false;
    std::int32_t SpywareRef = 0;  // meaningful only when Found
};

// The machine as the lookups see it.
struct TLookupSystem {
    const TFileAccess& Files;
    const TMacroFolderSource& MacroFolders;
    // The program folder, with its trailing backslash: files inside its "backuped\" folder (the
    // backup store) are recognised by checksum only, never by name.
    std::string ProgramFolder;
};

// By checksum; failing that (and outside the backup store) by name, when the folder of the
// first PrimaryFiles row of that name matches. InvalidMaskError from a malformed folder mask
// reaches the caller.
TLookupResult IsKnownSpywareFile(const TThreatTables& tables, const TLookupSystem& system, const std::string& path);

// A file of an indexed length (kMinChecksumFileSize..kMaxChecksumFileSize) whose first-level
// checksum equals a row's FIRST_LEVEL_CHECKSUM and whose second-level checksum's decimal text
// occurs in SECOND_LEVEL_CHECKSUM or holds it. The file is opened only when its length is in the
// index and a row of that length reads; a file that cannot be read gives no match.
TLookupResult FindByChecksum(const TThreatTables& tables, const TFileAccess& files, const std::string& path);

// The first PrimaryFiles row of the path's file name (any letter case) whose SPYWARE_REF reads;
// `row` is that row, 0 when none.
TLookupResult FindByFileName(const TThreatTables& tables, const std::string& path, int& row);

// Whether the path's folder matches the Folders row named by PATH_REF of the PrimaryFiles row,
// its macro expanded. False when the link does not read. InvalidMaskError reaches the caller.
bool MatchesFileFolder(const TThreatTables& tables, const TMacroFolderSource& folders, const std::string& path,
                       int row);

}  // namespace sentrel
