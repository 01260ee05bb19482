#pragma once
// The system-folder file monitor: files that appear in or disappear from the Windows folder
// tree. A watcher thread reads the tree's change records (DirectoryChangeReader) and hands every
// added or removed path over to the window thread (platform/UiTask.h), so the threat lookup, the
// warning and QueueWarning run on the main thread, like every other monitor.
//
// Beyond the plain hand-over, the tracker:
// - tests every file of the tree once when the system reports that changes were lost
//   (overflow), a few hundred paths per task so the main thread stays responsive;
// - tests a new file again a few times, shortly after, while it is empty or still locked by
//   its writer or when it changed while it was tested, so a file whose event came before its
//   content is not missed;
// - ignores the paths the shield itself is moving (MarkShieldMove) for a short while, so fixing
//   or restoring a file in the tree raises nothing;
// - takes the removal of a known threat (one it reported, or one the database names) as no
//   critical change: the file was never the system's own;
// - when told how to list the running programs (SetRunningPrograms), holds a known file back for
//   a moment and reports it as a running program when it was started meanwhile, as a dropper
//   starts what it dropped: one warning whose fix ends the program and removes the file;
// - stops the watcher by cancelling its read, never by killing the thread.
//
// 64-bit Windows is always of the NT family, so the change-record watcher is the only strategy
// this program needs.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/OwnerThread.h"
#include "database/Lookups.h"
#include "database/ThreatTables.h"
#include "platform/MessageWindow.h"
#include "platform/UiTask.h"

namespace sentrel {

class WarningSink;

namespace platform {
class DirectoryChangeReader;
}

// Paths the shield is moving, each remembered for a short while after it was marked. Not a
// one-shot flag: a move raises a removal and an addition (and a retry may test a path again),
// all of which must be recognised. Letter case does not matter. Safe from any thread: a fix
// marks its moves on its worker.
class TShieldMoves {
public:
    static constexpr std::uint64_t kLifetimeMs = 10000;

    void Add(const std::string& path, std::uint64_t nowMs);
    // True while `path` was marked less than kLifetimeMs ago; forgets expired entries.
    bool Contains(const std::string& path, std::uint64_t nowMs);
    std::size_t Count() const;

private:
    mutable std::mutex mutex_;
    struct Entry {
        std::string Path;
        std::uint64_t Expires;
    };
    std::vector<Entry> entries_;
};

// Every file below `folder` (ending with a backslash), junctions not followed; stops early
// (with what it has) when `stopping` becomes true.
std::vector<std::string> ListTreeFiles(const std::string& folder, const std::atomic<bool>& stopping);

class TFileChangesTracker : private platform::MessageWindow {
public:
    // The current threat tables: asked for each lookup, as an update may replace them.
    using TablesSource = std::function<const TThreatTables&()>;

    static constexpr int kRetries = 5;               // further looks at an empty or locked new file
    static constexpr unsigned kRetryDelayMs = 400;   // between two looks
    static constexpr std::size_t kOverflowSlice = 256;  // paths tested per task after an overflow
    static constexpr unsigned kStartTimeoutMs = 2000;   // SetActive(true) waits for the first read
    // Known threats found while the queue was full wait here for room (retried with the looks
    // at new files); beyond this many, the queue's refusal counts them as dropped.
    static constexpr std::size_t kWaitingForRoomLimit = 4096;
    // How long a known file is held back to see whether it is started (SetRunningPrograms).
    static constexpr unsigned kStartedHoldMs = 1000;
    // How long before the file was seen the process monitor may have told of its program: the
    // watcher's report of a new file can reach the window thread after the process monitor's
    // tick that saw the program start.
    static constexpr unsigned kToldBeforeSeenMs = 10000;
    // The known threats reported, whose removal is no critical change; the oldest are forgotten
    // beyond this many (their removal is then judged by the database alone).
    static constexpr std::size_t kReportedThreatsLimit = 4096;

    // The full paths of the executables of the running processes (window thread).
    using RunningPrograms = std::function<std::vector<std::string>()>;

    // `folder` is the watched folder with a trailing backslash (the Windows folder in the
    // program: WindowsFolder()). Creates the message-only window of its retries on the calling
    // thread, which must be the window thread: it owns `queue` and runs the tasks the watcher
    // hands over. Inactive at creation. `shieldMoves`, when given, holds the marks (shared with
    // the fixes that make them).
    TFileChangesTracker(std::string folder, TablesSource tables, WarningSink& queue, TLookupSystem system,
                        std::shared_ptr<TShieldMoves> shieldMoves = nullptr);
    ~TFileChangesTracker() override;

