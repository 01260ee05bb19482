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
        ".",
        "../database.db",
        "..\\options.ini",
        "sub/u.dat",
        "sub\\u.dat",
        "C:u.dat",
        "c:\\u.dat",
        "u.dat:stream",
        "u.dat::$DATA",
        "CON",
        "nul.dat",
        "com1",
        "LPT9.txt",
        "aux.",
        "u.dat.",
        "u dat",
        "database.db",
        "DATABASE.DB",
        "options.ini",
        "backups.ini",
        "white_list.txt",
        "Black_List.TXT",
        "Sentrel4.exe",
        "keys_to_watch.ini",
        "db_unpacked.dat",
        "update_unpacked.dat",
        "db",
        "graphics",
        "Help",
        "DATABA~1.DB",
        "u.dat\r\n",
        "u\x01.dat",
        "\xC3\xA9.dat",
        "%2e%2e",
        std::string(101, 'a'),
    };
    for (const std::string& entry : hostile) {
        SCOPED_TRACE(entry);
        EXPECT_FALSE(IsSafeUpdateEntryName(entry));
        EXPECT_THROW(ParseUpdateAnswer("update58.dat|" + entry + "|update60.dat"), UpdateAnswerError);
        EXPECT_THROW(ParseUpdateAnswer(entry + "|update58.dat"), UpdateAnswerError);
    }
    EXPECT_THROW(ParseUpdateAnswer("|"), UpdateAnswerError);
    EXPECT_THROW(ParseUpdateAnswer("a.dat||b.dat"), UpdateAnswerError);
    EXPECT_THROW(ParseUpdateAnswer(std::string(kMaxUpdateAnswerSize + 1, 'a')), UpdateAnswerError);
    for (const std::string& fine : {std::string("update58.dat"), std::string("u-1_2.DAT"), std::string("db58"),
                                    std::string("database58.db"), std::string(100, 'a')})
        EXPECT_TRUE(IsSafeUpdateEntryName(fine)) << fine;
}

}  // namespace
}  // namespace sentrel
