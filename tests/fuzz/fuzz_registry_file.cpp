// backup.reg as the undo reads it, and the registry-file writer: the check that an export is
// complete takes any bytes, and whatever value the writer puts into a file is found again as that
// file's key section.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Utf8Text.h"
#include "warnings/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sentrel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first line of the input names the key, the rest is the file.
    const std::size_t newline = bytes.find('\n');
    const std::string_view key = bytes.substr(0, newline == std::string_view::npos ? bytes.size() : newline);
    const std::string_view file = newline == std::string_view::npos ? std::string_view() : bytes.substr(newline + 1);
    (void)IsRegistryExportOf(file, key);
    (void)IsRemovableKeyPath(key);

    // Key names from the system are UTF-8; the remedy stores the file as UTF-16, as the editor
    // writes its own.
    if (key.find_first_of("\r\n[]") == std::string_view::npos && !key.empty() && key.back() != '\\' &&
        key.front() != ' ' && key.back() != ' ' && key.back() != '\t' && IsValidUtf8(key)) {
        RegistryFileValue value;
        value.name = std::string(file.substr(0, 16));
        value.type = size % 12;
        value.data = std::string(file);
        if (value.type == kRegSz && value.data.find_first_of("\r\n") == std::string::npos) value.quotedText = value.data;
        const std::string text = RegistryFileText("HKEY_CURRENT_USER\\" + std::string(key), value);
        const std::string stored = std::string(kUtf16LeByteOrderMark) + Utf16LeFromUtf8(text);
        if (!IsRegistryExportOf(stored, "HKEY_CURRENT_USER\\" + std::string(key))) std::abort();
    }
    const auto hex = HexFromBytes(file);
    if (BytesFromHex(hex) != std::string(file)) std::abort();
    return 0;
}
