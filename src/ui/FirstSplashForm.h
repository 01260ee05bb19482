#pragma once
// The first-run window: shown once, before the main window, on the first start. It welcomes the
// user and says how the shield works; its one button, "return", closes it.

#include <string>

#include "platform/UniqueHandle.h"
#include "ui/Controls.h"
#include "ui/DpiLayout.h"
#include "ui/ImageButton.h"
#include "ui/ModalWindow.h"
#include "ui/Picture.h"

namespace sentrel::ui {

inline constexpr const char* kFirstSplashFormClass = "TFirstSplashForm";

class TFirstSplashForm : public ModalWindow {
public:
    explicit TFirstSplashForm(std::string graphicsFolder);

    void Create();
    // Shows the window modally, centred on the desktop; true when the user closed it.
    bool ShowModalOver(HWND owner);

    ImageButton& ReturnButton() noexcept { return return_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    void LoadPictures();

    std::string graphicsFolder_;
    DpiLayout layout_;
    Picture back_;
    ImageButton return_;
    HintTips hints_;
    platform::UniqueHbrush panelBrush_;
};

}  // namespace sentrel::ui
