#include <windows.h>

#include "common/DiagnosticLog.h"

namespace sentrel {

void WriteDebugOutput(const std::string& line) noexcept {
    OutputDebugStringA(line.c_str());
}

}  // namespace sentrel
