#pragma once
// What the shield asks of the administrator part (Sentrel4Admin.exe, installed by an
// administrator under Program Files), and what it answers. The shield runs with the user's rights
// and its files lie where every program of the user can write, so it hands over intent only,
// never data to write:
//
//     Sentrel4Admin.exe /Remove <ticket> <target> <point> <view> <item> <digest>
//     Sentrel4Admin.exe /Undo <ticket> <change>
//
// /Remove takes away one entry of one machine autostart point: <target> says what kind of entry
// (value, subkey, startup, task, service), <point> is the point's id as the shield knows it and
// <item> the entry's name, both as "x" and the hexadecimal bytes of their UTF-8 text (a value's
// name may be empty: the key's default value); <view> is 64 or 32;
// <digest> is the SHA-256 of the entry as the shield read it (EntryDigest), which the part
// compares with the live entry before it touches anything. /Undo puts back change <change> of
// the part's own store, from what the part saved there itself. <ticket> (32 hexadecimal digits,
// new for every call) names the answer the part leaves in its store's results folder, which
// users may read and only administrators write.
//
// The part's table of points is built into it; an HKCU point is never handed to it.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/RootKeys.h"

namespace sentrel {

inline constexpr std::string_view kAdminRemoveSwitch = "/Remove";
inline constexpr std::string_view kAdminUndoSwitch = "/Undo";
inline constexpr const char* kAdminProgramName = "Sentrel4Admin.exe";
// Below the system's program files folder, and below its common application data folder.
inline constexpr const char* kAdminProgramFolder = "Sentrel 4 Administrator";
inline constexpr const char* kAdminStoreFolder = "Sentrel 4 Administrator";
inline constexpr const char* kAdminChangesFolder = "Changes";
inline constexpr const char* kAdminResultsFolder = "Results";

// The part's exit codes.
inline constexpr int kAdminDone = 0;
inline constexpr int kAdminFailed = 1;          // the act failed or was refused; the answer says why
inline constexpr int kAdminBadCommandLine = 2;  // nothing read, nothing touched, no answer
inline constexpr int kAdminThreatGone = 3;      // the entry is gone, or no longer what the shield saw
inline constexpr int kAdminNotTrusted = 4;      // it runs from, or keeps its store in, a place users can write

enum class AdminTarget { Value, SubKey, StartupFile, Task, Service };

std::string_view AdminTargetWord(AdminTarget target);
std::optional<AdminTarget> AdminTargetFromWord(std::string_view word);

struct AdminRequest {
    bool undo = false;
    std::string ticket;
    // /Remove
    AdminTarget target = AdminTarget::Value;
    std::string point;
    RegistryView view = RegistryView::Bits64;
    std::string item;
    std::string digest;
    // /Undo
    std::string change;
};

// The command line's arguments (after the program's name) for `request`, each free of blanks.
std::vector<std::string> AdminArguments(const AdminRequest& request);
// The request of a command line: exactly one of the two forms above with every part well formed
// (no empty point, no empty item but a value's, digits only in a change, hexadecimal digits of the right length in a
// ticket and a digest); nothing for anything else.
std::optional<AdminRequest> ParseAdminArguments(std::span<const std::string> arguments);

// A new ticket: 32 hexadecimal digits from the system's random source (`random` fills the bytes).
std::string NewAdminTicket(const std::function<void(std::span<std::uint8_t>)>& random);

// The SHA-256 of an entry's reading, as 64 hexadecimal digits.
std::string EntryDigest(std::string_view reading);

// The part's answer.
enum class AdminOutcome { Done, Failed, Gone };
struct AdminAnswer {
    AdminOutcome outcome = AdminOutcome::Failed;
    std::string message;  // why it failed or found nothing to do; empty when done
    std::string change;   // /Remove done: the change's number in the part's store
};
std::string AdminAnswerText(const AdminAnswer& answer);
// Nothing for a text that is no answer.
std::optional<AdminAnswer> ParseAdminAnswer(std::string_view text);

// A saved registry key tree: a key (below the saved key; "" is the saved key itself) or one of
// its values. Keys come before their values and subkeys, parents before children.
struct SavedRegistryEntry {
    std::string key;
    bool isValue = false;
    std::string name;
    std::uint32_t type = 0;
    std::string data;
    bool operator==(const SavedRegistryEntry&) const = default;
};
// One line per entry, every text as hexadecimal bytes; and back, nothing for a text that is not
// such a list (a key outside the tree, a value before its key, a bad line).
std::string SavedRegistryText(const std::vector<SavedRegistryEntry>& entries);
std::optional<std::vector<SavedRegistryEntry>> ParseSavedRegistryText(std::string_view text);

}  // namespace sentrel
