#include "platform/CookiesFolder.h"

#include <windows.h>
#include <shlobj.h>

namespace sentrel {

std::string CookiesFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COOKIES, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    std::string folder = path;
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace sentrel
