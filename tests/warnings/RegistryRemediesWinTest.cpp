// The registry remedies (autorun entry, browser setting, registry entry) and their undo, under
// Wine against the real registry and registry editor, in a throw-away key under HKCU.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/Files.h"
#include "platform/Registry.h"
#include "platform/RegistryRaw.h"
#include "warnings/RegistryFile.h"
#include "warnings/RemedyFixture.h"
#include "warnings/WarningRemedies.h"
#include "warnings/RootKeysWin.h"

namespace sentrel {
namespace {

using platform::RawRegistryValue;
using test::ReadAll;

constexpr auto kHkcu = RegistryRoot::CurrentUser;

// Everything below a key: "subkey path|value name" -> (type, data), read through the wide
// functions, so that nothing is lost in a comparison.
using RegistryTree = std::map<std::string, std::pair<DWORD, std::string>>;

void ReadTree(const std::string& path, const std::string& prefix, RegistryTree& tree) {
    const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, path);
    if (!key) return;
    for (const auto& value : key->Values()) {
        const auto raw = platform::ReadRawValue(HKEY_CURRENT_USER, path, value.name);
        if (raw) tree[prefix + "|" + value.name] = {raw->type, raw->data};
    }
    tree[prefix + "|(key)"] = {0, ""};
    for (const auto& sub : key->SubKeyNames()) ReadTree(path + "\\" + sub, prefix + "\\" + sub, tree);
}

RegistryTree Tree(const std::string& path) {
    RegistryTree tree;
    ReadTree(path, "", tree);
    return tree;
}

std::string Utf16z(const std::string& text) {
    return platform::Utf16FromUtf8(text) + std::string(2, '\0');
}

// A backup.reg as text in the system code page; it is stored as UTF-16LE with a byte-order
// mark, as the registry editor stores its own files.
std::string RegistryFile(const std::string& path) {
    const std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    return bytes.size() < 2 ? std::string() : platform::Utf8FromUtf16(bytes.substr(2));
}

class RegistryRemedyTest : public test::RemedyTest {
protected:
    RegistryRemedyTest() : base_("Software\\SentrelRemediesTest" + std::to_string(GetCurrentProcessId())) {
        platform::DeleteKeyTree(HKEY_CURRENT_USER, base_);
    }
    ~RegistryRemedyTest() override { platform::DeleteKeyTree(HKEY_CURRENT_USER, base_); }

    void Write(const std::string& key, const std::string& name, DWORD type, const std::string& data) {
        platform::WriteRawValue(HKEY_CURRENT_USER, key, name, type, data);
    }
    std::optional<RawRegistryValue> Read(const std::string& key, const std::string& name) {
        return platform::ReadRawValue(HKEY_CURRENT_USER, key, name);
    }

