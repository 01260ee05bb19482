// A library planted beside a program under a system library's name (winhttp.dll, bcrypt.dll):
// loaded, it leaves "<its own path>.loaded" behind, so a test sees whether the program took it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcatW(path, L".loaded");
    const HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}

extern "C" __declspec(dllexport) int SentrelPlantedMarker() {
    return 7;
}
