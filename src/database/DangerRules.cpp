#include "database/DangerRules.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "common/CommandLine.h"
#include "database/DataBase.h"

namespace sentrel {

namespace {

constexpr std::size_t kShownReasons = 3;

constexpr std::array<std::pair<std::string_view, TDangerRules::Test>, 14> kTestWords{{
    {"argument", TDangerRules::Test::Argument},
    {"argument-folder", TDangerRules::Test::ArgumentFolder},
    {"folder", TDangerRules::Test::Folder},
    {"system-name", TDangerRules::Test::SystemName},
    {"extension", TDangerRules::Test::Extension},
    {"double-extension", TDangerRules::Test::DoubleExtension},
    {"hidden-name", TDangerRules::Test::HiddenName},
    {"blank-run", TDangerRules::Test::BlankRun},
    {"url", TDangerRules::Test::Url},
    {"unc", TDangerRules::Test::Unc},
    {"ip", TDangerRules::Test::Ip},
    {"malicious-host", TDangerRules::Test::MaliciousHost},
    {"entry", TDangerRules::Test::Entry},
    {"not-default", TDangerRules::Test::NotDefault},
}};

// The extensions of files Windows runs as programs or scripts.
constexpr std::array<std::string_view, 14> kProgramExtensions{
    ".exe", ".scr", ".com", ".pif", ".bat", ".cmd", ".js", ".jse", ".vbs", ".vbe", ".wsf", ".hta", ".ps1", ".cpl"};

std::optional<TDangerRules::Test> TestOfWord(std::string_view word) {
    for (const auto& [name, test] : kTestWords)
        if (name == word) return test;
    return std::nullopt;
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        const std::string_view part = TrimBlanks(text.substr(start, end - start));
        if (!part.empty()) parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

// "text", "text*", "*text", "*text*" against a text already in lower case.
bool MatchesWord(std::string_view pattern, std::string_view text) {
    const bool anyBefore = pattern.starts_with('*');
    const bool anyAfter = pattern.size() > 1 && pattern.ends_with('*');
    std::string_view core = pattern.substr(anyBefore ? 1 : 0);
    if (anyAfter) core.remove_suffix(1);
    if (anyBefore && anyAfter) return text.find(core) != std::string_view::npos;
    if (anyBefore) return text.ends_with(core);
    if (anyAfter) return text.starts_with(core);
    return text == core;
}

// The words of a command's arguments: blanks, quotes, brackets and the separators of the script
// languages split them, so "IEX(New-Object Net.WebClient).DownloadString('http://x/a')" gives
// iex, new-object, net.webclient, .downloadstring and http://x/a. In lower case.
std::vector<std::string> WordsOf(std::string_view arguments) {
    constexpr std::string_view kSeparators = " \t\r\n\"'()[]{};,|&+`";
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < arguments.size()) {
        i = arguments.find_first_not_of(kSeparators, i);
        if (i == std::string_view::npos) break;
        const std::size_t end = std::min(arguments.find_first_of(kSeparators, i), arguments.size());
        words.push_back(LowerAscii(arguments.substr(i, end - i)));
        i = end;
    }
    return words;
}

// %NAME% parts replaced by their folders where the machine has them.
std::string ExpandNames(std::string_view text, const FolderOfName& folders) {
    std::string expanded;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        const std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) break;
        const std::string folder = folders ? folders(text.substr(open + 1, close - open - 1)) : std::string();
        if (folder.empty()) {
            expanded.append(text.substr(i, close - i));
            i = close;
            continue;
        }
        expanded.append(text.substr(i, open - i)).append(folder);
        i = close + 1;
    }
    expanded.append(text.substr(std::min(i, text.size())));
    return expanded;
}

// Whether `folder` (lower case, with its trailing backslash) is the pattern's folder, or lies
// below it for a pattern ending in "\*".
bool InFolder(std::string_view folder, std::string_view pattern, const FolderOfName& folders) {
    if (folder.empty()) return false;
    const bool below = pattern.ends_with("\\*");
    if (below) pattern.remove_suffix(1);
    if (pattern.starts_with('%') && folders) {
        const std::size_t close = pattern.find('%', 1);
        if (close == std::string_view::npos || folders(pattern.substr(1, close - 1)).empty()) return false;
    }
    std::string expected = LowerAscii(ExpandNames(pattern, folders));
    if (!expected.ends_with('\\')) expected += '\\';
    std::string_view actual = folder;
    std::string_view wanted = expected;
    if (wanted.starts_with("?:")) {
        if (actual.size() < 2 || actual[1] != ':') return false;
        actual.remove_prefix(2);
        wanted.remove_prefix(2);
    }
    return below ? actual.starts_with(wanted) : actual == wanted;
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string_view::npos) return {};
    std::string folder(path.substr(0, slash + 1));
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

