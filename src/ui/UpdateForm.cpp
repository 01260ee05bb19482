#include "ui/UpdateForm.h"

#include <cstdio>
#include <exception>
#include <mutex>
#include <stdexcept>

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include "common/Files.h"
#include "config/Options.h"
#include "config/SystemClock.h"
#include "database/UpdateAnswer.h"
#include "ui/Controls.h"
#include "ui/HelpEngine.h"
#include "ui/MessageBox.h"
#include "ui/Skin.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 500;
constexpr int kClientHeight = 282;
constexpr const char* kCaption = "Database update wizard";

constexpr const char* kWelcomeTitle = "Welcome to Sentrel Database Update Wizard";
constexpr const char* kWelcomeText = "This wizard will guide you through the database updating process.";
constexpr const char* kWelcomeNext = "Click Next to continue, or Cancel to exit wizard.";
constexpr const char* kSelectText = "Please, select the source of database update:";
constexpr const char* kInetRadioText = "Update from the &Internet";
constexpr const char* kLocalRadioText = "Update from &local file";
constexpr const char* kPatienceText = "Please, be patient. Updating databases...";
constexpr const char* kLocalText =
    "Please, enter path to local database update or browse for it by clicking on ... button:";
constexpr const char* kCompletedTitle = "Database is successfully updated.";
constexpr const char* kCompletedText = "Click Close to close this window.";
constexpr const char* kErrorTitle = "An error occured while updating spyware database.";
constexpr const char* kErrorText =
    "Please, click Close and try running Update Wizard again in several minutes. \r If you can't update Sentrel "
    "for more than 12 hours, contact our support team.";
constexpr const char* kErrorBefore = "Before contacting support do the following:";
constexpr const char* kErrorStep1 = "1. Check your Internet connection";
constexpr const char* kErrorStep2 =
    "2. Check your firewall and proxy settings. Maybe your firewall or proxy is blocking Internet access for Sentrel. "
    "Try disabling it and repeat updating process again.";

constexpr const char* kBackText = "< &Back";
constexpr const char* kNextText = "&Next >";
constexpr const char* kCancelText = "&Cancel";
constexpr const char* kCloseText = "&Close";

constexpr const char* kDialogTitle = "Please, select Talvex Database file";
// The first entry's label says *.dat while its pattern is *.db, as the wizard always had it.
constexpr char kDialogFilter[] = "Talvex Database files (*.dat)\0*.db\0All files (*.*)\0*.*\0";
constexpr const char* kLatestUpdate = "You have the latest update!";
constexpr const char* kWrongNumber = "Can't update database with number %d with update number %d";
constexpr const char* kNoHelp = "Sorry, but your system doesn't support HTMLHelp.\rPlease, consult our support team - ";
constexpr const char* kNoHelpEnd = " - to get necessary help.";
// The longest the window thread waits for a cancelled worker.
constexpr unsigned kWorkerStopMs = 1'000;
constexpr const char* kBusyReason = "The previous update is still ending. Please, try again in a minute.";

constexpr const char* kLastUpdateKey = "LastUpdate";
constexpr const char* kLastRemindKey = "LastRemind";
constexpr const char* kDataBaseFile = "database.db";
constexpr const char* kBackupFile = "db_backup.db";
constexpr const char* kPartDecrypted = "part_decrypted";

enum ControlId : int {
    kBackId = 101,
    kNextId,
    kInetRadioId,
    kLocalRadioId,
    kSelectId,
    kEditId,
    kMemoId,
};

constexpr DesignRect kPageArea{165, 8, 327, 218};

constexpr FontSpec kFont{"Tahoma", 11};
constexpr FontSpec kBoldFont{"Tahoma", 11, true};
constexpr FontSpec kTitleFont{"Tahoma", 16, true};

}  // namespace

// One Internet run: its flag, UpdateRunning while it is the window's run, and the status lines
// and progress the worker reported that the window has not shown yet, oldest first (a hand-over
// shows them before it runs). The worker uses it after the window may be gone, so it is shared.
struct TUpdateForm::Run {
    std::atomic<bool> running{true};
    std::mutex mutex;
    std::vector<std::function<void(TUpdateForm&)>> unshown;
};

