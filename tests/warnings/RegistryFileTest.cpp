// The registry-editor file of a value backup, the hex text of raw value data in a backup record,
// and where the system file checker is looked for.
#include "warnings/RegistryFile.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/StoredText.h"
#include "warnings/SystemFileChecker.h"

namespace sentrel {
namespace {

// "text" as UTF-16LE bytes (ASCII only), with the terminator the registry stores.
std::string Utf16z(const std::string& text) {
    std::string bytes;
    for (const char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes + std::string(2, '\0');
}

std::string ValueLine(const RegistryFileValue& value) {
    const std::string text = RegistryFileText("HKEY_CURRENT_USER\\Key", value);
    const std::string head = "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Key]\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    return text.substr(head.size(), text.size() - head.size() - 2);
}

TEST(RegistryFile, WritesTheHeaderTheKeyAndAQuotedStringWithEscapes) {
    RegistryFileValue value{"Run \"me\"", kRegSz, Utf16z("x"), "C:\\Program Files\\a \"b\".exe /x"};
    EXPECT_EQ(RegistryFileText("HKEY_LOCAL_MACHINE\\Software\\With Blanks\\", value),
              "Windows Registry Editor Version 5.00\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\With Blanks]\r\n"
              "\"Run \\\"me\\\"\"=\"C:\\\\Program Files\\\\a \\\"b\\\".exe /x\"\r\n");
    // The default value is @; an empty string stays an empty quoted string.
    EXPECT_EQ(ValueLine({"", kRegSz, Utf16z(""), ""}), "@=\"\"");
    EXPECT_EQ(QuoteRegistryText("a\\\"b"), "a\\\\\\\"b");
    EXPECT_EQ(WithoutTrailingBackslashes("Software\\Bad\\\\"), "Software\\Bad");
}

TEST(RegistryFile, WritesEveryOtherTypeAsTheEditorDoes) {
    // REG_SZ without a quotable text (a line break, no terminator...): its exact bytes as hex(1).
    EXPECT_EQ(ValueLine({"s", kRegSz, std::string("a\0", 2), std::nullopt}), "\"s\"=hex(1):61,00");
    EXPECT_EQ(ValueLine({"e", kRegExpandSz, Utf16z("%A%"), std::nullopt}),
              "\"e\"=hex(2):25,00,41,00,25,00,00,00");
    EXPECT_EQ(ValueLine({"m", kRegMultiSz, Utf16z("a") + std::string(2, '\0'), std::nullopt}),
              "\"m\"=hex(7):61,00,00,00,00,00");
    EXPECT_EQ(ValueLine({"d", kRegDword, std::string("\x78\x56\x34\x12", 4), std::nullopt}), "\"d\"=dword:12345678");
    EXPECT_EQ(ValueLine({"d", kRegDword, std::string("\xff\x00\x00\x80", 4), std::nullopt}), "\"d\"=dword:800000ff");
    // A DWORD whose data is not four bytes cannot be written as dword: and keeps its bytes.
    EXPECT_EQ(ValueLine({"d", kRegDword, std::string("\x01\x02", 2), std::nullopt}), "\"d\"=hex(4):01,02");
    EXPECT_EQ(ValueLine({"b", kRegBinary, std::string("\x00\xab\xff", 3), std::nullopt}), "\"b\"=hex:00,ab,ff");
    EXPECT_EQ(ValueLine({"b", kRegBinary, "", std::nullopt}), "\"b\"=hex:");
    EXPECT_EQ(ValueLine({"q", kRegQword, std::string("\x01\0\0\0\0\0\0\x02", 8), std::nullopt}),
              "\"q\"=hex(b):01,00,00,00,00,00,00,02");
    EXPECT_EQ(ValueLine({"n", kRegNone, "\x05", std::nullopt}), "\"n\"=hex(0):05");
    EXPECT_EQ(ValueLine({"x", 0x4000, "\x05", std::nullopt}), "\"x\"=hex(4000):05");
}

TEST(RegistryFile, LongHexDataIsContinuedOnShortLines) {
    const std::string data(200, '\x5a');
    const std::string line = ValueLine({"long", kRegBinary, data, std::nullopt});
    std::string joined;
    std::size_t start = 0;
    int lines = 0;
    for (;;) {
        const std::size_t end = line.find("\r\n", start);
        const std::string part = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        EXPECT_LE(part.size(), 80u) << part;
        ++lines;
        if (end == std::string::npos) {
            joined += part;
            break;
        }
        ASSERT_EQ(part.back(), '\\');  // a continued line ends with a backslash ...
        joined += part.substr(0, part.size() - 1);
        start = end + 2;
        ASSERT_EQ(line.substr(start, 2), "  ");  // ... and the next one starts with two blanks
        start += 2;
    }
    EXPECT_GT(lines, 5);
    std::string expected = "\"long\"=hex:";
    for (int i = 0; i < 200; ++i) expected += i ? ",5a" : "5a";
    EXPECT_EQ(joined, expected);
}

TEST(RegistryFile, HexTextRoundTripsAnyBytesAndRefusesOtherText) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(HexFromBytes(std::string("\x00\x7f\x80\xff", 4)), "007f80ff");
    EXPECT_EQ(BytesFromHex(HexFromBytes(all)), all);
    EXPECT_EQ(BytesFromHex(""), "");
    EXPECT_EQ(BytesFromHex("0A0b"), std::string("\x0a\x0b"));
    EXPECT_EQ(BytesFromHex("abc"), std::nullopt);
    EXPECT_EQ(BytesFromHex("zz"), std::nullopt);
    EXPECT_EQ(BytesFromHex("0 "), std::nullopt);
}

TEST(RegistryFile, OnlyKeysTwoLevelsBelowARootMayBeRemovedWhole) {
    for (const char* key : {"SOFTWARE\\Vendor", "Software\\Vendor\\", "a\\b\\c", "\\Software\\Vendor"})
        EXPECT_TRUE(IsRemovableKeyPath(key)) << key;
    for (const char* key : {"", "\\", "SOFTWARE", "Software\\", "\\Software", "Software\\\\\\",
                            "SOFTWARE\\WOW6432Node", "Software\\wow6432node\\"})
        EXPECT_FALSE(IsRemovableKeyPath(key)) << key;
    EXPECT_TRUE(IsRemovableKeyPath("SOFTWARE\\WOW6432Node\\Vendor"));
}

TEST(RegistryFile, AnExportIsCompleteOnlyWithItsHeaderAndTheKeysOwnSection) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Bad Key";
    const std::string whole = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Bad Key]\r\n"
                              "\"a\"=\"b\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Bad Key\\Sub]\r\n\r\n";
    EXPECT_TRUE(IsRegistryExportOf(whole, key));
    EXPECT_TRUE(IsRegistryExportOf(whole, "hkey_current_user\\software\\bad key\\"));
    EXPECT_TRUE(IsRegistryExportOf("REGEDIT4\n[" + key + "]\n", key));
    std::string utf16 = "\xFF\xFE";
    for (const char c : whole) utf16 += {c, '\0'};
    EXPECT_TRUE(IsRegistryExportOf(utf16, key));
    // A key beyond ASCII, in any letter case: in UTF-16, and in an old REGEDIT4 file in the
    // system's code page (Windows-1252 on the test machines).
    std::string cyrillic = "\xFF\xFE";
    for (const char16_t unit : u"REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\\u041E\u0422\u0427\u0401\u0422]\r\n")
        cyrillic += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    EXPECT_TRUE(IsRegistryExportOf(cyrillic, "HKEY_CURRENT_USER\\Software\\отчёт"));
    if (LegacyCodePage() == 1252) {
        EXPECT_TRUE(IsRegistryExportOf("REGEDIT4\n[HKCU\\M\xDCLLER]\n", "HKCU\\müller"));
    }

