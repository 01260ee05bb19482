#include "core/InetUpdateThread.h"

#include <atomic>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "database/UpdateAnswer.h"
#include "database/UpdateSignature.h"
#include "platform/Directory.h"
#include "platform/OutputFile.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

constexpr const char* kCancelledReason = "The update was cancelled.";
constexpr const char* kNotSavedReason = "The update could not be saved in the program folder.";

std::string SignaturePath(const std::string& path) {
    return path + std::string(kSignatureSuffix);
}

std::string UpdatesFolder(const std::string& programFolder) {
    return JoinPath(programFolder, std::string(kUpdatesFolderName));
}

// Ends every run, however it ends, with an empty working folder that is gone.
class DownloadsCleanUp {
public:
    explicit DownloadsCleanUp(std::string programFolder) : programFolder_(std::move(programFolder)) {}
    DownloadsCleanUp(const DownloadsCleanUp&) = delete;
    DownloadsCleanUp& operator=(const DownloadsCleanUp&) = delete;
    ~DownloadsCleanUp() { RemoveUpdateDownloads(programFolder_); }

private:
    std::string programFolder_;
};

// The file a download goes to; one that cannot be made fails the run as not saved.
platform::OutputFile CreateDownloadFile(const std::string& path) {
    try {
        return platform::OutputFile(path);
    } catch (const platform::Win32Error&) {
        throw platform::HttpError(kNotSavedReason);
    }
}

}  // namespace

// Everything the thread uses. The thread holds it too, so it outlives an owner that let the
// thread end on its own.
struct TInetUpdateThread::Run {
    std::string indexUrl;
    std::string serverAddress;
    std::string programFolder;
    std::string folder;  // the working folder of updates
    platform::HttpTimeouts timeouts;
    TInetUpdateNotifications notifications;
    platform::HttpCancellation transfer;
    std::atomic<bool> cancelled{false};

    void Execute();
    // False when the run ended here (OnFinished was sent, or could not be).
    bool Download(const std::vector<std::string>& entries);
    bool Apply(const std::vector<std::string>& entries);
    void Transfer(const std::string& url, const std::string& path, std::int64_t maxBytes, const std::string& what);
    void Finish(bool noList, bool failed, const std::string& reason);
    bool Cancelled() const;
    platform::HttpEvents Events() const;
};

int ProgressPercent(std::int64_t position, std::int64_t maximum) {
    if (maximum <= 0 || position <= 0) return 0;
    if (position >= maximum) return 100;
    // Whole numbers: 100 * position / maximum, rounded with halves to even.
    const std::int64_t scaled = position * 100;
    std::int64_t whole = scaled / maximum;
    const std::int64_t rest2 = (scaled % maximum) * 2;
    if (rest2 > maximum || (rest2 == maximum && whole % 2 == 1)) ++whole;
    return static_cast<int>(whole);
}

void RemoveUpdateDownloads(const std::string& programFolder) noexcept {
    try {
        const std::string folder = UpdatesFolder(programFolder);
        if (!FolderExists(folder)) return;
        for (const platform::TDirectoryEntry& entry : platform::ListDirectory(JoinPath(folder, "*"))) {
            const std::string path = JoinPath(folder, entry.Name);
            if (entry.IsFolder()) {
                RemoveDirectoryA(path.c_str());
                continue;
            }
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!RemoveFile(path)) LogEvent("update downloads: could not remove " + path);
        }
        if (!RemoveDirectoryA(folder.c_str())) LogEvent("update downloads: could not remove " + folder);
    } catch (const std::exception&) {
        LogCaught("update downloads");
    }
}

TInetUpdateThread::TInetUpdateThread(std::string indexUrl, std::string serverAddress,
                                     const std::string& programFolder, platform::HttpTimeouts timeouts,
                                     TInetUpdateNotifications notifications)
    : run_(std::make_shared<Run>()) {
    run_->indexUrl = std::move(indexUrl);
    run_->serverAddress = std::move(serverAddress);
    run_->programFolder = programFolder;
    run_->folder = UpdatesFolder(programFolder);
    run_->timeouts = timeouts;
    run_->notifications = std::move(notifications);
}

TInetUpdateThread::~TInetUpdateThread() {
    Cancel();
}

void TInetUpdateThread::Start() {
    thread_ = platform::WorkerThread([run = run_] {
        try {
            run->Execute();
        } catch (const std::exception& error) {
            LogEvent(std::string("update run failed unexpectedly: ") + error.what());
            run->Finish(false, true, std::string("The update stopped unexpectedly: ") + error.what());
        } catch (...) {
            LogEvent("update run failed unexpectedly");
            run->Finish(false, true, "The update stopped unexpectedly.");
        }
    });
}

void TInetUpdateThread::Cancel() noexcept {
    run_->cancelled = true;
    run_->transfer.Cancel();
}

bool TInetUpdateThread::Finished() const noexcept {
    return thread_.Finished();
}

