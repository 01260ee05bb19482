#pragma once
// A small modal window that asks for one line of text: a caption, a prompt, an edit field with a
// default text, "OK" and "Cancel".

#include <optional>
#include <string>

#include "ui/DpiLayout.h"
#include "ui/ModalWindow.h"

namespace sentrel::ui {

inline constexpr const char* kInputBoxClass = "TInputBox";

class InputBox : public ModalWindow {
public:
    // Shows the box over `owner`; the text entered, or nothing when the user cancelled.
    static std::optional<std::string> Ask(HWND owner, const std::string& caption, const std::string& prompt,
                                          const std::string& defaultText);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Create(HWND owner, const std::string& caption, const std::string& prompt, const std::string& text);

    HWND edit_ = nullptr;
    std::string answer_;
    DpiLayout layout_;
};

}  // namespace sentrel::ui
