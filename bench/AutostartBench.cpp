// What one pass over the shipped autostart points costs: the table next to the program, read
// into the monitor once as a first pass (everything learned, the baseline written) and once as
// an ordinary pass, each as a whole pass in one tick and in time-bounded slices as the shield
// runs it. Prints figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include <windows.h>

#include "common/Files.h"
#include "monitors/AutostartMonitor.h"
#include "monitors/RegistryPointsSource.h"
#include "monitors/ServicesSource.h"
#include "monitors/StartupSources.h"
#include "platform/ProgramFolder.h"
#include "warnings/Warning.h"
#include "warnings/WarningSink.h"

namespace {

using namespace sentrel;
using Clock = std::chrono::steady_clock;

class CountingSink final : public WarningSink {
public:
    void QueueWarning(std::unique_ptr<TWarning>) override { ++count; }
    int count = 0;
};

void Measure(const char* what, AutostartMonitor& monitor, const SliceBudget& sliceBudget, bool sliced) {
    CountingSink sink;
    double longest = 0;
    int ticks = 0;
    const auto start = Clock::now();
    for (bool done = false; !done; ++ticks) {
        const auto tickStart = Clock::now();
        done = monitor.Slice(sink, sliced ? sliceBudget : WholePass());
        longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - tickStart).count());
    }
    const double pass = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("  %-28s pass %8.2f ms  longest tick %7.2f ms  ticks %4d  findings %d\n", what, pass, longest, ticks,
                sink.count);
}

}  // namespace

int main() {
    const std::string table = platform::ProgramFolder() + kAutostartPointsFileName;
    std::vector<std::string> problems;
    const std::vector<AutostartPoint> points = LoadAutostartPoints(table, problems);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string baseline = std::string(temp) + "autostart_bench_baseline.txt";
    DeleteFileA(baseline.c_str());

    AutostartMonitor monitor(baseline, {});
    monitor.AddSource(MakeRegistryPointsSource(points));
    // The Startup folders and the services are read in the pass; the scheduled tasks are listed off the window
    // thread and are not.
    monitor.AddSource(MakeStartupFilesSource(points));
    monitor.AddSource(MakeServicesSource(points));
    std::printf("Autostart points: %zu rows of %s, %zu readings (machine keys in both views)\n", points.size(),
                kAutostartPointsFileName, monitor.PointCount());
    Measure("first pass, whole", monitor, WholePass(), false);
    for (int i = 0; i < 3; ++i) Measure("pass, whole", monitor, WholePass(), false);
    for (int i = 0; i < 3; ++i) Measure("pass, 25 ms slices", monitor, TimeBudget(kMonitorSliceTime), true);
    DeleteFileA(baseline.c_str());
    return 0;
}
