#include "FeedImport.h"

#include <algorithm>
#include <array>
#include <optional>

#include "DataBaseFiles.h"
#include "Punycode.h"
#include "TableCsv.h"
#include "common/Files.h"
#include "common/Utf8Text.h"
#include "database/HostLists.h"

namespace sentrel::dbtool {

namespace {

constexpr std::size_t kReportedBadLines = 5;
constexpr std::size_t kMaxLabelLength = 63;
constexpr std::size_t kMaxNameLength = 253;

// Options that leave a ||domain^ rule covering the whole domain (as the shield asks of a host):
// which party loads it, how firmly it is blocked, or that the page itself is blocked too.
constexpr std::array<std::string_view, 7> kWholeDomainOptions = {"third-party", "3p",  "all", "important",
                                                                  "popup",       "document", "doc"};

enum class LineKind { NoRule, Taken, Skipped, Bad };

// What one line is; for Taken the rows it gives, for Bad the reason.
struct Verdict {
    LineKind Kind = LineKind::NoRule;
    std::vector<std::string> Rows;
    std::string Reason;
};

Verdict Taken(std::string row) {
    return {LineKind::Taken, {std::move(row)}, {}};
}
Verdict Skipped() {
    return {LineKind::Skipped, {}, {}};
}
Verdict Bad(std::string reason) {
    return {LineKind::Bad, {}, std::move(reason)};
}

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Why an ASCII host name (or public suffix) is malformed; empty when it is well formed.
std::string HostNameProblem(std::string_view name) {
    if (name.empty()) return "no host name";
    if (name.size() > kMaxNameLength) return "a name longer than 253 characters";
    std::size_t labelLength = 0;
    for (const char c : name) {
        if (c == '.') {
            if (labelLength == 0) return "an empty label";
            labelLength = 0;
            continue;
        }
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!allowed) return "a character that a host name cannot hold";
        if (++labelLength > kMaxLabelLength) return "a label longer than 63 characters";
    }
    if (labelLength == 0) return "an empty label";
    return {};
}

// A host as a table row: its ASCII form, or the reason it is bad.
Verdict HostRow(std::string_view host) {
    const std::optional<std::string> ascii = AsciiHostName(host);
    if (!ascii) return Bad("a host name that is not UTF-8");
    std::string problem = HostNameProblem(*ascii);
    if (!problem.empty()) return Bad(std::move(problem));
    return Taken(*ascii);
}

// An Adblock network rule's pattern and its options (after the last '$'; empty without one).
std::pair<std::string_view, std::string_view> SplitOptions(std::string_view rule, bool& hasOptions) {
    const std::size_t dollar = rule.rfind('$');
    hasOptions = dollar != std::string_view::npos;
    if (!hasOptions) return {rule, {}};
    return {rule.substr(0, dollar), rule.substr(dollar + 1)};
}

// The host of a "||host^" pattern; nullopt for any other pattern (a path, a port, a wildcard, no
// separator at the end, ...). The host is not checked.
std::optional<std::string_view> HostOfAnchoredPattern(std::string_view pattern) {
    if (!pattern.starts_with("||") || !pattern.ends_with('^')) return std::nullopt;
    const std::string_view host = pattern.substr(2, pattern.size() - 3);
    if (host.find_first_of("*/^|:?&=") != std::string_view::npos) return std::nullopt;
    return host;
}

bool OnlyWholeDomainOptions(std::string_view options) {
    for (;;) {
        const std::size_t comma = options.find(',');
        const std::string option = LowerAscii(Trimmed(options.substr(0, comma)));
        if (std::find(kWholeDomainOptions.begin(), kWholeDomainOptions.end(), option) == kWholeDomainOptions.end())
            return false;
        if (comma == std::string_view::npos) return true;
        options.remove_prefix(comma + 1);
    }
}

// Element hiding and scriptlet rules: "##", "#@#", "#?#", "#$#", "#%#" and their exceptions.
bool IsCosmeticRule(std::string_view rule) {
    for (std::size_t hash = rule.find('#'); hash != std::string_view::npos; hash = rule.find('#', hash + 1)) {
        std::size_t at = hash + 1;
        if (at < rule.size() && rule[at] == '@') ++at;
        if (at < rule.size() && (rule[at] == '?' || rule[at] == '$' || rule[at] == '%')) ++at;
        if (at < rule.size() && rule[at] == '#') return true;
    }
    return false;
}

Verdict TrackerDomainLine(std::string_view line) {
    if (line.empty() || line.starts_with('!') || line.starts_with('[')) return {};
    if (IsCosmeticRule(line) || line.starts_with("@@")) return Skipped();
    bool hasOptions = false;
    const auto [pattern, options] = SplitOptions(line, hasOptions);
    const std::optional<std::string_view> host = HostOfAnchoredPattern(pattern);
    if (!host || (hasOptions && !OnlyWholeDomainOptions(options))) return Skipped();
    return HostRow(*host);
}

Verdict MaliciousHostLine(std::string_view line) {
    if (line.empty() || line.starts_with('!') || line.starts_with('#')) return {};
    if (!line.starts_with("||")) return HostRow(line);
    bool hasOptions = false;
    const std::optional<std::string_view> host = HostOfAnchoredPattern(SplitOptions(line, hasOptions).first);
    if (!host) return Skipped();  // a URL rule: a path on the host, not the whole host
    return HostRow(*host);
}

Verdict PublicSuffixLine(std::string_view line) {
    if (line.empty() || line.starts_with("//")) return {};
    if (line.find_first_of(" \t") != std::string_view::npos) return Bad("blanks inside the rule");
    // "!name" is an exception, "*.name" a wildcard for one label: the prefix is kept as it is.
    const std::size_t prefixLength = line.starts_with('!') ? 1 : line.starts_with("*.") ? 2 : 0;
    const std::string_view prefix = line.substr(0, prefixLength);
    const std::string_view name = line.substr(prefixLength);
    if (!IsValidUtf8(name)) return Bad("a rule that is not UTF-8");
    const std::optional<std::string> ascii = AsciiHostName(name);
    if (!ascii) return Bad("a rule that cannot be written in ASCII");
    std::string problem = HostNameProblem(*ascii);
    if (!problem.empty()) return Bad(std::move(problem));

    Verdict verdict = Taken(std::string(prefix) + LowerAscii(name));
    // Hosts come in their ASCII form: a rule with international labels is listed in both forms.
    if (!IsAscii(name)) verdict.Rows.push_back(std::string(prefix) + *ascii);
    return verdict;
}

// Runs `classify` on every line of a feed, counting lines and verdicts and collecting rows.
template <typename Classify>
TFeedStats ReadFeed(std::string_view fileName, std::string_view ruleKind, std::string_view text,
                    std::vector<std::string>& rows, Classify classify) {
    TFeedStats stats{std::string(fileName), std::string(ruleKind)};
    if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++stats.Lines;
        Verdict verdict = classify(Trimmed(raw));
        switch (verdict.Kind) {
        case LineKind::NoRule:
            break;
        case LineKind::Taken:
            ++stats.Rules;
            for (std::string& row : verdict.Rows) rows.push_back(std::move(row));
            break;
        case LineKind::Skipped:
            ++stats.Skipped;
            break;
        case LineKind::Bad:
            if (stats.Bad++ < static_cast<int>(kReportedBadLines))
                stats.Warnings.push_back(stats.FileName + ":" + std::to_string(stats.Lines) + ": " + verdict.Reason +
                                         ": " + std::string(Trimmed(raw)));
            break;
        }
    }
    if (stats.Bad > static_cast<int>(kReportedBadLines))
        stats.Warnings.push_back(stats.FileName + ": " + std::to_string(stats.Bad - kReportedBadLines) +
                                 " more bad lines not shown");
    return stats;
}

