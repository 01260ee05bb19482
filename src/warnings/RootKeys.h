#pragma once
// The predefined registry roots as the warnings keep them: the 32-bit values of the Windows
// root handles (HKEY_CLASSES_ROOT is 80000000 hex, and so on), so that the warning classes stay
// portable. Any 32-bit value can be held, as a root read back from a backup record can be
// anything; the Windows side turns a value into its HKEY with ToHkey (warnings/RootKeysWin.h).

#include <cstdint>
#include <string>

namespace sentrel {

enum class RegistryRoot : std::uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
    PerformanceData = 0x80000004u,
    CurrentConfig = 0x80000005u,
    DynData = 0x80000006u,
};

// "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA" for the seven predefined roots; empty text for any
// other value. Used in the warning texts, in ".reg" files and in the registry editor's command
// line.
std::string RootKeyName(RegistryRoot root);

}  // namespace sentrel
