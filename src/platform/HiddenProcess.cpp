#include "platform/HiddenProcess.h"

#include <atomic>
#include <memory>

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

namespace {

// Ends the program when its time is up; the read below then meets the end of the pipe.
struct Deadline {
    HANDLE process;
    std::atomic<bool> passed{false};
};

void CALLBACK EndWhenTimeIsUp(void* context, BOOLEAN timedOut) {
    if (!timedOut) return;
    auto& deadline = *static_cast<Deadline*>(context);
    deadline.passed = true;
    TerminateProcess(deadline.process, ERROR_TIMEOUT);
}

// Frees the process list's memory (InitializeProcThreadAttributeList's buffer).
struct AttributeList {
    std::unique_ptr<char[]> buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.get()); }
    ~AttributeList() {
        if (buffer) DeleteProcThreadAttributeList(get());
    }
};

}  // namespace

HiddenRunOutcome RunHiddenAndRead(const std::string& commandLine, DWORD timeoutMs, std::size_t maxOutput) {
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    CheckWin32(CreatePipe(readEnd.put(), writeEnd.put(), &inherited, 0), "CreatePipe");
    CheckWin32(SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0), "SetHandleInformation");

    // The write end alone is inherited, not every inheritable handle another thread holds.
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    AttributeList attributes{std::make_unique<char[]>(listSize)};
    CheckWin32(InitializeProcThreadAttributeList(attributes.get(), 1, 0, &listSize),
               "InitializeProcThreadAttributeList");
    HANDLE handed = writeEnd.get();
    CheckWin32(UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handed,
                                         sizeof handed, nullptr, nullptr),
               "UpdateProcThreadAttribute");

    std::wstring mutableLine = WideFromUtf8(commandLine);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdOutput = writeEnd.get();
    startup.StartupInfo.hStdError = writeEnd.get();
    startup.lpAttributeList = attributes.get();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                        &info))
        ThrowLastError("CreateProcessW(" + commandLine + ")");
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    writeEnd.reset();  // the pipe ends when the program's copy closes

    Deadline deadline{process.get()};
    HANDLE wait = nullptr;
    CheckWin32(RegisterWaitForSingleObject(&wait, process.get(), &EndWhenTimeIsUp, &deadline, timeoutMs,
                                           WT_EXECUTEONLYONCE),
               "RegisterWaitForSingleObject");
    HiddenRunOutcome outcome;
    bool overflowed = false;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) && got != 0) {
        if (outcome.output.size() + got > maxOutput) {
            overflowed = true;
            TerminateProcess(process.get(), ERROR_BUFFER_OVERFLOW);
            break;
        }
        outcome.output.append(chunk, got);
    }
    UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);  // waits for a callback under way
    if (overflowed) ThrowWin32Error("reading the output of " + commandLine, ERROR_BUFFER_OVERFLOW);
    if (deadline.passed) ThrowWin32Error(commandLine, ERROR_TIMEOUT);
    // The pipe ended: the program has, or is about to.
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), ERROR_TIMEOUT);
        ThrowWin32Error(commandLine, ERROR_TIMEOUT);
    }
    CheckWin32(GetExitCodeProcess(process.get(), &outcome.exitCode), "GetExitCodeProcess");
    return outcome;
}

}  // namespace sentrel::platform
