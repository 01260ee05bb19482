#include "platform/ElevatedProcess.h"

#include <windows.h>
#include <shellapi.h>

#include <stdexcept>

#include "platform/UniqueHandle.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

std::optional<unsigned long> RunElevatedAndWait(const std::string& program, const std::string& parameters,
                                                std::chrono::milliseconds timeout) {
    const std::wstring wideProgram = WideFromUtf8(program);
    const std::wstring wideParameters = WideFromUtf8(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = wideProgram.c_str();
    info.lpParameters = wideParameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) {
        const DWORD code = GetLastError();
        if (code == ERROR_CANCELLED) return std::nullopt;
        ThrowWin32Error("ShellExecuteExW(runas \"" + program + "\")", code);
    }
    const UniqueHandle process(info.hProcess);
    if (!process) throw std::runtime_error("The system started " + program + " without a process to wait for");
    const DWORD waited = WaitForSingleObject(process.get(), static_cast<DWORD>(timeout.count()));
    if (waited == WAIT_FAILED) ThrowLastError("WaitForSingleObject");
    if (waited != WAIT_OBJECT_0) throw std::runtime_error(program + " did not end in time");
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) ThrowLastError("GetExitCodeProcess");
    return exitCode;
}

}  // namespace sentrel::platform