TUpdateForm::TUpdateForm(Context context) : context_(std::move(context)) {}

TUpdateForm::~TUpdateForm() {
    // A worker still busy after that owns what it uses and ends on its own.
    if (worker_) StopWorker(kWorkerStopMs);
    if (localWorker_) StopLocalWorker(kWorkerStopMs);
}

void TUpdateForm::Create(HWND owner) {
    RegisterWindowClass(kUpdateFormClass, 0, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const DpiScale screen = DpiScale::Of(nullptr);
    RECT frame{0, 0, screen(kClientWidth), screen(kClientHeight)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CreateWindowOfClass(kUpdateFormClass, kCaption, style, exStyle, 0, 0, frame.right - frame.left,
                        frame.bottom - frame.top, owner);
    layout_ = DpiLayout(DpiScale::Of(Handle()));
    static const bool initialised = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)initialised;
    CreatePages();
    FormCreate();
}

void TUpdateForm::FormCreate() {
    Button_SetCheck(inetRadio_, BST_CHECKED);
    FormHide();
}

HWND TUpdateForm::AddText(int page, const char* text, const DesignRect& place, HFONT font) {
    const HWND control = layout_.Control("STATIC", text, SS_LEFT | SS_NOPREFIX, 0, place, Handle(), 0, font);
    ShowWindow(control, SW_HIDE);
    pages_[static_cast<std::size_t>(page)].push_back(control);
    return control;
}

void TUpdateForm::CreatePages() {
    const HWND form = Handle();
    const HFONT font = layout_.Font(kFont);
    const HFONT boldFont = layout_.Font(kBoldFont);
    SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    try {
        picture_ = Picture::FromResource("update_wizard_png");
    } catch (const std::exception&) {
        picture_ = {};
    }
    const HWND image = layout_.Control("STATIC", "Image1", SS_BITMAP | SS_REALSIZECONTROL, 0, {8, 8, 145, 217}, form,
                                       0, nullptr);
    if (!picture_.Empty())
        SendMessageA(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.Bitmap()));
    layout_.Control("STATIC", "", SS_ETCHEDHORZ, 0, {8, 236, 484, 2}, form, 0, nullptr);  // Bevel1

    const int x = kPageArea.left;
    const int w = kPageArea.width;
    AddText(kMainPage, kWelcomeTitle, {x, 12, w, 44}, layout_.Font(kTitleFont));
    AddText(kMainPage, kWelcomeText, {x, 72, w, 32}, font);
    AddText(kMainPage, kWelcomeNext, {x, 196, w, 18}, font);

    AddText(kSelectPage, kSelectText, {x, 12, w, 18}, font);
    inetRadio_ = layout_.Control("BUTTON", kInetRadioText, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0,
                                 {x + 16, 48, w - 16, 20}, form, kInetRadioId, font);
    localRadio_ = layout_.Control("BUTTON", kLocalRadioText, BS_AUTORADIOBUTTON, 0, {x + 16, 76, w - 16, 20}, form,
                                  kLocalRadioId, font);
    pages_[kSelectPage].insert(pages_[kSelectPage].end(), {inetRadio_, localRadio_});

    AddText(kInetPage, kPatienceText, {x, 12, w, 18}, font);
    progressBar_ = layout_.Control(PROGRESS_CLASSA, "", 0, 0, {x, 36, w, 18}, form, 0, nullptr);
    SendMessageA(progressBar_, PBM_SETRANGE32, 0, 100);
    memo_ = layout_.Control("EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
                            WS_EX_CLIENTEDGE, {x, 62, w, 160}, form, kMemoId, font);
    pages_[kInetPage].insert(pages_[kInetPage].end(), {progressBar_, memo_});

    AddText(kLocalFilePage, kLocalText, {x, 12, w, 32}, font);
    edit1_ = layout_.Control("EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, {x, 56, w - 32, 22},
                             form, kEditId, font);
    select_ = layout_.Control("BUTTON", "...", BS_PUSHBUTTON | WS_TABSTOP, 0, {x + w - 26, 56, 26, 22}, form,
                              kSelectId, font);
    pages_[kLocalFilePage].insert(pages_[kLocalFilePage].end(), {edit1_, select_});

    AddText(kCompletedPage, kCompletedTitle, {x, 12, w, 18}, boldFont);
    AddText(kCompletedPage, kCompletedText, {x, 196, w, 18}, font);

    AddText(kErrorPage, kErrorTitle, {x, 4, w, 18}, boldFont);
    AddText(kErrorPage, kErrorText, {x, 24, w, 54}, font);
    AddText(kErrorPage, kErrorBefore, {x, 82, w, 16}, font);
    AddText(kErrorPage, kErrorStep1, {x, 100, w, 16}, font);
    AddText(kErrorPage, kErrorStep2, {x, 118, w, 54}, font);
    errorReason_ = AddText(kErrorPage, "", {x, 178, w, 48}, boldFont);

    for (auto& page : pages_)
        for (const HWND control : page) ShowWindow(control, SW_HIDE);

    backButton_ = layout_.Control("BUTTON", kBackText, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, {248, 248, 75, 25},
                                  form, kBackId, font);
    nextButton_ = layout_.Control("BUTTON", kNextText, BS_PUSHBUTTON | WS_TABSTOP, 0, {323, 248, 75, 25}, form, kNextId,
                                  font);
    cancelButton_ = layout_.Control("BUTTON", kCancelText, BS_PUSHBUTTON | WS_TABSTOP, 0, {410, 248, 75, 25}, form,
                                    IDCANCEL, font);
    SetPage(kMainPage);
}

