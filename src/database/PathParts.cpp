#include "database/PathParts.h"

namespace sentrel {

std::string_view PathFileName(std::string_view path) noexcept {
    const std::size_t separator = path.find_last_of("\\:");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string_view PathFolder(std::string_view path) noexcept {
    const std::size_t separator = path.find_last_of("\\:");
    return separator == std::string_view::npos ? std::string_view() : path.substr(0, separator + 1);
}

std::string ParentFolderOf(std::string folder) {
    if (folder.size() >= 2 && folder.back() == '\\') folder.pop_back();
    while (!folder.empty() && folder.back() != '\\') folder.pop_back();
    return folder;
}

std::string SplitFirstPathComponent(std::string& path) {
    const std::size_t separator = path.find('\\');
    if (separator == std::string::npos) return {};
    std::string first = path.substr(0, separator);
    path.erase(0, separator + 1);
    return first;
}

std::string SplitLastPathComponent(std::string& path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    const std::size_t separator = path.rfind('\\');
    if (separator == std::string::npos) return {};
    std::string last = path.substr(separator + 1);
    path.erase(separator);
    return last;
}

}  // namespace sentrel
