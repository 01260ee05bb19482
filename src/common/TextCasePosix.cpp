// Case folding outside Windows: the C library's upper- and lower-case mappings under a UTF-8
// locale (which holds the whole Unicode table); ASCII letters only when no such locale exists.
#include <locale.h>
#include <wctype.h>

#include "common/TextCase.h"

namespace sentrel {

namespace {

locale_t UnicodeLocale() noexcept {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t found = newlocale(LC_CTYPE_MASK, name, nullptr)) return found;
        }
        return locale_t{};
    }();
    return locale;
}

}  // namespace

void FoldCasePage(unsigned page, char16_t* folded) noexcept {
    const locale_t locale = UnicodeLocale();
    for (unsigned i = 0; i < 256; ++i) {
        const auto c = static_cast<wint_t>(page * 256 + i);
        wint_t f = c;
        if (locale != locale_t{} && !(page >= 0xD8 && page <= 0xDF)) {
            f = towlower_l(towupper_l(c, locale), locale);
            if (f > 0xFFFF) f = c;
        } else if (c >= 'A' && c <= 'Z') {
            f = c + ('a' - 'A');
        }
        folded[i] = static_cast<char16_t>(f);
    }
}

}  // namespace sentrel
