// What the administrator part is asked to remove when the system refuses a fix at a machine
// autostart point for want of rights: one entry, named by its point and its name, with the digest
// of what it is now, after the same look the shield's own fix makes (gone, or changed since it
// was found: nothing to remove). Only a new entry of the whole machine goes to the part; putting
// data back (a changed value, service, task or shortcut: the message says what an administrator
// is to set back), and anything of the user's own account, never does.

#include <windows.h>

#include "common/Files.h"
#include "common/TextCase.h"
#include "platform/StartupFolders.h"
#include "warnings/AdminPart.h"
#include "warnings/AdminReadings.h"
#include "warnings/AutostartWarning.h"
#include "warnings/RegistryFile.h"
#include "warnings/RemediesWin.h"
#include "warnings/ServiceWarning.h"
#include "warnings/StartupWarnings.h"
#include "warnings/Warning.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::remedies {

namespace {

std::string KeyPathOf(RegistryRoot root, const std::string& key, RegistryView view) {
    return RootKeyName(root) + "\\" + WithoutTrailingBackslashes(ViewKeyPath(key, view));
}

std::string ChangedAgain(const std::string& what) {
    return what + " has changed again since it was found; nothing was changed.";
}

AdminRequest Removal(AdminTarget target, const std::string& point, RegistryView view, const std::string& item,
                     const std::string& reading) {
    return AdminRequest{.target = target, .point = point, .view = view, .item = item, .digest = EntryDigest(reading)};
}

// Nothing of the user's own account goes to the administrator part.
[[noreturn]] void ThrowOwnAccountRefusal(const std::string& entry) {
    throw std::runtime_error("Windows refused to let Sentrel change " + entry +
                             ", an entry of your own account (a program may have locked it against changes); "
                             "nothing was changed. Have an administrator remove it, or ignore it.");
}

}  // namespace

AdminRemoval AdminRemovalOfAutorun(const TWarning& found) {
    const auto& warning = WarningAs<TAutorunAddWarning>(found);
    const std::string key = WithoutTrailingBackslashes(warning.Key);
    const std::string entry = KeyPathOf(warning.RootKey, key, warning.View) + ", the value \"" + warning.Value + "\"";
    if (warning.RootKey != RegistryRoot::LocalMachine) ThrowOwnAccountRefusal(entry);
    const std::optional<std::string> reading = ValueReading(warning.RootKey, key, warning.Value, warning.View);
    if (!reading) throw ThreatGoneError("The entry " + entry + " is gone; nothing was changed.");
    return {Removal(AdminTarget::Value, warning.PointId, warning.View, warning.Value, *reading), entry};
}

AdminRemoval AdminRemovalOfAutostartPoint(const TWarning& found) {
    const auto& warning = WarningAs<AutostartPointWarning>(found);
    const std::string key = KeyPathOf(warning.RootKey, warning.Key, warning.View);
    const std::string entry = warning.SubKey ? key + "\\" + warning.Item : key + ", the value \"" + warning.Item + "\"";
    if (warning.RootKey != RegistryRoot::LocalMachine) ThrowOwnAccountRefusal(entry);
    if (warning.What != AutostartPointWarning::Change::Added) {
        const std::string action = warning.What == AutostartPointWarning::Change::Changed ? "set it back to"
                                                                                           : "make it again with";
        ThrowSetBackForAdministrator(warning.PointName, "As an administrator, open " + entry + " and " + action +
                                                            ": " + warning.OldCommand);
    }
    if (warning.SubKey) {
        const std::optional<std::string> reading =
            KeyTreeReading(warning.RootKey, warning.Key + "\\" + warning.Item, warning.View);
        if (!reading) throw ThreatGoneError("The entry " + entry + " is gone; nothing was changed.");
        return {Removal(AdminTarget::SubKey, warning.PointId, warning.View, warning.Item, *reading), entry};
    }
    const std::optional<std::string> reading = ValueReading(warning.RootKey, warning.Key, warning.Item, warning.View);
    if (!reading || *reading != warning.Raw) throw ThreatGoneError(ChangedAgain("The entry " + entry));
    return {Removal(AdminTarget::Value, warning.PointId, warning.View, warning.Item, *reading), entry};
}

AdminRemoval AdminRemovalOfStartupFile(const TWarning& found) {
    const auto& warning = WarningAs<StartupFileWarning>(found);
    std::string folder = FolderPart(warning.FilePath);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    bool common = false;
    for (const platform::StartupFolder& startup : platform::StartupFolders())
        common = common || (startup.common && SameIgnoringCase(startup.path, folder));
    if (warning.Changed) {
        if (common) ThrowSetBackForAdministrator(warning.PointName, ShortcutSetBackAdvice(warning));
        throw std::runtime_error("Windows refused to let Sentrel change " + warning.FilePath +
                                 " (a program may have locked it against changes); nothing was changed. Have an "
                                 "administrator set it back, or ignore it.");
    }
    if (!common)
        throw std::runtime_error("Windows refused to let Sentrel move " + warning.FilePath +
                                 " (a program may have locked it against changes); nothing was changed. Have an "
                                 "administrator remove it, or ignore it.");
    const std::optional<std::string> reading = PlainFileReading(warning.FilePath);
    if (!reading) throw ThreatGoneError("The file " + warning.FilePath + " is no longer there; nothing was changed.");
    return {Removal(AdminTarget::StartupFile, warning.PointId, RegistryView::Bits64, FileNamePart(warning.FilePath),
                    *reading),
            warning.FilePath};
}

AdminRemoval AdminRemovalOfScheduledTask(const TWarning& found) {
    const auto& warning = WarningAs<ScheduledTaskWarning>(found);
    if (warning.Changed)
        ThrowSetBackForAdministrator("the scheduled task " + warning.TaskPath, TaskSetBackAdvice(warning));
    const std::optional<std::string> reading = TaskReading(warning.TaskPath);
    if (!reading) throw ThreatGoneError("The scheduled task " + warning.TaskPath + " is gone; nothing was changed.");
    return {Removal(AdminTarget::Task, warning.PointId, RegistryView::Bits64, warning.TaskPath, *reading),
            "the scheduled task " + warning.TaskPath};
}

AdminRemoval AdminRemovalOfService(const TWarning& found) {
    const auto& warning = WarningAs<ServiceWarning>(found);
    if (warning.Changed) ThrowSetBackForAdministrator("the service " + warning.Name, ServiceSetBackAdvice(warning));
    const std::optional<std::string> reading = ServiceReading(warning.Name);
    if (!reading) throw ThreatGoneError("The service " + warning.Name + " is gone; nothing was changed.");
    return {Removal(AdminTarget::Service, warning.PointId, RegistryView::Bits64, warning.Name, *reading),
            "the service " + warning.Name};
}

}  // namespace sentrel::remedies
