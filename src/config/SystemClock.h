#pragma once
// The user's date and time pictures and the current local time. On Windows they come from the
// user's locale settings and the system clock; elsewhere (the native build of the portable
// core) the pictures are the fixed English ones of DateTimeFormat, so results do not depend on
// the machine.

#include <cstdint>

#include "config/DateTime.h"
#include "config/DateTimeFormat.h"

namespace sentrel {

// The user's short date picture, long time picture, AM/PM designators and month and day names,
// read afresh at each call (the user may change them while the program runs).
DateTimeFormat UserDateTimeFormat();

// The current local date and time.
TDateTime CurrentDateTime();

#ifdef _WIN32
// The pictures and names of a given locale (an LCID such as 0x0407 for German (Germany)); an
// item the system does not report keeps its English value.
DateTimeFormat LocaleDateTimeFormat(std::uint32_t locale);
#endif

}  // namespace sentrel
