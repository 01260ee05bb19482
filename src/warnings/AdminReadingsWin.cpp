#include "warnings/AdminReadings.h"

#include <windows.h>

#include "platform/Registry.h"
#include "platform/ScheduledTasks.h"
#include "platform/Services.h"
#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"
#include "warnings/AdminIntent.h"
#include "warnings/RegistryFile.h"
#include "warnings/RegistryTree.h"
#include "warnings/RootKeysWin.h"

namespace sentrel {

std::optional<std::string> ValueReading(RegistryRoot root, const std::string& key, const std::string& name,
                                        RegistryView view) {
    const auto opened = platform::RegistryKey::Open(ToHkey(root), key, platform::RegistryAccess::Read, ViewFlag(view));
    if (!opened) return std::nullopt;
    const std::optional<platform::RegistryValue> value = opened->ReadValue(name);
    if (!value) return std::nullopt;
    return std::to_string(value->type) + ":" + HexFromBytes(value->data);
}

std::optional<std::string> KeyTreeReading(RegistryRoot root, const std::string& key, RegistryView view) {
    const auto tree = ReadRegistryTree(root, key, view);
    if (!tree) return std::nullopt;
    return SavedRegistryText(*tree);
}

std::optional<std::string> PlainFileReading(const std::string& path) {
    const platform::UniqueFile file(CreateFileW(platform::WideFromUtf8(path).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
        platform::ThrowWin32Error("CreateFileW(" + path + ")", code);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) platform::ThrowLastError("GetFileInformationByHandle");
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        throw std::runtime_error(path + " is a link or a folder, no plain file");
    constexpr DWORD kMostBytes = 64 * 1024 * 1024;  // a Startup file is a shortcut or a small script
    if (information.nFileSizeHigh != 0 || information.nFileSizeLow > kMostBytes)
        throw std::runtime_error(path + " is too large");
    std::string bytes(information.nFileSizeLow, '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), information.nFileSizeLow, &read, nullptr) ||
                           read != information.nFileSizeLow))
        platform::ThrowLastError("ReadFile(" + path + ")");
    return bytes;
}

std::optional<std::string> TaskReading(const std::string& path) {
    const std::optional<platform::ScheduledTask> task = platform::ReadScheduledTask(path);
    if (!task) return std::nullopt;
    return task->xml;
}

std::optional<std::string> ServiceReading(const std::string& name) {
    const std::optional<platform::ServiceConfig> config = platform::ReadServiceConfig(name);
    if (!config) return std::nullopt;
    std::string reading;
    for (const std::string& field : {std::to_string(config->type), std::to_string(config->startType),
                                     config->imagePath, config->account, config->displayName, config->group})
        reading += field + '\0';
    return reading;
}

}  // namespace sentrel
