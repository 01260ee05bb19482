// The rules that judge what an entry runs, and the host lookups, on any command line and any
// address (a registry value or a browser setting any program of the user can write): they never
// crash, and a verdict names only hosts the command or the address holds.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "database/DangerRules.h"
#include "database/DataBase.h"
#include "database/HostLists.h"

namespace {

using namespace sentrel;

std::unique_ptr<TTable> OneColumn(std::string name, std::string column, std::initializer_list<const char*> cells) {
    auto table = std::make_unique<TTable>(std::move(name));
    table->AddColumn(std::make_unique<TColumn>(std::move(column)));
    for (const char* cell : cells) {
        table->AddRow();
        table->GetColumn(0)->SetString(table->RowCount() - 1, cell);
    }
    return table;
}

// A few rules of every test word, and small host lists.
const TDataBase& Tables() {
    static const std::unique_ptr<TDataBase> dataBase = [] {
        auto made = std::make_unique<TDataBase>("fuzz.db", false, "");
        auto rules = std::make_unique<TTable>("DangerRules");
        for (const char* column : {"TEST", "PROGRAM", "PATTERN", "REASON"})
            rules->AddColumn(std::make_unique<TColumn>(column));
        const char* rows[][4] = {
            {"malicious-host", "", "", "%1 spread malware"},
            {"argument", "powershell.exe", "-w* hidden", "hidden"},
            {"argument", "powershell.exe", "*downloadstring*", "download"},
            {"argument", "*", "-e", "any -e"},
            {"argument-folder", "rundll32.exe", "%TEMP%\\*", "library %1"},
            {"folder", "", "?:\\$Recycle.Bin\\*", "bin"},
            {"folder", "", "%APPDATA%\\", "roaming"},
            {"system-name", "svchost.exe", "%SYSTEMROOT%\\System32\\", "named %1"},
            {"extension", "", ".js;.vbs", "script %1"},
            {"double-extension", "", ".pdf;.jpg", "double %1"},
            {"hidden-name", "", "", "hidden name"},
            {"blank-run", "", "3", "blanks"},
            {"url", "", "", "url"},
            {"unc", "", "", "unc"},
            {"ip", "", "", "ip %1"},
            {"entry", "Winlogon\\Shell", "*x*", "entry %1"},
            {"not-default", "Winlogon\\Userinit", "userinit.exe,", "userinit"},
        };
        for (const auto& row : rows) {
            rules->AddRow();
            for (int c = 0; c < 4; ++c) rules->GetColumn(c)->SetString(rules->RowCount() - 1, row[c]);
        }
        made->AddTable(std::move(rules));
        made->AddTable(OneColumn("MaliciousHosts", "HOST", {"1.2.3.4", "bad.example"}));
        made->AddTable(OneColumn("TrackerDomains", "DOMAIN", {"tracker.example", "ads.example.co.uk"}));
        made->AddTable(OneColumn("PublicSuffixes", "SUFFIX", {"com", "uk", "co.uk", "*.ck", "!www.ck", "example"}));
        return made;
    }();
    return *dataBase;
}

std::string FolderOf(std::string_view name) {
    if (name == "TEMP") return "C:\\Temp";
    if (name == "APPDATA") return "C:\\Users\\U\\AppData\\Roaming";
    if (name == "SYSTEMROOT") return "C:\\Windows";
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = bytes.find('\0');
    const std::string_view command = bytes.substr(0, split == std::string_view::npos ? bytes.size() : split);
    const std::string_view address = split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
    static const TDangerRules rules(Tables());
    static const THostLists hosts(Tables());
    const DangerVerdict verdict =
        rules.Judge({.command = command, .address = address, .where = "HKLM\\X\\Winlogon", .item = "Shell", .data = command},
                    FolderOf, [](std::string_view host) { return hosts.IsMaliciousHost(host); });
    // A named host is one the texts hold (letter case aside).
    if (!verdict.maliciousHost.empty() && !hosts.IsMaliciousHost(verdict.maliciousHost)) std::abort();
    (void)DangerReasonsLine(verdict.reasons);
    for (const std::string& host : HostsNamed(address)) {
        std::string domain;
        (void)hosts.IsTrackerHost(host, domain);
        (void)hosts.RegistrableDomain(host);
    }
    (void)hosts.RegistrableDomain(command);
    return 0;
}
