#include "monitors/FileMonitor.h"

#include <algorithm>
#include <utility>

#include <windows.h>
#include <sfc.h>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "common/TextCase.h"
#include "monitors/SystemFolderRules.h"
#include "warnings/WarningSink.h"
#include "platform/Directory.h"
#include "platform/DirectoryChanges.h"
#include "platform/ProgramFolder.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

constexpr const char* kWindowClass = "SentrelFileMonitor";
constexpr UINT_PTR kRetryTimer = 1;

// What the watcher thread hands over to the window thread.
struct WatchReports {
    std::function<void(bool added, std::string path)> path;
    std::function<void(std::vector<std::string> files)> everyFile;  // after lost changes
};

// Junctions are not followed: they may lead out of the tree or round in a circle.
void AddTreeFiles(const std::string& folder, std::vector<std::string>& files, const std::atomic<bool>& stopping) {
    for (const auto& entry : platform::ListDirectory(folder + "*")) {
        if (stopping) return;
        if (entry.IsFolder()) {
            if (!(entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                AddTreeFiles(folder + entry.Name + "\\", files, stopping);
            }
        } else {
            files.push_back(folder + entry.Name);
        }
    }
}

// The watcher thread's body: hands over every added and removed path; after an overflow, the
// list of every file of the tree. Ends when the read is cancelled or fails.
void WatchTree(platform::DirectoryChangeReader& reader, const std::string& folder, const WatchReports& report,
               const std::atomic<bool>& stopping, std::atomic<bool>& ended) noexcept {
    using Result = platform::DirectoryChangeReader::ReadResult;
    struct MarkEnded {
        std::atomic<bool>& Ended;
        ~MarkEnded() { Ended = true; }
    } markEnded{ended};
    try {
        std::vector<platform::TDirectoryChange> changes;
        for (;;) {
            const Result result = reader.Read(changes);
            if (result == Result::Cancelled || result == Result::Failed) return;
            if (result == Result::Overflow) {
                std::vector<std::string> files = ListTreeFiles(folder, stopping);
                if (stopping) return;
                report.everyFile(std::move(files));
                continue;
            }
            for (const auto& change : changes) {
                // Renames (old and new name) and modifications raise nothing.
                if (change.Action == FILE_ACTION_ADDED || change.Action == FILE_ACTION_REMOVED)
                    report.path(change.Action == FILE_ACTION_ADDED, folder + change.Name);
            }
        }
    } catch (...) {
        LogCaught("file watcher thread");
        // Out of memory while listing or posting: the watcher ends, as after a failed read.
    }
}

// What a look at a new file tells: whether its writer seems not to have finished (the file is
// empty, or another program holds it open without sharing it for reading), and its size and time
// of last writing, which change while it is written.
struct FileLook {
    bool Unfinished = false;
    ULONGLONG Size = 0;
    ULONGLONG Written = 0;
    friend bool operator==(const FileLook&, const FileLook&) = default;
};

FileLook LookAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
    FileLook look;
    look.Size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    look.Written = (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    if (look.Size == 0) {
        look.Unfinished = true;
        return look;
    }
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        look.Unfinished = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        return look;
    }
    CloseHandle(file);
    return look;
}

}  // namespace

std::vector<std::string> ListTreeFiles(const std::string& folder, const std::atomic<bool>& stopping) {
    std::vector<std::string> files;
    AddTreeFiles(folder, files, stopping);
    return files;
}

void TShieldMoves::Add(const std::string& path, std::uint64_t nowMs) {
    const std::lock_guard lock(mutex_);
    for (auto& entry : entries_) {
        if (SameIgnoringCase(entry.Path, path)) {
            entry.Expires = nowMs + kLifetimeMs;
            return;
        }
    }
    entries_.push_back({path, nowMs + kLifetimeMs});
}

