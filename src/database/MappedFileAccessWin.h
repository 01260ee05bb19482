#pragma once
// The lookups' file access on Windows: sizes from a directory query (GetFileAttributesExA, the
// file is not opened) and windows read through read-only memory mappings.

#include "database/FileAccess.h"

namespace sentrel {

class MappedFileAccess final : public TFileAccess {
public:
    std::optional<std::int64_t> FindFileSize(const std::string& path) const override;
    // Win32 failures come out as FileError, with the call and the system's text.
    std::unique_ptr<TOpenedFile> OpenForReading(const std::string& path) const override;
};

// The process-wide instance (it holds no state).
const MappedFileAccess& SystemFileAccess();

}  // namespace sentrel
