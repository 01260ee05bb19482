// The white and black list files (plain or UTF-16 text from any editor): splitting into entries
// never fails, no entry holds a line break, and the entries written back read back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/StoredText.h"
#include "common/Utf8Text.h"
#include "core/ColorList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using sentrel::TColorList;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (std::string_view(text).starts_with(sentrel::kUtf16LeByteOrderMark))
        text = sentrel::Utf8FromUtf16Le(std::string_view(text).substr(2));
    else
        text = sentrel::Utf8FromStoredText(text, 1252);
    const std::vector<std::string> entries = TColorList::ParseLines(text);
    std::string saved;
    for (const std::string& entry : entries) {
        if (entry.find_first_of("\r\n") != std::string::npos) std::abort();
        saved += entry + "\r\n";
    }
    if (TColorList::ParseLines(saved) != entries) std::abort();
    return 0;
}
