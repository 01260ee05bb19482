#pragma once
// The shell's known folders that the autostart table names by a short name ("Documents",
// "AppData", "System", ...), and where each is now for the user (it may have been moved).

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace sentrel::platform {

enum class KnownFolder { Documents, AppData, LocalAppData, ProgramData, ProgramFiles, System, Windows };

// The names the table uses, as written there (compared without regard to letter case).
inline constexpr std::array<std::pair<std::string_view, KnownFolder>, 7> kKnownFolderNames = {{
    {"Documents", KnownFolder::Documents},
    {"AppData", KnownFolder::AppData},
    {"Local AppData", KnownFolder::LocalAppData},
    {"ProgramData", KnownFolder::ProgramData},
    {"Program Files", KnownFolder::ProgramFiles},
    {"System", KnownFolder::System},
    {"Windows", KnownFolder::Windows},
}};

// The folder's path without a trailing backslash; nothing when the shell cannot tell.
std::optional<std::string> KnownFolderPath(KnownFolder folder);

}  // namespace sentrel::platform
