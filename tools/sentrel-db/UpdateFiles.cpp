#include "UpdateFiles.h"

#include <filesystem>

#include "DataBaseFiles.h"
#include "common/Files.h"
#include "config/Options.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/DataBaseUpdate.h"
#include "database/Sha256.h"

namespace sentrel::dbtool {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A fresh private folder under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "sentrel-db-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw ToolError("cannot create a working folder");
        path_ = pattern + "/";
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    // With its trailing separator.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

std::vector<std::uint8_t> ReadUnpackedFile(const std::string& path) {
    if (FolderExists(path)) throw ToolError(Quoted(path) + " is a folder");
    try {
        std::vector<std::uint8_t> bytes = ReadFileBytes(path);
        TCipher(kDataBasePassPhrase).Decrypt(bytes);
        const std::vector<TArchiveRecord> records = ReadArchiveRecords(bytes);
        if (records.size() != 1)
            throw DataBaseError("it holds " + std::to_string(records.size()) + " files instead of one");
        return InflateRecord(records.front());
    } catch (const std::exception& error) {
        throw ToolError(Quoted(path) + " cannot be unpacked: " + error.what());
    }
}

void WritePackedFile(const std::string& path, const std::string& storedName, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> archive = BuildArchive(storedName, bytes);
    TCipher(kDataBasePassPhrase).Encrypt(archive);
    try {
        WriteFileAtomically(path, archive);
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
}

TMadeUpdate MakeUpdateFile(const std::string& oldPath, const std::string& newPath, std::int32_t number,
                           const std::string& outPath) {
    // Both must be databases the program can load.
    LoadDataBaseFile(oldPath);
    LoadDataBaseFile(newPath);
    const std::vector<std::uint8_t> oldBytes = ReadUnpackedFile(oldPath);
    const std::vector<std::uint8_t> newBytes = ReadUnpackedFile(newPath);

    TMadeUpdate made;
    made.OldUnpackedSize = oldBytes.size();
    made.NewUnpackedSize = newBytes.size();
    const std::vector<std::uint8_t> patch = MakePatch(number, oldBytes, newBytes);
    if (ApplyPatchBytes(oldBytes, patch, &made.Stats) != newBytes ||
        ReadPatchHeader(patch).Hashes != TDataBaseHashes{Sha256Of(oldBytes), Sha256Of(newBytes)})
        throw ToolError("the patch does not reproduce " + Quoted(newPath) + " (a fault of this tool)");
    WritePackedFile(outPath, std::string(kUnpackedUpdateName), patch);
    made.UpdateFileSize = FileSize(outPath);
    made.NewDataBaseFileSize = FileSize(newPath);
    return made;
}

TAppliedUpdate ApplyUpdateFile(const std::string& dataBasePath, std::int32_t number, const std::string& updatePath,
                               const std::string& outPath, const TSignatureVerifier& verifier) {
    LoadDataBaseFile(dataBasePath);
    ScratchFolder program;
    const std::string installed = program.Path() + "database.db";
    try {
        WriteFileBytes(installed, ReadFileBytes(dataBasePath));
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
    TOptions options(kOptionsFileName, program.Path());
    if (!options.WriteInteger(kDataBaseNumberOption, number)) throw ToolError("cannot write the working options");

    TDataBase dataBase(installed, true, std::string(kDataBasePassPhrase));
    TAppliedUpdate applied;
    applied.Result = dataBase.ApplyUpdate(updatePath, options, verifier);
    applied.Refusal = UpdateRefusalMessage(applied.Result);
    if (!applied.Result.Applied) return applied;
    try {
        WriteFileAtomically(outPath, ReadFileBytes(installed));
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
    return applied;
}

TUpdateInfo DescribeUpdateFile(const std::string& path) {
    const std::vector<std::uint8_t> patch = ReadUnpackedFile(path);
    TUpdateInfo info;
    try {
        info.Header = ReadPatchHeader(patch);
        info.Stats = WalkPatch(patch);
    } catch (const PatchError& error) {
        throw ToolError(Quoted(path) + " is not an update file: " + error.what());
    }
    info.FileSize = FileSize(path);
    info.HasSignature = FileExists(path + std::string(kSignatureSuffix));
    return info;
}

TPatchHeader VerifyUpdateFile(const std::string& path, const TSignatureVerifier& verifier) {
    TDataBase unpacker(path, false, std::string(kDataBasePassPhrase));
    const std::vector<std::uint8_t> patch = unpacker.UnpackBytes(ReadSignedUpdate(path, verifier));
    const TPatchHeader header = ReadPatchHeader(patch);
    WalkPatch(patch);
    if (!header.Hashes)
        throw ToolError("the update " + Quoted(FileNamePart(path)) +
                        " does not name the database it was made for, so the program would refuse it");
    return header;
}

}  // namespace sentrel::dbtool
