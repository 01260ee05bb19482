#include "platform/HiddenProcess.h"

#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

std::optional<DWORD> RunHiddenAndWait(const std::string& commandLine, const std::string& currentFolder,
                                      DWORD timeoutMs) {
    std::wstring mutableLine = WideFromUtf8(commandLine);  // CreateProcessW may write into its command line
    const std::wstring folder = WideFromUtf8(currentFolder);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        currentFolder.empty() ? nullptr : folder.c_str(), &startup, &info))
        ThrowLastError("CreateProcessW(" + commandLine + ")");
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD exitCode = 0;
    CheckWin32(GetExitCodeProcess(process.get(), &exitCode), "GetExitCodeProcess");
    return exitCode;
}

}  // namespace sentrel::platform
