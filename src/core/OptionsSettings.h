#pragma once
// The settings the options dialog edits, as the dialog's controls hold them, and how they map to
// the options store: radio groups and the reminder drop-down by row, the close action by its own
// table, the seven monitor switches of the level row the dialog shows.

#include <array>
#include <optional>
#include <string_view>

#include "core/SecurityLevels.h"

namespace sentrel {

class TOptions;

// The rows of the dialog's level list: Low, Medium, High, Custom (Disabled has no row).
inline constexpr int kLevelRows = 4;
inline constexpr int kCustomRow = 3;

// The default-action groups in page order and the keys they edit.
inline constexpr std::array<std::string_view, 11> kDefaultActionKeys = {
    "FilesAction",        "AutorunAction",        "ProcessesAction",        "BrowserSettingsAction",
    "RegistryAction",     "CookiesAction",        "AutostartAction",        "StartupFilesAction",
    "ScheduledTasksAction", "BrowserExtensionsAction", "ServicesAction"};

// The description of each level row, and the one shown when a monitor check box turned the
// selection into Custom.
inline constexpr std::array<std::string_view, kLevelRows> kLevelDescriptions = {
    "This is a low security level (watch for system folders and executables)",
    "This is a medium security level (watch fo system folders, executables, autorun list, browser settings and "
    "malicious registry entries)",
    "This is a high security level (watch fo system folders, executables, Dll's, autorun list, processes, browser "
    "settings and malicious registry entries)",
    "This is a custom security level. Here you can set up a necessary options manually.",
};
inline constexpr std::string_view kCustomClickDescription =
    "This is a custom security level. Here you can set up necessary options manually.";

// The close-action group: row 0 "Close Sentrel" is 2, row 1 "Minimize Sentrel" is 1, row 2
// "Ask, what to do" is 3. A stored value without a row gives nothing.
std::optional<int> CloseActionRow(int stored);
int CloseActionValue(int row);

// What the dialog's option controls show. A row of nothing is a group (or list) with no row
// selected.
struct OptionsDialogSettings {
    std::optional<int> whatDo;
    bool autorun = false;
    bool runMinimized = false;
    std::optional<int> remindPeriod;
    std::optional<int> closeAction;  // the row, not the stored value
    std::array<std::optional<int>, kDefaultActionKeys.size()> actions{};
    MonitorSwitches switches;  // of the level row shown

    bool operator==(const OptionsDialogSettings&) const = default;
};

// The settings the store holds now; the switches are those of `levelRow` (none when no row is
// selected: `current` keeps them, as `closeAction` keeps its row for a stored value without one).
// A stored row outside a group's rows selects none.
OptionsDialogSettings ReadDialogSettings(const TOptions& options, std::optional<int> levelRow,
                                         const OptionsDialogSettings& current);

// What the dialog keeps when the store changed behind it while it was open (an alert's "Do it
// always with all such threats", the close dialog's choice): each setting the user changed in the
// dialog (`edited` differs from `shown`, what the dialog last showed) is the user's, every other
// one is the store's (`stored`). The seven switches go as one.
OptionsDialogSettings MergeDialogSettings(const OptionsDialogSettings& shown, const OptionsDialogSettings& edited,
                                          const OptionsDialogSettings& stored);

// Stores the settings: the general and default-action ones always (a group without a selected
// row leaves its key as it is), the switches only to the Custom keys and only when `levelRow` is
// the Custom row, then "Shield" := the row. Without a row "Shield" is left as it is. False when
// the options file could not be written (nothing of it is stored then).
bool WriteDialogSettings(TOptions& options, const OptionsDialogSettings& settings, std::optional<int> levelRow);

}  // namespace sentrel
