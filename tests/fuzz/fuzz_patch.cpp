// The patch reader on arbitrary bytes, applied in memory to a fixed old database: a patch it
// accepts must produce exactly the header's new length, and the walk must agree with the apply.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "database/Patch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> old = [] {
        std::vector<std::uint8_t> bytes(5000);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
        return bytes;
    }();
    const std::span<const std::uint8_t> patch(data, size);
    bool walked = false;
    try {
        sentrel::WalkPatch(patch);
        walked = true;
    } catch (const sentrel::PatchError&) {
    }
    try {
        sentrel::TPatchStats stats;
        const auto out = sentrel::ApplyPatchBytes(old, patch, &stats);
        if (!walked) std::abort();
        if (static_cast<std::int64_t>(out.size()) != sentrel::ReadPatchHeader(patch).NewLength) std::abort();
        if (stats.CopiedBytes + stats.AddedBytes != out.size()) std::abort();
    } catch (const sentrel::PatchError&) {
    }
    return 0;
}
