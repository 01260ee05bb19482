// The fix and undo of a watched file that programs start from. A new file is moved into the
// record's folder and back, as a Startup folder's file. A changed one gets the content the shield
// kept of it back (the changed file kept in the record's folder, which the undo puts back); a
// changed program of the system's own folders is the system file checker's to restore, and where
// the checker cannot be started the user is told that nothing was done. Each acts only while the
// file is still what was reported, its undo only while the file is still what the fix left, and
// both hold the autostart point meanwhile so that their own change is not reported.
#include <windows.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "database/Sha256.h"
#include "platform/ProgramFolder.h"
#include "platform/ShellFiles.h"
#include "platform/StartupFolders.h"
#include "platform/Win32Error.h"
#include "platform/WindowsVersion.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/FilePointWarnings.h"
#include "warnings/RecordKeys.h"
#include "warnings/RemediesWin.h"
#include "warnings/SystemFileChecker.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

// A changed file's digest as the fix found it and as it left it.
constexpr std::string_view kContentBeforeKey = "ContentBefore";
constexpr std::string_view kContentAfterKey = "ContentAfter";

std::string DigestOf(const std::string& bytes) {
    return Sha256Hex(Sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

void ReplaceOrThrow(const WarningWorkerContext& context, const std::string& path, const std::string& bytes,
                    const std::string& what) {
    if (context.markShieldMove) context.markShieldMove(path);
    try {
        platform::ReplaceFileBytes(path, bytes);
    } catch (const platform::Win32Error& error) {
        ThrowChangeError(what, error.Code(), error.what());
    }
}

// The file's content, while it is still what was reported.
std::string ReportedContent(const WatchedFileWarning& warning) {
    if (!FileExists(warning.FilePath))
        throw ThreatGoneError("The file " + warning.FilePath + " is no longer there; nothing was changed.");
    std::string bytes = ReadFileText(warning.FilePath);
    if (!warning.Sha256.empty() && DigestOf(bytes) != warning.Sha256)
        throw ThreatGoneError("The file " + warning.FilePath +
                              " has changed again since it was found; nothing was changed.");
    return bytes;
}

void StartSystemFileChecker(const WatchedFileWarning& warning) {
    const SystemFileCheckerLaunch launch =
        SystemFileCheckerFor(platform::WindowsFolder(), platform::IsNtFamily(platform::CurrentWindowsVersion()),
                             [](const std::string& path) { return FileExists(path); });
    if (!FileExists(launch.program) || !platform::ShellOpen(launch.program, launch.parameters, SW_SHOWNOACTIVATE))
        throw std::runtime_error("The system file checker " + launch.program + " could not be started, so " +
                                 warning.FilePath + " was not restored; nothing was changed.");
    LogEvent("fix WatchedFileWarning: started " + launch.program + " " + launch.parameters + " for " +
             warning.FilePath);
}

void MoveAway(const WatchedFileWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
              const WarningWorkerContext& context) {
    ReportedContent(warning);
    const AutostartPointHold hold(context, warning.PointId);
    MoveOrThrow(context, warning.FilePath, record.folderPath + FileNamePart(warning.FilePath), warning.PointName);
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kFilePathKey, warning.FilePath)});
}

void PutBack(const WatchedFileWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
             const WarningWorkerContext& context) {
    if (!FileExists(warning.KeptCopy))
        throw std::runtime_error("Sentrel's copy of the earlier content of " + warning.FilePath +
                                 " is missing; nothing was changed.");
    const std::string kept = ReadFileText(warning.KeptCopy);
    if (DigestOf(kept) != warning.OldSha256)
        throw std::runtime_error("Sentrel's copy of the earlier content of " + warning.FilePath +
                                 " is damaged; nothing was changed.");
    const std::string found = ReportedContent(warning);
    WriteFileAtomically(record.folderPath + FileNamePart(warning.FilePath), found);
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kFilePathKey, warning.FilePath),
                         BackupInteger(kChangeKey, kChangedEntry), BackupString(kContentBeforeKey, DigestOf(found)),
                         BackupString(kContentAfterKey, warning.OldSha256)});
    const AutostartPointHold hold(context, warning.PointId, warning.FilePath);
    ReplaceOrThrow(context, warning.FilePath, kept, warning.PointName);
}

void UndoPutBack(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string path = record.GetString(kFilePathKey);
    const std::string name = FileNamePart(path);
    const std::string after = record.GetString(kContentAfterKey);
    if (path.empty() || !IsPlainFileName(name) || after.empty())
        throw std::runtime_error("The backup record names no file to put back; nothing was restored");
    const std::string saved = record.folderPath + name;
    if (!FileExists(saved)) throw std::runtime_error("The saved file " + saved + " is missing; nothing was restored");
    if (!FileExists(path)) throw std::runtime_error("The file " + path + " is gone; nothing was restored");
    if (DigestOf(ReadFileText(path)) != after)
        throw std::runtime_error("The file " + path +
                                 " has changed since Sentrel put it back; the saved one was left in the backup");
    const AutostartPointHold hold(context, record.GetString(kPointKey), path);
    ReplaceOrThrow(context, path, ReadFileText(saved), path);
}

}  // namespace

namespace remedies {

void FixWatchedFile(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                    const WarningWorkerContext& context) {
    const auto& warning = WarningAs<WatchedFileWarning>(found);
    switch (warning.ChosenRemedy()) {
    case WatchedFileWarning::Remedy::SystemFileChecker: return StartSystemFileChecker(warning);
    case WatchedFileWarning::Remedy::PutBack: return PutBack(warning, record, outcome, context);
    case WatchedFileWarning::Remedy::MoveAway: return MoveAway(warning, record, outcome, context);
    }
}

void UndoWatchedFile(const BackupRecord& record, const WarningWorkerContext& context) {
    if (record.GetInteger(kChangeKey) == kChangedEntry) return UndoPutBack(record, context);
    PutMovedFileBack(record, context);
}

}  // namespace remedies
}  // namespace sentrel
