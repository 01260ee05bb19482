// The fix and undo of a service.
#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "common/TextCase.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/Win32Error.h"
#include "warnings/AdminReadings.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/RecordKeys.h"
#include "warnings/RegistryFile.h"
#include "warnings/RemediesWin.h"
#include "warnings/RootKeys.h"
#include "warnings/ServiceWarning.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

// A new service is exported by the registry editor into backup.reg (the export checked), its
// configuration kept in the record, and it is removed the way the system expects: stopped when it
// runs and deleted through the service control manager; one the manager does not know (written
// to the key directly, not yet loaded) goes with its key. The undo registers it again with that
// configuration and imports the export, so the key is exactly what the fix found; it never
// touches a service that is there again under the same name.
//
// A service whose command or library changed gets them back: the command through the service
// control manager where it knows the service (it writes the key too), else in the key; the
// library in the key's Parameters. The record keeps both as the fix found them, and the undo
// writes them back exactly, unless the service has changed again since.

namespace {

constexpr std::string_view kRegisteredKey = "Registered";  // 1: the manager knew it and deleted it
constexpr std::string_view kConfigKey = "Config";          // the configuration, hex of its fields
constexpr unsigned kServiceStopWaitMs = 20000;
// A changed service's ImagePath and ServiceDll: as the fix found them ("type:hex", "" none), and
// the texts it put back.
constexpr std::string_view kImagePathBeforeKey = "ImagePathBefore";
constexpr std::string_view kServiceDllBeforeKey = "ServiceDllBefore";
constexpr std::string_view kImagePathAfterKey = "ImagePathAfter";
constexpr std::string_view kServiceDllAfterKey = "ServiceDllAfter";
constexpr const char* kImagePathValue = "ImagePath";
constexpr const char* kServiceDllValue = "ServiceDll";

std::string ServiceKeyPath(const std::string& name) {
    return std::string(platform::kServicesKey) + "\\" + name;
}

// The fields of `config`, each followed by a zero byte, then the value names; as hex.
std::string ConfigText(const platform::ServiceConfig& config) {
    std::string fields;
    const auto add = [&](const std::string& field) { fields += field + '\0'; };
    add(config.displayName);
    add(config.imagePath);
    add(config.group);
    add(config.account);
    add(std::to_string(config.type));
    add(std::to_string(config.startType));
    add(std::to_string(config.errorControl));
    std::string list;
    for (const std::string& dependency : config.dependencies) list += dependency + '\t';
    add(list);
    list.clear();
    for (const std::string& value : config.valueNames) list += value + '\t';
    add(list);
    return HexFromBytes(fields);
}

std::optional<platform::ServiceConfig> ConfigFromText(const std::string& name, const std::string& text) {
    const std::optional<std::string> bytes = BytesFromHex(text);
    if (!bytes) return std::nullopt;
    std::vector<std::string> fields;
    std::string_view rest = *bytes;
    for (std::size_t end; (end = rest.find('\0')) != std::string_view::npos; rest.remove_prefix(end + 1))
        fields.emplace_back(rest.substr(0, end));
    if (fields.size() != 9) return std::nullopt;
    const auto list = [](std::string_view joined) {
        std::vector<std::string> parts;
        for (std::size_t end; (end = joined.find('\t')) != std::string_view::npos; joined.remove_prefix(end + 1))
            parts.emplace_back(joined.substr(0, end));
        return parts;
    };
    platform::ServiceConfig config;
    config.name = name;
    config.displayName = fields[0];
    config.imagePath = fields[1];
    config.group = fields[2];
    config.account = fields[3];
    try {
        config.type = static_cast<DWORD>(std::stoul(fields[4]));
        config.startType = static_cast<DWORD>(std::stoul(fields[5]));
        config.errorControl = static_cast<DWORD>(std::stoul(fields[6]));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    config.dependencies = list(fields[7]);
    config.valueNames = list(fields[8]);
    return config;
}

std::string ParametersKeyPath(const std::string& name) {
    return ServiceKeyPath(name) + "\\Parameters";
}

// The text of a value kept as "type:hex" ("" for none).
std::string TextOfRaw(const std::string& raw) {
    const std::optional<RawValue> value = RawFromText(raw);
    return value ? platform::StringFromRegistryData(value->bytes) : std::string();
}

// Writes `text` as the value `name` of `key`, of the string type `raw` (as the value is now) has,
// an expandable one where it has none; deletes the value for an empty text. Throws Win32Error.
void PutText(const std::string& key, const std::string& name, const std::string& text, const std::string& raw) {
    if (text.empty()) return PutValue(RegistryRoot::LocalMachine, key, name, {}, RegistryView::Bits64);
    const std::optional<RawValue> now = RawFromText(raw);
    const DWORD type = now && now->type == REG_SZ ? REG_SZ : REG_EXPAND_SZ;
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, key, platform::RegistryAccess::ReadWrite)
        .WriteString(name, text, type);
}

// The service's command and library as it runs them now; nothing when it is gone.
std::optional<std::pair<std::string, std::string>> ServiceRun(const std::string& name) {
    const std::optional<platform::ServiceEntry> service = platform::ReadService(name);
    if (!service) return std::nullopt;
    return std::pair(service->imagePath, service->serviceDll);
}

void FixServiceChange(const ServiceWarning& warning, FixOutcome& outcome, const WarningWorkerContext& context) {
    const std::string what = "the service " + warning.Name;
    const auto now = ServiceRun(warning.Name);
    if (!now) throw ThreatGoneError("The service " + warning.Name + " is gone; nothing was changed.");
    if (*now != std::pair(warning.Command, warning.ServiceDll))
        throw ThreatGoneError("The service " + warning.Name +
                              " has changed again since it was found; nothing was changed.");
    const std::string key = ServiceKeyPath(warning.Name);
    const std::string parameters = ParametersKeyPath(warning.Name);
    const std::string imageBefore =
        ValueReading(RegistryRoot::LocalMachine, key, kImagePathValue, RegistryView::Bits64).value_or("");
    const std::string dllBefore =
        ValueReading(RegistryRoot::LocalMachine, parameters, kServiceDllValue, RegistryView::Bits64).value_or("");
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kServiceKey, warning.Name),
                         BackupInteger(kChangeKey, kChangedEntry), BackupString(kImagePathBeforeKey, imageBefore),
                         BackupString(kServiceDllBeforeKey, dllBefore),
                         BackupString(kImagePathAfterKey, warning.OldCommand),
                         BackupString(kServiceDllAfterKey, warning.OldServiceDll)});
    const AutostartPointHold hold(context, warning.PointId, warning.Name);
    try {
        if (warning.OldCommand != warning.Command &&
            (warning.OldCommand.empty() || !platform::ChangeServiceCommand(warning.Name, warning.OldCommand)))
            PutText(key, kImagePathValue, warning.OldCommand, imageBefore);
        if (warning.OldServiceDll != warning.ServiceDll)
            PutText(parameters, kServiceDllValue, warning.OldServiceDll, dllBefore);
    } catch (const platform::Win32Error& error) {
        LogCaught("service change put back");
        if (error.Code() == ERROR_ACCESS_DENIED) ThrowSetBackForAdministrator(what, ServiceSetBackAdvice(warning));
        ThrowPointWriteError(what, error);
    }
}

