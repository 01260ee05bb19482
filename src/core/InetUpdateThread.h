#pragma once
// The update worker: asks the update server which updates the database needs, downloads them
// into the working folder of updates and applies them in order, on a thread of its own.
//
//   index request -> for each update: download its signature and file, check the signature
//                 -> apply phase -> finished
//
// Downloads never land beside the program: they go to kUpdatesFolderName, which is emptied and
// removed when a run ends, however it ends, and at every start of the program
// (RemoveUpdateDownloads). Each update is checked against its signature as soon as both are
// in, before the next one is fetched. Applying one is split (database/DataBaseUpdate.h): the
// slow half runs here, the commit runs on the main thread, which owns the tables, while the
// worker waits. Every run ends with exactly one OnFinished on the main thread, which carries
// one line that says what failed, unless the window that would show it is gone.
//
// Cancel (any thread) closes the transfer in progress at once and stops the run at its next
// step. The thread owns everything it uses (TInetUpdateThread only points at it), so an owner
// that cannot wait for it may let it end on its own.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "database/DataBaseUpdate.h"
#include "platform/HttpRequest.h"
#include "platform/WorkerThread.h"

namespace sentrel {

inline constexpr std::string_view kDownloadingText = "Downloading file ...";
// The working folder of downloads, inside the program folder.
inline constexpr std::string_view kUpdatesFolderName = "updates";

struct TInetUpdateNotifications {
    // Called on the worker thread.
    std::function<bool()> IsCancelled;
    std::function<void(const std::string& text)> OnStatusText;
    std::function<void(const std::string& text, std::int64_t position, std::int64_t maximum)> OnProgress;
    // Runs `work` on the main thread and returns once it ran; false when it could not run (the
    // window is gone: the program is ending).
    std::function<bool(const std::function<void()>& work)> RunOnMainThread;
    // Checks a downloaded update file against its signature (worker thread); throws with a line
    // for the user when it does not check.
    std::function<void(const std::string& path)> Verify;
    // The slow half of applying an update file (worker thread); it asks `cancelled` between its
    // steps.
    std::function<TPreparedUpdate(const std::string& path, const std::function<bool()>& cancelled)> Prepare;
    // Called on the main thread: commits a prepared update (or drops it when the run was
    // cancelled meanwhile, by throwing). A result that is not Applied ends the run as failed.
    std::function<TUpdateResult(TPreparedUpdate prepared)> Commit;
    // Called on the main thread. `reason` says what failed (empty when nothing did).
    std::function<void(bool noList, bool failed, const std::string& reason)> OnFinished;
};

class TInetUpdateThread {
public:
    // Created suspended: `indexUrl` is the whole index address with its query, `programFolder`
    // the folder whose working folder of updates receives the downloads.
    TInetUpdateThread(std::string indexUrl, std::string serverAddress, const std::string& programFolder,
                      platform::HttpTimeouts timeouts, TInetUpdateNotifications notifications);
    TInetUpdateThread(const TInetUpdateThread&) = delete;
    TInetUpdateThread& operator=(const TInetUpdateThread&) = delete;
    // Cancels a running thread and lets it end on its own; never waits.
    ~TInetUpdateThread();

    void Start();
    // Any thread: ends the transfer in progress and the run at its next step.
    void Cancel() noexcept;
    // The thread, to wait for (null before Start).
    HANDLE Handle() const noexcept { return thread_.Handle(); }
    bool Finished() const noexcept;

private:
    struct Run;
    std::shared_ptr<Run> run_;
    platform::WorkerThread thread_;
};

// Empties and removes the working folder of updates in `programFolder`: what a run cut short by
// a crash or a power cut left there. Failures are logged, never thrown.
void RemoveUpdateDownloads(const std::string& programFolder) noexcept;

// The progress bar's position for `position` of `maximum`: the percentage rounded to the nearest
// whole number, halves to even (1024 of 2048 is 50; 1 of 8 is 12, 3 of 8 is 38).
int ProgressPercent(std::int64_t position, std::int64_t maximum);

}  // namespace sentrel
