// The remedies of the warnings of processes, files, the autorun list, browser settings, registry
// entries, cookies and folders (Fix) and their undo from a backup record (Undo); the newer kinds
// have a file each (*RemediesWin.cpp), and RemediesWin.h holds what they share. A fix acts on a
// worker thread: it saves what it changes into the folder of the record its plan reserved and
// says in its outcome which keys the record gets (KeepRecord), written by the finish on the
// window thread; the threat database is asked again in the plan (the Check functions). Every
// undo acts from the record read whole and restores from the folder of the record's own code
// (never from what its "BackupFolder" says, which an edit could point at another record's
// files); the record is deleted by whoever ran the undo. Moves of files, cookies and folders are
// announced to the shield (markShieldMove) at both ends first, so the file monitor does not take
// the shield's own moves for an attack. What they need of the running shield comes with each
// call: the acts and the undos get the worker part of the WarningContext, the checks the whole.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "common/TextCase.h"
#include "platform/CookiesFolder.h"
#include "platform/Directory.h"
#include "platform/FolderLinks.h"
#include "platform/HiddenProcess.h"
#include "platform/ProcessRoutines.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/RegistryRaw.h"
#include "platform/Services.h"
#include "platform/ShellFiles.h"
#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"
#include "platform/WindowsVersion.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/AutostartPointIds.h"
#include "warnings/AutostartWarning.h"
#include "warnings/Backuper.h"
#include "warnings/FolderTree.h"
#include "warnings/RecordKeys.h"
#include "warnings/RemediesWin.h"
#include "warnings/RegistryFile.h"
#include "warnings/RootKeysWin.h"
#include "warnings/ServiceWarning.h"
#include "warnings/SystemFileChecker.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr const char* kExplorerText = "Sentrel 4 will restart Explorer in order to delete dangerous spyware part";
constexpr const char* kExplorerName = "explorer.exe";
constexpr DWORD kAfterKillWaitMs = 50;
constexpr DWORD kProcessEndTimeoutMs = 5000;

constexpr std::string_view kRegStringKey = "RegString";
constexpr std::string_view kRegTypeKey = "RegType";
constexpr std::string_view kRegDataKey = "RegData";
constexpr std::string_view kNewRegStringKey = "NewRegString";
constexpr std::string_view kFileKey = "File";
constexpr std::string_view kFolderKey = "Folder";
constexpr std::string_view kLinkTargetKey = "LinkTarget";

// --- The backup record ---

// The file name a record's key gives, when it is a plain name: a name that climbs out of the
// record's folder ("..\..\x") or names a folder is refused before anything is moved.
std::string PlainFileNameOf(const std::string& name) {
    if (!IsPlainFileName(name))
        throw std::runtime_error("The backup record names \"" + name +
                                 "\", which is no plain file name; nothing was restored");
    return name;
}

// --- Moves ---

void MarkShieldMove(const WarningWorkerContext& context, const std::string& path) {
    if (context.markShieldMove) context.markShieldMove(path);
}

// A plain file move of a fix or an undo, never over an existing file.
bool MoveForShield(const WarningWorkerContext& context, const std::string& from, const std::string& to) {
    MarkShieldMove(context, from);
    MarkShieldMove(context, to);
    return platform::MoveFileKeepingTarget(from, to);
}

// Moves a saved file back for an undo. A move that fails while the saved file is there and
// nothing is in its way would lose the file with the record, so it is raised and the record
// stays. A file already at the target wins: nothing is moved.
void RestoreFile(const WarningWorkerContext& context, const std::string& saved, const std::string& target) {
    if (FileExists(target) || FolderExists(target) || !FileExists(saved)) return;
    if (!MoveForShield(context, saved, target)) platform::ThrowLastError("MoveFileExA(\"" + saved + "\", \"" + target + "\")");
}

