#include "app/AdminActs.h"

#include <windows.h>

#include <stdexcept>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "common/TextCase.h"
#include "config/IniText.h"
#include "platform/Registry.h"
#include "platform/ScheduledTasks.h"
#include "platform/Services.h"
#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"
#include "warnings/AdminReadings.h"
#include "warnings/RegistryFile.h"
#include "warnings/RegistryTree.h"
#include "warnings/RootKeysWin.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::admin {

namespace {

constexpr const char* kChangeFile = "change.ini";
constexpr const char* kEntryFile = "entry";
// change.ini: section Change with what the request named and what was saved, section Service
// with a service's configuration; every value as hexadecimal bytes.
constexpr std::string_view kChange = "Change";
constexpr std::string_view kTargetKey = "Target";
constexpr std::string_view kPointKey = "Point";
constexpr std::string_view kViewKey = "View";
constexpr std::string_view kItemKey = "Item";
constexpr std::string_view kDigestKey = "Digest";
constexpr std::string_view kSavedKey = "Saved";
constexpr std::string_view kService = "Service";
constexpr unsigned kServiceStopWaitMs = 20000;

class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --- What may be touched ---

// The row of the table a request names: a point of the whole machine of the kind the target needs.
const AutostartPoint& PointOf(const AdminRequest& request, const AdminPlaces& places) {
    for (const AutostartPoint& point : places.points) {
        if (point.root != RegistryRoot::LocalMachine && point.IsRegistry()) continue;
        const bool fits = [&] {
            switch (request.target) {
            case AdminTarget::Value:
                return (point.HoldsValues() || point.kind == AutostartPointKind::OneValue) &&
                       RegistryPointId(point, request.view) == request.point;
            case AdminTarget::SubKey:
                return point.kind == AutostartPointKind::SubKeys && RegistryPointId(point, request.view) == request.point;
            case AdminTarget::StartupFile: return point.kind == AutostartPointKind::Files && point.path == "Common Startup";
            case AdminTarget::Task: return point.kind == AutostartPointKind::Tasks;
            case AdminTarget::Service: return point.kind == AutostartPointKind::Services;
            }
            return false;
        }();
        if (fits) return point;
    }
    throw Refusal("\"" + request.point + "\" is no autostart point of the whole computer that Sentrel watches");
}

bool IsPlainKeyName(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find_first_of("\\/") == std::string_view::npos;
}

bool IsTaskPath(std::string_view path) {
    if (path.size() < 2 || path.front() != '\\' || path.find('/') != std::string_view::npos) return false;
    for (std::size_t start = 1; start <= path.size();) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

// What the request's item names, checked: the value's name, the subkey's or the task's path, the
// file's path, the service's name.
std::string CheckedItem(const AdminRequest& request, const AutostartPoint& point, const AdminPlaces& places) {
    switch (request.target) {
    case AdminTarget::Value:
        if (point.kind == AutostartPointKind::OneValue &&
            !SameIgnoringCase(point.values.empty() ? std::string() : point.values.front(), request.item))
            throw Refusal("\"" + request.item + "\" is not the value of " + point.name);
        if (!AutostartPointCounts(point, request.item))
            throw Refusal("\"" + request.item + "\" is none of the values of " + point.name);
        return request.item;
    case AdminTarget::SubKey:
        if (!IsPlainKeyName(request.item)) throw Refusal("\"" + request.item + "\" is no key's name");
        return point.path + "\\" + request.item;
    case AdminTarget::StartupFile:
        if (!IsPlainFileName(request.item) || places.commonStartup.empty())
            throw Refusal("\"" + request.item + "\" is no file of the common Startup folder");
        return places.commonStartup + "\\" + request.item;
    case AdminTarget::Task:
        if (!IsTaskPath(request.item)) throw Refusal("\"" + request.item + "\" is no scheduled task's path");
        return request.item;
    case AdminTarget::Service:
        if (!IsPlainKeyName(request.item)) throw Refusal("\"" + request.item + "\" is no service's name");
        return request.item;
    }
    throw Refusal("no such entry");
}

std::string ServiceKey(const std::string& name) {
    return std::string(platform::kServicesKey) + "\\" + name;
}

// --- The change's record ---

void Put(IniText& ini, std::string_view section, std::string_view key, std::string_view value) {
    ini.Set(section, key, HexFromBytes(value));
}

std::string Take(const IniText& ini, std::string_view section, std::string_view key) {
    const std::optional<std::string> value = BytesFromHex(ini.Get(section, key).value_or(""));
    if (!value) throw Refusal("the saved change cannot be read");
    return *value;
}

std::string JoinedList(const std::vector<std::string>& list) {
    std::string joined;
    for (const std::string& part : list) joined += part + '\t';
    return joined;
}

std::vector<std::string> SplitList(std::string_view joined) {
    std::vector<std::string> parts;
    for (std::size_t end; (end = joined.find('\t')) != std::string_view::npos; joined.remove_prefix(end + 1))
        parts.emplace_back(joined.substr(0, end));
    return parts;
}

void PutService(IniText& ini, const platform::ServiceConfig& config) {
    Put(ini, kService, "DisplayName", config.displayName);
    Put(ini, kService, "ImagePath", config.imagePath);
    Put(ini, kService, "Group", config.group);
    Put(ini, kService, "Account", config.account);
    Put(ini, kService, "Type", std::to_string(config.type));
    Put(ini, kService, "Start", std::to_string(config.startType));
    Put(ini, kService, "ErrorControl", std::to_string(config.errorControl));
    Put(ini, kService, "Dependencies", JoinedList(config.dependencies));
    Put(ini, kService, "ValueNames", JoinedList(config.valueNames));
}

platform::ServiceConfig TakeService(const IniText& ini, const std::string& name) {
    platform::ServiceConfig config;
    config.name = name;
    config.displayName = Take(ini, kService, "DisplayName");
    config.imagePath = Take(ini, kService, "ImagePath");
    config.group = Take(ini, kService, "Group");
    config.account = Take(ini, kService, "Account");
    try {
        config.type = static_cast<DWORD>(std::stoul(Take(ini, kService, "Type")));
        config.startType = static_cast<DWORD>(std::stoul(Take(ini, kService, "Start")));
        config.errorControl = static_cast<DWORD>(std::stoul(Take(ini, kService, "ErrorControl")));
    } catch (const std::logic_error&) {
        throw Refusal("the saved service cannot be read");
    }
    config.dependencies = SplitList(Take(ini, kService, "Dependencies"));
    config.valueNames = SplitList(Take(ini, kService, "ValueNames"));
    return config;
}

bool IsWin32Service(DWORD type) {
    constexpr DWORD kDrivers = SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER | SERVICE_ADAPTER |
                               SERVICE_RECOGNIZER_DRIVER;
    return (type & kDrivers) == 0 && (type & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)) != 0;
}

// --- Removal ---

void CheckDigest(const std::optional<std::string>& reading, const AdminRequest& request, const std::string& what) {
    if (!reading) throw ThreatGoneError(what + " is gone; nothing was changed.");
    if (EntryDigest(*reading) != request.digest)
        throw ThreatGoneError(what + " is no longer what Sentrel showed you; nothing was changed.");
}

// Moves the file out of the common Startup folder into `folder`: read, checked and deleted through
// one handle, so the file checked is the file that goes.
void TakeStartupFile(const std::string& path, const AdminRequest& request, const std::string& folder) {
    const platform::UniqueFile file(CreateFileW(platform::WideFromUtf8(path).c_str(), GENERIC_READ | DELETE,
                                                FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) CheckDigest(std::nullopt, request, path);
        platform::ThrowLastError("CreateFileW(" + path + ")");
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) platform::ThrowLastError("GetFileInformationByHandle");
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        throw Refusal(path + " is a link or a folder, no file Sentrel showed you");
    if (information.nFileSizeHigh != 0 || information.nFileSizeLow > 64 * 1024 * 1024)
        throw Refusal(path + " is too large");
    std::string bytes(information.nFileSizeLow, '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), information.nFileSizeLow, &read, nullptr) ||
                           read != information.nFileSizeLow))
        platform::ThrowLastError("ReadFile(" + path + ")");
    CheckDigest(bytes, request, path);
    WriteNewFile(folder + kEntryFile, bytes);
    FILE_DISPOSITION_INFO disposition{.DeleteFile = TRUE};
    if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition))
        platform::ThrowLastError("SetFileInformationByHandle(" + path + ", delete)");
}

