// The process monitor against real processes: helper processes that load a copy of the test
// library, whose checksums the test database carries, computed from the library's bytes here.
#include "monitors/ProcessMonitor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "core/WarningQueue.h"
#include "database/FileChecksums.h"
#include "database/LookupTables.h"
#include "database/Mask.h"
#include "database/PathParts.h"
#include "monitors/HelperProcess.h"
#include "database/MappedFileAccessWin.h"
#include "platform/Processes.h"
#include "platform/ProgramFolder.h"
#include "database/ShellFoldersWin.h"
#include "support/TempFolder.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using test::MakeDataBase;
using test::MakeTable;

using test::HelperProcess;
using test::Lower;
using test::TestProgramFolder;

// Checksums rows for files of the given contents, each its own spyware.
std::unique_ptr<TTable> ChecksumsOf(const std::vector<std::vector<std::uint8_t>>& contents) {
    std::vector<std::string> sizes, first, second, refs;
    for (const auto& content : contents) {
        const TFileChecksums sums = ComputeChecksums(content);
        sizes.push_back(std::to_string(content.size()));
        first.push_back(std::to_string(sums.FirstLevel));
        second.push_back(std::to_string(sums.SecondLevel));
        refs.push_back(std::to_string(refs.size() + 1));
    }
    return MakeTable(std::string(kChecksumsTable), {{std::string(kFileSizeColumn), sizes},
                                                    {std::string(kFirstLevelChecksumColumn), first},
                                                    {std::string(kSecondLevelChecksumColumn), second},
                                                    {std::string(kSpywareRefColumn), refs}});
}

class ProcessMonitorWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Copies with names no other process has, so that only this test's helpers carry them.
        const std::string unique = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
        exePath_ = folder_ / ("SentrelMonHelper" + unique + ".exe");
        libraryName_ = "SentrelMonLib" + unique + ".dll";
        ASSERT_TRUE(CopyFileA((TestProgramFolder() + "process_helper.exe").c_str(), exePath_.c_str(), TRUE));
        // The library with a tail of its own (the loader ignores bytes after the image), so that
        // no copy loaded by another test's helper has this size and these checksums. The
        // checksums read only the head and a middle window, so the tail's length is what sets
        // the copies apart: it follows the process id, which tests running side by side never
        // share (Wine's ids step by 4).
        library_ = ReadFileBytes(TestProgramFolder() + "SentrelTestLibrary.dll");
        library_.insert(library_.end(), (GetCurrentProcessId() / 4) % 4096, '\0');
        std::string tail = unique;
        tail.resize(32, '\0');
        library_.insert(library_.end(), tail.begin(), tail.end());
        WriteFileBytes(folder_ / libraryName_, library_, false);
        ASSERT_TRUE(IsChecksumFileSize(static_cast<std::int64_t>(library_.size())));
    }

    std::unique_ptr<HelperProcess> StartHelper() {
        auto helper = std::make_unique<HelperProcess>(exePath_, folder_ / libraryName_);
        libraryPath_ = helper->WaitForModule(libraryName_);
        return helper;
    }

    // Ticks until the pass ends (ProcessIndex back to 0); returns the number of ticks.
    std::size_t RunPass(ProcessMonitor& monitor, const TThreatTables& tables, WarningQueue& queue) {
        std::size_t ticks = 0;
        do {
            monitor.ProcessTimerTimer(tables, queue, system_);
            ++ticks;
        } while (monitor.ProcessIndex() != 0 && ticks < 100000);
        return ticks;
    }

    test::TempFolder folder_;  // declared first: the helpers end before their folder goes
    std::string exePath_;
    std::string libraryName_;
    std::string libraryPath_;
    std::vector<std::uint8_t> library_;
    TLookupSystem system_{SystemFileAccess(), MacroFolders(), platform::ProgramFolder()};
};

