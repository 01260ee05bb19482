#include "platform/ProcessRoutines.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "database/PathParts.h"
#include "monitors/HelperProcess.h"
#include "platform/Processes.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using platform::WindowsVersionClass;

using test::HelperProcess;
using test::Lower;
using test::TestProgramFolder;

class ProcessRoutinesWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Copies with names no other process has, so that finding and terminating by name can
        // only ever touch this test's helpers.
        const std::string unique = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
        exeName_ = "SentrelHelper" + unique + ".exe";
        libraryName_ = "SentrelLib" + unique + ".dll";
        ASSERT_TRUE(
            CopyFileA((TestProgramFolder() + "process_helper.exe").c_str(), (folder_ / exeName_).c_str(), TRUE));
        ASSERT_TRUE(CopyFileA((TestProgramFolder() + "SentrelTestLibrary.dll").c_str(),
                              (folder_ / libraryName_).c_str(), TRUE));
    }

    // Starts a helper, loading the test library when asked, and learns the paths it reports.
    std::unique_ptr<HelperProcess> Start(bool loadLibrary) {
        auto helper = std::make_unique<HelperProcess>(folder_ / exeName_, loadLibrary ? folder_ / libraryName_ : "");
        const std::string wanted = loadLibrary ? libraryName_ : exeName_;
        const std::string reported = helper->WaitForModule(wanted);
        EXPECT_FALSE(reported.empty()) << wanted << " never showed in the helper's modules";
        if (loadLibrary) {
            libraryPath_ = reported;
            EXPECT_EQ(Lower(libraryPath_), Lower(folder_ / libraryName_));
        }
        exePath_ = helper->WaitForModule(exeName_);
        EXPECT_EQ(Lower(exePath_), Lower(folder_ / exeName_));
        return helper;
    }

    test::TempFolder folder_;  // declared first: the helpers end before their folder goes
    std::string exeName_;
    std::string libraryName_;
    std::string exePath_;
    std::string libraryPath_;
};

constexpr WindowsVersionClass kToolHelpClass = WindowsVersionClass::Unrecognised;

TEST_F(ProcessRoutinesWinTest, ListsEveryModuleOfEveryProcessBothWays) {
    auto helper = Start(true);
    ASSERT_FALSE(libraryPath_.empty());

    const std::string ownPath = [] {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        return std::string(path);
    }();
    for (WindowsVersionClass version : {platform::CurrentWindowsVersion(), kToolHelpClass}) {
        SCOPED_TRACE(platform::WindowsVersionName(version));
        std::vector<std::string> list{"kept"};
        ListRunningModules(list, version);
        // Appended, not cleared.
        ASSERT_GT(list.size(), 3u);
        EXPECT_EQ(list.front(), "kept");

        const auto exe = std::find(list.begin(), list.end(), exePath_);
        const auto library = std::find(list.begin(), list.end(), libraryPath_);
        ASSERT_NE(exe, list.end());
        ASSERT_NE(library, list.end());
        // One helper: its executable once, first among its modules, its library once after it.
        EXPECT_LT(exe, library);
        EXPECT_EQ(std::count(list.begin(), list.end(), exePath_), 1);
        EXPECT_EQ(std::count(list.begin(), list.end(), libraryPath_), 1);
        EXPECT_NE(std::find(list.begin(), list.end(), ownPath), list.end()) << ownPath;
    }

    // The same without the helper: its files are gone from the list.
    helper.reset();
    std::vector<std::string> list;
    ListRunningModules(list);
    EXPECT_EQ(std::find(list.begin(), list.end(), libraryPath_), list.end());
    EXPECT_EQ(std::find(list.begin(), list.end(), exePath_), list.end());
}

