// The host-name lookups over the tables of the public feeds.
#include "database/HostLists.h"

#include <gtest/gtest.h>

#include "database/LookupTables.h"

namespace sentrel {
namespace {

using test::MakeDataBase;
using test::MakeTable;

TEST(HostLists, TrackerDomainsMatchTheHostAndItsParentsOnly) {
    // In table order, as the import writes them, and shuffled in mixed case, as a hand-made table
    // may hold them: the lookups must agree.
    const std::vector<std::string> sorted{"0.0.0.1", "adrta.com", "doubleclick.net", "scorecardresearch.com"};
    const std::vector<std::string> shuffled{"scorecardresearch.com", "DoubleClick.net", "0.0.0.1", "adrta.com"};
    for (const auto& domains : {sorted, shuffled}) {
        const auto dataBase = MakeDataBase(MakeTable("TrackerDomains", {{"DOMAIN", domains}}));
        const THostLists lists(*dataBase);
        EXPECT_EQ(lists.TrackerDomainCount(), 4);
        std::string domain;
        EXPECT_TRUE(lists.IsTrackerHost("b.scorecardresearch.com", domain));
        EXPECT_EQ(domain, "scorecardresearch.com");
        EXPECT_TRUE(lists.IsTrackerHost("Stats.G.DoubleClick.Net.", domain));
        EXPECT_EQ(domain, "doubleclick.net");
        EXPECT_TRUE(lists.IsTrackerHost("adrta.com"));
        for (const char* host : {"notscorecardresearch.com", "scorecardresearch.co", "scorecardresearch.com.evil.net",
                                 "com", "", ".", "1.0.0.0.1", "rta.com"})
            EXPECT_FALSE(lists.IsTrackerHost(host, domain)) << host;
        EXPECT_EQ(domain, "");
        EXPECT_TRUE(lists.IsTrackerHost("0.0.0.1"));
    }
    // Which of the two paths ran: no row numbers for a table in order.
    EXPECT_TRUE(TSortedColumn(*MakeDataBase(MakeTable("TrackerDomains", {{"DOMAIN", sorted}})), kTrackerDomainsTable,
                              kDomainColumn)
                    .InTableOrder());
    EXPECT_FALSE(TSortedColumn(*MakeDataBase(MakeTable("TrackerDomains", {{"DOMAIN", shuffled}})), kTrackerDomainsTable,
                               kDomainColumn)
                     .InTableOrder());
}

TEST(HostLists, MaliciousHostsMatchExactlyAndMissingTablesMatchNothing) {
    const auto dataBase = MakeDataBase(MakeTable(
        "MaliciousHosts", {{"HOST", {"wegrowcoaching.com", "1.1.104.12", "123.ywxww.net", "1.1.104.120"}}}));
    const THostLists lists(*dataBase);
    EXPECT_TRUE(lists.IsMaliciousHost("1.1.104.12"));
    EXPECT_TRUE(lists.IsMaliciousHost("WeGrowCoaching.com."));
    for (const char* host : {"1.1.104.1", "1.1.104.121", "www.wegrowcoaching.com", "ywxww.net", ""})
        EXPECT_FALSE(lists.IsMaliciousHost(host)) << host;
    EXPECT_FALSE(lists.IsTrackerHost("wegrowcoaching.com"));
    EXPECT_EQ(lists.RegistrableDomain("www.wegrowcoaching.com"), "wegrowcoaching.com");  // the default rule
}

TEST(HostLists, RegistrableDomainFollowsTheRulesOfThePublicSuffixList) {
    // Rules of the list, unsorted; the cases are from the list's own test vectors.
    const auto dataBase = MakeDataBase(MakeTable(
        "PublicSuffixes",
        {{"SUFFIX", {"com", "*.ck", "!www.ck", "jp", "ac.jp", "kyoto.jp", "ide.kyoto.jp", "*.kobe.jp",
                     "!city.kobe.jp", "uk.com", "*.mm", "cn", "com.cn", "公司.cn", "xn--55qx5d.cn", "biz"}}}));
    const THostLists lists(*dataBase);
    const std::pair<const char*, const char*> cases[] = {
        {"COM", ""}, {"WwW.example.COM", "example.com"}, {".example.com", ""}, {"a..example.com", ""},
        {"example", ""}, {"b.example.example", "example.example"}, {"uk.com", ""},
        {"b.example.uk.com", "example.uk.com"}, {"c.mm", ""}, {"a.b.c.mm", "b.c.mm"},
        {"test.ac.jp", "test.ac.jp"}, {"www.test.jp", "test.jp"}, {"ide.kyoto.jp", ""},
        {"a.b.ide.kyoto.jp", "b.ide.kyoto.jp"}, {"c.kobe.jp", ""}, {"a.b.c.kobe.jp", "b.c.kobe.jp"},
        {"city.kobe.jp", "city.kobe.jp"}, {"www.city.kobe.jp", "city.kobe.jp"}, {"ck", ""}, {"test.ck", ""},
        {"a.b.test.ck", "b.test.ck"}, {"www.ck", "www.ck"}, {"www.www.ck", "www.ck"}, {"公司.cn", ""},
        {"食狮.公司.cn", "食狮.公司.cn"}, {"shishi.xn--55qx5d.cn", "shishi.xn--55qx5d.cn"},
        {"www.xn--85x722f.com.cn", "xn--85x722f.com.cn"}, {"192.168.0.1", ""}, {"[::1]", ""},
    };
    for (const auto& [host, domain] : cases) EXPECT_EQ(lists.RegistrableDomain(host), domain) << host;
}

}  // namespace
}  // namespace sentrel
