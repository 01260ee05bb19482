#pragma once
// Text from outside the program (an extension's name, a profile's name, a file name, a registry
// value, a line of backups.ini) made safe to put in front of a person: nothing in it can cut the
// text short, add lines, reorder what is shown around it or flood the window or the log.

#include <cstddef>
#include <string>
#include <string_view>

namespace sentrel {

// How many characters a name, a path and a whole line keep when shown.
inline constexpr std::size_t kShownNameLength = 200;
inline constexpr std::size_t kShownPathLength = 400;
inline constexpr std::size_t kShownLineLength = 1000;

// `text` (UTF-8) as it may be shown:
// - a line break (CR LF, CR, LF, U+0085, U+2028, U+2029) and a tab become one space, so that the
//   words on either side stay apart and the text stays on one line;
// - every other control character (C0 with NUL, DEL, C1) and every bidirectional control
//   (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) becomes U+FFFD. A visible mark rather
//   than nothing: a name that carried one does not look the same as a name without it;
// - a byte that is not UTF-8 becomes U+FFFD;
// - beyond `maxCharacters` characters, the text is cut at a character and ends in "…" (the
//   result then has exactly `maxCharacters` characters). Only so much of `text` is read.
// Letters of any script are kept as they are.
std::string SafeDisplayText(std::string_view text, std::size_t maxCharacters);

inline std::string ShownName(std::string_view text) {
    return SafeDisplayText(text, kShownNameLength);
}
inline std::string ShownPath(std::string_view text) {
    return SafeDisplayText(text, kShownPathLength);
}

}  // namespace sentrel
