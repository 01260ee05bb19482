// Who signed the programs of findings: the forms a command names its program in, one check per
// file until it changes, and the sentences the alert shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "monitors/ProgramSigners.h"
#include "platform/ProgramFolder.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

TEST(ProgramSigners, ProgramFilePathReadsTheFormsOfCommands) {
    const std::string windows = platform::WindowsFolder();
    EXPECT_EQ(ProgramFilePath("%SystemRoot%\\System32\\svchost.exe"), windows + "\\System32\\svchost.exe");
    EXPECT_EQ(ProgramFilePath("\\SystemRoot\\System32\\drivers\\x.sys"), windows + "\\System32\\drivers\\x.sys");
    EXPECT_EQ(ProgramFilePath("System32\\drivers\\x.sys"), windows + "\\System32\\drivers\\x.sys");
    EXPECT_EQ(ProgramFilePath("\\??\\C:\\x\\y.sys"), "C:\\x\\y.sys");
    const std::string notepad = ProgramFilePath("notepad");
    EXPECT_TRUE(notepad.size() > 12 && _stricmp(notepad.substr(notepad.size() - 12).c_str(), "\\notepad.exe") == 0)
        << notepad;
    EXPECT_EQ(ProgramFilePath("no-such-program-anywhere.exe"), "no-such-program-anywhere.exe");
}

TEST(ProgramSigners, AProgramIsCheckedOffThreadOnceUntilItChanges) {
    test::TempFolder folder;
    const std::string program = folder / "tool.exe";
    test::WriteTextFile(program, "MZ one");
    std::vector<std::function<void()>> finishes;
    int checks = 0;
    ProgramSigners signers(
        [&](std::function<void()> work, std::function<void()> finish) {
            work();
            finishes.push_back(std::move(finish));  // handed back later, as the window thread would
        },
        [&](const std::string& path) {
            ++checks;
            EXPECT_EQ(path, program);
            return platform::FileSignature{platform::SignatureState::Trusted, "Example <Ltd>\r\n", false};
        });
    EXPECT_FALSE(signers.Lookup(program));
    EXPECT_FALSE(signers.Lookup(program));  // the check under way is not started again
    ASSERT_EQ(finishes.size(), 1u);
    finishes[0]();
    const std::optional<ProgramSignature> known = signers.Lookup(program);
    ASSERT_TRUE(known);
    EXPECT_EQ(known->signer, "Example <Ltd>\r\n");
    EXPECT_EQ(known->text.find("Program signed by Example <Ltd>"), 0u);
    EXPECT_EQ(known->text.find('\n'), std::string::npos);  // a name from outside is made safe to show
    EXPECT_EQ(checks, 1);

    // Another content (size) is checked again; a missing file says nothing, at once.
    test::WriteTextFile(program, "MZ two, longer");
    EXPECT_FALSE(signers.Lookup(program));
    EXPECT_EQ(checks, 2);
    for (const std::string& nothingToSay : {folder / "gone.exe", folder / "macros.xlam"}) {
        test::WriteTextFile(folder / "macros.xlam", "PK");
        const std::optional<ProgramSignature> none = signers.Lookup(nothingToSay);
        ASSERT_TRUE(none) << nothingToSay;
        EXPECT_TRUE(none->text.empty());
    }
    EXPECT_EQ(checks, 2);

    EXPECT_EQ(SignatureSentence({platform::SignatureState::NotSigned, "", false}), "Program not signed");
    EXPECT_EQ(SignatureSentence({platform::SignatureState::Invalid, "X", false}), "Program signature not trusted");
    EXPECT_TRUE(SignatureSentence({}).empty());
}

}  // namespace
}  // namespace sentrel
