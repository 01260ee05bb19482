// Case folding on Windows: the system's own upper-case mapping in the invariant locale (the
// mapping the file system's names follow), then its lower-case mapping, so that letters with
// one upper-case form but two lower-case ones (final sigma) fold together.
#include <windows.h>

#include "common/TextCase.h"

namespace sentrel {

void FoldCasePage(unsigned page, char16_t* folded) noexcept {
    wchar_t in[256];
    wchar_t upper[256];
    wchar_t lower[256];
    for (unsigned i = 0; i < 256; ++i) {
        in[i] = static_cast<wchar_t>(page * 256 + i);
        folded[i] = static_cast<char16_t>(in[i]);
    }
    if (page >= 0xD8 && page <= 0xDF) return;  // surrogates: no characters of their own
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, in, 256, upper, 256, nullptr, nullptr, 0) != 256)
        return;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, upper, 256, lower, 256, nullptr, nullptr, 0) != 256)
        return;
    for (unsigned i = 0; i < 256; ++i) folded[i] = static_cast<char16_t>(lower[i]);
}

}  // namespace sentrel