// Saves what the entry is in the change's record and removes it.
void Remove(const AdminRequest& request, const AutostartPoint& point, const std::string& item,
            const std::string& folder, IniText& record) {
    const HKEY machine = HKEY_LOCAL_MACHINE;
    const REGSAM view = ViewFlag(request.view);
    switch (request.target) {
    case AdminTarget::Value: {
        const std::string what = "HKEY_LOCAL_MACHINE\\" + point.path + ", the value \"" + item + "\"";
        const std::optional<std::string> reading = ValueReading(RegistryRoot::LocalMachine, point.path, item, request.view);
        CheckDigest(reading, request, what);
        Put(record, kChange, kSavedKey, *reading);
        WriteNewFile(folder + kChangeFile, record.ToText());
        if (auto key = platform::RegistryKey::Open(machine, point.path, platform::RegistryAccess::ReadWrite, view))
            key->DeleteValue(item);
        return;
    }
    case AdminTarget::SubKey: {
        const std::string what = "HKEY_LOCAL_MACHINE\\" + item;
        const std::optional<std::string> reading = KeyTreeReading(RegistryRoot::LocalMachine, item, request.view);
        CheckDigest(reading, request, what);
        Put(record, kChange, kSavedKey, *reading);
        WriteNewFile(folder + kChangeFile, record.ToText());
        platform::DeleteKeyTree(machine, item, view);
        return;
    }
    case AdminTarget::StartupFile:
        // The record first: a file deleted with no record could not come back.
        WriteNewFile(folder + kChangeFile, record.ToText());
        TakeStartupFile(item, request, folder);
        return;
    case AdminTarget::Task: {
        const std::optional<std::string> reading = TaskReading(item);
        CheckDigest(reading, request, "The scheduled task " + item);
        Put(record, kChange, kSavedKey, *reading);
        WriteNewFile(folder + kChangeFile, record.ToText());
        platform::DeleteScheduledTask(item);
        return;
    }
    case AdminTarget::Service: {
        const std::optional<platform::ServiceConfig> config = platform::ReadServiceConfig(item);
        if (config && !IsWin32Service(config->type))
            throw Refusal("\"" + item + "\" is a driver, no service of a program; Sentrel never removes drivers");
        CheckDigest(ServiceReading(item), request, "The service " + item);
        const auto tree = ReadRegistryTree(RegistryRoot::LocalMachine, ServiceKey(item), RegistryView::Bits64);
        if (!tree) CheckDigest(std::nullopt, request, "The service " + item);
        PutService(record, *config);
        Put(record, kChange, kSavedKey, SavedRegistryText(*tree));
        WriteNewFile(folder + kChangeFile, record.ToText());
        if (platform::RemoveService(item, kServiceStopWaitMs) == platform::ServiceRemoval::NotRegistered)
            platform::DeleteKeyTree(machine, ServiceKey(item), KEY_WOW64_64KEY);
        return;
    }
    }
}

