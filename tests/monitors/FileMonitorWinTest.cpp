// The system-folder file monitor against real file changes under Wine: a temporary folder is the
// watched folder, and a test database knows one file content by the checksums computed here.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "core/WarningQueue.h"
#include "database/ThreatTables.h"
#include "monitors/FileMonitor.h"
#include "monitors/KnownContent.h"
#include "platform/DirectoryChanges.h"
#include "platform/UiTask.h"
#include "database/MappedFileAccessWin.h"
#include "database/ShellFoldersWin.h"
#include "platform/Win32Error.h"
#include "support/MessagePump.h"
#include "support/TempFolder.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using test::KnownContentDataBase;
using test::PumpFor;
using test::PumpUntil;
using test::TempFolder;
using test::ThreatContent;
using test::WriteTextFile;

constexpr DWORD kWaitMs = 15000;


struct Report {
    std::string Kind;  // "new" (TFileWarning), "deleted" (TFileChangeWarning) or "running" (TProcessWarning)
    std::string Name;
    std::string FilePath;
    friend bool operator==(const Report&, const Report&) = default;
};

void PrintTo(const Report& report, std::ostream* out) {
    *out << report.Kind << ' ' << report.Name << " in " << report.FilePath;
}

// The system's file access, which can play a writer that finishes a file while the monitor tests
// it: the first time the size of the armed path is asked, the content is written once the size
// was taken.
class FinishingWriter final : public TFileAccess {
public:
    void Arm(std::string path, std::string content) {
        path_ = std::move(path);
        content_ = std::move(content);
    }
    std::optional<std::int64_t> FindFileSize(const std::string& path) const override {
        const auto size = SystemFileAccess().FindFileSize(path);
        if (!path_.empty() && path == path_) {
            WriteTextFile(path_, content_);
            path_.clear();
        }
        return size;
    }
    std::unique_ptr<TOpenedFile> OpenForReading(const std::string& path) const override {
        return SystemFileAccess().OpenForReading(path);
    }

private:
    mutable std::string path_;
    std::string content_;
};

// The monitor on a fresh watched folder, with the queue and tables the main window would own.
class FileMonitorTest : public ::testing::Test {
protected:
    FileMonitorTest()
        : tables_(KnownContentDataBase()),
          tracker_(watched_.Path(), [this]() -> const TThreatTables& { return tables_; }, queue_,
                   TLookupSystem{files_, MacroFolders(), program_.Path()}) {}

    // Takes every queued warning out, in order.
    std::vector<Report> Drain() {
        std::vector<Report> reports;
        while (!queue_.Empty()) {
            const TWarning* head = queue_.Head();
            if (const auto* process = dynamic_cast<const TProcessWarning*>(head)) {
                reports.push_back({"running", process->Name, process->FilePath});
            } else if (const auto* change = dynamic_cast<const TFileChangeWarning*>(head)) {
                reports.push_back({"deleted", change->Name, change->FilePath});
            } else if (const auto* file = dynamic_cast<const TFileWarning*>(head)) {
                reports.push_back({"new", file->Name, file->FilePath});
            } else {
                reports.push_back({"other", head->Name, ""});
            }
            queue_.RemoveHead();
        }
        return reports;
    }

    // Runs messages until a warning named `name` has been queued; returns every warning queued
    // up to then, in order.
    std::vector<Report> ReportsUntil(const std::string& name) {
        std::vector<Report> reports;
        const bool seen = PumpUntil(
            [&] {
                for (auto& report : Drain()) reports.push_back(std::move(report));
                for (const auto& report : reports) {
                    if (report.Name == name) return true;
                }
                return false;
            },
            kWaitMs);
        EXPECT_TRUE(seen) << "no warning for " << name;
        return reports;
    }

    // Creates a file the database knows in the watched folder.
    std::string CreateKnown(const std::string& name) {
        WriteTextFile(watched_ / name, ThreatContent());
        return watched_ / name;
    }

    platform::uitask::Host uiTasks_;  // the watcher's hand-overs run in the pumps
    TempFolder watched_;
    TempFolder program_;
    TempFolder outside_;
    WarningQueue queue_;
    TThreatTables tables_;
    FinishingWriter files_;
    TFileChangesTracker tracker_;
};

