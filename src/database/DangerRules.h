#pragma once
// Why a finding looks dangerous: the rules of the DangerRules table judge what an autostart
// entry, a service, a task or a browser setting starts or points to, and give the reasons a user
// reads in the alert ("Why it looks dangerous: ..."). The rules are data, so that an update can
// change them; each row is a test word, the program it is about, a pattern and a reason:
//
//   argument         PROGRAM (a file name, or * for any) runs with consecutive argument words that
//                    match the blank-separated word patterns of PATTERN
//   argument-folder  PROGRAM's first argument (up to a comma) names a file in the PATTERN folder
//   folder           the program lies in the PATTERN folder
//   system-name      the program is named PROGRAM but lies in none of the PATTERN folders (;)
//   extension        the program, or a file among its arguments, ends in PATTERN (a list, ;)
//   double-extension the program's name ends in a program extension after one of PATTERN's (;)
//   hidden-name      the program's name holds a character that turns text around or hides it
//   blank-run        the program's name holds PATTERN blanks or more in a row
//   url, unc, ip     a web address, a network share or a bare IP address in the command line
//   malicious-host   a host of the malicious-hosts table in the command line or the address
//   entry            the entry PROGRAM ("<end of its key>\<its name>") has data matching PATTERN
//   not-default      the entry PROGRAM has data that is none of the PATTERN values (;)
//
// Word patterns and data patterns compare without regard to letter case: "text" is equal,
// "text*" begins with, "*text" ends with, "*text*" holds. Folder patterns begin with an
// environment name ("%TEMP%\"), or "?:" for any drive; "\" at the end is that folder itself,
// "\*" that folder and those below it. In a reason, %1 is the host, name or extension found.
//
// Finding the rules of a subject is a look-up by its program's name (and the few rules of every
// program), not a walk over every row. Rows with a test word this version does not know are
// skipped, so a newer table never breaks an older program.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class TDataBase;

inline constexpr std::string_view kDangerRulesTable = "DangerRules";
inline constexpr std::string_view kRuleTestColumn = "TEST";
inline constexpr std::string_view kRuleProgramColumn = "PROGRAM";
inline constexpr std::string_view kRulePatternColumn = "PATTERN";
inline constexpr std::string_view kRuleReasonColumn = "REASON";

// What a finding starts or points to. Any part may be empty.
struct DangerSubject {
    std::string_view command;  // the whole command line it runs
    std::string_view address;  // an address it points to: a home page, a search or update URL, a proxy
    std::string_view where;    // the entry's key or place ("HKLM\SOFTWARE\...\Winlogon")
    std::string_view item;     // the entry's name there (a value's name, a subkey's)
    std::string_view data;     // the entry's data as shown
};

struct DangerVerdict {
    std::vector<std::string> reasons;  // in the order of the rows, each once
    std::string maliciousHost;         // a host of the malicious-hosts table it names
    bool Empty() const { return reasons.empty(); }
};

// The folder of an environment name ("TEMP", "APPDATA") on this machine, without a trailing
// backslash; empty when it has none.
using FolderOfName = std::function<std::string(std::string_view name)>;
// Whether a host (lower case) is one of the malicious-hosts table.
using HostTest = std::function<bool(std::string_view host)>;

// The alert's line of the reasons: "Why it looks dangerous: <reason>; <reason>" with at most
// three of them; empty without reasons.
std::string DangerReasonsLine(const std::vector<std::string>& reasons);

// The hosts a command line or an address names: of web addresses, network shares and proxy
// settings ("host:port", "http=host:port;https=..."), in lower case, each once.
std::vector<std::string> HostsNamed(std::string_view text);

class TDangerRules {
public:
    TDangerRules() = default;
    // The rules of the database's DangerRules table; none without it.
    explicit TDangerRules(const TDataBase& dataBase);

    DangerVerdict Judge(const DangerSubject& subject, const FolderOfName& folders, const HostTest& isMaliciousHost) const;

    int RuleCount() const { return static_cast<int>(rules_.size()); }
    // Rows skipped for a test word this version does not know.
    int SkippedCount() const { return skipped_; }

    enum class Test {
        Argument,
        ArgumentFolder,
        Folder,
        SystemName,
        Extension,
        DoubleExtension,
        HiddenName,
        BlankRun,
        Url,
        Unc,
        Ip,
        MaliciousHost,
        Entry,
        NotDefault,
    };

private:
    struct Rule {
        Test test;
        std::string program;                // lower case
        std::vector<std::string> patterns;  // the words, folders, names or values of PATTERN
        std::string reason;
    };
    struct Found {
        std::size_t rule;
        std::string detail;  // what %1 becomes
    };
    struct Facts;

    void Apply(const Rule& rule, std::size_t index, const Facts& facts, const FolderOfName& folders,
               const HostTest& isMaliciousHost, std::vector<Found>& found) const;

    std::vector<Rule> rules_;
    std::map<std::string, std::vector<std::size_t>, std::less<>> byProgram_;  // argument rules by program
    std::vector<std::size_t> general_;  // every other rule
    int skipped_ = 0;
};

}  // namespace sentrel
