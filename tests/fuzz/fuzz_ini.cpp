// The INI codec on arbitrary bytes (a hand-edited or damaged options.ini): reading never fails
// and gives UTF-8 and UTF-16 text back unchanged, other text in UTF-8 (unchanged from then on);
// a key set afterwards reads back as set.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Utf8Text.h"
#include "config/IniText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sentrel::IniText ini = sentrel::IniText::Parse(text);
    const std::string once = ini.ToText();
    if (sentrel::IsValidUtf8(text) || text.starts_with(sentrel::kUtf16LeByteOrderMark)) {
        if (once != text) std::abort();
    } else if (!sentrel::IsValidUtf8(once) || sentrel::IniText::Parse(once).ToText() != once) {
        std::abort();
    }

    for (const auto& section : ini.SectionNames()) {
        for (const auto& key : ini.KeyNames(section)) (void)ini.Get(section, key);
    }
    ini.Set("Options", "KnownSpywares", "101");
    const auto value = ini.Get("Options", "KnownSpywares");
    if (!value || *value != "101") std::abort();
    if (sentrel::IniText::Parse(ini.ToText()).Get("Options", "KnownSpywares") != value) std::abort();
    return 0;
}
