#pragma once
// The source of the "shortcuts" rows of the autostart table: the browser shortcuts of the
// desktop, the Start menu and the taskbar. A program of the user's adds arguments to them that
// make the browser load its extension, open itself to remote control or open its page; such a
// shortcut, new or changed so, is a BrowserShortcutWarning.

#include <memory>
#include <vector>

#include "monitors/AutostartMonitor.h"
#include "monitors/StartupSources.h"

namespace sentrel {

// The folders a row names: "Desktop", "Common Desktop", "Start Menu" and "Common Start Menu" (with
// their subfolders), "Quick Launch" (with the taskbar's and the Start menu's pins below it). A
// folder is read only after the system reported a change there, off the window thread through
// `runner`, and a reading counts only when no fix or undo held or accepted a point of `gate`
// while it was made.
std::unique_ptr<AutostartSource> MakeBrowserShortcutsSource(const std::vector<AutostartPoint>& points,
                                                            std::shared_ptr<const AutostartGate> gate,
                                                            AutostartRunner runner);

}  // namespace sentrel
