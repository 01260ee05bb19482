#include "ui/AlertForm.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <windowsx.h>

#include "common/DiagnosticLog.h"
#include "common/SafeDisplayText.h"
#include "core/CategoryActions.h"
#include "core/ColorList.h"
#include "core/WarningQueue.h"
#include "platform/Clipboard.h"
#include "platform/GdiGuards.h"
#include "platform/WideText.h"
#include "ui/MessageBox.h"
#include "ui/Skin.h"
#include "warnings/Warning.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 438;
constexpr int kClientHeight = 355;
constexpr int kCornerEllipse = 32;

constexpr DesignRect kLabel1Place{24, 72, 88, 16};
constexpr DesignRect kTitlePlace{112, 72, 161, 33};
constexpr DesignRect kLabel2Place{24, 104, 200, 16};
// The skin's upper panel holds the description and, under it, the lines that only some findings
// have: why it looks dangerous (two lines), the command it runs, its identity (a long path keeps
// its last part in sight, SS_PATHELLIPSIS) and who signed its program. Those present stack up
// from the panel's bottom; the description takes the room they leave (ShowWarning).
constexpr int kTextsLeft = 24;
constexpr int kTextsWidth = 265;
constexpr int kTextsTop = 123;
constexpr int kTextsBottom = 281;
constexpr int kLineHeight = 16;
constexpr int kReasonsHeight = 44;
constexpr int kCommandHeight = 30;
// The command's line ends in a button that copies the whole command.
constexpr int kCopyWidth = 44;
constexpr DesignRect kDescriptionPlace{kTextsLeft, kTextsTop, kTextsWidth, kTextsBottom - kTextsTop};
constexpr DesignRect kAllPlace{32, 301, 108, 16};
constexpr DesignRect kAllThreatsPlace{32, 320, 243, 16};
// Beside "Do it always", ending under the memo's right edge.
constexpr DesignRect kWaitingPlace{150, 301, 139, 16};
constexpr DesignRect kShieldPlace{310, 65, 120, 209};
constexpr DesignRect kIgnorePlace{310, 280, 120, 49};
constexpr DesignRect kClose3Place{394, 10, 25, 22};
// The reasons, in the dark red of a warning (on the yellow alert).
constexpr COLORREF kReasonsColour = RGB(0xA0, 0x10, 0x08);

enum ControlId : int {
    kLabel1Id = 101,
    kTitleId,
    kLabel2Id,
    kDescriptionId,
    kAllId,
    kAllThreatsId,
    kWaitingId,
    kIdentityId,
    kSignatureId,
    kReasonsId,
    kCommandId,
    kCopyId
};

constexpr FontSpec kLabelFont{"Verdana", 12};
constexpr FontSpec kBoldFont{"Verdana", 12, true};
// The memo names what was found, in any script: a face Windows links to its fonts of other
// scripts (MS Sans Serif is a bitmap font of the Western letters alone).
constexpr FontSpec kMemoFont{"MS Shell Dlg 2", 13};

// What a user sees when the pictures are missing: text on the tint, in a darker frame.
constexpr COLORREF kTextColour = RGB(32, 24, 8);
constexpr COLORREF kPlainFrame = RGB(96, 64, 16);

// The attempts to take the foreground from another window, and the wait between two.
constexpr int kPresentAttempts = 5;
constexpr DWORD kPresentRetryMs = 40;

constexpr UINT kFormShowMessage = WM_APP + 1;
constexpr UINT kSettleWaitingMessage = WM_APP + 2;
constexpr UINT_PTR kSettleWaitingTimer = 1;
constexpr UINT kSettleWaitingRetryMs = 100;

// The memo shows line breaks only as CR LF.
std::string WithCrLf(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
        result += text[i];
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) result += '\n';
    }
    return result;
}

}  // namespace

TAlertForm::TAlertForm(Context context, std::string graphicsFolder, HWND mainWindow)
    : context_(std::move(context)),
      graphicsFolder_(std::move(graphicsFolder)),
      mainWindow_(mainWindow),
      shield_("shield", "Shield me", [this] { shieldClick(); }),
      ignore_("ignore", "Ignore", [this] { ignoreClick(); }),
      close3_("close3", "X", [this] { close3Click(); }) {
    reportError_ = [this](const std::string& text) { ShowError(text, Handle()); };
}

