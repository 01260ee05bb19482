#include "platform/Registry.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/Win32Error.h"

namespace sentrel::platform {
namespace {

// A throw-away key under HKCU\Software\SentrelTests, deleted before and after the test.
class RegistryWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\SentrelTests\\Registry" + std::to_string(GetCurrentProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteKeyTree(HKEY_CURRENT_USER, path_);
    }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, path_); }

    std::string path_;
};

TEST_F(RegistryWinTest, OpensOnlyExistingKeysAndCreatesPaths) {
    EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, path_).has_value());
    EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, path_ + "\\A\\B").has_value());

    RegistryKey created = RegistryKey::Create(HKEY_CURRENT_USER, path_ + "\\A\\B");
    EXPECT_TRUE(created);
    auto opened = RegistryKey::Open(HKEY_CURRENT_USER, path_ + "\\A");
    ASSERT_TRUE(opened.has_value());
    EXPECT_TRUE(opened->SubKeyExists("B"));
    EXPECT_FALSE(opened->SubKeyExists("C"));

    // A key opened for reading refuses writes, with the call and the system's code in the error.
    auto readOnly = RegistryKey::Open(HKEY_CURRENT_USER, path_, RegistryAccess::Read);
    ASSERT_TRUE(readOnly.has_value());
    try {
        readOnly->WriteDword("x", 1);
        FAIL() << "write through a read-only key succeeded";
    } catch (const Win32Error& error) {
        EXPECT_EQ(error.Code(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_NE(std::string(error.what()).find("RegSetValueExA(\"x\")"), std::string::npos) << error.what();
    }
}

TEST_F(RegistryWinTest, WritesAndReadsValuesWithTheirTypes) {
    RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, path_);
    key.WriteString("Plain", "C:\\Program Files\\x.exe");
    key.WriteString("Expand", "%SystemRoot%\\y.dll", REG_EXPAND_SZ);
    key.WriteDword("Number", 0xDEADBEEF);
    const std::string bytes("\x00\x01\xFF\x00\x7F", 5);
    key.WriteBinary("Bytes", bytes);
    key.WriteString("", "default value");

    EXPECT_EQ(key.ReadString("Plain"), "C:\\Program Files\\x.exe");
    // Expandable strings are read as stored, not expanded.
    EXPECT_EQ(key.ReadString("Expand"), "%SystemRoot%\\y.dll");
    EXPECT_EQ(key.ReadValue("Expand")->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(key.ReadDword("Number"), 0xDEADBEEFu);
    auto binary = key.ReadValue("Bytes");
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(binary->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(binary->data, bytes);
    EXPECT_EQ(key.ReadString(""), "default value");
    // The stored string data keeps its terminator.
    EXPECT_EQ(key.ReadValue("Plain")->data, std::string("C:\\Program Files\\x.exe", 23));

    // Missing values are answers; wrong types are errors.
    EXPECT_FALSE(key.ReadValue("Missing").has_value());
    EXPECT_FALSE(key.ReadString("Missing").has_value());
    EXPECT_FALSE(key.ReadDword("Missing").has_value());
    EXPECT_THROW(key.ReadString("Number"), Win32Error);
    EXPECT_THROW(key.ReadDword("Plain"), Win32Error);

    // String data without a terminator, or with bytes after one, reads up to the first zero.
    key.WriteValue("Unterminated", REG_SZ, "abc");
    key.WriteValue("Embedded", REG_SZ, std::string_view("ab\0cd\0", 6));
    EXPECT_EQ(key.ReadString("Unterminated"), "abc");
    EXPECT_EQ(key.ReadString("Embedded"), "ab");

    // A long value is read whole.
    const std::string longText(5000, 'q');
    key.WriteString("Long", longText);
    EXPECT_EQ(key.ReadString("Long"), longText);

    EXPECT_TRUE(key.ValueExists("Number"));
    EXPECT_TRUE(key.DeleteValue("Number"));
    EXPECT_FALSE(key.ValueExists("Number"));
    EXPECT_FALSE(key.DeleteValue("Number"));

    // A value written through one handle is seen through another.
    auto reopened = RegistryKey::Open(HKEY_CURRENT_USER, path_);
    ASSERT_TRUE(reopened.has_value());
    EXPECT_EQ(reopened->ReadString("Plain"), "C:\\Program Files\\x.exe");
}

TEST_F(RegistryWinTest, EnumeratesValuesAndSubkeys) {
    RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, path_);
    EXPECT_TRUE(key.Values().empty());
    EXPECT_TRUE(key.SubKeyNames().empty());

    key.WriteString("First", "one");
    key.WriteDword("Second", 2);
    key.WriteBinary("Third", std::string(300, '\x05'));
    RegistryKey::Create(key.Get(), "Child1");
    RegistryKey::Create(key.Get(), "Child2\\Grandchild");

    auto values = key.Values();
    ASSERT_EQ(values.size(), 3u);
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    EXPECT_EQ(values[0].name, "First");
    EXPECT_EQ(values[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(StringFromRegistryData(values[0].data), "one");
    EXPECT_EQ(values[1].name, "Second");
    EXPECT_EQ(values[1].type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(values[1].data, std::string("\x02\x00\x00\x00", 4));
    EXPECT_EQ(values[2].name, "Third");
    EXPECT_EQ(values[2].data, std::string(300, '\x05'));

    auto names = key.SubKeyNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Child1", "Child2"}));
}

TEST_F(RegistryWinTest, DeletesWholeTrees) {
    for (auto deleteTree : {&DeleteKeyTree, &DeleteKeyTreeRecursively}) {
        RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, path_ + "\\Tree\\A\\B\\C");
        key.WriteString("v", "x");
        RegistryKey::Create(HKEY_CURRENT_USER, path_ + "\\Tree\\D").WriteDword("n", 1);
        RegistryKey::Create(HKEY_CURRENT_USER, path_ + "\\Keep");

        EXPECT_TRUE(deleteTree(HKEY_CURRENT_USER, path_ + "\\Tree"));
        EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, path_ + "\\Tree").has_value());
        EXPECT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, path_ + "\\Keep").has_value());
        EXPECT_FALSE(deleteTree(HKEY_CURRENT_USER, path_ + "\\Tree"));
    }
    RegistryKey parent = RegistryKey::Create(HKEY_CURRENT_USER, path_);
    RegistryKey::Create(parent.Get(), "Sub\\Deeper");
    EXPECT_TRUE(parent.DeleteTree("Sub"));
    EXPECT_FALSE(parent.SubKeyExists("Sub"));
    EXPECT_FALSE(parent.DeleteTree("Sub"));
}

}  // namespace
}  // namespace sentrel::platform