void TUpdateForm::SetPage(int page) {
    page_ = page;
    for (std::size_t i = 0; i < pages_.size(); ++i)
        for (const HWND control : pages_[i]) ShowWindow(control, static_cast<int>(i) == page ? SW_SHOW : SW_HIDE);
}

void TUpdateForm::Present(HWND owner, bool modal) {
    if (IsWindowVisible(Handle())) {
        SetForegroundWindow(Handle());
        return;
    }
    FormShow();
    CentreOver(Handle(), owner);
    if (modal) {
        ShowModal(owner, IDCANCEL);
        FormHide();
        return;
    }
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
}

void TUpdateForm::FormShow() {
    // A run of an earlier showing changes nothing here any more.
    FormHide();
    run_.reset();
    memoLines_.clear();
    SetMemo();
    SendMessageA(progressBar_, PBM_SETPOS, 0, 0);
    SetWindowTextA(errorReason_, "");
    SetPage(kMainPage);
    ShowWindow(nextButton_, SW_SHOW);
    EnableWindow(nextButton_, TRUE);
    ShowWindow(backButton_, SW_HIDE);
    ShowWindow(cancelButton_, SW_SHOW);
    SetWindowTextA(cancelButton_, kCancelText);
    SetFocus(nextButton_);
}

void TUpdateForm::FormHide() {
    if (run_) run_->running = false;
    if (worker_) worker_->Cancel();
}

void TUpdateForm::CancelButtonClick() {
    FormHide();
    if (InModalLoop())
        EndModal(IDCANCEL);
    else
        ShowWindow(Handle(), SW_HIDE);
}

void TUpdateForm::BackButtonClick() {
    if (page_ == kLocalFilePage || page_ == kCompletedPage || page_ == kErrorPage) {
        SetPage(kSelectPage);
    } else if (page_ > kMainPage) {
        SetPage(page_ - 1);
    }
    if (page_ == kMainPage) ShowWindow(backButton_, SW_HIDE);
}