    EXPECT_FALSE(IsRegistryExportOf("", key));
    EXPECT_FALSE(IsRegistryExportOf("Windows Registry Editor Version 5.00\r\n", key));  // cut short
    EXPECT_FALSE(IsRegistryExportOf(whole, "HKEY_CURRENT_USER\\Software\\Other"));
    EXPECT_FALSE(IsRegistryExportOf(whole.substr(1), key));                              // no header
    EXPECT_FALSE(IsRegistryExportOf("[" + key + "]\r\nWindows Registry Editor Version 5.00\r\n", key));
    EXPECT_FALSE(IsRegistryExportOf(utf16.substr(0, 40), key));
}

TEST(SystemFileChecker, LooksInSystemThenInSystem32OfWhatTheFirstTestLeft) {
    const auto launch = [](std::set<std::string> files, bool nt) {
        return SystemFileCheckerFor("C:\\WIN", nt, [&files](const std::string& path) { return files.count(path) > 0; });
    };
    auto found = launch({"C:\\WIN\\system32\\sfc.exe"}, true);
    EXPECT_EQ(found.program, "C:\\WIN\\system32\\sfc.exe");
    EXPECT_EQ(found.parameters, "/scannow");

    found = launch({"C:\\WIN\\system\\sfc.exe"}, false);
    EXPECT_EQ(found.program, "C:\\WIN\\system\\sfc.exe");
    EXPECT_EQ(found.parameters, "");

    // Both: the second test is made inside "system".
    EXPECT_EQ(launch({"C:\\WIN\\system\\sfc.exe", "C:\\WIN\\system32\\sfc.exe"}, true).program,
              "C:\\WIN\\system\\sfc.exe");
    EXPECT_EQ(launch({"C:\\WIN\\system\\sfc.exe", "C:\\WIN\\system\\system32\\sfc.exe"}, true).program,
              "C:\\WIN\\system\\system32\\sfc.exe");
    EXPECT_EQ(launch({}, true).program, "C:\\WIN\\sfc.exe");
}

}  // namespace
}  // namespace sentrel
