// What the tables imported from the public feeds (TrackerDomains, MaliciousHosts, PublicSuffixes)
// cost the shipped database: its size, the start-up load and index build with and without them
// beside the floor of any load (read, decrypt and inflate the file), the memory one loaded copy
// with its indexes takes (each measured in a fresh process of this program), a week of feed
// changes shipped as a numbered update against copying and loading the whole file, and the speed
// of the lookups the feeds serve. Every time is the best of several runs.
//
//   feeds_bench [database.db]    the shipped database; default: database.db beside the program
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/Files.h"
#include "config/Options.h"
#include "database/Archive.h"
#include "database/ByteStream.h"
#include "database/Cipher.h"
#include "database/DataBaseUpdate.h"
#include "database/Patch.h"
#include "database/Sha1.h"
#include "database/ThreatTables.h"
#include "database/UpdateSignature.h"
#include "BenchProcess.h"


namespace {

using namespace sentrel;
using namespace sentrel::bench;
using Clock = std::chrono::steady_clock;
constexpr int kRepeats = 7;
constexpr int kCommands = 10000;
constexpr int kHosts = 100000;
constexpr std::string_view kFeedTables[] = {kTrackerDomainsTable, kMaliciousHostsTable, kPublicSuffixesTable};
constexpr std::string_view kMemoryOption = "--measure-memory";
volatile std::size_t sinkHole = 0;  // keeps the lookups' answers alive



// The memory a loaded copy of `path` with its indexes adds to a fresh process of this program.
// The code the load runs is touched first (a load of `warmUp`), so that its pages are not counted.
MemoryFigures MemoryOfOneCopy(const std::string& path, const std::string& warmUp) {
    const std::string output =
        OutputOf(Quoted(ThisProgram()) + " " + std::string(kMemoryOption) + " " + Quoted(path) + " " + Quoted(warmUp));
    MemoryFigures added{};
    const char* next = output.c_str();
    for (std::int64_t& figure : added) {
        long long before = 0;
        long long after = 0;
        int used = 0;
        if (std::sscanf(next, "%lld %lld%n", &before, &after, &used) != 2)
            throw std::runtime_error("the memory measurement answered: " + output);
        figure = after - before;
        next += used;
    }
    return added;
}

// The child's side: prints the process's memory before and after one loaded copy.
int PrintMemoryOfOneCopy(const std::string& path, const std::string& warmUp) {
    {
        const TDataBase first(warmUp, true, std::string(kDataBasePassPhrase));
        const TThreatIndexes indexes = BuildThreatIndexes(first);
        sinkHole = sinkHole + static_cast<std::size_t>(indexes.hosts.TrackerDomainCount());
    }
    const MemoryFigures before = ProcessMemory();
    const auto dataBase = std::make_unique<TDataBase>(path, true, std::string(kDataBasePassPhrase));
    const TThreatIndexes indexes = BuildThreatIndexes(*dataBase);
    const MemoryFigures after = ProcessMemory();
    for (std::size_t i = 0; i < before.size(); ++i)
        std::printf("%lld %lld\n", static_cast<long long>(before[i]), static_cast<long long>(after[i]));
    sinkHole = sinkHole + static_cast<std::size_t>(indexes.hosts.TrackerDomainCount());
    return 0;
}

// --- Tables --------------------------------------------------------------------------------------

std::unique_ptr<TTable> CopyTable(const TTable& table) {
    std::vector<std::uint8_t> bytes;
    ByteWriter writer(bytes);
    table.SaveToStream(writer);
    ByteReader reader(bytes);
    auto copy = std::make_unique<TTable>();
    copy->LoadFromStream(reader);
    return copy;
}

void SaveTables(const std::string& path, std::vector<std::unique_ptr<TTable>> tables) {
    TDataBase dataBase(path, false, std::string(kDataBasePassPhrase));
    for (auto& table : tables) dataBase.AddTable(std::move(table));
    dataBase.Save();
}

std::vector<std::uint8_t> Unpacked(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    TCipher(kDataBasePassPhrase).Decrypt(bytes);
    return InflateRecord(ReadArchiveRecords(bytes).at(0));
}

std::vector<std::uint8_t> Serialised(const TDataBase& dataBase) {
    std::vector<std::uint8_t> bytes;
    dataBase.SaveToStream(bytes);
    return bytes;
}

bool IsFeedTable(std::string_view name) {
    return std::any_of(std::begin(kFeedTables), std::end(kFeedTables),
                       [name](std::string_view feed) { return SameNameIgnoringCase(name, feed); });
}

// A fixed scramble of a number (splitmix64), so that every run picks the same rows.
std::uint64_t Scrambled(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::string MadeUpHost(std::uint64_t seed, std::string_view ending) {
    char name[32];
    std::snprintf(name, sizeof(name), "x%08llx", static_cast<unsigned long long>(Scrambled(seed) & 0xFFFFFFFFull));
    return std::string(name) + std::string(ending);
}

struct FeedChange {
    int added = 0;     // rows of this week that last week's feed did not have
    int replaced = 0;  // rows of this week that stand where last week's feed had another host
};

// Last week's version of a one-column feed table: 2% of its rows not there yet, 1% of them in
// place of hosts that have since left the feed; in byte order, as the import writes it.
std::unique_ptr<TTable> LastWeeksFeed(const TTable& table, std::uint64_t salt, FeedChange& change) {
    if (table.ColumnCount() != 1) throw std::runtime_error(table.Name() + " does not have one column");
    const TColumn& column = *table.GetColumn(0);
    std::vector<std::string> values;
    values.reserve(static_cast<std::size_t>(table.RowCount()));
    for (int row = 0; row < table.RowCount() && row < column.Count(); ++row) {
        const std::uint64_t draw = Scrambled(salt * 1000003u + static_cast<std::uint64_t>(row)) % 100;
        if (draw < 2) {
            ++change.added;
        } else if (draw == 2) {
            ++change.replaced;
            values.push_back(MadeUpHost(salt * 7919u + static_cast<std::uint64_t>(row), ".gone.example"));
        } else {
            values.emplace_back(column.Values()[static_cast<std::size_t>(row)]);
        }
    }
    std::sort(values.begin(), values.end());
    auto old = std::make_unique<TTable>(table.Name());
    old->AddColumn(std::make_unique<TColumn>(column.Name()));
    old->GetColumn(0)->Reserve(values.size());
    for (const std::string& value : values) {
        old->AddRow();
        old->GetColumn(0)->SetString(old->RowCount() - 1, value);
    }
    return old;
}

class DigestVerifier : public TSignatureVerifier {
public:
    bool Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature) const override {
        const auto digest = Sha1::Of(data);
        return std::equal(signature.begin(), signature.end(), digest.begin(), digest.end());
    }
};

// --- Lookups -------------------------------------------------------------------------------------

std::vector<std::string_view> ColumnOf(const TDataBase& dataBase, std::string_view table, std::string_view column) {
    const TTable* found = dataBase.FindTable(table);
    const TColumn* cells = found == nullptr ? nullptr : found->FindColumn(column);
    if (cells == nullptr || cells->Values().empty())
        throw std::runtime_error(std::string(table) + "." + std::string(column) + " is missing or empty");
    return cells->Values();
}

template <typename Values>
std::string_view Pick(const Values& values, std::uint64_t seed) {
    return values[static_cast<std::size_t>(Scrambled(seed) % values.size())];
}

// What autostart entries and services run: mostly ordinary programs, a share of suspicious ones.
std::vector<std::string> MadeUpCommands(const std::vector<std::string_view>& maliciousHosts) {
    std::vector<std::string> commands;
    commands.reserve(kCommands);
    const std::string system = "C:\\Windows\\System32\\";
    for (int i = 0; i < kCommands; ++i) {
        const std::string n = std::to_string(i);
        std::string command;
        switch (i % 20) {
        case 12: command = system + "svchost.exe -k netsvcs -p -s Svc" + n; break;
        case 13: command = system + "rundll32.exe " + system + "shell32.dll,Run" + n; break;
        case 14:
            command = "\"C:\\Program Files (x86)\\Vendor" + n + "\\update.exe\" --server https://upd" + n +
                      ".vendor.example/";
            break;
        case 15: command = "mshta.exe http://" + std::string(Pick(maliciousHosts, i)) + "/a" + n + ".hta"; break;
        case 16: command = "powershell.exe -NoP -w hidden -enc SQBFAFgAIAAo" + n; break;
        case 17: command = "C:\\Users\\Bob\\AppData\\Local\\Temp\\upd" + n + ".exe /quiet"; break;
        case 18: command = "\"C:\\Users\\Bob\\Downloads\\invoice" + n + ".pdf.exe\""; break;
        case 19:
            command = "C:\\ProgramData\\Agent" + n + "\\agent.exe --connect 198.51.100." + std::to_string(i % 250);
            break;
        default:
            command = "\"C:\\Program Files\\Vendor" + n + "\\App Helper\\helper" + n + ".exe\" /background /minimized";
            break;
        }
        commands.push_back(std::move(command));
    }
    return commands;
}

std::string FolderOf(std::string_view name) {
    if (name == "TEMP") return "C:\\Users\\Bob\\AppData\\Local\\Temp";
    if (name == "PUBLIC") return "C:\\Users\\Public";
    if (name == "PROGRAMDATA") return "C:\\ProgramData";
    if (name == "APPDATA") return "C:\\Users\\Bob\\AppData\\Roaming";
    if (name == "USERPROFILE") return "C:\\Users\\Bob";
    if (name == "SYSTEMROOT") return "C:\\Windows";
    return {};
}

// Hosts a browser or a command might name: a quarter below listed tracker domains, a quarter
// listed malicious hosts, a quarter new names under listed public suffixes, a quarter made up.
std::vector<std::string> MadeUpHosts(const TDataBase& dataBase) {
    const auto trackers = ColumnOf(dataBase, kTrackerDomainsTable, kDomainColumn);
    const auto malicious = ColumnOf(dataBase, kMaliciousHostsTable, kHostColumn);
    std::vector<std::string_view> suffixes;
    for (const std::string_view suffix : ColumnOf(dataBase, kPublicSuffixesTable, kSuffixColumn))
        if (!suffix.starts_with('!') && !suffix.starts_with('*')) suffixes.push_back(suffix);
    std::vector<std::string> hosts;
    hosts.reserve(kHosts);
    for (int i = 0; i < kHosts; ++i) {
        const std::uint64_t seed = 0xFEED0000u + static_cast<std::uint64_t>(i);
        switch (i % 4) {
        case 0: hosts.push_back("cdn" + std::to_string(i % 7) + "." + std::string(Pick(trackers, seed))); break;
        case 1: hosts.emplace_back(Pick(malicious, seed)); break;
        case 2: hosts.push_back("www.shop" + std::to_string(i) + "." + std::string(Pick(suffixes, seed))); break;
        default: hosts.push_back(MadeUpHost(seed, ".example.com")); break;
        }
    }
    std::shuffle(hosts.begin(), hosts.end(), std::mt19937(20240611));
    return hosts;
}

// Nanoseconds per call of `lookup` over every item, the best of several passes; `hits` gets the
// number of items it answered yes (or non-empty) for.
template <typename Items, typename Lookup>
double NanosecondsPerItem(const Items& items, const Lookup& lookup, int& hits) {
    const double seconds = Best([&] {
        int found = 0;
        for (const auto& item : items) found += lookup(item) ? 1 : 0;
        hits = found;
    });
    sinkHole = sinkHole + static_cast<std::size_t>(hits);
    return seconds * 1e9 / static_cast<double>(items.size());
}

std::string DefaultDataBase() {
    return FolderPart(ThisProgram()) + "database.db";
}

double Ms(double seconds) {
    return seconds * 1e3;
}

int Run(const std::string& shipped) {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        ("sentrel-feeds-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(base / "program");
    const std::string folder = base.string() + std::string(1, kPathSeparator);
    const std::string program = folder + "program" + std::string(1, kPathSeparator);
    const std::string after = folder + "after.db";
    const std::string before = folder + "before.db";
    WriteFileBytes(after, ReadFileBytes(shipped));

    // 1. The shipped database.
    const TDataBase loaded(after, true, std::string(kDataBasePassPhrase));
    const std::int64_t afterSize = FileSize(after);
    std::printf("Shipped database %s: %lld bytes\n", shipped.c_str(), static_cast<long long>(afterSize));
    std::vector<std::unique_ptr<TTable>> withoutFeeds;
    for (int i = 0; i < loaded.TableCount(); ++i) {
        const TTable& table = *loaded.GetTableByIndex(i);
        std::printf("  %-16s %7d rows\n", table.Name().c_str(), table.RowCount());
        if (!IsFeedTable(table.Name())) withoutFeeds.push_back(CopyTable(table));
    }

    // 2. Start-up before and after the feeds.
    SaveTables(before, std::move(withoutFeeds));
    const std::int64_t beforeSize = FileSize(before);
    std::printf("Before the feeds (no TrackerDomains, MaliciousHosts, PublicSuffixes): %lld bytes (%.0fx smaller)\n",
                static_cast<long long>(beforeSize), static_cast<double>(afterSize) / static_cast<double>(beforeSize));

    const auto loadTime = [](const std::string& path) {
        return Best([&] { const TDataBase dataBase(path, true, std::string(kDataBasePassPhrase)); });
    };
    const auto indexTime = [](const std::string& path) {
        const TDataBase dataBase(path, true, std::string(kDataBasePassPhrase));
        return Best([&] { sinkHole = sinkHole + BuildThreatIndexes(dataBase).hosts.TrackerDomainCount(); });
    };
    const double loadBefore = loadTime(before);
    const double loadAfter = loadTime(after);
    const double indexBefore = indexTime(before);
    const double indexAfter = indexTime(after);
    const double floor = Best([&] { sinkHole = sinkHole + Unpacked(after).size(); });
    std::printf("\nStart-up (best of %d)               before      after   the feeds cost\n", kRepeats);
    std::printf("  LoadFromFile                  %8.2f ms %8.2f ms %+10.2f ms\n", Ms(loadBefore), Ms(loadAfter),
                Ms(loadAfter - loadBefore));
    std::printf("  BuildThreatIndexes            %8.2f ms %8.2f ms %+10.2f ms\n", Ms(indexBefore), Ms(indexAfter),
                Ms(indexAfter - indexBefore));
    std::printf("  load + indexes                %8.2f ms %8.2f ms %+10.2f ms\n", Ms(loadBefore + indexBefore),
                Ms(loadAfter + indexAfter), Ms(loadAfter + indexAfter - loadBefore - indexBefore));
    std::printf("  floor: read + decrypt + inflate of the after file: %.2f ms (load + indexes: %.2fx the floor)\n",
                Ms(floor), (loadAfter + indexAfter) / floor);

    // 3. Memory of one loaded copy with its indexes, each in a fresh process.
    const MemoryFigures memoryBefore = MemoryOfOneCopy(before, before);
    const MemoryFigures memoryAfter = MemoryOfOneCopy(after, before);
    std::printf("\nMemory one loaded copy with its indexes adds to a fresh process (unpacked tables %.2f MB)\n",
                Unpacked(after).size() / 1048576.0);
    for (std::size_t i = 0; i < memoryBefore.size(); ++i)
        std::printf("  %-14s before %8.2f MB   after %8.2f MB\n", kMemoryNames[i], memoryBefore[i] / 1048576.0,
                    memoryAfter[i] / 1048576.0);

    // 4. A week of feed changes as update 2.
    std::vector<std::unique_ptr<TTable>> lastWeek;
    FeedChange change;
    std::uint64_t salt = 1;
    for (int i = 0; i < loaded.TableCount(); ++i) {
        const TTable& table = *loaded.GetTableByIndex(i);
        const bool changes = SameNameIgnoringCase(table.Name(), kTrackerDomainsTable) ||
                             SameNameIgnoringCase(table.Name(), kMaliciousHostsTable);
        lastWeek.push_back(changes ? LastWeeksFeed(table, salt++, change) : CopyTable(table));
    }
    SaveTables(folder + "old.db", std::move(lastWeek));
    const std::vector<std::uint8_t> oldBytes = Unpacked(folder + "old.db");
    const std::vector<std::uint8_t> newBytes = Unpacked(after);
    std::vector<std::uint8_t> archive =
        BuildArchive(std::string(kUnpackedUpdateName), MakePatch(2, oldBytes, newBytes));
    TCipher(kDataBasePassPhrase).Encrypt(archive);
    WriteFileBytes(folder + "update2.dat", archive);
    WriteFileBytes(folder + "update2.dat.sig", Sha1::Of(archive));
    const std::int64_t updateSize = FileSize(folder + "update2.dat");
    std::printf("\nFeeds refresh as update 2: %d TrackerDomains and MaliciousHosts rows new, %d replaced\n",
                change.added, change.replaced);
    std::printf("  update file %lld bytes against database.db %lld bytes (%.1f%%)\n",
                static_cast<long long>(updateSize), static_cast<long long>(afterSize),
                100.0 * static_cast<double>(updateSize) / static_cast<double>(afterSize));

    const double cachedCopy = Best([&] { WriteFileBytes(folder + "copy.db", ReadFileBytes(after), false); });
    const double flushedCopy = Best([&] { WriteFileAtomically(folder + "copy.db", ReadFileBytes(after)); });
    // One step of the update, shown apart: deflating the whole new database again.
    const double pack = Best([&] { sinkHole = sinkHole + BuildArchive(kPatchedDataBaseName, newBytes).size(); });
    TOptions options(kOptionsFileName, program);
    const DigestVerifier verifier;
    double whole = 1e30;
    bool right = true;
    for (int i = 0; i < kRepeats; ++i) {
        WriteFileBytes(program + "database.db", ReadFileBytes(folder + "old.db"));
        options.WriteInteger(kDataBaseNumberOption, 1);
        TThreatTables tables(
            std::make_unique<TDataBase>(program + "database.db", true, std::string(kDataBasePassPhrase)));
        const TDataBaseUpdater updater(program + "database.db", std::string(kDataBasePassPhrase), options, verifier);
        const auto start = Clock::now();
        const TUpdateResult result = updater.Apply(folder + "update2.dat", tables);
        whole = std::min(whole, std::chrono::duration<double>(Clock::now() - start).count());
        right = right && result.Applied && Unpacked(program + "database.db") == newBytes &&
                Serialised(tables.DataBase()) == newBytes;
    }
    if (!right) std::printf("WRONG: the applied update did not give the shipped database\n");
    std::printf("  copy of database.db (cached)             %8.2f ms\n", Ms(cachedCopy));
    std::printf("  copy of database.db (flushed, one step)  %8.2f ms\n", Ms(flushedCopy));
    std::printf("  LoadFromFile (plain load)                %8.2f ms\n", Ms(loadAfter));
    std::printf("  deflate of the new tables (BuildArchive) %8.2f ms  (a step of the update)\n", Ms(pack));
    std::printf("  whole update (Apply)                     %8.2f ms  (%.1fx the flushed copy, %.1fx the load)\n",
                Ms(whole), whole / flushedCopy, whole / loadAfter);

    // 5. Lookups.
    const TThreatIndexes indexes = BuildThreatIndexes(loaded);
    const std::vector<std::string> commands =
        MadeUpCommands(ColumnOf(loaded, kMaliciousHostsTable, kHostColumn));
    const std::vector<std::string> hosts = MadeUpHosts(loaded);
    const HostTest isMalicious = [&](std::string_view host) { return indexes.hosts.IsMaliciousHost(host); };
    int hits = 0;
    std::printf("\nLookups (best of %d passes)\n", kRepeats);
    double ns = NanosecondsPerItem(
        commands,
        [&](const std::string& command) {
            return !indexes.dangerRules.Judge({.command = command}, FolderOf, isMalicious).Empty();
        },
        hits);
    std::printf("  TDangerRules::Judge        %8.0f ns per command (%d commands, %d with reasons)\n", ns, kCommands,
                hits);
    ns = NanosecondsPerItem(hosts, [&](const std::string& host) { return indexes.hosts.IsTrackerHost(host); }, hits);
    std::printf("  THostLists::IsTrackerHost  %8.0f ns per lookup (%d hosts, %d trackers)\n", ns, kHosts, hits);
    ns = NanosecondsPerItem(hosts, [&](const std::string& host) { return indexes.hosts.IsMaliciousHost(host); }, hits);
    std::printf("  IsMaliciousHost            %8.0f ns per lookup (%d hosts, %d listed)\n", ns, kHosts, hits);
    ns = NanosecondsPerItem(
        hosts, [&](const std::string& host) { return !indexes.hosts.RegistrableDomain(host).empty(); }, hits);
    std::printf("  RegistrableDomain          %8.0f ns per lookup (%d hosts, %d with one)\n", ns, kHosts, hits);

    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && argv[1] == kMemoryOption) return PrintMemoryOfOneCopy(argv[2], argv[3]);
        return Run(argc > 1 ? argv[1] : DefaultDataBase());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "feeds_bench: %s\n", error.what());
        return 1;
    }
}
