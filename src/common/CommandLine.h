#pragma once
// A command line as Windows starts it: which program, and with which arguments. Used wherever the
// shield tells what an entry runs (the alert's command line, the rules that judge it, the program
// the threat database is asked about).

#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

struct CommandParts {
    std::string program;    // as written, without its quotes
    std::string arguments;  // the rest, leading blanks dropped
};

// The program a command starts: the quoted first part, else a first word without a folder (a
// program found on the path), else the text up to and with the first
// ".exe", ".dll", ".com", ".bat", ".cmd", ".scr" or ".vbs" that ends a word (so that an unquoted
// folder with blanks stays whole), else the first blank-separated word; the arguments follow it.
CommandParts SplitCommand(std::string_view command);

// The arguments one by one, as a program's start-up code splits them: blanks separate, double
// quotes group (a doubled quote inside is one quote), and backslashes before a quote escape it.
std::vector<std::string> CommandArguments(std::string_view arguments);

// ASCII letters in lower case; other bytes kept.
std::string LowerAscii(std::string_view text);

// Blanks and tabs taken off both ends.
std::string_view TrimBlanks(std::string_view text);

}  // namespace sentrel
