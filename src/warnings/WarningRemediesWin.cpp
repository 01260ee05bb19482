// The remedies of the warnings (Fix) and their undo from a backup record (Undo). A fix acts on a
// worker thread: it saves what it changes into the folder of the record its plan reserved and
// says in its outcome which keys the record gets (KeepRecord), written by the finish on the
// window thread; the threat database is asked again in the plan (the Check functions). Every
// undo acts from the record read whole and restores from the folder of the record's own code
// (never from what its "BackupFolder" says, which an edit could point at another record's
// files); the record is deleted by whoever ran the undo. Moves of files, cookies and folders are
// announced to the shield (markShieldMove) at both ends first, so the file monitor does not take
// the shield's own moves for an attack. What they need of the running shield comes in the
// WarningContext of each call.
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
#include "warnings/AutostartWarning.h"
#include "warnings/Backuper.h"
#include "warnings/FolderTree.h"
#include "warnings/RecordKeys.h"
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
constexpr const char* kRegistryBackupName = "backup.reg";
constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";
constexpr DWORD kAfterKillWaitMs = 50;
constexpr DWORD kProcessEndTimeoutMs = 5000;
constexpr DWORD kRegistryEditorTimeoutMs = 120000;
constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED (not in every set of headers)

constexpr std::string_view kRegStringKey = "RegString";
constexpr std::string_view kRegTypeKey = "RegType";
constexpr std::string_view kRegDataKey = "RegData";
constexpr std::string_view kNewRegStringKey = "NewRegString";
constexpr std::string_view kFileKey = "File";
constexpr std::string_view kFolderKey = "Folder";
constexpr std::string_view kLinkTargetKey = "LinkTarget";

// --- The backup record ---

// The finish writes the reserved record with these keys. A fix that fails before it calls this
// (or throws after) leaves no record that promises an undo.
void KeepRecord(FixOutcome& outcome, std::vector<BackupValue> keys) {
    outcome.keepRecord = true;
    outcome.recordKeys = std::move(keys);
}

// The file name a record's key gives, when it is a plain name: a name that climbs out of the
// record's folder ("..\..\x") or names a folder is refused before anything is moved.
std::string PlainFileNameOf(const std::string& name) {
    if (!IsPlainFileName(name))
        throw std::runtime_error("The backup record names \"" + name +
                                 "\", which is no plain file name; nothing was restored");
    return name;
}

// --- Moves ---

void MarkShieldMove(const WarningContext& context, const std::string& path) {
    if (context.markShieldMove) context.markShieldMove(path);
}

// A plain file move of a fix or an undo, never over an existing file.
bool MoveForShield(const WarningContext& context, const std::string& from, const std::string& to) {
    MarkShieldMove(context, from);
    MarkShieldMove(context, to);
    return platform::MoveFileKeepingTarget(from, to);
}

// Moves a saved file back for an undo. A move that fails while the saved file is there and
// nothing is in its way would lose the file with the record, so it is raised and the record
// stays. A file already at the target wins: nothing is moved.
void RestoreFile(const WarningContext& context, const std::string& saved, const std::string& target) {
    if (FileExists(target) || FolderExists(target) || !FileExists(saved)) return;
    if (!MoveForShield(context, saved, target)) platform::ThrowLastError("MoveFileExA(\"" + saved + "\", \"" + target + "\")");
}

// Announces the move of a folder's contents: both folders and every entry of the first, at both
// ends (a subfolder moves as one entry).
void MarkFolderMove(const WarningContext& context, const std::string& from, const std::string& to) {
    MarkShieldMove(context, from);
    MarkShieldMove(context, to);
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(from + "*")) {
        MarkShieldMove(context, from + entry.Name);
        MarkShieldMove(context, to + entry.Name);
    }
}

std::string CookiesFolderForRemedies(const WarningContext& context) {
    if (context.cookiesFolder) return context.cookiesFolder();
    return CookiesFolder();
}

