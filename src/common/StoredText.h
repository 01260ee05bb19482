#pragma once
// Text files and database cells written by older versions of the program hold text in the
// system's ANSI code page (Windows-1252 on a Western system, Windows-1251 on a Cyrillic one);
// the program now keeps all text in UTF-8. Every reader of stored text decodes it here: text
// that is valid UTF-8 is UTF-8, anything else is read in the legacy code page and converted.
// The decision is made for a whole file (one file is written by one version), and a file is
// written back as UTF-8 only when the program rewrites it anyway.

#include <string>
#include <string_view>

namespace sentrel {

// The code page the system used for "ANSI" text before the program switched to UTF-8: the
// default ANSI code page of the system locale (the process's own code page is UTF-8 now, so it
// no longer tells). Outside Windows, and when the system names none, Windows-1252.
unsigned LegacyCodePage();

// Bytes in the code page to UTF-8. A byte the code page does not define becomes U+FFFD.
// Throws std::runtime_error for a code page the system cannot convert.
std::string Utf8FromCodePage(std::string_view bytes, unsigned codePage);

// The stored bytes as UTF-8: unchanged when they are valid UTF-8, else converted from the
// legacy code page.
std::string Utf8FromStoredText(std::string_view bytes, unsigned legacyCodePage);
std::string Utf8FromStoredText(std::string_view bytes);

}  // namespace sentrel