TEST_F(ProcessMonitorWinTest, ReportsTheKnownLibraryOfARunningProcessAtItsPlaceInThePass) {
    TThreatTables tables(MakeDataBase(ChecksumsOf({library_})));
    WarningQueue queue;
    ProcessMonitor monitor;
    EXPECT_TRUE(monitor.ProcessList().empty());
    EXPECT_EQ(monitor.ProcessIndex(), 0);

    // Without the library loaded a whole pass finds nothing (its copy on disk is not loaded).
    RunPass(monitor, tables, queue);
    EXPECT_TRUE(queue.Empty());

    auto helper = StartHelper();
    // The first tick lists the modules and tests the first of them.
    monitor.ProcessTimerTimer(tables, queue, system_);
    const std::vector<std::string> list = monitor.ProcessList();
    ASSERT_GT(list.size(), 2u);
    EXPECT_EQ(monitor.ProcessIndex(), 1);
    const auto at = std::find(list.begin(), list.end(), libraryPath_);
    ASSERT_NE(at, list.end());
    ASSERT_EQ(std::count(list.begin(), list.end(), libraryPath_), 1);
    const int position = static_cast<int>(at - list.begin());

    // Entries are tested in list order: nothing until the tick that tests the library.
    if (position > 0) {
        while (monitor.ProcessIndex() != position) {
            monitor.ProcessTimerTimer(tables, queue, system_);
            ASSERT_NE(monitor.ProcessIndex(), 0) << "the pass ended before the library's entry";
        }
        EXPECT_TRUE(queue.Empty());
        monitor.ProcessTimerTimer(tables, queue, system_);
    }
    ASSERT_EQ(queue.Count(), 1u);
    const auto* warning = dynamic_cast<const TProcessWarning*>(queue.Head());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->Name, std::string(PathFileName(libraryPath_)));
    EXPECT_EQ(Lower(warning->Name), Lower(libraryName_));
    EXPECT_EQ(warning->FilePath, libraryPath_);

    // The rest of the pass: one position per tick over the same list, nothing more queued.
    std::size_t ticks = 0;
    while (monitor.ProcessIndex() != 0) {
        EXPECT_EQ(monitor.ProcessList(), list);
        monitor.ProcessTimerTimer(tables, queue, system_);
        ++ticks;
    }
    EXPECT_EQ(ticks, list.size() - static_cast<std::size_t>(position) - 1);
    EXPECT_EQ(queue.Count(), 1u);

    // Once the helper is gone the next pass takes a fresh list without it, and finds nothing.
    helper.reset();
    queue.RemoveHead();
    monitor.ProcessTimerTimer(tables, queue, system_);
    EXPECT_EQ(std::find(monitor.ProcessList().begin(), monitor.ProcessList().end(), libraryPath_),
              monitor.ProcessList().end());
    RunPass(monitor, tables, queue);
    EXPECT_TRUE(queue.Empty());
}

TEST_F(ProcessMonitorWinTest, APassKeepsItsListAndTheNextPassListsAfresh) {
    TThreatTables tables(MakeDataBase(ChecksumsOf({library_})));
    WarningQueue queue;
    ProcessMonitor monitor;

    // A helper started during a pass is not in that pass's list...
    monitor.ProcessTimerTimer(tables, queue, system_);
    const std::vector<std::string> list = monitor.ProcessList();
    auto helper = StartHelper();
    std::size_t ticks = 1;
    while (monitor.ProcessIndex() != 0) {
        monitor.ProcessTimerTimer(tables, queue, system_);
        ++ticks;
    }
    // ...which took exactly one tick per entry.
    EXPECT_EQ(ticks, list.size());
    EXPECT_EQ(monitor.ProcessList(), list);
    EXPECT_TRUE(queue.Empty());

    // The tick after the last entry takes a fresh list, and that pass reports the library.
    monitor.ProcessTimerTimer(tables, queue, system_);
    EXPECT_NE(std::find(monitor.ProcessList().begin(), monitor.ProcessList().end(), libraryPath_),
              monitor.ProcessList().end());
    RunPass(monitor, tables, queue);
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Head()->Name, std::string(PathFileName(libraryPath_)));
}

