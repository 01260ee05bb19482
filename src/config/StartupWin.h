#pragma once
// The options start-up on Windows: the program folder is the executable's folder and the
// settings folder lies in the user's roaming application-data folder.

#include "config/Startup.h"
#include "platform/ProgramFolder.h"

namespace sentrel {

inline std::unique_ptr<TOptions> RunOptionsStartup(const StartupHooks& hooks) {
    return RunOptionsStartup(platform::ProgramFolder(), platform::UserAppDataFolder(), hooks);
}

}  // namespace sentrel
