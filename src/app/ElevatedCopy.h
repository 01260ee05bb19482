#pragma once
// The program started as the elevated copy for one fix or undo (warnings/ElevatedActs.h): no
// window, no tray, no single-instance marker; it acts on the running shield's store in its own
// program folder and ends.

#include <string>
#include <vector>

namespace sentrel {

// The command line's arguments after the program's name, as UTF-8.
std::vector<std::string> CommandLineArguments();

// Runs the act the arguments ask for (a switch and a backup code, nothing else) and returns the
// copy's exit code; any other line ends at once with kElevatedBadCommandLine, nothing touched.
int RunElevatedCopy(const std::vector<std::string>& arguments) noexcept;

}  // namespace sentrel
