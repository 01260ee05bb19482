#pragma once
// Whether a registry key may have changed, from the system's change notification on it, so that
// a monitor can skip reading a key that stayed as it was. One watch may serve several readers:
// each keeps the generation it last read at and reads again when the generation moved on.

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/Registry.h"
#include "platform/UniqueHandle.h"

namespace sentrel::platform {

class RegistryWatch {
public:
    // Watches the key's values and subkey names, and with `subtree` everything below it. Nothing
    // is opened until the first Generation.
    RegistryWatch(HKEY root, std::string path, RegistryViewFlag view, bool subtree);

    // A number that moves on with every change seen since the last call. A missing key is
    // watched through the nearest key above it that is there (its making is a change); the
    // number moves on at every call while the key cannot be watched (access refused, its path
    // missing right below the root), so a reader then reads every time. The watch is set again
    // before this returns: a change made while the caller reads the key moves the next answer on.
    std::uint64_t Generation();

    // Asks the system about many watches at once, a call for up to 64 of them instead of one
    // each (a monitor holds hundreds, and each question is a trip to the system): until the
    // next poll, or until its number moves on, each watch answers Generation from what the poll
    // found. A monitor polls its watches when a pass starts.
    static void Poll(const std::vector<RegistryWatch*>& watches);

private:
    enum class Polled { No, Quiet, Changed };
    bool Arm();

    HKEY root_;
    std::string path_;
    RegistryViewFlag view_;
    bool subtree_;
    UniqueHkey key_;
    UniqueHandle event_;
    bool armed_ = false;
    Polled polled_ = Polled::No;
    std::uint64_t generation_ = 0;
};

}  // namespace sentrel::platform