TEST(ShieldMoves, RemembersPathsForAShortWhileWithoutRegardToCase) {
    TShieldMoves moves;
    moves.Add("C:\\Windows\\evil.dll", 1000);
    moves.Add("C:\\Prog\\backuped\\1", 5000);
    EXPECT_TRUE(moves.Contains("C:\\Windows\\evil.dll", 1001));
    EXPECT_TRUE(moves.Contains("c:\\WINDOWS\\EVIL.DLL", 1002));  // asked again: not one-shot
    EXPECT_FALSE(moves.Contains("C:\\Windows\\other.dll", 1003));
    EXPECT_FALSE(moves.Contains("C:\\Windows\\evil.dll", 1000 + TShieldMoves::kLifetimeMs));
    EXPECT_EQ(moves.Count(), 1u);  // the expired entry is forgotten
    moves.Add("C:\\PROG\\backuped\\1", 9000);  // marking again extends the same entry
    EXPECT_EQ(moves.Count(), 1u);
    EXPECT_TRUE(moves.Contains("C:\\Prog\\backuped\\1", 9000 + TShieldMoves::kLifetimeMs - 1));
}

// Builds the bytes ReadDirectoryChangesW would leave: records of (action, name), each aligned
// to four bytes.
std::vector<DWORD> ChangeRecords(const std::vector<std::pair<DWORD, std::wstring>>& records) {
    std::vector<unsigned char> bytes;
    constexpr std::size_t kHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& [action, name] = records[i];
        const std::size_t nameBytes = name.size() * sizeof(wchar_t);
        const std::size_t size = (kHeader + nameBytes + 3) / 4 * 4;
        FILE_NOTIFY_INFORMATION header{};
        header.NextEntryOffset = i + 1 < records.size() ? static_cast<DWORD>(size) : 0;
        header.Action = action;
        header.FileNameLength = static_cast<DWORD>(nameBytes);
        const std::size_t at = bytes.size();
        bytes.resize(at + size);
        std::memcpy(bytes.data() + at, &header, kHeader);
        std::memcpy(bytes.data() + at + kHeader, name.data(), nameBytes);
    }
    std::vector<DWORD> aligned(bytes.size() / 4);  // every record's size is a multiple of four
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<unsigned char*>(aligned.data()));
    return aligned;
}

TEST(DirectoryChanges, ParsesRecordsAndStopsAtTheEndOrAtATruncatedRecord) {
    const auto buffer = ChangeRecords({{FILE_ACTION_ADDED, L"system32\\evil.dll"},
                                       {FILE_ACTION_REMOVED, L"a"},
                                       {FILE_ACTION_RENAMED_NEW_NAME, L"new name.txt"}});
    const std::size_t bytes = buffer.size() * sizeof(DWORD);
    const auto all = platform::ParseChangeRecords(buffer.data(), bytes);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].Action, static_cast<DWORD>(FILE_ACTION_ADDED));
    EXPECT_EQ(all[0].Name, "system32\\evil.dll");
    EXPECT_EQ(all[1].Action, static_cast<DWORD>(FILE_ACTION_REMOVED));
    EXPECT_EQ(all[1].Name, "a");
    EXPECT_EQ(all[2].Name, "new name.txt");

    // The last record cut short: its name would reach past the valid bytes.
    EXPECT_EQ(platform::ParseChangeRecords(buffer.data(), bytes - 4).size(), 2u);
    EXPECT_TRUE(platform::ParseChangeRecords(buffer.data(), 0).empty());
}

TEST(DirectoryChanges, CancelEndsAWaitingReadAtOnce) {
    TempFolder folder;
    platform::DirectoryChangeReader reader(folder.Path());
    std::vector<platform::TDirectoryChange> changes;
    std::thread canceller([&reader] {
        Sleep(200);
        reader.Cancel();
    });
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(reader.Read(changes), platform::DirectoryChangeReader::ReadResult::Cancelled);
    canceller.join();
    EXPECT_LT(GetTickCount64() - started, 5000u);
    EXPECT_EQ(reader.Read(changes), platform::DirectoryChangeReader::ReadResult::Cancelled);  // stays cancelled
    EXPECT_THROW(platform::DirectoryChangeReader(folder / "missing\\"), platform::Win32Error);
}

