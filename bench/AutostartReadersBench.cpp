// What one pass over the scheduled tasks, the services and the Startup folders costs with 200
// tasks and 300 services more than a fresh system has. The tasks and services are made in the
// benchmark's own Wine prefix and removed at the end. Prints figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/ScheduledTasks.h"
#include "monitors/ServicesSource.h"
#include "platform/Services.h"
#include "platform/StartupFolders.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace {

using namespace sentrel::platform;
using sentrel::AutostartEntry;
using sentrel::AutostartPoint;
using sentrel::AutostartPointKind;
using sentrel::AutostartSource;
using sentrel::MakeServicesSource;
using Clock = std::chrono::steady_clock;

constexpr int kTasks = 200;
constexpr int kServices = 300;
constexpr const char* kTaskFolder = "\\SentrelBench";

// Best time of one call over five rounds, in milliseconds.
double BestMilliseconds(const std::function<void()>& call) {
    double best = 1e18;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        call();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

std::string TaskPath(int index) { return std::string(kTaskFolder) + "\\Bench task " + std::to_string(index); }

std::wstring ServiceName(int index) { return L"SentrelBenchService" + std::to_wstring(index); }

std::string TaskXml(int index) {
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <Settings><Enabled>true</Enabled></Settings>\n"
           "  <Actions><Exec><Command>C:\\Program Files\\Bench\\task" + std::to_string(index) +
           ".exe</Command></Exec></Actions>\n"
           "</Task>\n";
}

void MakeServices(SC_HANDLE manager) {
    for (int i = 0; i < kServices; ++i) {
        const std::wstring binary = L"\"C:\\Program Files\\Bench\\service" + std::to_wstring(i) + L".exe\" -run";
        SC_HANDLE service = CreateServiceW(manager, ServiceName(i).c_str(), ServiceName(i).c_str(), SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                           binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!service && GetLastError() != ERROR_SERVICE_EXISTS) ThrowLastError("CreateServiceW");
        if (service) CloseServiceHandle(service);
    }
}

void RemoveServices(SC_HANDLE manager) {
    for (int i = 0; i < kServices; ++i) {
        if (SC_HANDLE service = OpenServiceW(manager, ServiceName(i).c_str(), DELETE)) {
            DeleteService(service);
            CloseServiceHandle(service);
        }
    }
}

}  // namespace

int main() {
    try {
        const std::size_t servicesBefore = ListServices().size();
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (!manager) ThrowLastError("OpenSCManagerW");
        auto start = Clock::now();
        MakeServices(manager);
        const double makeServices = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        start = Clock::now();
        for (int i = 0; i < kTasks; ++i) RegisterScheduledTask(TaskPath(i), TaskXml(i));
        const double makeTasks = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("Autostart readers with %d more services and %d more scheduled tasks\n", kServices, kTasks);
        std::printf("  made them in                    %8.1f ms and %8.1f ms\n", makeServices, makeTasks);

        std::size_t services = 0;
        const double servicePass = BestMilliseconds([&] { services = ListServices().size(); });
        std::printf("  services: one pass              %8.2f ms (%zu services, %zu before)\n", servicePass, services,
                    servicesBefore);

        const double serviceSlices = BestMilliseconds([&] {
            services = 0;
            for (const std::string& name : ServiceKeyNames()) services += ReadService(name).has_value();
        });
        std::printf("  services: names, then one by one %7.2f ms (%.3f ms each)\n", serviceSlices,
                    serviceSlices / static_cast<double>(services));

        // The monitor's source reads a service's key again only when it was written since.
        AutostartPoint point{.kind = AutostartPointKind::Services, .path = std::string("HKLM\\") + kServicesKey,
                             .name = "the services of the system"};
        const std::unique_ptr<AutostartSource> source = MakeServicesSource({point});
        double longest = 0;
        int firstPasses = 0;
        for (bool whole = false; !whole; ++firstPasses) {
            start = Clock::now();
            whole = source->Read(0).has_value();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        const double sourceAgain = BestMilliseconds([&] { services = source->Read(0)->size(); });
        std::printf("  services: the watch's first read %d passes of at most %.2f ms, then %.2f ms a pass (%zu "
                    "services)\n", firstPasses, longest, sourceAgain, services);

        std::size_t tasks = 0;
        try {
            const double taskPass = BestMilliseconds([&] { tasks = ListScheduledTasks().size(); });
            std::printf("  scheduled tasks: one pass       %8.2f ms (%zu tasks)\n", taskPass, tasks);
        } catch (const Win32Error& error) {
            std::printf("  scheduled tasks: no whole list on this system (%s)\n", error.what());
        }
        const double taskReads = BestMilliseconds([&] {
            for (int i = 0; i < kTasks; ++i) tasks += ReadScheduledTask(TaskPath(i)).has_value();
        });
        std::printf("  scheduled tasks: %d read by path %8.2f ms (%.3f ms each)\n", kTasks, taskReads,
                    taskReads / kTasks);

        std::size_t files = 0;
        const double startupPass = BestMilliseconds([&] {
            for (const StartupFolder& folder : StartupFolders()) files += ListStartupFiles(folder.path).size();
        });
        std::printf("  Startup folders: one pass       %8.2f ms\n", startupPass);

        start = Clock::now();
        for (int i = 0; i < kTasks; ++i) DeleteScheduledTask(TaskPath(i));
        RemoveServices(manager);
        CloseServiceHandle(manager);
        std::printf("  removed them in                 %8.1f ms\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    } catch (const std::exception& error) {
        std::printf("autostart_readers_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
