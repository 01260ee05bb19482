#include "warnings/WarningRegistry.h"

#include <array>
#include <stdexcept>
#include <string>

#include "common/DiagnosticLog.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

// TFileChangeWarning's undo is TFileWarning's (inherited; its fix makes no backup record).
constexpr std::array kWarningClasses{
    TWarningClass(TKeyHookWarning::kClassName, false),
    TWarningClass(TMouseHookWarning::kClassName, false),
    TWarningClass(TProcessWarning::kClassName, true),
    TWarningClass(TFileWarning::kClassName, true),
    TWarningClass(TFileChangeWarning::kClassName, true),
    TWarningClass(TAutorunAddWarning::kClassName, true),
    TWarningClass(TBrowserSettingWarning::kClassName, true),
    TWarningClass(TRegistyWarning::kClassName, true),
    TWarningClass(TCookieWarning::kClassName, true),
    TWarningClass(TFolderWarning::kClassName, true),
};

}  // namespace

void TWarningClass::Undo(TBackuper& backuper, int index) const {
    if (!hasUndo_) throw std::logic_error(std::string(name_) + " makes no backup and has no undo");
    const WarningRemedy* remedy = FindWarningRemedy(name_);
    if (!remedy || !remedy->undo)
        throw std::logic_error(std::string(name_) + "::Undo: no remedy is registered (remedies change the system "
                               "and are registered by the Windows build at start-up)");
    LogEvent("undo " + std::string(name_) + " record " + backuper.GetString(index, kBackupFolderKey));
    remedy->undo(backuper, index);
    LogEvent("undone " + std::string(name_));
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
