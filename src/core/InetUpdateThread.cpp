#include "core/InetUpdateThread.h"

#include <cmath>
#include <process.h>

#include "common/Files.h"
#include "database/UpdateAnswer.h"
#include "database/UpdateSignature.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

// An update file is a patch of the database; larger answers are not updates.
constexpr std::int64_t kMaxUpdateFileSize = 64 * 1024 * 1024;

std::string SignaturePath(const std::string& path) {
    return path + std::string(kSignatureSuffix);
}

}  // namespace

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

TInetUpdateThread::TInetUpdateThread(std::string indexUrl, std::string serverAddress, std::string folder,
                                     platform::HttpTimeouts timeouts, TInetUpdateNotifications notifications)
    : indexUrl_(std::move(indexUrl)),
      serverAddress_(std::move(serverAddress)),
      folder_(std::move(folder)),
      timeouts_(timeouts),
      notifications_(std::move(notifications)) {}

TInetUpdateThread::~TInetUpdateThread() {
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

void TInetUpdateThread::Start() {
    const auto handle = _beginthreadex(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (handle == 0) platform::ThrowLastError("_beginthreadex(update worker)");
    thread_.reset(reinterpret_cast<HANDLE>(handle));
}

bool TInetUpdateThread::Finished() const noexcept {
    return !thread_ || WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
}

unsigned __stdcall TInetUpdateThread::ThreadProc(void* self) noexcept {
    try {
        static_cast<TInetUpdateThread*>(self)->Execute();
    } catch (...) {
        // Every failure the run knows of is reported by Finish; nothing else may end the process.
    }
    return 0;
}

bool TInetUpdateThread::Cancelled() const {
    return notifications_.IsCancelled && notifications_.IsCancelled();
}

platform::HttpEvents TInetUpdateThread::Events() const {
    return platform::HttpEvents{
        .statusText = notifications_.OnStatusText,
        .progress =
            [this](std::int64_t received, std::int64_t expected) {
                if (Cancelled()) return false;
                if (expected > 0 && notifications_.OnProgress)
                    notifications_.OnProgress(std::string(kDownloadingText), received, expected);
                return true;
            },
    };
}

void TInetUpdateThread::Finish(bool noList, bool failed, const std::string& reason) {
    if (!notifications_.OnFinished || !notifications_.RunOnMainThread) return;
    notifications_.RunOnMainThread([&] { notifications_.OnFinished(noList, failed, reason); });
}

void TInetUpdateThread::Execute() {
    std::string answer;
    try {
        answer = platform::HttpGetText(indexUrl_, timeouts_, Events(), static_cast<std::int64_t>(kMaxUpdateAnswerSize));
    } catch (const platform::HttpError& error) {
        Finish(true, true, error.what());
        return;
    }
    if (Cancelled()) return;
    if (answer.empty()) {
        Finish(true, false, {});
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
    if (!Download(entries)) return;
    const bool finished = Apply(entries);
    DeleteFiles(entries, entries.size());
    if (finished) Finish(false, false, {});
}

void TInetUpdateThread::Transfer(const std::string& url, const std::string& path) {
    const std::string partial = path + std::string(kDownloadSuffix);
    {
        platform::UniqueFile file(CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) throw platform::HttpError("The update could not be saved in the program folder.");
        try {
            platform::HttpGet(
                url, timeouts_, Events(),
                [&](std::span<const std::uint8_t> piece) {
                    DWORD written = 0;
                    if (!WriteFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) ||
                        written != piece.size())
                        throw platform::HttpError("The update could not be saved in the program folder.");
                },
                kMaxUpdateFileSize);
        } catch (...) {
            file.reset();
            RemoveFile(partial);
            throw;
        }
    }
    try {
        MoveFileOver(partial, path);
    } catch (const std::exception&) {
        RemoveFile(partial);
        throw platform::HttpError("The update could not be saved in the program folder.");
    }
}

bool TInetUpdateThread::Download(const std::vector<std::string>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (Cancelled()) {
            DeleteFiles(entries, i);
            Finish(false, true, "The update was cancelled.");
            return false;
        }
        const std::string path = JoinPath(folder_, entries[i]);
        try {
            // The signature first: a complete update file never stands without it.
            Transfer(UpdateFileUrl(serverAddress_, entries[i] + std::string(kSignatureSuffix)), SignaturePath(path));
            Transfer(UpdateFileUrl(serverAddress_, entries[i]), path);
        } catch (const platform::HttpError& error) {
            // Nothing of a run that lost one update is applied: the later ones need it.
            DeleteFiles(entries, i + 1);
            Finish(false, true, error.what());
            return false;
        }
    }
    return true;
}

bool TInetUpdateThread::Apply(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        if (Cancelled()) {
            Finish(false, true, "The update was cancelled.");
            return false;
        }
        const std::string path = JoinPath(folder_, entry);
        if (!FileExists(path)) return false;
        std::string failure;
        TPreparedUpdate prepared;
        try {
            prepared = notifications_.Prepare(path);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (!failure.empty()) {
            Finish(false, true, failure);
            return false;
        }
        bool committed = false;
        const bool ran = notifications_.RunOnMainThread([&] {
            try {
                notifications_.Commit(std::move(prepared));
                committed = true;
            } catch (const std::exception& error) {
                failure = error.what();
            }
        });
        if (!ran) return false;
        if (!committed) {
            Finish(false, true, failure.empty() ? "The update could not be applied." : failure);
            return false;
        }
    }
    return true;
}

void TInetUpdateThread::DeleteFiles(const std::vector<std::string>& entries, std::size_t count) const {
    for (std::size_t i = 0; i < count && i < entries.size(); ++i) {
        const std::string path = JoinPath(folder_, entries[i]);
        RemoveFile(path);
        RemoveFile(SignaturePath(path));
        RemoveFile(path + std::string(kDownloadSuffix));
        RemoveFile(SignaturePath(path) + std::string(kDownloadSuffix));
    }
}

}  // namespace sentrel
