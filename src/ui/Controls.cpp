#include "ui/Controls.h"

#include <commctrl.h>

#include "platform/Win32Error.h"

namespace sentrel::ui {

platform::UniqueHfont MakeFont(const FontSpec& design, const DpiScale& scale) {
    LOGFONTA font{};
    font.lfHeight = -scale(design.pixelHeight);
    font.lfWeight = design.bold ? FW_BOLD : FW_NORMAL;
    font.lfUnderline = design.underline ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    lstrcpynA(font.lfFaceName, design.face, LF_FACESIZE);
    platform::UniqueHfont result(CreateFontIndirectA(&font));
    if (!result) platform::ThrowLastError(std::string("CreateFontIndirectA(") + design.face + ")");
    return result;
}

HWND CreateControl(const char* className, const std::string& text, DWORD style, DWORD exStyle,
                   const DesignRect& place, HWND parent, int id, HFONT font, const DpiScale& scale) {
    const RECT r = scale(place);
    const HWND control =
        CreateWindowExA(exStyle, className, text.c_str(), style | WS_CHILD | WS_VISIBLE, r.left, r.top,
                        r.right - r.left, r.bottom - r.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (!control) platform::ThrowLastError(std::string("CreateWindowExA(") + className + ", " + text + ")");
    if (font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

HintTips::~HintTips() {
    if (tips_ && IsWindow(tips_)) DestroyWindow(tips_);
}

void HintTips::Create(HWND owner) {
    static const bool initialised = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)initialised;
    tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    if (!tips_) platform::ThrowLastError("CreateWindowExA(tooltips)");
    SendMessageA(tips_, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(700, 0));
    SendMessageA(tips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(32767, 0));  // the longest a tooltip takes
    SendMessageA(tips_, TTM_SETMAXTIPWIDTH, 0, 400);
}

void HintTips::Add(HWND control, const std::string& hint) {
    if (!tips_) return;
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<char*>(hint.c_str());
    if (!SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool)))
        platform::ThrowWin32Error("TTM_ADDTOOL(" + hint + ")", ERROR_INVALID_PARAMETER);
}

void HintTips::Change(HWND control, const std::string& hint) {
    if (!tips_) return;
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<char*>(hint.c_str());
    SendMessageA(tips_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace sentrel::ui