void TUpdateForm::NextButtonClick() {
    if (page_ == kSelectPage && Button_GetCheck(inetRadio_) == BST_CHECKED) {
        StartInternetUpdate();
    } else if (page_ == kSelectPage) {
        SetPage(kLocalFilePage);
        SetFocus(select_);
        SetWindowTextA(cancelButton_, kCancelText);
        EnableWindow(nextButton_, TRUE);
    } else if (page_ == kLocalFilePage) {
        // Its finish sets the buttons.
        return ApplyLocalUpdate();
    } else if (page_ < kErrorPage) {
        SetPage(page_ + 1);
    }
    if (page_ != kMainPage && page_ != kInetPage) ShowWindow(backButton_, SW_SHOW);
}

void TUpdateForm::StartInternetUpdate() {
    // One worker at a time: the working files of an update have fixed names.
    if (!StopWorker(kWorkerStopMs)) {
        ShowFailure(kBusyReason);
        EnableWindow(nextButton_, TRUE);
        return;
    }
    BackupDataBase();
    SetPage(kInetPage);
    EnableWindow(nextButton_, FALSE);
    ShowWindow(backButton_, SW_HIDE);
    UpdateWindow(Handle());

    const int number = context_.options.ReadInteger(kDataBaseNumberOption, kDefaultDataBaseNumber);
    auto run = std::make_shared<Run>();
    const platform::uitask::Poster poster = lifetime_.MakePoster();
    // Worker thread: the first report waiting wakes the window thread, which shows them all.
    const auto report = [this, run, poster](std::function<void(TUpdateForm&)> show) {
        if (!run->running) return;
        bool first = false;
        {
            const std::lock_guard lock(run->mutex);
            first = run->unshown.empty();
            run->unshown.push_back(std::move(show));
        }
        if (first) poster.Post([this, run] { ShowReports(*run); });
    };
    TInetUpdateNotifications notifications{
        .IsCancelled = [run] { return !run->running; },
        .OnStatusText =
            [report](const std::string& text) { report([text](TUpdateForm& form) { form.OnStatusText(text); }); },
        .OnProgress =
            [report](const std::string& text, std::int64_t position, std::int64_t maximum) {
                report([=](TUpdateForm& form) { form.OnProgress(text, position, maximum); });
            },
        .RunOnMainThread =
            [this, run, poster](const std::function<void()>& work) {
                bool ran = false;
                return poster.Send([&] { ran = HandOver(*run, work); }) && ran;
            },
        .Verify = context_.verify,
        .Prepare = context_.prepare,
        .Commit = [this](TPreparedUpdate prepared) { return Commit(std::move(prepared)); },
        .OnFinished = [this](bool noList, bool failed, const std::string& reason) { OnFinished(noList, failed, reason); },
    };
    run_ = run;
    worker_ = std::make_unique<TInetUpdateThread>(UpdateIndexUrl(context_.updateServer, number), context_.updateServer,
                                                  context_.programFolder, context_.timeouts, std::move(notifications));
    worker_->Start();
}

void TUpdateForm::ApplyLocalUpdate() {
    if (!StopWorker(kWorkerStopMs) || (localWorker_ && !StopLocalWorker(kWorkerStopMs))) {
        ShowFailure(kBusyReason);
        return;
    }
    const std::string path = WindowText(edit1_);
    auto run = std::make_shared<Run>();
    run_ = run;
    try {
        BackupDataBase();
        // Worker thread: the slow half; what it made comes back to the window thread.
        localWorker_ = std::make_unique<platform::WorkerThread>(
            [prepare = context_.prepare, path, run, poster = lifetime_.MakePoster(), this] {
                auto prepared = std::make_shared<TPreparedUpdate>();
                std::exception_ptr error;
                try {
                    *prepared = prepare(path, [run] { return !run->running; });
                } catch (...) {
                    error = std::current_exception();
                }
                poster.Post([this, run, prepared, error] { FinishLocalUpdate(run, std::move(*prepared), error); });
            });
    } catch (const std::exception& error) {
        run_.reset();
        return ShowLocalFailure(ReadableDetail(error.what()));
    }
    EnableWindow(nextButton_, FALSE);
    ShowWindow(backButton_, SW_HIDE);
}