TEST_F(FileMonitorTest, NewFileWarnsOnlyWhenTheDatabaseKnowsIt) {
    tracker_.SetActive(true);
    ASSERT_TRUE(tracker_.WatcherRunning());
    WriteTextFile(watched_ / "unknown.dll", ThreatContent(1));
    WriteTextFile(watched_ / "small.exe", "tiny");
    // The watcher hands its changes over in order: all before this file come first.
    const std::string known = CreateKnown("evil.dll");
    EXPECT_EQ(ReportsUntil("evil.dll"), (std::vector<Report>{{"new", "evil.dll", known}}));
}

TEST_F(FileMonitorTest, DeletedFilesWarnOnlyWhereWindowsNeedsThemToStart) {
    // What Windows empties by itself (its Temp folder, a marker, a log) goes unreported. (The
    // subfolders are made while watching: see below.)
    tracker_.SetActive(true);
    CreateFolders(watched_ / "Temp");
    CreateFolders(watched_ / "System32");
    for (const char* name : {"gone.sys", "ROLL_FORWARD", "Temp\\cached.dll", "setup.log", "System32\\lib.dll"})
        WriteTextFile(watched_ / name, "x");
    const std::string sentinel = CreateKnown("sentinel.exe");
    EXPECT_EQ(ReportsUntil("sentinel.exe"), (std::vector<Report>{{"new", "sentinel.exe", sentinel}}));
    for (const char* name : {"ROLL_FORWARD", "Temp\\cached.dll", "setup.log", "gone.sys", "System32\\lib.dll"})
        ASSERT_TRUE(RemoveFile(watched_ / name));
    EXPECT_EQ(ReportsUntil("lib.dll"), (std::vector<Report>{{"deleted", "gone.sys", watched_.Path()},
                                                            {"deleted", "lib.dll", watched_ / "System32\\"}}));
}

// A known threat the user let be and then removed was never a system file: no critical change.
TEST_F(FileMonitorTest, TheRemovalOfAReportedThreatIsNoCriticalChange) {
    WriteTextFile(watched_ / "plain.sys", "x");
    tracker_.SetActive(true);
    const std::string known = CreateKnown("ignored.dll");
    EXPECT_EQ(ReportsUntil("ignored.dll"), (std::vector<Report>{{"new", "ignored.dll", known}}));
    ASSERT_TRUE(RemoveFile(known));
    ASSERT_TRUE(RemoveFile(watched_ / "plain.sys"));  // reported once the line above is seen
    EXPECT_EQ(ReportsUntil("plain.sys"), (std::vector<Report>{{"deleted", "plain.sys", watched_.Path()}}));
    // Forgotten once removed: a file of that name made and removed later is judged afresh.
    WriteTextFile(known, "x");
    CreateKnown("sentinel.exe");
    ReportsUntil("sentinel.exe");
    ASSERT_TRUE(RemoveFile(known));
    EXPECT_EQ(ReportsUntil("ignored.dll"), (std::vector<Report>{{"deleted", "ignored.dll", watched_.Path()}}));
}

// A dropper starts what it dropped: the known file is held back a moment and reported once, as
// the running program, when it was started meanwhile (and not at all when the process monitor
// already told of that program); one not started is reported as a file.
TEST_F(FileMonitorTest, AKnownFileStartedRightAfterItAppearedIsReportedAsTheRunningProgram) {
    std::vector<std::string> running;
    int listings = 0;
    // Its program already queued by the process monitor, perhaps answered: told a moment before
    // the file monitor saw the file, whose report may come after the process monitor's tick.
    std::string told;
    std::uint64_t toldAt = 0;
    tracker_.SetRunningPrograms(
        [&] {
            ++listings;
            return running;
        },
        [&](const std::string& path, std::uint64_t sinceMs) { return path == told && toldAt >= sinceMs; });
    tracker_.SetActive(true);
    toldAt = GetTickCount64();
    Sleep(50);
    told = CreateKnown("answered.exe");
    running.push_back(told);
    const std::string started = CreateKnown("dropped.exe");
    std::string upper = started;  // the system's spelling may differ in case
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    running.push_back(upper);
    const std::string resting = CreateKnown("resting.dll");
    auto reports = ReportsUntil("resting.dll");
    PumpUntil([&] {
        for (auto& report : Drain()) reports.push_back(std::move(report));
        return reports.size() >= 2;
    }, kWaitMs);
    std::sort(reports.begin(), reports.end(), [](const Report& a, const Report& b) { return a.Name < b.Name; });
    EXPECT_EQ(reports, (std::vector<Report>{{"running", "dropped.exe", started}, {"new", "resting.dll", resting}}));
    EXPECT_GE(listings, 1);
}

