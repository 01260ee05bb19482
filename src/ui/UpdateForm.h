#pragma once
// "Database update wizard": brings the threat database up to date from the update server or
// from an update file the user picks.
//
//   page 0 welcome -> 1 source -> 2 Internet run (progress) -> 4 completed / 5 error
//                              -> 3 local file             -> 4 completed / 5 error
//
// The Internet run belongs to one TInetUpdateThread at a time. Its status lines and progress
// come from the worker as window-thread tasks (platform/UiTask.h); its commits and its finish are
// sent, so they run on this (the main) thread while the worker waits. A run that was cancelled,
// or that belongs to an earlier showing of the window, changes nothing here any more.

#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/InetUpdateThread.h"
#include "platform/UiTask.h"
#include "platform/UniqueHandle.h"
#include "platform/WorkerThread.h"
#include "ui/DpiLayout.h"
#include "ui/ModalWindow.h"
#include "ui/Picture.h"

namespace sentrel {
class TOptions;
}

namespace sentrel::ui {

class HelpEngine;

inline constexpr const char* kUpdateFormClass = "TUpdateForm";
inline constexpr const char* kUpdateHelpTopic = "::/Source\\Interface\\Update Wizard.htm";

enum UpdatePage : int { kMainPage, kSelectPage, kInetPage, kLocalFilePage, kCompletedPage, kErrorPage };

class TUpdateForm : public ModalWindow {
public:
    struct Context {
        TOptions& options;
        std::string programFolder;  // with its trailing backslash
        std::string updateServer;   // scheme, host, port and an optional folder
        platform::HttpTimeouts timeouts;
        std::string supportAddress;
        // The help file's path and the engine (its topic after the path).
        std::string helpFile;
        const HelpEngine* help = nullptr;
        // The signature check of a downloaded update and the slow half of applying it, of a
        // downloaded and of a local update file alike (worker thread: they must own what they
        // use), and the commit (main thread).
        std::function<void(const std::string& path)> verify;
        std::function<TPreparedUpdate(const std::string& path, const std::function<bool()>& cancelled)> prepare;
        std::function<TUpdateResult(TPreparedUpdate prepared)> commit;
        // After an update was applied and "LastUpdate" written (main thread).
        std::function<void()> updated;
    };

    explicit TUpdateForm(Context context);
    ~TUpdateForm() override;

    // Creates the hidden window, owned by `owner`.
    void Create(HWND owner);
    // Shows the wizard at its first page over `owner` (modal: returns when it is closed). A
    // wizard already on screen is only brought to the front.
    void Present(HWND owner, bool modal);
    // Ends a running worker: cancels it and waits up to `timeoutMs` (answering its hand-overs
    // meanwhile). False when it is still running: it then ends on its own.
    bool StopWorker(unsigned timeoutMs);
    // Keys for the wizard while it is shown by the main loop (F1, Tab, Escape). True when handled.
    bool PreviewMessage(MSG& message);

    int Page() const noexcept { return page_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreviewModalMessage(MSG& message) override;

private:
    struct Run;

    void CreatePages();
    HWND AddText(int page, const char* text, const DesignRect& place, HFONT font);
    void SetPage(int page);
    void OnCommand(int id);

    void FormCreate();
    void FormShow();
    void FormHide();
    void FormKeyDown();
    void NextButtonClick();
    void BackButtonClick();
    void CancelButtonClick();
    void selectClick();
    void StartInternetUpdate();
    // A local update file: prepared on a worker, committed here (FinishLocalUpdate).
    void ApplyLocalUpdate();
    void FinishLocalUpdate(const std::shared_ptr<Run>& run, TPreparedUpdate prepared, std::exception_ptr error);
    void ShowLocalFailure(const std::string& reason);
    // Cancels the local run and waits up to `timeoutMs` for its worker; false when it still runs.
    bool StopLocalWorker(unsigned timeoutMs);
    void ShowFailure(const std::string& reason);

    // The worker's notifications, on this thread.
    void OnStatusText(const std::string& text);
    void OnProgress(const std::string& text, std::int64_t position, std::int64_t maximum);
    void OnFinished(bool noList, bool failed, const std::string& reason);
    TUpdateResult Commit(TPreparedUpdate prepared);
    void Applied();
    // Shows what the worker of `run` reported so far, if it is still the window's running run.
    void ShowReports(Run& run);
    // A hand-over of the worker of `run` (sent to this thread): what it reported first, then
    // `work`. False, and nothing run, when `run` is no longer the window's run.
    bool HandOver(Run& run, const std::function<void()>& work);

    void SetMemo();
    void BackupDataBase() const;
    void WriteDate(const char* key) const;
    void ShowMessage(const std::string& text, UINT icon) const;

    Context context_;
    std::array<std::vector<HWND>, 6> pages_;
    int page_ = kMainPage;
    HWND backButton_ = nullptr;
    HWND nextButton_ = nullptr;
    HWND cancelButton_ = nullptr;
    HWND inetRadio_ = nullptr;
    HWND localRadio_ = nullptr;
    HWND progressBar_ = nullptr;
    HWND memo_ = nullptr;
    HWND edit1_ = nullptr;
    HWND select_ = nullptr;
    HWND errorReason_ = nullptr;
    std::vector<std::string> memoLines_;
    Picture picture_;
    DpiLayout layout_;

    // The run that may still change this window (none after a new showing), and the worker.
    std::shared_ptr<Run> run_;
    std::unique_ptr<TInetUpdateThread> worker_;
    // The worker preparing a local update file (its result is dropped once its run is over).
    std::unique_ptr<platform::WorkerThread> localWorker_;
    // The worker's reports are dropped once the window is gone.
    platform::uitask::Lifetime lifetime_;
};

}  // namespace sentrel::ui
