#include "ui/TrayMenu.h"

#include <exception>

#include "common/DiagnosticLog.h"
#include "core/SecurityLevels.h"
#include "platform/Win32Error.h"
#include "ui/Picture.h"

namespace sentrel::ui {

namespace {

constexpr int kPictureSize = 16;
constexpr const char* kPicturesResource = "tray_menu_png";

// Places in the picture strip.
enum MenuPicture : int { kShowPicture, kLevelPicture, kUpdatePicture, kUndoPicture, kScannerPicture, kOptionsPicture,
                     kHelpPicture, kExitPicture, kPictureCount };

}  // namespace

TrayMenu::TrayMenu() : menu_(CreatePopupMenu()) {
    if (!menu_) platform::ThrowLastError("CreatePopupMenu");
    LoadPictures();
    const HMENU menu = menu_.get();
    AddItem(menu, kShowCommand, kShowItemText, kShowPicture);
    SetMenuDefaultItem(menu, kShowCommand, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);

    levels_ = CreatePopupMenu();
    if (!levels_) platform::ThrowLastError("CreatePopupMenu");
    for (std::size_t level = 0; level < kLevels.size(); ++level)
        AppendMenuA(levels_, MF_STRING, kLevelCommand + level, std::string(kLevels[level].menuItem).c_str());
    AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(levels_), "&Security Level");
    if (pictures_) {
        MENUITEMINFOA info{sizeof info};
        info.fMask = MIIM_BITMAP | MIIM_DATA;
        info.hbmpItem = HBMMENU_CALLBACK;
        info.dwItemData = kLevelPicture;
        SetMenuItemInfoA(menu, GetMenuItemCount(menu) - 1, TRUE, &info);
    }
    AddItem(menu, kOnlineUpdateCommand, "&Online Update", kUpdatePicture);
    AddItem(menu, kUndoChangesCommand, "&Undo Changes...", kUndoPicture);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AddItem(menu, kRunScannerCommand, "&Run Scanner", kScannerPicture);
    AddItem(menu, kOptionsCommand, "O&ptions...", kOptionsPicture);
    AddItem(menu, kHelpCommand, "&Help...", kHelpPicture);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AddItem(menu, kExitCommand, "&Exit", kExitPicture);
}

TrayMenu::~TrayMenu() {
    if (pictures_) ImageList_Destroy(pictures_);
}

void TrayMenu::LoadPictures() {
    try {
        // Transparent pixels stay transparent: the image list draws with the alpha channel.
        const ui::Picture strip = ui::Picture::FromResource(kPicturesResource, 0);
        if (strip.Width() < kPictureSize * kPictureCount || strip.Height() < kPictureSize) return;
        pictures_ = ImageList_Create(kPictureSize, kPictureSize, ILC_COLOR32, kPictureCount, 0);
        if (pictures_ && ImageList_Add(pictures_, strip.Bitmap(), nullptr) < 0) {
            ImageList_Destroy(pictures_);
            pictures_ = nullptr;
        }
    } catch (const std::exception&) {
        LogCaught("tray menu pictures");
        // A menu without pictures works all the same.
        pictures_ = nullptr;
    }
}

void TrayMenu::AddItem(HMENU menu, UINT command, const char* text, std::optional<int> picture) {
    if (!AppendMenuA(menu, MF_STRING, command, text)) platform::ThrowLastError("AppendMenuA");
    if (!picture || !pictures_) return;
    MENUITEMINFOA info{sizeof info};
    info.fMask = MIIM_BITMAP | MIIM_DATA;
    info.hbmpItem = HBMMENU_CALLBACK;
    info.dwItemData = static_cast<ULONG_PTR>(*picture);
    SetMenuItemInfoA(menu, command, FALSE, &info);
}

void TrayMenu::CheckLevel(int level) {
    for (int item = 0; item < static_cast<int>(kLevels.size()); ++item)
        CheckMenuItem(levels_, kLevelCommand + item, MF_BYCOMMAND | (item == level ? MF_CHECKED : MF_UNCHECKED));
}

void TrayMenu::Show(HWND owner, POINT at) {
    // The menu closes when the user clicks elsewhere only if its owner is the foreground
    // window; the message afterwards lets the next click on the icon open it again.
    SetForegroundWindow(owner);
    TrackPopupMenuEx(menu_.get(), TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
}

bool TrayMenu::MeasureItem(MEASUREITEMSTRUCT& item) const {
    if (item.CtlType != ODT_MENU || !pictures_) return false;
    item.itemWidth = kPictureSize;
    item.itemHeight = kPictureSize;
    return true;
}

bool TrayMenu::DrawItem(const DRAWITEMSTRUCT& item) const {
    if (item.CtlType != ODT_MENU || !pictures_) return false;
    const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - kPictureSize) / 2;
    ImageList_Draw(pictures_, static_cast<int>(item.itemData), item.hDC, item.rcItem.left, top, ILD_TRANSPARENT);
    return true;
}

}  // namespace sentrel::ui
