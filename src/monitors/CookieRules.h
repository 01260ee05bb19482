#pragma once
// Which cookie files of the current user are tracking cookies: the cookie scanner's decision,
// apart from the walk of the cookies folder so that it runs (and is tested) in both builds.

#include <string>
#include <string_view>
#include <vector>

#include "database/DataBase.h"

namespace sentrel {

class WarningSink;

inline constexpr std::string_view kCookiesTable = "Cookies";
inline constexpr std::string_view kFilesMaskColumn = "FILES_MASK";
// Reported whenever it is present, whatever the masks say (exact name, letter case included).
inline constexpr std::string_view kLocalUserCookieName = "user@~~local~~[1].txt";

// True for kLocalUserCookieName, and for a name that matches the FILES_MASK of any Cookies row
// (without the table nothing matches). A row whose mask is malformed matches nothing; the rows
// after it are still tried, so one damaged row cannot hide every cookie after it.
bool IsTrackingCookie(const TDataBase& dataBase, std::string_view name);

// Hands a TCookieWarning (Name = the file name) to the queue for every tracking cookie among the
// names, in their order. A name that matches several rows is handed over once: the queue would
// refuse the others as duplicates anyway.
void QueueCookieWarnings(const TDataBase& dataBase, WarningSink& queue, const std::vector<std::string>& names);

}  // namespace sentrel
