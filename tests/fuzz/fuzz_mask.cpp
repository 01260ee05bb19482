// The mask matcher and the path macros on database rows (an update may bring any text): a
// well-formed mask never throws, a malformed one throws only InvalidMaskError, and expanding a
// path's macro never fails.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "database/Mask.h"
#include "database/PathMacros.h"

namespace {

class Folders : public sentrel::TMacroFolderSource {
public:
    std::string Folder(sentrel::TSystemFolder folder) const override {
        return "C:\\Folder" + std::to_string(static_cast<int>(folder));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sentrel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = bytes.find('\0');
    const std::string_view mask = bytes.substr(0, split == std::string_view::npos ? bytes.size() : split);
    const std::string_view text = split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
    try {
        const bool matches = MatchesMask(text, mask);
        if (mask == "*" && !text.empty() && !matches) std::abort();
    } catch (const InvalidMaskError&) {
        if (IsWellFormedMask(mask)) std::abort();
    }
    if (IsWellFormedMask(mask) && mask.find_first_of("*?") == std::string_view::npos) {
        // Without wildcards a mask is the name itself in any letter case.
        if (!MatchesMask(mask, mask)) std::abort();
    }

    std::string path(bytes);
    ExpandPathMacros(path, Folders());
    std::string cut(bytes);
    if (const auto macro = ExtractPathMacro(cut)) {
        if (macro->Text.size() < 2 || macro->Text.front() != '%' || macro->Text.back() != '%') std::abort();
        (void)MacroReplacement(macro->Text, Folders());
    }
    return 0;
}
