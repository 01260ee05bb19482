#pragma once
// A file content that the test database of the file tests knows by its checksums, so a test can
// make a "known threat" anywhere by writing it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "database/FileChecksums.h"
#include "database/LookupTables.h"

namespace sentrel::test {

// 4096 bytes the database of KnownContentDataBase knows; each other `variant` gives a content
// of the same length it does not know.
inline std::string ThreatContent(char variant = 0) {
    std::string content(4096, '\0');
    unsigned state = 12345u + static_cast<unsigned char>(variant);
    for (char& byte : content) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return content;
}

// Knows ThreatContent() by its checksums, and "named.exe" by name only in a folder that does not
// exist.
inline std::unique_ptr<TDataBase> KnownContentDataBase() {
    const std::string content = ThreatContent();
    const auto sums =
        ComputeChecksums(std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
    return MakeDataBase(
        MakeTable("PrimaryFiles", {{"FILE_NAME", {"named.exe"}}, {"SPYWARE_REF", {"2"}}, {"PATH_REF", {"0"}},
                                   {"CODE", {"T-2"}}}),
        MakeTable("Folders", {{"FILE_PATH", {"%2%\\NoSuchFolder\\"}}}),
        MakeTable("Checksums", {{"FILE_SIZE", {std::to_string(content.size())}},
                                {"FIRST_LEVEL_CHECKSUM", {std::to_string(sums.FirstLevel)}},
                                {"SECOND_LEVEL_CHECKSUM", {std::to_string(sums.SecondLevel)}},
                                {"SPYWARE_REF", {"1"}}}));
}

}  // namespace sentrel::test