void TUpdateForm::FinishLocalUpdate(const std::shared_ptr<Run>& run, TPreparedUpdate prepared,
                                    std::exception_ptr error) {
    // Cancelled, or the wizard shown again meanwhile: dropped, and its new file with it.
    if (!run->running || run != run_) return;
    run_.reset();
    TUpdateResult result;
    try {
        if (error) std::rethrow_exception(error);
        result = context_.commit(std::move(prepared));
    } catch (const std::exception& failure) {
        return ShowLocalFailure(ReadableDetail(failure.what()));
    }
    if (!result.Applied) {
        // Refused (its number is not the next one): the failure it is, and no new date.
        char text[160];
        std::snprintf(text, sizeof text, kWrongNumber, static_cast<int>(result.OldNumber),
                      static_cast<int>(result.UpdateNumber));
        ShowFailure(text);
        SetWindowTextA(cancelButton_, kCloseText);
        ShowWindow(cancelButton_, SW_HIDE);
        EnableWindow(nextButton_, TRUE);
        ShowWindow(backButton_, SW_SHOW);
        return;
    }
    WriteDate(kLastRemindKey);
    Applied();
    SetPage(kCompletedPage);
    SetWindowTextA(cancelButton_, kCloseText);
    ShowWindow(cancelButton_, SW_SHOW);
    ShowWindow(nextButton_, SW_HIDE);
    ShowWindow(backButton_, SW_SHOW);
}

void TUpdateForm::ShowLocalFailure(const std::string& reason) {
    ShowFailure(reason);
    SetWindowTextA(cancelButton_, kCloseText);
    ShowWindow(cancelButton_, SW_HIDE);
    EnableWindow(nextButton_, TRUE);
    ShowWindow(backButton_, SW_SHOW);
    RemoveFile(context_.programFolder + kPartDecrypted);
}

bool TUpdateForm::StopLocalWorker(unsigned timeoutMs) {
    if (run_) run_->running = false;
    if (!localWorker_ || localWorker_->Finished()) return localWorker_.reset(), true;
    const HANDLE thread = localWorker_->Handle();
    if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0) return false;
    localWorker_.reset();
    return true;
}

void TUpdateForm::ShowFailure(const std::string& reason) {
    SetWindowTextA(errorReason_, reason.c_str());
    SetPage(kErrorPage);
}

void TUpdateForm::selectClick() {
    std::string path(32768, '\0');  // UTF-8: a path of MAX_PATH characters may take three times as many bytes
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = kDialogFilter;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = kDialogTitle;
    dialog.lpstrDefExt = "dat";
    // The dialog leaves the process's current folder alone; every path of the program is absolute.
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&dialog)) return;
    SetWindowTextA(edit1_, path.c_str());
}

void TUpdateForm::FormKeyDown() {
    if (context_.help && context_.help->Loaded()) {
        context_.help->DisplayTopic(Handle(), context_.helpFile + kUpdateHelpTopic);
        return;
    }
    ShowMessage(std::string(kNoHelp) + context_.supportAddress + kNoHelpEnd, 0);
}

bool TUpdateForm::PreviewMessage(MSG& message) {
    if (!Handle() || !IsWindowVisible(Handle()) || InModalLoop()) return false;
    if (message.hwnd != Handle() && !IsChild(Handle(), message.hwnd)) return false;
    return PreviewModalMessage(message) || IsDialogMessageA(Handle(), &message);
}

bool TUpdateForm::PreviewModalMessage(MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_F1) return false;
    if (message.hwnd != Handle() && !IsChild(Handle(), message.hwnd)) return false;
    FormKeyDown();
    return true;
}

void TUpdateForm::OnStatusText(const std::string& text) {
    memoLines_.push_back(text);
    SetMemo();
}

void TUpdateForm::OnProgress(const std::string& text, std::int64_t position, std::int64_t maximum) {
    if (memoLines_.empty()) {
        memoLines_.push_back(text);
        SetMemo();
    } else if (memoLines_.back() != text) {
        memoLines_.back() = text;
        SetMemo();
    }
    SendMessageA(progressBar_, PBM_SETPOS, static_cast<WPARAM>(ProgressPercent(position, maximum)), 0);
}