std::string_view NameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsIpv4(std::string_view host) {
    int parts = 0;
    std::size_t i = 0;
    while (i <= host.size()) {
        const std::size_t end = std::min(host.find('.', i), host.size());
        const std::string_view part = host.substr(i, end - i);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return false;
        if (std::stoi(std::string(part)) > 255) return false;
        ++parts;
        i = end + 1;
    }
    return parts == 4;
}

// The host of "scheme://[user@]host[:port]/...", "\\host\share" or "host:port"; empty when the
// text names none.
std::string HostOf(std::string_view text) {
    std::string_view rest;
    if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
        rest = text.substr(scheme + 3);
    } else if (text.starts_with("\\\\") && !text.starts_with("\\\\?\\") && !text.starts_with("\\\\.\\")) {
        rest = text.substr(2);
    } else {
        return {};
    }
    rest = rest.substr(0, rest.find_first_of("/\\?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (rest.starts_with('[')) return {};  // an IPv6 literal: no table holds one
    rest = rest.substr(0, rest.find(':'));
    while (rest.ends_with('.')) rest.remove_suffix(1);
    return LowerAscii(rest);
}

bool HostLike(std::string_view host) {
    return !host.empty() && host.find('.') != std::string_view::npos &&
           std::all_of(host.begin(), host.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
           });
}

void AddOnce(std::vector<std::string>& list, std::string item) {
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

}  // namespace

std::string DangerReasonsLine(const std::vector<std::string>& reasons) {
    if (reasons.empty()) return {};
    std::string line = "Why it looks dangerous: ";
    for (std::size_t i = 0; i < reasons.size() && i < kShownReasons; ++i) {
        if (i > 0) line += "; ";
        line += reasons[i];
    }
    return line;
}

std::vector<std::string> HostsNamed(std::string_view text) {
    std::vector<std::string> hosts;
    for (const std::string& word : WordsOf(text)) {
        std::string host = HostOf(word);
        if (host.empty()) {
            // A proxy setting: "host:port", or "http=host:port".
            std::string_view bare = word;
            if (const std::size_t equals = bare.find('='); equals != std::string_view::npos) bare.remove_prefix(equals + 1);
            const std::size_t colon = bare.find(':');
            if (colon != std::string_view::npos && colon + 1 < bare.size() &&
                std::all_of(bare.begin() + static_cast<std::ptrdiff_t>(colon) + 1, bare.end(),
                            [](char c) { return c >= '0' && c <= '9'; }))
                host = std::string(bare.substr(0, colon));
            else if (IsIpv4(bare))
                host = std::string(bare);
        }
        if (HostLike(host)) AddOnce(hosts, std::move(host));
    }
    return hosts;
}

TDangerRules::TDangerRules(const TDataBase& dataBase) {
    const TTable* table = dataBase.FindTable(kDangerRulesTable);
    if (!table) return;
    for (int row = 0; row < table->RowCount(); ++row) {
        std::string word;
        std::string program;
        std::string pattern;
        std::string reason;
        table->GetString(row, kRuleTestColumn, word);
        table->GetString(row, kRuleProgramColumn, program);
        table->GetString(row, kRulePatternColumn, pattern);
        table->GetString(row, kRuleReasonColumn, reason);
        const std::optional<Test> test = TestOfWord(LowerAscii(TrimBlanks(word)));
        if (!test || TrimBlanks(reason).empty()) {
            ++skipped_;
            continue;
        }
        Rule rule{*test, LowerAscii(TrimBlanks(program)), {}, std::string(TrimBlanks(reason))};
        if (*test == Test::Argument) {
            for (const std::string& part : SplitList(pattern, ' ')) rule.patterns.push_back(LowerAscii(part));
        } else {
            for (const std::string& part : SplitList(pattern, ';')) rule.patterns.push_back(part);
        }
        if ((*test == Test::Argument && rule.patterns.empty()) ||
            ((*test == Test::Argument || *test == Test::ArgumentFolder || *test == Test::SystemName ||
              *test == Test::Entry || *test == Test::NotDefault) &&
             rule.program.empty())) {
            ++skipped_;
            continue;
        }
        const std::size_t index = rules_.size();
        const bool byProgram = (*test == Test::Argument || *test == Test::ArgumentFolder || *test == Test::SystemName) &&
                               rule.program != "*";
        rules_.push_back(std::move(rule));
        if (byProgram) {
            byProgram_[rules_.back().program].push_back(index);
        } else {
            general_.push_back(index);
        }
    }
}

