#include "e2e/ShieldProcess.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "platform/GdiGuards.h"
#include "platform/ProgramFolder.h"
#include "platform/UniqueHandle.h"
#include "platform/Win32Error.h"

namespace sentrel::e2e {

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->processId) return TRUE;
    char name[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    if (std::string(name) != search->className) return TRUE;
    search->found = hwnd;
    return FALSE;
}

template <typename Probe>
auto PollUntil(std::chrono::milliseconds timeout, Probe probe) -> decltype(probe()) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto result = probe()) return result;
        if (std::chrono::steady_clock::now() >= deadline) return {};
        std::this_thread::sleep_for(50ms);
    }
}

}  // namespace

std::string BuildBinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return FolderPart(path);
}

ProgramFolder::ProgramFolder(bool withDatabase, const std::string& name) : path_(folder_.Path()) {
    for (std::size_t start = 0; start < name.size();) {  // one level after the other
        const std::size_t end = std::min(name.find('\\', start), name.size());
        path_ += name.substr(start, end - start) + "\\";
        if (!CreateDirectoryW(WideFromUtf8(path_).c_str(), nullptr)) platform::ThrowLastError("CreateDirectoryW(" + path_ + ")");
        start = end + 1;
    }
    const std::string bin = BuildBinFolder();
    for (const char* file : {"Sentrel4.exe", "database.db"}) {
        if (!withDatabase && std::string_view(file) == "database.db") continue;
        if (!CopyFileW(WideFromUtf8(bin + file).c_str(), WideFromUtf8(path_ + file).c_str(), FALSE))
            platform::ThrowLastError(std::string("CopyFileW(") + file + ")");
    }
}

void ProgramFolder::CopyGraphics() const {
    const std::string source = BuildBinFolder() + "graphics\\";
    const std::string target = path_ + "graphics\\";
    CreateDirectoryW(WideFromUtf8(target).c_str(), nullptr);
    WIN32_FIND_DATAA found{};
    const HANDLE find = FindFirstFileA((source + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) platform::ThrowLastError("FindFirstFileA(" + source + ")");
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!CopyFileW(WideFromUtf8(source + found.cFileName).c_str(), WideFromUtf8(target + found.cFileName).c_str(),
                       FALSE))
            platform::ThrowLastError(std::string("CopyFileW(") + found.cFileName + ")");
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

ShieldProcess::ShieldProcess(const ProgramFolder& folder, const std::string& currentFolder)
    : ShieldProcess(folder / "Sentrel4.exe", currentFolder) {}

ShieldProcess::ShieldProcess(const std::string& programPath, const std::string& currentFolder) {
    std::wstring commandLine = L"\"" + WideFromUtf8(programPath) + L"\"";
    const std::wstring folder = WideFromUtf8(currentFolder.empty() ? FolderPart(programPath) : currentFolder);
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION info{};
    // Wine now and then refuses to start a program it has just seen copied ("Internal error");
    // a few bounded attempts keep that from failing a test about something else.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                           &startup, &info))
            break;
        if (attempt == 3) platform::ThrowLastError("CreateProcessW(" + programPath + ")");
        Sleep(500);
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
}

ShieldProcess::~ShieldProcess() {
    if (IsRunning()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 10000);
    }
}

bool ShieldProcess::IsRunning() const {
    return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool ShieldProcess::WaitUntilStarted(std::chrono::milliseconds timeout) const {
    const HWND mainWindow = WaitForWindow("TMainForm", timeout);
    if (!mainWindow) return false;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_BLOCK, static_cast<UINT>(timeout.count()), &answer) != 0;
}