TEST_F(FileMonitorTest, RenamingAFileRaisesNothing) {
    WriteTextFile(watched_ / "before.dll", ThreatContent());
    tracker_.SetActive(true);
    ASSERT_TRUE(MoveFileA((watched_ / "before.dll").c_str(), (watched_ / "after.dll").c_str()));
    const std::string sentinel = CreateKnown("sentinel.exe");
    EXPECT_EQ(ReportsUntil("sentinel.exe"), (std::vector<Report>{{"new", "sentinel.exe", sentinel}}));
}

TEST_F(FileMonitorTest, SwitchedOffReportsNothingAndSwitchedOnAgainReportsAgain) {
    tracker_.SetActive(true);
    tracker_.SetActive(false);
    tracker_.SetActive(false);
    EXPECT_FALSE(tracker_.WatcherRunning());
    CreateKnown("while-off.dll");
    WriteTextFile(watched_ / "deleted-while-off", "x");
    ASSERT_TRUE(RemoveFile(watched_ / "deleted-while-off"));
    PumpFor(1500);
    EXPECT_TRUE(Drain().empty());

    tracker_.SetActive(true);
    EXPECT_TRUE(tracker_.Active());
    EXPECT_TRUE(tracker_.WatcherRunning());
    const std::string known = CreateKnown("while-on.dll");
    EXPECT_EQ(ReportsUntil("while-on.dll"), (std::vector<Report>{{"new", "while-on.dll", known}}));
}

TEST_F(FileMonitorTest, TheShieldsOwnMovesAreNotReported) {
    const std::string stored = outside_ / "stored";
    WriteTextFile(stored, ThreatContent());
    WriteTextFile(watched_ / "fixed.exe", ThreatContent());
    tracker_.SetActive(true);

    // A fix moves a file out of the tree, an undo moves one back in.
    const std::string fixed = watched_ / "fixed.exe";
    const std::string restored = watched_ / "restored.dll";
    tracker_.MarkShieldMove(fixed);
    tracker_.MarkShieldMove(restored);
    ASSERT_TRUE(MoveFileA(fixed.c_str(), (outside_ / "fixed").c_str()));
    ASSERT_TRUE(MoveFileA(stored.c_str(), restored.c_str()));
    const std::string sentinel = CreateKnown("sentinel.exe");
    EXPECT_EQ(ReportsUntil("sentinel.exe"), (std::vector<Report>{{"new", "sentinel.exe", sentinel}}));
}

TEST_F(FileMonitorTest, ALockedNewFileIsTestedAgainOnceItsWriterLetsGo) {
    tracker_.SetActive(true);
    const std::string path = watched_ / "dropped.dll";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // The addition is seen while the file is still empty: before a file made after it.
    const std::string sentinel = CreateKnown("sentinel.exe");
    EXPECT_EQ(ReportsUntil("sentinel.exe"), (std::vector<Report>{{"new", "sentinel.exe", sentinel}}));
    const std::string content = ThreatContent();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    PumpFor(TFileChangesTracker::kRetryDelayMs * 2);  // full but locked: still unreadable
    EXPECT_TRUE(Drain().empty());
    CloseHandle(file);
    EXPECT_EQ(ReportsUntil("dropped.dll"), (std::vector<Report>{{"new", "dropped.dll", path}}));
}

TEST_F(FileMonitorTest, AFileItsWriterFinishedWhileItWasTestedIsTestedAgain) {
    tracker_.SetActive(true);
    const std::string path = watched_ / "filled.dll";
    files_.Arm(path, ThreatContent());
    WriteTextFile(path, "");  // the test reads it empty; by the look after the test it is full and free
    EXPECT_EQ(ReportsUntil("filled.dll"), (std::vector<Report>{{"new", "filled.dll", path}}));
}

