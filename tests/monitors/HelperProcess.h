#pragma once
// A running copy of the test helper program (tests/helpers/ProcessHelper.cpp), which loads the
// libraries named on its command line and then waits; terminated when the test is done with it.

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <windows.h>

#include "database/PathParts.h"
#include "platform/Processes.h"

namespace sentrel::test {

inline std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

inline std::string TestProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(PathFolder(path));
}

// A running copy of the helper program; terminated when the test is done with it.
class HelperProcess {
public:
    HelperProcess(const std::string& exe, const std::string& library) {
        std::string commandLine = "\"" + exe + "\"";
        if (!library.empty()) commandLine += " \"" + library + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info))
            throw std::runtime_error("cannot start " + exe + ": error " + std::to_string(GetLastError()));
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() {
        if (Running()) TerminateProcess(process_, 0);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }

    DWORD Id() const { return id_; }
    bool Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    bool WaitForExit() const { return WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return code;
    }

    // The module path, as the system reports it, whose file name is fileName (any case); waits
    // until the helper has loaded it.
    std::string WaitForModule(const std::string& fileName) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto modules = platform::ProcessModulePaths(id_)) {
                for (const std::string& module : *modules)
                    if (Lower(std::string(PathFileName(module))) == Lower(fileName)) return module;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace sentrel::test
