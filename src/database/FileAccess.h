#pragma once
// What the file lookups need of the file system, behind an interface: the size of a file from a
// directory query (without opening it), and read access to windows of an opened file. On
// Windows the windows are read-only memory mappings (database/MappedFileAccessWin.h); the portable
// TPlainFileAccess below reads them with ordinary reads (the maker's tool, native tests).
//
// Failures to open or read are thrown as FileError; the lookups turn them into "no match".

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace sentrel {

// The bytes of one window of an opened file; valid while the object lives.
class TFileWindow {
public:
    virtual ~TFileWindow() = default;
    virtual std::span<const std::uint8_t> Bytes() const = 0;
};

// A file opened for reading, others still allowed to read and write it.
class TOpenedFile {
public:
    virtual ~TOpenedFile() = default;
    // The length in bytes at the time the file was opened.
    virtual std::uint64_t Size() const = 0;
    // The bytes [offset, offset + length); the range must lie inside Size(). Throws FileError.
    virtual std::unique_ptr<TFileWindow> MapWindow(std::uint64_t offset, std::size_t length) const = 0;
};

class TFileAccess {
public:
    virtual ~TFileAccess() = default;
    // The length of a file from a directory query; the file itself is not opened. Nothing when
    // there is no such file (a folder is not a file).
    virtual std::optional<std::int64_t> FindFileSize(const std::string& path) const = 0;
    // Opens a file for reading, sharing read and write. Throws FileError when it cannot.
    virtual std::unique_ptr<TOpenedFile> OpenForReading(const std::string& path) const = 0;
};

// Ordinary reads through the C++ library: each window is read into memory.
class TPlainFileAccess final : public TFileAccess {
public:
    std::optional<std::int64_t> FindFileSize(const std::string& path) const override;
    std::unique_ptr<TOpenedFile> OpenForReading(const std::string& path) const override;
};

}  // namespace sentrel
