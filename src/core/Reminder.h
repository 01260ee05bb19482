#pragma once
// When the shield reminds the user that its threat database may be out of date: the first time
// the main window is shown in a run, once more than the chosen period has passed since the last
// reminder.

#include "config/DateTime.h"

namespace sentrel {

inline constexpr const char* kReminderText = "Sentrel's antispyware database is out of date.\n\rDo you want to update it now?";

// The days of a "RemindPeriod" choice (0 to 8); 0, never, for any other value.
int RemindPeriodDays(int period);

// True when more than `days` days (strictly) have passed from `lastRemind` to `now`; never for
// 0 days.
bool IsReminderDue(TDateTime now, TDateTime lastRemind, int days);

}  // namespace sentrel
