// The texts of the warnings: alert title, description, picture, danger suffix and the line of
// the undo list. They come with the remediation work; until then each throws std::logic_error,
// so nothing can show or record a warning with made-up texts.
#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel {

namespace {

[[noreturn]] void TextNotImplemented(std::string_view className, const char* operation) {
    throw std::logic_error(std::string(className) + "::" + operation + " is not implemented yet");
}

}  // namespace

std::string TKeyHookWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TKeyHookWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TKeyHookWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TKeyHookWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TKeyHookWarning::GetBackupStr() {
    // Its fix makes no backup record, so there is no line for the undo list.
    throw std::logic_error("TKeyHookWarning makes no backup and has no backup line");
}

std::string TMouseHookWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TMouseHookWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TMouseHookWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TMouseHookWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TMouseHookWarning::GetBackupStr() {
    // Its fix makes no backup record, so there is no line for the undo list.
    throw std::logic_error("TMouseHookWarning makes no backup and has no backup line");
}

std::string TProcessWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TProcessWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TProcessWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TProcessWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TProcessWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

std::string TFileWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TFileWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TFileWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TFileWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TFileWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

std::string TFileChangeWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TFileChangeWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TFileChangeWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TFileChangeWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TAutorunAddWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TAutorunAddWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TAutorunAddWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TAutorunAddWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TAutorunAddWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

std::string TBrowserSettingWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TBrowserSettingWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TBrowserSettingWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TBrowserSettingWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TBrowserSettingWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

std::string TRegistyWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TRegistyWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TRegistyWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TRegistyWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TRegistyWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

std::string TCookieWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TCookieWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TCookieWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TCookieWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TCookieWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

std::string TFolderWarning::GetTitle() {
    TextNotImplemented(kClassName, "GetTitle");
}

std::string TFolderWarning::GetDescription() {
    TextNotImplemented(kClassName, "GetDescription");
}

std::string TFolderWarning::GetPicture() {
    TextNotImplemented(kClassName, "GetPicture");
}

std::string TFolderWarning::GetDanger() {
    TextNotImplemented(kClassName, "GetDanger");
}

std::string TFolderWarning::GetBackupStr() {
    TextNotImplemented(kClassName, "GetBackupStr");
}

}  // namespace sentrel