    std::string base_;
};

TEST_F(RegistryRemedyTest, AutorunFixDeletesTheValueAndUndoRestoresItsTypeAndDataExactly) {
    const std::string run = base_ + "\\Run Keys\\Run";
    std::vector<std::string> events;
    context_.worker.holdAutostartPoint = [&](const std::string& point) { events.push_back("hold " + point); };
    context_.worker.acceptAutostartPoint = [&](const std::string& point, const std::string& item) {
        events.push_back("accept " + point + " " + item);
    };
    const std::string data = Utf16z("\"%ProgramFiles%\\Spy App\\spy.exe\" /silent -x");
    const std::string shown = "\"%ProgramFiles%\\Spy App\\spy.exe\" /silent -x";
    Write(run, "Spy Helper", REG_EXPAND_SZ, data);
    Write(run, "Neighbour", REG_SZ, Utf16z("C:\\ok.exe"));
    TAutorunAddWarning warning(kHkcu, "spy.exe\" /silent -x", run, "Spy Helper", shown);
    warning.PointId = "autorun HKCU\\" + run;
    Fix(warning);

    EXPECT_FALSE(Read(run, "Spy Helper"));
    EXPECT_TRUE(Read(run, "Neighbour"));
    ExpectRecord(warning, {{"RootKey", std::to_string(static_cast<int>(0x80000001u))},
                           {"Key", run},
                           {"Value", "Spy Helper"},
                           {"RegString", shown},
                           {"RegType", "2"},
                           {"RegData", HexFromBytes(data)},
                           {"Point", warning.PointId}});

    Undo("TAutorunAddWarning");
    const auto restored = Read(run, "Spy Helper");
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(restored->data, data);
    ExpectRecordGone("0");

    // A record of an older version has no type, data or point: the program path goes back as a
    // plain string, and the point is the autorun key's own.
    backuper_.NewBackup("TAutorunAddWarning", "Program old.exe was deleted from the autorun list");
    const BackupValue keys[] = {BackupString("BackupFolder", "1"),
                                BackupInteger("RootKey", static_cast<int>(0x80000001u)), BackupString("Key", run),
                                BackupString("Value", "Old"), BackupString("RegString", "C:\\old.exe")};
    backuper_.SetValues(keys);
    Undo("TAutorunAddWarning");
    const auto old = Read(run, "Old");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(old->data, Utf16z("C:\\old.exe"));
    ExpectRecordGone("1");
    const std::string point = "autorun HKCU\\" + run;
    EXPECT_EQ(events, (std::vector<std::string>{"hold " + point, "accept " + point + " Spy Helper", "hold " + point,
                                                "accept " + point + " Spy Helper", "hold " + point,
                                                "accept " + point + " Old"}));

    // A value that went, or changed, since it was found is left alone, and no record is made.
    TAutorunAddWarning gone(kHkcu, "gone.exe", run, "Gone", "C:\\gone.exe");
    EXPECT_THROW(Fix(gone), ThreatGoneError);
    Write(run, "Changed", REG_SZ, Utf16z("C:\\other.exe"));
    TAutorunAddWarning changed(kHkcu, "first.exe", run, "Changed", "C:\\first.exe");
    EXPECT_THROW(Fix(changed), ThreatGoneError);
    EXPECT_TRUE(Read(run, "Changed"));
    EXPECT_EQ(backuper_.GetCount(), 0);
}

TEST_F(RegistryRemedyTest, AutorunUndoThatCannotWriteKeepsTheRecord) {
    backuper_.NewBackup("TAutorunAddWarning", "Program x.exe was deleted from the autorun list");
    const BackupValue keys[] = {BackupString("BackupFolder", "0"), BackupInteger("RootKey", 0),
                                BackupString("Key", base_), BackupString("Value", "X"),
                                BackupString("RegString", "C:\\x.exe")};
    backuper_.SetValues(keys);
    EXPECT_ANY_THROW(Undo("TAutorunAddWarning"));  // root 0 names no root
    EXPECT_EQ(backuper_.GetCount(), 1);
}

TEST_F(RegistryRemedyTest, BrowserSettingFixWritesTheOldDataBackAndUndoTheNew) {
    const std::string main = base_ + "\\Internet Explorer\\Main";
    Write(main, "Start Page", REG_SZ, Utf16z("http://hijacker.example/"));
    TBrowserSettingWarning warning(kHkcu, main, "Start Page", "http://home.example/", "http://hijacker.example/");
    Fix(warning);
    EXPECT_EQ(Read(main, "Start Page")->data, Utf16z("http://home.example/"));
    EXPECT_EQ(Read(main, "Start Page")->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(refreshes_, 1);  // the watcher learns the restored data
    EXPECT_EQ(refreshed_, main + "|Start Page");
    ExpectRecord(warning, {{"RootKey", std::to_string(static_cast<int>(0x80000001u))},
                           {"Key", main},
                           {"Value", "Start Page"},
                           {"NewRegString", "http://hijacker.example/"}});

    Undo("TBrowserSettingWarning");
    EXPECT_EQ(Read(main, "Start Page")->data, Utf16z("http://hijacker.example/"));
    EXPECT_EQ(refreshes_, 1);  // the undo lets the change stand, unreported or not
    ExpectRecordGone("0");
}

TEST_F(RegistryRemedyTest, ARegistryValueOfAnyTypeSurvivesFixAndUndoExactly) {
    // The monitor passes the key with a trailing backslash; this one has blanks in its path.
    const std::string key = base_ + "\\Bad Toolbar\\Settings And More";
    const std::vector<std::tuple<std::string, DWORD, std::string>> values = {
        {"Path", REG_SZ, Utf16z("C:\\Program Files\\Bad \"Tool\"\\bar.dll")},
        {"Expand", REG_EXPAND_SZ, Utf16z("%SystemRoot%\\system32\\bad.dll")},
        {"Lines", REG_SZ, Utf16z("first\r\nsecond")},
        {"Multi", REG_MULTI_SZ, Utf16z("one") + Utf16z("two") + std::string(2, '\0')},
        {"Number", REG_DWORD, std::string("\x01\x00\x00\x80", 4)},
        {"Blob", REG_BINARY, std::string("\x00\x01\xfe\xff\x00", 5) + std::string(100, '\x42')},
        {"Big", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"", REG_SZ, Utf16z("the default value")},
    };
    for (const auto& [name, type, data] : values) {
        SCOPED_TRACE(name);
        Write(key, name, type, data);
        Write(key, "Other", REG_SZ, Utf16z("stays"));
        // The default value has no name: its data marks the warning as one about a value.
        TRegistyWarning warning(kHkcu, key + "\\", key + "\\", name,
                                name.empty() ? "the default value" : "whatever the monitor read");
        Fix(warning);
        EXPECT_FALSE(Read(key, name));
        EXPECT_TRUE(Read(key, "Other"));
        const std::string code = backuper_.GetSectionName(0);
        ExpectRecord(warning, {});
        const std::string file = RegistryFile(backuper_.RecordFolder(code) + "backup.reg");
        EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + key + "]\r\n", 0), 0u)
            << file;

        Undo("TRegistyWarning");
        const auto restored = Read(key, name);
        ASSERT_TRUE(restored);
        EXPECT_EQ(restored->type, type);
        EXPECT_EQ(restored->data, data);
        ExpectRecordGone(code);
    }
}

