#pragma once
// Drives the real Sentrel4.exe as a user or an administrator would: a fresh program folder,
// the process, its windows and message boxes.

#include <chrono>
#include <optional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "platform/UniqueHandle.h"
#include "support/TempFolder.h"

namespace sentrel::e2e {

using namespace std::chrono_literals;

// The folder of the test program, where the build puts Sentrel4.exe and the shipped data.
std::string BuildBinFolder();

// A fresh program folder holding a copy of Sentrel4.exe and, when asked, the shipped database;
// with a `name`, the program folder is a subfolder of that name (UTF-8, levels parted by
// backslashes) of the fresh folder.
class ProgramFolder {
public:
    explicit ProgramFolder(bool withDatabase = true, const std::string& name = {});

    const std::string& Path() const { return path_; }
    // Copies the shipped pictures into graphics\ of the folder.
    void CopyGraphics() const;
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    test::TempFolder folder_;
    std::string path_;
};

class ShieldProcess {
public:
    // Starts the program of `folder` with `currentFolder` as its current folder (its own when
    // empty).
    explicit ShieldProcess(const ProgramFolder& folder, const std::string& currentFolder = {});
    // Starts the program at `programPath` in its own folder (an installed copy).
    explicit ShieldProcess(const std::string& programPath, const std::string& currentFolder = {});
    ShieldProcess(const ShieldProcess&) = delete;
    ShieldProcess& operator=(const ShieldProcess&) = delete;
    // Ends the process if a test left it running.
    ~ShieldProcess();

    DWORD Id() const { return processId_; }
    bool IsRunning() const;

    // Waits until start-up is complete: the main window answers a message only once the main
    // thread has finished start-up and runs its message loop. False on timeout.
    bool WaitUntilStarted(std::chrono::milliseconds timeout = 30s) const;

    // The first top-level window of the process with the class name, waited for.
    HWND WaitForWindow(const char* className, std::chrono::milliseconds timeout = 30s) const;
    // A message box of the process, waited for.
    HWND WaitForMessageBox(std::chrono::milliseconds timeout = 30s) const;

    // The exit code once the process has ended, or nothing when it is still running.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = 30s) const;

private:
    platform::UniqueHandle process_;
    DWORD processId_ = 0;
};

// Waits until `window` is visible (or hidden, with `visible` false). False on timeout.
bool WaitForVisibility(HWND window, bool visible, std::chrono::milliseconds timeout = 30s);

// UTF-16 text as UTF-8, and back, whatever the test program's code page.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

// The text of a window or control, read as UTF-16 and given as UTF-8.
std::string WindowText(HWND window);
// The first child of `parent` (at any depth) whose text is `text`, or null.
HWND FindChildByText(HWND parent, const std::string& text);
// The texts of every child of `parent`, at any depth.
std::vector<std::string> ChildTexts(HWND parent);

// Saves what the screen shows inside `window` as a 24-bit BMP file.
void SaveWindowPicture(HWND window, const std::string& path);

// The text of a message box (its static text control).
std::string MessageBoxText(HWND box);
// Presses the message box's OK button.
void PressOk(HWND box);

// Runs a command line and waits for it (e.g. "taskkill /im Sentrel4.exe").
DWORD RunAndWait(const std::string& commandLine, std::chrono::milliseconds timeout = 30s);

// Last-write time of a file, as a 64-bit count of 100 ns intervals (0 when it cannot be read).
unsigned long long LastWriteTime(const std::string& path);
// Sets a file's last-write time an hour back and returns it, so that any rewrite shows at once.
unsigned long long SetLastWriteTimeBack(const std::string& path);

// Where the end-to-end tests leave their screenshots (build/windows/screenshots), made if needed.
std::string ScreenshotPath(const std::string& name);

// A whole file as text.
std::string ReadTextFile(const std::string& path);

// Presses a button of `window` by its window text; posted, as the click may open a modal window.
void Press(HWND window, const std::string& text);

// Key presses as the keyboard makes them: the keys go down in order and up in reverse.
void Keys(std::initializer_list<WORD> down);

// Where the shield keeps what it last saw of the autostart points.
std::string AutostartBaselinePath();
// Deletes that baseline: the next shield starts as at its first start, taking what the autostart
// points hold as known. A walk that adds Run values starts so, since an earlier walk may have left
// a value of the same name, removed while no shield ran, that a new value would change instead.
void ForgetAutostartBaseline();
// Waits (up to 30 s, at a level that watches the autostart points) until the shield has a
// baseline: at the very first start its first pass takes what the autorun keys hold as known, so
// a value written before then would not be reported.
void WaitForAutostartBaseline();

// Waits until a condition holds, polling.
template <typename Probe>
bool Eventually(Probe probe, std::chrono::milliseconds timeout = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!probe()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(50);
    }
    return true;
}

}  // namespace sentrel::e2e