// Announces the move of a folder's contents: both folders and every entry of the first, at both
// ends (a subfolder moves as one entry).
void MarkFolderMove(const WarningWorkerContext& context, const std::string& from, const std::string& to) {
    MarkShieldMove(context, from);
    MarkShieldMove(context, to);
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(from + "*")) {
        MarkShieldMove(context, from + entry.Name);
        MarkShieldMove(context, to + entry.Name);
    }
}

std::string CookiesFolderForRemedies(const WarningWorkerContext& context) {
    if (context.cookiesFolder) return context.cookiesFolder();
    return CookiesFolder();
}

// --- Processes ---

// Ends the process that has `filePath` loaded; when that process is Explorer, the outcome tells
// the user. The very process found is ended, not the first one that shares its name.
void EndProcessHolding(const std::string& filePath, FixOutcome& outcome) {
    const std::optional<TFoundProcess> found = FindProcessByModule(filePath);
    if (!found) return;
    // While a handle is open, the system gives the identifier to no other process, so the one
    // ended below is the one found here.
    const platform::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, found->processId));
    if (found->exeName == kExplorerName) outcome.notices.push_back(kExplorerText);
    if (process && WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return;  // it ended meanwhile
    if (KillProcessById(found->processId) && process) {
        // Termination is asynchronous: the file stays locked until the process has gone.
        WaitForSingleObject(process.get(), kProcessEndTimeoutMs);
    }
}

// Whether a fix asks the threat database again, just before it moves anything, whether the thing
// the warning found is still a threat. A warning the black list settled is the user's own verdict
// and is not asked about; nothing is asked while the shield has not set the test.
template <class Test>
bool MustConfirm(const TWarning& warning, const Test& test) {
    return !warning.SettledByBlackList && static_cast<bool>(test);
}

// What changed since the finding is left in place: nothing was moved and no record was made.
[[noreturn]] void ThrowNoLongerAThreat(const TWarning& warning, const std::string& what, const std::string& subject) {
    LogEvent("fix " + std::string(warning.ClassName()) + ": " + subject + " is no longer a threat, left in place");
    throw ThreatGoneError(what + " " + subject +
                          " is gone or has changed since it was found and no longer matches the threat database; "
                          "nothing was removed.");
}

void ConfirmFile(const TWarning& warning, const std::string& filePath, const WarningWindowContext& context) {
    const auto& isKnownSpywareFile = context.isKnownSpywareFile;
    if (MustConfirm(warning, isKnownSpywareFile) && !isKnownSpywareFile(filePath))
        ThrowNoLongerAThreat(warning, "The file", filePath);
}

void MoveFileAway(const std::string& filePath, const NewBackupResult& record, FixOutcome& outcome,
                  const WarningWorkerContext& context) {
    EndProcessHolding(filePath, outcome);  // a refusal is no reason not to try the move
    Sleep(kAfterKillWaitMs);
    KeepRecord(outcome, {BackupString(kFilePathKey, filePath)});
    MoveForShield(context, filePath, record.folderPath + FileNamePart(filePath));  // a failure is not reported
}

// --- Registry ---

// The key of a registry warning as the registry editor names it, with its root and without a
// trailing backslash; a key of the 32-bit view by its WOW6432Node path.
std::string EditorKeyPath(const TAutorunAddWarning& warning) {
    return RootKeyName(warning.RootKey) + "\\" + WithoutTrailingBackslashes(ViewKeyPath(warning.Key, warning.View));
}

// The value as the registry has it now; std::nullopt when it is gone or cannot be read.
std::optional<platform::RawRegistryValue> ReadCurrentValue(HKEY root, const std::string& key, const std::string& value,
                                                           RegistryView view) noexcept {
    try {
        return platform::ReadRawValue(root, WithoutTrailingBackslashes(key), value, ViewFlag(view));
    } catch (...) {
        LogCaught("registry value backup");
        return std::nullopt;
    }
}

