#pragma once
// Update files on the maker's side: making one from two database files, applying one exactly as
// the program does (to check it before publishing) and describing one.

#include <cstdint>
#include <string>
#include <vector>

#include "database/DataBase.h"
#include "database/Patch.h"
#include "database/UpdateSignature.h"

namespace sentrel::dbtool {

// The innermost bytes of a database or update file: decrypted, and the one archived file
// inflated (in memory, nothing written). ToolError when it is not such a file.
std::vector<std::uint8_t> ReadUnpackedFile(const std::string& path);

// Packs and encrypts bytes as the container does (one archived file named `storedName`) and
// writes them to `path` in one step.
void WritePackedFile(const std::string& path, const std::string& storedName, const std::vector<std::uint8_t>& bytes);

struct TMadeUpdate {
    std::int64_t UpdateFileSize = 0;
    std::int64_t NewDataBaseFileSize = 0;
    std::size_t OldUnpackedSize = 0;
    std::size_t NewUnpackedSize = 0;
    TPatchStats Stats;
};

// The update numbered `number` from the database file `oldPath` to `newPath`, written to
// `outPath`: a patch of the two unpacked databases, checked by applying it in memory before it
// is written. Both files must load as databases.
TMadeUpdate MakeUpdateFile(const std::string& oldPath, const std::string& newPath, std::int32_t number,
                           const std::string& outPath);

struct TAppliedUpdate {
    TUpdateResult Result;
    std::string Refusal;  // the program's message when not applied
};

// Applies the update to a copy of `dataBasePath` taken as database number `number`, in a private
// program folder, through the program's own code (signature checked with `verifier`); when
// applied, the new database is written to `outPath`. Failures throw (DataBaseError, ToolError).
TAppliedUpdate ApplyUpdateFile(const std::string& dataBasePath, std::int32_t number, const std::string& updatePath,
                               const std::string& outPath, const TSignatureVerifier& verifier);

struct TUpdateInfo {
    TPatchHeader Header;
    TPatchStats Stats;
    std::int64_t FileSize = 0;
    bool HasSignature = false;
};

// Reads an update file and walks its patch (ToolError when it is not an update file).
TUpdateInfo DescribeUpdateFile(const std::string& path);

// Checks an update file as the program does before it looks at any database: the signature
// (ReadSignedUpdate), the unpacking and the patch, which must name both databases. Returns its
// header; throws (UpdateSignatureError, DataBaseError, ToolError) with the reason otherwise.
TPatchHeader VerifyUpdateFile(const std::string& path, const TSignatureVerifier& verifier);

}  // namespace sentrel::dbtool
