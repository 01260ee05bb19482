#include "config/Options.h"

#include <cstdint>
#include <stdexcept>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/IniText.h"
#include "config/SystemClock.h"

namespace sentrel {

namespace {

std::mutex programFolderMutex;
std::optional<std::string> programFolder;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void SetProgramFolder(std::string folder) {
    const std::lock_guard lock(programFolderMutex);
    programFolder = std::move(folder);
}

std::string ProgramFolder() {
    const std::lock_guard lock(programFolderMutex);
    if (!programFolder) throw std::logic_error("The program folder is asked for before start-up has fixed it");
    return *programFolder;
}

std::optional<int> ParseOptionInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint64_t value = 0;
        for (const char c : text.substr(2)) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFu) return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<int>(value);
}

TOptions::TOptions(std::string_view fileName) : TOptions(fileName, ProgramFolder()) {}

TOptions::TOptions(std::string_view fileName, const std::string& folder)
    : path_(JoinPath(folder, std::string(fileName))) {}

TOptions::~TOptions() {
    Flush();
}

void TOptions::Flush() {}

std::optional<std::string> TOptions::ReadValue(std::string_view key) const {
    const std::lock_guard lock(mutex_);
    if (!FileExists(path_)) return std::nullopt;
    std::string text;
    try {
        text = ReadFileText(path_);
    } catch (const FileError&) {
        LogCaught("options read");
        return std::nullopt;
    }
    return IniText::Parse(text).Get(kOptionsSection, key);
}

bool TOptions::ReadBool(std::string_view key, bool defaultValue) const {
    return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

int TOptions::ReadInteger(std::string_view key, int defaultValue) const {
    const auto text = ReadValue(key);
    if (!text) return defaultValue;
    return ParseOptionInteger(*text).value_or(defaultValue);
}

std::string TOptions::ReadString(std::string_view key, const std::string& defaultValue) const {
    const auto text = ReadValue(key);
    return text && !text->empty() ? *text : defaultValue;
}

TDateTime TOptions::ReadDateTime(std::string_view key, TDateTime defaultValue) const {
    const auto text = ReadValue(key);
    if (!text || text->empty()) return defaultValue;
    return ParseDateTime(*text, CurrentDateTimeFormat()).value_or(defaultValue);
}

bool TOptions::WriteValues(std::span<const OptionWrite> values) {
    const std::lock_guard lock(mutex_);
    try {
        std::string text;
        // A file that is there but cannot be read is not replaced by one holding only these keys.
        if (FileExists(path_)) text = ReadFileText(path_);
        IniText ini = IniText::Parse(text);
        for (const OptionWrite& write : values) ini.Set(kOptionsSection, write.key, write.value);
        WriteFileAtomically(path_, ini.ToText());
        return true;
    } catch (const FileError&) {
        LogCaught("options write");
        return false;
    }
}

std::optional<int> TOptions::WriteMissingValues(std::span<const OptionWrite> values) {
    const std::lock_guard lock(mutex_);
    try {
        std::string text;
        if (FileExists(path_)) text = ReadFileText(path_);
        IniText ini = IniText::Parse(text);
        int written = 0;
        for (const OptionWrite& write : values) {
            if (ini.Get(kOptionsSection, write.key)) continue;
            ini.Set(kOptionsSection, write.key, write.value);
            ++written;
        }
        if (written > 0) WriteFileAtomically(path_, ini.ToText());
        return written;
    } catch (const FileError&) {
        LogCaught("options write");
        return std::nullopt;
    }
}

bool TOptions::WriteBool(std::string_view key, bool value) {
    const OptionWrite write{key, BoolText(value)};
    return WriteValues({&write, 1});
}

bool TOptions::WriteInteger(std::string_view key, int value) {
    const OptionWrite write{key, IntegerText(value)};
    return WriteValues({&write, 1});
}

bool TOptions::WriteDateTime(std::string_view key, TDateTime value) {
    const OptionWrite write{key, DateTimeText(value)};
    return WriteValues({&write, 1});
}

std::string TOptions::BoolText(bool value) {
    return value ? "1" : "0";
}

std::string TOptions::IntegerText(int value) {
    return std::to_string(value);
}

std::string TOptions::DateTimeText(TDateTime value) const {
    return FormatDateTime(value, CurrentDateTimeFormat());
}

void TOptions::SetDateTimeFormat(std::optional<DateTimeFormat> format) {
    const std::lock_guard lock(mutex_);
    format_ = std::move(format);
}

DateTimeFormat TOptions::CurrentDateTimeFormat() const {
    {
        const std::lock_guard lock(mutex_);
        if (format_) return *format_;
    }
    return UserDateTimeFormat();
}

}  // namespace sentrel
