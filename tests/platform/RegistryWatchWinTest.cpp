#include "platform/RegistryWatch.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "platform/Registry.h"

namespace sentrel::platform {
namespace {

using namespace std::chrono;

// Whether the watch's generation moves past `seen` within two seconds (the system signals a
// change as it is made; the wait only covers a slow machine).
bool MovesOn(RegistryWatch& watch, std::uint64_t& seen) {
    const auto end = steady_clock::now() + 2s;
    do {
        const std::uint64_t now = watch.Generation();
        if (now != seen) {
            seen = now;
            return true;
        }
        std::this_thread::sleep_for(10ms);
    } while (steady_clock::now() < end);
    return false;
}

TEST(RegistryWatch, MovesOnForEachChangeAndFollowsAKeyMadeAgain) {
    const std::string path = "Software\\SentrelTests\\Watch" + std::to_string(GetCurrentProcessId());
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    RegistryKey::Create(HKEY_CURRENT_USER, path + "\\Below");
    RegistryWatch key(HKEY_CURRENT_USER, path, 0, false);
    RegistryWatch tree(HKEY_CURRENT_USER, path, 0, true);
    std::uint64_t atKey = key.Generation(), atTree = tree.Generation();
    EXPECT_EQ(key.Generation(), atKey) << "nothing changed";

    RegistryKey::Open(HKEY_CURRENT_USER, path, RegistryAccess::ReadWrite)->WriteString("Run", "a.exe");
    EXPECT_TRUE(MovesOn(key, atKey)) << "a value set";
    EXPECT_TRUE(MovesOn(tree, atTree));
    EXPECT_EQ(key.Generation(), atKey) << "once per change";

    RegistryKey::Open(HKEY_CURRENT_USER, path + "\\Below", RegistryAccess::ReadWrite)->WriteString("x", "1");
    EXPECT_TRUE(MovesOn(tree, atTree)) << "a value below, watched with its subtree";

    // Deleted and made again: the new key's changes still count.
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    EXPECT_TRUE(MovesOn(key, atKey)) << "the key deleted";
    RegistryKey::Create(HKEY_CURRENT_USER, path);
    atKey = key.Generation();
    RegistryKey::Open(HKEY_CURRENT_USER, path, RegistryAccess::ReadWrite)->WriteString("Run", "b.exe");
    EXPECT_TRUE(MovesOn(key, atKey)) << "a value set in the key made again";

    // A missing key is watched from above: its making moves the number on, and then its values.
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    RegistryWatch missing(HKEY_CURRENT_USER, path + "\\Later", 0, false);
    std::uint64_t atMissing = missing.Generation();
    EXPECT_EQ(missing.Generation(), atMissing) << "still missing";
    RegistryKey::Create(HKEY_CURRENT_USER, path + "\\Later");
    EXPECT_TRUE(MovesOn(missing, atMissing)) << "the key made";
    RegistryKey::Open(HKEY_CURRENT_USER, path + "\\Later", RegistryAccess::ReadWrite)->WriteString("Run", "c.exe");
    EXPECT_TRUE(MovesOn(missing, atMissing)) << "a value set in the key made";
    DeleteKeyTree(HKEY_CURRENT_USER, path);

    // A path missing right below the root is not watched: every call moves on.
    RegistryWatch nowhere(HKEY_CURRENT_USER, "SentrelNoSuchKey\\Below", 0, false);
    const std::uint64_t first = nowhere.Generation();
    EXPECT_NE(nowhere.Generation(), first);
}

TEST(RegistryWatch, APollAnswersForEveryWatchUntilTheNextPoll) {
    const std::string path = "Software\\SentrelTests\\Poll" + std::to_string(GetCurrentProcessId());
    const auto keyOf = [&](int i) { return path + "\\K" + std::to_string(i); };
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    std::vector<std::unique_ptr<RegistryWatch>> owned;
    std::vector<RegistryWatch*> watches;  // more than one wait can take
    std::vector<std::uint64_t> seen;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS + 6; ++i) {
        RegistryKey::Create(HKEY_CURRENT_USER, keyOf(i));
        watches.push_back(owned.emplace_back(std::make_unique<RegistryWatch>(HKEY_CURRENT_USER, keyOf(i), 0, false)).get());
        seen.push_back(watches.back()->Generation());
    }
    // Polls (until `count` watches moved on, at most two seconds) and tells which moved on.
    const auto moved = [&](std::size_t count, bool poll = true) {
        std::vector<std::size_t> found;
        const auto end = steady_clock::now() + 2s;
        do {
            if (poll) RegistryWatch::Poll(watches);
            for (std::size_t i = 0; i < watches.size(); ++i)
                if (const std::uint64_t now = watches[i]->Generation(); now != std::exchange(seen[i], now)) found.push_back(i);
        } while (found.size() < count && steady_clock::now() < end);
        std::sort(found.begin(), found.end());
        return found;
    };
    const auto set = [&](int i) { RegistryKey::Open(HKEY_CURRENT_USER, keyOf(i), RegistryAccess::ReadWrite)->WriteString("Run", "x.exe"); };

    EXPECT_TRUE(moved(0).empty()) << "nothing changed";
    set(3);
    set(MAXIMUM_WAIT_OBJECTS + 4);  // in the second wait's share
    EXPECT_EQ(moved(2), (std::vector<std::size_t>{3, MAXIMUM_WAIT_OBJECTS + 4}));
    // Between two polls each watch answers from the last one.
    RegistryWatch::Poll(watches);
    set(5);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(moved(0, false).empty()) << "not before the next poll";
    EXPECT_EQ(moved(1), (std::vector<std::size_t>{5}));
    DeleteKeyTree(HKEY_CURRENT_USER, path);
}
}  // namespace
}  // namespace sentrel::platform
