// Every file the program rewrites survives its writer being ended by TerminateProcess at any
// point, as Task Manager or a crash ends the shield: tests/helpers/FileWriter.cpp rewrites the
// file in a loop and is terminated a random while after its loop began; the file then reads back
// as one of the two versions, whole, with at most its one temporary file beside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "common/Files.h"
#include "monitors/HelperProcess.h"
#include "platform/UniqueHandle.h"
#include "support/RewrittenFiles.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

// Starting a process under Wine costs about a tenth of a second: fewer kills than natively.
constexpr int kKills = 15;

TEST(KillProofFiles, EveryRewrittenFileReadsBackWholeAfterTerminateProcess) {
    const std::string writer = test::TestProgramFolder() + "file_writer.exe";
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    const auto& files = test::RewrittenFiles();
    for (std::size_t index = 0; index < files.size(); ++index) {
        const test::RewrittenFile& file = files[index];
        SCOPED_TRACE(file.name);
        test::TempFolder work;
        const std::string folder = work / "files";  // no trailing backslash: it would escape the quote
        const std::string marker = work / "writing";
        CreateFolders(folder);
        file.prepare(folder);
        for (int kill = 0; kill < kKills; ++kill) {
            RemoveFile(marker);
            std::string commandLine =
                "\"" + writer + "\" " + std::to_string(index) + " \"" + folder + "\" \"" + marker + "\"";
            STARTUPINFOA startup{sizeof startup};
            PROCESS_INFORMATION info{};
            ASSERT_TRUE(CreateProcessA(writer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                       nullptr, nullptr, &startup, &info));
            const platform::UniqueHandle process(info.hProcess);
            CloseHandle(info.hThread);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!FileExists(marker) && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_TRUE(FileExists(marker)) << "the writer did not begin";
            // The kill point is what is random here.
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
            ASSERT_TRUE(TerminateProcess(process.get(), 9));
            ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
            DWORD code = 0;
            GetExitCodeProcess(process.get(), &code);
            ASSERT_EQ(code, 9u) << "the writer ended by itself";
            EXPECT_EQ(file.check(folder), "") << "after kill " << kill;
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                EXPECT_TRUE(file.allowed.contains(entry.path().filename().string())) << entry.path();
        }
    }
}

}  // namespace
}  // namespace sentrel
