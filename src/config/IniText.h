#pragma once
// An INI file's text, read and changed by the rules of the Windows private-profile functions:
// section and key names compare without regard to case, blanks around names and values are
// trimmed, the first occurrence of a section or key wins (a line holding only a key name is
// that key without a value: it reads as missing and hides later lines of the key), and comment
// and blank lines are kept as they are. Every line the caller does not change is written back
// byte for byte, whatever it holds; any input parses. Text is UTF-8; a text that is not (an older
// version wrote the system's code page) is read in the legacy code page and written back as
// UTF-8, every line with the same characters.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class IniText {
public:
    // Splits the bytes into lines; never fails. A text that starts with the UTF-16 LE byte-order
    // mark (Notepad's "Unicode") is read as UTF-16 and its names and values come in the
    // program's own text (UTF-8). Other text that is not valid UTF-8 is read in `legacyCodePage`.
    static IniText Parse(std::string_view bytes, unsigned legacyCodePage);
    static IniText Parse(std::string_view bytes);

    // The text again: the bytes given to Parse with only the changes made since, in the encoding
    // the text came in.
    std::string ToText() const;

    // The value of a key in a section (trimmed, with one pair of surrounding quotes removed),
    // or nothing when the section or the key is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Sets a key. An existing key is rewritten in its own line; a new key goes after the last
    // key=value line of its section (right after the header when the section has none); a missing
    // section is appended at the end of the text. New lines end with CR LF.
    // Throws std::invalid_argument for names or values that cannot be stored in one line.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // Removes the first occurrence of a key from its section; false when there is none.
    bool EraseKey(std::string_view section, std::string_view key);

    // Removes the first section of that name with every line up to the next section header;
    // false when there is none.
    bool EraseSection(std::string_view section);

    // The names of all sections, in file order (duplicates included).
    std::vector<std::string> SectionNames() const;

    // The names of the keys of a section, in file order (first occurrences only).
    std::vector<std::string> KeyNames(std::string_view section) const;

private:
    enum class LineKind { Other, Section, Key };

    struct Line {
        std::string text;  // the line without its line end
        std::string end;   // "\r\n", "\n" or "" (last line without a line end)
        LineKind kind = LineKind::Other;
        std::string name;   // section or key name, trimmed
        std::string value;  // key value, trimmed and unquoted
        bool hasValue = false;  // a key line with an equals sign
        std::string raw;  // UTF-16 text: the line's own units with its line end, while unchanged
    };

    static Line MakeLine(std::string text, std::string end);
    // Index of the header line of the first section of that name, or npos.
    std::size_t FindSection(std::string_view section) const;
    // One past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    void InsertLine(std::size_t at, std::string text);

    static IniText ParseUtf16(std::string_view units);

    std::string byteOrderMark_;
    bool utf16_ = false;
    std::string oddByte_;  // UTF-16 text: a last byte that makes no whole unit, written back as it was
    std::vector<Line> lines_;
};

}  // namespace sentrel
