#include "platform/RegistryWatch.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>
#include <thread>

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
    // More watches than one wait can take.
    const std::string path = "Software\\SentrelTests\\Poll" + std::to_string(GetCurrentProcessId());
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    constexpr int kWatches = MAXIMUM_WAIT_OBJECTS + 6;
    std::vector<std::unique_ptr<RegistryWatch>> owned;
    std::vector<RegistryWatch*> watches;
    std::vector<std::uint64_t> seen;
    const auto keyOf = [&](int i) { return path + "\\K" + std::to_string(i); };
    for (int i = 0; i < kWatches; ++i) {
        RegistryKey::Create(HKEY_CURRENT_USER, keyOf(i));
        owned.push_back(std::make_unique<RegistryWatch>(HKEY_CURRENT_USER, keyOf(i), 0, false));
        watches.push_back(owned.back().get());
        seen.push_back(owned.back()->Generation());
    }
    std::vector<int> moved;
    const auto collect = [&] {
        for (int i = 0; i < kWatches; ++i) {
            const std::uint64_t now = watches[i]->Generation();
            if (now != seen[i]) moved.push_back(i);
            seen[i] = now;
        }
    };
    const auto set = [&](int i) { RegistryKey::Open(HKEY_CURRENT_USER, keyOf(i), RegistryAccess::ReadWrite)->WriteString("Run", "x.exe"); };
    const auto pollUntil = [&](std::size_t count) {
        const auto end = steady_clock::now() + 2s;
        do {
            RegistryWatch::Poll(watches);
            collect();
            if (moved.size() >= count) break;
            std::this_thread::sleep_for(10ms);
        } while (steady_clock::now() < end);
        std::sort(moved.begin(), moved.end());
    };

    RegistryWatch::Poll(watches);
    collect();
    EXPECT_TRUE(moved.empty()) << "nothing changed";
    set(3);
    set(kWatches - 2);  // in the second wait's share
    pollUntil(2);
    EXPECT_EQ(moved, (std::vector<int>{3, kWatches - 2}));

    // Between two polls each watch answers from the last one.
    moved.clear();
    RegistryWatch::Poll(watches);
    set(5);
    std::this_thread::sleep_for(50ms);
    collect();
    EXPECT_TRUE(moved.empty()) << "not before the next poll";
    pollUntil(1);
    EXPECT_EQ(moved, (std::vector<int>{5}));
    DeleteKeyTree(HKEY_CURRENT_USER, path);
}

}  // namespace
}  // namespace sentrel::platform