void DeleteValueQuietly(HKEY root, const std::string& key, const std::string& value, RegistryView view) noexcept {
    try {
        if (auto opened = platform::RegistryKey::Open(root, WithoutTrailingBackslashes(key),
                                                      platform::RegistryAccess::ReadWrite, ViewFlag(view)))
            opened->DeleteValue(value);
    } catch (...) {
        LogCaught("registry value removal");
        // Key or value missing, or no access: the fix goes on.
    }
}

void WriteValueBackup(const TRegistyWarning& warning, const std::string& file) {
    const HKEY root = RootHandle(warning.RootKey);
    RegistryFileValue backup;
    backup.name = warning.Value;
    if (const auto current = ReadCurrentValue(root, warning.Key, warning.Value, warning.View)) {
        backup.type = current->type;
        backup.data = current->data;
        if (backup.type == kRegSz) backup.quotedText = QuotableText(backup.data);
    } else {
        // The value is gone already: the file says what the warning saw.
        backup.type = kRegSz;
        backup.data = platform::Utf16FromUtf8(warning.RegString) + std::string(2, '\0');
        if (warning.RegString.find_first_of("\r\n") == std::string::npos) backup.quotedText = warning.RegString;
    }
    // A key of the 32-bit view is named by its path in the 64-bit view, which the registry editor
    // (a 64-bit program) imports into the same key.
    const std::string text = RegistryFileText(EditorKeyPath(warning), backup);
    WriteFileAtomically(file, std::string(kUtf16ByteOrderMark) + platform::Utf16FromUtf8(text));
}

}  // namespace

