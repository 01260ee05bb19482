#pragma once
// The diagnostic log: what a support person asks for when the user says "it did nothing". Every
// catch-all and every catch that drops what it caught calls LogCaught with where it happened; the
// program also logs its start, its stop, level changes, every fix and undo with its record code,
// and update runs. Each event is one line with a timestamp, written to the debugger's output and
// to a bounded rolling file (the current file and one older one); never shown to the user.
//
// Logging never throws: a log that cannot be written loses the line, not the program's work. It
// may be called from any thread.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace sentrel {

class DiagnosticLog {
public:
    // The size of one file: when the next line would take the current file past it, the current
    // file becomes the older one (replacing it) and a new current file starts.
    static constexpr std::int64_t kDefaultFileBytes = 1024 * 1024;

    // Writes to `path`; the older file is `path` + ".1".
    explicit DiagnosticLog(std::string path, std::int64_t fileBytes = kDefaultFileBytes);

    // Appends one line: the local time, a blank, `text` made safe to show (common/SafeDisplayText.h:
    // line breaks made blanks, controls marked, cut after a few thousand characters).
    void Write(std::string_view text) noexcept;

    const std::string& Path() const { return path_; }
    std::string OlderPath() const { return path_ + ".1"; }

private:
    std::string path_;
    std::int64_t fileBytes_;
};

// The log of the running program: lines go to the debugger's output, and to the file from
// OpenDiagnosticLog on (the program opens it in the per-user settings folder at start-up).
void OpenDiagnosticLog(const std::string& path, std::int64_t fileBytes = DiagnosticLog::kDefaultFileBytes);
void CloseDiagnosticLog() noexcept;

// One event: "start", "level Medium -> High", "fixed TFileWarning record 12", ...
void LogEvent(std::string_view text) noexcept;

// One swallowed error: "`where`: caught `what the exception says`".
void LogCaught(std::string_view where, const std::exception_ptr& error) noexcept;
// The exception being handled (call inside a catch block).
void LogCaught(std::string_view where) noexcept;

// The text of an exception: what() of a std::exception, a fixed text for anything else.
std::string DescribeException(const std::exception_ptr& error) noexcept;

// The debugger's output (OutputDebugString on Windows; nothing elsewhere, where no debugger
// listens that way). One implementation per system.
void WriteDebugOutput(const std::string& line) noexcept;

}  // namespace sentrel
