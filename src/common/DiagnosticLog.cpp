#include "common/DiagnosticLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "common/Files.h"
#include "common/SafeDisplayText.h"

namespace sentrel {

namespace {

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    char withMillis[40] = {};
    std::snprintf(withMillis, sizeof withMillis, "%s.%03d", text, static_cast<int>(millis));
    return withMillis;
}

// A line of the log holds names from outside (a file, an extension): one of them must neither
// add lines of its own nor fill the log's bound alone.
constexpr std::size_t kLogLineLength = 4000;

std::string OneLine(std::string_view text) {
    return SafeDisplayText(text, kLogLineLength);
}

struct ProgramLog {
    std::mutex mutex;
    std::unique_ptr<DiagnosticLog> file;
};

ProgramLog& TheLog() {
    static ProgramLog log;
    return log;
}

}  // namespace

DiagnosticLog::DiagnosticLog(std::string path, std::int64_t fileBytes)
    : path_(std::move(path)), fileBytes_(fileBytes) {}

void DiagnosticLog::Write(std::string_view text) noexcept {
    try {
        const std::string line = Timestamp() + " " + OneLine(text) + "\n";
        const std::int64_t size = FileSize(path_);
        if (size > 0 && size + static_cast<std::int64_t>(line.size()) > fileBytes_) {
            // The move replaces the older file in one step; when it fails the current file is
            // emptied rather than left to grow past its bound.
            try {
                MoveFileOver(path_, OlderPath());
            } catch (const FileError&) {
                RemoveFile(path_);
            }
        }
        std::FILE* file = std::fopen(path_.c_str(), "ab");
        if (!file) return;
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    } catch (...) {
        // No memory for the line: it is lost, the program goes on.
    }
}

void OpenDiagnosticLog(const std::string& path, std::int64_t fileBytes) {
    auto log = std::make_unique<DiagnosticLog>(path, fileBytes);
    ProgramLog& program = TheLog();
    const std::lock_guard lock(program.mutex);
    program.file = std::move(log);
}

void CloseDiagnosticLog() noexcept {
    ProgramLog& program = TheLog();
    const std::lock_guard lock(program.mutex);
    program.file.reset();
}

void LogEvent(std::string_view text) noexcept {
    try {
        WriteDebugOutput("Sentrel 4: " + OneLine(text) + "\n");
        ProgramLog& program = TheLog();
        const std::lock_guard lock(program.mutex);
        if (program.file) program.file->Write(text);
    } catch (...) {
        // Not even the line could be made: nothing can be told.
    }
}

void LogCaught(std::string_view where, const std::exception_ptr& error) noexcept {
    try {
        LogEvent(std::string(where) + ": caught " + DescribeException(error));
    } catch (...) {
    }
}

void LogCaught(std::string_view where) noexcept {
    LogCaught(where, std::current_exception());
}

std::string DescribeException(const std::exception_ptr& error) noexcept {
    try {
        if (!error) return "no exception";
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        try {
            return exception.what();
        } catch (...) {
        }
    } catch (...) {
    }
    return "an exception that is no std::exception";
}

}  // namespace sentrel
