// The owners of a worker thread and of a file being written: what they own lives exactly as long
// as it should, and failures come out as Win32Error.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "common/Files.h"
#include "platform/OutputFile.h"
#include "platform/Win32Error.h"
#include "platform/WorkerThread.h"
#include "support/TempFolder.h"

namespace sentrel::platform {
namespace {

TEST(WorkerThread, OwnsItsWorkUntilItEndsAndOutlivesItsOwner) {
    EXPECT_TRUE(WorkerThread().Finished());
    const UniqueHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    auto state = std::make_shared<int>(0);
    std::weak_ptr<int> watch = state;
    HANDLE thread = nullptr;
    {
        WorkerThread worker([state, event = go.get()] {
            WaitForSingleObject(event, INFINITE);
            *state = 1;
        });
        state.reset();
        EXPECT_FALSE(worker.Finished());
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), worker.Handle(), GetCurrentProcess(), &thread, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS));
    }  // the owner goes first; the thread keeps its state
    EXPECT_FALSE(watch.expired());
    SetEvent(go.get());
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_TRUE(watch.expired());  // released on the thread when its work returned

    // An exception leaving the work ends that thread only.
    WorkerThread failing([] { throw std::runtime_error("worker failure"); });
    ASSERT_EQ(WaitForSingleObject(failing.Handle(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(failing.Finished());
}

TEST(OutputFile, WritesEverythingOverWhatWasThereAndSharesNothing) {
    const test::TempFolder folder;
    const std::string path = folder / "download.dat";
    test::WriteTextFile(path, "an older and longer content");
    {
        OutputFile file(path);
        EXPECT_THROW(OutputFile{path}, Win32Error);  // opened by nobody else meanwhile
        file.Write(std::vector<std::uint8_t>{'a', 'b'});
        file.Write({});
        file.Write(std::vector<std::uint8_t>(70000, 'c'));
    }
    const auto bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 70002u);
    EXPECT_EQ(bytes[0], 'a');
    EXPECT_EQ(bytes[70001], 'c');
    EXPECT_THROW(OutputFile{folder / "missing\\download.dat"}, Win32Error);
}

}  // namespace
}  // namespace sentrel::platform