TAlertForm::~TAlertForm() = default;

void TAlertForm::Create() {
    RegisterWindowClass(kAlertFormClass, CS_DBLCLKS, nullptr, reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
    const DpiScale screen = DpiScale::Of(nullptr);
    CreateWindowOfClass(kAlertFormClass, kApplicationTitle, WS_POPUP | WS_CLIPSIBLINGS,
                        WS_EX_TOPMOST | WS_EX_TOOLWINDOW, 0, 0, screen(kClientWidth), screen(kClientHeight));
    layout_ = DpiLayout(DpiScale::Of(Handle()));
    const DpiScale& scale = layout_.Scale();
    SetWindowPos(Handle(), nullptr, 0, 0, scale(kClientWidth), scale(kClientHeight),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();
    FormCreate();
    // Hidden until a warning comes: its skin is read then (LoadAlert).
    tintBrush_.reset(CreateSolidBrush(TintColour()));
}

void TAlertForm::CreateControls() {
    const HWND form = Handle();
    SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kMemoFont)), FALSE);
    const HFONT bold = layout_.Font(kBoldFont);
    const HFONT label = layout_.Font(kLabelFont);
    label1_ = layout_.Control("STATIC", "Threat title:", SS_LEFT, 0, kLabel1Place, form, kLabel1Id, bold);
    title_ = layout_.Control("STATIC", "", SS_LEFT | SS_NOPREFIX, 0, kTitlePlace, form, kTitleId, label);
    label2_ = layout_.Control("STATIC", "Threat description:", SS_LEFT, 0, kLabel2Place, form, kLabel2Id, bold);
    description_ =
        layout_.Control("EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, 0,
                        kDescriptionPlace, form, kDescriptionId, layout_.Font(kMemoFont));
    // Placed by ShowWarning.
    constexpr DesignRect kLine{kTextsLeft, kTextsBottom - kLineHeight, kTextsWidth, kLineHeight};
    reasons_ = layout_.Control("STATIC", "", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL | SS_NOTIFY, 0,
                               {kTextsLeft, kTextsBottom - kReasonsHeight, kTextsWidth, kReasonsHeight}, form,
                               kReasonsId, layout_.Font(kMemoFont));
    // Its hint shows the whole command where its two lines have to shorten it.
    command_ = layout_.Control("STATIC", "", SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_EDITCONTROL, 0, kLine, form,
                               kCommandId, layout_.Font(kMemoFont));
    copy_ = layout_.Control("BUTTON", "Copy", BS_PUSHBUTTON | WS_TABSTOP, 0, kLine, form, kCopyId,
                            layout_.Font(kMemoFont));
    identity_ = layout_.Control("STATIC", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 0, kLine, form, kIdentityId,
                                layout_.Font(kMemoFont));
    signature_ = layout_.Control("STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, kLine, form, kSignatureId,
                                 layout_.Font(kMemoFont));
    all_ = layout_.Control("BUTTON", "Do it always", BS_AUTOCHECKBOX | WS_TABSTOP, 0, kAllPlace, form, kAllId, bold);
    allThreats_ = layout_.Control("BUTTON", "Do it always with all such threats", BS_AUTOCHECKBOX | WS_TABSTOP, 0,
                                  kAllThreatsPlace, form, kAllThreatsId, bold);
    waiting_ = layout_.Control("STATIC", "", SS_RIGHT | SS_NOPREFIX, 0, kWaitingPlace, form, kWaitingId, label);
    ShowWindow(waiting_, SW_HIDE);
    for (auto [button, place] : {std::pair{&shield_, kShieldPlace}, std::pair{&ignore_, kIgnorePlace},
                                 std::pair{&close3_, kClose3Place}}) {
        button->Create(form, place, layout_.Scale());
        layout_.Remember(button->Handle(), place);
    }

    hints_.Create(form);
    hints_.Add(shield_.Handle(), "Solve this problem. Eliminate the threat!");
    hints_.Add(ignore_.Handle(), "Ignore this threat");
    hints_.Add(all_, "Always apply selected action to this particular threat");
    hints_.Add(allThreats_, "Always apply selected action to this kind of threats");
    hints_.Add(command_, "");
    hints_.Add(reasons_, "");
    hints_.Add(copy_, "Copy the whole command line");
}

