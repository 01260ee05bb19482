#include "ui/DpiLayout.h"

#include <algorithm>
#include <utility>

namespace sentrel::ui {

namespace {

struct FontRenewal {
    HFONT old;
    HFONT renewed;
};

BOOL CALLBACK RenewFont(HWND child, LPARAM renewals) noexcept {
    const auto font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
    if (!font) return TRUE;
    for (const FontRenewal& renewal : *reinterpret_cast<const std::vector<FontRenewal>*>(renewals)) {
        if (renewal.old != font) continue;
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(renewal.renewed), FALSE);
        break;
    }
    return TRUE;
}

}  // namespace

HFONT DpiLayout::Font(const FontSpec& design) {
    for (const MadeFont& made : fonts_) {
        if (made.face == design.face && made.pixelHeight == design.pixelHeight && made.bold == design.bold &&
            made.underline == design.underline)
            return made.font.get();
    }
    MadeFont made{design.face, design.pixelHeight, design.bold, design.underline, MakeFont(design, scale_)};
    const HFONT font = made.font.get();
    fonts_.push_back(std::move(made));
    return font;
}

HWND DpiLayout::Control(const char* className, const std::string& text, DWORD style, DWORD exStyle,
                        const DesignRect& place, HWND parent, int id, HFONT font) {
    const HWND control = CreateControl(className, text, style, exStyle, place, parent, id, font, scale_);
    Remember(control, place);
    return control;
}

void DpiLayout::Remember(HWND child, const DesignRect& place) {
    placed_.push_back({child, place});
}

void DpiLayout::Move(HWND child, const DesignRect& place) {
    const auto placed = std::find_if(placed_.begin(), placed_.end(), [&](const Placed& item) { return item.child == child; });
    if (placed == placed_.end()) {
        Remember(child, place);
    } else {
        placed->place = place;
    }
    const RECT at = scale_(place);
    SetWindowPos(child, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void DpiLayout::Apply(HWND window, const DpiChange& change) {
    const DpiScale scale(change.dpi);
    // All new fonts first: a font that cannot be made leaves the window as it was.
    std::vector<platform::UniqueHfont> renewed;
    renewed.reserve(fonts_.size());
    for (const MadeFont& made : fonts_) renewed.push_back(MakeFont(made.Spec(), scale));
    scale_ = scale;

    std::vector<FontRenewal> renewals;
    for (std::size_t i = 0; i < fonts_.size(); ++i) renewals.push_back({fonts_[i].font.get(), renewed[i].get()});
    EnumChildWindows(window, &RenewFont, reinterpret_cast<LPARAM>(&renewals));
    // No child uses an old font any more.
    for (std::size_t i = 0; i < fonts_.size(); ++i) fonts_[i].font = std::move(renewed[i]);

    for (const Placed& placed : placed_) {
        if (!IsWindow(placed.child)) continue;
        const RECT r = scale_(placed.place);
        SetWindowPos(placed.child, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    const RECT& to = change.suggested;
    SetWindowPos(window, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

}  // namespace sentrel::ui
