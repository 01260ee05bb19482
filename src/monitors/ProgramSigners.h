#pragma once
// Who signed the programs the autostart findings run: checked off the window thread (a check
// reads the whole file) and kept by path, size and time, so a program is checked again only
// when it changed. The autostart monitor asks through AutostartSignerLookup.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "monitors/AutostartMonitor.h"
#include "monitors/StartupSources.h"
#include "platform/FileSignature.h"

namespace sentrel {

// The file a command's program names (monitors/AutostartPoints.h, CommandProgram): environment
// names expanded, the kernel's forms of the Windows folder ("\SystemRoot\...", "\??\C:\...",
// "System32\..." of a driver) made paths, and a bare name looked up where Windows would find it.
std::string ProgramFilePath(const std::string& program);

// The alert's line for a signature ("Program signed by ...", "Program not signed"); empty where
// the file could not be read.
std::string SignatureSentence(const platform::FileSignature& signature);

class ProgramSigners {
public:
    using Checker = std::function<platform::FileSignature(const std::string& path)>;
    ProgramSigners(AutostartRunner runner, Checker check = platform::CheckFileSignature);

    // The signature of `program` when known for the file as it is now; else std::nullopt, and a
    // check is started. A file that is no program, library or driver, or is not there, has an
    // empty one (nothing said). A check that has not ended after a minute is given up on: an empty
    // signature (nothing said) then, so that no finding waits for ever.
    std::optional<ProgramSignature> Lookup(const std::string& program);

private:
    struct State;
    AutostartRunner runner_;
    Checker check_;
    std::shared_ptr<State> state_;
};

}  // namespace sentrel
