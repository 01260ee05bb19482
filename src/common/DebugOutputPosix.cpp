#include "common/DiagnosticLog.h"

namespace sentrel {

// No debugger listens for it here: the native build runs no shield, only its tests and tools,
// whose output stays as it is.
void WriteDebugOutput(const std::string&) noexcept {}

}  // namespace sentrel