// --- Undo ---

std::vector<SavedRegistryEntry> SavedTree(const IniText& record) {
    std::optional<std::vector<SavedRegistryEntry>> tree = ParseSavedRegistryText(Take(record, kChange, kSavedKey));
    if (!tree || tree->empty()) throw Refusal("the saved key cannot be read");
    return std::move(*tree);
}

[[noreturn]] void ThereAgain(const std::string& what) {
    throw Refusal(what + " is there again; it was left as it is and the saved copy kept");
}

void PutBack(const AdminRequest& saved, const AutostartPoint& point, const std::string& item, const std::string& folder,
             const IniText& record) {
    const REGSAM view = ViewFlag(saved.view);
    switch (saved.target) {
    case AdminTarget::Value: {
        const std::string raw = Take(record, kChange, kSavedKey);
        const std::size_t colon = raw.find(':');
        const std::optional<std::string> bytes = colon == std::string::npos ? std::nullopt : BytesFromHex(raw.substr(colon + 1));
        if (!bytes || colon == 0 || colon > 10) throw Refusal("the saved value cannot be read");
        if (ValueReading(RegistryRoot::LocalMachine, point.path, item, saved.view)) ThereAgain("The value " + item);
        platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, point.path, platform::RegistryAccess::ReadWrite, view)
            .WriteValue(item, static_cast<DWORD>(std::stoul(raw.substr(0, colon))), *bytes);
        return;
    }
    case AdminTarget::SubKey: {
        const std::vector<SavedRegistryEntry> tree = SavedTree(record);
        if (platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, item, platform::RegistryAccess::Read, view))
            ThereAgain("HKEY_LOCAL_MACHINE\\" + item);
        WriteRegistryTree(RegistryRoot::LocalMachine, item, saved.view, tree);
        return;
    }
    case AdminTarget::StartupFile: {
        const std::string bytes = ReadPlainFile(folder + kEntryFile);
        if (EntryDigest(bytes) != saved.digest) throw Refusal("the saved file is not the file that was removed");
        WriteNewFile(item, bytes);  // never over a file that is there again
        return;
    }
    case AdminTarget::Task: {
        const std::string xml = Take(record, kChange, kSavedKey);
        if (EntryDigest(xml) != saved.digest) throw Refusal("the saved task is not the task that was removed");
        if (platform::ReadScheduledTask(item)) ThereAgain("The scheduled task " + item);
        platform::RegisterScheduledTask(item, xml);
        return;
    }
    case AdminTarget::Service: {
        const platform::ServiceConfig config = TakeService(record, item);
        const std::vector<SavedRegistryEntry> tree = SavedTree(record);
        if (!IsWin32Service(config.type)) throw Refusal("the saved service is a driver");
        if (platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKey(item))) ThereAgain("The service " + item);
        bool registered = false;
        try {
            platform::CreateServiceFrom(config);
            registered = true;
            WriteRegistryTree(RegistryRoot::LocalMachine, ServiceKey(item), RegistryView::Bits64, tree);
            platform::DropRegistrationValues(config);
        } catch (...) {
            // Half a service is no undo.
            try {
                if (registered) platform::RemoveService(item, kServiceStopWaitMs);
                platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKey(item));
            } catch (...) {
                LogCaught("administrator part, service taken back");
            }
            throw;
        }
        return;
    }
    }
}

