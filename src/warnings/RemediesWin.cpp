// What the Windows remedies of several families share: the record a fix keeps, the registry's
// roots and views in a record, the registry editor's export and import, and the message of a
// write the system refused for want of rights.
#include "warnings/RemediesWin.h"

#include <stdexcept>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/HiddenProcess.h"
#include "platform/ProgramFolder.h"
#include "platform/RegistryRaw.h"
#include "platform/ShellFiles.h"
#include "platform/WideText.h"
#include "warnings/AdminPart.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/RecordKeys.h"
#include "warnings/RegistryFile.h"
#include "warnings/RootKeysWin.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr DWORD kRegistryEditorTimeoutMs = 120000;
constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED (not in every set of headers)

std::string InSystemFolder(const std::string& folder, const char* program) {
    return "\"" + FolderWithSeparator(folder) + program + "\"";
}

}  // namespace

// The finish writes the reserved record with these keys. A fix that fails before it calls this
// (or throws after) leaves no record that promises an undo.
void ThrowChangeError(const std::string& what, DWORD code, const std::string& detail) {
    if (code == ERROR_ACCESS_DENIED)
        throw NeedsAdministratorError("Changing " + what +
                                          " needs the rights of an administrator, which Sentrel does not have; nothing "
                                          "was changed. Change it as an administrator, or ignore it.",
                                      what);
    throw std::runtime_error("Sentrel could not change " + what + " (" + detail + "); nothing was changed.");
}

void MoveOrThrow(const WarningWorkerContext& context, const std::string& from, const std::string& to,
                 const std::string& what) {
    if (context.markShieldMove) {
        context.markShieldMove(from);
        context.markShieldMove(to);
    }
    if (platform::MoveFileKeepingTarget(from, to)) return;
    const DWORD code = GetLastError();
    ThrowChangeError(what, code, "error " + std::to_string(code) + " moving " + from);
}

void PutMovedFileBack(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string path = record.GetString(kFilePathKey);
    const std::string name = FileNamePart(path);
    if (path.empty() || !IsPlainFileName(name))
        throw std::runtime_error("The backup record names no file to put back; nothing was restored");
    const std::string saved = record.folderPath + name;
    if (!FileExists(saved)) throw std::runtime_error("The saved file " + saved + " is missing; nothing was restored");
    if (FileExists(path) || FolderExists(path))
        throw std::runtime_error(path + " is there again; the saved file was left in the backup");
    CreateFolders(FolderPart(path));
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    MoveOrThrow(context, saved, path, FolderPart(path));
}

void KeepRecord(FixOutcome& outcome, std::vector<BackupValue> keys) {
    outcome.keepRecord = true;
    outcome.recordKeys = std::move(keys);
}

std::string FolderWithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

HKEY RootHandle(RegistryRoot root) {
    return ToHkey(root);
}

// The record key that names a warning's view; records without it (and every record of the
// 64-bit view, as before views were told apart) are of the 64-bit view.
void AddViewKey(std::vector<BackupValue>& keys, RegistryView view) {
    if (view != RegistryView::Bits64) keys.push_back(BackupString(kViewKey, RegistryViewNumber(view)));
}

RegistryView ViewOfRecord(const BackupRecord& record) {
    return RegistryViewFromNumber(record.GetString(kViewKey));
}

std::string RawText(const platform::RegistryValue& value) {
    return std::to_string(value.type) + ":" + HexFromBytes(value.data);
}

std::optional<RawValue> RawFromText(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    const std::optional<std::string> bytes = BytesFromHex(text.substr(colon + 1));
    if (!bytes) return std::nullopt;
    try {
        return RawValue{static_cast<DWORD>(std::stoul(text.substr(0, colon))), *bytes};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void PutValue(RegistryRoot root, const std::string& key, const std::string& name, const std::string& raw,
              RegistryView view) {
    if (raw.empty()) {
        if (auto opened = platform::RegistryKey::Open(RootHandle(root), key, platform::RegistryAccess::ReadWrite,
                                                      ViewFlag(view)))
            opened->DeleteValue(name);
        return;
    }
    const std::optional<RawValue> data = RawFromText(raw);
    if (!data) throw std::runtime_error("The saved data of " + name + " cannot be read; nothing was changed");
    platform::RegistryKey::Create(RootHandle(root), key, platform::RegistryAccess::ReadWrite, ViewFlag(view))
        .WriteValue(name, data->type, data->bytes);
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

// Runs the registry editor hidden in `folder` with `arguments` and waits for it; the program's
// own current folder is never changed. Where the registry editor asks for elevation
// (an administrator under user account control: CreateProcess refuses it with
// ERROR_ELEVATION_REQUIRED), its console counterpart "reg.exe" does the same export or import
// with `consoleArguments` and asks for nothing. True when it ended in time with exit code 0.
// Both are started by their full path in the system's folders: by bare name, the search would
// take a "regedit.exe" planted in the program folder or the current folder first.
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
               const WarningWorkerContext& context, const std::string& what) {
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

[[noreturn]] void ThrowSetBackForAdministrator(const std::string& subject, const std::string& advice) {
    throw NeedsAdministratorError(
        NeedsAdministratorMessage(subject, "Sentrel's administrator part removes new entries only: it never writes "
                                           "data that a program could have chosen. " + advice),
        subject);
}

}  // namespace sentrel
