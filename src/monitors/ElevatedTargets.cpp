#include "monitors/ElevatedTargets.h"

#include <cstdint>

#include "common/Files.h"
#include "common/TextCase.h"
#include "warnings/ElevatedActs.h"
#include "warnings/RegistryFile.h"
#include "warnings/RootKeys.h"

namespace sentrel {

namespace {

constexpr std::string_view kAutostartPointKind = "AutostartPointWarning";
constexpr std::string_view kStartupFileKind = "StartupFileWarning";
constexpr std::string_view kScheduledTaskKind = "ScheduledTaskWarning";
constexpr std::string_view kServiceKind = "ServiceWarning";
constexpr std::string_view kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

[[noreturn]] void Refuse(const std::string& why) {
    throw ElevatedRefusal(why + "; Sentrel with the rights of an administrator changes nothing else");
}

bool IsPlainKeyName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('\\') == std::string_view::npos;
}

bool IsBelowOrSame(std::string_view key, std::string_view top) {
    if (key.size() < top.size() || !SameIgnoringCase(key.substr(0, top.size()), top)) return false;
    return key.size() == top.size() || key[top.size()] == '\\';
}

// The undo of a subkey imports the record's backup.reg: it may name that subkey and keys below
// it, nothing else.
void CheckSubKeyBackup(const BackupRecord& record, const std::string& subKey, RegistryView view,
                       const ElevatedTargets& targets) {
    const std::string top =
        RootKeyName(RegistryRoot::LocalMachine) + "\\" + WithoutTrailingBackslashes(ViewKeyPath(subKey, view));
    std::string bytes;
    try {
        bytes = targets.readFile(record.folderPath + "backup.reg");
    } catch (const std::exception&) {
        Refuse("the saved entry of the change " + record.code + " cannot be read");
    }
    const std::vector<std::string> keys = RegistryFileKeys(bytes);
    if (keys.empty()) Refuse("the saved entry of the change " + record.code + " holds no key");
    for (const std::string& key : keys)
        if (!IsBelowOrSame(key, top)) Refuse("the saved entry of the change " + record.code + " names " + key);
}

void CheckRegistryPoint(const BackupRecord& keys, bool undo, const ElevatedTargets& targets) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(keys.GetInteger("RootKey")));
    if (root != RegistryRoot::LocalMachine) Refuse("the change is not of the machine's registry");
    const std::string key = WithoutTrailingBackslashes(keys.GetString("Key"));
    const std::string item = keys.GetString("Value");
    const bool subKey = keys.GetString("SubKey") == "1";
    for (const AutostartPoint& point : targets.points) {
        if (!point.IsRegistry() || point.root != RegistryRoot::LocalMachine) continue;
        if (!SameIgnoringCase(WithoutTrailingBackslashes(point.path), key)) continue;
        bool fits = false;
        switch (point.kind) {
        case AutostartPointKind::KeyValues: fits = !subKey; break;
        case AutostartPointKind::OneValue:
            fits = !subKey && SameIgnoringCase(point.values.empty() ? std::string() : point.values.front(), item);
            break;
        case AutostartPointKind::SubKeys: fits = subKey && IsPlainKeyName(item); break;
        default: break;
        }
        if (!fits) continue;
        if (subKey && undo)
            CheckSubKeyBackup(keys, key + "\\" + item, RegistryViewFromNumber(keys.GetString("View")), targets);
        return;
    }
    Refuse("HKEY_LOCAL_MACHINE\\" + key + " (" + item + ") is no autostart point of the table");
}

void CheckStartupFile(const BackupRecord& keys, const ElevatedTargets& targets) {
    const std::string path = keys.GetString("FilePath");
    const std::string name = FileNamePart(path);
    std::string folder = FolderPart(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (IsPlainFileName(name))
        for (const std::string& common : targets.commonStartupFolders)
            if (!common.empty() && SameIgnoringCase(common, folder)) return;
    Refuse(path + " is no file of the common Startup folder");
}

void CheckTaskPath(const BackupRecord& keys) {
    const std::string path = keys.GetString("Task");
    bool wellFormed = path.size() > 1 && path.front() == '\\' && path.find('/') == std::string::npos;
    for (std::size_t start = 1; wellFormed && start <= path.size();) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        const std::string_view part(path.data() + start, end - start);
        wellFormed = !part.empty() && part != "." && part != "..";
        start = end + 1;
    }
    if (!wellFormed) Refuse("\"" + path + "\" is no scheduled task's path");
}

// A service by its plain name; its undo imports the record's export, which may name that service's
// key and keys below it only (the configuration it registers again is under the record's seal).
void CheckService(const BackupRecord& keys, bool undo, const ElevatedTargets& targets) {
    const std::string name = keys.GetString(undo ? "Service" : "Name");
    if (!IsPlainKeyName(name) || name.find('/') != std::string::npos) Refuse("\"" + name + "\" is no service's name");
    if (undo) CheckSubKeyBackup(keys, std::string(kServicesKey) + "\\" + name, RegistryView::Bits64, targets);
}

}  // namespace

void CheckElevatedTarget(std::string_view kindName, const BackupRecord& keys, bool undo,
                         const ElevatedTargets& targets) {
    if (kindName == kAutostartPointKind) return CheckRegistryPoint(keys, undo, targets);
    if (kindName == kStartupFileKind) return CheckStartupFile(keys, targets);
    if (kindName == kScheduledTaskKind) return CheckTaskPath(keys);
    if (kindName == kServiceKind) return CheckService(keys, undo, targets);
    Refuse("a change of the kind " + std::string(kindName) + " needs no administrator");
}

}  // namespace sentrel
