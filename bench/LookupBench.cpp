// File lookup cost per call: a file whose length is not in the checksum index (no file may be
// opened), a file whose length is, so its two checksum windows are read, and beside them the
// platform's own open + map of the same file measured in the same run (CreateFile +
// CreateFileMapping + MapViewOfFile on Windows, open + mmap natively), once without touching a
// byte, once reading the same two windows, and once mapping a view per window as the lookup does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/Files.h"
#include "database/Cipher.h"
#include "database/FileChecksums.h"
#include "database/Lookups.h"

#ifdef _WIN32
#include <windows.h>

#include "database/MappedFileAccessWin.h"
#include "database/ShellFoldersWin.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using namespace sentrel;
using Clock = std::chrono::steady_clock;
constexpr int kRepeats = 7;
constexpr int kCalls = 2000;
constexpr int kChecksumRows = 20000;
constexpr std::size_t kFileSize = 4 * 1024 * 1024 + 123;  // a middle window well past the head
volatile std::uint64_t sinkHole = 0;  // keeps the summed bytes alive

// The best of several runs of kCalls calls, in microseconds per call.
double MicrosecondsPerCall(const std::function<void()>& call) {
    double best = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
        const auto start = Clock::now();
        for (int i = 0; i < kCalls; ++i) call();
        best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls);
    }
    return best;
}

// Counts the files the lookups open.
class CountingFileAccess final : public TFileAccess {
public:
    explicit CountingFileAccess(const TFileAccess& inner) : inner_(inner) {}
    std::optional<std::int64_t> FindFileSize(const std::string& path) const override {
        return inner_.FindFileSize(path);
    }
    std::unique_ptr<TOpenedFile> OpenForReading(const std::string& path) const override {
        ++Opens;
        return inner_.OpenForReading(path);
    }
    mutable long Opens = 0;

private:
    const TFileAccess& inner_;
};

class NoFolders final : public TMacroFolderSource {
public:
    std::string Folder(TSystemFolder) const override { return {}; }
};

void Column(TTable& table, const char* name, std::vector<std::string> values) {
    auto column = std::make_unique<TColumn>(name);
    for (auto& value : values) {
        column->AddEmptyValue();
        column->SetString(column->Count() - 1, std::move(value));
    }
    table.AddColumn(std::move(column));
}

// kChecksumRows rows of random lengths, plus `rowsOfHit` rows of the hit file's length: all but
// the last with other checksums, the last with the file's own.
std::unique_ptr<TDataBase> MakeTables(const std::string& folder, std::int64_t hitSize, TFileChecksums hit,
                                      int rowsOfHit) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::int64_t> sizes(kMinChecksumFileSize, kMaxChecksumFileSize);
    std::vector<std::string> size, first, second, ref;
    for (int i = 0; i < kChecksumRows; ++i) {
        std::int64_t s = sizes(random);
        if (s == hitSize || s == hitSize + 1) s += 2;  // neither file's length
        size.push_back(std::to_string(s));
        first.push_back(std::to_string(random() % 50000));
        second.push_back(std::to_string(random()));
        ref.push_back(std::to_string(i));
    }
    for (int i = 0; i < rowsOfHit; ++i) {
        const bool last = i == rowsOfHit - 1;
        size.push_back(std::to_string(hitSize));
        first.push_back(std::to_string(last ? hit.FirstLevel : hit.FirstLevel + 1));
        second.push_back(std::to_string(hit.SecondLevel));
        ref.push_back(last ? "77" : "66");
    }
    auto table = std::make_unique<TTable>("Checksums");
    for (std::size_t i = 0; i < size.size(); ++i) table->AddRow();
    Column(*table, "FILE_SIZE", size);
    Column(*table, "FIRST_LEVEL_CHECKSUM", first);
    Column(*table, "SECOND_LEVEL_CHECKSUM", second);
    Column(*table, "SPYWARE_REF", ref);
    auto dataBase = std::make_unique<TDataBase>(JoinPath(folder, "unused.db"), false, std::string(kDataBasePassPhrase));
    dataBase->AddTable(std::move(table));
    return dataBase;
}