TEST_F(ProcessRoutinesWinTest, FindsTheProcessThatHasAFileLoaded) {
    auto helper = Start(true);
    ASSERT_FALSE(libraryPath_.empty());

    for (WindowsVersionClass version : {platform::CurrentWindowsVersion(), kToolHelpClass}) {
        SCOPED_TRACE(platform::WindowsVersionName(version));
        // As a library and as the executable, the name is the executable's.
        auto byLibrary = FindProcessByModule(libraryPath_, version);
        ASSERT_TRUE(byLibrary.has_value());
        EXPECT_EQ(byLibrary->exeName, exeName_);
        EXPECT_EQ(byLibrary->processId, helper->Id());
        auto byExe = FindProcessByModule(exePath_, version);
        ASSERT_TRUE(byExe.has_value());
        EXPECT_EQ(byExe->exeName, exeName_);
        EXPECT_EQ(byExe->processId, helper->Id());

        // Exact comparison: another letter case is another path.
        std::string otherCase = libraryPath_;
        std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(),
                       [](unsigned char c) { return char(std::isupper(c) ? std::tolower(c) : std::toupper(c)); });
        EXPECT_FALSE(FindProcessByModule(otherCase, version).has_value());
        EXPECT_FALSE(FindProcessByModule(folder_ / "NotLoaded.dll", version).has_value());
        EXPECT_FALSE(FindProcessByModule("", version).has_value());
    }
}

TEST_F(ProcessRoutinesWinTest, KillsTheFirstProcessOfAName) {
    // No process of that name: nothing to do, and that is success.
    EXPECT_TRUE(KillProcessByName("NoSuchProgram" + exeName_));

    auto first = Start(false);
    auto second = Start(false);
    ASSERT_TRUE(first->Running());
    ASSERT_TRUE(second->Running());

    // One call terminates exactly one of the two, with exit code -1.
    EXPECT_TRUE(KillProcessByName(exeName_));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (first->Running() && second->Running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_NE(first->Running(), second->Running()) << "exactly one helper should have ended";
    HelperProcess& ended = first->Running() ? *second : *first;
    HelperProcess& survivor = first->Running() ? *first : *second;
    EXPECT_EQ(ended.ExitCode(), 0xFFFFFFFFu);

    // The walk no longer sees the ended one; a second call ends the other.
    std::vector<std::string> list;
    ListRunningModules(list);
    EXPECT_EQ(std::count(list.begin(), list.end(), exePath_), 1);
    EXPECT_TRUE(KillProcessByName(exeName_));
    EXPECT_TRUE(survivor.WaitForExit());
    EXPECT_EQ(survivor.ExitCode(), 0xFFFFFFFFu);

    const auto records = platform::SnapshotProcesses(TH32CS_SNAPALL);
    ASSERT_TRUE(records.has_value());
    EXPECT_TRUE(std::none_of(records->begin(), records->end(),
                             [&](const platform::ProcessRecord& r) { return r.exeFile == exeName_; }));
    EXPECT_TRUE(KillProcessByName(exeName_));
}

TEST_F(ProcessRoutinesWinTest, KillsTheVeryProcessThatHasTheFileLoaded) {
    // Two processes of one name, only the second has the library: ending the one that was found
    // leaves the innocent one running, whichever the system lists first.
    auto innocent = Start(false);
    auto carrier = Start(true);
    ASSERT_FALSE(libraryPath_.empty());

    const auto found = FindProcessByModule(libraryPath_);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->processId, carrier->Id());
    EXPECT_EQ(found->exeName, exeName_);
    EXPECT_TRUE(KillProcessById(found->processId));
    EXPECT_TRUE(carrier->WaitForExit());
    EXPECT_EQ(carrier->ExitCode(), 0xFFFFFFFFu);
    EXPECT_TRUE(innocent->Running());
    EXPECT_FALSE(FindProcessByModule(libraryPath_).has_value());

    // An identifier no process has cannot be terminated; the last error tells why.
    EXPECT_FALSE(KillProcessById(0xFFFFFFF0));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
}  // namespace sentrel
