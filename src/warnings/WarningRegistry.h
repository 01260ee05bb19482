#pragma once
// The warning class registry: the ten warning classes in their fixed order, looked up by class
// name. A backup record keeps the class name of the warning that made it as its "Type"; the
// restore page of the options dialog finds the class here and calls its Undo with the record's
// index. The table is fixed at compile time and lives for the whole run.

#include <span>
#include <string_view>

namespace sentrel {

class TBackuper;

class TWarningClass {
public:
    constexpr TWarningClass(std::string_view name, bool hasUndo) : name_(name), hasUndo_(hasUndo) {}

    std::string_view Name() const { return name_; }
    // Whether the class can undo a backup record (the two hook warnings make none).
    bool HasUndo() const { return hasUndo_; }
    // Restores backup record `index` with the undo registered for the class (warnings/
    // WarningRemedies.h) and deletes the record. Throws std::logic_error for a class without undo
    // or when no undo is registered.
    void Undo(TBackuper& backuper, int index) const;

private:
    std::string_view name_;
    bool hasUndo_;
};

// TKeyHookWarning, TMouseHookWarning, TProcessWarning, TFileWarning, TFileChangeWarning,
// TAutorunAddWarning, TBrowserSettingWarning, TRegistyWarning, TCookieWarning, TFolderWarning.
std::span<const TWarningClass> WarningClasses();

// The class whose name equals `name` exactly (case-sensitive, byte for byte); null when none does.
const TWarningClass* FindWarningClass(std::string_view name);

}  // namespace sentrel
