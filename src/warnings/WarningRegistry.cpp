#include "warnings/WarningRegistry.h"

#include <array>
#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel {

namespace {

// TFileChangeWarning's undo is TFileWarning's (inherited; its fix makes no backup record).
constexpr std::array kWarningClasses{
    TWarningClass(TKeyHookWarning::kClassName, nullptr),
    TWarningClass(TMouseHookWarning::kClassName, nullptr),
    TWarningClass(TProcessWarning::kClassName, &TProcessWarning::Undo),
    TWarningClass(TFileWarning::kClassName, &TFileWarning::Undo),
    TWarningClass(TFileChangeWarning::kClassName, &TFileChangeWarning::Undo),
    TWarningClass(TAutorunAddWarning::kClassName, &TAutorunAddWarning::Undo),
    TWarningClass(TBrowserSettingWarning::kClassName, &TBrowserSettingWarning::Undo),
    TWarningClass(TRegistyWarning::kClassName, &TRegistyWarning::Undo),
    TWarningClass(TCookieWarning::kClassName, &TCookieWarning::Undo),
    TWarningClass(TFolderWarning::kClassName, &TFolderWarning::Undo),
};

}  // namespace

void TWarningClass::Undo(TBackuper& backuper, int index) const {
    if (!undo_) throw std::logic_error(std::string(name_) + " makes no backup and has no undo");
    undo_(backuper, index);
}

std::span<const TWarningClass> WarningClasses() {
    return kWarningClasses;
}

const TWarningClass* FindWarningClass(std::string_view name) {
    for (const TWarningClass& warningClass : kWarningClasses) {
        if (warningClass.Name() == name) return &warningClass;
    }
    return nullptr;
}

}  // namespace sentrel
