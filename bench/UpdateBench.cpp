// Applying an update to a 5 MB (unpacked) database: the patch step (ApplyPatch: read the old
// database and the patch, write the new one through its "$" file) against the floor of copying
// the same 5 MB file in the same run (goal: within 2x), and the whole update (signature check,
// unpack, patch, pack, test load, indexes, swap) beside a plain LoadFromFile. The signature step
// uses the tests' SHA-1 stand-in, not ECDSA.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "common/Files.h"
#include "config/Options.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/DataBaseUpdate.h"
#include "database/Patch.h"
#include "database/Sha1.h"
#include "database/UpdateSignature.h"
#include "sentrel-db/Synthetic.h"

namespace {

using namespace sentrel;
using Clock = std::chrono::steady_clock;
constexpr int kRepeats = 7;
constexpr std::size_t kTargetSize = 5 * 1024 * 1024;

double Best(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

class DigestVerifier : public TSignatureVerifier {
public:
    bool Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature) const override {
        const auto digest = Sha1::Of(data);
        return std::equal(signature.begin(), signature.end(), digest.begin(), digest.end());
    }
};

std::vector<std::uint8_t> Unpacked(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    TCipher(kDataBasePassPhrase).Decrypt(bytes);
    return InflateRecord(ReadArchiveRecords(bytes).at(0));
}

void SaveTables(const std::string& path, std::vector<std::unique_ptr<TTable>> tables) {
    TDataBase dataBase(path, false, std::string(kDataBasePassPhrase));
    for (auto& table : tables) dataBase.AddTable(std::move(table));
    dataBase.Save();
}

}  // namespace

int main() {
    const std::string folder = (std::filesystem::temp_directory_path() / "sentrel-update-bench/").string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string program = folder + "program/";
    std::filesystem::create_directories(program);

    // Rows until the unpacked database reaches 5 MB.
    int rows = 20000;
    std::vector<std::uint8_t> oldBytes;
    for (;; rows = rows * 3 / 2) {
        SaveTables(folder + "old.db", dbtool::MakeSyntheticTables(rows));
        oldBytes = Unpacked(folder + "old.db");
        if (oldBytes.size() >= kTargetSize) break;
    }
    auto next = dbtool::MakeSyntheticTables(rows);
    next[0]->AddRow();
    next[0]->GetColumn(0)->SetString(next[0]->RowCount() - 1, "added-row");
    next[2]->GetColumn(0)->SetString(rows / 20, "changed-cell");
    SaveTables(folder + "new.db", std::move(next));
    const std::vector<std::uint8_t> newBytes = Unpacked(folder + "new.db");

    const std::vector<std::uint8_t> patch = MakePatch(2, oldBytes, newBytes);
    WriteFileBytes(folder + "old.dat", oldBytes);
    WriteFileBytes(folder + "patch.dat", patch);
    std::vector<std::uint8_t> archive = BuildArchive(std::string(kUnpackedUpdateName), patch);
    TCipher(kDataBasePassPhrase).Encrypt(archive);
    WriteFileBytes(folder + "update2.dat", archive);
    const auto digest = Sha1::Of(archive);
    WriteFileBytes(folder + "update2.dat.sig", digest);

    std::printf("database: %d rows, %zu bytes unpacked, %lld bytes packed; update: %zu bytes patch, %lld bytes file\n",
                rows, oldBytes.size(), static_cast<long long>(FileSize(folder + "old.db")), patch.size(),
                static_cast<long long>(FileSize(folder + "update2.dat")));

    const double copy = Best([&] { WriteFileBytes(folder + "copy.dat", ReadFileBytes(folder + "old.dat"), false); });
    const double applyPatch = Best([&] { ApplyPatch(folder + "old.dat", folder + "new.dat", folder + "patch.dat"); });
    if (ReadFileBytes(folder + "new.dat") != newBytes) std::printf("WRONG: the patch did not give the new database\n");
    std::printf("copy of the 5 MB file (floor): %8.2f ms\n", copy * 1e3);
    std::printf("ApplyPatch:                    %8.2f ms  (%.2fx the copy)\n", applyPatch * 1e3, applyPatch / copy);

    const double load = Best([&] { TDataBase dataBase(folder + "old.db", true, std::string(kDataBasePassPhrase)); });
    TOptions options(kOptionsFileName, program);
    const DigestVerifier verifier;
    double whole = 1e9;
    for (int i = 0; i < kRepeats; ++i) {
        WriteFileBytes(program + "database.db", ReadFileBytes(folder + "old.db"));
        options.WriteInteger("DBNumber", 1);
        TThreatTables tables(
            std::make_unique<TDataBase>(program + "database.db", true, std::string(kDataBasePassPhrase)));
        const TDataBaseUpdater updater(program + "database.db", std::string(kDataBasePassPhrase), options, verifier);
        const auto start = Clock::now();
        const TUpdateResult result = updater.Apply(folder + "update2.dat", tables);
        whole = std::min(whole, std::chrono::duration<double>(Clock::now() - start).count());
        if (!result.Applied) std::printf("WRONG: the update was not applied\n");
    }
    std::printf("LoadFromFile (plain load):     %8.2f ms\n", load * 1e3);
    std::printf("whole ApplyUpdate:             %8.2f ms  (%.2fx the load)\n", whole * 1e3, whole / load);
    std::filesystem::remove_all(folder);
    return 0;
}
