// sentrel-db import: real lines of each public feed (and one malformed line each) and the rows the
// import makes of them.
#include <gtest/gtest.h>

#include "common/Files.h"
#include "sentrel-db/Punycode.h"
#include "support/TempFolder.h"
#include "support/ToolRunner.h"

namespace sentrel {
namespace {

using test::RunResult;
using test::RunTool;

TEST(Punycode, GivesTheAsciiNamesThePublicSuffixListGives) {
    // Pairs as the list names them in its comments ("// xn--fiqs8s ... : CN" above "中国").
    const std::pair<const char*, const char*> pairs[] = {
        {"中国", "xn--fiqs8s"},         {"امارات", "xn--mgbaam7a8h"},       {"срб", "xn--90a3ac"},
        {"рф", "xn--p1ai"},             {"公司.cn", "xn--55qx5d.cn"},         {"食狮.com.cn", "xn--85x722f.com.cn"},
        {"aéroport.ci", "xn--aroport-bya.ci"}, {"Bücher.DE", "xn--bcher-kva.de"}, {"WWW.Example.com", "www.example.com"},
    };
    for (const auto& [name, ascii] : pairs) EXPECT_EQ(dbtool::AsciiHostName(name), ascii) << name;
    EXPECT_EQ(dbtool::AsciiHostName("caf\xE9.fr"), std::nullopt);  // Windows-1252, not UTF-8
}

// A thirdparties folder holding the four feeds.
struct FeedFolder {
    test::TempFolder folder;
    std::string Assets() const { return folder / "thirdparties"; }

    FeedFolder() {
        Write("easylist/easyprivacy.txt",
              "[Adblock Plus 1.1]\n"
              "! Title: EasyPrivacy\n"
              "||scorecardresearch.com^$third-party\n||adrta.com^$third-party\n||0.0.0.1^\n"
              "||adobedtm.com^$third-party,domain=~adobe.com|~costco.com\n"
              "||ad.mail.ru^$image,~third-party\n"
              "@@||scorecardresearch.com^*/streamingtag_plugin_jwplayer.js\n"
              "||adservice.google.\n"
              "||metrics..example.com^\n");
        Write("easylist/easylist.txt",  // with CR LF line ends
              "[Adblock Plus 2.0]\r\n! Title: EasyList\r\n\r\n"
              "||adrta.com^\r\n||doubleclick.net^$popup\r\n||0i0i0i0.com^$document\r\n"
              "||bannersnack.com^$third-party,domain=~bannersnack.dev\r\n"
              "||cas.*.criteo.com^\r\n"
              "###AD_160\r\n"
              "/(https?:\\/\\/)104\\.154\\..{100,}/\r\n");
        Write("urlhaus-filter/urlhaus-filter-online.txt",
              "! Title: Online Malicious URL Blocklist\n"
              "! Updated: 2025-10-25T00:10:18Z\n"
              "1.1.104.12\n1.1.104.120\n123.ywxww.net\n132.red-81-42-249.staticip.rima-tde.net\n"
              "||wegrowcoaching.com^$all\n"
              "||windatem.com/mainwindow.dll^$all\n"
              "||2024.sci-hub.se/2294/7a43bb4cf6c57229b02a9604a1f4614e/skidmore1966.pdf^$all\n"
              "1.1.104.12:8080\n");
        Write("publicsuffix.org/list/effective_tld_names.dat",
              "// ck : https://www.iana.org/domains/root/db/ck.html\n"
              "*.ck\n!www.ck\n\n公司.cn\n中国\naéroport.ci\nuk.com\ncom\nbad rule\n");
    }
    void Write(const std::string& path, const std::string& text) const {
        CreateFolders(FolderPart(JoinPath(Assets(), path)));
        test::WriteTextFile(JoinPath(Assets(), path), text);
    }
};

TEST(FeedImport, TakesTheHostRulesOfEachFeedAndCountsTheRest) {
    const FeedFolder feeds;
    const std::string out = feeds.folder / "tables";
    const RunResult run = RunTool({"import", feeds.Assets(), out});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "easyprivacy.txt: 10 lines, 3 domain rules, 4 skipped, 1 bad\n"
              "easylist.txt: 10 lines, 3 domain rules, 4 skipped, 0 bad\n"
              "urlhaus-filter-online.txt: 10 lines, 5 host rules, 2 skipped, 1 bad\n"
              "effective_tld_names.dat: 10 lines, 7 rules, 0 skipped, 1 bad\n"
              "TrackerDomains.csv: 5 rows\n"
              "MaliciousHosts.csv: 5 rows\n"
              "PublicSuffixes.csv: 10 rows\n");
    // Each bad line is named with its file and line; none became a row.
    for (const char* warning : {"warning: easyprivacy.txt:10: an empty label: ||metrics..example.com^",
                                "warning: urlhaus-filter-online.txt:10: a character that a host name cannot hold",
                                "warning: effective_tld_names.dat:10: blanks inside the rule: bad rule"})
        EXPECT_NE(run.Err.find(warning), std::string::npos) << run.Err;

    EXPECT_EQ(ReadFileText(JoinPath(out, "TrackerDomains.csv")),
              "DOMAIN\n0.0.0.1\n0i0i0i0.com\nadrta.com\ndoubleclick.net\nscorecardresearch.com\n");
    EXPECT_EQ(ReadFileText(JoinPath(out, "MaliciousHosts.csv")),
              "HOST\n1.1.104.12\n1.1.104.120\n123.ywxww.net\n132.red-81-42-249.staticip.rima-tde.net\n"
              "wegrowcoaching.com\n");
    // International rules in both forms; the prefixes of wildcards and exceptions kept.
    EXPECT_EQ(ReadFileText(JoinPath(out, "PublicSuffixes.csv")),
              "SUFFIX\n!www.ck\n*.ck\naéroport.ci\ncom\nuk.com\nxn--55qx5d.cn\nxn--aroport-bya.ci\nxn--fiqs8s\n"
              "中国\n公司.cn\n");

    // The same feeds give the same bytes; the tables build into a database.
    const std::string again = feeds.folder / "again";
    ASSERT_EQ(RunTool({"import", feeds.Assets(), again}).ExitCode, 0);
    for (const char* name : {"TrackerDomains.csv", "MaliciousHosts.csv", "PublicSuffixes.csv"})
        EXPECT_EQ(ReadFileBytes(JoinPath(again, name)), ReadFileBytes(JoinPath(out, name))) << name;
    EXPECT_EQ(RunTool({"build", out, feeds.folder / "database.db"}).ExitCode, 0);
}

TEST(FeedImport, AMissingFeedStopsTheImportBeforeAnythingIsWritten) {
    const FeedFolder feeds;
    ASSERT_TRUE(RemoveFile(JoinPath(feeds.Assets(), "urlhaus-filter/urlhaus-filter-online.txt")));
    const std::string out = feeds.folder / "tables";
    CreateFolders(out);
    const RunResult run = RunTool({"import", feeds.Assets(), out});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(run.Err.starts_with("sentrel-db: the feed file")) << run.Err;
    EXPECT_NE(run.Err.find("urlhaus-filter-online.txt\" is missing"), std::string::npos) << run.Err;
    EXPECT_FALSE(FileExists(JoinPath(out, "TrackerDomains.csv")));
}

}  // namespace
}  // namespace sentrel
