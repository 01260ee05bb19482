// Every file the program rewrites survives its writer being killed at any point: a child process
// rewrites the file in a loop, is ended with SIGKILL after a random while, and the file then
// reads back as one of the two versions the child alternates between, never torn or empty, with
// at most the one temporary file of the last write beside it (the next write takes it over).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/RewrittenFiles.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

constexpr int kKills = 40;

TEST(KillProofFiles, EveryRewrittenFileReadsBackWholeAfterEveryKill) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    for (const test::RewrittenFile& file : test::RewrittenFiles()) {
        SCOPED_TRACE(file.name);
        test::TempFolder folder;
        file.prepare(folder.Path());
        for (int kill = 0; kill < kKills; ++kill) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const auto write = file.writer(folder.Path());
                for (int i = 0;; ++i) write(i);
            }
            // The kill point is what is random here; the test waits for no condition.
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
            ::kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself";
            EXPECT_EQ(file.check(folder.Path()), "") << "after kill " << kill;
            for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
                EXPECT_TRUE(file.allowed.contains(entry.path().filename().string())) << entry.path();
        }
    }
}

}  // namespace
}  // namespace sentrel