bool TShieldMoves::Contains(const std::string& path, std::uint64_t nowMs) {
    const std::lock_guard lock(mutex_);
    std::erase_if(entries_, [nowMs](const Entry& entry) { return entry.Expires <= nowMs; });
    return std::any_of(entries_.begin(), entries_.end(),
                       [&path](const Entry& entry) { return SameIgnoringCase(entry.Path, path); });
}

std::size_t TShieldMoves::Count() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

TFileChangesTracker::TFileChangesTracker(std::string folder, TablesSource tables, WarningSink& queue,
                                         TLookupSystem system, std::shared_ptr<TShieldMoves> shieldMoves)
    : MessageWindow(kWindowClass), folder_(std::move(folder)), tables_(std::move(tables)), queue_(queue),
      system_(std::move(system)),
      shieldMoves_(shieldMoves ? std::move(shieldMoves) : std::make_shared<TShieldMoves>()) {
    if (folder_.empty() || folder_.back() != '\\') folder_ += '\\';
}

TFileChangesTracker::~TFileChangesTracker() {
    StopWatcher();
    if (Handle()) KillTimer(Handle(), kRetryTimer);
}

std::string TFileChangesTracker::WindowsFolder() {
    std::string folder = platform::WindowsFolder();
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

void TFileChangesTracker::SetActive(bool value) {
    owner_.Check("TFileChangesTracker::SetActive");
    active_ = value;
    if (!value) {
        StopWatcher();
        // What the watcher handed over and the next slice of a walk are dropped unrun.
        handOvers_.Renew();
        retries_.clear();
        waitingForRoom_.clear();
        held_.clear();
        overflowPaths_.clear();
        overflowSlicePosted_ = false;
        KillTimer(Handle(), kRetryTimer);
        return;
    }
    if (watcher_.joinable() && !watcherEnded_) return;
    StopWatcher();  // a watcher whose read failed has ended: join it and start afresh
    try {
        reader_ = std::make_unique<platform::DirectoryChangeReader>(folder_);
    } catch (const platform::Win32Error&) {
        LogCaught("file watcher start");
        return;  // the folder cannot be watched: the monitor stays silent
    }
    stopping_ = false;
    watcherEnded_ = false;
    const platform::uitask::Poster poster = handOvers_.MakePoster();
    WatchReports report{
        .path =
            [this, poster](bool added, std::string path) {
                poster.Post([this, added, path = std::move(path)] { added ? ChangeNew(path) : ChangeDeleted(path); });
            },
        .everyFile =
            [this, poster](std::vector<std::string> files) {
                poster.Post([this, files = std::move(files)]() mutable {
                    ++overflowWalks_;
                    TestEveryFile(std::move(files));
                });
            },
    };
    watcher_ = std::thread(WatchTree, std::ref(*reader_), folder_, std::move(report), std::cref(stopping_),
                           std::ref(watcherEnded_));
    // Changes are kept only from the watcher's first read on; without this wait, a file made
    // right after switching on could go unseen.
    reader_->WaitUntilWatching(kStartTimeoutMs);
}

void TFileChangesTracker::StopWatcher() noexcept {
    if (watcher_.joinable()) {
        stopping_ = true;
        reader_->Cancel();
        watcher_.join();
    }
    reader_.reset();
}

void TFileChangesTracker::MarkShieldMove(const std::string& path) {
    shieldMoves_->Add(path, GetTickCount64());
}

void TFileChangesTracker::ChangeNew(const std::string& path) {
    owner_.Check("TFileChangesTracker::ChangeNew");
    if (shieldMoves_->Contains(path, GetTickCount64())) return;
    TestNewFile(path, kRetries);
}

namespace {

bool IsProtectedByWindows(const std::string& path) {
    return SfcIsFileProtected(nullptr, platform::WideFromUtf8(path).c_str()) != FALSE;
}

}  // namespace

void TFileChangesTracker::ChangeDeleted(const std::string& path) {
    owner_.Check("TFileChangesTracker::ChangeDeleted");
    if (shieldMoves_->Contains(path, GetTickCount64())) return;
    const std::string name = FileNamePart(path);
    // Windows removes thousands of files a week below its folder by itself: only what it needs to
    // start, or protects, is a critical change.
    if (!IsCriticalSystemRemoval(folder_, path, IsProtectedByWindows)) {
        LogEvent("file monitor: " + path + " was removed (no file Windows needs to start)");
        return;
    }
    // One still held back is gone before it was told: nothing is left to warn about.
    std::erase_if(held_, [&path](const HeldFile& file) { return SameIgnoringCase(file.Path, path); });
    // A known threat that goes (the user or a cleaner removed what was ignored) was never one of
    // the system's files: nothing for the system file checker to restore.
    bool known = ForgetReported(path);
    if (!known) {
        try {
            known = IsKnownSpywareFile(tables_(), system_, path).Found;
        } catch (...) {
            LogCaught("file monitor removal");
            // The database cannot tell: the removal counts, as every other one.
        }
    }
    if (known) {
        LogEvent("file monitor: the known threat " + path + " was removed");
        return;
    }
    queue_.QueueWarning(std::make_unique<TFileChangeWarning>(name, path));
}

void TFileChangesTracker::NoteReported(const std::string& path) {
    for (const std::string& reported : reportedThreats_) {
        if (SameIgnoringCase(reported, path)) return;
    }
    if (reportedThreats_.size() >= kReportedThreatsLimit) reportedThreats_.pop_front();
    reportedThreats_.push_back(path);
}

bool TFileChangesTracker::ForgetReported(const std::string& path) {
    const auto it = std::find_if(reportedThreats_.begin(), reportedThreats_.end(),
                                 [&path](const std::string& reported) { return SameIgnoringCase(reported, path); });
    if (it == reportedThreats_.end()) return false;
    reportedThreats_.erase(it);
    return true;
}

void TFileChangesTracker::TestNewFile(const std::string& path, int attemptsLeft) {
    // Looked at before the test as well as after it: a writer that finishes while the file is
    // tested leaves it complete and free by the later look, though the test read it unfinished.
    const FileLook before = attemptsLeft > 0 ? LookAt(path) : FileLook{};
    if (IsKnownSpywareFile(tables_(), system_, path).Found) {
        NoteReported(path);
        if (runningPrograms_) {
            const bool alreadyHeld = std::any_of(held_.begin(), held_.end(),
                                                 [&path](const HeldFile& file) { return file.Path == path; });
            if (!alreadyHeld) held_.push_back({path, GetTickCount64() + kStartedHoldMs});
            StartRetryTimer();
            return;
        }
        QueueKnownFile(path, false);
    } else if (attemptsLeft > 0) {
        const FileLook after = LookAt(path);
        if (before.Unfinished || after.Unfinished || after != before) ScheduleRetry(path, attemptsLeft - 1);
    }
}

void TFileChangesTracker::QueueKnownFile(const std::string& path, bool running) {
    if (running) {
        // The program's warning: its fix ends the program and removes the file.
        queue_.QueueWarning(std::make_unique<TProcessWarning>(FileNamePart(path), path));
        if (tellProgram_) tellProgram_(path);
        return;
    }
    if (!queue_.HasRoom() && waitingForRoom_.size() < kWaitingForRoomLimit) {
        if (std::find(waitingForRoom_.begin(), waitingForRoom_.end(), path) == waitingForRoom_.end())
            waitingForRoom_.push_back(path);
        StartRetryTimer();
        return;
    }
    queue_.QueueWarning(std::make_unique<TFileWarning>(FileNamePart(path), path));
}

void TFileChangesTracker::QueueHeldFiles(std::uint64_t now) {
    if (std::none_of(held_.begin(), held_.end(), [now](const HeldFile& file) { return file.Due <= now; })) return;
    std::vector<std::string> running;
    try {
        running = runningPrograms_();
    } catch (...) {
        LogCaught("file monitor: running programs");
        // Not known to run: reported as files.
    }
    for (auto it = held_.begin(); it != held_.end();) {
        if (it->Due > now) {
            ++it;
            continue;
        }
        const std::string path = std::move(it->Path);
        const std::uint64_t seen = it->Due - kStartedHoldMs;
        const std::uint64_t toldSince = seen > kToldBeforeSeenMs ? seen - kToldBeforeSeenMs : 0;
        it = held_.erase(it);
        if (!active_ || shieldMoves_->Contains(path, now)) continue;
        if (toldAsProgram_ && toldAsProgram_(path, toldSince)) continue;
        const bool started = std::any_of(running.begin(), running.end(),
                                         [&path](const std::string& program) { return SameIgnoringCase(program, path); });
        if (!started && !FileExists(path)) continue;  // gone before it was told: nothing to warn about
        QueueKnownFile(path, started);
    }
}

void TFileChangesTracker::ScheduleRetry(const std::string& path, int attemptsLeft) {
    const std::uint64_t due = GetTickCount64() + kRetryDelayMs;
    auto same = std::find_if(retries_.begin(), retries_.end(),
                             [&path](const PendingRetry& retry) { return retry.Path == path; });
    if (same != retries_.end()) {
        *same = {path, attemptsLeft, due};
    } else {
        retries_.push_back({path, attemptsLeft, due});
    }
    StartRetryTimer();
}

void TFileChangesTracker::StartRetryTimer() {
    if (!SetTimer(Handle(), kRetryTimer, kRetryDelayMs / 2, nullptr)) platform::ThrowLastError("SetTimer");
}

void TFileChangesTracker::QueueWhileRoom() {
    while (!waitingForRoom_.empty() && queue_.HasRoom()) {
        const std::string path = std::move(waitingForRoom_.front());
        waitingForRoom_.pop_front();
        queue_.QueueWarning(std::make_unique<TFileWarning>(FileNamePart(path), path));
    }
}

void TFileChangesTracker::OnRetryTimer() {
    const std::uint64_t now = GetTickCount64();
    QueueWhileRoom();
    QueueHeldFiles(now);
    std::vector<PendingRetry> due;
    for (auto it = retries_.begin(); it != retries_.end();) {
        if (it->Due <= now) {
            due.push_back(std::move(*it));
            it = retries_.erase(it);
        } else {
            ++it;
        }
    }
    if (retries_.empty() && waitingForRoom_.empty() && held_.empty()) KillTimer(Handle(), kRetryTimer);
    for (const auto& retry : due) {
        try {
            if (active_ && !shieldMoves_->Contains(retry.Path, now)) TestNewFile(retry.Path, retry.AttemptsLeft);
        } catch (...) {
            LogCaught("file monitor retry");
            // One path's failed lookup does not stop the others.
        }
    }
}

void TFileChangesTracker::TestEveryFile(std::vector<std::string> files) {
    owner_.Check("TFileChangesTracker::TestEveryFile");
    if (!active_) return;
    overflowPaths_.insert(overflowPaths_.end(), std::make_move_iterator(files.begin()),
                          std::make_move_iterator(files.end()));
    if (!overflowSlicePosted_) OnOverflowSlice();
}

void TFileChangesTracker::OnOverflowSlice() {
    overflowSlicePosted_ = false;
    for (std::size_t i = 0; i < kOverflowSlice && !overflowPaths_.empty(); ++i) {
        const std::string path = std::move(overflowPaths_.front());
        overflowPaths_.pop_front();
        try {
            if (!shieldMoves_->Contains(path, GetTickCount64())) TestNewFile(path, 0);
        } catch (...) {
            LogCaught("file monitor overflow walk");
            // As for single reports: a failed lookup is dropped, the walk goes on.
        }
    }
    if (overflowPaths_.empty()) return;
    overflowSlicePosted_ = true;
    handOvers_.MakePoster().Post([this] { OnOverflowSlice(); });
}

LRESULT TFileChangesTracker::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kRetryTimer) {
        OnRetryTimer();
        return 0;
    }
    return DefaultHandling(message, wParam, lParam);
}

}  // namespace sentrel