void UndoServiceChange(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string name = record.GetString(kServiceKey);
    if (name.empty() || name.find_first_of("\\/") != std::string::npos)
        throw std::runtime_error("The backup record names no service to put back; nothing was restored");
    const auto now = ServiceRun(name);
    if (!now) throw std::runtime_error("The service " + name + " is gone; nothing was restored");
    if (*now != std::pair(record.GetString(kImagePathAfterKey), record.GetString(kServiceDllAfterKey)))
        throw std::runtime_error("The service " + name +
                                 " has changed since Sentrel put it back; it was left as it is");
    const std::string imageBefore = record.GetString(kImagePathBeforeKey);
    const std::string command = TextOfRaw(imageBefore);
    const AutostartPointHold hold(context, record.GetString(kPointKey), name);
    try {
        if (command != now->first && !command.empty()) platform::ChangeServiceCommand(name, command);
        // The values exactly as the fix found them, their types too.
        PutValue(RegistryRoot::LocalMachine, ServiceKeyPath(name), kImagePathValue, imageBefore, RegistryView::Bits64);
        PutValue(RegistryRoot::LocalMachine, ParametersKeyPath(name), kServiceDllValue,
                 record.GetString(kServiceDllBeforeKey), RegistryView::Bits64);
    } catch (const platform::Win32Error& error) {
        LogCaught("service change undo");
        ThrowPointWriteError("the service " + name, error);
    }
}

}  // namespace