LRESULT TAlertForm::OnDpiChanged(const DpiChange& change) {
    // The window keeps its own size at the new DPI wherever the system suggests to put it.
    const DpiScale scale(change.dpi);
    const RECT& at = change.suggested;
    layout_.Apply(Handle(), {change.dpi, {at.left, at.top, at.left + scale(kClientWidth), at.top + scale(kClientHeight)}});
    SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kMemoFont)), FALSE);
    FormCreate();  // the rounded outline at the new size
    RebuildBackground();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    return 0;
}

void TAlertForm::FormCreate() {
    RECT window{};
    GetWindowRect(Handle(), &window);
    SetRoundedOutline(Handle(), window.right - window.left, window.bottom - window.top,
                      layout_.Scale()(kCornerEllipse));
}

void TAlertForm::ShowWarning(const std::string& title, const std::string& description, const std::string& identity,
                             const std::string& picture, const std::string& danger, const std::string& signature,
                             const std::string& command, const std::string& reasons) {
    context_.queue.SetAlertBusy(true);
    SetWindowTextA(title_, title.c_str());
    SetWindowTextA(description_, WithCrLf(description).c_str());
    SetWindowTextA(reasons_, reasons.c_str());
    SetWindowTextA(identity_, identity.c_str());
    SetWindowTextA(signature_, signature.c_str());
    commandText_ = command;
    hints_.Change(command_, command);
    hints_.Change(reasons_, reasons);
    PlaceTexts();
    LoadAlert(picture, danger);
    ShowWaitingCount();
}

void TAlertForm::PlaceTexts() {
    // From the panel's bottom up: the lines a finding has, then the description over the rest.
    int bottom = kTextsBottom;
    const auto place = [&](HWND line, bool present, int height) {
        ShowWindow(line, present ? SW_SHOWNA : SW_HIDE);
        if (!present) return;
        bottom -= height;
        layout_.Move(line, {kTextsLeft, bottom, kTextsWidth, height});
    };
    place(signature_, !WindowText(signature_).empty(), kLineHeight);
    place(identity_, !WindowText(identity_).empty(), kLineHeight);
    place(command_, !commandText_.empty(), kCommandHeight);
    ShowWindow(copy_, commandText_.empty() ? SW_HIDE : SW_SHOWNA);
    if (!commandText_.empty()) {
        layout_.Move(command_, {kTextsLeft, bottom, kTextsWidth - kCopyWidth - 4, kCommandHeight});
        layout_.Move(copy_, {kTextsLeft + kTextsWidth - kCopyWidth, bottom + (kCommandHeight - kLineHeight) / 2,
                             kCopyWidth, kLineHeight});
    }
    place(reasons_, !WindowText(reasons_).empty(), kReasonsHeight);
    layout_.Move(description_, {kTextsLeft, kTextsTop, kTextsWidth, bottom - 1 - kTextsTop});
    ShowCommand();
}

void TAlertForm::CopyCommand() {
    try {
        platform::CopyTextToClipboard(Handle(), commandText_);
    } catch (const std::exception& error) {
        if (reportError_) reportError_(std::string("The command line could not be copied: ") + error.what());
    }
}

