// The native build has no remedies: every fix and undo refuses loudly instead of pretending.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"

namespace sentrel {
namespace {

TEST(WarningRemediesNative, FixAndUndoRefuseOutsideWindows) {
    test::TempFolder program;
    TBackuper backuper(program.Path());
    TFileWarning file("a.dll", program / "a.dll");
    TFolderWarning folder(program.Path(), program.Path());
    TKeyHookWarning hook("h.exe");
    const WarningContext context;
    for (TWarning* warning : std::initializer_list<TWarning*>{&file, &folder, &hook}) {
        warning->MakeTexts();
        EXPECT_THROW(warning->Fix(backuper, context), std::logic_error) << warning->ClassName();
    }
    EXPECT_THROW(ShieldWarningKind("TRegistyWarning").Undo(backuper, 0, context), std::logic_error);
    EXPECT_EQ(backuper.GetCount(), 0);  // nothing was recorded
}

}  // namespace
}  // namespace sentrel
