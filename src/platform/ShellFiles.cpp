#include "platform/ShellFiles.h"

#include <windows.h>
#include <shellapi.h>

#include "common/DiagnosticLog.h"
#include "platform/Directory.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

// The path list the shell file operation takes: the text, a zero, and one more zero.
std::wstring DoubleZeroTerminated(const std::string& path) {
    std::wstring list = WideFromUtf8(path);
    list.push_back(L'\0');
    list.push_back(L'\0');
    return list;
}

// One shell move of one source, through the wide function: the shell's ANSI entry cuts paths to
// MAX_PATH bytes.
bool MoveThroughShell(const std::string& source, const std::string& destination) {
    const std::wstring from = DoubleZeroTerminated(source);
    const std::wstring to = DoubleZeroTerminated(destination);
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_MOVE;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_RENAMEONCOLLISION;
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace

bool ShellMove(const std::string& source, const std::string& destination) noexcept {
    try {
        const std::size_t nameStart = source.find_last_of("\\/:") + 1;  // 0 when there is no separator
        if (source.find_first_of("*?", nameStart) == std::string::npos) return MoveThroughShell(source, destination);
        // A wildcard: every match is moved on its own. (Some shells, Wine's among them, cancel
        // a wildcard move of several plain files into one folder.)
        const std::string folder = source.substr(0, nameStart);
        bool all = true;
        for (const TDirectoryEntry& entry : ListDirectory(source))
            all = MoveThroughShell(folder + entry.Name, destination) && all;
        return all;
    } catch (...) {
        LogCaught("shell move");
        return false;  // the folder cannot be listed, or no memory for the buffers
    }
}

bool MoveFileKeepingTarget(const std::string& from, const std::string& to) noexcept {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) noexcept {
    const std::wstring wideFile = WideFromUtf8(file);
    const std::wstring wideParameters = WideFromUtf8(parameters);
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", wideFile.c_str(),
                                                                parameters.empty() ? nullptr : wideParameters.c_str(),
                                                                nullptr, showCommand));
    return result > 32;
}

}  // namespace sentrel::platform