TEST_F(RegistryRemedyTest, AValueGoneBeforeTheFixIsBackedUpFromTheWarningsData) {
    const std::string key = base_ + "\\Entry";
    platform::RegistryKey::Create(HKEY_CURRENT_USER, key);
    TRegistyWarning warning(kHkcu, key + "\\", key + "\\", "Loader", "C:\\bad\\path \"x\".exe");
    Fix(warning);
    const std::string file = RegistryFile(backuper_.RecordFolder("0") + "backup.reg");
    EXPECT_EQ(file, "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + key +
                        "]\r\n\"Loader\"=\"C:\\\\bad\\\\path \\\"x\\\".exe\"\r\n");
    Undo("TRegistyWarning");
    EXPECT_EQ(Read(key, "Loader")->data, Utf16z("C:\\bad\\path \"x\".exe"));
}

TEST_F(RegistryRemedyTest, AWholeKeyWithBlanksAndSubkeysSurvivesFixAndUndo) {
    const std::string key = base_ + "\\Bad Key With Blanks";
    Write(key, "Top", REG_SZ, Utf16z("C:\\top.exe"));
    Write(key, "", REG_SZ, Utf16z("default"));
    Write(key + "\\Sub One", "Count", REG_DWORD, std::string("\x07\x00\x00\x00", 4));
    Write(key + "\\Sub One\\Deeper", "Blob", REG_BINARY, std::string("\x00\xff\x10", 3));
    Write(key + "\\Sub Two", "Expand", REG_EXPAND_SZ, Utf16z("%TEMP%\\x"));
    platform::RegistryKey::Create(HKEY_CURRENT_USER, key + "\\Empty Sub");
    Write(base_ + "\\Bad Key", "Sibling", REG_SZ, Utf16z("not part of it"));  // a prefix of the key's name
    const RegistryTree before = Tree(key);
    ASSERT_EQ(before.size(), 10u);

    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string folderBefore = current;

    TRegistyWarning warning(kHkcu, key + "\\", key + "\\", "", "");
    Fix(warning);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, key));
    EXPECT_TRUE(Read(base_ + "\\Bad Key", "Sibling"));
    ExpectRecord(warning, {});
    EXPECT_GT(FileSize(backuper_.RecordFolder("0") + "backup.reg"), 0);
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(std::string(current), folderBefore) << "the fix changed the current folder";

    Undo("TRegistyWarning");
    EXPECT_EQ(Tree(key), before);
    ExpectRecordGone("0");
}

