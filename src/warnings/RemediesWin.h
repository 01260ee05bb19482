#pragma once
// What the Windows remedies of several families (WarningRemediesWin.cpp, AutostartRemediesWin.cpp,
// ServiceRemediesWin.cpp, StartupRemediesWin.cpp, FilePointRemediesWin.cpp) share. Windows build only; not for callers outside the remedies.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/Win32Error.h"
#include "warnings/Backuper.h"
#include "warnings/RootKeys.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

// The registry editor's export a record keeps, and the mark that starts a UTF-16 file.
inline constexpr const char* kRegistryBackupName = "backup.reg";
inline constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";

// The alert's message for a change of a file or task the system refused (`what` names it): a place
// of the whole machine needs the rights of an administrator. `detail` says what failed otherwise.
[[noreturn]] void ThrowChangeError(const std::string& what, DWORD code, const std::string& detail);

// A plain move that never replaces a file, announced at both ends to the file monitor; a refusal
// is told through ThrowChangeError.
void MoveOrThrow(const WarningWorkerContext& context, const std::string& from, const std::string& to,
                 const std::string& what);

// The undo of a file a fix moved into the record (its path under kFilePathKey, its point under
// kPointKey): moved back, unless a file or folder is there again.
void PutMovedFileBack(const BackupRecord& record, const WarningWorkerContext& context);

// The finish writes the reserved record with these keys. A fix that fails before it calls this
// (or throws after) leaves no record that promises an undo.
void KeepRecord(FixOutcome& outcome, std::vector<BackupValue> keys);

// The folder with a trailing backslash added when it has none (an empty one stays empty).
std::string FolderWithSeparator(std::string folder);

HKEY RootHandle(RegistryRoot root);
// The record key that names a warning's view; records without it (and every record of the
// 64-bit view, as before views were told apart) are of the 64-bit view.
void AddViewKey(std::vector<BackupValue>& keys, RegistryView view);
RegistryView ViewOfRecord(const BackupRecord& record);

// The text of a REG_SZ value that can be written in quotes and reads back as the same bytes.
std::optional<std::string> QuotableText(const std::string& data);

// A value as the autostart monitor keeps it, "type:hex bytes", and back (nothing for an empty or
// unreadable text).
struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
};
std::string RawText(const platform::RegistryValue& value);
std::optional<RawValue> RawFromText(const std::string& text);

// Puts `raw` ("type:hex", or "" for no value) as the value `name` of the key, created where
// missing. Throws Win32Error.
void PutValue(RegistryRoot root, const std::string& key, const std::string& name, const std::string& raw,
              RegistryView view);

// Runs the registry editor (`editor`, or regedit.exe of the Windows folder when empty) hidden in
// `folder` with `arguments`, or reg.exe with `consoleArguments` where the editor asks for
// elevation; true when it ended in time with exit code 0.
bool RunRegistryEditor(const std::string& arguments, const std::string& consoleArguments, const std::string& folder,
                       const std::string& editor);

// Has the registry editor export the key `keyPath` into `file`; throws, saying that `what` is
// left as it is, unless a complete export is there.
void ExportKey(const std::string& keyPath, const std::string& file, const std::string& folder,
               const WarningWorkerContext& context, const std::string& what);

// Throws the alert's message for a write the system refused: NeedsAdministratorError for a
// refusal for want of rights, else a plain failure naming `pointName`.
[[noreturn]] void ThrowPointWriteError(const std::string& pointName, const platform::Win32Error& error);

// Throws NeedsAdministratorError for data at a machine point that only an administrator may put
// back, which the administrator part never does (it writes no data a program could have chosen):
// `advice` says what an administrator is to set back ("As an administrator, ...").
[[noreturn]] void ThrowSetBackForAdministrator(const std::string& subject, const std::string& advice);

}  // namespace sentrel
