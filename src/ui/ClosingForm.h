#pragma once
// "Closing Sentrel...": asked when the user closes the main window and has not chosen yet what
// the close button does. Three choices, each with a small picture that selects it; "&OK" gives
// 1 (always minimise), 2 (always close) or 3 (close now and ask next time: the program is told
// to end at once), "&Cancel" gives 4.

#include <array>
#include <functional>

#include "ui/DpiLayout.h"
#include "ui/ModalWindow.h"
#include "ui/Picture.h"

namespace sentrel::ui {

inline constexpr const char* kClosingFormClass = "TClosingForm";

enum ClosingResult : int { kAlwaysMinimize = 1, kAlwaysClose = 2, kCloseNow = 3, kCloseCancelled = 4 };

class TClosingForm : public ModalWindow {
public:
    // `terminate` ends the program (the third choice).
    explicit TClosingForm(std::function<void()> terminate);

    // Creates the hidden dialog, owned by `owner` (it stays above it).
    void Create(HWND owner);
    // Shows the dialog centred over `owner`, the first choice selected; the result.
    int ShowModalOver(HWND owner);

    HWND Choice(int index) const { return radios_.at(static_cast<std::size_t>(index)); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnCommand(int id, int code);
    void Select(int index);
    int Selected() const;

    std::function<void()> terminate_;
    std::array<HWND, 3> radios_{};
    std::array<Picture, 3> pictures_;
    DpiLayout layout_;
};

}  // namespace sentrel::ui
