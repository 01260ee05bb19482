#include "platform/CookiesFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/WideText.h"

namespace sentrel {

std::string CookiesFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COOKIES, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    std::string folder = platform::Utf8FromWideField(path);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace sentrel