void TUpdateForm::OnFinished(bool noList, bool failed, const std::string& reason) {
    if (failed) {
        ShowFailure(reason);
    } else if (noList) {
        ShowMessage(kLatestUpdate, MB_ICONINFORMATION);
        WriteDate(kLastRemindKey);
        SetPage(kCompletedPage);
    } else {
        // "LastUpdate" was written as each update was applied.
        SetPage(kCompletedPage);
    }
    SetWindowTextA(cancelButton_, kCloseText);
    EnableWindow(nextButton_, TRUE);
    ShowWindow(nextButton_, SW_HIDE);
    ShowWindow(cancelButton_, SW_SHOW);
    UpdateWindow(Handle());
}

TUpdateResult TUpdateForm::Commit(TPreparedUpdate prepared) {
    // Cancelled while the update was prepared: it is dropped (its new file goes with it).
    if (!run_ || !run_->running) throw std::runtime_error("The update was cancelled.");
    const TUpdateResult result = context_.commit(std::move(prepared));
    if (result.Applied) Applied();
    return result;
}

void TUpdateForm::Applied() {
    // Written as soon as the database changed, so the main window shows the date at once.
    WriteDate(kLastUpdateKey);
    if (context_.updated) context_.updated();
}

void TUpdateForm::ShowReports(Run& run) {
    std::vector<std::function<void(TUpdateForm&)>> reports;
    {
        const std::lock_guard lock(run.mutex);
        reports.swap(run.unshown);
    }
    if (!run.running || &run != run_.get()) return;
    for (const auto& show : reports) show(*this);
}

bool TUpdateForm::HandOver(Run& run, const std::function<void()>& work) {
    // Runs only for the window's own run (a cancelled run still gets its finish, which moves the
    // hidden window to the error page; its commits throw).
    if (!run_ || &run != run_.get()) return false;
    // The lines reported before this hand-over come first.
    ShowReports(run);
    work();
    return true;
}

void TUpdateForm::SetMemo() {
    std::string text;
    for (const std::string& line : memoLines_) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    SetWindowTextA(memo_, text.c_str());
    const int length = GetWindowTextLengthA(memo_);
    SendMessageA(memo_, EM_SETSEL, length, length);
    SendMessageA(memo_, EM_SCROLLCARET, 0, 0);
}

void TUpdateForm::BackupDataBase() const {
    // A copy for the user's peace of mind; nothing reads it, so a failure stops nothing.
    CopyFileA((context_.programFolder + kDataBaseFile).c_str(), (context_.programFolder + kBackupFile).c_str(), FALSE);
}

void TUpdateForm::WriteDate(const char* key) const {
    context_.options.WriteDateTime(key, CurrentDateTime());
}

void TUpdateForm::ShowMessage(const std::string& text, UINT icon) const {
    MessageBoxA(Handle(), text.c_str(), kApplicationTitle, MB_OK | icon);
}

bool TUpdateForm::StopWorker(unsigned timeoutMs) {
    if (!worker_) return true;
    if (run_) run_->running = false;
    worker_->Cancel();
    // A hand-over the worker waits for runs meanwhile (a cancelled run's commit is dropped).
    if (!platform::uitask::WaitLettingSendsRun(worker_->Handle(), timeoutMs) && !worker_->Finished()) return false;
    worker_.reset();
    return true;
}

LRESULT TUpdateForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        CancelButtonClick();
        return 0;
    case WM_HELP:
        FormKeyDown();
        return TRUE;
    case WM_DPICHANGED:
        // The picture is stretched to its control.
        layout_.Apply(Handle(), DpiChangeOf(wParam, lParam));
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

void TUpdateForm::OnCommand(int id) {
    switch (id) {
    case kBackId: BackButtonClick(); break;
    case kNextId: NextButtonClick(); break;
    case IDCANCEL:
        // Escape as well; the Close button hidden after a failed local update does not answer.
        if (IsWindowVisible(cancelButton_)) CancelButtonClick();
        break;
    case kSelectId: selectClick(); break;
    default: break;
    }
}

}  // namespace sentrel::ui
