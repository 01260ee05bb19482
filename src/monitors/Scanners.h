#pragma once
// The cookie scanner and the folder scanner, run by the shield's clock (core/Scheduler.h) as its
// CookiesTimer (10 s) and FoldersTimer (9 s), a slice of a pass per tick. Neither remembers
// findings between passes: every pass reports all it finds, and the queue refuses a warning
// while an equal one is still queued.

#include <string>

#include "database/PathMacros.h"
#include "database/ThreatTables.h"
#include "monitors/CookieRules.h"
#include "monitors/SliceCursor.h"
#include "platform/CookiesFolder.h"  // the folder the cookie scanner is given

namespace sentrel {

class WarningSink;

// Lists `cookiesFolder`\*.txt when a pass begins and queues a TCookieWarning for every tracking
// cookie file (IsTrackingCookie), the rows walked in slices across ticks (TCookieScan). Folders
// that happen to match the pattern are no cookies and are skipped. With an empty
// `cookiesFolder` nothing is scanned: the pattern would otherwise be "\*.txt" on the current
// drive's root, and a fix would move files out of it. True when this slice ended the pass.
bool CookiesTimerSlice(const TThreatTables& tables, WarningSink& queue, const std::string& cookiesFolder,
                       TCookieScan& scan, const SliceBudget& budget);

// Queues a TFolderWarning for every deletable Folders row whose folder exists (as
// QueueFolderWarnings does, with the folders asked of the system), walked in slices across
// ticks: the rows from where `cursor` stopped, while `budget` allows; tables replaced since are
// walked from their first row. True when this slice ended the pass.
bool FoldersTimerSlice(const TThreatTables& tables, WarningSink& queue, const TMacroFolderSource& macros,
                       TSliceCursor& cursor, const SliceBudget& budget);

}  // namespace sentrel
