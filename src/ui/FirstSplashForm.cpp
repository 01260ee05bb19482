#include "ui/FirstSplashForm.h"

#include <exception>

#include "common/DiagnosticLog.h"
#include "ui/MessageBox.h"
#include "ui/Skin.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 580;
constexpr int kClientHeight = 550;
constexpr DesignRect kReturnPlace{190, 470, 200, 50};
constexpr DesignRect kHeadingPlace{48, 152, 484, 28};
constexpr DesignRect kTextPlace{48, 188, 484, 250};
constexpr FontSpec kHeadingFont{"Verdana", 18, true};
constexpr FontSpec kTextFont{"Verdana", 12};
constexpr int kOk = 1;
constexpr int kClosedByProgram = 0;

constexpr const char* kHeading = "Welcome to Sentrel 4";
constexpr const char* kText =
    "Sentrel now guards this computer against spyware, adware and trojans. It lives in the "
    "notification area near the clock and watches the places where such programs settle: running "
    "programs, the Windows folder, the autorun list, your browser settings, the registry, tracking "
    "cookies and known spyware folders.\r\n\r\n"
    "When Sentrel finds a threat, a small alert window asks you what to do: \"Shield me\" removes the "
    "threat, \"Ignore\" leaves it. Everything Sentrel removes is backed up first, so you can undo any "
    "change later (Undo in the main window).\r\n\r\n"
    "Choose how closely Sentrel watches by clicking one of the security level shields in its main "
    "window; Medium suits most users. Press Ctrl+Shift+A at any time to show or hide the main window, "
    "and keep the threat database current with Update.";

}  // namespace

TFirstSplashForm::TFirstSplashForm(std::string graphicsFolder)
    : graphicsFolder_(std::move(graphicsFolder)), return_("return", "Return to Sentrel", [this] { EndModal(kOk); }) {}

void TFirstSplashForm::Create() {
    RegisterWindowClass(kFirstSplashFormClass, 0, nullptr, reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
    layout_ = DpiLayout(DpiScale::Of(nullptr));
    const DpiScale& scale = layout_.Scale();
    CreateWindowOfClass(kFirstSplashFormClass, "Sentrel 4", WS_POPUP | WS_CLIPCHILDREN, WS_EX_TOPMOST, 0, 0,
                        scale(kClientWidth), scale(kClientHeight));
    panelBrush_.reset(CreateSolidBrush(kFirstSplashPanel));
    layout_.Control("STATIC", kHeading, SS_LEFT | SS_NOPREFIX, 0, kHeadingPlace, Handle(), 0,
                    layout_.Font(kHeadingFont));
    layout_.Control("STATIC", kText, SS_LEFT | SS_NOPREFIX, 0, kTextPlace, Handle(), 0, layout_.Font(kTextFont));
    return_.Create(Handle(), kReturnPlace, scale);
    layout_.Remember(return_.Handle(), kReturnPlace);
    hints_.Create(Handle());
    hints_.Add(return_.Handle(), "Return to Sentrel");
}

void TFirstSplashForm::LoadPictures() {
    try {
        back_ = Picture::Load(graphicsFolder_ + "FirstSplash.gif");
    } catch (const std::exception&) {
        LogCaught("first-run picture");
        // Without its picture the window is drawn in plain colours; it still says what it says.
        back_ = {};
    }
    LoadResourceButton(return_, "return", kFirstSplashPanel);
}

bool TFirstSplashForm::ShowModalOver(HWND owner) {
    CentreOnDesktop(Handle());
    return_.ResetState();
    // Shown once in the program's life: its pictures are read for the showing and dropped after.
    LoadPictures();
    const bool closed = ShowModal(owner, kClosedByProgram) == kOk;
    back_ = {};
    return_.ClearPictures(kFirstSplashPanel);
    return closed;
}

LRESULT TFirstSplashForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return 1;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, kFirstSplashPanel);
        SetTextColor(dc, kSkinText);
        return reinterpret_cast<LRESULT>(panelBrush_.get());
    }
    case WM_COMMAND:
        // Enter and Escape (IsDialogMessage) close the window as the button does.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndModal(kOk);
        return 0;
    case WM_CLOSE:
        EndModal(kOk);
        return 0;
    case WM_DPICHANGED:
        // The picture is drawn stretched to the new size.
        layout_.Apply(Handle(), DpiChangeOf(wParam, lParam));
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT TFirstSplashForm::OnPaint() {
    PaintSkin(Handle(), back_, layout_.Scale(), {0, 0, kClientWidth, kClientHeight}, kFirstSplashPanel);
    return 0;
}

}  // namespace sentrel::ui