std::string WithTrailingBackslash(std::string folder) {
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
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

void ConfirmFile(const TWarning& warning, const std::string& filePath, const WarningContext& context) {
    const auto& isKnownSpywareFile = context.isKnownSpywareFile;
    if (MustConfirm(warning, isKnownSpywareFile) && !isKnownSpywareFile(filePath))
        ThrowNoLongerAThreat(warning, "The file", filePath);
}

void MoveFileAway(const std::string& filePath, const NewBackupResult& record, FixOutcome& outcome,
                  const WarningContext& context) {
    EndProcessHolding(filePath, outcome);  // a refusal is no reason not to try the move
    Sleep(kAfterKillWaitMs);
    KeepRecord(outcome, {BackupString(kFilePathKey, filePath)});
    MoveForShield(context, filePath, record.folderPath + FileNamePart(filePath));  // a failure is not reported
}

// --- Registry ---

HKEY RootHandle(RegistryRoot root) {
    return ToHkey(root);
}

// The key of a registry warning as the registry editor names it, with its root and without a
// trailing backslash; a key of the 32-bit view by its WOW6432Node path.
std::string EditorKeyPath(const TAutorunAddWarning& warning) {
    return RootKeyName(warning.RootKey) + "\\" + WithoutTrailingBackslashes(ViewKeyPath(warning.Key, warning.View));
}

// The record key that names a warning's view; records without it (and every record of the
// 64-bit view, as before views were told apart) are of the 64-bit view.
void AddViewKey(std::vector<BackupValue>& keys, RegistryView view) {
    if (view != RegistryView::Bits64) keys.push_back(BackupString(kViewKey, RegistryViewNumber(view)));
}

RegistryView ViewOfRecord(const BackupRecord& record) {
    return RegistryViewFromNumber(record.GetString(kViewKey));
}

// The text of a REG_SZ value that can be written in quotes and reads back as the same bytes.
std::optional<std::string> QuotableText(const std::string& data) {
    if (data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 2] != '\0' || data.back() != '\0')
        return std::nullopt;
    const std::string units = data.substr(0, data.size() - 2);
    for (std::size_t i = 0; i < units.size(); i += 2)
        if (units[i] == '\0' && units[i + 1] == '\0') return std::nullopt;
    const std::string text = platform::Utf8FromUtf16(units);
    if (platform::Utf16FromUtf8(text) != units) return std::nullopt;
    if (text.find_first_of("\r\n") != std::string::npos) return std::nullopt;
    return text;
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

// Runs the registry editor hidden in `folder` with `arguments` and waits for it; the program's
// own current folder is never changed. Where the registry editor asks for elevation
// (an administrator under user account control: CreateProcess refuses it with
// ERROR_ELEVATION_REQUIRED), its console counterpart "reg.exe" does the same export or import
// with `consoleArguments` and asks for nothing. True when it ended in time with exit code 0.
// Both are started by their full path in the system's folders: by bare name, the search would
// take a "regedit.exe" planted in the program folder or the current folder first.
std::string InSystemFolder(const std::string& folder, const char* program) {
    return "\"" + WithTrailingBackslash(folder) + program + "\"";
}

bool RunRegistryEditor(const std::string& arguments, const std::string& consoleArguments, const std::string& folder,
                       const std::string& editor) {
    std::optional<DWORD> exitCode;
    try {
        const std::string program = editor.empty() ? InSystemFolder(platform::WindowsFolder(), "regedit.exe")
                                                   : "\"" + editor + "\"";
        exitCode = platform::RunHiddenAndWait(program + " " + arguments, folder, kRegistryEditorTimeoutMs);
    } catch (const platform::Win32Error& error) {
        LogCaught("registry editor");
        if (error.Code() == kElevationRequired) {
            try {
                exitCode = platform::RunHiddenAndWait(
                    InSystemFolder(platform::SystemFolder(), "reg.exe") + " " + consoleArguments, folder,
                    kRegistryEditorTimeoutMs);
            } catch (const platform::Win32Error&) {
                LogCaught("registry editor, elevated");
                exitCode.reset();
            }
        }
    }
    return exitCode && *exitCode == 0;
}

// Has the registry editor export the key `keyPath` (as the editor names it) into `file`, both
// quoted so that a path with blanks goes whole; the file by its full path, so nothing depends on
// the folder either program starts in. Throws, saying that `what` is left as it is, unless the
// editor ended in time, said it succeeded and left an export that holds the key: a timeout, a
// failure or a half-written file leaves the key and no record.
void ExportKey(const std::string& keyPath, const std::string& file, const std::string& folder,
               const WarningContext& context, const std::string& what) {
    const std::string quotedKey = "\"" + keyPath + "\"";
    const std::string quotedFile = "\"" + file + "\"";
    const bool exported = RunRegistryEditor("/e " + quotedFile + " " + quotedKey,
                                            "export " + quotedKey + " " + quotedFile + " /y", folder,
                                            context.registryEditor);
    bool complete = false;
    try {
        complete = exported && IsRegistryExportOf(ReadFileText(file), keyPath);
    } catch (const FileError&) {
        LogCaught("registry export check");
    }
    if (!complete)
        throw std::runtime_error("The registry editor did not export " + keyPath + "; the " + what +
                                 " is left as it is");
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

void FixKeyHook(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningContext&) {
    KillProcessByName(warning.Name);
}

void FixMouseHook(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningContext&) {
    KillProcessByName(warning.Name);
}

// --- Processes and files ---

void CheckProcess(const TWarning& warning, const WarningContext& context) {
    ConfirmFile(warning, WarningAs<TProcessWarning>(warning).FilePath, context);
}

void FixProcess(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                const WarningContext& context) {
    MoveFileAway(WarningAs<TProcessWarning>(warning).FilePath, record, outcome, context);
}

void CheckFile(const TWarning& warning, const WarningContext& context) {
    ConfirmFile(warning, WarningAs<TFileWarning>(warning).FilePath, context);
}

void FixFile(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
             const WarningContext& context) {
    MoveFileAway(WarningAs<TFileWarning>(warning).FilePath, record, outcome, context);
}

void UndoFile(const BackupRecord& record, const WarningContext& context) {
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
void FixFileChange(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningContext&) {
    const SystemFileCheckerLaunch launch =
        SystemFileCheckerFor(platform::WindowsFolder(), platform::IsNtFamily(platform::CurrentWindowsVersion()),
                             [](const std::string& path) { return FileExists(path); });
    if (!FileExists(launch.program) || !platform::ShellOpen(launch.program, launch.parameters, SW_SHOWNOACTIVATE))
        throw std::runtime_error("The system file checker " + launch.program + " could not be started, so " +
                                 warning.Name + " was not restored.");
    LogEvent("fix TFileChangeWarning: started " + launch.program + " " + launch.parameters);
}

// --- Registry ---

void FixAutorun(const TWarning& found, const NewBackupResult&, FixOutcome& outcome, const WarningContext&) {
    const auto& warning = WarningAs<TAutorunAddWarning>(found);
    const HKEY root = RootHandle(warning.RootKey);
    // The value's own type and data: RegString is only the program path taken from the data, so
    // writing it back would lose the arguments and quotes around it.
    std::vector<BackupValue> keys = {BackupInteger(kRootKeyKey, static_cast<int>(warning.RootKey)),
                                     BackupString(kKeyKey, warning.Key), BackupString(kValueKey, warning.Value),
                                     BackupString(kRegStringKey, warning.RegString)};
    if (const auto current = ReadCurrentValue(root, warning.Key, warning.Value, warning.View)) {
        keys.push_back(BackupInteger(kRegTypeKey, static_cast<int>(current->type)));
        keys.push_back(BackupString(kRegDataKey, HexFromBytes(current->data)));
    }
    AddViewKey(keys, warning.View);
    KeepRecord(outcome, std::move(keys));
    DeleteValueQuietly(root, warning.Key, warning.Value, warning.View);
    outcome.after = [](const WarningContext& context) {
        if (context.runAutorunPass) context.runAutorunPass();
    };
}

void UndoAutorun(const BackupRecord& record, const WarningContext&) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(record.GetInteger(kRootKeyKey)));
    const std::string key = WithoutTrailingBackslashes(record.GetString(kKeyKey));
    const std::string value = record.GetString(kValueKey);
    const std::optional<std::string> data = BytesFromHex(record.GetString(kRegDataKey));
    const REGSAM view = ViewFlag(ViewOfRecord(record));
    if (!record.GetString(kRegTypeKey).empty() && data) {
        const auto type = static_cast<DWORD>(record.GetInteger(kRegTypeKey));
        platform::WriteRawValue(RootHandle(root), key, value, type, *data, view);
    } else {
        // A record of an older version: the program path as a plain string.
        platform::RegistryKey::Create(RootHandle(root), key, platform::RegistryAccess::ReadWrite, view)
            .WriteString(value, record.GetString(kRegStringKey));
    }
}

void FixBrowserSetting(const TWarning& found, const NewBackupResult&, FixOutcome& outcome, const WarningContext&) {
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
                     view = warning.View](const WarningContext& context) {
        if (context.refreshWatchedValue) context.refreshWatchedValue(root, key, value, view);
    };
}

