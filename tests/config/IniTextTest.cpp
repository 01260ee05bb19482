#include "config/IniText.h"

#include "common/Utf8Text.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using namespace std::string_literals;

TEST(IniText, WritesBackEveryByteItDoesNotChange) {
    const std::vector<std::string> texts = {
        "",
        "[Options]\r\nShield=1\r\n",
        "[Options]\nShield=1",                                    // LF and no final line end
        "\xEF\xBB\xBF[Options]\r\nShield=1\r\n",                  // UTF-8 byte order mark
        "; comment\r\n\r\n  [ Options ]  \r\n  Shield  =  1  \r\n\r\n",
        "a\rb\r\n\n\n\r\r",                                       // lone CRs stay inside lines
        "[Options\r\n=\r\n[]\r\n]]][[[\r\nkey\r\n"s + '\0' + "=\xC3\xBF\r\n",
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(IniText::Parse(text).ToText(), text);
    }
}

// The bytes Notepad writes for "Unicode": the byte-order mark and UTF-16 LE units.
std::string NotepadUnicode(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(IniText, ReadsAndWritesBackUtf16TextInItsOwnEncoding) {
    // A line holding a character no code page has (U+4E2D) is written back unchanged.
    const std::string text = NotepadUnicode(u"; \u4E2D\r\n[Options]\r\nShield=1\r\nLowAutorun = 0 \r\n[Other]\nx=y");
    EXPECT_EQ(IniText::Parse(text).ToText(), text);
    IniText ini = IniText::Parse(text);
    EXPECT_EQ(ini.Get("options", "shield"), "1");
    EXPECT_EQ(ini.Get("Options", "LowAutorun"), "0");
    EXPECT_EQ(ini.Get("Other", "x"), "y");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Options", "Other"}));

    ini.Set("Options", "Shield", "0");
    ini.Set("Options", "LastCheck", "5");
    ini.Set("New", "k", "v");
    EXPECT_EQ(ini.ToText(), NotepadUnicode(u"; \u4E2D\r\n[Options]\r\nShield=0\r\nLowAutorun = 0 \r\n"
                                           u"LastCheck=5\r\n[Other]\nx=y\r\n[New]\r\nk=v\r\n"));

    // An odd last byte stays where it was.
    const std::string odd = NotepadUnicode(u"[A]\r\nb=c") + "\x41";
    EXPECT_EQ(IniText::Parse(odd).ToText(), odd);
    EXPECT_EQ(IniText::Parse(odd).Get("A", "b"), "c");
}

TEST(IniText, ReadsTextAnOlderVersionWroteInTheSystemsCodePage) {
    struct Legacy {
        unsigned codePage;
        std::string bytes;     // as the older version wrote it
        std::string expected;  // the same characters in UTF-8
    };
    const Legacy files[] = {
        {1251, "; \xF2\xE5\xEA\xF1\xF2\r\n[\xCE\xEF\xF6\xE8\xE8]\r\n\xCF\xF3\xF2\xFC=C:\\\xCE\xF2\xF7\xB8\xF2.exe\r\n",
         "; текст\r\n[Опции]\r\nПуть=C:\\Отчёт.exe\r\n"},
        {1252, "; \xE9t\xE9\r\n[R\xE9gion]\r\nCl\xE9=C:\\Programme\\M\xFCller\\Spiel.exe\r\n",
         "; été\r\n[Région]\r\nClé=C:\\Programme\\Müller\\Spiel.exe\r\n"},
    };
    for (const Legacy& file : files) {
        SCOPED_TRACE(file.codePage);
        IniText ini = IniText::Parse(file.bytes, file.codePage);
        const std::vector<std::string> sections = ini.SectionNames();
        ASSERT_EQ(sections.size(), 1u);
        const std::vector<std::string> keys = ini.KeyNames(sections[0]);
        ASSERT_EQ(keys.size(), 1u);
        EXPECT_EQ(ini.ToText(), file.expected);
        EXPECT_EQ(IniText::Parse(file.expected, file.codePage).Get(sections[0], keys[0]), ini.Get(sections[0], keys[0]));
        ini.Set("Options", "Shield", "1");
        EXPECT_EQ(ini.ToText(), file.expected + "[Options]\r\nShield=1\r\n");
    }
    // Names match in any letter case, also beyond ASCII.
    const IniText ini = IniText::Parse(files[0].bytes, 1251);
    EXPECT_EQ(ini.Get("ОПЦИИ", "путь"), "C:\\Отчёт.exe");
}

TEST(IniText, GetsValuesByThePrivateProfileRules) {
    const std::string text =
        "Shield=9\r\n"                   // before any section: belongs to none
        "[Other]\r\nShield=8\r\n"
        "  [ options ]  \r\n"
        "; Shield=7\r\n"                  // comment
        "Other\r\n"                       // a key without a value hides the later one
        "  sHiElD \t=\t 0x2 \r\n"         // names without case, blanks trimmed
        "Shield=5\r\n"                    // later occurrence loses
        "Quoted=\"a b\"\r\n"
        "Single='x'\r\n"
        "Half=\"x\r\n"
        "Empty=\r\n"
        "Spaced = a = b \r\n"
        "Other=1\r\n"
        "[Options]\r\nLate=1\r\n";        // second section of the name: not read
    const IniText ini = IniText::Parse(text);
    EXPECT_EQ(ini.Get("Options", "Shield"), "0x2");
    EXPECT_EQ(ini.Get("OPTIONS", "shield"), "0x2");
    EXPECT_EQ(ini.Get("Other", "Shield"), "8");
    EXPECT_EQ(ini.Get("Options", "Quoted"), "a b");
    EXPECT_EQ(ini.Get("Options", "Single"), "x");
    EXPECT_EQ(ini.Get("Options", "Half"), "\"x");
    EXPECT_EQ(ini.Get("Options", "Empty"), "");
    EXPECT_EQ(ini.Get("Options", "Spaced"), "a = b");
    EXPECT_EQ(ini.Get("Options", "Late"), std::nullopt);
    EXPECT_EQ(ini.Get("Options", "Other"), std::nullopt);
    EXPECT_EQ(ini.Get("Options", "Missing"), std::nullopt);
    EXPECT_EQ(ini.Get("Missing", "Shield"), std::nullopt);
    EXPECT_EQ(IniText::Parse("\xEF\xBB\xBF[Options]\r\nShield=3").Get("Options", "Shield"), "3");
}

TEST(IniText, SetRewritesAnExistingKeyInItsOwnLine) {
    IniText ini = IniText::Parse("; top\n[Options]\nA=1\n  shield = 4  \nB=2\nShield=5\n[Other]\nShield=6\n");
    ini.Set("options", "Shield", "7");
    EXPECT_EQ(ini.ToText(), "; top\n[Options]\nA=1\nshield=7\nB=2\nShield=5\n[Other]\nShield=6\n");
    EXPECT_EQ(ini.Get("Options", "Shield"), "7");

    IniText bare = IniText::Parse("[Options]\nA=1\nBare\nBare=1\nJunk line\n");
    bare.Set("Options", "Bare", "2");
    bare.Set("Options", "New", "3");
    EXPECT_EQ(bare.ToText(), "[Options]\nA=1\nBare=2\nBare=1\nNew=3\r\nJunk line\n");

    IniText last = IniText::Parse("[Options]\r\nShield=1");
    last.Set("Options", "Shield", "2");
    EXPECT_EQ(last.ToText(), "[Options]\r\nShield=2");
}

TEST(IniText, SetAppendsANewKeyAfterTheLastKeyOfItsSection) {
    IniText ini = IniText::Parse("[Options]\r\nA=1\r\n; note\r\nB=2\r\n\r\n; about Other\r\n[Other]\r\nC=3\r\n");
    ini.Set("Options", "New", "x");
    EXPECT_EQ(ini.ToText(),
              "[Options]\r\nA=1\r\n; note\r\nB=2\r\nNew=x\r\n\r\n; about Other\r\n[Other]\r\nC=3\r\n");

    IniText empty = IniText::Parse("[Options]\n\n[Other]\n");
    empty.Set("Options", "New", "x");
    EXPECT_EQ(empty.ToText(), "[Options]\nNew=x\r\n\n[Other]\n");

    IniText unterminated = IniText::Parse("[Options]\nA=1");
    unterminated.Set("Options", "B", "2");
    EXPECT_EQ(unterminated.ToText(), "[Options]\nA=1\r\nB=2\r\n");
}

TEST(IniText, SetAppendsAMissingSectionAtTheEnd) {
    IniText fresh = IniText::Parse("");
    fresh.Set("Options", "FirstRun", "1");
    fresh.Set("Options", "Shield", "1");
    EXPECT_EQ(fresh.ToText(), "[Options]\r\nFirstRun=1\r\nShield=1\r\n");

    IniText other = IniText::Parse("[Other]\nA=1");
    other.Set("Options", "Shield", "1");
    EXPECT_EQ(other.ToText(), "[Other]\nA=1\r\n[Options]\r\nShield=1\r\n");
}

TEST(IniText, SetRefusesWhatCannotBeStoredInOneLine) {
    IniText ini = IniText::Parse("[Options]\r\n");
    const std::string before = ini.ToText();
    EXPECT_THROW(ini.Set("Options", "A", "1\r\nB=2"), std::invalid_argument);
    EXPECT_THROW(ini.Set("Options", "A=B", "1"), std::invalid_argument);
    EXPECT_THROW(ini.Set("Options", "", "1"), std::invalid_argument);
    EXPECT_THROW(ini.Set("Options", " A", "1"), std::invalid_argument);
    EXPECT_THROW(ini.Set("Options", ";A", "1"), std::invalid_argument);
    EXPECT_THROW(ini.Set("Opt]ions", "A", "1"), std::invalid_argument);
    EXPECT_THROW(ini.Set("Opt\nions", "A", "1"), std::invalid_argument);
    EXPECT_EQ(ini.ToText(), before);
}

TEST(IniText, ListsAndErasesSectionsAndKeys) {
    IniText ini = IniText::Parse("[Count]\r\nCount=2\r\n[0]\r\nType=A\r\nDesc=a\r\ntype=dup\r\n\r\n[1]\r\nType=B\r\n");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Count", "0", "1"}));
    EXPECT_EQ(ini.KeyNames("0"), (std::vector<std::string>{"Type", "Desc"}));
    EXPECT_TRUE(ini.EraseKey("0", "TYPE"));
    EXPECT_EQ(ini.Get("0", "Type"), "dup");
    EXPECT_TRUE(ini.EraseSection("0"));
    EXPECT_FALSE(ini.EraseSection("0"));
    EXPECT_FALSE(ini.EraseKey("0", "Desc"));
    EXPECT_EQ(ini.ToText(), "[Count]\r\nCount=2\r\n[1]\r\nType=B\r\n");
}

TEST(IniText, SurvivesAnyInput) {
    // Bytes that matter to the parser, and some that do not.
    const std::string alphabet = "[]=;'\" \t\r\nAaOo1\xEF\xBB\xBF\xFF"s + '\0';
    std::mt19937 random(20240102);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 64, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        IniText ini = IniText::Parse(text, 1252);
        // Text that is not UTF-8 comes back as UTF-8, and from then on stays as it is.
        const std::string once = ini.ToText();
        ASSERT_EQ(once == text, IsValidUtf8(text));
        ASSERT_EQ(IniText::Parse(once).ToText(), once);
        (void)ini.Get("A", "a");
        (void)ini.SectionNames();
        (void)ini.KeyNames("O");
        ini.Set("A", "a", "v");
        ASSERT_EQ(ini.Get("a", "A"), "v") << "after " << text;
        ini.Set("A", "a", "w");
        ASSERT_EQ(ini.Get("A", "a"), "w");
        // What was written reads back the same way.
        ASSERT_EQ(IniText::Parse(ini.ToText()).Get("A", "a"), "w");
        ini.EraseSection("O");
        ini.EraseKey("A", "a");
    }
}

}  // namespace
}  // namespace sentrel
