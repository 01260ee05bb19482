#pragma once
// The ASCII form of international host names (IDNA): each label that is not ASCII becomes
// "xn--" and its Punycode (RFC 3492), the form in which browsers keep host names.

#include <optional>
#include <string>
#include <string_view>

namespace sentrel::dbtool {

// The Punycode of a label's characters, without the "xn--" prefix; nullopt when the encoding
// overflows (a label far longer than any host name can hold).
std::optional<std::string> PunycodeEncode(std::u32string_view label);

// The ASCII form of a dotted name in UTF-8: ASCII letters in lower case, each label that holds a
// character above U+007F as "xn--" + its Punycode. nullopt when the text is not UTF-8. The name
// is not checked otherwise (empty labels and odd characters stay as they are).
std::optional<std::string> AsciiHostName(std::string_view name);

}  // namespace sentrel::dbtool
