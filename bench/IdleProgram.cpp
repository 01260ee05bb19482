// The yardstick of the start-up and idle benchmark: a Win32 program that loads the system
// libraries the shield loads (common controls, GDI+, WinHTTP, CNG, the shell), makes a hidden
// window with a tray icon and runs one one-second timer, and nothing else. Ended by WM_CLOSE.
#include <windows.h>

#include <bcrypt.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winhttp.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <objidl.h>
#include <gdiplus.h>
#pragma GCC diagnostic pop

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// What the shield does with each library at start-up, no more: the common controls registered,
// GDI+ started, the signature check's providers opened, the per-user folder asked for.
void TouchLibraries() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    BCRYPT_ALG_HANDLE ecdsa = nullptr, sha = nullptr;
    BCryptOpenAlgorithmProvider(&ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    BCryptOpenAlgorithmProvider(&sha, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    WinHttpCheckPlatform();
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    TouchLibraries();
    WNDCLASSA wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.lpszClassName = "IdleProgram";
    RegisterClassA(&wc);
    // Created and never shown, as the shield's window while it sits in the tray.
    const HWND window = CreateWindowA("IdleProgram", "Idle", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                      instance, nullptr);
    NOTIFYICONDATAA tray{};
    tray.cbSize = sizeof tray;
    tray.hWnd = window;
    tray.uID = 1;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = kTrayMessage;
    tray.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    lstrcpynA(tray.szTip, "Idle", sizeof tray.szTip);
    Shell_NotifyIconA(NIM_ADD, &tray);
    SetTimer(window, 1, 1000, nullptr);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    Shell_NotifyIconA(NIM_DELETE, &tray);
    return 0;
}