bool TInetUpdateThread::Run::Cancelled() const {
    return cancelled || (notifications.IsCancelled && notifications.IsCancelled());
}

platform::HttpEvents TInetUpdateThread::Run::Events() const {
    return platform::HttpEvents{
        .statusText = notifications.OnStatusText,
        .progress =
            [this](std::int64_t received, std::int64_t expected) {
                if (Cancelled()) return false;
                if (expected > 0 && notifications.OnProgress)
                    notifications.OnProgress(std::string(kDownloadingText), received, expected);
                return true;
            },
    };
}

void TInetUpdateThread::Run::Finish(bool noList, bool failed, const std::string& reason) {
    if (failed) LogEvent("update run failed: " + reason);
    if (!notifications.OnFinished || !notifications.RunOnMainThread) return;
    notifications.RunOnMainThread([&] { notifications.OnFinished(noList, failed, reason); });
}

void TInetUpdateThread::Run::Execute() {
    if (!IsAllowedUpdateServer(serverAddress)) {
        Finish(true, true,
               "The update server's address must begin with https:// (plain http:// is taken only for this "
               "computer).");
        return;
    }
    std::string answer;
    try {
        answer = platform::HttpGetText(indexUrl, timeouts, Events(), static_cast<std::int64_t>(kMaxUpdateAnswerSize),
                                       &transfer);
    } catch (const platform::HttpError& error) {
        Finish(true, true, error.what());
        return;
    }
    if (Cancelled()) {
        Finish(true, true, kCancelledReason);
        return;
    }
    std::vector<std::string> entries;
    try {
        entries = ParseUpdateAnswer(answer);
    } catch (const std::exception& error) {
        Finish(true, true, "The update server's answer was refused: " + std::string(error.what()));
        return;
    }
    if (entries.empty()) {
        Finish(true, false, {});
        return;
    }
    const DownloadsCleanUp cleanUp(programFolder);
    RemoveUpdateDownloads(programFolder);
    try {
        CreateFolders(folder);
    } catch (const std::exception&) {
        Finish(false, true, kNotSavedReason);
        return;
    }
    if (!Download(entries)) return;
    if (Apply(entries)) Finish(false, false, {});
}

void TInetUpdateThread::Run::Transfer(const std::string& url, const std::string& path, std::int64_t maxBytes,
                                      const std::string& what) {
    platform::OutputFile file = CreateDownloadFile(path);
    try {
        platform::HttpGet(
            url, timeouts, Events(),
            [&](std::span<const std::uint8_t> piece) {
                try {
                    file.Write(piece);
                } catch (const platform::Win32Error&) {
                    throw platform::HttpError(kNotSavedReason);
                }
            },
            maxBytes, &transfer);
    } catch (const platform::HttpTooLong&) {
        throw platform::HttpError("The update server sent more than " + std::to_string(maxBytes) + " bytes as " +
                                  what + "; nothing was applied.");
    }
}

bool TInetUpdateThread::Run::Download(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        if (Cancelled()) {
            Finish(false, true, kCancelledReason);
            return false;
        }
        const std::string path = JoinPath(folder, entry);
        try {
            Transfer(UpdateFileUrl(serverAddress, entry + std::string(kSignatureSuffix)), SignaturePath(path),
                     static_cast<std::int64_t>(kMaxSignatureFileSize), "the signature of \"" + entry + "\"");
            Transfer(UpdateFileUrl(serverAddress, entry), path, kUpdateFileSizeLimit,
                     "the update \"" + entry + "\"");
            // Nothing unchecked waits in the folder while the next one arrives.
            if (notifications.Verify) notifications.Verify(path);
        } catch (const platform::HttpCancelled&) {
            Finish(false, true, kCancelledReason);
            return false;
        } catch (const std::exception& error) {
            // Nothing of a run that lost one update is applied: the later ones need it.
            Finish(false, true, error.what());
            return false;
        }
    }
    return true;
}

bool TInetUpdateThread::Run::Apply(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        if (Cancelled()) {
            Finish(false, true, kCancelledReason);
            return false;
        }
        const std::string path = JoinPath(folder, entry);
        std::string failure;
        TPreparedUpdate prepared;
        try {
            prepared = notifications.Prepare(path, [this] { return Cancelled(); });
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (!failure.empty()) {
            Finish(false, true, failure);
            return false;
        }
        TUpdateResult result;
        bool committed = false;
        const bool ran = notifications.RunOnMainThread([&] {
            try {
                result = notifications.Commit(std::move(prepared));
                committed = true;
            } catch (const std::exception& error) {
                failure = error.what();
            }
        });
        // The window is gone: the program is ending and nobody is left to tell.
        if (!ran) return false;
        if (!committed) {
            Finish(false, true, failure.empty() ? "The update could not be applied." : failure);
            return false;
        }
        if (!result.Applied) {
            Finish(false, true, UpdateRefusalMessage(result));
            return false;
        }
    }
    return true;
}

}  // namespace sentrel