// The platform's own open + map of the whole file; with `touch`, the two checksum windows are
// read (summed) as the lookup reads them.
std::uint64_t PlatformOpenAndMap(const std::string& path, bool touch) {
    std::uint64_t sum = 0;
    const auto read = [&](const std::uint8_t* bytes, std::uint64_t length) {
        if (!touch) return;
        const TChecksumWindows windows = ChecksumWindowsOf(length);
        for (std::size_t i = 0; i < windows.HeadLength; i += 2) sum += bytes[i];
        for (std::size_t i = 0; i < windows.MiddleLength; i += 2) sum += bytes[windows.MiddleOffset + i];
    };
#ifdef _WIN32
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileA failed");
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) throw std::runtime_error("CreateFileMappingA failed");
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) throw std::runtime_error("MapViewOfFile failed");
    read(static_cast<const std::uint8_t*>(view), static_cast<std::uint64_t>(size.QuadPart));
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
#else
    const int file = ::open(path.c_str(), O_RDONLY);
    if (file < 0) throw std::runtime_error("open failed");
    const off_t size = ::lseek(file, 0, SEEK_END);
    void* view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, file, 0);
    if (view == MAP_FAILED) throw std::runtime_error("mmap failed");
    read(static_cast<const std::uint8_t*>(view), static_cast<std::uint64_t>(size));
    ::munmap(view, static_cast<std::size_t>(size));
    ::close(file);
#endif
    return sum;
}

// The platform's own calls for the lookup's work: open, one mapping object, a view of each
// window (the middle one from its allocation boundary), both windows read.
std::uint64_t PlatformOpenAndMapTwoViews(const std::string& path) {
    std::uint64_t sum = 0;
#ifdef _WIN32
    static const DWORD granularity = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return info.dwAllocationGranularity;
    }();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileA failed");
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    const TChecksumWindows windows = ChecksumWindowsOf(static_cast<std::uint64_t>(size.QuadPart));
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) throw std::runtime_error("CreateFileMappingA failed");
    const auto* head =
        static_cast<const std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, windows.HeadLength));
    const std::uint64_t start = windows.MiddleOffset - windows.MiddleOffset % granularity;
    const std::size_t lead = static_cast<std::size_t>(windows.MiddleOffset - start);
    const auto* middle = static_cast<const std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ,
                                                                        static_cast<DWORD>(start >> 32),
                                                                        static_cast<DWORD>(start),
                                                                        lead + windows.MiddleLength));
    if (head == nullptr || middle == nullptr) throw std::runtime_error("MapViewOfFile failed");
    for (std::size_t i = 0; i < windows.HeadLength; i += 2) sum += head[i];
    for (std::size_t i = 0; i < windows.MiddleLength; i += 2) sum += middle[lead + i];
    UnmapViewOfFile(middle);
    UnmapViewOfFile(head);
    CloseHandle(mapping);
    CloseHandle(file);
#else
    const int file = ::open(path.c_str(), O_RDONLY);
    if (file < 0) throw std::runtime_error("open failed");
    const off_t size = ::lseek(file, 0, SEEK_END);
    const TChecksumWindows windows = ChecksumWindowsOf(static_cast<std::uint64_t>(size));
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = windows.MiddleOffset - windows.MiddleOffset % page;
    const std::size_t lead = static_cast<std::size_t>(windows.MiddleOffset - start);
    void* head = ::mmap(nullptr, windows.HeadLength, PROT_READ, MAP_SHARED, file, 0);
    void* middle = ::mmap(nullptr, lead + windows.MiddleLength, PROT_READ, MAP_SHARED, file, static_cast<off_t>(start));
    if (head == MAP_FAILED || middle == MAP_FAILED) throw std::runtime_error("mmap failed");
    for (std::size_t i = 0; i < windows.HeadLength; i += 2) sum += static_cast<const std::uint8_t*>(head)[i];
    for (std::size_t i = 0; i < windows.MiddleLength; i += 2) sum += static_cast<const std::uint8_t*>(middle)[lead + i];
    ::munmap(middle, lead + windows.MiddleLength);
    ::munmap(head, windows.HeadLength);
    ::close(file);