namespace remedies {

// --- Hooks ---

void FixKeyHook(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningWorkerContext&) {
    KillProcessByName(warning.Name);
}

void FixMouseHook(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningWorkerContext&) {
    KillProcessByName(warning.Name);
}

// --- Processes and files ---

void CheckProcess(const TWarning& warning, const WarningContext& context) {
    ConfirmFile(warning, WarningAs<TProcessWarning>(warning).FilePath, context.window);
}

void FixProcess(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                const WarningWorkerContext& context) {
    MoveFileAway(WarningAs<TProcessWarning>(warning).FilePath, record, outcome, context);
}

void CheckFile(const TWarning& warning, const WarningContext& context) {
    ConfirmFile(warning, WarningAs<TFileWarning>(warning).FilePath, context.window);
}

void FixFile(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
             const WarningWorkerContext& context) {
    MoveFileAway(WarningAs<TFileWarning>(warning).FilePath, record, outcome, context);
}

void UndoFile(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string path = record.GetString(kFilePathKey);
    if (!path.empty()) {
        const std::string name = PlainFileNameOf(FileNamePart(path));
        try {
            if (!FolderPart(path).empty()) CreateFolders(FolderPart(path));
        } catch (const FileError&) {
            LogCaught("undo of a file");
            // The move below fails and says why.
        }
        RestoreFile(context, record.folderPath + name, path);
    }
}

// Restoring the system's own files is the system file checker's work: the shield keeps no record
// of it and has nothing to undo. When the checker cannot be started, nothing was restored, and
// the user hears so rather than a success.
void FixFileChange(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningWorkerContext&) {
    const SystemFileCheckerLaunch launch =
        SystemFileCheckerFor(platform::WindowsFolder(), platform::IsNtFamily(platform::CurrentWindowsVersion()),
                             [](const std::string& path) { return FileExists(path); });
    if (!FileExists(launch.program) || !platform::ShellOpen(launch.program, launch.parameters, SW_SHOWNOACTIVATE))
        throw std::runtime_error("The system file checker " + launch.program + " could not be started, so " +
                                 warning.Name + " was not restored.");
    LogEvent("fix TFileChangeWarning: started " + launch.program + " " + launch.parameters);
}

// --- Registry ---

// The value goes with its own type and data in the record (RegString is only what the monitor
// showed of the data, so writing it back would lose its type). The point is held while the value
// goes and while an undo puts it back, so neither is reported as a new entry.
void FixAutorun(const TWarning& found, const NewBackupResult&, FixOutcome& outcome, const WarningWorkerContext& context) {
    const auto& warning = WarningAs<TAutorunAddWarning>(found);
    const HKEY root = RootHandle(warning.RootKey);
    const std::string key = WithoutTrailingBackslashes(warning.Key);
    std::optional<platform::RawRegistryValue> current;
    std::optional<platform::RegistryValue> shown;
    try {
        current = platform::ReadRawValue(root, key, warning.Value, ViewFlag(warning.View));
        if (auto opened = platform::RegistryKey::Open(root, key, platform::RegistryAccess::Read, ViewFlag(warning.View)))
            shown = opened->ReadValue(warning.Value);
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError(EditorKeyPath(warning), error);
    }
    if (!current || !shown)
        throw ThreatGoneError("The entry " + warning.Value + " of " + EditorKeyPath(warning) +
                              " is gone already; nothing was changed.");
    if (RegistryDataAsText(shown->type, shown->data) != warning.RegString)
        throw ThreatGoneError("The entry " + warning.Value + " of " + EditorKeyPath(warning) +
                              " has changed again since it was found; nothing was changed.");
    std::vector<BackupValue> keys = {BackupInteger(kRootKeyKey, static_cast<int>(warning.RootKey)),
                                     BackupString(kKeyKey, warning.Key), BackupString(kValueKey, warning.Value),
                                     BackupString(kRegStringKey, warning.RegString),
                                     BackupInteger(kRegTypeKey, static_cast<int>(current->type)),
                                     BackupString(kRegDataKey, HexFromBytes(current->data))};
    AddViewKey(keys, warning.View);
    if (!warning.PointId.empty()) keys.push_back(BackupString(kPointKey, warning.PointId));
    KeepRecord(outcome, std::move(keys));
    const AutostartPointHold hold(context, warning.PointId, warning.Value);
    try {
        if (auto opened = platform::RegistryKey::Open(root, key, platform::RegistryAccess::ReadWrite, ViewFlag(warning.View)))
            opened->DeleteValue(warning.Value);
    } catch (const platform::Win32Error& error) {
        LogCaught("autorun value removal");
        ThrowPointWriteError(EditorKeyPath(warning), error);
    }
}

void UndoAutorun(const BackupRecord& record, const WarningWorkerContext& context) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(record.GetInteger(kRootKeyKey)));
    const std::string key = WithoutTrailingBackslashes(record.GetString(kKeyKey));
    const std::string value = record.GetString(kValueKey);
    const std::optional<std::string> data = BytesFromHex(record.GetString(kRegDataKey));
    const RegistryView view = ViewOfRecord(record);
    // A record of an older version names no point: its key is one of the autorun list's.
    std::string point = record.GetString(kPointKey);
    if (point.empty()) point = KeyPointId(kAutorunPointKind, root, key, view);
    const AutostartPointHold hold(context, point, value);
    try {
        if (!record.GetString(kRegTypeKey).empty() && data) {
            const auto type = static_cast<DWORD>(record.GetInteger(kRegTypeKey));
            platform::WriteRawValue(RootHandle(root), key, value, type, *data, ViewFlag(view));
        } else {
            // A record of an older version: the program path as a plain string.
            platform::RegistryKey::Create(RootHandle(root), key, platform::RegistryAccess::ReadWrite, ViewFlag(view))
                .WriteString(value, record.GetString(kRegStringKey));
        }
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError(RootKeyName(root) + "\\" + ViewKeyPath(key, view), error);
    }
}

