#include "common/StoredText.h"

#include "common/Utf8Text.h"

namespace sentrel {

std::string Utf8FromStoredText(std::string_view bytes, unsigned legacyCodePage) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Utf8FromCodePage(bytes, legacyCodePage);
}

std::string Utf8FromStoredText(std::string_view bytes) {
    return Utf8FromStoredText(bytes, LegacyCodePage());
}

}  // namespace sentrel
