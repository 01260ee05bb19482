#pragma once
// Runs a built command-line program of the project (native tests only) with no input, and
// returns its exit code and what it wrote to each output.

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/Files.h"
#include "support/TempFolder.h"

namespace sentrel::test {

struct RunResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    static TempFolder outputs;
    std::string command = ShellQuoted(program);
    for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
    command += " >" + ShellQuoted(outputs / "out") + " 2>" + ShellQuoted(outputs / "err") + " </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadFileText(outputs / "out");
    result.Err = ReadFileText(outputs / "err");
    return result;
}

#ifdef SENTREL_DB_PROGRAM
// The maker's database tool, sentrel-db.
inline RunResult RunTool(const std::vector<std::string>& arguments) {
    return RunProgram(SENTREL_DB_PROGRAM, arguments);
}
#endif

}  // namespace sentrel::test
