#pragma once
// A shortcut made as a program's installer makes one (Windows build only).

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <string>

#include "platform/ComObjects.h"
#include "platform/WideText.h"

namespace sentrel::test {

// Saves a new shortcut at `path` to `target` with `arguments`; throws Win32Error.
inline void SaveShortcut(const std::string& path, const std::string& target, const std::string& arguments) {
    using namespace platform;
    EnsureComOnThisThread();
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> persist;
    CheckHresult(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid()),
                 "CoCreateInstance(ShellLink)");
    CheckHresult(link->SetPath(WideFromUtf8(target).c_str()), "IShellLinkW::SetPath");
    CheckHresult(link->SetArguments(WideFromUtf8(arguments).c_str()), "IShellLinkW::SetArguments");
    CheckHresult(link->QueryInterface(IID_IPersistFile, persist.PutVoid()), "QueryInterface(IPersistFile)");
    CheckHresult(persist->Save(WideFromUtf8(path).c_str(), TRUE), "IPersistFile::Save");
}

}  // namespace sentrel::test
