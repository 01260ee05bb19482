#include "core/OptionsSettings.h"

#include <string>
#include <vector>

#include "config/Options.h"

namespace sentrel {

namespace {

constexpr std::array<int, 3> kCloseActionValues = {2, 1, 3};
constexpr int kWhatDoRows = 3;
constexpr int kRemindPeriodRows = 10;
constexpr int kActionRows = 3;

std::optional<int> Row(int stored, int rows) {
    if (stored < 0 || stored >= rows) return std::nullopt;
    return stored;
}

}  // namespace

std::optional<int> CloseActionRow(int stored) {
    for (std::size_t row = 0; row < kCloseActionValues.size(); ++row)
        if (kCloseActionValues[row] == stored) return static_cast<int>(row);
    return std::nullopt;
}

int CloseActionValue(int row) {
    return kCloseActionValues.at(static_cast<std::size_t>(row));
}

OptionsDialogSettings ReadDialogSettings(const TOptions& options, std::optional<int> levelRow,
                                         const OptionsDialogSettings& current) {
    OptionsDialogSettings settings;
    settings.whatDo = Row(options.ReadInteger("WhatDo", 0), kWhatDoRows);
    settings.autorun = options.ReadBool(kAutorunKey, false);
    settings.runMinimized = options.ReadBool("RunMinimized", false);
    settings.remindPeriod = Row(options.ReadInteger("RemindPeriod", 2), kRemindPeriodRows);
    const std::optional<int> closeRow = CloseActionRow(options.ReadInteger("CloseAction", 1));
    settings.closeAction = closeRow ? closeRow : current.closeAction;
    for (std::size_t i = 0; i < kDefaultActionKeys.size(); ++i)
        settings.actions[i] = Row(options.ReadInteger(kDefaultActionKeys[i], 0), kActionRows);
    if (levelRow && *levelRow >= 0 && *levelRow < kLevelRows)
        settings.switches = ReadMonitorSwitches(options, static_cast<SecurityLevel>(*levelRow));
    else
        settings.switches = current.switches;
    return settings;
}

OptionsDialogSettings MergeDialogSettings(const OptionsDialogSettings& shown, const OptionsDialogSettings& edited,
                                          const OptionsDialogSettings& stored) {
    OptionsDialogSettings merged;
    const auto pick = [](const auto& shownValue, const auto& editedValue, const auto& storedValue) {
        return editedValue != shownValue ? editedValue : storedValue;
    };
    merged.whatDo = pick(shown.whatDo, edited.whatDo, stored.whatDo);
    merged.autorun = pick(shown.autorun, edited.autorun, stored.autorun);
    merged.runMinimized = pick(shown.runMinimized, edited.runMinimized, stored.runMinimized);
    merged.remindPeriod = pick(shown.remindPeriod, edited.remindPeriod, stored.remindPeriod);
    merged.closeAction = pick(shown.closeAction, edited.closeAction, stored.closeAction);
    for (std::size_t i = 0; i < merged.actions.size(); ++i)
        merged.actions[i] = pick(shown.actions[i], edited.actions[i], stored.actions[i]);
    merged.switches = pick(shown.switches, edited.switches, stored.switches);
    return merged;
}

bool WriteDialogSettings(TOptions& options, const OptionsDialogSettings& settings, std::optional<int> levelRow) {
    std::vector<OptionWrite> writes;
    const auto writeRow = [&](std::string_view key, std::optional<int> row) {
        if (row) writes.push_back({key, TOptions::IntegerText(*row)});
    };
    writeRow("WhatDo", settings.whatDo);
    writes.push_back({kAutorunKey, TOptions::BoolText(settings.autorun)});
    writes.push_back({"RunMinimized", TOptions::BoolText(settings.runMinimized)});
    writeRow("RemindPeriod", settings.remindPeriod);
    if (settings.closeAction) writes.push_back({"CloseAction", TOptions::IntegerText(CloseActionValue(*settings.closeAction))});
    for (std::size_t i = 0; i < kDefaultActionKeys.size(); ++i) writeRow(kDefaultActionKeys[i], settings.actions[i]);

    std::vector<std::string> switchKeys;
    switchKeys.reserve(kSwitchWords.size());
    if (levelRow == kCustomRow) {
        for (std::size_t i = 0; i < kSwitchWords.size(); ++i) {
            switchKeys.push_back("Custom" + std::string(kSwitchWords[i]));
            writes.push_back({switchKeys.back(), TOptions::BoolText(settings.switches.on[i])});
        }
    }
    if (levelRow) writes.push_back({kShieldKey, TOptions::IntegerText(*levelRow)});
    return options.WriteValues(writes);
}

}  // namespace sentrel