// What a subject is made of, worked out once for all its rules.
struct TDangerRules::Facts {
    const DangerSubject& subject;
    std::string program;      // expanded, as written otherwise
    std::string programName;  // lower case; ".exe" added to a name without extension
    std::string folder;       // lower case, with its trailing backslash; empty when not given
    std::vector<std::string> arguments;
    std::vector<std::string> words;  // lower case
    std::vector<std::string> hosts;  // of the command and the address
    std::string entry;               // lower case "<end of key>\<name>" test subject
};

DangerVerdict TDangerRules::Judge(const DangerSubject& subject, const FolderOfName& folders,
                                  const HostTest& isMaliciousHost) const {
    DangerVerdict verdict;
    if (rules_.empty()) return verdict;
    Facts facts{subject, {}, {}, {}, {}, {}, {}, {}};
    if (!TrimBlanks(subject.command).empty()) {
        const CommandParts parts = SplitCommand(subject.command);
        facts.program = ExpandNames(parts.program, folders);
        facts.programName = LowerAscii(NameOf(facts.program));
        if (!facts.programName.empty() && facts.programName.find('.') == std::string::npos) facts.programName += ".exe";
        facts.folder = LowerAscii(FolderOf(facts.program));
        facts.arguments = CommandArguments(parts.arguments);
        facts.words = WordsOf(parts.arguments);
        facts.hosts = HostsNamed(subject.command);
    }
    for (std::string& host : HostsNamed(subject.address)) AddOnce(facts.hosts, std::move(host));

    std::vector<Found> found;
    if (!facts.programName.empty()) {
        if (const auto rules = byProgram_.find(facts.programName); rules != byProgram_.end())
            for (const std::size_t index : rules->second) Apply(rules_[index], index, facts, folders, isMaliciousHost, found);
    }
    for (const std::size_t index : general_) Apply(rules_[index], index, facts, folders, isMaliciousHost, found);
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.rule < b.rule; });
    for (const Found& item : found) {
        std::string reason = rules_[item.rule].reason;
        if (const std::size_t mark = reason.find("%1"); mark != std::string::npos) reason.replace(mark, 2, item.detail);
        if (rules_[item.rule].test == Test::MaliciousHost && verdict.maliciousHost.empty())
            verdict.maliciousHost = item.detail;
        AddOnce(verdict.reasons, std::move(reason));
    }
    return verdict;
}

