// The native build has no remedies: every Fix and Undo refuses loudly instead of pretending.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"
#include "warnings/WarningRegistry.h"

namespace sentrel {
namespace {

TEST(WarningRemediesNative, FixAndUndoRefuseOutsideWindows) {
    test::TempFolder program;
    TBackuper backuper(program.Path());
    TFileWarning file("a.dll", program / "a.dll");
    TFolderWarning folder(program.Path(), program.Path());
    EXPECT_THROW(file.Fix(backuper), std::logic_error);
    EXPECT_THROW(folder.Fix(backuper), std::logic_error);
    EXPECT_THROW(TKeyHookWarning("h.exe").Fix(backuper), std::logic_error);
    EXPECT_THROW(FindWarningClass("TRegistyWarning")->Undo(backuper, 0), std::logic_error);
    EXPECT_EQ(backuper.GetCount(), 0);  // nothing was recorded
}

}  // namespace
}  // namespace sentrel
