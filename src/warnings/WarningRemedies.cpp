// The remedies of the warnings (Fix) and their undo from a backup record (Undo). They change the
// system through Windows and come with the remediation work; until then each throws
// std::logic_error, so no fix is ever reported as done when nothing was done.
#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel {

namespace {

[[noreturn]] void RemedyNotImplemented(std::string_view className, const char* operation) {
    throw std::logic_error(std::string(className) + "::" + operation + " is not implemented yet");
}

}  // namespace

void TKeyHookWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TMouseHookWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TProcessWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TProcessWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

void TFileWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TFileWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

void TFileChangeWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TAutorunAddWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TAutorunAddWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

void TBrowserSettingWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TBrowserSettingWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

void TRegistyWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TRegistyWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

void TCookieWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TCookieWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

void TFolderWarning::Fix(TBackuper&) {
    RemedyNotImplemented(kClassName, "Fix");
}

void TFolderWarning::Undo(TBackuper&, int) {
    RemedyNotImplemented(kClassName, "Undo");
}

}  // namespace sentrel
