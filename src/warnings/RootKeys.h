#pragma once
// The predefined registry roots as the warnings keep them: the 32-bit values of the Windows
// root handles (HKEY_CLASSES_ROOT is 80000000 hex, and so on), so that the warning classes stay
// portable. Any 32-bit value can be held, as a root read back from a backup record can be
// anything; the Windows side turns a value into its HKEY with ToHkey (warnings/RootKeysWin.h).

#include <cstdint>
#include <string>
#include <string_view>

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

// The registry view a key is seen in by this 64-bit program: its own 64-bit view, or the view of
// 32-bit programs, which 64-bit Windows keeps apart for most keys below HKEY_LOCAL_MACHINE\SOFTWARE
// (the registry editor shows them below SOFTWARE\WOW6432Node). A key outside HKEY_LOCAL_MACHINE
// is seen in the 64-bit view only.
enum class RegistryView : std::uint8_t { Bits64, Bits32 };

// The number that names a view in a backup record ("32", "64"), and back: any other text is the
// 64-bit view, as records of older versions (which have no view) always meant.
std::string RegistryViewNumber(RegistryView view);
RegistryView RegistryViewFromNumber(std::string_view number);

// A key below its root as the registry editor shows it in `view`: in the 32-bit view, a key
// below SOFTWARE gets "WOW6432Node" after its first component ("SOFTWARE\Vendor\" ->
// "SOFTWARE\WOW6432Node\Vendor\"); any other key, and every key of the 64-bit view, is
// unchanged. The editor and the 64-bit registry functions reach the 32-bit key by that path.
std::string ViewKeyPath(std::string_view keyBelowRoot, RegistryView view);

}  // namespace sentrel
