#pragma once
// The wildcard match of cookie file names and folder masks: "*" (any run of characters, up to
// the first occurrence of the character after it, no backtracking) and "?" (one character),
// without regard to letter case. Text and mask are UTF-8, taken one character at a time.

#include <stdexcept>
#include <string_view>

namespace sentrel {

inline constexpr std::string_view kInvalidMaskMessage = "Invalid mask";

// Raised for a "*" followed by "*" or "?"; the message is "Invalid mask".
class InvalidMaskError : public std::runtime_error {
public:
    InvalidMaskError() : std::runtime_error(std::string(kInvalidMaskMessage)) {}
};

// Walks the text and the mask together. A "*" that is the mask's last character accepts the rest
// of the text; any other "*" moves the text to the first occurrence, at or after the current
// position, of the mask character after it (which is then compared as a literal). The result is
// a match only when the text and the mask end together. A malformed "*" is found only when the
// walk reaches it, and then throws InvalidMaskError.
bool MatchesMask(std::string_view text, std::string_view mask);

// True when no "*" of the mask, other than a last one, is followed by "*" or "?": such a mask
// never throws from MatchesMask, whatever the text.
bool IsWellFormedMask(std::string_view mask) noexcept;

}  // namespace sentrel
