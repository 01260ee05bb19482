// The texts of the ten warning classes, the fields GetTitle stores, and the autorun warning's
// lookup of its program.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Files.h"
#include "database/Mask.h"
#include "support/TempFolder.h"
#include "warnings/Warning.h"
#include "warnings/WarningServices.h"

namespace sentrel {
namespace {

constexpr auto kHkcu = RegistryRoot::CurrentUser;
constexpr auto kHklm = RegistryRoot::LocalMachine;

// What the alert shows of a warning, asked in the alert's order (the title first), and its
// backup line.
struct Texts {
    std::string title, description, picture, danger, backup;
    friend bool operator==(const Texts&, const Texts&) = default;
};

void PrintTo(const Texts& t, std::ostream* out) {
    *out << "{" << t.title << " | " << t.description << " | " << t.picture << " | " << t.danger << " | "
         << t.backup << "}";
}

Texts Shown(TWarning& warning, bool withBackup = true) {
    Texts texts;
    texts.title = warning.GetTitle();
    texts.picture = warning.GetPicture();
    texts.danger = warning.GetDanger();
    texts.description = warning.GetDescription();
    if (withBackup) texts.backup = warning.GetBackupStr();
    return texts;
}

TEST(WarningTexts, EachClassShowsItsOwnTexts) {
    TKeyHookWarning key("hooker.exe");
    EXPECT_EQ(Shown(key, false),
              (Texts{"Keyboard hook",
                     "Keyboard hook is found! Hook was created by hooker.exe Click Shield Me to block this hook and "
                     "close this program",
                     "bug", "_red", ""}));
    TMouseHookWarning mouse("mouser.exe");
    EXPECT_EQ(Shown(mouse, false),
              (Texts{"Mouse hook",
                     "Mouse hook is found! Hook was created by mouser.exe. Click Shield Me to block this hook and "
                     "close this program",
                     "bug", "_red", ""}));

    TProcessWarning process("evil.dll", "C:\\app\\evil.dll");
    EXPECT_EQ(Shown(process), (Texts{"Known malicious program", "Malicious program is found in processes: evil.dll",
                                     "bug", "_red", "Program evil.dll was deleted from processes"}));
    TFileWarning file("drop.exe", "C:\\Windows\\drop.exe");
    EXPECT_EQ(Shown(file), (Texts{"Known malicious program", "Malicious file is found in system folder: drop.exe.",
                                  "bug", "_red", "Program drop.exe was deleted from system folder"}));
    TFileChangeWarning change("kernel.dll", "C:\\Windows\\System32\\kernel.dll");
    EXPECT_EQ(Shown(change, false),
              (Texts{"Critical change in the system folder",
                     "File kernel.dll was deleted from the system folder by unknown program. This file can be "
                     "system-critical. To restore it from Windows distribution click Shield Me. Warning! This will "
                     "start Windows Integrity Check process.",
                     "what", "", ""}));

    TBrowserSettingWarning setting(kHkcu, "Software\\IE\\Main", "Start Page", "http://old/", "http://new/");
    EXPECT_EQ(Shown(setting),
              (Texts{"System parameter is changed",
                     "Important system parameter was changed: Start Page to http://new/. There was an attempt to "
                     "change Start Page . Click Shield me to deny this change or Ignore to permit it.",
                     "garbage", "", "Important system parameter was changed: Start Page to http://new/"}));

    // A value, and a whole key (no value): the root's name, the key path and the value run on.
    TRegistyWarning value(kHklm, "Software\\Bad\\", "Software\\Bad\\", "Loader", "C:\\bad.exe");
    EXPECT_EQ(Shown(value), (Texts{"Dangerous registry entry was found",
                                   "Malicious registry entry HKEY_LOCAL_MACHINE\\Software\\Bad\\Loader", "bug", "_red",
                                   "Registry entry HKEY_LOCAL_MACHINE\\Software\\Bad\\Loader was deleted"}));
    TRegistyWarning key2(kHkcu, "Software\\Bad\\", "Software\\Bad\\", "", "");
    EXPECT_EQ(key2.GetBackupStr(), "Registry entry HKEY_CURRENT_USER\\Software\\Bad\\ was deleted");
    TRegistyWarning unnamedRoot(static_cast<RegistryRoot>(7), "K\\", "K\\", "V", "");
    EXPECT_EQ(unnamedRoot.GetBackupStr(), "Registry entry \\K\\V was deleted");

    TCookieWarning cookie("user@ads[1].txt");
    EXPECT_EQ(Shown(cookie), (Texts{"Tracking cookie was found!", "Tracking cookie user@ads[1].txt is recognised",
                                    "bug", "", "Restore tracking cookie user@ads[1].txt"}));
    TFolderWarning folder("C:\\Bad\\", "C:\\Program Files\\Bad\\");
    EXPECT_EQ(Shown(folder), (Texts{"Malicious folder is found!",
                                    "Folder of malicious software C:\\Program Files\\Bad\\ was recognised", "bug",
                                    "_red", "Folder of malicious software C:\\Program Files\\Bad\\ was deleted"}));
}

TEST(WarningTexts, StoredTextsAreEmptyUntilTheFirstTitle) {
    // Classes that keep description, picture and danger in fields: all empty before GetTitle.
    TProcessWarning process("a.dll", "C:\\a.dll");
    TFileWarning file("a.dll", "C:\\a.dll");
    TAutorunAddWarning autorun(kHkcu, "run.exe", "Run", "R", "C:\\run.exe");
    for (TWarning* warning : std::vector<TWarning*>{&process, &file, &autorun}) {
        EXPECT_EQ(warning->GetDescription(), "") << warning->ClassName();
        EXPECT_EQ(warning->GetPicture(), "") << warning->ClassName();
        EXPECT_EQ(warning->GetDanger(), "") << warning->ClassName();
        warning->GetTitle();
        EXPECT_NE(warning->GetDescription(), "") << warning->ClassName();
        EXPECT_NE(warning->GetPicture(), "") << warning->ClassName();
    }
    EXPECT_EQ(process.Description, "Malicious program is found in processes: a.dll");
    EXPECT_EQ(autorun.Picture, "what");

    // Classes that keep only the description: it is empty before GetTitle; the picture and
    // danger are constants.
    TBrowserSettingWarning setting(kHkcu, "Main", "Start Page", "old", "new");
    TRegistyWarning entry(kHkcu, "K\\", "K\\", "V", "");
    TCookieWarning cookie("c.txt");
    TFolderWarning folder("C:\\F\\", "C:\\F\\");
    for (TWarning* warning : std::vector<TWarning*>{&setting, &entry, &cookie, &folder}) {
        EXPECT_EQ(warning->GetDescription(), "") << warning->ClassName();
        EXPECT_EQ(warning->GetPicture(), warning == &setting ? "garbage" : "bug") << warning->ClassName();
        warning->GetTitle();
        EXPECT_NE(warning->GetDescription(), "") << warning->ClassName();
    }
    // The two registry classes fill their own description field, not the inherited one.
    EXPECT_EQ(setting.TAutorunAddWarning::Description, "");
    EXPECT_EQ(entry.TAutorunAddWarning::Description, "");
    EXPECT_EQ(entry.Description, "Malicious registry entry HKEY_CURRENT_USER\\K\\V");

    // A stored description follows the fields as they were at the last GetTitle.
    process.Name = "b.dll";
    EXPECT_EQ(process.GetDescription(), "Malicious program is found in processes: a.dll");
    process.GetTitle();
    EXPECT_EQ(process.GetDescription(), "Malicious program is found in processes: b.dll");

    // Texts computed by their getter follow the fields at once.
    TFileChangeWarning change("x.sys", "C:\\W\\x.sys");
    change.Name = "y.sys";
    EXPECT_NE(change.GetDescription().find("File y.sys was deleted"), std::string::npos);
}

// The autorun warning with a lookup that knows the programs in `known`, queueing into `queued`.
class AutorunTitleTest : public ::testing::Test {
protected:
    AutorunTitleTest()
        : services_(WarningServices{
              .isKnownSpywareFile =
                  [this](const std::string& path) {
                      looked_.push_back(path);
                      return path == known_;
                  },
              .queueWarning = [this](std::unique_ptr<TWarning> warning) { queued_.push_back(std::move(warning)); },
          }) {}

