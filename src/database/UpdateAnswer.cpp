#include "database/UpdateAnswer.h"

#include <algorithm>

#include "database/Archive.h"

namespace sentrel {

namespace {

constexpr std::string_view kUpdateExtension = ".dat";

bool IsNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// What an error line may show of a hostile entry.
std::string Shown(std::string_view entry) {
    std::string shown;
    for (const char c : entry.substr(0, 60))
        shown += IsNameCharacter(c) || std::string_view(". /\\:").find(c) != std::string_view::npos ? c : '?';
    return shown;
}

std::string_view LowerAscii(std::string_view text, std::string& storage) {
    storage.assign(text);
    for (char& c : storage)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return storage;
}

}  // namespace

std::string UpdateIndexQuery(int dataBaseNumber) {
    return std::string(kUpdateIndexPath) + "?elem=&user_date=" + std::to_string(dataBaseNumber);
}

std::string UpdateIndexUrl(std::string_view serverAddress, int dataBaseNumber) {
    return std::string(serverAddress) + UpdateIndexQuery(dataBaseNumber);
}

std::string UpdateFileUrl(std::string_view serverAddress, std::string_view entry) {
    return std::string(serverAddress) + "/" + std::string(entry);
}

std::vector<std::string> SplitUpdateAnswer(std::string_view body) {
    std::vector<std::string> entries;
    if (body.empty()) return entries;
    for (;;) {
        const std::size_t bar = body.find('|');
        if (bar == std::string_view::npos || bar + 1 == body.size()) break;
        entries.emplace_back(body.substr(0, bar));
        body.remove_prefix(bar + 1);
    }
    if (body.ends_with('|')) body.remove_suffix(1);
    entries.emplace_back(body);
    return entries;
}

bool IsSafeUpdateEntryName(std::string_view name) {
    if (name.size() <= kUpdateExtension.size() || name.size() > kMaxUpdateEntryLength) return false;
    const std::string_view stem = name.substr(0, name.size() - kUpdateExtension.size());
    std::string extension;
    if (LowerAscii(name.substr(stem.size()), extension) != kUpdateExtension) return false;
    if (!std::all_of(stem.begin(), stem.end(), IsNameCharacter)) return false;
    // Leaves out device names (NUL.dat, com1.dat).
    return IsSafeArchiveName(name);
}

std::vector<std::string> ParseUpdateAnswer(std::string_view body) {
    if (body.size() > kMaxUpdateAnswerSize)
        throw UpdateAnswerError("The update server's answer is too long (" + std::to_string(body.size()) +
                                " bytes); no update was downloaded.");
    std::vector<std::string> entries = SplitUpdateAnswer(body);
    if (entries.size() > kMaxUpdateEntries)
        throw UpdateAnswerError("The update server named " + std::to_string(entries.size()) +
                                " updates at once (at most " + std::to_string(kMaxUpdateEntries) +
                                " are taken); no update was downloaded.");
    for (const std::string& entry : entries) {
        if (!IsSafeUpdateEntryName(entry))
            throw UpdateAnswerError("The update server named a file that cannot be an update (\"" + Shown(entry) +
                                    "\"); no update was downloaded.");
    }
    return entries;
}

bool IsAllowedUpdateServer(std::string_view serverAddress) {
    std::string lowered;
    const std::string_view address = LowerAscii(serverAddress, lowered);
    if (address.starts_with("https://")) return address.size() > 8;
    constexpr std::string_view kPlain = "http://";
    if (!address.starts_with(kPlain)) return false;
    std::string_view host = address.substr(kPlain.size());
    host = host.substr(0, host.find_first_of("/?#\\"));
    // "http://localhost@elsewhere" names the host elsewhere.
    if (host.find('@') != std::string_view::npos) return false;
    if (host.starts_with('[')) {
        // [::1] or [::1]:port
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        const std::string_view rest = host.substr(close + 1);
        return host.substr(0, close + 1) == "[::1]" && (rest.empty() || rest.starts_with(':'));
    }
    host = host.substr(0, host.find(':'));
    return host == "localhost" || host == "127.0.0.1";
}

}  // namespace sentrel
