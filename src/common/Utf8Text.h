#pragma once
// The program's text is UTF-8. These helpers walk it one character at a time without trusting
// it (a stray byte is one character of its own, never a reason to stop or to read past the end)
// and convert it to and from UTF-16 LE, the encoding of Notepad's "Unicode" text files, which
// the Windows profile functions read too.

#include <cstddef>
#include <string>
#include <string_view>

namespace sentrel {

inline constexpr std::string_view kUtf16LeByteOrderMark = "\xFF\xFE";
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// A byte that starts no valid UTF-8 sequence decodes as this base plus the byte: a value that
// is no character, so it equals only the same stray byte.
inline constexpr char32_t kStrayByteBase = 0x110000;

// The character that starts at `at`; moves `at` past it. A malformed or cut sequence yields
// kStrayByteBase + its first byte and moves one byte on. `at` must be below text.size().
char32_t NextCodePoint(std::string_view text, std::size_t& at) noexcept;

// True when the whole text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool IsValidUtf8(std::string_view text) noexcept;

// True when no byte of the text is above 0x7F (checked eight bytes at a time).
bool IsAscii(std::string_view text) noexcept;

void AppendUtf8(std::string& text, char32_t c);

// UTF-16 LE units (two bytes each; an odd last byte is ignored) to UTF-8. An unpaired
// surrogate becomes U+FFFD.
std::string Utf8FromUtf16Le(std::string_view units);

// UTF-8 to UTF-16 LE units; a stray byte becomes U+FFFD.
std::string Utf16LeFromUtf8(std::string_view text);

}  // namespace sentrel
