#include "platform/CookiesFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/WideText.h"

namespace sentrel {

std::string CookiesFolder() {
    // The wide call: MAX_PATH characters can take more than MAX_PATH bytes in UTF-8.
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COOKIES, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    std::string folder = platform::AnsiFromWide(path);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace sentrel
