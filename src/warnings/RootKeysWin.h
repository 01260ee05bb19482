#pragma once
// Windows side of RegistryRoot: the HKEY of a root value and back. The predefined handles are
// 32-bit values sign-extended to the pointer width (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 in a
// 64-bit program), so the conversion goes through LONG, as the system headers define them.

#include <windows.h>

#include "warnings/RootKeys.h"

namespace sentrel {

inline HKEY ToHkey(RegistryRoot root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(root))));
}

// The root value of a predefined handle (the inverse of ToHkey for the seven roots).
inline RegistryRoot FromHkey(HKEY key) {
    return static_cast<RegistryRoot>(static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(key)));
}

// The access-mask flag that opens a key in `view`.
inline REGSAM ViewFlag(RegistryView view) {
    return view == RegistryView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

}  // namespace sentrel