// A pass takes minutes; a known program started meanwhile is found within a tick or two, by its
// executable, and not again by the pass while its warning waits.
TEST_F(ProcessMonitorWinTest, AKnownProgramStartedDuringAPassIsReportedAtOnce) {
    // The helper's copy with a tail of its own, as the library's: only this test's copy is known.
    std::vector<std::uint8_t> program = ReadFileBytes(exePath_);
    program.insert(program.end(), library_.end() - 32, library_.end());
    const std::string knownExe = folder_ / ("SentrelKnownProgram" + std::to_string(GetCurrentProcessId()) + ".exe");
    WriteFileBytes(knownExe, program, false);
    ASSERT_TRUE(IsChecksumFileSize(static_cast<std::int64_t>(program.size())));
    TThreatTables tables(MakeDataBase(ChecksumsOf({program})));
    WarningQueue queue;
    ProcessMonitor monitor;

    monitor.ProcessTimerTimer(tables, queue, system_);  // the processes running now are the pass's
    ASSERT_GT(monitor.ProcessList().size(), 4u);
    const std::uint64_t started = GetTickCount64();
    HelperProcess helper(knownExe, "");
    for (int tick = 0; tick < 4 * ProcessMonitor::kStartedEveryTicks && queue.Empty(); ++tick) {
        monitor.ProcessTimerTimer(tables, queue, system_);
        if (queue.Empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(monitor.ProcessIndex(), 0) << "found by a new pass, not as a started program";
    ASSERT_EQ(queue.Count(), 1u);
    const auto* warning = dynamic_cast<const TProcessWarning*>(queue.Head());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(Lower(warning->FilePath), Lower(knownExe));
    EXPECT_EQ(Lower(warning->Name), Lower(std::string(PathFileName(knownExe))));
    EXPECT_TRUE(monitor.ToldAsStartedSince(Lower(knownExe), started));  // what the file monitor asks
    EXPECT_FALSE(monitor.ToldAsStartedSince(knownExe, GetTickCount64() + 1));
    // The file monitor's view of what runs names the same path.
    const std::vector<std::string> running = ListRunningProgramPaths();
    EXPECT_NE(std::find(running.begin(), running.end(), warning->FilePath), running.end());

    // Seen once: the following ticks do not queue it again after it was settled.
    queue.RemoveHead();
    for (int tick = 0; tick < 3 && monitor.ProcessIndex() != 0; ++tick) monitor.ProcessTimerTimer(tables, queue, system_);
    EXPECT_TRUE(queue.Empty());

    // A start the file monitor told first, seeing the file before this monitor saw the start.
    monitor.NoteToldAsProgram(Lower(knownExe));
    HelperProcess again(knownExe, "");
    for (int tick = 0; tick < 2 * ProcessMonitor::kStartedEveryTicks + 2; ++tick) {
        monitor.ProcessTimerTimer(tables, queue, system_);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(queue.Empty());
}

TEST_F(ProcessMonitorWinTest, ALibraryLoadedByThreeProcessesIsQueuedOnce) {
    TThreatTables tables(MakeDataBase(ChecksumsOf({library_})));
    WarningQueue queue;
    ProcessMonitor monitor;
    auto first = StartHelper();
    auto second = StartHelper();
    auto third = StartHelper();

    monitor.ProcessTimerTimer(tables, queue, system_);
    const std::vector<std::string> list = monitor.ProcessList();
    EXPECT_EQ(std::count(list.begin(), list.end(), libraryPath_), 3);
    RunPass(monitor, tables, queue);
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(dynamic_cast<const TProcessWarning*>(queue.Head())->FilePath, libraryPath_);

    // The queue's duplicate test keeps a second copy out only while the first is queued: settled
    // after the first hit, the same library is queued again by its next entry in the pass.
    queue.RemoveHead();
    std::size_t queuedInPass = 0;
    do {
        monitor.ProcessTimerTimer(tables, queue, system_);
        if (!queue.Empty()) {
            ++queuedInPass;
            queue.RemoveHead();
        }
    } while (monitor.ProcessIndex() != 0);
    EXPECT_EQ(queuedInPass, 3u);
}

TEST_F(ProcessMonitorWinTest, EmptyAndOneEntryListsAndAFailingTest) {
    TThreatTables tables(MakeDataBase(ChecksumsOf({library_})));
    WarningQueue queue;
    const std::string known = folder_ / libraryName_;

    // Nothing listed: no test, the position stays 0 and every tick lists again.
    int listings = 0;
    ProcessMonitor empty([&](std::vector<std::string>&) { ++listings; });
    for (int i = 0; i < 3; ++i) empty.ProcessTimerTimer(tables, queue, system_);
    EXPECT_EQ(listings, 3);
    EXPECT_EQ(empty.ProcessIndex(), 0);
    EXPECT_TRUE(queue.Empty());

    // One entry: every tick takes a fresh list and tests that entry.
    listings = 0;
    ProcessMonitor single([&](std::vector<std::string>& list) {
        ++listings;
        list.push_back(known);
    });
    for (int i = 1; i <= 3; ++i) {
        single.ProcessTimerTimer(tables, queue, system_);
        EXPECT_EQ(listings, i);
        EXPECT_EQ(single.ProcessIndex(), 0);
        EXPECT_EQ(single.ProcessList().size(), 1u);
        ASSERT_EQ(queue.Count(), 1u);
        EXPECT_EQ(queue.Head()->Name, libraryName_);
        queue.RemoveHead();
    }

    // An entry whose test throws (its name's row points at a malformed folder mask) is passed
    // over: the exception reaches the caller, and the next tick tests the next entry instead of
    // the same one again.
    TThreatTables malformed(MakeDataBase(
        ChecksumsOf({library_}),
        MakeTable(std::string(kPrimaryFilesTable), {{std::string(kCodeColumn), {"1"}},
                                                    {std::string(kFileNameColumn), {"bad.dll"}},
                                                    {std::string(kSpywareRefColumn), {"7"}},
                                                    {std::string(kPathRefColumn), {"0"}}}),
        MakeTable(std::string(kFoldersTable), {{std::string(kFilePathColumn), {"*?"}}})));
    listings = 0;
    ProcessMonitor failing([&](std::vector<std::string>& list) {
        ++listings;
        list = {folder_ / "bad.dll", known, folder_ / "bad.dll"};
    });
    EXPECT_THROW(failing.ProcessTimerTimer(malformed, queue, system_), InvalidMaskError);
    EXPECT_EQ(failing.ProcessIndex(), 1);
    failing.ProcessTimerTimer(malformed, queue, system_);
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Head()->Name, libraryName_);
    EXPECT_THROW(failing.ProcessTimerTimer(malformed, queue, system_), InvalidMaskError);
    EXPECT_EQ(failing.ProcessIndex(), 0);
    EXPECT_EQ(queue.Count(), 1u);
    // The tick after the last entry lists afresh even though that entry failed.
    EXPECT_THROW(failing.ProcessTimerTimer(malformed, queue, system_), InvalidMaskError);
    EXPECT_EQ(listings, 2);
    EXPECT_EQ(failing.ProcessIndex(), 1);
}

TEST_F(ProcessMonitorWinTest, AListTakenThroughTheRunnerIsTestedFromTheTickAfterItCame) {
    TThreatTables tables(MakeDataBase(ChecksumsOf({library_})));
    WarningQueue queue;
    int listings = 0;
    ProcessMonitor monitor([&](std::vector<std::string>& list) {
        ++listings;
        list = {"C:\\a.dll", "C:\\b.dll"};
    });
    std::vector<std::pair<std::function<void()>, std::function<void()>>> started;
    monitor.SetRunner([&](std::function<void()> work, std::function<void()> finish) {
        started.emplace_back(std::move(work), std::move(finish));
    });
    // Until the list comes, the ticks test nothing and ask for it once.
    for (int tick = 0; tick < 3; ++tick) monitor.ProcessTimerTimer(tables, queue, system_);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(monitor.ProcessIndex(), 0);
    started[0].first();
    EXPECT_EQ(listings, 1);
    monitor.ProcessTimerTimer(tables, queue, system_);
    EXPECT_EQ(monitor.ProcessIndex(), 0) << "the work ended, its finish has not run";
    started[0].second();
    monitor.ProcessTimerTimer(tables, queue, system_);
    EXPECT_EQ(monitor.ProcessIndex(), 1);
    EXPECT_EQ(monitor.ProcessList(), (std::vector<std::string>{"C:\\a.dll", "C:\\b.dll"}));
    // The pass's end asks for the next list.
    monitor.ProcessTimerTimer(tables, queue, system_);
    monitor.ProcessTimerTimer(tables, queue, system_);
    EXPECT_EQ(started.size(), 2u);
}

}  // namespace
}  // namespace sentrel
