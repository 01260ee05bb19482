#include "warnings/AdminIntent.h"

#include <algorithm>
#include <array>

#include "config/IniText.h"
#include "database/Sha256.h"
#include "warnings/RegistryFile.h"

namespace sentrel {

namespace {

constexpr std::array<std::string_view, 5> kTargetWords = {"value", "subkey", "startup", "task", "service"};
constexpr std::size_t kTicketDigits = 32;
constexpr std::size_t kDigestDigits = 64;
constexpr std::size_t kMaxChangeDigits = 9;
// Names the part reads are bounded: a registry name holds at most 16,383 characters, a path
// a little over 32,000.
constexpr std::size_t kMaxNameBytes = 3 * 32768;

bool IsLowerHex(std::string_view text, std::size_t digits) {
    return text.size() == digits &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool IsDigits(std::string_view text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A name of the command line: "x" and the hexadecimal bytes of its UTF-8 text (so that an empty
// name, a key's default value, is an argument too), with no NUL.
std::string HexName(std::string_view name) {
    return "x" + HexFromBytes(name);
}

std::optional<std::string> NameFromHex(std::string_view hex) {
    if (hex.empty() || hex.front() != 'x' || hex.size() > 1 + 2 * kMaxNameBytes) return std::nullopt;
    std::optional<std::string> name = BytesFromHex(hex.substr(1));
    if (!name || name->find('\0') != std::string::npos) return std::nullopt;
    return name;
}

constexpr std::string_view kAnswerSection = "Answer";
constexpr std::array<std::string_view, 3> kOutcomeWords = {"Done", "Failed", "Gone"};

}  // namespace

std::string_view AdminTargetWord(AdminTarget target) {
    return kTargetWords[static_cast<std::size_t>(target)];
}

std::optional<AdminTarget> AdminTargetFromWord(std::string_view word) {
    for (std::size_t i = 0; i < kTargetWords.size(); ++i)
        if (kTargetWords[i] == word) return static_cast<AdminTarget>(i);
    return std::nullopt;
}

std::vector<std::string> AdminArguments(const AdminRequest& request) {
    if (request.undo) return {std::string(kAdminUndoSwitch), request.ticket, request.change};
    return {std::string(kAdminRemoveSwitch), request.ticket, std::string(AdminTargetWord(request.target)),
            HexName(request.point), RegistryViewNumber(request.view), HexName(request.item),
            request.digest};
}

std::optional<AdminRequest> ParseAdminArguments(std::span<const std::string> arguments) {
    if (arguments.size() < 3 || !IsLowerHex(arguments[1], kTicketDigits)) return std::nullopt;
    AdminRequest request;
    request.ticket = arguments[1];
    if (arguments[0] == kAdminUndoSwitch) {
        if (arguments.size() != 3 || !IsDigits(arguments[2], kMaxChangeDigits)) return std::nullopt;
        request.undo = true;
        request.change = arguments[2];
        return request;
    }
    if (arguments[0] != kAdminRemoveSwitch || arguments.size() != 7) return std::nullopt;
    const std::optional<AdminTarget> target = AdminTargetFromWord(arguments[2]);
    std::optional<std::string> point = NameFromHex(arguments[3]);
    std::optional<std::string> item = NameFromHex(arguments[5]);
    if (!target || !point || point->empty() || !item || (item->empty() && *target != AdminTarget::Value) ||
        (arguments[4] != "64" && arguments[4] != "32") ||
        !IsLowerHex(arguments[6], kDigestDigits))
        return std::nullopt;
    request.target = *target;
    request.point = std::move(*point);
    request.view = arguments[4] == "32" ? RegistryView::Bits32 : RegistryView::Bits64;
    request.item = std::move(*item);
    request.digest = arguments[6];
    return request;
}

std::string NewAdminTicket(const std::function<void(std::span<std::uint8_t>)>& random) {
    std::array<std::uint8_t, kTicketDigits / 2> bytes{};
    random(bytes);
    return HexFromBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string EntryDigest(std::string_view reading) {
    return Sha256Hex(Sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(reading.data()), reading.size())));
}

std::string AdminAnswerText(const AdminAnswer& answer) {
    IniText ini = IniText::Parse("");
    ini.Set(kAnswerSection, "Outcome", kOutcomeWords[static_cast<std::size_t>(answer.outcome)]);
    ini.Set(kAnswerSection, "Message", HexFromBytes(answer.message));
    ini.Set(kAnswerSection, "Change", answer.change);
    return ini.ToText();
}

std::optional<AdminAnswer> ParseAdminAnswer(std::string_view text) {
    const IniText ini = IniText::Parse(text);
    const std::optional<std::string> outcome = ini.Get(kAnswerSection, "Outcome");
    const std::optional<std::string> message = BytesFromHex(ini.Get(kAnswerSection, "Message").value_or(""));
    const std::string change = ini.Get(kAnswerSection, "Change").value_or("");
    if (!outcome || !message || (!change.empty() && !IsDigits(change, kMaxChangeDigits))) return std::nullopt;
    for (std::size_t i = 0; i < kOutcomeWords.size(); ++i)
        if (kOutcomeWords[i] == *outcome)
            return AdminAnswer{.outcome = static_cast<AdminOutcome>(i), .message = *message, .change = change};
    return std::nullopt;
}

std::string SavedRegistryText(const std::vector<SavedRegistryEntry>& entries) {
    std::string text;
    for (const SavedRegistryEntry& entry : entries) {
        if (entry.isValue)
            text += "V " + HexFromBytes(entry.key) + " " + HexFromBytes(entry.name) + " " +
                    std::to_string(entry.type) + " " + HexFromBytes(entry.data) + "\n";
        else
            text += "K " + HexFromBytes(entry.key) + "\n";
    }
    return text;
}

std::optional<std::vector<SavedRegistryEntry>> ParseSavedRegistryText(std::string_view text) {
    std::vector<SavedRegistryEntry> entries;
    std::vector<std::string> keys;  // the keys read so far
    const auto known = [&keys](const std::string& key) { return std::find(keys.begin(), keys.end(), key) != keys.end(); };
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // every line ends
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        std::vector<std::string_view> parts;
        for (std::size_t blank; (blank = line.find(' ')) != std::string_view::npos; line.remove_prefix(blank + 1))
            parts.push_back(line.substr(0, blank));
        parts.push_back(line);
        SavedRegistryEntry entry;
        std::optional<std::string> key = BytesFromHex(parts.size() > 1 ? parts[1] : "x");
        if (!key || key->find('\0') != std::string::npos) return std::nullopt;
        entry.key = *key;
        if (parts[0] == "K" && parts.size() == 2) {
            // "" is the tree's own key; any other key is a plain path below a key already read.
            const std::size_t last = entry.key.rfind('\\');
            const std::string parent = last == std::string::npos ? std::string() : entry.key.substr(0, last);
            const std::string name = last == std::string::npos ? entry.key : entry.key.substr(last + 1);
            if (entry.key.empty() ? !keys.empty() : (!known(parent) || name.empty() || known(entry.key)))
                return std::nullopt;
            keys.push_back(entry.key);
        } else if (parts[0] == "V" && parts.size() == 5 && known(entry.key)) {
            const std::optional<std::string> name = BytesFromHex(parts[2]);
            const std::optional<std::string> data = BytesFromHex(parts[4]);
            if (!name || !data || !IsDigits(parts[3], 10) || name->find('\0') != std::string::npos) return std::nullopt;
            const unsigned long long type = std::stoull(std::string(parts[3]));
            if (type > 0xFFFFFFFFull) return std::nullopt;
            entry.isValue = true;
            entry.name = *name;
            entry.type = static_cast<std::uint32_t>(type);
            entry.data = *data;
        } else {
            return std::nullopt;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace sentrel
