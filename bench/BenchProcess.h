#pragma once
// What the benchmarks that measure a process share: the best of several runs, and the memory of
// the process as the system counts it, measured in a fresh run of the program itself (its own
// path, a command's output).
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include "platform/HiddenProcess.h"
#include "platform/ProgramFolder.h"
#else
#include <unistd.h>

#include <fstream>
#endif

namespace sentrel::bench {

// The best of `repeats` runs, in seconds.
inline double Best(const std::function<void()>& run, int repeats = 7) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

#ifdef _WIN32
// Private bytes are the figure; the working set is shown beside them for systems that keep no
// count of private bytes (Wine may report none).
inline constexpr const char* kMemoryNames[] = {"private bytes", "working set"};
using MemoryFigures = std::array<std::int64_t, 2>;

inline MemoryFigures ProcessMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)))
        throw std::runtime_error("GetProcessMemoryInfo failed");
    return {static_cast<std::int64_t>(counters.PrivateUsage), static_cast<std::int64_t>(counters.WorkingSetSize)};
}

inline std::string ThisProgram() {
    return platform::ExecutablePath();
}

inline std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

inline std::string OutputOf(const std::string& commandLine) {
    const platform::HiddenRunOutcome outcome = platform::RunHiddenAndRead(commandLine, 120000, 4096);
    if (outcome.exitCode != 0) throw std::runtime_error("the memory measurement failed: " + outcome.output);
    return outcome.output;
}
#else
inline constexpr const char* kMemoryNames[] = {"resident size"};
using MemoryFigures = std::array<std::int64_t, 1>;

inline MemoryFigures ProcessMemory() {
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0;
    std::int64_t resident = 0;
    if (!(statm >> size >> resident)) throw std::runtime_error("/proc/self/statm cannot be read");
    return {resident * sysconf(_SC_PAGESIZE)};
}

inline std::string ThisProgram() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string OutputOf(const std::string& commandLine) {
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot start " + commandLine);
    std::string output;
    char buffer[256];
    while (const std::size_t read = std::fread(buffer, 1, sizeof(buffer), pipe)) output.append(buffer, read);
    if (pclose(pipe) != 0) throw std::runtime_error("the memory measurement failed: " + output);
    return output;
}
#endif

}  // namespace sentrel::bench
