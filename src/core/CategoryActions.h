#pragma once
// The categories of warnings and their standing actions. Each category has an option holding what
// the user chose for all its threats: ask, solve always or ignore always. A warning kind's row
// (warnings/WarningKinds.h) names the categories it belongs to; a warning may belong to several
// (a browser-setting warning is an autorun warning too), and the dispatcher asks them in the
// order of kCategoryActionKeys.

#include <array>
#include <string_view>

#include "warnings/WarningKinds.h"

namespace sentrel {

class TOptions;
class TWarning;

// The value of a category option.
enum class CategoryAction : int {
    Ask = 0,
    SolveAlways = 1,
    IgnoreAlways = 2,
};

// The option keys of the categories, in the order the dispatcher asks them.
inline constexpr std::array<std::string_view, 12> kCategoryActionKeys = {
    kFilesCategory,        kAutorunCategory,        kProcessesCategory, kBrowserSettingsCategory,
    kRegistryCategory,     kCookiesCategory,        kFoldersCategory,   kAutostartCategory,
    kStartupFilesCategory, kScheduledTasksCategory, kBrowserExtensionsCategory,
    kServicesCategory};

// The option keys of every category `warning`'s kind belongs to, in the order above; unused
// entries are empty.
std::array<std::string_view, kCategoryActionKeys.size()> CategoryKeysOf(const TWarning& warning);

// Writes `action` under the option of every category `warning` belongs to (each written and
// flushed at once). This is what "Do it always with all such threats" does.
void SetCategoryAction(const TWarning& warning, int action, TOptions& options);

}  // namespace sentrel
