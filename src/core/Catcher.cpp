#include "core/Catcher.h"

#include "common/DiagnosticLog.h"

namespace sentrel {

void Catcher(std::exception_ptr error) noexcept {
    // The failed handler has already been abandoned and the user sees nothing; the log keeps
    // what went wrong for whoever has to find out why "it did nothing".
    LogCaught("event handler", error);
}

}  // namespace sentrel
