// What a task runs, read from its stored definition; a damaged one never more than what it holds.
#include <gtest/gtest.h>

#include <string>

#include "common/Utf8Text.h"
#include "monitors/TaskDefinitions.h"

namespace sentrel {
namespace {

const std::string kDefinition =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    "<Task version=\"1.4\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    "  <Actions Context=\"Author\">\r\n"
    "    <ComHandler><ClassId>{1}</ClassId></ComHandler>\r\n"
    "    <Exec>\r\n"
    "      <Command>\"C:\\Program Files\\Up date\\up.exe\"</Command>\r\n"
    "      <Arguments>/c &quot;a &amp; b&quot; &#x2192; &#169; &bogus;</Arguments>\r\n"
    "    </Exec>\r\n"
    "    <Exec><Command>C:\\x\\two.exe</Command><WorkingDirectory>C:\\x</WorkingDirectory></Exec>\r\n"
    "    <ExecX><Command>not an action</Command></ExecX>\r\n"
    "  </Actions>\r\n"
    "</Task>\r\n";

TEST(TaskDefinitions, ReadsTheExecActionsOfADefinitionInEitherEncoding) {
    const std::string utf16 = std::string(kUtf16LeByteOrderMark) + Utf16LeFromUtf8(kDefinition);
    for (const std::string& bytes : {utf16, "\xEF\xBB\xBF" + kDefinition}) {
        const std::vector<TaskAction> actions = TaskDefinitionExecActions(TaskDefinitionText(bytes));
        ASSERT_EQ(actions.size(), 2u);
        EXPECT_EQ(actions[0].program, "\"C:\\Program Files\\Up date\\up.exe\"");
        EXPECT_EQ(actions[0].arguments, "/c \"a & b\" \xE2\x86\x92 \xC2\xA9 &bogus;");
        EXPECT_EQ(actions[1].folder, "C:\\x");
    }
    // Wine keeps no actions: an empty Exec.
    EXPECT_EQ(TaskDefinitionExecActions("<Task><Actions>\n<Exec/>\n</Actions></Task>").size(), 1u);
}

TEST(TaskDefinitions, ADamagedDefinitionGivesOnlyWhatItHolds) {
    // Cut anywhere, the reading ends without a crash and never invents an action.
    for (std::size_t cut = 0; cut < kDefinition.size(); cut += 7) {
        const std::vector<TaskAction> actions = TaskDefinitionExecActions(kDefinition.substr(0, cut));
        EXPECT_LE(actions.size(), 2u);
        if (!actions.empty()) {
            EXPECT_EQ(actions[0].program, "\"C:\\Program Files\\Up date\\up.exe\"");
        }
    }
    EXPECT_TRUE(TaskDefinitionExecActions("<Actions><Exec><Command>&#99999999999;<").empty());
    const std::string huge = "<Actions>" + std::string(2 * 1024 * 1024, '<') + "</Actions>";
    EXPECT_TRUE(TaskDefinitionExecActions(huge).empty());
    std::string many = "<Actions>";
    for (int i = 0; i < 100; ++i) many += "<Exec><Command>a</Command></Exec>";
    EXPECT_EQ(TaskDefinitionExecActions(many + "</Actions>").size(), 32u);
}

}  // namespace
}  // namespace sentrel
