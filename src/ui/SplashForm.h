#pragma once
// "Talvex is not installed on your computer yet!": shown when the user asks for the maker's
// on-demand scanner and it is not installed. A picture, a sentence and four links to the
// scanner's pages, which open in the default browser.

#include <array>
#include <string>

#include "ui/DpiLayout.h"
#include "ui/Picture.h"
#include "ui/Window.h"

namespace sentrel::ui {

inline constexpr const char* kSplashFormClass = "TSplashForm";

class TSplashForm : public Window {
public:
    explicit TSplashForm(std::string graphicsFolder);

    void Create();
    // Shows the window (not modal) centred over `owner`.
    void Present(HWND owner);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    // Reads the picture when the window shows, drops it when the window hides.
    void ShowPicture(bool shown);
    void DrawLink(const DRAWITEMSTRUCT& item) const;

    std::string graphicsFolder_;
    DpiLayout layout_;
    Picture picture_;
};

}  // namespace sentrel::ui