AdminRequest SavedRequest(const IniText& record) {
    AdminRequest saved;
    const std::optional<AdminTarget> target = AdminTargetFromWord(Take(record, kChange, kTargetKey));
    if (!target) throw Refusal("the saved change names no kind of entry");
    saved.target = *target;
    saved.point = Take(record, kChange, kPointKey);
    saved.view = Take(record, kChange, kViewKey) == "32" ? RegistryView::Bits32 : RegistryView::Bits64;
    saved.item = Take(record, kChange, kItemKey);
    saved.digest = Take(record, kChange, kDigestKey);
    return saved;
}

AdminAnswer Act(const AdminRequest& request, AdminStore& store, const AdminPlaces& places) {
    if (request.undo) {
        const std::string folder = store.ChangeFolder(request.change);
        const IniText record = IniText::Parse(ReadPlainFile(folder + kChangeFile));  // read once, used from memory
        const AdminRequest saved = SavedRequest(record);
        const AutostartPoint& point = PointOf(saved, places);
        const std::string item = CheckedItem(saved, point, places);
        LogEvent("administrator part: undo of change " + request.change + " (" + item + ")");
        PutBack(saved, point, item, folder, record);
        store.DropChange(folder);
        return AdminAnswer{.outcome = AdminOutcome::Done};
    }
    const AutostartPoint& point = PointOf(request, places);
    const std::string item = CheckedItem(request, point, places);
    LogEvent("administrator part: removal of " + item + " (" + request.point + ")");
    const AdminStore::NewChange change = store.MakeChange();
    IniText record = IniText::Parse("");
    Put(record, kChange, kTargetKey, AdminTargetWord(request.target));
    Put(record, kChange, kPointKey, request.point);
    Put(record, kChange, kViewKey, RegistryViewNumber(request.view));
    Put(record, kChange, kItemKey, request.item);
    Put(record, kChange, kDigestKey, request.digest);
    try {
        Remove(request, point, item, change.folder, record);
    } catch (...) {
        store.DropChange(change.folder);
        throw;
    }
    return AdminAnswer{.outcome = AdminOutcome::Done, .change = change.number};
}

}  // namespace

AdminReply RunAdminRequest(const AdminRequest& request, AdminStore& store, const AdminPlaces& places) noexcept {
    try {
        return AdminReply{Act(request, store, places), kAdminDone};
    } catch (const ThreatGoneError& gone) {
        LogCaught("administrator part");
        return AdminReply{AdminAnswer{.outcome = AdminOutcome::Gone, .message = gone.what()}, kAdminThreatGone};
    } catch (const std::exception& error) {
        LogCaught("administrator part");
        return AdminReply{AdminAnswer{.outcome = AdminOutcome::Failed, .message = error.what()}, kAdminFailed};
    } catch (...) {
        LogCaught("administrator part");
        return AdminReply{AdminAnswer{.outcome = AdminOutcome::Failed, .message = "an unknown error"}, kAdminFailed};
    }
}

}  // namespace sentrel::admin
