#include "monitors/ServicesSource.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/TextCase.h"
#include "monitors/ProgramSigners.h"
#include "monitors/SystemFolderRules.h"
#include "platform/ProgramFolder.h"
#include "platform/Services.h"
#include "platform/Win32Error.h"
#include "warnings/ServiceWarning.h"

namespace sentrel {

namespace {

// A pass reads services' keys for at most this long; the rest are read at the next one, and the
// point counts only once all are read (the first pass over hundreds of services, on a slow
// system).
constexpr ULONGLONG kReadBudgetMs = 20;
// A key's time of last writing moves in steps of the system clock's tick (up to 16 ms): a key
// written within this long (in 100 ns units) before a reading may be written again, in the same
// tick, after it. Its reading is kept for no later pass; it is read again until it has settled.
constexpr std::uint64_t kSettleTicks = 10'000'000;

// An entry's raw part: what the warning shows besides the command, and the library a shared host
// runs for the service, which decides what runs as much as the command.
std::string RawOf(const platform::ServiceEntry& service) {
    return ServiceEntryRaw({service.startType, service.displayName, service.serviceDll});
}

class ServicesSource final : public AutostartSource {
public:
    explicit ServicesSource(const std::vector<AutostartPoint>& points) {
        try {
            windowsFolder_ = platform::WindowsFolder();
        } catch (const platform::Win32Error&) {
            LogCaught("Windows folder for its own services");
        }
        const std::string servicesKey = std::string("HKLM\\") + platform::kServicesKey;
        for (const AutostartPoint& point : points) {
            if (point.kind != AutostartPointKind::Services) continue;
            if (!SameIgnoringCase(point.path, servicesKey)) {
                LogEvent("autostart points: \"" + point.path + "\" is not the services key and is not watched");
                continue;
            }
            units_.push_back({point, "services " + point.path});
        }
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::Services; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        try {
            const ULONGLONG until = GetTickCount64() + kReadBudgetMs;
            const std::uint64_t settled = platform::ServiceStampNow() - kSettleTicks;
            bool complete = true;
            std::map<std::string, Known> now;
            for (platform::ServiceKeyStamp& stamp : platform::ServiceKeyStamps()) {
                Known known;
                const auto cached = known_.find(stamp.name);
                if (cached != known_.end() && cached->second.written == stamp.written &&
                    (!cached->second.hosted ||
                     cached->second.parametersWritten == platform::ServiceParametersStamp(stamp.name))) {
                    known = std::move(cached->second);
                } else if (GetTickCount64() >= until) {
                    complete = false;  // read at the next pass
                    continue;
                } else {
                    known.written = stamp.written < settled ? stamp.written : kUnsettled;
                    if (auto service = platform::ReadService(stamp.name)) {
                        known.entry = AutostartEntry{service->name, service->imagePath, RawOf(*service)};
                        known.type = service->type;
                        known.hosted = !service->serviceDll.empty();
                        if (known.hosted) {
                            const std::uint64_t parameters = platform::ServiceParametersStamp(stamp.name);
                            known.parametersWritten = parameters < settled ? parameters : kUnsettled;
                        }
                    }
                }
                now.emplace(std::move(stamp.name), std::move(known));
            }
            known_ = std::move(now);
            if (!complete) return std::nullopt;
            std::vector<AutostartEntry> entries;
            for (const auto& [name, known] : known_)
                if (known.entry && !IsUserServiceInstance(name, known)) entries.push_back(*known.entry);
            return entries;
        } catch (const std::exception&) {
            LogCaught("autostart point " + units_[index].id);
            return std::nullopt;
        }
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding,
                                          bool knownProgram) override {
        ServiceEntryParts parts = ServiceEntryPartsOf(finding.entry.raw);
        if (!knownProgram && IsWindowsOwn(finding, parts)) {
            LogEvent("Windows' own service " + finding.entry.item + (finding.before ? " changed: " : " added: ") +
                     finding.entry.data + " (signed by " + finding.signer + ")");
            return nullptr;
        }
        auto warning =
            std::make_unique<ServiceWarning>(units_[index].id, finding.entry.item, std::move(parts.displayName),
                                             finding.entry.data, std::move(parts.serviceDll), parts.startType);
        if (finding.change == AutostartChange::Changed && finding.before) {
            warning->Changed = true;
            warning->OldCommand = finding.before->data;
            warning->OldServiceDll = ServiceEntryPartsOf(finding.before->raw).serviceDll;
        }
        warning->KnownProgram = knownProgram;
        return warning;
    }

private:
    // A service of Windows itself, which comes and changes with its updates: its program signed by
    // Microsoft (trusted by Windows, the file's own signature or a catalog's) and right in the
    // system folders, as its library if it has one.
    bool IsWindowsOwn(const AutostartFinding& finding, const ServiceEntryParts& parts) const {
        if (windowsFolder_.empty() || !finding.signer.starts_with("Microsoft ")) return false;
        return IsRightInSystemFolders(windowsFolder_, ProgramFilePath(CommandProgram(finding.entry.data))) &&
               (parts.serviceDll.empty() || IsRightInSystemFolders(windowsFolder_, ProgramFilePath(parts.serviceDll)));
    }

    struct Unit {
        AutostartPoint point;
        std::string id;
    };
    static constexpr std::uint64_t kUnsettled = ~std::uint64_t{0};  // matches no key's time
    // What was read of a service key, and the time the key had then (kUnsettled: read it again).
    struct Known {
        std::uint64_t written = kUnsettled;
        std::optional<AutostartEntry> entry;  // none: a driver or no service
        // A service a shared host runs: its library is named in its Parameters key, of this time.
        bool hosted = false;
        std::uint64_t parametersWritten = kUnsettled;
        DWORD type = 0;
    };

    // Windows makes an instance of each per-user service at every sign-in, "<template>_<suffix>",
    // and deletes it at the sign-out: the template, itself an entry, says what runs.
    bool IsUserServiceInstance(const std::string& name, const Known& known) const {
        if ((known.type & kUserServiceInstance) == 0) return false;
        const std::size_t underscore = name.rfind('_');
        if (underscore == std::string::npos || underscore == 0 || underscore + 1 == name.size()) return false;
        const auto found = known_.find(name.substr(0, underscore));
        return found != known_.end() && found->second.entry && (found->second.type & kUserService) != 0 &&
               (found->second.type & kUserServiceInstance) == 0;
    }
    static constexpr DWORD kUserService = 0x40;          // SERVICE_USER_SERVICE
    static constexpr DWORD kUserServiceInstance = 0x80;  // SERVICE_USERSERVICE_INSTANCE
    std::vector<Unit> units_;
    std::string windowsFolder_;  // empty where the system could not tell: no service is Windows' own
    std::map<std::string, Known> known_;
};

}  // namespace

std::unique_ptr<AutostartSource> MakeServicesSource(const std::vector<AutostartPoint>& points) {
    return std::make_unique<ServicesSource>(points);
}

}  // namespace sentrel
