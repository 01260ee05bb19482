#pragma once
// The update worker: asks the update server which updates the database needs, downloads them
// beside database.db and applies them in order, on a thread of its own.
//
//   index request -> download phase -> apply phase -> clean-up -> finished
//
// Each update is downloaded to a temporary name with its signature and renamed only when both
// are complete. Applying one is split (database/DataBaseUpdate.h): the slow half runs here, the
// commit runs on the main thread, which owns the tables, while the worker waits. The worker asks
// `IsCancelled` at every progress event (dropping the transfer) and between the steps; once it
// answers true nothing more is applied. The finish is delivered on the main thread and carries
// one line that says what failed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/DataBaseUpdate.h"
#include "platform/HttpRequest.h"
#include "platform/UniqueHandle.h"

namespace sentrel {

inline constexpr std::string_view kDownloadingText = "Downloading file ...";
// A download in progress, beside the name it gets when complete.
inline constexpr std::string_view kDownloadSuffix = ".download";

struct TInetUpdateNotifications {
    // Called on the worker thread.
    std::function<bool()> IsCancelled;
    std::function<void(const std::string& text)> OnStatusText;
    std::function<void(const std::string& text, std::int64_t position, std::int64_t maximum)> OnProgress;
    // Runs `work` on the main thread and returns once it ran; false when it could not run (the
    // window is gone: the program is ending).
    std::function<bool(const std::function<void()>& work)> RunOnMainThread;
    // The slow half of applying an update file (worker thread).
    std::function<TPreparedUpdate(const std::string& path)> Prepare;
    // Called on the main thread: commits a prepared update and tells the user when it does not
    // apply (unless the run was cancelled meanwhile: then it drops it).
    std::function<void(TPreparedUpdate prepared)> Commit;
    // Called on the main thread. `reason` says what failed (empty when nothing did).
    std::function<void(bool noList, bool failed, const std::string& reason)> OnFinished;
};

class TInetUpdateThread {
public:
    // Created suspended: `indexUrl` is the whole index address with its query, `folder` the
    // program folder where the updates are saved.
    TInetUpdateThread(std::string indexUrl, std::string serverAddress, std::string folder,
                      platform::HttpTimeouts timeouts, TInetUpdateNotifications notifications);
    TInetUpdateThread(const TInetUpdateThread&) = delete;
    TInetUpdateThread& operator=(const TInetUpdateThread&) = delete;
    // Waits for the thread (see Handle for a bounded wait first).
    ~TInetUpdateThread();

    void Start();
    // The thread, to wait for (null before Start).
    HANDLE Handle() const noexcept { return thread_.get(); }
    bool Finished() const noexcept;

private:
    static unsigned __stdcall ThreadProc(void* self) noexcept;
    void Execute();
    // False when the run ends here (OnFinished was sent or the run was cancelled).
    bool Download(const std::vector<std::string>& entries);
    bool Apply(const std::vector<std::string>& entries);
    void Transfer(const std::string& url, const std::string& path);
    void Finish(bool noList, bool failed, const std::string& reason);
    void DeleteFiles(const std::vector<std::string>& entries, std::size_t count) const;
    bool Cancelled() const;
    platform::HttpEvents Events() const;

    std::string indexUrl_;
    std::string serverAddress_;
    std::string folder_;
    platform::HttpTimeouts timeouts_;
    TInetUpdateNotifications notifications_;
    platform::UniqueHandle thread_;
};

// The progress bar's position for `position` of `maximum`: the percentage rounded to the nearest
// whole number, halves to even (1024 of 2048 is 50; 1 of 8 is 12, 3 of 8 is 38).
int ProgressPercent(std::int64_t position, std::int64_t maximum);

}  // namespace sentrel