void UndoBrowserSetting(const BackupRecord& record, const WarningContext&) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(record.GetInteger(kRootKeyKey)));
    platform::RegistryKey::Create(RootHandle(root), WithoutTrailingBackslashes(record.GetString(kKeyKey)),
                                  platform::RegistryAccess::ReadWrite, ViewFlag(ViewOfRecord(record)))
        .WriteString(record.GetString(kValueKey), record.GetString(kNewRegStringKey));
}

void FixRegistryEntry(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                      const WarningContext& context) {
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

void UndoRegistryEntry(const BackupRecord& record, const WarningContext& context) {
    const std::string folder = record.folderPath;
    if (!FileExists(folder + kRegistryBackupName))
        throw std::runtime_error("The backup " + folder + kRegistryBackupName + " is missing; nothing was restored");
    const std::string quotedFile = "\"" + folder + kRegistryBackupName + "\"";
    if (!RunRegistryEditor("/s " + quotedFile, "import " + quotedFile, folder, context.registryEditor))
        throw std::runtime_error("The registry editor could not import " + folder + kRegistryBackupName);
}

// --- Cookies and folders ---

void CheckCookie(const TWarning& warning, const WarningContext& context) {
    const std::string cookies = CookiesFolderForRemedies(context);
    const auto& isTrackingCookie = context.isTrackingCookie;
    if (!cookies.empty() && MustConfirm(warning, isTrackingCookie)) {
        const std::string path = WithTrailingBackslash(cookies) + warning.Name;
        if (!FileExists(path) || !isTrackingCookie(warning.Name)) ThrowNoLongerAThreat(warning, "The cookie", path);
    }
}

void FixCookie(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
               const WarningContext& context) {
    const std::string cookies = CookiesFolderForRemedies(context);
    KeepRecord(outcome, {BackupString(kFileKey, warning.Name)});
    // Without a cookies folder there is nothing to move (never the root of the current drive).
    if (!cookies.empty())
        MoveForShield(context, WithTrailingBackslash(cookies) + warning.Name, record.folderPath + warning.Name);
}

void UndoCookie(const BackupRecord& record, const WarningContext& context) {
    const std::string name = record.GetString(kFileKey);
    const std::string cookies = CookiesFolderForRemedies(context);
    if (!name.empty() && !cookies.empty()) {
        const std::string plain = PlainFileNameOf(name);
        RestoreFile(context, record.folderPath + plain, WithTrailingBackslash(cookies) + plain);
    }
}

// A folder that is a link (a junction or a symbolic link) goes as the link it is: its record keeps
// where it led, and nothing is moved through it, so a link to the Windows folder never takes the
// Windows folder with it. Where the link cannot be removed, nothing is changed.
void FixFolderLink(const TFolderWarning& warning, FixOutcome& outcome, const WarningContext& context) {
    const std::string folder = WithTrailingBackslash(warning.FolderPath);
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
    const std::string folder = WithTrailingBackslash(warning.FolderPath);
    const auto& isSpywareFolder = context.isSpywareFolder;
    if (MustConfirm(warning, isSpywareFolder) && (!FolderExists(folder) || !isSpywareFolder(folder)))
        ThrowNoLongerAThreat(warning, "The folder", folder);
}

void FixFolder(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
               const WarningContext& context) {
    const auto& warning = WarningAs<TFolderWarning>(found);
    const std::string folder = WithTrailingBackslash(warning.FolderPath);
    if (platform::IsFolderLink(folder)) return FixFolderLink(warning, outcome, context);
    KeepRecord(outcome, {BackupString(kFolderKey, warning.FolderPath)});
    MarkFolderMove(context, folder, record.folderPath);
    const bool moved = platform::ShellMove(folder + "*.*", record.folderPath);
    // What could not be moved has no backup: the folder is deleted only when everything went
    // (an empty folder gives the shell nothing to move and counts as moved).
    if (moved || platform::ListDirectory(folder + "*").empty()) DeleteFolderTree(folder);
}

void UndoFolder(const BackupRecord& record, const WarningContext& context) {
    const std::string folder = WithTrailingBackslash(record.GetString(kFolderKey));
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

// --- Autostart points ---
//
// A new value goes with its type and data in the record (and backup.reg beside it, as the
// registry editor exports it); a changed value gets its old data back, a removed one is made
// again, the data the fix replaced kept in the record; a new subkey is exported by the registry
// editor into backup.reg and removed. The undo puts back exactly what the fix changed. Both hold
// the point while they write and have the monitor accept it after, so nothing is reported again.

namespace {

constexpr std::string_view kChangeKey = "Change";
constexpr std::string_view kSubKeyKey = "SubKey";
constexpr std::string_view kRawBeforeKey = "RawBefore";  // the value as the fix found it ("" none)
constexpr std::string_view kRawAfterKey = "RawAfter";    // the value as the fix left it ("" none)

struct RawData {
    DWORD type = REG_NONE;
    std::string bytes;
};

// "type:hex bytes", as the monitor keeps a value; nothing for an empty or unreadable text.
std::optional<RawData> RawFromText(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    const std::optional<std::string> bytes = BytesFromHex(text.substr(colon + 1));
    if (!bytes) return std::nullopt;
    try {
        return RawData{static_cast<DWORD>(std::stoul(text.substr(0, colon))), *bytes};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string TextFromRaw(const platform::RegistryValue& value) {
    return std::to_string(value.type) + ":" + HexFromBytes(value.data);
}

// Throws the alert's message for a write the system refused: a machine point needs the rights
// of an administrator, which this copy of the program does not have.
[[noreturn]] void ThrowPointWriteError(const std::string& pointName, const platform::Win32Error& error) {
    if (error.Code() == ERROR_ACCESS_DENIED)
        throw NeedsAdministratorError("Changing " + pointName +
                                          " needs the rights of an administrator, which Sentrel does not have; nothing "
                                          "was changed. Remove the entry as an administrator, or ignore it.",
                                      pointName);
    throw std::runtime_error("Sentrel could not change " + pointName + " (" + error.what() + "); nothing was changed.");
}

// Puts `raw` ("type:hex", or "" for no value) as the value `name` of the key. Throws Win32Error.
void PutValue(RegistryRoot root, const std::string& key, const std::string& name, const std::string& raw,
              RegistryView view) {
    if (raw.empty()) {
        if (auto opened = platform::RegistryKey::Open(RootHandle(root), key, platform::RegistryAccess::ReadWrite,
                                                      ViewFlag(view)))
            opened->DeleteValue(name);
        return;
    }
    const std::optional<RawData> data = RawFromText(raw);
    if (!data) throw std::runtime_error("The saved data of " + name + " cannot be read; nothing was changed");
    platform::RegistryKey::Create(RootHandle(root), key, platform::RegistryAccess::ReadWrite, ViewFlag(view))
        .WriteValue(name, data->type, data->bytes);
}

std::string ReadValueRaw(RegistryRoot root, const std::string& key, const std::string& name, RegistryView view) {
    const auto opened = platform::RegistryKey::Open(RootHandle(root), key, platform::RegistryAccess::Read, ViewFlag(view));
    if (!opened) return {};
    const std::optional<platform::RegistryValue> value = opened->ReadValue(name);
    return value ? TextFromRaw(*value) : std::string();
}

std::string EditorPathOf(RegistryRoot root, const std::string& key, RegistryView view) {
    return RootKeyName(root) + "\\" + WithoutTrailingBackslashes(ViewKeyPath(key, view));
}

void FixAutostartSubKey(const AutostartPointWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                        const WarningContext& context, std::vector<BackupValue> keys) {
    const std::string subKey = warning.Key + "\\" + warning.Item;
    ExportKey(EditorPathOf(warning.RootKey, subKey, warning.View), record.folderPath + kRegistryBackupName,
              record.folderPath, context, "entry");
    KeepRecord(outcome, std::move(keys));
    const AutostartPointHold hold(context, warning.PointId);
    try {
        platform::DeleteKeyTree(RootHandle(warning.RootKey), subKey, ViewFlag(warning.View));
    } catch (const platform::Win32Error& error) {
        LogCaught("autostart subkey removal");
        ThrowPointWriteError(warning.PointName, error);
    }
}

}  // namespace

namespace remedies {

void FixAutostartPoint(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                       const WarningContext& context) {
    const auto& warning = WarningAs<AutostartPointWarning>(found);
    std::vector<BackupValue> keys = {BackupString(kPointKey, warning.PointId),
                                     BackupInteger(kRootKeyKey, static_cast<int>(warning.RootKey)),
                                     BackupString(kKeyKey, warning.Key), BackupString(kValueKey, warning.Item),
                                     BackupInteger(kChangeKey, static_cast<int>(warning.What))};
    AddViewKey(keys, warning.View);
    if (warning.SubKey) {
        keys.push_back(BackupInteger(kSubKeyKey, 1));
        return FixAutostartSubKey(warning, record, outcome, context, std::move(keys));
    }
    std::string before;
    try {
        before = ReadValueRaw(warning.RootKey, warning.Key, warning.Item, warning.View);
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError(warning.PointName, error);
    }
    // A value that changed again since it was reported is left to the next report.
    if (before != (warning.What == AutostartPointWarning::Change::Vanished ? std::string() : warning.Raw))
        throw ThreatGoneError("The entry " + warning.Item + " of " + warning.PointName +
                              " has changed again since it was found; nothing was changed.");
    const std::string after = warning.What == AutostartPointWarning::Change::Added ? std::string() : warning.OldRaw;
    keys.push_back(BackupString(kRawBeforeKey, before));
    keys.push_back(BackupString(kRawAfterKey, after));
    if (const std::optional<RawData> data = RawFromText(before)) {
        // What the registry editor would export, for whoever reads the record by hand.
        RegistryFileValue saved{.name = warning.Item, .type = data->type, .data = data->bytes};
        try {
            if (data->type == kRegSz || data->type == REG_EXPAND_SZ) saved.data = platform::Utf16FromUtf8(
                platform::StringFromRegistryData(data->bytes)) + std::string(2, '\0');
            if (data->type == kRegSz) saved.quotedText = QuotableText(saved.data);
            const std::string text =
                RegistryFileText(EditorPathOf(warning.RootKey, warning.Key, warning.View), saved);
            WriteFileAtomically(record.folderPath + kRegistryBackupName,
                                std::string(kUtf16ByteOrderMark) + platform::Utf16FromUtf8(text));
        } catch (const std::exception&) {
            LogCaught("autostart value export");  // the record's own data is what the undo uses
        }
    }
    KeepRecord(outcome, std::move(keys));
    const AutostartPointHold hold(context, warning.PointId);
    try {
        PutValue(warning.RootKey, warning.Key, warning.Item, after, warning.View);
    } catch (const platform::Win32Error& error) {
        LogCaught("autostart value fix");
        ThrowPointWriteError(warning.PointName, error);
    }
}

void UndoAutostartPoint(const BackupRecord& record, const WarningContext& context) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(record.GetInteger(kRootKeyKey)));
    const std::string key = WithoutTrailingBackslashes(record.GetString(kKeyKey));
    const std::string item = record.GetString(kValueKey);
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    if (record.GetString(kSubKeyKey) == "1") {
        const std::string quotedFile = "\"" + record.folderPath + kRegistryBackupName + "\"";
        if (!FileExists(record.folderPath + kRegistryBackupName))
            throw std::runtime_error("The backup " + record.folderPath + kRegistryBackupName +
                                     " is missing; nothing was restored");
        // The registry editor's exit code does not tell a refusal for want of rights: the key
        // the entry goes back into is asked first.
        try {
            platform::RegistryKey::Open(RootHandle(root), key, platform::RegistryAccess::ReadWrite,
                                        ViewFlag(ViewOfRecord(record)));
        } catch (const platform::Win32Error& error) {
            ThrowPointWriteError(key, error);
        }
        if (!RunRegistryEditor("/s " + quotedFile, "import " + quotedFile, record.folderPath, context.registryEditor))
            throw std::runtime_error("The registry editor could not import " + record.folderPath +
                                     kRegistryBackupName);
        return;
    }
    try {
        PutValue(root, key, item, record.GetString(kRawBeforeKey), ViewOfRecord(record));
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError(key + "\\" + item, error);
    }
}

}  // namespace remedies

// --- Services ---
//
// A new service is exported by the registry editor into backup.reg (the export checked), its
// configuration kept in the record, and it is removed the way the system expects: stopped when it
// runs and deleted through the service control manager; one the manager does not know (written
// to the key directly, not yet loaded) goes with its key. The undo registers it again with that
// configuration and imports the export, so the key is exactly what the fix found; it never
// touches a service that is there again under the same name.

namespace {

constexpr std::string_view kRegisteredKey = "Registered";  // 1: the manager knew it and deleted it
constexpr std::string_view kConfigKey = "Config";          // the configuration, hex of its fields
constexpr unsigned kServiceStopWaitMs = 20000;
// Values a new registration writes whatever the service had: those the key lacked go again after
// the import.
constexpr const char* kRegistrationValues[] = {"Type",  "Start",           "ErrorControl", "ImagePath",
                                                "DisplayName", "ObjectName", "Group",        "DependOnService",
                                                "WOW64", "PreshutdownTimeout"};

std::string ServiceKeyPath(const std::string& name) {
    return std::string(platform::kServicesKey) + "\\" + name;
}

// The fields of `config`, each followed by a zero byte, then the value names; as hex.
std::string ConfigText(const platform::ServiceConfig& config) {
    std::string fields;
    const auto add = [&](const std::string& field) { fields += field + '\0'; };
    add(config.displayName);
    add(config.imagePath);
    add(config.group);
    add(config.account);
    add(std::to_string(config.type));
    add(std::to_string(config.startType));
    add(std::to_string(config.errorControl));
    std::string list;
    for (const std::string& dependency : config.dependencies) list += dependency + '\t';
    add(list);
    list.clear();
    for (const std::string& value : config.valueNames) list += value + '\t';
    add(list);
    return HexFromBytes(fields);
}

std::optional<platform::ServiceConfig> ConfigFromText(const std::string& name, const std::string& text) {
    const std::optional<std::string> bytes = BytesFromHex(text);
    if (!bytes) return std::nullopt;
    std::vector<std::string> fields;
    std::string_view rest = *bytes;
    for (std::size_t end; (end = rest.find('\0')) != std::string_view::npos; rest.remove_prefix(end + 1))
        fields.emplace_back(rest.substr(0, end));
    if (fields.size() != 9) return std::nullopt;
    const auto list = [](std::string_view joined) {
        std::vector<std::string> parts;
        for (std::size_t end; (end = joined.find('\t')) != std::string_view::npos; joined.remove_prefix(end + 1))
            parts.emplace_back(joined.substr(0, end));
        return parts;
    };
    platform::ServiceConfig config;
    config.name = name;
    config.displayName = fields[0];
    config.imagePath = fields[1];
    config.group = fields[2];
    config.account = fields[3];
    try {
        config.type = static_cast<DWORD>(std::stoul(fields[4]));
        config.startType = static_cast<DWORD>(std::stoul(fields[5]));
        config.errorControl = static_cast<DWORD>(std::stoul(fields[6]));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    config.dependencies = list(fields[7]);
    config.valueNames = list(fields[8]);
    return config;
}

}  // namespace

namespace remedies {

void FixService(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                const WarningContext& context) {
    const auto& warning = WarningAs<ServiceWarning>(found);
    const std::string what = "the service " + warning.Name;
    std::optional<platform::ServiceConfig> config;
    try {
        config = platform::ReadServiceConfig(warning.Name);
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError(what, error);
    }
    if (!config) throw ThreatGoneError("The service " + warning.Name + " is gone; nothing was changed.");
    if (config->imagePath != warning.Command)
        throw ThreatGoneError("The service " + warning.Name +
                              " has changed again since it was found; nothing was changed.");
    ExportKey(RootKeyName(RegistryRoot::LocalMachine) + "\\" + ServiceKeyPath(warning.Name),
              record.folderPath + kRegistryBackupName, record.folderPath, context, "service");
    const AutostartPointHold hold(context, warning.PointId);
    platform::ServiceRemoval removal = platform::ServiceRemoval::NotRegistered;
    try {
        removal = platform::RemoveService(warning.Name, kServiceStopWaitMs);
        if (removal == platform::ServiceRemoval::NotRegistered)
            platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKeyPath(warning.Name));
    } catch (const platform::Win32Error& error) {
        LogCaught("service removal");
        ThrowPointWriteError(what, error);
    }
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kServiceKey, warning.Name),
                         BackupInteger(kRegisteredKey, removal == platform::ServiceRemoval::NotRegistered ? 0 : 1),
                         BackupString(kConfigKey, ConfigText(*config))});
    if (removal == platform::ServiceRemoval::StillRunning)
        outcome.notices.push_back("The service " + warning.Name +
                                  " did not stop; Windows removes it once it stops or at the next restart.");
}

