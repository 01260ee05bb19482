#pragma once
// The remedies of the ten warning classes on Windows (WarningRemediesWin.cpp).

namespace sentrel {

// Registers every class's Fix and Undo in the remedy table (warnings/WarningRemedies.h). Called
// once at start-up, before any warning is fixed.
void RegisterWindowsRemedies();

}  // namespace sentrel
