#pragma once
// Starting a program with the rights of an administrator: the shell's "runas" verb, which shows
// the system's consent prompt (user account control) before the program starts.

#include <chrono>
#include <optional>
#include <string>

namespace sentrel::platform {

// Starts `program` with `parameters` through the "runas" verb, hidden, and waits up to `timeout`
// for it to end. Its exit code; nothing when the user refused the prompt (ERROR_CANCELLED).
// Throws Win32Error when it could not be started, std::runtime_error when it did not end in time
// (it is left running).
std::optional<unsigned long> RunElevatedAndWait(const std::string& program, const std::string& parameters,
                                                std::chrono::milliseconds timeout);

}  // namespace sentrel::platform