std::unique_ptr<TTable> OneColumnTable(std::string_view name, std::string_view column, std::vector<std::string> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    auto table = std::make_unique<TTable>(std::string(name));
    TColumn& cells = table->AddColumn(std::make_unique<TColumn>(std::string(column)));
    cells.Reserve(rows.size());
    for (const std::string& row : rows) {
        table->AddRow();
        cells.SetString(table->RowCount() - 1, row);
    }
    return table;
}

std::string ReadFeedFile(const std::string& assetsFolder, std::string_view relativePath) {
    const std::string path = JoinPath(assetsFolder, std::string(relativePath));
    if (!FileExists(path))
        throw ToolError("the feed file \"" + path +
                        "\" is missing (ASSETS_DIR is the thirdparties folder of the extension package); nothing "
                        "was written");
    try {
        return ReadFileText(path);
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
}

std::string BareName(std::string_view path) {
    return std::string(path.substr(path.rfind('/') + 1));
}

}  // namespace

TFeedStats ReadTrackerDomains(std::string_view fileName, std::string_view text, std::vector<std::string>& rows) {
    return ReadFeed(fileName, "domain rules", text, rows, TrackerDomainLine);
}

TFeedStats ReadMaliciousHosts(std::string_view fileName, std::string_view text, std::vector<std::string>& rows) {
    return ReadFeed(fileName, "host rules", text, rows, MaliciousHostLine);
}

