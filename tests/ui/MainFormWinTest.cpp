#include "ui/MainForm.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include <windowsx.h>

#include "config/Options.h"
#include "support/TempFolder.h"
#include "ui/ClosingForm.h"
#include "ui/Picture.h"
#include "ui/Skin.h"
#include "ui/SplashForm.h"
#include "ui/UiTestSupport.h"

namespace sentrel::ui {
namespace {

// The window goes while the form is still whole, so the form's own end runs and gives the hot key
// back: anyone can take Ctrl+Shift+A again.
TEST(MainFormEnd, DestroyingTheFormGivesBackItsHotKey) {
    constexpr int kProbeId = 7;
    if (!RegisterHotKey(nullptr, kProbeId, MOD_CONTROL | MOD_SHIFT, 'A'))
        GTEST_SKIP() << "another program holds Ctrl+Shift+A";
    UnregisterHotKey(nullptr, kProbeId);
    sentrel::test::TempFolder folder;
    TOptions options("options.ini", folder.Path());
    HelpEngine help;
    TClosingForm closing([] {});
    TSplashForm splash(test::ShippedGraphicsFolder());
    auto form = std::make_unique<TMainForm>(TMainForm::Callbacks{.terminate = [] {}, .endSession = [] {}});
    form->Create();
    form->CreateFace(options, test::ShippedGraphicsFolder(), "C:\\nowhere\\Help.chm", help, closing, splash);
    ASSERT_FALSE(RegisterHotKey(nullptr, kProbeId, MOD_CONTROL | MOD_SHIFT, 'A')) << "the form did not take the key";
    const HWND window = form->Handle();
    form.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(RegisterHotKey(nullptr, kProbeId, MOD_CONTROL | MOD_SHIFT, 'A')) << "the hot key stayed taken";
    UnregisterHotKey(nullptr, kProbeId);
}

// The main window with its face, as the program builds it, without a help engine.
class MainFormFaceTest : public ::testing::Test {
protected:
    MainFormFaceTest() {
        form_.Create();
        form_.CreateFace(options_, test::ShippedGraphicsFolder(), "C:\\nowhere\\Help.chm", help_, closing_, splash_);
        form_.ShowTrayIcon();
    }

    // Runs `action`, which shows a message box of this thread, and answers the box; its text.
    std::string MessageOf(const std::function<void()>& action) {
        std::string text;
        std::thread answerer([&] {
            // A box that comes late (a loaded machine) is still answered: one left open would
            // hold the test until it is killed.
            for (int attempt = 0; attempt < 1200; ++attempt) {
                if (const HWND box = FindWindowA("#32770", "Sentrel 4")) {
                    char buffer[512] = {};
                    GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
                    text = buffer;
                    PostMessageA(box, WM_COMMAND, IDOK, 0);
                    return;
                }
                Sleep(50);
            }
        });
        action();
        answerer.join();
        return text;
    }

