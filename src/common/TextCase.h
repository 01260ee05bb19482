#pragma once
// Comparing names without regard to letter case, the way the file system and the registry do:
// every character (not only A to Z: "É" and "é", "Ё" and "ё", "Σ" and "σ") is folded on its own,
// by the same table everywhere (not the user's locale), and the folded texts are compared. Text
// is UTF-8; a byte that starts no valid character is a character of its own that equals only
// itself, so any bytes compare, never crash and never loop. Pure ASCII takes a fast path.

#include <string_view>

namespace sentrel {

// The folded form of one character (characters outside the Basic Multilingual Plane and stray
// bytes fold to themselves). ASCII letters fold to lower case.
char32_t FoldCase(char32_t c) noexcept;

// <0, 0 or >0: the order of the folded characters, a shorter text first when one is the
// beginning of the other. A total order in which equal means SameIgnoringCase.
int CompareIgnoringCase(std::string_view a, std::string_view b) noexcept;

inline bool SameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return CompareIgnoringCase(a, b) == 0;
}

// Fills `folded` with the folded forms of the 256 characters page * 256 ... page * 256 + 255 of
// the Basic Multilingual Plane; one implementation per system.
void FoldCasePage(unsigned page, char16_t* folded) noexcept;

}  // namespace sentrel
