#include "database/UpdateAnswer.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

using Entries = std::vector<std::string>;

TEST(UpdateAnswer, IndexQueryCarriesTheDataBaseNumber) {
    EXPECT_EQ(UpdateIndexQuery(57), "/update40.php?elem=&user_date=57");
    EXPECT_EQ(UpdateIndexUrl("http://updates.example.com", 1),
              "http://updates.example.com/update40.php?elem=&user_date=1");
    EXPECT_EQ(UpdateFileUrl("http://updates.example.com/s4", "u58.dat"), "http://updates.example.com/s4/u58.dat");
}

TEST(UpdateAnswer, SplitsAtBarsWithOneTrailingBarDropped) {
    EXPECT_EQ(SplitUpdateAnswer(""), Entries{});
    EXPECT_EQ(SplitUpdateAnswer("u1.dat"), Entries{"u1.dat"});
    EXPECT_EQ(SplitUpdateAnswer("u1.dat|u2.dat"), (Entries{"u1.dat", "u2.dat"}));
    EXPECT_EQ(SplitUpdateAnswer("u1.dat|u2.dat|"), (Entries{"u1.dat", "u2.dat"}));
    EXPECT_EQ(SplitUpdateAnswer("a|b|"), (Entries{"a", "b"}));
    // Empty entries are kept by the split (and refused by the parser).
    EXPECT_EQ(SplitUpdateAnswer("|"), Entries{""});
    EXPECT_EQ(SplitUpdateAnswer("a||b"), (Entries{"a", "", "b"}));
    EXPECT_EQ(SplitUpdateAnswer("a||"), (Entries{"a", ""}));
    EXPECT_EQ(ParseUpdateAnswer("update58.dat|update59.dat|"), (Entries{"update58.dat", "update59.dat"}));
    EXPECT_EQ(ParseUpdateAnswer(""), Entries{});
}

TEST(UpdateAnswer, OneHostileEntryRefusesTheWholeAnswer) {
    const std::string hostile[] = {
        "",
        "..",
        "../database.db",
        "..\\x.dat",
        "sub/u.dat",
        "C:u.dat",
        "u.dat:stream",
        "u.dat::$DATA",
        "nul.dat",
        "COM1.DAT",
        "u.dat.",
        "u dat.dat",
        "u.x.dat",
        ".dat",
        "version.dll",
        "winhttp.dll",
        "Sentrel4.exe",
        "database.db",
        "options.ini",
        "update58",
        "update58.dat.exe",
        "DATABA~1.dat",
        "u.dat\r\n",
        "\xC3\xA9.dat",
        std::string(61, 'a') + ".dat",
    };
    for (const std::string& entry : hostile) {
        SCOPED_TRACE(entry);
        EXPECT_FALSE(IsSafeUpdateEntryName(entry));
        EXPECT_THROW(ParseUpdateAnswer("update58.dat|" + entry + "|update60.dat"), UpdateAnswerError);
    }
    EXPECT_THROW(ParseUpdateAnswer("|"), UpdateAnswerError);
    EXPECT_THROW(ParseUpdateAnswer("a.dat||b.dat"), UpdateAnswerError);
    EXPECT_THROW(ParseUpdateAnswer(std::string(kMaxUpdateAnswerSize + 1, 'a')), UpdateAnswerError);
    for (const std::string& fine :
         {std::string("update58.dat"), std::string("u-1_2.DAT"), std::string(60, 'a') + ".dat"})
        EXPECT_TRUE(IsSafeUpdateEntryName(fine)) << fine;

    std::string many;
    for (int i = 1; i <= 64; ++i) many += "u" + std::to_string(i) + ".dat|";
    EXPECT_EQ(ParseUpdateAnswer(many).size(), 64u);
    EXPECT_THROW(ParseUpdateAnswer(many + "u65.dat"), UpdateAnswerError);
}

TEST(UpdateAnswer, PlainHttpOnlyForThisComputer) {
    for (const char* allowed : {"https://updates.example.com", "HTTPS://updates.example.com:8443/s4",
                                "http://localhost", "http://127.0.0.1:8080", "http://[::1]:9/s4"})
        EXPECT_TRUE(IsAllowedUpdateServer(allowed)) << allowed;
    for (const char* refused : {"http://updates.example.com", "http://localhost.example.com",
                                "http://127.0.0.1.example.com", "http://localhost@evil.example",
                                "http://localhost:80@evil.example", "http://[::1].evil", "ftp://localhost",
                                "https://", "updates.example.com", ""})
        EXPECT_FALSE(IsAllowedUpdateServer(refused)) << refused;
}

}  // namespace
}  // namespace sentrel
