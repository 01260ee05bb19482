#include "ui/MessageBox.h"

#include <gtest/gtest.h>

namespace sentrel::ui {
namespace {

TEST(ReadableDetail, KeepsLettersOfEveryScriptAndDropsControlsAndBrokenBytes) {
    EXPECT_EQ(ReadableDetail("Отчёт 报告 😀"), "Отчёт 报告 😀");
    // Controls, stray and cut bytes, an overlong form, a surrogate, a C1 control: one '?' a run.
    EXPECT_EQ(ReadableDetail("a\r\n\x01" "b\xFF\xFE" "c\xE6\x8A" "d\xC0\xAF" "e\xED\xA0\x80" "f\xC2\x85" "g"),
              "a?b?c?d?e?f?g");
    EXPECT_EQ(ReadableDetail("报告报告", 3), "报告报...");  // cut between characters
}

}  // namespace
}  // namespace sentrel::ui
