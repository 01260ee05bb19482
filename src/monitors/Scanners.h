#pragma once
// The cookie scanner and the folder scanner: one tick each, run by the main window's
// CookiesTimer (10 s) and FoldersTimer (9 s). Neither keeps state between ticks: every tick
// reports all it finds, and the queue refuses a warning while an equal one is still queued.

#include <string>

#include "database/PathMacros.h"
#include "database/ThreatTables.h"
#include "monitors/CookieRules.h"
#include "monitors/SliceCursor.h"
#include "platform/CookiesFolder.h"  // the folder the cookie scanner is given

namespace sentrel {

class WarningSink;

// Lists `cookiesFolder`\*.txt and queues a TCookieWarning for every tracking cookie file
// (IsTrackingCookie). Folders that happen to match the pattern are no cookies and are skipped.
// With an empty `cookiesFolder` nothing is scanned: the pattern would otherwise be "\*.txt" on
// the current drive's root, and a fix would move files out of it.
void CookiesTimerTimer(const TThreatTables& tables, WarningSink& queue, const std::string& cookiesFolder);
// The same scan walked in slices across ticks (TCookieScan); true when this slice ended the pass.
bool CookiesTimerSlice(const TThreatTables& tables, WarningSink& queue, const std::string& cookiesFolder,
                       TCookieScan& scan, const SliceBudget& budget);

// Queues a TFolderWarning for every deletable Folders row whose folder exists
// (QueueFolderWarnings, with the folders asked of the system).
void FoldersTimerTimer(const TThreatTables& tables, WarningSink& queue, const TMacroFolderSource& macros);
// The same scan walked in slices across ticks: the rows from where `cursor` stopped, while
// `budget` allows; tables replaced since are walked from their first row. True when this slice
// ended the pass.
bool FoldersTimerSlice(const TThreatTables& tables, WarningSink& queue, const TMacroFolderSource& macros,
                       TSliceCursor& cursor, const SliceBudget& budget);

}  // namespace sentrel