    // The Windows folder followed by a backslash.
    static std::string WindowsFolder();

    const std::string& Folder() const { return folder_; }
    bool Active() const { return active_; }
    // The switch of the security levels: on starts the watcher, off stops it (its read is
    // cancelled and the thread joined). Reports handed over before the switch went off are dropped.
    // A watcher whose folder cannot be opened or whose read fails ends silently; the next
    // switch on tries again.
    void SetActive(bool value);
    bool WatcherRunning() const { return watcher_.joinable() && !watcherEnded_; }
    // How many times the system reported lost changes and the tree was walked.
    int OverflowWalks() const { return overflowWalks_; }

    // Queues a TFileWarning when `path` is a known threat (a TProcessWarning when it was started
    // within kStartedHoldMs, see SetRunningPrograms); looks again later while the file is empty or
    // locked, or when it changed while it was tested. A path the shield is moving is ignored.
    void ChangeNew(const std::string& path);
    // Queues a TFileChangeWarning for `path`, unless its file name is exactly "ROLL_FORWARD", the
    // shield is moving it, or it is a known threat: one this monitor reported, or one the
    // database names by its name and folder (a removed file has no content left to test).
    void ChangeDeleted(const std::string& path);

    // Whether the process monitor already queued a program started from `path` at or after the
    // tick count `sinceMs` (kToldBeforeSeenMs before the file was seen).
    using ToldAsProgram = std::function<bool(const std::string& path, std::uint64_t sinceMs)>;
    // Tells the process monitor that this monitor queued the running program of `path`.
    using TellProgram = std::function<void(const std::string& path)>;

    // How to list the running programs, and what the process monitor told; unset (the default),
    // known files are queued at once as files. At the end of its hold a known file is passed over
    // when the process monitor told of its program meanwhile (the user may have answered that
    // already) or when it is gone; it is queued as a running program when it runs, else as a file.
    void SetRunningPrograms(RunningPrograms lister, ToldAsProgram told = nullptr, TellProgram tell = nullptr) {
        runningPrograms_ = std::move(lister);
        toldAsProgram_ = std::move(told);
        tellProgram_ = std::move(tell);
    }

    // What follows a report of lost changes: every one of `files` is tested as ChangeNew tests
    // a path (without the retries), kOverflowSlice paths per window-thread task so the main
    // thread stays responsive. Nothing is tested while the monitor is off.
    void TestEveryFile(std::vector<std::string> files);

    // Called by the remedies before they move `path` into or out of the tree (both ends of the
    // move): the watcher's reports of it are ignored for TShieldMoves::kLifetimeMs.
    void MarkShieldMove(const std::string& path);

private:
    struct PendingRetry {
        std::string Path;
        int AttemptsLeft;
        std::uint64_t Due;
    };
    struct HeldFile {
        std::string Path;
        std::uint64_t Due;
    };

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void StopWatcher() noexcept;
    void TestNewFile(const std::string& path, int attemptsLeft);
    void ScheduleRetry(const std::string& path, int attemptsLeft);
    void StartRetryTimer();
    void QueueWhileRoom();
    void QueueKnownFile(const std::string& path, bool running);
    void QueueHeldFiles(std::uint64_t now);
    void NoteReported(const std::string& path);
    bool ForgetReported(const std::string& path);
    void OnRetryTimer();
    void OnOverflowSlice();

    // The window thread: the level switch, the lookups and the queue run there.
    OwnerThread owner_;
    std::string folder_;
    TablesSource tables_;
    WarningSink& queue_;
    TLookupSystem system_;
    bool active_ = false;
    std::shared_ptr<TShieldMoves> shieldMoves_;
    std::vector<PendingRetry> retries_;
    std::deque<std::string> waitingForRoom_;
    std::vector<HeldFile> held_;
    std::deque<std::string> reportedThreats_;
    RunningPrograms runningPrograms_;
    ToldAsProgram toldAsProgram_;
    TellProgram tellProgram_;
    std::deque<std::string> overflowPaths_;
    // The watcher's hand-overs and the walk's slices; renewed when the monitor is switched off,
    // so what was posted before is dropped.
    platform::uitask::Lifetime handOvers_;
    bool overflowSlicePosted_ = false;
    int overflowWalks_ = 0;
    std::unique_ptr<platform::DirectoryChangeReader> reader_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> watcherEnded_{false};
    std::thread watcher_;
};

}  // namespace sentrel
