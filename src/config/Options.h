#pragma once
// The options store: every setting of the shield in one INI file, section "Options", in the
// program folder. Nothing is cached: each read reads the file, each write reads it, sets the
// key and writes the whole file back in one step (a temporary file moved over the old one), so
// a value written is on disk when the write returns and a crash never leaves half a file.
// One lock per store keeps each read and each read-modify-write whole; the update worker uses
// the store from its own thread.

#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/DateTime.h"
#include "config/DateTimeFormat.h"

namespace sentrel {

inline constexpr std::string_view kOptionsFileName = "options.ini";
inline constexpr std::string_view kOptionsSection = "Options";

// The program folder (with its trailing separator), fixed once at start-up; every data file is
// resolved against it. ProgramFolder throws std::logic_error before it has been set.
void SetProgramFolder(std::string folder);
std::string ProgramFolder();

// An option value as the store reads integers: decimal with an optional sign, or hexadecimal
// after "0x"/"0X" (up to 32 bits, so "0xFFFFFFFF" is -1). Nothing for anything else.
std::optional<int> ParseOptionInteger(std::string_view text);

// One key and the text to store for it.
struct OptionWrite {
    std::string_view key;
    std::string value;
};

class TOptions {
public:
    // The file `fileName` in the program folder (ProgramFolder()).
    explicit TOptions(std::string_view fileName);
    // The file `fileName` in `folder`.
    TOptions(std::string_view fileName, const std::string& folder);
    ~TOptions();
    TOptions(const TOptions&) = delete;
    TOptions& operator=(const TOptions&) = delete;

    // The full path of the file.
    const std::string& FileName() const { return path_; }

    // A missing file, a missing key, an empty value or one that does not parse gives the
    // default. Booleans are integers, any non-zero one true.
    bool ReadBool(std::string_view key, bool defaultValue) const;
    int ReadInteger(std::string_view key, int defaultValue) const;
    TDateTime ReadDateTime(std::string_view key, TDateTime defaultValue) const;
    std::string ReadString(std::string_view key, const std::string& defaultValue) const;

    // Each returns once the value is on disk: true then, false when the system could not write
    // the file (the failure is not reported otherwise; later reads return what the file holds).
    // A file that exists but cannot be read is left alone rather than replaced by one key.
    // WriteDateTime throws std::out_of_range for a date-time outside years 1 to 9999.
    bool WriteBool(std::string_view key, bool value);
    bool WriteInteger(std::string_view key, int value);
    bool WriteDateTime(std::string_view key, TDateTime value);

    // Sets several keys in one read-modify-write, in the given order: the same file as one
    // write per key, written once.
    bool WriteValues(std::span<const OptionWrite> values);
    // Sets, in the same way, only the keys the file does not hold yet (a key with an empty value
    // is held); the others keep their values. Nothing is written when no key is missing. The
    // number of keys written, or nothing when the file could not be read or written.
    std::optional<int> WriteMissingValues(std::span<const OptionWrite> values);

    // The texts the writes store.
    static std::string BoolText(bool value);
    static std::string IntegerText(int value);
    std::string DateTimeText(TDateTime value) const;

    // Every write is on disk when it returns, so there is nothing left to flush; kept for the
    // store's life cycle (called on destruction).
    void Flush();

    // Date-times are read and written with the user's locale pictures, looked up at each
    // access; a format set here replaces them for this store.
    void SetDateTimeFormat(std::optional<DateTimeFormat> format);
    DateTimeFormat CurrentDateTimeFormat() const;

private:
    std::optional<std::string> ReadValue(std::string_view key) const;

    std::string path_;
    mutable std::mutex mutex_;
    std::optional<DateTimeFormat> format_;
};

}  // namespace sentrel
