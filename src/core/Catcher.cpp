#include "core/Catcher.h"

namespace sentrel {

void Catcher(std::exception_ptr) noexcept {
    // Deliberately silent: the program writes no log and shows no message for an event that
    // failed; the failed handler has already been abandoned.
}

}  // namespace sentrel
