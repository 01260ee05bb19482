// SameTextIgnoringCase on Windows: letter case folded by the user's locale, then the texts
// compared byte for byte. The locale's sorting compare (CompareStringA with NORM_IGNORECASE)
// would also take texts that differ in characters it gives no weight (a NUL byte, a soft
// hyphen) as equal, and a list entry must match a whole line, not a look-alike.
#include "core/ColorList.h"

#include <climits>
#include <stdexcept>
#include <string>

#include <windows.h>

#include "platform/Win32Error.h"

namespace sentrel {

namespace {

std::string LowerByUserLocale(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > INT_MAX) throw std::length_error("text too long to compare");
    const int size = static_cast<int>(text.size());
    const int length = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, text.data(), size, nullptr, 0);
    if (length <= 0) platform::ThrowLastError("LCMapStringA");
    std::string lower(static_cast<std::size_t>(length), '\0');
    if (LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, text.data(), size, lower.data(), length) != length) {
        platform::ThrowLastError("LCMapStringA");
    }
    return lower;
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;
    return LowerByUserLocale(a) == LowerByUserLocale(b);
}

}  // namespace sentrel