void UndoService(const BackupRecord& record, const WarningContext& context) {
    const std::string name = record.GetString(kServiceKey);
    const std::optional<platform::ServiceConfig> config = ConfigFromText(name, record.GetString(kConfigKey));
    if (name.empty() || name.find_first_of("\\/") != std::string::npos || !config)
        throw std::runtime_error("The backup record names no service to put back; nothing was restored");
    const std::string saved = record.folderPath + kRegistryBackupName;
    if (!FileExists(saved)) throw std::runtime_error("The backup " + saved + " is missing; nothing was restored");
    if (platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKeyPath(name)))
        throw std::runtime_error("A service " + name + " is there again; it was not replaced");
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    const bool registered = record.GetString(kRegisteredKey) == "1";
    if (registered) {
        try {
            platform::CreateServiceFrom(*config);
        } catch (const platform::Win32Error& error) {
            LogCaught("service registration");
            ThrowPointWriteError("the service " + name, error);
        }
    }
    const std::string quotedFile = "\"" + saved + "\"";
    if (!RunRegistryEditor("/s " + quotedFile, "import " + quotedFile, record.folderPath, context.registryEditor)) {
        // Half a service is no undo: the registration goes again and the record stays.
        try {
            if (registered) platform::RemoveService(name, kServiceStopWaitMs);
            platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKeyPath(name));
        } catch (const platform::Win32Error&) {
            LogCaught("service registration taken back");
        }
        throw std::runtime_error("The registry editor could not import " + saved + "; the service was not restored");
    }
    // What the registration wrote and the service never had goes again.
    try {
        if (auto key = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKeyPath(name),
                                                   platform::RegistryAccess::ReadWrite)) {
            for (const char* value : kRegistrationValues) {
                bool had = false;
                for (const std::string& kept : config->valueNames) had = had || SameIgnoringCase(kept, value);
                if (!had) key->DeleteValue(value);
            }
        }
    } catch (const platform::Win32Error& error) {
        ThrowPointWriteError("the service " + name, error);
    }
}

}  // namespace remedies
}  // namespace sentrel
