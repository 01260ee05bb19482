// The platform-independent half of Files.h; the rest is in FilesPosix.cpp or platform/Files.cpp.
#include "common/Files.h"

#include <mutex>

namespace sentrel {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/' || c == ':';
}

}  // namespace

std::string ReadFileText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    WriteFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    // Every write of a target uses the same temporary name, so a writer killed between its two
    // steps leaves at most one temporary file, which the next write takes over; the lock keeps
    // two writers of this process from sharing it.
    static std::mutex writerMutex;
    const std::lock_guard lock(writerMutex);
    const std::string temporary = TemporarySibling(path);
    try {
        WriteFileBytes(temporary, bytes);
        MoveFileOver(temporary, path);
    } catch (...) {
        RemoveFile(temporary);
        throw;
    }
}

std::string FolderPart(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return path.substr(0, i);
    }
    return {};
}

std::string FileNamePart(const std::string& path) {
    return path.substr(FolderPart(path).size());
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '\\' || folder.back() == '/') return folder + name;
    return folder + kPathSeparator + name;
}

std::string TemporarySibling(const std::string& target) {
    return target + ".tmp";
}

}  // namespace sentrel