#endif
    return sum;
}

}  // namespace

int main() {
    const std::filesystem::path folderPath =
        std::filesystem::temp_directory_path() /
        ("sentrel-lookup-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folderPath);
    const std::string folder = folderPath.string();
    const std::string hitPath = JoinPath(folder, "hit.bin");
    const std::string missPath = JoinPath(folder, "miss.bin");
    std::vector<std::uint8_t> content(kFileSize);
    std::mt19937 random(7);
    for (auto& byte : content) byte = static_cast<std::uint8_t>(random());
    WriteFileBytes(hitPath, content);
    content.push_back(0);
    WriteFileBytes(missPath, content);  // one byte longer: a length no row has

#ifdef _WIN32
    const TFileAccess& system = SystemFileAccess();
    const char* accessName = "read-only mappings of the two windows";
    const char* platformName = "CreateFile + CreateFileMapping + MapViewOfFile (whole file)";
#else
    const TPlainFileAccess system;
    const char* accessName = "plain reads of the two windows";
    const char* platformName = "open + mmap (whole file)";
#endif
    const CountingFileAccess files(system);
    const NoFolders folders;
    const TFileChecksums hit = ComputeFileChecksums(system, hitPath);

    std::printf("Checksums table: %d rows; file %zu bytes; file access: %s\n", kChecksumRows + 3, kFileSize,
                accessName);
    const TThreatTables tables(MakeTables(folder, static_cast<std::int64_t>(kFileSize), hit, 3));
    const TLookupSystem lookupSystem{files, folders, JoinPath(folder, "")};

    bool missFound = true;
    const double miss =
        MicrosecondsPerCall([&] { missFound = IsKnownSpywareFile(tables, lookupSystem, missPath).Found; });
    const long missOpens = files.Opens;
    std::int32_t hitRef = 0;
    const double found =
        MicrosecondsPerCall([&] { hitRef = IsKnownSpywareFile(tables, lookupSystem, hitPath).SpywareRef; });
    const long hitOpens = files.Opens - missOpens;
    std::uint64_t sink = 0;
    const double bare = MicrosecondsPerCall([&] { sink += PlatformOpenAndMap(hitPath, false); });
    const double touched = MicrosecondsPerCall([&] { sink += PlatformOpenAndMap(hitPath, true); });
    const double twoViews = MicrosecondsPerCall([&] { sink += PlatformOpenAndMapTwoViews(hitPath); });

    std::printf("%-44s %9.2f us/call  (found: %s; files opened: %ld)\n", "lookup, length not in the index", miss,
                missFound ? "yes" : "no", missOpens);
    std::printf("%-44s %9.2f us/call  (ref %d; files opened: %ld in %d calls)\n",
                "lookup, length indexed, checksums computed", found, hitRef, hitOpens, kRepeats * kCalls);
    std::printf("%-44s %9.2f us/call  (%s)\n", "platform open + map, nothing read", bare, platformName);
    std::printf("%-44s %9.2f us/call  (the same, reading the two windows)\n", "platform open + map + two windows",
                touched);
    std::printf("%-44s %9.2f us/call  (a view per window, as the lookup maps them)\n",
                "platform open + two window views", twoViews);
    sinkHole = sink;
    std::printf("ratio checksum lookup / platform open + map + two windows: %.2f; / two window views: %.2f\n",
                found / touched, found / twoViews);

    std::error_code ignored;
    std::filesystem::remove_all(folderPath, ignored);
    return 0;
}
