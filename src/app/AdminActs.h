#pragma once
// The administrator part's acts: the removal of one entry of a machine autostart point, checked
// against the part's own table and against the entry as it is now, and the undo of a change it
// made, from what it saved itself. Nothing here is read from a place a user can write.

#include <string>
#include <vector>

#include "app/AdminStore.h"
#include "monitors/AutostartPoints.h"
#include "warnings/AdminIntent.h"

namespace sentrel::admin {

struct AdminPlaces {
    // The table of points built into the part.
    std::vector<AutostartPoint> points;
    // The common Startup folder as the system keeps it, without a trailing separator.
    std::string commonStartup;
};

struct AdminReply {
    AdminAnswer answer;
    int exitCode = kAdminFailed;
};

// Does `request`; never throws.
AdminReply RunAdminRequest(const AdminRequest& request, AdminStore& store, const AdminPlaces& places) noexcept;

}  // namespace sentrel::admin