void TAlertForm::ShowCommand() {
    // A command too long for its two lines keeps its program's name and the beginning and the end
    // of what it is given:
    // first the program's folder gives way ("C:\…\tool.exe -x …end"), then the middle of the
    // arguments, and only then the rest.
    RECT line{};
    GetClientRect(command_, &line);
    const std::wstring whole = platform::WideFromUtf8(commandText_);
    const platform::WindowDc screen(command_);
    const platform::SelectObjectGuard font(screen.get(),
                                           reinterpret_cast<HGDIOBJ>(SendMessageW(command_, WM_GETFONT, 0, 0)));
    // Within the two lines, wrapped as the line wraps it.
    const auto fits = [&](const std::wstring& text) {
        RECT needed{0, 0, line.right, 0};
        DrawTextW(screen.get(), text.c_str(), static_cast<int>(text.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        return needed.bottom <= line.bottom;
    };
    // `text` with its end after `keep` characters shortened in the middle to fit, or nothing.
    const auto shortenedAfter = [&](const std::wstring& text, std::size_t keep) -> std::wstring {
        const std::wstring head = text.substr(0, keep);
        const std::wstring tail = text.substr(keep);
        const auto shortened = [&](std::size_t kept) {
            const std::size_t front = kept * 2 / 3;
            return head + tail.substr(0, front) + L"\u2026" + tail.substr(tail.size() - (kept - front));
        };
        if (!fits(shortened(0))) return {};
        std::size_t low = 0;
        std::size_t high = tail.size();
        while (low < high) {
            const std::size_t middle = (low + high + 1) / 2;
            if (fits(shortened(middle))) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        return shortened(low);
    };
    std::wstring shown = whole;
    if (!fits(shown)) {
        // The program: the quoted first part or the first word.
        const std::size_t programEnd =
            whole.starts_with(L'"') ? std::min(whole.find(L'"', 1), whole.size()) : std::min(whole.find(L' '), whole.size());
        const std::size_t nameStart = whole.rfind(L'\\', programEnd);
        const std::size_t folderStart = whole.find(L'\\');
        std::wstring compact = whole;
        std::size_t programLength = programEnd;
        if (nameStart != std::wstring::npos && folderStart < nameStart) {
            compact = whole.substr(0, folderStart + 1) + L"\u2026" + whole.substr(nameStart);
            programLength = programEnd - (nameStart - folderStart - 2);
        }
        if (fits(compact)) {
            shown = compact;
        } else if (std::wstring cut = shortenedAfter(compact, std::min(programLength + 1, compact.size())); !cut.empty()) {
            shown = cut;
        } else {
            shown = shortenedAfter(whole, 0);
        }
    }
    SetWindowTextW(command_, shown.c_str());
}

void TAlertForm::ShowWaitingCount() {
    if (!waiting_) return;
    const WarningQueue& queue = context_.queue;
    const std::size_t queued = queue.Count();
    const std::size_t waiting = queue.AlertBusy() && queue.Current() && queued > 0 ? queued - 1 : 0;
    std::string text = waiting > 0 ? std::to_string(waiting) + " more waiting" : std::string();
    if (text == waitingText_) return;
    waitingText_ = std::move(text);
    SetWindowTextA(waiting_, waitingText_.c_str());
    // An empty label is hidden: the background under it moves the window as elsewhere.
    ShowWindow(waiting_, waitingText_.empty() ? SW_HIDE : SW_SHOWNA);
}

void TAlertForm::LoadAlert(const std::string& /*picture: the alert shows no picture of its own*/,
                           const std::string& danger) {
    // Only the red suffix selects other files: nothing else from a warning reaches a file name.
    const std::string suffix = danger == "_red" ? "_red" : "";

    Button_SetCheck(all_, BST_UNCHECKED);
    Button_SetCheck(allThreats_, BST_UNCHECKED);

    tint_ = suffix.empty() ? Tint::Yellow : Tint::Red;
    tintBrush_.reset(CreateSolidBrush(TintColour()));

    Skin& skin = skins_[suffix.empty() ? 0 : 1];
    if (!skin.read) ReadSkin(skin, suffix);
    loadedPictures_ = skin.loaded;
    pictureErrors_ = skin.errors;
    PutPictures(close3_, skin.exit);
    back_ = skin.back;
    PutPictures(shield_, skin.shield);
    PutPictures(ignore_, skin.ignore);

    shield_.ResetState();
    ignore_.ResetState();
    close3_.ResetState();

    RebuildBackground();
    skinLoaded_ = true;
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void TAlertForm::ReleaseSkin() {
    KillTimer(Handle(), kReleaseSkinTimer);
    for (Skin& skin : skins_) skin = {};
    if (!skinLoaded_) return;
    skinLoaded_ = false;
    back_ = {};
    backBrush_.reset();
    backBuffer_.reset();
    for (ImageButton* button : {&close3_, &shield_, &ignore_}) button->ClearPictures(TintColour());
}

void TAlertForm::ReadSkin(Skin& skin, const std::string& suffix) {
    skin = {};
    skin.exit = ReadButton(skin, "alert_exit", suffix);
    skin.back = ReadPicture(skin, "alert_main" + suffix + ".gif");
    skin.shield = ReadButton(skin, "shield", suffix);
    skin.ignore = ReadButton(skin, "ignore", suffix);
    skin.read = true;
}

Picture TAlertForm::ReadPicture(Skin& skin, const std::string& fileName) {
    try {
        Picture picture = Picture::Load(graphicsFolder_ + fileName);
        skin.loaded.push_back(fileName);
        return picture;
    } catch (const std::exception& error) {
        LogCaught("alert picture");
        skin.errors.push_back(error.what());
        return {};
    }
}

ImageButton::Pictures TAlertForm::ReadButton(Skin& skin, const std::string& base, const std::string& suffix) {
    ImageButton::Pictures pictures;
    pictures.normal = ReadPicture(skin, base + suffix + ".jpg");
    pictures.clicked = ReadPicture(skin, base + suffix + ".jpg");
    pictures.pressed = ReadPicture(skin, base + "_down" + suffix + ".jpg");
    pictures.hover = ReadPicture(skin, base + "_over" + suffix + ".jpg");
    return pictures;
}

void TAlertForm::PutPictures(ImageButton& button, const ImageButton::Pictures& pictures) {
    // A button is drawn from its pictures only when all of them were read; otherwise it is a
    // plain button, never half a skin.
    if (pictures.normal.Empty() || pictures.pressed.Empty() || pictures.hover.Empty()) {
        button.ClearPictures(TintColour());
    } else {
        button.SetPictures(pictures);
    }
}

void TAlertForm::RebuildBackground() {
    RECT client{};
    GetClientRect(Handle(), &client);
    const DpiScale& scale = layout_.Scale();
    const platform::WindowDc screen(Handle());
    platform::UniqueHbitmap buffer(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
    {
        const platform::MemoryDc memory(screen.get());
        const HDC dc = memory.get();
        const platform::SelectObjectGuard selectBuffer(dc, buffer.get());
        if (back_.Empty()) {
            // Plain colours: the tint with a darker frame along the rounded outline.
            FillRect(dc, &client, tintBrush_.get());
            {
                const platform::UniqueHpen pen(CreatePen(PS_SOLID, scale(2), kPlainFrame));
                const platform::SelectObjectGuard selectPen(dc, pen.get());
                const platform::SelectObjectGuard selectBrush(dc, GetStockObject(NULL_BRUSH));
                RoundRect(dc, 1, 1, client.right - 1, client.bottom - 1, scale(kCornerEllipse),
                          scale(kCornerEllipse));
            }
            // A frame shows where the description is.
            RECT memo = scale(kDescriptionPlace);
            InflateRect(&memo, 1, 1);
            const platform::UniqueHbrush frame(CreateSolidBrush(kPlainFrame));
            FrameRect(dc, &memo, frame.get());
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, kTextColour);
            const platform::SelectObjectGuard selectFont(dc, layout_.Font(kBoldFont));
            RECT heading{scale(24), scale(24), scale(380), scale(48)};
            DrawTextA(dc, "Sentrel 4 - threat alert", -1, &heading, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        } else {
            back_.Draw(dc, client);
        }
    }
    backBuffer_ = std::move(buffer);
    // The labels are transparent: they fill their background with the part of the picture
    // behind them.
    backBrush_.reset(CreatePatternBrush(backBuffer_.get()));
}

void TAlertForm::Present() {
    CentreOverMainWindow();
    ShowWindow(Handle(), SW_SHOW);
    for (int attempt = 0; attempt < kPresentAttempts; ++attempt) {
        SetForegroundWindow(Handle());
        BringWindowToTop(Handle());
        if (GetForegroundWindow() == Handle()) break;
        Sleep(kPresentRetryMs);
        ShowWindow(Handle(), SW_SHOW);
    }
    FormShow();
}

void TAlertForm::CentreOverMainWindow() {
    RECT window{};
    GetWindowRect(Handle(), &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;

    RECT workArea{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT over = workArea;
    RECT main{};
    if (mainWindow_ && IsWindowVisible(mainWindow_) && !IsIconic(mainWindow_) && GetWindowRect(mainWindow_, &main) &&
        main.right > main.left && main.bottom > main.top) {
        over = main;
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoA(MonitorFromRect(&main, MONITOR_DEFAULTTOPRIMARY), &monitor)) workArea = monitor.rcWork;
    }
    int x = over.left + ((over.right - over.left) - width) / 2;
    int y = over.top + ((over.bottom - over.top) - height) / 2;
    // Keep the whole alert on the screen.
    x = std::max<int>(workArea.left, std::min<int>(x, workArea.right - width));
    y = std::max<int>(workArea.top, std::min<int>(y, workArea.bottom - height));
    SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TAlertForm::IsChecked(HWND box) const {
    return Button_GetCheck(box) == BST_CHECKED;
}

void TAlertForm::shieldClick() {
    if (context_.repaintMainWindow) context_.repaintMainWindow();
    TWarning* warning = context_.queue.Current();
    if (!warning) return Settle();
    if (context_.queue.BeingFixed()) return;
    if (IsChecked(all_)) RememberAnswer(context_.blackList, *warning);
    const bool allSuch = IsChecked(allThreats_);
    if (allSuch) SetCategoryAction(*warning, static_cast<int>(CategoryAction::SolveAlways), context_.options);
    // The fix acts on a worker while this window keeps answering; until its finish no click may
    // settle the warning, so the buttons stay disabled.
    SetControlsEnabled(false);
    try {
        context_.queue.StartFix(*warning, context_.backuper,
                                [this, allSuch](const FixResult& result) { FixEnded(result, allSuch); });
    } catch (...) {
        FixEnded(FixResult{std::current_exception(), {}}, allSuch);
    }
}

void TAlertForm::FixEnded(const FixResult& result, bool allSuch) {
    SetControlsEnabled(true);
    // What a fix tells names what it found, as found: it is shown made safe, as the alert is.
    for (const std::string& notice : result.notices)
        ShowInformation(ReadableDetail(notice, kShownLineLength), Handle());
    if (result.error) {
        try {
            std::rethrow_exception(result.error);
        } catch (const ThreatGoneError& gone) {
            // Nothing is left to remove: the user hears why nothing happened, and the warning is
            // settled.
            ShowInformation(ReadableDetail(gone.what(), kShownLineLength), Handle());
        } catch (const std::exception& error) {
            LogCaught("alert Shield me");
            // The warning stays at the head and the alert stays up: the user may try again or
            // choose Ignore.
            reportError_("The threat could not be removed: " + ReadableDetail(error.what()));
            return;
        }
    }
    // The walk takes only the warnings behind the head, the dispatcher only the head.
    if (allSuch) SettleWaitingSlice(true);
    Settle();
}

void TAlertForm::ignoreClick() {
    if (context_.queue.BeingFixed()) return;  // Alt+F4 while the fix runs
    if (context_.repaintMainWindow) context_.repaintMainWindow();
    TWarning* warning = context_.queue.Current();
    if (warning) {
        if (IsChecked(all_)) RememberAnswer(context_.whiteList, *warning);
        if (IsChecked(allThreats_)) {
            SetCategoryAction(*warning, static_cast<int>(CategoryAction::IgnoreAlways), context_.options);
            SettleWaitingSlice(true);
        }
    }
    Settle();
}

void TAlertForm::RememberAnswer(TColorList& list, TWarning& warning) {
    // A list file that cannot be saved (a read-only program folder) keeps its old contents; the
    // user hears of it and the warning is still settled as the button says.
    try {
        list.AddAndSave(warning.ListFacts.empty() ? warning.GetDescription() : warning.ListFacts);
    } catch (const std::exception& error) {
        LogCaught("alert Do it always");
        reportError_("The answer could not be remembered: " + ReadableDetail(error.what()));
    }
}

void TAlertForm::close3Click() {
    ignoreClick();
}

void TAlertForm::SettleWaitingSlice(bool fresh) {
    if (!context_.settleWaiting || context_.settleWaiting(fresh)) return;
    // A walk that waits for a fix acting on a worker looks again a little later; one that ran
    // out of time goes on at once.
    if (context_.queue.BeingFixed())
        SetTimer(Handle(), kSettleWaitingTimer, kSettleWaitingRetryMs, nullptr);
    else
        PostMessageA(Handle(), kSettleWaitingMessage, 0, 0);
}

void TAlertForm::SetControlsEnabled(bool enabled) {
    for (const HWND control : {shield_.Handle(), ignore_.Handle(), close3_.Handle(), all_, allThreats_})
        EnableWindow(control, enabled);
}

void TAlertForm::Settle() {
    // The current warning is always the head; without one there is nothing to remove.
    if (context_.queue.Current()) context_.queue.RemoveHead();
    context_.queue.ClearCurrent();
    ShowWindow(Handle(), SW_HIDE);
    context_.queue.SetAlertBusy(false);
    ShowWaitingCount();
}

LRESULT TAlertForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole client area
    case WM_NCHITTEST: return WMNCHitTest(wParam, lParam);
    case WM_DPICHANGED: return OnDpiChanged(DpiChangeOf(wParam, lParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) FormActivate();
        return DefaultHandling(message, wParam, lParam);
    case WM_SHOWWINDOW:
        // The decoded skin is dropped a while after the alert was hidden (kSkinKeptMs);
        // ShowWarning puts it back before each showing, this covers a showing without a new
        // warning.
        if (wParam) {
            KillTimer(Handle(), kReleaseSkinTimer);
            if (!skinLoaded_) LoadAlert({}, tint_ == Tint::Red ? "_red" : "");
        } else {
            SetTimer(Handle(), kReleaseSkinTimer, kSkinKeptMs, nullptr);
        }
        if (wParam) PostMessageA(Handle(), kFormShowMessage, 0, 0);
        return DefaultHandling(message, wParam, lParam);
    case kFormShowMessage:
        if (IsWindowVisible(Handle())) FormShow();
        return 0;
    case kSettleWaitingMessage:
        SettleWaitingSlice(false);
        return 0;
    case WM_TIMER:
        if (wParam == kReleaseSkinTimer) {
            if (IsWindowVisible(Handle())) KillTimer(Handle(), kReleaseSkinTimer);
            else ReleaseSkin();  // stops the timer too
            return 0;
        }
        if (wParam != kSettleWaitingTimer) return DefaultHandling(message, wParam, lParam);
        KillTimer(Handle(), kSettleWaitingTimer);
        SettleWaitingSlice(false);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCopyId && HIWORD(wParam) == BN_CLICKED) {
            CopyCommand();
            return 0;
        }
        return DefaultHandling(message, wParam, lParam);
    case WM_CLOSE:
        // Alt+F4 on the alert is the close mark; the window itself lives for the whole run.
        if (IsWindowVisible(Handle()) && context_.queue.AlertBusy()) close3Click();
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT TAlertForm::OnPaint() {
    const platform::PaintDc paint(Handle());
    if (backBuffer_) {
        const platform::MemoryDc source(paint.get());
        const platform::SelectObjectGuard selectBuffer(source.get(), backBuffer_.get());
        const RECT& r = paint.Area();
        BitBlt(paint.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, source.get(), r.left, r.top, SRCCOPY);
    }
    return 0;
}

LRESULT TAlertForm::OnControlColour(HDC dc, HWND control) {
    // On the red alert the reasons are as dark as the other texts.
    const COLORREF textColour = control == reasons_ && tint_ != Tint::Red ? kReasonsColour : kTextColour;
    if (control == description_ || control == all_ || control == allThreats_ || !backBrush_) {
        SetBkColor(dc, TintColour());
        SetTextColor(dc, kTextColour);
        return reinterpret_cast<LRESULT>(tintBrush_.get());
    }
    // Labels: the picture behind them shows through.
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&place), 2);
    SetBrushOrgEx(dc, -place.left, -place.top, nullptr);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColour);
    return reinterpret_cast<LRESULT>(backBrush_.get());
}

LRESULT TAlertForm::WMNCHitTest(WPARAM wParam, LPARAM lParam) {
    const LRESULT hit = DefaultHandling(WM_NCHITTEST, wParam, lParam);
    if (hit != HTCLIENT) return hit;
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(Handle(), &at);
    // Only the background moves the window: any control under the mouse (a label too, which
    // lets hit tests through to the window, disabled ones included) keeps the client answer.
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        RECT place{};
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&place), 2);
        if (PtInRect(&place, at)) return hit;
    }
    return HTCAPTION;
}

void TAlertForm::FormActivate() {
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(Handle());
}

void TAlertForm::FormShow() {
    UpdateWindow(Handle());
    SetFocus(description_);
    SendMessageA(description_, EM_SETSEL, 0, 0);
}

}  // namespace sentrel::ui
