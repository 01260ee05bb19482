// The fix and undo of a registry autostart point.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/Registry.h"
#include "platform/RegistryRaw.h"
#include "platform/Win32Error.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/AutostartWarning.h"
#include "warnings/Backuper.h"
#include "warnings/RecordKeys.h"
#include "warnings/RegistryFile.h"
#include "warnings/RemediesWin.h"
#include "warnings/RootKeysWin.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

// A new value goes with its type and data in the record (and backup.reg beside it, as the
// registry editor exports it); a changed value gets its old data back, a removed one is made
// again, the data the fix replaced kept in the record; a new subkey is exported by the registry
// editor into backup.reg and removed. The undo puts back exactly what the fix changed. Both hold
// the point while they write and have the monitor accept it after, so nothing is reported again.

namespace {

constexpr std::string_view kSubKeyKey = "SubKey";
constexpr std::string_view kRawBeforeKey = "RawBefore";  // the value as the fix found it ("" none)
constexpr std::string_view kRawAfterKey = "RawAfter";    // the value as the fix left it ("" none)

std::string ReadValueRaw(RegistryRoot root, const std::string& key, const std::string& name, RegistryView view) {
    const auto opened = platform::RegistryKey::Open(RootHandle(root), key, platform::RegistryAccess::Read, ViewFlag(view));
    if (!opened) return {};
    const std::optional<platform::RegistryValue> value = opened->ReadValue(name);
    return value ? RawText(*value) : std::string();
}

std::string EditorPathOf(RegistryRoot root, const std::string& key, RegistryView view) {
    return RootKeyName(root) + "\\" + WithoutTrailingBackslashes(ViewKeyPath(key, view));
}

void FixAutostartSubKey(const AutostartPointWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                        const WarningWorkerContext& context, std::vector<BackupValue> keys) {
    const std::string subKey = warning.Key + "\\" + warning.Item;
    ExportKey(EditorPathOf(warning.RootKey, subKey, warning.View), record.folderPath + kRegistryBackupName,
              record.folderPath, context, "entry");
    KeepRecord(outcome, std::move(keys));
    const AutostartPointHold hold(context, warning.PointId, warning.Item);
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
                       const WarningWorkerContext& context) {
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
    if (const std::optional<RawValue> data = RawFromText(before)) {
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
    const AutostartPointHold hold(context, warning.PointId, warning.Item);
    try {
        PutValue(warning.RootKey, warning.Key, warning.Item, after, warning.View);
    } catch (const platform::Win32Error& error) {
        LogCaught("autostart value fix");
        ThrowPointWriteError(warning.PointName, error);
    }
}

void UndoAutostartPoint(const BackupRecord& record, const WarningWorkerContext& context) {
    const auto root = static_cast<RegistryRoot>(static_cast<std::uint32_t>(record.GetInteger(kRootKeyKey)));
    const std::string key = WithoutTrailingBackslashes(record.GetString(kKeyKey));
    const std::string item = record.GetString(kValueKey);
    const AutostartPointHold hold(context, record.GetString(kPointKey), item);
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

}  // namespace sentrel
