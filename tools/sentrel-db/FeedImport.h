#pragma once
// Public threat feeds turned into the host-name tables of the database (database/HostLists.h):
// the domain-only rules of the two EasyList files into TrackerDomains, the host and IP rules of
// the URLhaus list into MaliciousHosts, and the Public Suffix List into PublicSuffixes. Each
// table has one column, its cells in lower case, sorted byte for byte and each once.
//
// A line that is no rule (a comment, a header, a blank line) is only counted as a line. A rule
// of another kind is "skipped"; a rule whose host name is malformed is "bad": it is counted and
// reported, never guessed at.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/Table.h"

namespace sentrel::dbtool {

// The feed files, under the extension package's "thirdparties" folder.
inline constexpr std::string_view kEasyPrivacyPath = "easylist/easyprivacy.txt";
inline constexpr std::string_view kEasyListPath = "easylist/easylist.txt";
inline constexpr std::string_view kUrlhausPath = "urlhaus-filter/urlhaus-filter-online.txt";
inline constexpr std::string_view kPublicSuffixListPath = "publicsuffix.org/list/effective_tld_names.dat";

// What the import made of one feed file.
struct TFeedStats {
    std::string FileName;  // the bare name, as reported
    std::string RuleKind;  // what a taken rule is: "domain rules", "host rules", "rules"
    int Lines = 0;
    int Rules = 0;  // rules taken into the table
    int Skipped = 0;
    int Bad = 0;
    // "<file>:<line>: <reason>: <text>" for the first few bad lines.
    std::vector<std::string> Warnings;
};

// Each adds the rows of one feed's text to `rows` (unsorted; a row may come twice).
// ||domain^ rules without a path, with no options or only those that do not narrow the rule.
TFeedStats ReadTrackerDomains(std::string_view fileName, std::string_view text, std::vector<std::string>& rows);
// Bare host or IP lines and ||host^ rules (any options) without a path.
TFeedStats ReadMaliciousHosts(std::string_view fileName, std::string_view text, std::vector<std::string>& rows);
// Every rule as written ("*.ck", "!www.ck"); one with non-ASCII labels also in its ASCII form.
TFeedStats ReadPublicSuffixes(std::string_view fileName, std::string_view text, std::vector<std::string>& rows);

struct TImportedFeeds {
    std::vector<TFeedStats> Files;                // in the order read
    std::vector<std::unique_ptr<TTable>> Tables;  // TrackerDomains, MaliciousHosts, PublicSuffixes
};

// Reads the four feed files under `assetsFolder`. ToolError, before anything is parsed, when a
// file is missing or cannot be read.
TImportedFeeds ImportFeeds(const std::string& assetsFolder);

// Writes "<Table>.csv" for each table into `folder` (made when missing) in the form that dump
// writes, each file replaced in one step.
void WriteImportedTables(const TImportedFeeds& feeds, const std::string& folder);

}  // namespace sentrel::dbtool
