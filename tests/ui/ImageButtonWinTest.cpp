#include "ui/ImageButton.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "support/TempFolder.h"
#include "ui/Controls.h"
#include "ui/Picture.h"
#include "ui/UiTestSupport.h"

namespace sentrel::ui {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether two colours differ by at most `tolerance` in each channel (JPEG is lossy).
bool Near(COLORREF a, COLORREF b, int tolerance = 12) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

class ImageButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 50, 50, 300, 300, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        button_.Create(parent_, {10, 10, 120, 129}, DpiScale());
        const std::string folder = test::ShippedGraphicsFolder();
        button_.SetPictures({Picture::Load(folder + "shield.jpg"), Picture::Load(folder + "shield.jpg"),
                             Picture::Load(folder + "shield_down.jpg"), Picture::Load(folder + "shield_over.jpg")});
    }
    void TearDown() override {
        if (parent_) DestroyWindow(parent_);
    }
    LRESULT Send(UINT message, int x = 5, int y = 5) {
        return SendMessageA(button_.Handle(), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
    }
    std::string Shown() const { return const_cast<ImageButton&>(button_).ShownPicture().Source(); }

    HWND parent_ = nullptr;
    int clicks_ = 0;
    ImageButton button_{"shield", "Shield me", [this] { ++clicks_; }};
};

TEST_F(ImageButtonTest, MouseMovesThePictureThroughItsStatesAndClicksOnlyWhenReleasedInside) {
    EXPECT_EQ(WindowText(button_.Handle()), "shield");
    EXPECT_TRUE(EndsWith(Shown(), "\\shield.jpg")) << Shown();

    Send(WM_MOUSEMOVE);
    EXPECT_EQ(button_.CurrentState(), ImageButton::State::Hover);
    EXPECT_TRUE(EndsWith(Shown(), "\\shield_over.jpg")) << Shown();
    Send(WM_MOUSELEAVE);
    EXPECT_EQ(button_.CurrentState(), ImageButton::State::Normal);
    EXPECT_TRUE(EndsWith(Shown(), "\\shield.jpg")) << Shown();

    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(button_.CurrentState(), ImageButton::State::Pressed);
    EXPECT_TRUE(EndsWith(Shown(), "\\shield_down.jpg")) << Shown();
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks_, 1);
    EXPECT_EQ(button_.CurrentState(), ImageButton::State::Clicked);

    // Pressed, then released outside: no click.
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP, 500, 500);
    EXPECT_EQ(clicks_, 1);
    EXPECT_EQ(button_.CurrentState(), ImageButton::State::Normal);

    // BM_CLICK works like a mouse click, as on a standard button.
    SendMessageA(button_.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks_, 2);
    // So do Space and Enter on a focused button; other keys do nothing.
    SendMessageA(button_.Handle(), WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(button_.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(button_.Handle(), WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(clicks_, 4);
}

TEST_F(ImageButtonTest, ALatchingButtonStaysPressedUntilReleased) {
    button_.SetLatching(true);
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks_, 1);
    EXPECT_TRUE(button_.Down());
    Send(WM_MOUSEMOVE);
    Send(WM_MOUSELEAVE);
    EXPECT_EQ(button_.CurrentState(), ImageButton::State::Pressed);
    EXPECT_TRUE(EndsWith(Shown(), "\\shield_down.jpg")) << Shown();

    button_.SetDown(false);
    EXPECT_FALSE(button_.Down());
    EXPECT_TRUE(EndsWith(Shown(), "\\shield.jpg")) << Shown();

    // A button that does not latch never stays down.
    button_.SetLatching(false);
    button_.SetDown(true);
    EXPECT_FALSE(button_.Down());
}

TEST_F(ImageButtonTest, WithoutPicturesItIsAPlainButtonThatStillClicks) {
    button_.ClearPictures(RGB(251, 215, 112));
    EXPECT_FALSE(button_.HasPictures());
    EXPECT_TRUE(button_.ShownPicture().Empty());
    Send(WM_LBUTTONDOWN);
    UpdateWindow(button_.Handle());  // paints the plain pressed face
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks_, 1);
}

TEST(Picture, LoadsGifAndJpegAndNamesTheFileWhenItCannot) {
    const std::string folder = test::ShippedGraphicsFolder();
    const Picture back = Picture::Load(folder + "alert_main.gif");
    EXPECT_EQ(back.Width(), 438);
    EXPECT_EQ(back.Height(), 355);
    const Picture shield = Picture::Load(folder + "shield.jpg");
    EXPECT_EQ(shield.Width(), 120);
    EXPECT_EQ(shield.Height(), 209);

    sentrel::test::TempFolder temp;
    try {
        Picture::Load(temp / "missing.jpg");
        ADD_FAILURE() << "a missing picture loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("missing.jpg"), std::string::npos) << error.what();
    }
    sentrel::test::WriteTextFile(temp / "text.jpg", "not a picture at all");
    EXPECT_THROW(Picture::Load(temp / "text.jpg"), std::runtime_error);
}

TEST(Picture, TheAlertPicturesAreOfOnePiece) {
    // The check boxes and the memo sit on the tint; each button picture continues the background
    // behind it at its place.
    const std::string folder = test::ShippedGraphicsFolder();
    struct Tint {
        const char* suffix;
        COLORREF colour;
    };
    for (const Tint tint : {Tint{"", RGB(251, 215, 112)}, Tint{"_red", RGB(243, 126, 126)}}) {
        const std::string d = tint.suffix;
        const Picture back = Picture::Load(folder + "alert_main" + d + ".gif");
        EXPECT_EQ(back.PixelAt(100, 330), tint.colour) << d;  // behind the check boxes
        EXPECT_EQ(back.PixelAt(150, 160), tint.colour) << d;  // behind the memo
        struct Place {
            const char* name;
            int left, top, width, height;
        };
        for (const Place place : {Place{"shield", 310, 65, 120, 209}, Place{"ignore", 310, 280, 120, 49},
                                  Place{"alert_exit", 394, 10, 25, 22}}) {
            for (const char* state : {"", "_over", "_down"}) {
                const Picture button = Picture::Load(folder + place.name + state + d + ".jpg");
                EXPECT_EQ(button.Width(), place.width);
                EXPECT_EQ(button.Height(), place.height);
                const int right = place.width - 1, bottom = place.height - 1;
                EXPECT_TRUE(Near(button.PixelAt(0, 0), back.PixelAt(place.left, place.top)))
                    << place.name << state << d;
                EXPECT_TRUE(Near(button.PixelAt(right, bottom), back.PixelAt(place.left + right, place.top + bottom)))
                    << place.name << state << d;
            }
        }
    }
}

}  // namespace
}  // namespace sentrel::ui