void TDangerRules::Apply(const Rule& rule, std::size_t index, const Facts& facts, const FolderOfName& folders,
                         const HostTest& isMaliciousHost, std::vector<Found>& found) const {
    const auto report = [&](std::string detail = {}) { found.push_back({index, std::move(detail)}); };
    const bool hasProgram = !facts.programName.empty();
    switch (rule.test) {
    case Test::Argument: {
        if (!hasProgram) return;
        const std::size_t count = rule.patterns.size();
        for (std::size_t i = 0; i + count <= facts.words.size(); ++i) {
            std::size_t j = 0;
            while (j < count && MatchesWord(rule.patterns[j], facts.words[i + j])) ++j;
            if (j == count) return report(facts.words[i]);
        }
        return;
    }
    case Test::ArgumentFolder: {
        if (facts.arguments.empty() || rule.patterns.empty()) return;
        const std::string_view first = facts.arguments.front();
        const std::string path = ExpandNames(first.substr(0, first.find(',')), folders);
        const std::string folder = LowerAscii(FolderOf(path));
        for (const std::string& pattern : rule.patterns)
            if (InFolder(folder, pattern, folders)) return report(std::string(NameOf(path)));
        return;
    }
    case Test::Folder:
        for (const std::string& pattern : rule.patterns)
            if (InFolder(facts.folder, pattern, folders)) return report(facts.programName);
        return;
    case Test::SystemName:
        if (facts.folder.empty() || facts.programName != rule.program) return;
        for (const std::string& pattern : rule.patterns)
            if (InFolder(facts.folder, pattern, folders)) return;
        return report(facts.programName);
    case Test::Extension: {
        for (const std::string& extension : rule.patterns) {
            const std::string lower = LowerAscii(extension);
            if (hasProgram && facts.programName.ends_with(lower) && facts.programName.size() > lower.size())
                return report(lower);
        }
        for (const std::string& word : facts.words)
            for (const std::string& extension : rule.patterns) {
                const std::string lower = LowerAscii(extension);
                if (word.ends_with(lower) && word.size() > lower.size() && word.find("://") == std::string::npos)
                    return report(lower);
            }
        return;
    }
    case Test::DoubleExtension: {
        if (!hasProgram) return;
        const std::string_view name = facts.programName;
        for (const std::string_view last : kProgramExtensions) {
            if (!name.ends_with(last)) continue;
            std::string_view stem = TrimBlanks(name.substr(0, name.size() - last.size()));
            for (const std::string& inner : rule.patterns)
                if (stem.ends_with(LowerAscii(inner)) && stem.size() > inner.size()) return report(std::string(name));
        }
        return;
    }
    case Test::HiddenName: {
        // U+202A..U+202E (embeddings and overrides) and U+2066..U+2069 (isolates).
        const std::string_view path = facts.program;
        for (std::size_t i = 0; i + 2 < path.size(); ++i) {
            const auto b1 = static_cast<unsigned char>(path[i + 1]);
            const auto b2 = static_cast<unsigned char>(path[i + 2]);
            if (static_cast<unsigned char>(path[i]) == 0xE2 &&
                ((b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) || (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9)))
                return report();
        }
        return;
    }
    case Test::BlankRun: {
        if (!hasProgram) return;
        std::size_t least = 3;
        if (!rule.patterns.empty()) {
            const std::string& text = rule.patterns.front();
            if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                text.size() < 4)
                least = std::max<std::size_t>(2, std::stoul(text));
        }
        if (std::string(NameOf(facts.program)).find(std::string(least, ' ')) != std::string::npos) return report();
        return;
    }
    case Test::Url:
        for (const std::string& word : facts.words)
            for (const std::string_view scheme : {"http://", "https://", "ftp://"})
                if (word.find(scheme) != std::string::npos) return report(word);
        return;
    case Test::Unc: {
        const auto share = [](std::string_view path) {
            return path.starts_with("\\\\") && !path.starts_with("\\\\?\\") && !path.starts_with("\\\\.\\") &&
                   path.size() > 2;
        };
        if (share(facts.program)) return report(facts.program);
        for (const std::string& word : facts.words)
            if (share(word)) return report(word);
        return;
    }
    case Test::Ip:
        for (const std::string& host : facts.hosts)
            if (IsIpv4(host)) return report(host);
        for (const std::string& word : facts.words)
            if (IsIpv4(word)) return report(word);
        return;
    case Test::MaliciousHost:
        if (!isMaliciousHost) return;
        for (const std::string& host : facts.hosts)
            if (isMaliciousHost(host)) return report(host);
        return;
    case Test::Entry:
    case Test::NotDefault: {
        const std::size_t slash = rule.program.rfind('\\');
        if (slash == std::string::npos || facts.subject.item.empty()) return;
        const std::string_view keyEnd = std::string_view(rule.program).substr(0, slash);
        const std::string_view name = std::string_view(rule.program).substr(slash + 1);
        std::string where = LowerAscii(facts.subject.where);
        if (where.ends_with(" (32-bit)")) where.resize(where.size() - 9);
        if (!(where == keyEnd || where.ends_with("\\" + std::string(keyEnd))) || LowerAscii(facts.subject.item) != name)
            return;
        const std::string data = LowerAscii(TrimBlanks(facts.subject.data));
        if (rule.test == Test::Entry) {
            for (const std::string& pattern : rule.patterns)
                if (MatchesWord(LowerAscii(pattern), data)) return report(std::string(facts.subject.item));
            return;
        }
        if (data.empty()) return;
        for (const std::string& value : rule.patterns)
            if (LowerAscii(ExpandNames(value, folders)) == data) return;
        return report(std::string(facts.subject.item));
    }
    }
}

}  // namespace sentrel
