#include "platform/RegistryWatch.h"

#include <chrono>
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

}  // namespace
}  // namespace sentrel::platform
