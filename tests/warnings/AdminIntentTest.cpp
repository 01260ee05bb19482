#include "warnings/AdminIntent.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

const std::string kTicket(32, 'a');
const std::string kDigest = EntryDigest("1:61626300");

AdminRequest Removal(AdminTarget target, std::string item) {
    return AdminRequest{.ticket = kTicket, .target = target, .point = "values HKLM\\Software\\Run",
                        .view = RegistryView::Bits32, .item = std::move(item), .digest = kDigest};
}

std::optional<AdminRequest> Parsed(const std::vector<std::string>& arguments) {
    return ParseAdminArguments(arguments);
}

TEST(AdminIntent, RequestsGoThroughTheCommandLineUnchanged) {
    for (const AdminRequest& request :
         {Removal(AdminTarget::Value, "Name with blanks \"quoted\" & ünïcode"), Removal(AdminTarget::Value, ""),
          Removal(AdminTarget::Service, "svc"), Removal(AdminTarget::Task, "\\Folder\\Task")}) {
        const std::vector<std::string> arguments = AdminArguments(request);
        for (const std::string& argument : arguments) EXPECT_EQ(argument.find_first_of(" \t\"\\"), std::string::npos);
        const std::optional<AdminRequest> back = Parsed(arguments);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->target, request.target);
        EXPECT_EQ(back->point, request.point);
        EXPECT_EQ(back->item, request.item);
        EXPECT_EQ(back->view, RegistryView::Bits32);
        EXPECT_EQ(back->digest, request.digest);
        EXPECT_FALSE(back->undo);
    }
    const std::optional<AdminRequest> undo = Parsed({"/Undo", kTicket, "17"});
    ASSERT_TRUE(undo);
    EXPECT_TRUE(undo->undo);
    EXPECT_EQ(undo->change, "17");
}

TEST(AdminIntent, AnythingButAWellFormedRequestIsRefused) {
    std::vector<std::string> good = AdminArguments(Removal(AdminTarget::SubKey, "{CLSID}"));
    ASSERT_TRUE(Parsed(good));
    const auto with = [&good](std::size_t index, std::string value) {
        std::vector<std::string> changed = good;
        changed[index] = std::move(value);
        return changed;
    };
    EXPECT_FALSE(Parsed(with(0, "/ElevatedFix")));
    EXPECT_FALSE(Parsed(with(1, std::string(31, 'a'))));      // a short ticket
    EXPECT_FALSE(Parsed(with(1, std::string(32, 'A'))));      // not lower-case hex
    EXPECT_FALSE(Parsed(with(2, "file")));                    // no such target
    EXPECT_FALSE(Parsed(with(3, "x")));                       // no point
    EXPECT_FALSE(Parsed(with(3, "61")));                      // no leading x
    EXPECT_FALSE(Parsed(with(4, "16")));                      // no such view
    EXPECT_FALSE(Parsed(with(5, "x")));                       // an empty subkey name
    EXPECT_FALSE(Parsed(with(5, "x610062")));                 // a NUL inside a name
    EXPECT_FALSE(Parsed(with(5, "x6")));                      // half a byte
    EXPECT_FALSE(Parsed(with(6, kDigest.substr(1))));         // a short digest
    good.push_back("extra");
    EXPECT_FALSE(Parsed(good));
    EXPECT_FALSE(Parsed({"/Undo", kTicket, "1a"}));
    EXPECT_FALSE(Parsed({"/Undo", kTicket, ""}));
    EXPECT_FALSE(Parsed({"/Undo", kTicket, "12", "more"}));
    EXPECT_FALSE(Parsed({}));
}

TEST(AdminIntent, AnswersAndSavedKeysReadBackAndGarbageIsNoAnswer) {
    const AdminAnswer answer{.outcome = AdminOutcome::Gone, .message = "line one\nline two = x", .change = "42"};
    const std::optional<AdminAnswer> back = ParseAdminAnswer(AdminAnswerText(answer));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->outcome, AdminOutcome::Gone);
    EXPECT_EQ(back->message, answer.message);
    EXPECT_EQ(back->change, "42");
    EXPECT_FALSE(ParseAdminAnswer("[Answer]\nOutcome=Maybe\n"));
    EXPECT_FALSE(ParseAdminAnswer("[Answer]\nOutcome=Done\nChange=..\\x\n"));
    EXPECT_FALSE(ParseAdminAnswer(""));

    const std::vector<SavedRegistryEntry> tree = {
        {.key = ""},
        {.key = "", .isValue = true, .name = "", .type = 1, .data = std::string("a\0b", 3)},
        {.key = "Sub"},
        {.key = "Sub\\Deeper"},
        {.key = "Sub\\Deeper", .isValue = true, .name = "n = 1", .type = 4, .data = "\x01\x02\x03\x04"},
    };
    EXPECT_EQ(ParseSavedRegistryText(SavedRegistryText(tree)), tree);
    // A key outside the tree, one whose parent was not read, a value before its key, a cut line.
    EXPECT_FALSE(ParseSavedRegistryText("K 2e2e\n"));
    EXPECT_FALSE(ParseSavedRegistryText("K \nK 415c42\n"));
    EXPECT_FALSE(ParseSavedRegistryText("K \nV 41 61 1 00\n"));
    EXPECT_FALSE(ParseSavedRegistryText("K \nV  61 1 00"));
    EXPECT_FALSE(ParseSavedRegistryText("K \nK 41\nK 41\n"));
}

}  // namespace
}  // namespace sentrel
