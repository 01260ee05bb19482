#pragma once
// The warning of a watched file that programs start from (monitors/FilePointsSource.h): a
// PowerShell profile, Word's Normal.dotm or a program the logon screen starts, new or with
// another content. (A new file in Word's or Excel's startup folder is a StartupFileWarning.)

#include <string>
#include <string_view>

#include "warnings/Warning.h"

namespace sentrel {

// Name is the file's name, FilePath the folder and the name, FirstLines what the alert shows of
// its content (monitors/FilePoints.h: FirstLinesShown; empty for content that is no text),
// Sha256 its digest as found (empty for a file too large to be read whole). Changed: the file
// was there with OldSha256 before. KeptCopy: the shield's copy of that earlier content, which
// the fix puts back (empty when there is none: the fix then moves the file away, as a new one).
// SystemFile: a file of the system's own folders, which the system file checker puts back.
class WatchedFileWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "WatchedFileWarning";

    WatchedFileWarning(std::string pointId, std::string pointName, std::string filePath);
    // True for a WatchedFileWarning of the same file with the same content (and, for a change,
    // the same content before).
    bool AreEqual(const TWarning& other) const override;

    // What the fix does: move the file into the backup, put its kept copy back, or have the
    // system file checker restore it.
    enum class Remedy { MoveAway, PutBack, SystemFileChecker };
    Remedy ChosenRemedy() const;

    std::string PointId;
    std::string PointName;  // "your PowerShell profile"
    std::string FilePath;
    std::string FirstLines;
    std::string Sha256;
    bool Changed = false;
    std::string OldSha256;
    std::string KeptCopy;
    bool SystemFile = false;
};

namespace texts {
WarningTexts WatchedFileTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