TEST_F(RegistryRemedyTest, KeysAtOrRightBelowARootAreNeverRemoved) {
    // A key of its own right below HKEY_CURRENT_USER stands for "HKEY_LOCAL_MACHINE\\SOFTWARE".
    const std::string rootChild = "SentrelRootChild" + std::to_string(GetCurrentProcessId());
    Write(rootChild, "Keep", REG_SZ, Utf16z("kept"));
    for (const std::string& key : {rootChild, rootChild + "\\", std::string(), std::string("\\")}) {
        SCOPED_TRACE(key);
        TRegistyWarning wholeKey(kHkcu, key, key, "", "");
        EXPECT_THROW(Fix(wholeKey), std::runtime_error);
        EXPECT_TRUE(Read(rootChild, "Keep"));
        EXPECT_EQ(backuper_.GetCount(), 0);
    }
    TRegistyWarning rootValue(kHkcu, "", "", "Keep", "kept");
    EXPECT_THROW(Fix(rootValue), std::runtime_error);
    EXPECT_EQ(backuper_.GetCount(), 0);
    // A value of a root's child may go: that is no whole key.
    TRegistyWarning value(kHkcu, rootChild + "\\", rootChild + "\\", "Keep", "kept");
    Fix(value);
    EXPECT_FALSE(Read(rootChild, "Keep"));
    platform::DeleteKeyTree(HKEY_CURRENT_USER, rootChild);
}

// The path of a copy of the test program's helper under another name, next to the test program
// (the folder the system searches first for a bare program name), removed again at the end.
class PlantedProgram {
public:
    explicit PlantedProgram(const std::string& name) {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        const std::string folder = FolderPart(self);
        path_ = folder + name;
        planted_ = CopyFileA((folder + "process_helper.exe").c_str(), path_.c_str(), TRUE) != 0;
    }
    ~PlantedProgram() {
        if (planted_) DeleteFileA(path_.c_str());
    }
    bool Planted() const { return planted_; }

private:
    std::string path_;
    bool planted_ = false;
};

TEST_F(RegistryRemedyTest, APlantedRegistryEditorIsNeverRun) {
    // The planted program (it ends at once with exit code 2 and writes nothing) stands in the
    // folder searched first; the remedy must take the system's registry editor all the same.
    const PlantedProgram planted("regedit.exe");
    ASSERT_TRUE(planted.Planted());
    const std::string key = base_ + "\\Planted";
    Write(key, "v", REG_SZ, Utf16z("x"));
    TRegistyWarning warning(kHkcu, key + "\\", key + "\\", "", "");
    Fix(warning);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, key));
    Undo("TRegistyWarning");
    EXPECT_TRUE(Read(key, "v"));
}

TEST_F(RegistryRemedyTest, AKeyTheEditorCannotExportIsNeitherDeletedNorRecorded) {
    TRegistyWarning warning(kHkcu, base_ + "\\Not There\\", base_ + "\\Not There\\", "", "");
    EXPECT_ANY_THROW(Fix(warning));
    EXPECT_EQ(backuper_.GetCount(), 0);
    EXPECT_FALSE(FolderExists(backuper_.RecordFolder("0")));

    // An undo without its backup.reg keeps its record.
    backuper_.NewBackup("TRegistyWarning", "Registry entry x was deleted");
    const BackupValue keys[] = {BackupString("BackupFolder", "1")};
    backuper_.SetValues(keys);
    EXPECT_ANY_THROW(Undo("TRegistyWarning"));
    EXPECT_EQ(backuper_.GetCount(), 1);
}

}  // namespace
}  // namespace sentrel
