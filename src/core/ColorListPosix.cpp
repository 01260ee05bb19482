// SameTextIgnoringCase outside Windows (the native build of the portable core): there is no
// user locale to ask, so only ASCII letters are folded.
#include "core/ColorList.h"

#include <algorithm>

namespace sentrel {

namespace {

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

}  // namespace sentrel
