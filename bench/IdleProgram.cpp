// The yardstick of the idle benchmark: a Win32 program that does nothing but keep one window
// with a one-second timer, ended by WM_CLOSE.
#include <windows.h>

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.lpszClassName = "IdleProgram";
    RegisterClassA(&wc);
    const HWND window = CreateWindowA("IdleProgram", "Idle", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                      instance, nullptr);
    SetTimer(window, 1, 1000, nullptr);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
