#include "warnings/RegistryFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/StoredText.h"
#include "common/TextCase.h"
#include "common/Utf8Text.h"

namespace sentrel {

namespace {

std::string SpacedHexBytes(std::string_view data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : data) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0f];
    }
    return text;
}

template <typename Number>
Number LittleEndian(std::string_view data) {
    Number value = 0;
    for (std::size_t i = data.size(); i-- > 0;) value = static_cast<Number>((value << 8) | static_cast<unsigned char>(data[i]));
    return value;
}

}  // namespace


namespace {

constexpr std::size_t kLineWidth = 80;
constexpr char kDigits[] = "0123456789abcdef";

// "hex:" or "hex(N):" followed by the bytes as comma-separated pairs; a line that would pass
// kLineWidth is continued with a backslash and two blanks, as the registry editor writes it.
std::string HexData(std::string_view prefix, std::string_view bytes, std::size_t lineStart) {
    std::string text(prefix);
    std::size_t column = lineStart + prefix.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
        column += 2;
        if (i + 1 < bytes.size()) {
            text += ',';
            ++column;
            if (column + 3 > kLineWidth - 1) {
                text += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return text;
}

std::string TypedData(const RegistryFileValue& value, std::size_t lineStart) {
    if (value.type == kRegSz && value.quotedText) return "\"" + QuoteRegistryText(*value.quotedText) + "\"";
    if (value.type == kRegDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
        char text[20];
        std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
        return text;
    }
    if (value.type == kRegBinary) return HexData("hex:", value.data, lineStart);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    return HexData(prefix, value.data, lineStart);
}

}  // namespace

std::string QuoteRegistryText(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted;
}

std::string WithoutTrailingBackslashes(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

bool IsRemovableKeyPath(std::string_view keyBelowRoot) {
    int components = 0;
    std::string_view first;
    std::size_t start = 0;
    while (start <= keyBelowRoot.size()) {
        const std::size_t end = std::min(keyBelowRoot.find('\\', start), keyBelowRoot.size());
        if (end > start) {
            const std::string_view component = keyBelowRoot.substr(start, end - start);
            ++components;
            if (components == 1) first = component;
            // SOFTWARE\WOW6432Node is the SOFTWARE key of 32-bit programs: as near the root.
            if (components == 2 && SameIgnoringCase(first, "SOFTWARE") && SameIgnoringCase(component, "WOW6432Node"))
                --components;
        }
        start = end + 1;
    }
    return components >= 2;
}

namespace {

std::string RegistryFileTextOf(std::string_view fileBytes) {
    if (fileBytes.starts_with(kUtf16LeByteOrderMark))
        return Utf8FromUtf16Le(fileBytes.substr(kUtf16LeByteOrderMark.size()));
    return Utf8FromStoredText(fileBytes);  // REGEDIT4 files are in the system's code page
}

}  // namespace

bool IsRegistryExportOf(std::string_view fileBytes, std::string_view keyPath) {
    const std::string text = RegistryFileTextOf(fileBytes);
    const std::string section = "[" + WithoutTrailingBackslashes(std::string(keyPath)) + "]";
    bool first = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (first) {
            if (line != kRegistryFileHeader && line != "REGEDIT4") return false;
            first = false;
        } else if (SameIgnoringCase(line, section)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string RegistryFileText(const std::string& keyPath, const RegistryFileValue& value) {
    std::string text(kRegistryFileHeader);
    text += "\r\n[" + WithoutTrailingBackslashes(keyPath) + "]\r\n";
    const std::string name = value.name.empty() ? "@=" : "\"" + QuoteRegistryText(value.name) + "\"=";
    text += name + TypedData(value, name.size()) + "\r\n";
    return text;
}

std::string HexFromBytes(std::string_view bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

std::optional<std::string> BytesFromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

std::string RegistryDataAsText(std::uint32_t type, std::string_view data) {
    switch (type) {
    case kRegSz:
    case kRegExpandSz:
        return std::string(data.substr(0, data.find('\0')));
    case kRegMultiSz: {
        std::string text;
        std::size_t start = 0;
        while (start < data.size()) {
            const std::size_t end = std::min(data.find('\0', start), data.size());
            if (end == start) break;  // the empty string that ends the list
            if (!text.empty()) text += ' ';
            text.append(data.substr(start, end - start));
            start = end + 1;
        }
        return text;
    }
    case kRegDword:
    case kRegDwordBigEndian:
        if (data.size() == 4) {
            std::uint32_t value = LittleEndian<std::uint32_t>(data);
            if (type == kRegDwordBigEndian) {
                value = ((value & 0xffu) << 24) | ((value & 0xff00u) << 8) | ((value >> 8) & 0xff00u) | (value >> 24);
            }
            char text[32];
            std::snprintf(text, sizeof text, "0x%08lx (%lu)", static_cast<unsigned long>(value),
                          static_cast<unsigned long>(value));
            return text;
        }
        return SpacedHexBytes(data);
    case kRegQword:
        if (data.size() == 8) {
            const std::uint64_t value = LittleEndian<std::uint64_t>(data);
            char text[48];
            std::snprintf(text, sizeof text, "0x%016llx (%llu)", static_cast<unsigned long long>(value),
                          static_cast<unsigned long long>(value));
            return text;
        }
        return SpacedHexBytes(data);
    default:
        return SpacedHexBytes(data);
    }
}

}  // namespace sentrel
