#include "core/Reminder.h"

#include <array>

namespace sentrel {

int RemindPeriodDays(int period) {
    static constexpr std::array<int, 9> kDays = {3, 7, 14, 21, 30, 60, 90, 180, 365};
    if (period < 0 || period >= static_cast<int>(kDays.size())) return 0;
    return kDays[static_cast<std::size_t>(period)];
}

bool IsReminderDue(TDateTime now, TDateTime lastRemind, int days) {
    return days > 0 && now - lastRemind > days;
}

}  // namespace sentrel