TEST_F(FileMonitorTest, AKnownFileHiddenInABurstIsStillReported) {
    tracker_.SetActive(true);
    constexpr int kFiles = 4000;
    for (int i = 0; i < kFiles; ++i) {
        if (i == kFiles / 2) CreateKnown("hidden.dll");
        WriteTextFile(watched_ / ("burst-file-with-a-longish-name-" + std::to_string(i) + ".tmp"), "x");
    }
    const auto reports = ReportsUntil("hidden.dll");
    EXPECT_EQ(reports, (std::vector<Report>{{"new", "hidden.dll", watched_ / "hidden.dll"}}));
    // Whether the system lost changes here (and the tree was walked) depends on how it buffers.
    std::printf("overflow walks during the burst: %d\n", tracker_.OverflowWalks());
}

TEST_F(FileMonitorTest, AfterLostChangesEveryFileOfTheTreeIsTested) {
    ASSERT_TRUE(CreateDirectoryA((watched_ / "deep").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((watched_ / "deep\\er").c_str(), nullptr));
    for (int i = 0; i < 700; ++i) WriteTextFile(watched_ / ("plain-" + std::to_string(i) + ".dll"), "x");
    CreateKnown("deep\\er\\buried.exe");
    CreateKnown("top.dll");
    CreateKnown("being-fixed.dll");

    const std::atomic<bool> stopping{false};
    auto files = ListTreeFiles(watched_.Path(), stopping);
    EXPECT_EQ(files.size(), 703u);
    EXPECT_NE(std::find(files.begin(), files.end(), watched_ / "deep\\er\\buried.exe"), files.end());
    EXPECT_TRUE(ListTreeFiles(watched_ / "missing\\", stopping).empty());

    tracker_.TestEveryFile(files);  // switched off: nothing is tested
    PumpFor(200);
    EXPECT_TRUE(Drain().empty());

    tracker_.SetActive(true);
    tracker_.MarkShieldMove(watched_ / "being-fixed.dll");
    tracker_.TestEveryFile(files);
    // More paths than one slice: the rest is tested on later messages.
    auto reports = ReportsUntil("buried.exe");
    PumpUntil(
        [&] {
            for (auto& report : Drain()) reports.push_back(std::move(report));
            return reports.size() >= 2;
        },
        kWaitMs);
    std::sort(reports.begin(), reports.end(), [](const Report& a, const Report& b) { return a.Name < b.Name; });
    EXPECT_EQ(reports, (std::vector<Report>{{"new", "buried.exe", watched_ / "deep\\er\\buried.exe"},
                                            {"new", "top.dll", watched_ / "top.dll"}}));
}

TEST_F(FileMonitorTest, AKnownFileFoundWhileTheQueueIsFullWaitsForRoom) {
    for (std::size_t i = 0; i < WarningQueue::kCapacity; ++i)
        queue_.QueueWarning(std::make_unique<TCookieWarning>("filler" + std::to_string(i)));
    tracker_.SetActive(true);
    const std::string known = CreateKnown("late.dll");
    PumpFor(TFileChangesTracker::kRetryDelayMs * 2);
    EXPECT_EQ(queue_.Count(), WarningQueue::kCapacity);
    EXPECT_EQ(queue_.RefusedWhileFull(), 0u) << "kept back, not handed over to be refused";
    queue_.RemoveHead();
    const auto reports = ReportsUntil("late.dll");
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), (Report{"new", "late.dll", known}));
}

// A subfolder made while the tree is watched. (Under Wine, changes inside subfolders that
// existed before the watch started are not delivered; Windows delivers both.)
TEST_F(FileMonitorTest, FilesInASubfolderMadeWhileWatchingAreReported) {
    tracker_.SetActive(true);
    ASSERT_TRUE(CreateDirectoryA((watched_ / "system32").c_str(), nullptr));
    // Watched once a file made after it is reported.
    const std::string sentinel = CreateKnown("sentinel.exe");
    EXPECT_EQ(ReportsUntil("sentinel.exe"), (std::vector<Report>{{"new", "sentinel.exe", sentinel}}));
    const std::string path = watched_ / "system32\\evil.dll";
    WriteTextFile(path, ThreatContent());
    EXPECT_EQ(ReportsUntil("evil.dll"), (std::vector<Report>{{"new", "evil.dll", path}}));
}

}  // namespace
}  // namespace sentrel
