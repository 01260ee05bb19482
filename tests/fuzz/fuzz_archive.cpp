// The archive reader on arbitrary bytes: records are walked and inflated in memory (nothing is
// written to disk); a record it accepts must inflate to exactly its stored size.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "database/Archive.h"
#include "database/DataBaseError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const auto records = sentrel::ReadArchiveRecords(std::span(data, size));
        for (const auto& record : records) {
            if (!sentrel::IsSafeArchiveName(record.Name) || !sentrel::IsSafeArchiveFolder(record.Folder))
                std::abort();
            const auto content = sentrel::InflateRecord(record);
            if (static_cast<std::int32_t>(content.size()) != record.UncompressedSize) std::abort();
        }
    } catch (const sentrel::DataBaseError&) {
    }
    return 0;
}
