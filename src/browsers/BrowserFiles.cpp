#include "browsers/BrowserFiles.h"

#include "common/Files.h"

#include <algorithm>
#include <filesystem>
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
    const auto tooLarge = [&] {
        result.reason = "is larger than " + std::to_string(maxBytes >> 20) + " MB, more than a browser writes";
        return result;
    };
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        result.reason = "cannot be read: " + error.message();
        return result;
    }
    if (size > maxBytes) return tooLarge();
    // Through the shared reader: it lets the browser (or the shield's own undo) replace the file
    // in one step while it is being read, where a stream would stand in the way on Windows.
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (const FileError& failure) {
        result.reason = std::string("cannot be read: ") + failure.what();
        return result;
    }
    if (bytes.size() > maxBytes) return tooLarge();
    result.text = std::string(bytes.begin(), bytes.end());
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
