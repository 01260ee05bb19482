#include "browsers/BrowserFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace sentrel {
namespace {

namespace fs = std::filesystem;

// The path for a UTF-8 text: through char8_t, so Windows does not read it in the code page.
fs::path Utf8Path(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8Name(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

std::vector<std::string> NamesIn(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(Utf8Path(folder), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        const bool isFolder = it->is_directory(typeError);
        const bool isFile = it->is_regular_file(typeError);
        if (folders ? isFolder : isFile) names.push_back(Utf8Name(it->path()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

FileRead ReadCappedFile(const std::string& path, std::size_t maxBytes) {
    FileRead result;
    std::error_code error;
    const fs::path file = Utf8Path(path);
    if (!fs::exists(file, error)) {
        result.missing = !error;
        result.reason = error ? "cannot be reached: " + error.message() : "does not exist";
        return result;
    }
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        result.reason = "cannot be opened";
        return result;
    }
    // Read in pieces, so a small file costs little and a file that grows while it is read
    // still stops at the cap.
    std::string text;
    char piece[64 * 1024];
    while (stream) {
        stream.read(piece, sizeof piece);
        text.append(piece, static_cast<std::size_t>(stream.gcount()));
        if (text.size() > maxBytes) {
            result.reason = "is larger than " + std::to_string(maxBytes >> 20) + " MB, more than a browser writes";
            return result;
        }
    }
    if (stream.bad()) {
        result.reason = "cannot be read";
        return result;
    }
    result.text = std::move(text);
    return result;
}

std::vector<std::string> SubfolderNames(const std::string& folder) { return NamesIn(folder, true); }

std::vector<std::string> PlainFileNames(const std::string& folder) { return NamesIn(folder, false); }

bool PathIsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(Utf8Path(path), error);
}

bool PathIsFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(Utf8Path(path), error);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace sentrel
