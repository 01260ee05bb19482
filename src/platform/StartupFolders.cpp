#include "platform/StartupFolders.h"

#include <algorithm>
#include <optional>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/ComObjects.h"
#include "platform/ScheduledTasks.h"
#include "platform/UniqueHandle.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

constexpr const wchar_t* kUserShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) folder = Utf8FromWide(path);
    CoTaskMemFree(path);
    return WithoutTrailingBackslash(folder);
}

// A folder value of User Shell Folders, expanded; empty when it is missing or of another type.
std::string ExpandedFolderValue(HKEY root, const wchar_t* value) {
    // REG_SZ takes REG_EXPAND_SZ too, expanded (naming REG_EXPAND_SZ would ask for it unexpanded).
    constexpr DWORD kStrings = RRF_RT_REG_SZ;
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG code = RegGetValueW(root, kUserShellFolders, value, kStrings, nullptr, text.data(), &size);
        if (code == ERROR_SUCCESS) break;
        if (code != ERROR_MORE_DATA) return {};
        text.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
    text.resize(wcslen(text.c_str()));
    return WithoutTrailingBackslash(Utf8FromWide(text));
}

bool SamePath(const std::string& first, const std::string& second) {
    const std::wstring a = WideFromUtf8(first);
    const std::wstring b = WideFromUtf8(second);
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool EndsWithIgnoringCase(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           CompareStringOrdinal(text.c_str() + text.size() - end.size(), static_cast<int>(end.size()), end.c_str(),
                                static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

// A shell link with the shortcut at `path` loaded (`mode` of IPersistFile::Load); null when it
// cannot be loaded.
struct LoadedLink {
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
};
std::optional<LoadedLink> LoadLink(const std::wstring& path, DWORD mode) {
    EnsureComOnThisThread();
    LoadedLink loaded;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                loaded.link.PutVoid())) ||
        FAILED(loaded.link->QueryInterface(IID_IPersistFile, loaded.file.PutVoid())) ||
        FAILED(loaded.file->Load(path.c_str(), mode)))
        return std::nullopt;
    return loaded;
}

ShortcutTarget ReadLink(IShellLinkW* link) {
    ShortcutTarget read;
    std::wstring text(32768, L'\0');
    if (link->GetPath(text.data(), static_cast<int>(text.size()), nullptr, 0) == S_OK)
        text.resize(wcslen(text.c_str()));
    else
        text.clear();
    // A '?' cannot be in a file's path: characters lost in a link's ANSI copy of it (Wine keeps
    // only that). The item the link points at has the whole path.
    if (text.find(L'?') != std::wstring::npos) {
        PIDLIST_ABSOLUTE item = nullptr;
        std::wstring itemPath(32768, L'\0');
        if (SUCCEEDED(link->GetIDList(&item)) && item &&
            SHGetPathFromIDListEx(item, itemPath.data(), static_cast<DWORD>(itemPath.size()), GPFIDL_DEFAULT))
            text = itemPath.c_str();
        CoTaskMemFree(item);
    }
    read.target = Utf8FromWide(text);
    text.assign(32768, L'\0');
    if (SUCCEEDED(link->GetArguments(text.data(), static_cast<int>(text.size()))))
        read.arguments = Utf8FromWide(text.c_str());
    return read;
}

// The temporary file beside `path` that takes its place, made by `write`; removed again when
// anything fails.
template <class Write>
void ReplaceInOneStep(const std::wstring& path, Write write) {
    const std::wstring temporary = path + L".tmp";
    try {
        write(temporary);
        if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ThrowLastError("MoveFileExW(\"" + Utf8FromWide(path) + "\")");
    } catch (...) {
        DeleteFileW(temporary.c_str());
        throw;
    }
}

}  // namespace

ShortcutTarget ReadShortcut(const std::string& path) {
    const std::optional<LoadedLink> loaded = LoadLink(WideFromUtf8(path), STGM_READ);
    return loaded ? ReadLink(loaded->link.Get()) : ShortcutTarget{};
}

void RewriteShortcut(const std::string& path, const std::string& target, const std::string& arguments) {
    const std::wstring widePath = WideFromUtf8(path);
    std::optional<LoadedLink> loaded = LoadLink(widePath, STGM_READ);
    if (!loaded) ThrowWin32Error("IPersistFile::Load(\"" + path + "\")", ERROR_FILE_NOT_FOUND);
    // S_FALSE for a target that is not there (yet): the path is kept all the same.
    CheckHresult(loaded->link->SetPath(WideFromUtf8(target).c_str()), "IShellLinkW::SetPath");
    CheckHresult(loaded->link->SetArguments(WideFromUtf8(arguments).c_str()), "IShellLinkW::SetArguments");
    ReplaceInOneStep(widePath, [&](const std::wstring& temporary) {
        CheckHresult(loaded->file->Save(temporary.c_str(), FALSE), "IPersistFile::Save(\"" + path + "\")");
    });
}

void ReplaceFileBytes(const std::string& path, const std::string& bytes) {
    ReplaceInOneStep(WideFromUtf8(path), [&](const std::wstring& temporary) {
        const UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) ThrowLastError("CreateFileW(\"" + path + "\")");
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !FlushFileBuffers(file.get()))
            ThrowLastError("WriteFile(\"" + path + "\")");
    });
}

std::vector<StartupFolder> StartupFolders() {
    const std::pair<std::string, bool> candidates[] = {
        {KnownFolder(FOLDERID_Startup), false},
        {ExpandedFolderValue(HKEY_CURRENT_USER, L"Startup"), false},
        {KnownFolder(FOLDERID_CommonStartup), true},
        {ExpandedFolderValue(HKEY_LOCAL_MACHINE, L"Common Startup"), true},
    };
    std::vector<StartupFolder> folders;
    for (const auto& [path, common] : candidates) {
        if (path.empty()) continue;
        if (std::none_of(folders.begin(), folders.end(),
                         [&](const StartupFolder& folder) { return SamePath(folder.path, path); }))
            folders.push_back({path, common});
    }
    return folders;
}

std::vector<StartupFile> ListStartupFiles(const std::string& folder) {
    std::vector<StartupFile> files;
    const std::wstring wideFolder = WideFromUtf8(WithoutTrailingBackslash(folder)) + L"\\";
    WIN32_FIND_DATAW found;
    const UniqueFind search(
        FindFirstFileExW((wideFolder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return files;
        ThrowWin32Error("FindFirstFileExW(\"" + folder + "\")", code);
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring name = found.cFileName;
        if (CompareStringOrdinal(name.c_str(), -1, L"desktop.ini", -1, TRUE) == CSTR_EQUAL) continue;
        StartupFile file;
        file.name = Utf8FromWide(name);
        file.path = Utf8FromWide(wideFolder + name);
        if (EndsWithIgnoringCase(name, L".lnk")) {
            if (const std::optional<LoadedLink> loaded = LoadLink(wideFolder + name, STGM_READ)) {
                ShortcutTarget read = ReadLink(loaded->link.Get());
                file.target = std::move(read.target);
                file.arguments = std::move(read.arguments);
            }
        }
        file.command = file.target.empty() ? ProgramCommandLine(file.path, {})
                                           : ProgramCommandLine(file.target, file.arguments);
        files.push_back(std::move(file));
    } while (FindNextFileW(search.get(), &found));
    return files;
}

}  // namespace sentrel::platform