HWND ShieldProcess::WaitForWindow(const char* className, std::chrono::milliseconds timeout) const {
    return PollUntil(timeout, [&]() -> HWND {
        WindowSearch search{processId_, className, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    });
}

HWND ShieldProcess::WaitForMessageBox(std::chrono::milliseconds timeout) const {
    // The box is found as soon as it exists; wait until its text is there too.
    return PollUntil(timeout, [&]() -> HWND {
        const HWND box = WaitForWindow("#32770", 0ms);
        return box && !MessageBoxText(box).empty() ? box : nullptr;
    });
}

std::optional<DWORD> ShieldProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return {};
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

bool WaitForVisibility(HWND window, bool visible, std::chrono::milliseconds timeout) {
    return PollUntil(timeout, [&] { return (IsWindowVisible(window) != FALSE) == visible; });
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string WindowText(HWND window) {
    // WM_GETTEXT rather than GetWindowText: the latter does not read controls of another process.
    // The wide message carries every character whatever the code pages of the two processes.
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    const auto length = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return Utf8FromWide(text);
}

std::vector<std::string> ChildTexts(HWND parent) {
    std::vector<std::string> texts;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<std::string>*>(list)->push_back(WindowText(child));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

HWND FindChildByText(HWND parent, const std::string& text) {
    struct Search {
        const std::string* text;
        HWND found;
    } search{&text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (WindowText(child) != *s->text) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void SaveWindowPicture(HWND window, const std::string& path) {
    // The window and its children paint now, before the screen is read: RDW_UPDATENOW returns
    // once they have handled their paint messages; the message sent after it returns once the
    // window's thread is back in its loop, where a window's drawing reaches the screen.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const platform::WindowDc screen(nullptr);
    const platform::MemoryDc memory(screen.get());
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB};
    void* bits = nullptr;
    const platform::UniqueHbitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) platform::ThrowLastError("CreateDIBSection");
    {
        const platform::SelectObjectGuard select(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
        GdiFlush();
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::size_t size = stride * static_cast<std::size_t>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = static_cast<DWORD>(header.bfOffBits + size);
    std::string file(reinterpret_cast<const char*>(&header), sizeof header);
    file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    file.append(static_cast<const char*>(bits), size);
    WriteFileBytes(path, std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
}

std::string MessageBoxText(HWND box) {
    // The text of a message box is its static control with the id 0xFFFF.
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void PressOk(HWND box) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

DWORD RunAndWait(const std::string& commandLine, std::chrono::milliseconds timeout) {
    std::string line = commandLine;
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
        platform::ThrowLastError("CreateProcessA(" + commandLine + ")");
    platform::UniqueHandle process(info.hProcess);
    CloseHandle(info.hThread);
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        throw std::runtime_error(commandLine + " did not finish");
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

unsigned long long LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

unsigned long long SetLastWriteTimeBack(const std::string& path) {
    const platform::UniqueHandle file(
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) platform::ThrowLastError("CreateFileA(" + path + ")");
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{};
    time.LowPart = now.dwLowDateTime;
    time.HighPart = now.dwHighDateTime;
    time.QuadPart -= 3600ull * 10'000'000ull;  // an hour in 100-ns units
    const FILETIME back{time.LowPart, time.HighPart};
    if (!SetFileTime(file.get(), nullptr, nullptr, &back)) platform::ThrowLastError("SetFileTime(" + path + ")");
    return time.QuadPart;
}

std::string ScreenshotPath(const std::string& name) {
    const std::string folder = BuildBinFolder() + "..\\screenshots\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + name;
}

std::string ReadTextFile(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void Press(HWND window, const std::string& text) {
    const HWND button = FindChildByText(window, text);
    if (button == nullptr) throw std::runtime_error("no button \"" + text + "\"");
    PostMessageA(button, BM_CLICK, 0, 0);
}

void Keys(std::initializer_list<WORD> down) {
    std::vector<INPUT> inputs;
    for (const WORD key : down) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = down.end(); it != down.begin();) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *--it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::string AutostartBaselinePath() {
    return platform::UserAppDataFolder() + "\\.SentrelSettings\\autostart_baseline.txt";
}

void ForgetAutostartBaseline() {
    DeleteFileA(AutostartBaselinePath().c_str());
}

void WaitForAutostartBaseline() {
    Eventually([] { return GetFileAttributesA(AutostartBaselinePath().c_str()) != INVALID_FILE_ATTRIBUTES; }, 30s);
}

}  // namespace sentrel::e2e
