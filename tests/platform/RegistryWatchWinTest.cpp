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

    // A key that is not there cannot be watched: every call moves on, so it is read every time.
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    RegistryWatch missing(HKEY_CURRENT_USER, path, 0, false);
    const std::uint64_t first = missing.Generation();
    EXPECT_NE(missing.Generation(), first);
}

}  // namespace
}  // namespace sentrel::platform