void FixBrowserSetting(const TWarning& found, const NewBackupResult&, FixOutcome& outcome, const WarningWorkerContext&) {
    const auto& warning = WarningAs<TBrowserSettingWarning>(found);
    std::vector<BackupValue> keys = {BackupInteger(kRootKeyKey, static_cast<int>(warning.RootKey)),
                                     BackupString(kKeyKey, warning.Key), BackupString(kValueKey, warning.Value),
                                     BackupString(kNewRegStringKey, warning.NewRegString)};
    AddViewKey(keys, warning.View);
    KeepRecord(outcome, std::move(keys));
    const std::string key = WithoutTrailingBackslashes(warning.Key);
    platform::RegistryKey::Create(RootHandle(warning.RootKey), key, platform::RegistryAccess::ReadWrite,
                                  ViewFlag(warning.View))
        .WriteString(warning.Value, warning.OldRegString);
    outcome.after = [root = warning.RootKey, key, value = warning.Value,
                     view = warning.View](const WarningWindowContext& context) {
        if (context.refreshWatchedValue) context.refreshWatchedValue(root, key, value, view);
    };
}

void UndoBrowserSetting(const BackupRecord& record, const WarningWorkerContext&) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(record.GetInteger(kRootKeyKey)));
    platform::RegistryKey::Create(RootHandle(root), WithoutTrailingBackslashes(record.GetString(kKeyKey)),
                                  platform::RegistryAccess::ReadWrite, ViewFlag(ViewOfRecord(record)))
        .WriteString(record.GetString(kValueKey), record.GetString(kNewRegStringKey));
}

void FixRegistryEntry(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                      const WarningWorkerContext& context) {
    const auto& warning = WarningAs<TRegistyWarning>(found);
    const bool wholeKey = warning.Value.empty() && warning.RegString.empty();
    // Whatever the row said: never a root's own values, never a whole key right below a root.
    const std::string viewKey = ViewKeyPath(warning.Key, warning.View);
    if (WithoutTrailingBackslashes(warning.Key).empty() || (wholeKey && !IsRemovableKeyPath(viewKey)))
        throw std::runtime_error("The registry key " + RootKeyName(warning.RootKey) + "\\" + viewKey +
                                 " is too near the root to be removed; nothing was changed");
    // The view is recorded for the reader of the record; the undo imports backup.reg, which
    // names the key by its path in the editor's view.
    std::vector<BackupValue> keys;
    AddViewKey(keys, warning.View);
    const HKEY root = RootHandle(warning.RootKey);
    const std::string file = record.folderPath + kRegistryBackupName;
    if (!wholeKey) {
        WriteValueBackup(warning, file);
        KeepRecord(outcome, std::move(keys));
        DeleteValueQuietly(root, warning.Key, warning.Value, warning.View);  // only now that backup.reg holds it
        return;
    }
    // A whole key: exported first (its path without a trailing backslash, which would escape the
    // closing quote), removed only once the export holds it.
    ExportKey(EditorKeyPath(warning), file, record.folderPath, context, "key");
    KeepRecord(outcome, std::move(keys));
    try {
        platform::DeleteKeyTree(root, WithoutTrailingBackslashes(warning.Key), ViewFlag(warning.View));
    } catch (...) {
        LogCaught("registry key removal");
        // No access: the key stays.
    }
}

void UndoRegistryEntry(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string folder = record.folderPath;
    if (!FileExists(folder + kRegistryBackupName))
        throw std::runtime_error("The backup " + folder + kRegistryBackupName + " is missing; nothing was restored");
    const std::string quotedFile = "\"" + folder + kRegistryBackupName + "\"";
    if (!RunRegistryEditor("/s " + quotedFile, "import " + quotedFile, folder, context.registryEditor))
        throw std::runtime_error("The registry editor could not import " + folder + kRegistryBackupName);
}

// --- Cookies and folders ---

void CheckCookie(const TWarning& warning, const WarningContext& context) {
    const std::string cookies = CookiesFolderForRemedies(context.worker);
    const auto& isTrackingCookie = context.window.isTrackingCookie;
    if (!cookies.empty() && MustConfirm(warning, isTrackingCookie)) {
        const std::string path = FolderWithSeparator(cookies) + warning.Name;
        if (!FileExists(path) || !isTrackingCookie(warning.Name)) ThrowNoLongerAThreat(warning, "The cookie", path);
    }
}

