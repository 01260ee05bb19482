#pragma once
// The remedies of the warning classes, found by class name: how a finding is fixed and how its
// backup record is undone. They change the system, so the warning classes keep only their texts
// and data, and the system's layer registers the remedies once at start-up (the Windows build:
// RegisterWindowsRemedies, warnings/WindowsRemedies.h). Where none is registered, a fix or an
// undo throws std::logic_error.

#include <stdexcept>
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

// Thrown by a fix that found, just before acting, that the thing is no longer a threat (gone,
// changed, or no longer in the threat database): nothing was changed and no record was made.
// The warning is settled all the same: there is nothing left to remove.
class ThreatGoneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Registers (or replaces) the remedy of a class. Main thread, before any fix.
void RegisterWarningRemedy(std::string_view className, WarningRemedy remedy);

// The remedy registered for the class, or null.
const WarningRemedy* FindWarningRemedy(std::string_view className);

}  // namespace sentrel
