// Start-up load of a synthetic 50,000-row threat database: MB/s of each stage (decrypt,
// inflate, parse), the whole LoadFromFile (read, decrypt, inflate, parse), and the ratio of the whole
// load to the floor: a plain Blowfish-CBC decrypt plus zlib inflate of the same bytes (OpenSSL's
// Blowfish where the build has OpenSSL, the program's own otherwise).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <zlib.h>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "database/Sha1.h"
#include "sentrel-db/Synthetic.h"

#ifdef SENTREL_BENCH_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = 50000;
constexpr int kRepeats = 7;

// The best of several runs, in seconds.
double Best(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

double MegabytesPerSecond(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds;
}

std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> stream, std::size_t size) {
    std::vector<std::uint8_t> out(size);
    uLongf length = static_cast<uLongf>(size);
    if (uncompress(out.data(), &length, stream.data(), static_cast<uLong>(stream.size())) != Z_OK)
        throw std::runtime_error("inflate failed");
    out.resize(length);
    return out;
}

#ifdef SENTREL_BENCH_OPENSSL
// One pass of OpenSSL's Blowfish ("BF-ECB" or "BF-CBC", no padding) over whole blocks.
void OpenSslBlowfish(const char* mode, bool encrypt, std::span<const std::uint8_t> key, const std::uint8_t* iv,
                     std::span<const std::uint8_t> in, std::uint8_t* out) {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    if (!legacy || !base) throw std::runtime_error("OpenSSL's legacy provider (Blowfish) is not available");
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, mode, nullptr);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int length = 0;
    const bool ok = EVP_CipherInit_ex2(context, cipher, nullptr, nullptr, encrypt, nullptr) == 1 &&
                    EVP_CIPHER_CTX_set_key_length(context, static_cast<int>(key.size())) == 1 &&
                    EVP_CipherInit_ex2(context, nullptr, key.data(), iv, encrypt, nullptr) == 1 &&
                    EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
                    EVP_CipherUpdate(context, out, &length, in.data(), static_cast<int>(in.size())) == 1;
    EVP_CIPHER_CTX_free(context);
    EVP_CIPHER_free(cipher);
    if (!ok) throw std::runtime_error("OpenSSL's Blowfish failed");
}

// The container's cipher layer done with OpenSSL: CBC over the whole blocks, then the odd tail
// XORed with the encryption of the last whole ciphertext block.
std::vector<std::uint8_t> OpenSslDecrypt(std::span<const std::uint8_t> data) {
    const auto key = sentrel::Sha1::Of(sentrel::kDataBasePassPhrase);
    const std::uint8_t zero[8] = {};
    std::uint8_t iv[8];
    OpenSslBlowfish("BF-ECB", true, key, nullptr, zero, iv);
    std::vector<std::uint8_t> out(data.size());
    const std::size_t whole = data.size() / 8 * 8;
    OpenSslBlowfish("BF-CBC", false, key, iv, data.first(whole), out.data());
    if (whole < data.size()) {
        std::uint8_t pad[8];
        OpenSslBlowfish("BF-ECB", true, key, nullptr, whole ? data.subspan(whole - 8, 8) : std::span(iv), pad);
        for (std::size_t i = whole; i < data.size(); ++i) out[i] = data[i] ^ pad[i - whole];
    }
    return out;
}
#endif

}  // namespace

int main() {
    using namespace sentrel;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("sentrel-load-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "database.db").string();

    {
        TDataBase database(path, false, std::string(kDataBasePassPhrase));
        for (auto& table : dbtool::MakeSyntheticTables(kRows)) database.AddTable(std::move(table));
        database.Save();
    }
    const std::vector<std::uint8_t> file = ReadFileBytes(path);
    const TCipher cipher(kDataBasePassPhrase);
    std::vector<std::uint8_t> archive = file;
    cipher.Decrypt(archive);
    const auto records = ReadArchiveRecords(archive);
    const std::vector<std::uint8_t> tables = InflateRecord(records.front());

    std::printf("Synthetic database: %d rows, tables %.2f MB, database.db %.2f MB\n", kRows,
                tables.size() / 1048576.0, file.size() / 1048576.0);

    const double decrypt = Best([&] {
        std::vector<std::uint8_t> copy = file;
        cipher.Decrypt(copy);
    });
    const double inflate = Best([&] {
        const auto found = ReadArchiveRecords(archive);
        (void)InflateRecord(found.front());
    });
    const double parse = Best([&] {
        TDataBase database((folder / "unused.db").string(), false, std::string(kDataBasePassPhrase));
        database.LoadFromStream(tables);
    });
    const double whole = Best([&] { TDataBase database(path, true, std::string(kDataBasePassPhrase)); });

#ifdef SENTREL_BENCH_OPENSSL
    const char* floorName = "OpenSSL Blowfish-CBC decrypt + zlib inflate";
    const double floor = Best([&] {
        const auto plain = OpenSslDecrypt(file);
        const auto found = ReadArchiveRecords(plain);
        (void)Inflate(found.front().Data, static_cast<std::size_t>(found.front().UncompressedSize));
    });
#else
    const char* floorName = "own Blowfish-CBC decrypt + zlib inflate (no OpenSSL in this build)";
    const double floor = Best([&] {
        std::vector<std::uint8_t> copy = file;
        cipher.Decrypt(copy);
        const auto found = ReadArchiveRecords(copy);
        (void)Inflate(found.front().Data, static_cast<std::size_t>(found.front().UncompressedSize));
    });
#endif

    std::printf("%-10s %8.2f ms %9.1f MB/s (of database.db)\n", "decrypt", decrypt * 1e3,
                MegabytesPerSecond(file.size(), decrypt));
    std::printf("%-10s %8.2f ms %9.1f MB/s (of tables inflated)\n", "inflate", inflate * 1e3,
                MegabytesPerSecond(tables.size(), inflate));
    std::printf("%-10s %8.2f ms %9.1f MB/s (of tables parsed)\n", "parse", parse * 1e3,
                MegabytesPerSecond(tables.size(), parse));
    std::printf("%-10s %8.2f ms %9.1f MB/s (LoadFromFile: read, decrypt, inflate, parse)\n", "whole", whole * 1e3,
                MegabytesPerSecond(file.size(), whole));
    std::printf("%-10s %8.2f ms (%s)\n", "floor", floor * 1e3, floorName);
    std::printf("ratio whole / floor: %.2f (goal: at most 1.5)\n", whole / floor);

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
