#pragma once
// An in-memory file system for the lookups: files by path (Windows-style paths work in both
// builds), with a record of every open and every window asked for.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Files.h"
#include "database/FileAccess.h"

namespace sentrel::test {

class FakeFileAccess final : public TFileAccess {
public:
    struct Window {
        std::uint64_t Offset;
        std::size_t Length;
        friend bool operator==(const Window&, const Window&) = default;
    };

    void Add(const std::string& path, std::vector<std::uint8_t> content) { files_[path] = {std::move(content), {}}; }
    // A file whose directory entry gives `size` but which cannot be opened (no content held).
    void AddUnreadable(const std::string& path, std::int64_t size) { files_[path] = {{}, size}; }

    std::optional<std::int64_t> FindFileSize(const std::string& path) const override {
        const auto found = files_.find(path);
        if (found == files_.end()) return std::nullopt;
        if (found->second.UnreadableSize) return *found->second.UnreadableSize;
        return static_cast<std::int64_t>(found->second.Content.size());
    }

    std::unique_ptr<TOpenedFile> OpenForReading(const std::string& path) const override {
        Opened.push_back(path);
        const auto found = files_.find(path);
        if (found == files_.end() || found->second.UnreadableSize) throw FileError("Cannot open \"" + path + "\"");
        return std::make_unique<FakeOpenedFile>(found->second.Content, Windows);
    }

    mutable std::vector<std::string> Opened;
    mutable std::vector<Window> Windows;

private:
    struct Entry {
        std::vector<std::uint8_t> Content;
        std::optional<std::int64_t> UnreadableSize;
    };

    class View final : public TFileWindow {
    public:
        explicit View(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
        std::span<const std::uint8_t> Bytes() const override { return bytes_; }

    private:
        std::span<const std::uint8_t> bytes_;
    };

    class FakeOpenedFile final : public TOpenedFile {
    public:
        FakeOpenedFile(const std::vector<std::uint8_t>& content, std::vector<Window>& windows)
            : content_(content), windows_(windows) {}
        std::uint64_t Size() const override { return content_.size(); }
        std::unique_ptr<TFileWindow> MapWindow(std::uint64_t offset, std::size_t length) const override {
            windows_.push_back({offset, length});
            if (offset > content_.size() || length > content_.size() - offset) throw FileError("past the end");
            return std::make_unique<View>(std::span(content_).subspan(static_cast<std::size_t>(offset), length));
        }

    private:
        const std::vector<std::uint8_t>& content_;
        std::vector<Window>& windows_;
    };

    std::map<std::string, Entry> files_;
};

// Bytes made by a formula of the offset.
template <typename Formula>
std::vector<std::uint8_t> MakeBytes(std::size_t length, Formula formula) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(formula(i));
    return bytes;
}

}  // namespace sentrel::test
