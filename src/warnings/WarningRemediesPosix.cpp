// The remedies change the Windows system (its registry, processes and shell) and exist only in
// the Windows build. The native build never runs the shield; these keep the warning classes
// complete there, and say so loudly if anything ever calls them.
#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel {

namespace {

[[noreturn]] void WindowsOnly(std::string_view className, const char* operation) {
    throw std::logic_error(std::string(className) + "::" + operation +
                           ": remedies change the Windows system and exist only in the Windows build");
}

}  // namespace

void TKeyHookWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TMouseHookWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TProcessWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TProcessWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

void TFileWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TFileWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

void TFileChangeWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TAutorunAddWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TAutorunAddWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

void TBrowserSettingWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TBrowserSettingWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

void TRegistyWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TRegistyWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

void TCookieWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TCookieWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

void TFolderWarning::Fix(TBackuper&) {
    WindowsOnly(kClassName, "Fix");
}

void TFolderWarning::Undo(TBackuper&, int) {
    WindowsOnly(kClassName, "Undo");
}

}  // namespace sentrel
