// Outside Windows there is no system locale to ask: the legacy code page is Windows-1252, and
// the conversion goes through iconv.
#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "common/StoredText.h"
#include "common/Utf8Text.h"

namespace sentrel {

unsigned LegacyCodePage() {
    return 1252;
}

std::string Utf8FromCodePage(std::string_view bytes, unsigned codePage) {
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("text in code page " + std::to_string(codePage) + " cannot be read");
    }
    std::string text;
    char buffer[256];
    std::size_t at = 0;
    while (at < bytes.size()) {
        char* in = const_cast<char*>(bytes.data() + at);
        std::size_t inLeft = bytes.size() - at;
        char* out = buffer;
        std::size_t outLeft = sizeof(buffer);
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        text.append(buffer, static_cast<std::size_t>(out - buffer));
        at = static_cast<std::size_t>(in - bytes.data());
        if (result == static_cast<std::size_t>(-1) && error != E2BIG) {
            AppendUtf8(text, 0xFFFD);  // a byte the code page leaves undefined
            ++at;
        }
    }
    iconv_close(converter);
    return text;
}

}  // namespace sentrel
