#include "warnings/FilePointWarnings.h"

#include <utility>

#include "common/Files.h"
#include "common/SafeDisplayText.h"

namespace sentrel {

WatchedFileWarning::WatchedFileWarning(std::string pointId, std::string pointName, std::string filePath)
    : TWarning(ShieldWarningKind(kClassName), FileNamePart(filePath)),
      PointId(std::move(pointId)),
      PointName(std::move(pointName)),
      FilePath(std::move(filePath)) {}

bool WatchedFileWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const WatchedFileWarning*>(&other);
    return same && same->FilePath == FilePath && same->Sha256 == Sha256 && same->Changed == Changed &&
           same->OldSha256 == OldSha256;
}

WatchedFileWarning::Remedy WatchedFileWarning::ChosenRemedy() const {
    if (!Changed) return Remedy::MoveAway;
    if (SystemFile) return Remedy::SystemFileChecker;
    return KeptCopy.empty() ? Remedy::MoveAway : Remedy::PutBack;
}

namespace texts {

WarningTexts WatchedFileTexts(const TWarning& found) {
    const auto& warning = WarningAs<WatchedFileWarning>(found);
    const std::string name = ShownName(warning.Name);
    const std::string point = ShownName(warning.PointName);
    const std::string path = ShownPath(warning.FilePath);
    // The lines are made safe to show where they are read; only their breaks are kept.
    // The first lines come before the path, which may be long: the box shows its first lines.
    const std::string where = warning.FirstLines.empty()
                                  ? ": " + path + ". "
                                  : ". It begins:\n" + warning.FirstLines + "\nThe file is " + path + ". ";
    const std::string movedLine = "File " + name + " was moved out of " + point;
    if (warning.SystemFile) {
        const std::string why = " The logon screen starts it for anyone, before anyone logs on.";
        if (warning.Changed) {
            return {.title = "Program of the logon screen is replaced",
                    .description = "The file of " + point + " was replaced by another program: " + path + "." + why +
                                   " Click Shield me to have the system file checker restore it or Ignore to "
                                   "permit it.",
                    .picture = "bug",
                    .danger = "_red",
                    .identity = path};
        }
        return {.title = "New program of the logon screen",
                .description = "A program was added as " + point + ": " + path + "." + why +
                               " Click Shield me to remove it or Ignore to permit it.",
                .picture = "bug",
                .danger = "_red",
                .backupLine = movedLine,
                .identity = path};
    }
    if (!warning.Changed) {
        return {.title = "New startup file",
                .description = "A file was added as " + point + where + "Click Shield me to remove it or Ignore to permit it.",
                .picture = "what",
                .backupLine = movedLine,
                .identity = path};
    }
    const bool putBack = warning.ChosenRemedy() == WatchedFileWarning::Remedy::PutBack;
    return {.title = "Startup file is changed",
            .description = "The file of " + point + " was changed" +
                           (warning.FirstLines.empty() ? where : ". It begins now:\n" + warning.FirstLines + "\nThe file is " + path + ". ") +
                           (putBack ? "Click Shield me to put its earlier content back or Ignore to permit it."
                                    : "Sentrel keeps no copy of its earlier content. Click Shield me to move it "
                                      "into the backup or Ignore to permit it."),
            .picture = "garbage",
            .backupLine = putBack ? "File " + name + " of " + point + " got its earlier content back" : movedLine,
            .identity = path};
}

}  // namespace texts
}  // namespace sentrel
