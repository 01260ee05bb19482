#include "app/AdminStore.h"

#include <windows.h>
#include <sddl.h>

#include <stdexcept>

#include "app/AdminTrust.h"
#include "common/DiagnosticLog.h"
#include "platform/Directory.h"
#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"
#include "warnings/AdminIntent.h"
#include "warnings/AdminReadings.h"
#include "warnings/FolderTree.h"

namespace sentrel::admin {

namespace {

// Owned by the Administrators; full control for the system and the Administrators; users may read
// and list. Protected: nothing is inherited from the folder above (which users may write to).
constexpr const wchar_t* kStoreRules = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr std::uint64_t kAnswerLifetime = 24ull * 60 * 60 * 10'000'000;  // a day, in 100 ns

void MakeFolder(const std::string& path, bool protect) {
    PSECURITY_DESCRIPTOR rules = nullptr;
    if (protect &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(kStoreRules, SDDL_REVISION_1, &rules, nullptr))
        platform::ThrowLastError("ConvertStringSecurityDescriptorToSecurityDescriptorW");
    SECURITY_ATTRIBUTES attributes{.nLength = sizeof(SECURITY_ATTRIBUTES), .lpSecurityDescriptor = rules};
    const BOOL made = CreateDirectoryW(platform::WideFromUtf8(path).c_str(), protect ? &attributes : nullptr);
    const DWORD code = GetLastError();
    LocalFree(rules);
    if (!made && code != ERROR_ALREADY_EXISTS) platform::ThrowWin32Error("CreateDirectoryW(" + path + ")", code);
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

AdminStore::AdminStore(const std::string& dataFolder, bool checkRules)
    : root_(dataFolder + "\\" + kAdminStoreFolder),
      changes_(root_ + "\\" + kAdminChangesFolder),
      results_(root_ + "\\" + kAdminResultsFolder) {
    MakeFolder(root_, true);
    MakeFolder(changes_, false);
    MakeFolder(results_, false);
    CheckAdministratorsOnly(changes_, false, checkRules);
    CheckAdministratorsOnly(results_, false, checkRules);
}

AdminStore::NewChange AdminStore::MakeChange() {
    unsigned long highest = 0;
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(changes_ + "\\*"))
        if (entry.IsFolder() && IsDigits(entry.Name) && entry.Name.size() < 10)
            highest = std::max(highest, std::stoul(entry.Name));
    for (unsigned long number = highest + 1;; ++number) {
        const std::string folder = changes_ + "\\" + std::to_string(number);
        if (CreateDirectoryW(platform::WideFromUtf8(folder).c_str(), nullptr)) {
            CheckAdministratorsOnly(folder, false, false);  // a link cannot be made by CreateDirectory; checked all the same
            return {folder + "\\", std::to_string(number)};
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) platform::ThrowLastError("CreateDirectoryW(" + folder + ")");
    }
}

std::string AdminStore::ChangeFolder(const std::string& number) const {
    const std::string folder = changes_ + "\\" + number;
    const DWORD attributes = GetFileAttributesW(platform::WideFromUtf8(folder).c_str());
    if (!IsDigits(number) || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw std::runtime_error("there is no change " + number + " in the administrator part's store");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) throw std::runtime_error(folder + " is a link");
    return folder + "\\";
}

void AdminStore::DropChange(const std::string& folder) noexcept {
    if (!DeleteFolderTree(folder)) LogEvent("administrator part: the folder " + folder + " could not be removed");
}

bool AdminStore::HasAnswer(const std::string& ticket) const {
    return GetFileAttributesW(platform::WideFromUtf8(results_ + "\\" + ticket + ".ini").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

void AdminStore::WriteAnswer(const std::string& ticket, std::string_view text) {
    WriteNewFile(results_ + "\\" + ticket + ".ini", text);
}

void AdminStore::DropOldAnswers() noexcept {
    try {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        const std::uint64_t nowTicks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
        WIN32_FIND_DATAW found{};
        const platform::UniqueFind find(FindFirstFileW(platform::WideFromUtf8(results_ + "\\*.ini").c_str(), &found));
        if (!find) return;
        do {
            const std::uint64_t written =
                (std::uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) | found.ftLastWriteTime.dwLowDateTime;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && written + kAnswerLifetime < nowTicks)
                DeleteFileW((platform::WideFromUtf8(results_ + "\\") + found.cFileName).c_str());
        } while (FindNextFileW(find.get(), &found));
    } catch (...) {
        LogCaught("administrator part's old answers");
    }
}

void WriteNewFile(const std::string& path, std::string_view bytes) {
    const platform::UniqueFile file(CreateFileW(platform::WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                                nullptr));
    if (!file) platform::ThrowLastError("CreateFileW(" + path + ", new)");
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size()))
        platform::ThrowLastError("WriteFile(" + path + ")");
    if (!FlushFileBuffers(file.get())) platform::ThrowLastError("FlushFileBuffers(" + path + ")");
}

std::string ReadPlainFile(const std::string& path) {
    std::optional<std::string> bytes = PlainFileReading(path);
    if (!bytes) throw std::runtime_error(path + " is missing");
    return std::move(*bytes);
}

}  // namespace sentrel::admin
