#pragma once
// The categories of warnings and their standing actions. Each category is a warning class with
// the classes derived from it, and has an option holding what the user chose for all its
// threats: ask, solve always or ignore always. A warning may belong to several categories (a
// browser-setting warning is an autorun warning too); the dispatcher asks them in table order.

#include <array>
#include <string_view>

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
inline constexpr std::array<std::string_view, 7> kCategoryActionKeys = {
    "FilesAction",    "AutorunAction", "ProcessesAction", "BrowserSettingsAction",
    "RegistryAction", "CookiesAction", "FoldersAction"};

// The option keys of every category `warning` belongs to, in table order; unused entries are
// empty. A file-change warning is a file warning; browser-setting and registry-entry warnings
// are autorun warnings too.
std::array<std::string_view, kCategoryActionKeys.size()> CategoryKeysOf(const TWarning& warning);

// Writes `action` under the option of every category `warning` belongs to (each written and
// flushed at once). This is what "Do it always with all such threats" does.
void SetCategoryAction(const TWarning& warning, int action, TOptions& options);

}  // namespace sentrel