    sentrel::test::TempFolder folder_;
    TOptions options_{"options.ini", folder_.Path()};
    HelpEngine help_;
    TClosingForm closing_{[] {}};
    TSplashForm splash_{test::ShippedGraphicsFolder()};
    int levelsSet_ = 0;
    TMainForm form_{{.terminate = [] {},
                     .endSession = [] {},
                     .setLevel = [this](int) { ++levelsSet_; },
                     .showOptions = [](OptionsPage) {},
                     .showUpdateWizard = [](bool) {}}};
};

TEST_F(MainFormFaceTest, ShowLevelShowsEveryLevelSignAndNothingForAnUnknownLevel) {
    EXPECT_EQ(form_.Tray().Tip(), "Sentrel");
    const char* images[] = {"small_shield", "middle_shield", "large_shield", "custom", "disabled"};
    const char* tips[] = {"Sentrel 4: Low Security Level", "Sentrel 4: Medium Security Level",
                          "Sentrel 4: High Security Level", "Sentrel 4: Custom Security Level", "Disabled"};
    const char* labels[] = {"Low", "Medium", "High", "Custom", "Disabled"};
    for (int level = 0; level < 5; ++level) {
        form_.ShowLevel(level);
        EXPECT_EQ(form_.Tray().Tip(), tips[level]);
        EXPECT_EQ(WindowText(form_.LevelLabel()), labels[level]);
        for (int other = 0; other < 5; ++other) {
            EXPECT_EQ(form_.FindButton(images[other])->Down(), other == level) << level << " " << images[other];
            const UINT state = GetMenuState(form_.Menu()->LevelMenu(), kLevelCommand + other, MF_BYCOMMAND);
            EXPECT_EQ((state & MF_CHECKED) != 0, other == level) << level << " menu " << other;
        }
    }
    form_.ShowLevel(9);
    EXPECT_EQ(form_.Tray().Tip(), "Disabled");
    EXPECT_TRUE(form_.FindButton("disabled")->Down());
}

TEST_F(MainFormFaceTest, HelpWithoutAnEngineSaysSoAsItWasAsked) {
    const std::string button = MessageOf([&] { SendMessageA(form_.FindButton("help")->Handle(), BM_CLICK, 0, 0); });
    EXPECT_EQ(button, "Sorry, but your system doesn't support HTMLHelp.\rPlease, consult our support in order to solve "
                      "this problem. ");
    MSG f1{form_.FindButton("undo")->Handle(), WM_KEYDOWN, VK_F1, 0, 0, {}};
    const std::string key = MessageOf([&] { EXPECT_TRUE(form_.PreviewKey(f1)); });
    EXPECT_EQ(key, "Sorry, but your system doesn't support HTMlHelp.\rPlease, consult our support in order to solve "
                   "this problem.");
    f1.wParam = VK_F2;
    EXPECT_FALSE(form_.PreviewKey(f1));
}

TEST_F(MainFormFaceTest, OnlyTheBackgroundDragsTheWindow) {
    SetWindowPos(form_.Handle(), nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const auto hitTest = [&](int x, int y) {
        POINT at{x, y};
        ClientToScreen(form_.Handle(), &at);
        return SendMessageA(form_.Handle(), WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    };
    EXPECT_EQ(hitTest(300, 60), HTCAPTION);         // the background
    EXPECT_EQ(hitTest(60, 70), HTCLIENT);           // scaner
    EXPECT_EQ(hitTest(260, 200), HTCLIENT);         // small_shield
    EXPECT_EQ(hitTest(200, 425), HTCLIENT);         // "Current security level:"
    SendMessageA(form_.FindButton("large_shield")->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(levelsSet_, 1);
}

// The decoded pictures are held only while the window shows; shown again, it draws its skin
// again (not the plain face of a window without pictures).
TEST_F(MainFormFaceTest, PicturesAreHeldOnlyWhileShownAndDrawnAgainWhenShownAgain) {
    const Picture back = Picture::Load(test::ShippedGraphicsFolder() + "main_back.jpg");
    const auto drawnBackground = [&] {
        UpdateWindow(form_.Handle());
        const HDC dc = GetDC(form_.Handle());
        const COLORREF drawn = GetPixel(dc, 300, 60);  // the background is placed at -1,-3
        ReleaseDC(form_.Handle(), dc);
        return drawn;
    };
    SetWindowPos(form_.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    for (int showing = 0; showing < 2; ++showing) {
        EXPECT_FALSE(form_.FindButton("large_shield")->HasPictures()) << showing;
        ShowWindow(form_.Handle(), SW_SHOWNA);
        EXPECT_TRUE(form_.FindButton("large_shield")->HasPictures()) << showing;
        EXPECT_EQ(drawnBackground(), back.PixelAt(301, 63)) << showing;
        EXPECT_NE(back.PixelAt(301, 63), kPlainFace);
        ShowWindow(form_.Handle(), SW_HIDE);
    }
}

}  // namespace
}  // namespace sentrel::ui
