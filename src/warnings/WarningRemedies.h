#pragma once
// The remedies of the warning classes, found by class name: how a finding is fixed and how its
// backup record is undone. They change the system, so the warning classes keep only their texts
// and data, and the system's layer registers the remedies once at start-up (the Windows build:
// RegisterWindowsRemedies, warnings/WindowsRemedies.h). Where none is registered, a fix or an
// undo throws std::logic_error.

#include <string_view>

namespace sentrel {

class TBackuper;
class TWarning;

struct WarningRemedy {
    // Remedies the threat; where that changes the system, a backup record is made first. Gets a
    // warning whose ClassName() is the name the remedy was registered under.
    void (*fix)(TWarning& warning, TBackuper& backuper) = nullptr;
    // Restores backup record `index` and deletes the record; null for a class without undo.
    void (*undo)(TBackuper& backuper, int index) = nullptr;
};

// Registers (or replaces) the remedy of a class. Main thread, before any fix.
void RegisterWarningRemedy(std::string_view className, WarningRemedy remedy);

// The remedy registered for the class, or null.
const WarningRemedy* FindWarningRemedy(std::string_view className);

}  // namespace sentrel