    test::TempFolder folder_;
    std::string known_;
    std::vector<std::string> looked_;
    std::vector<std::unique_ptr<TWarning>> queued_;
    ScopedWarningServices services_;
};

TEST_F(AutorunTitleTest, AnUnknownProgramIsAChangeInTheAutorunList) {
    TAutorunAddWarning warning(kHkcu, "tool.exe", "Software\\Run", "Tool", folder_ / "tool.exe");
    WriteFileAtomically(folder_ / "tool.exe", std::string("MZ"));
    EXPECT_EQ(Shown(warning), (Texts{"Change in autorun list",
                                     "Unidentified program tool.exe was added to the autorun list", "what", "",
                                     "Program tool.exe was deleted from the autorun list"}));
    EXPECT_EQ(looked_, (std::vector<std::string>{folder_ / "tool.exe"}));
    EXPECT_TRUE(queued_.empty());
}

TEST_F(AutorunTitleTest, AKnownProgramOnDiskIsMaliciousAndItsFileIsQueued) {
    known_ = folder_ / "spy.exe";
    WriteFileAtomically(known_, std::string("MZ"));
    TAutorunAddWarning warning(kHkcu, "spy.exe", "Software\\Run", "Spy", known_);
    EXPECT_EQ(Shown(warning), (Texts{"Known malicious program", "Malicious program is found in autorun: spy.exe.",
                                     "bug", "_red", "Program spy.exe was deleted from the autorun list"}));
    ASSERT_EQ(queued_.size(), 1u);
    const auto* file = dynamic_cast<const TFileWarning*>(queued_[0].get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->ClassName(), "TFileWarning");
    EXPECT_EQ(file->Name, "spy.exe");
    EXPECT_EQ(file->FilePath, known_);

    // Asked again: the lookup and the hand-over repeat (the queue keeps the copy out).
    warning.GetTitle();
    EXPECT_EQ(looked_.size(), 2u);
    EXPECT_EQ(queued_.size(), 2u);

    // Once known, always red: a later title for a program no longer known keeps the danger.
    known_ = "something else";
    EXPECT_EQ(warning.GetTitle(), "Change in autorun list");
    EXPECT_EQ(warning.GetPicture(), "what");
    EXPECT_EQ(warning.GetDanger(), "_red");
    EXPECT_EQ(warning.GetDescription(), "Unidentified program spy.exe was added to the autorun list");
}

TEST_F(AutorunTitleTest, AKnownProgramThatIsNotOnDiskQueuesNothing) {
    known_ = folder_ / "gone.exe";
    TAutorunAddWarning warning(kHkcu, "gone.exe", "Software\\Run", "Gone", known_);
    EXPECT_EQ(warning.GetTitle(), "Known malicious program");
    EXPECT_TRUE(queued_.empty());
}

TEST(WarningTexts, AFailingLookupStillAsksTheUserAboutAnAutorunValue) {
    // A malformed mask in a Folders row makes the lookup throw; the warning is described as an
    // unknown program instead of being lost.
    const ScopedWarningServices failing{WarningServices{
        .isKnownSpywareFile = [](const std::string&) -> bool { throw InvalidMaskError(); },
        .queueWarning = [](std::unique_ptr<TWarning>) { ADD_FAILURE() << "nothing is queued"; },
    }};
    TAutorunAddWarning warning(kHkcu, "tool.exe", "Software\\Run", "Tool", "C:\\Tools\\tool.exe");
    EXPECT_EQ(Shown(warning), (Texts{"Change in autorun list",
                                     "Unidentified program tool.exe was added to the autorun list", "what", "",
                                     "Program tool.exe was deleted from the autorun list"}));
}

TEST(WarningServicesTest, EmptyHooksAreSkippedAndScopesPutTheOldOnesBack) {
    ScopedWarningServices none{WarningServices{}};
    TAutorunAddWarning warning(kHkcu, "a.exe", "Run", "A", "C:\\a.exe");
    EXPECT_EQ(warning.GetTitle(), "Change in autorun list");  // no lookup: taken as unknown
    {
        int calls = 0;
        ScopedWarningServices counting{WarningServices{.isKnownSpywareFile = [&calls](const std::string&) {
            ++calls;
            return true;
        }}};
        EXPECT_EQ(warning.GetTitle(), "Known malicious program");  // known, but nowhere to queue
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(GetWarningServices().isKnownSpywareFile);
    }
    EXPECT_FALSE(GetWarningServices().isKnownSpywareFile);
}

}  // namespace
}  // namespace sentrel
