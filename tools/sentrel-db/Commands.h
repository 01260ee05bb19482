#pragma once
// The commands of sentrel-db, the maker's tool for the threat database. Each command is one
// function in a small table (Commands.cpp); a new command is one more function and one more row.

#include <ostream>
#include <string>
#include <vector>

namespace sentrel::dbtool {

// Exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // bad input, a file that cannot be read or written
inline constexpr int kExitUsage = 2;    // unknown command, missing or extra arguments

// Runs the tool with its arguments (without the program name). Results go to `out`; errors and
// warnings go to `err`, one line each, beginning with "sentrel-db: ".
int RunSentrelDb(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sentrel::dbtool
