#include "platform/KnownFolders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

const KNOWNFOLDERID& IdOf(KnownFolder folder) {
    switch (folder) {
    case KnownFolder::Documents: return FOLDERID_Documents;
    case KnownFolder::AppData: return FOLDERID_RoamingAppData;
    case KnownFolder::LocalAppData: return FOLDERID_LocalAppData;
    case KnownFolder::ProgramData: return FOLDERID_ProgramData;
    case KnownFolder::ProgramFiles: return FOLDERID_ProgramFiles;
    case KnownFolder::System: return FOLDERID_System;
    case KnownFolder::Windows: return FOLDERID_Windows;
    }
    return FOLDERID_Documents;
}

}  // namespace

std::optional<std::string> KnownFolderPath(KnownFolder folder) {
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(IdOf(folder), KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::optional<std::string> found;
    if (SUCCEEDED(result)) found = Utf8FromWide(path);
    CoTaskMemFree(path);
    if (!found || found->empty()) return std::nullopt;
    while (found->size() > 3 && found->back() == '\\') found->pop_back();
    return found;
}

}  // namespace sentrel::platform