void FixCookie(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
               const WarningWorkerContext& context) {
    const std::string cookies = CookiesFolderForRemedies(context);
    KeepRecord(outcome, {BackupString(kFileKey, warning.Name)});
    // Without a cookies folder there is nothing to move (never the root of the current drive).
    if (!cookies.empty())
        MoveForShield(context, FolderWithSeparator(cookies) + warning.Name, record.folderPath + warning.Name);
}

void UndoCookie(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string name = record.GetString(kFileKey);
    const std::string cookies = CookiesFolderForRemedies(context);
    if (!name.empty() && !cookies.empty()) {
        const std::string plain = PlainFileNameOf(name);
        RestoreFile(context, record.folderPath + plain, FolderWithSeparator(cookies) + plain);
    }
}

// A folder that is a link (a junction or a symbolic link) goes as the link it is: its record keeps
// where it led, and nothing is moved through it, so a link to the Windows folder never takes the
// Windows folder with it. Where the link cannot be removed, nothing is changed.
void FixFolderLink(const TFolderWarning& warning, FixOutcome& outcome, const WarningWorkerContext& context) {
    const std::string folder = FolderWithSeparator(warning.FolderPath);
    const std::string target = platform::FolderLinkTarget(folder);
    MarkShieldMove(context, folder);
    try {
        platform::RemoveFolderLink(folder);
        KeepRecord(outcome, {BackupString(kFolderKey, warning.FolderPath), BackupString(kLinkTargetKey, target)});
    } catch (const platform::Win32Error& error) {
        LogCaught("folder link removal");
        throw std::runtime_error(folder + " is a link to " + (target.empty() ? "a folder that cannot be opened" : target) +
                                 " and the link could not be removed (" + error.what() +
                                 "); nothing was changed, and what it leads to was not touched");
    }
}

void CheckFolder(const TWarning& found, const WarningContext& context) {
    const auto& warning = WarningAs<TFolderWarning>(found);
    const std::string folder = FolderWithSeparator(warning.FolderPath);
    const auto& isSpywareFolder = context.window.isSpywareFolder;
    if (MustConfirm(warning, isSpywareFolder) && (!FolderExists(folder) || !isSpywareFolder(folder)))
        ThrowNoLongerAThreat(warning, "The folder", folder);
}

void FixFolder(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
               const WarningWorkerContext& context) {
    const auto& warning = WarningAs<TFolderWarning>(found);
    const std::string folder = FolderWithSeparator(warning.FolderPath);
    if (platform::IsFolderLink(folder)) return FixFolderLink(warning, outcome, context);
    KeepRecord(outcome, {BackupString(kFolderKey, warning.FolderPath)});
    MarkFolderMove(context, folder, record.folderPath);
    const bool moved = platform::ShellMove(folder + "*.*", record.folderPath);
    // What could not be moved has no backup: the folder is deleted only when everything went
    // (an empty folder gives the shell nothing to move and counts as moved).
    if (moved || platform::ListDirectory(folder + "*").empty()) DeleteFolderTree(folder);
}

void UndoFolder(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string folder = FolderWithSeparator(record.GetString(kFolderKey));
    const std::string saved = record.folderPath;
    if (folder.empty()) throw std::runtime_error("The backup record names no folder; nothing was restored");
    if (const std::string target = record.GetString(kLinkTargetKey); !target.empty()) {
        // The folder was a link: the link is made again, and never over what is there now.
        if (platform::QueryFileAttributes(WithoutTrailingBackslashes(folder)))
            throw std::runtime_error(folder + " exists again; the link to " + target + " was not made again");
        MarkShieldMove(context, folder);
        platform::CreateFolderLink(folder, target);
        return;
    }
    CreateFolders(folder);
    if (!platform::ListDirectory(saved + "*").empty()) {
        MarkFolderMove(context, saved, folder);
        if (!platform::ShellMove(saved + "*.*", folder))
            throw std::runtime_error("The saved contents of " + folder + " could not be moved back");
    }
}

}  // namespace remedies

}  // namespace sentrel
