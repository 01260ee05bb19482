#pragma once
// The warning kinds: one row per kind says everything the shield needs to know about it apart
// from its data (the warning classes, warnings/Warning.h): the name its backup records carry,
// the categories of standing actions it belongs to, whether it has an undo, its fix, its undo
// and the builder of its texts. Adding a kind is adding a row and its functions
// (warnings/WarningKinds.cpp holds the shield's rows).
//
// What a fix or an undo needs of the running shield comes in one WarningContext, passed with
// every call; nothing is found through a global.

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "warnings/RootKeys.h"

namespace sentrel {

class TBackuper;
class TWarning;
struct WarningContext;

// What the alert shows of a warning, and the line its backup record keeps as "Desc".
struct WarningTexts {
    std::string title;
    std::string description;
    std::string picture;     // "bug", "what" or "garbage"
    std::string danger;      // "_red" or empty
    std::string backupLine;  // empty for a kind whose fix makes no backup record
};

// The option keys of the categories a kind can belong to; core/CategoryActions.h says in which
// order the dispatcher asks them.
inline constexpr std::string_view kFilesCategory = "FilesAction";
inline constexpr std::string_view kAutorunCategory = "AutorunAction";
inline constexpr std::string_view kProcessesCategory = "ProcessesAction";
inline constexpr std::string_view kBrowserSettingsCategory = "BrowserSettingsAction";
inline constexpr std::string_view kRegistryCategory = "RegistryAction";
inline constexpr std::string_view kCookiesCategory = "CookiesAction";
inline constexpr std::string_view kFoldersCategory = "FoldersAction";

struct WarningKind {
    // Remedies the threat; where that changes the system, a backup record is made first. Gets a
    // warning of this kind.
    using FixFunction = void (*)(const TWarning& warning, TBackuper& backuper, const WarningContext& context);
    // Restores backup record `index` and deletes the record.
    using UndoFunction = void (*)(TBackuper& backuper, int index, const WarningContext& context);
    // The texts from the warning's data alone: no side effect, no lookup.
    using TextsFunction = WarningTexts (*)(const TWarning& warning);

    // The name backup records keep as "Type": part of the file format, spelled as it always was.
    std::string_view name;
    // The categories of standing actions, any order; unused entries empty.
    std::array<std::string_view, 2> categories{};
    bool hasUndo = false;
    // Null where this system has no remedy (the portable build): Fix and Undo then refuse.
    FixFunction fix = nullptr;
    UndoFunction undo = nullptr;
    TextsFunction texts = nullptr;

    bool InCategory(std::string_view key) const;
    // The row's fix, logged. Throws std::logic_error when there is none.
    void Fix(const TWarning& warning, TBackuper& backuper, const WarningContext& context) const;
    // The row's undo of record `index`, logged. Throws std::logic_error for a kind without undo
    // or where this system has none.
    void Undo(TBackuper& backuper, int index, const WarningContext& context) const;
};

// The shield's ten kinds, in their fixed order: TKeyHookWarning, TMouseHookWarning,
// TProcessWarning, TFileWarning, TFileChangeWarning, TAutorunAddWarning,
// TBrowserSettingWarning, TRegistyWarning, TCookieWarning, TFolderWarning.
std::span<const WarningKind> ShieldWarningKinds();

// The row of `kinds` whose name equals `name` exactly (byte for byte); null when none does.
const WarningKind* FindWarningKind(std::span<const WarningKind> kinds, std::string_view name);

// The shield's row of that name; throws std::logic_error when there is none (a class naming a
// row the table lacks).
const WarningKind& ShieldWarningKind(std::string_view name);

// What fixes and undos need of the running shield. The application fills it once its monitors
// exist; tests fill only what they check. A hook left empty is skipped.
struct WarningContext {
    // The kinds a backup record's "Type" is looked up in.
    std::span<const WarningKind> kinds = ShieldWarningKinds();
    // The threat database's tests: the file, cookie and folder fixes ask them again just before
    // they move anything, so that what changed since the finding (a file replaced, a database
    // updated) is left in place.
    std::function<bool(const std::string& path)> isKnownSpywareFile;     // a file, by content and place
    std::function<bool(const std::string& name)> isTrackingCookie;       // a cookie file name
    std::function<bool(const std::string& folderPath)> isSpywareFolder;  // with its trailing separator
    std::function<void(const std::string& path)> markShieldMove;         // both ends of every file move
    std::function<void()> runAutorunPass;                                // after an autorun fix
    // After a browser-setting fix: the watches of the value the fix rewrote (its root, key
    // without trailing backslashes, name and registry view) take the new data as known.
    std::function<void(RegistryRoot root, const std::string& key, const std::string& value, RegistryView view)>
        refreshWatchedValue;
    // The cookies folder without a trailing separator; left empty, the cookie remedies ask the
    // shell (CSIDL_COOKIES). Tests point it at a folder of their own.
    std::function<std::string()> cookiesFolder;
};

}  // namespace sentrel
