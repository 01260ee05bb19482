#pragma once
// The tokens of Firefox's preference files (prefs.js, user.js) as Firefox's own reader cuts
// them: words, quoted strings, integers and the characters ( ) , ; + -, with blanks (CR, LF,
// CRLF, tabs ...) and comments (// and # to the line end, /* to */) between any two of them.
// Where a statement starts or ends on its line plays no part in the grammar.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

enum class PrefsTokenKind {
    End,  // the end of the text, or a /* comment that never ends
    Pref,
    UserPref,
    StickyPref,
    True,
    False,
    Sticky,
    Locked,
    String,   // `text` holds the value, unescaped
    Integer,  // `text` holds the digits as written, `number` their value (capped)
    Symbol,   // `symbol` is one of ( ) , ; + -
    Error,    // an unknown word or character, a string with a bad escape or without its end
};

struct PrefsToken {
    PrefsTokenKind kind = PrefsTokenKind::End;
    char symbol = 0;
    std::string text;
    std::uint64_t number = 0;
    std::size_t begin = 0;  // the token's bytes in the text
    std::size_t end = 0;

    bool Is(char c) const { return kind == PrefsTokenKind::Symbol && symbol == c; }
};

// Larger integers are all taken as this one: no preference value reaches it.
inline constexpr std::uint64_t kPrefsIntegerCap = std::uint64_t{1} << 40;

class PrefsLexer {
public:
    // A UTF-8 byte order mark counts as a blank, at the start and anywhere else: taking a
    // statement out before one must not change what the rest of the file says.
    explicit PrefsLexer(std::string_view text);

    // The next token; End again and again at the end.
    PrefsToken Next();

private:
    void SkipBlanksAndComments();
    void ReadString(PrefsToken& token);
    std::optional<unsigned> ReadHex(std::size_t count);

    std::string_view text_;
    std::size_t at_ = 0;
};

// Where the line holding `at` ends, line end included, when nothing but blanks and comments that
// close on that line lie from `at` to there; nothing otherwise. A lone CR ends a line too.
std::optional<std::size_t> CleanLineEnd(std::string_view text, std::size_t at);

// Where the line holding `at` starts (after a CR or LF, or after a byte order mark at the start)
// when only blanks lie from there to `at`; nothing otherwise. Looks back over the blanks only, so
// that a text of one long line costs no more than one of many.
std::optional<std::size_t> CleanLineStart(std::string_view text, std::size_t at);

}  // namespace sentrel