TFeedStats ReadPublicSuffixes(std::string_view fileName, std::string_view text, std::vector<std::string>& rows) {
    return ReadFeed(fileName, "rules", text, rows, PublicSuffixLine);
}

TImportedFeeds ImportFeeds(const std::string& assetsFolder) {
    if (!FolderExists(assetsFolder)) throw ToolError("\"" + assetsFolder + "\" is not a folder");
    // Every file is read before any is parsed: a missing one stops the import at once.
    const std::string easyPrivacy = ReadFeedFile(assetsFolder, kEasyPrivacyPath);
    const std::string easyList = ReadFeedFile(assetsFolder, kEasyListPath);
    const std::string urlhaus = ReadFeedFile(assetsFolder, kUrlhausPath);
    const std::string suffixes = ReadFeedFile(assetsFolder, kPublicSuffixListPath);

    TImportedFeeds feeds;
    std::vector<std::string> trackerRows;
    std::vector<std::string> hostRows;
    std::vector<std::string> suffixRows;
    feeds.Files.push_back(ReadTrackerDomains(BareName(kEasyPrivacyPath), easyPrivacy, trackerRows));
    feeds.Files.push_back(ReadTrackerDomains(BareName(kEasyListPath), easyList, trackerRows));
    feeds.Files.push_back(ReadMaliciousHosts(BareName(kUrlhausPath), urlhaus, hostRows));
    feeds.Files.push_back(ReadPublicSuffixes(BareName(kPublicSuffixListPath), suffixes, suffixRows));
    feeds.Tables.push_back(OneColumnTable(kTrackerDomainsTable, kDomainColumn, std::move(trackerRows)));
    feeds.Tables.push_back(OneColumnTable(kMaliciousHostsTable, kHostColumn, std::move(hostRows)));
    feeds.Tables.push_back(OneColumnTable(kPublicSuffixesTable, kSuffixColumn, std::move(suffixRows)));
    return feeds;
}

void WriteImportedTables(const TImportedFeeds& feeds, const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& table : feeds.Tables) {
        std::vector<std::string> warnings;  // none: every column has exactly the table's rows
        files.emplace_back(JoinPath(folder, table->Name() + ".csv"), TableToCsv(*table, warnings));
    }
    try {
        CreateFolders(folder);
        for (const auto& [path, text] : files) WriteFileAtomically(path, text);
    } catch (const std::exception& error) {
        throw ToolError("cannot write the tables into \"" + folder + "\": " + error.what());
    }
}

}  // namespace sentrel::dbtool