namespace remedies {

void FixService(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                const WarningWorkerContext& context) {
    const auto& warning = WarningAs<ServiceWarning>(found);
    if (warning.Changed) return FixServiceChange(warning, outcome, context);
    const std::string what = "the service " + warning.Name;
    std::optional<platform::ServiceConfig> config;
    try {
        config = platform::ReadServiceConfig(warning.Name);
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError(what, error);
    }
    if (!config) throw ThreatGoneError("The service " + warning.Name + " is gone; nothing was changed.");
    if (config->imagePath != warning.Command)
        throw ThreatGoneError("The service " + warning.Name +
                              " has changed again since it was found; nothing was changed.");
    ExportKey(RootKeyName(RegistryRoot::LocalMachine) + "\\" + ServiceKeyPath(warning.Name),
              record.folderPath + kRegistryBackupName, record.folderPath, context, "service");
    const AutostartPointHold hold(context, warning.PointId);
    platform::ServiceRemoval removal = platform::ServiceRemoval::NotRegistered;
    try {
        removal = platform::RemoveService(warning.Name, kServiceStopWaitMs);
        if (removal == platform::ServiceRemoval::NotRegistered)
            platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKeyPath(warning.Name));
    } catch (const platform::Win32Error& error) {
        LogCaught("service removal");
        ThrowPointWriteError(what, error);
    }
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kServiceKey, warning.Name),
                         BackupInteger(kRegisteredKey, removal == platform::ServiceRemoval::NotRegistered ? 0 : 1),
                         BackupString(kConfigKey, ConfigText(*config))});
    if (removal == platform::ServiceRemoval::StillRunning)
        outcome.notices.push_back("The service " + warning.Name +
                                  " did not stop; Windows removes it once it stops or at the next restart.");
}

void UndoService(const BackupRecord& record, const WarningWorkerContext& context) {
    if (record.GetInteger(kChangeKey) == kChangedEntry) return UndoServiceChange(record, context);
    const std::string name = record.GetString(kServiceKey);
    const std::optional<platform::ServiceConfig> config = ConfigFromText(name, record.GetString(kConfigKey));
    if (name.empty() || name.find_first_of("\\/") != std::string::npos || !config)
        throw std::runtime_error("The backup record names no service to put back; nothing was restored");
    const std::string saved = record.folderPath + kRegistryBackupName;
    if (!FileExists(saved)) throw std::runtime_error("The backup " + saved + " is missing; nothing was restored");
    if (platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKeyPath(name)))
        throw std::runtime_error("A service " + name + " is there again; it was not replaced");
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    const bool registered = record.GetString(kRegisteredKey) == "1";
    if (registered) {
        try {
            platform::CreateServiceFrom(*config);
        } catch (const platform::Win32Error& error) {
            LogCaught("service registration");
            ThrowPointWriteError("the service " + name, error);
        }
    }
    const std::string quotedFile = "\"" + saved + "\"";
    if (!RunRegistryEditor("/s " + quotedFile, "import " + quotedFile, record.folderPath, context.registryEditor)) {
        // Half a service is no undo: the registration goes again and the record stays.
        try {
            if (registered) platform::RemoveService(name, kServiceStopWaitMs);
            platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKeyPath(name));
        } catch (const platform::Win32Error&) {
            LogCaught("service registration taken back");
        }
        throw std::runtime_error("The registry editor could not import " + saved + "; the service was not restored");
    }
    // What the registration wrote and the service never had goes again.
    try {
        platform::DropRegistrationValues(*config);
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError("the service " + name, error);
    }
}

}  // namespace remedies

}  // namespace sentrel
