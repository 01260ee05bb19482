#pragma once
// Which cookie files of the current user are tracking cookies: the cookie scanner's decision,
// apart from the walk of the cookies folder so that it runs (and is tested) in both builds.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "database/DataBase.h"
#include "monitors/SliceCursor.h"

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

// The same decision for a large Cookies table, walked in slices across ticks: the cookie files
// are listed when a pass begins, every row's mask is tried against each name no earlier row has
// matched, and when the last row is done the tracking cookies are queued in the names' order,
// as QueueCookieWarnings queues them. Tables other than those the pass began on (`identity`
// changed) begin a new pass with a new listing.
class TCookieScan {
public:
    using NameLister = std::function<std::vector<std::string>()>;

    // One slice; true when it ended the pass (and queued what the pass found).
    bool Slice(const TDataBase& dataBase, std::uint64_t identity, WarningSink& queue, const NameLister& listNames,
               const SliceBudget& budget);

private:
    void TestRow(const TColumn& masks, int row);

    TSliceCursor cursor_;
    std::vector<std::string> names_;
    std::vector<bool> tracking_;
    std::uint64_t passIdentity_ = 0;
    bool passUnderWay_ = false;
};

}  // namespace sentrel
