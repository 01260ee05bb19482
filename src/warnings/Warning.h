#pragma once
// The warning family: every finding of a monitor becomes one object of a class derived from
// TWarning, which the warning queue owns, compares, shows and fixes.
//
// Class tree (fields in declaration order):
//   TWarning                 Name
//     TKeyHookWarning        -
//     TMouseHookWarning      -
//     TProcessWarning        FilePath, Description, Picture, Danger
//     TFileWarning           FilePath, Description, Picture, Danger
//       TFileChangeWarning   - (FilePath holds the folder of the deleted file)
//     TAutorunAddWarning     Key, Value, RegString, RootKey, View, Description, Picture, Danger
//       TBrowserSettingWarning  Description (its own), OldRegString, NewRegString
//       TRegistyWarning         Description (its own)
//     TCookieWarning         Description
//     TFolderWarning         Description, FolderPath
//
// The operations of TWarning, in this order: Fix, GetTitle, GetDescription, GetPicture,
// GetDanger, GetBackupStr, Undo, AreEqual. Fix and Undo change the system: the classes keep
// only their texts and data, and both remedies are found by class name in the remedy table
// (warnings/WarningRemedies.h), which the system's layer fills at start-up. Undo works on a
// backup record, not on a warning, and is reached through the warning class registry
// (warnings/WarningRegistry.h) by the record's "Type". The class names
// are stored as that "Type", so they are part of the backup file format and spelled as they
// always were, TRegistyWarning included.
//
// Strings are byte strings in the system code page; AreEqual compares them exactly.
//
// Construction, Fix and AreEqual are in Warning.cpp, the texts in WarningTexts.cpp, the Windows
// remedies in WarningRemediesWin.cpp. What the remedies need of the running shield comes through
// warnings/WarningServices.h.

#include <string>
#include <string_view>
#include <utility>

#include "warnings/RootKeys.h"

namespace sentrel {

class TBackuper;

class TWarning {
public:
    virtual ~TWarning() = default;
    TWarning(const TWarning&) = delete;
    TWarning& operator=(const TWarning&) = delete;

    // Remedies the threat with the remedy registered for ClassName(); where that changes the
    // system, a backup record is made first. Throws std::logic_error when no remedy is
    // registered. Virtual only so that test doubles can stand in for a remedy.
    virtual void Fix(TBackuper& backuper);
    // The alert title. Most classes compute their description, picture and danger here, so it is
    // called before the three getters that follow.
    virtual std::string GetTitle() = 0;
    virtual std::string GetDescription() = 0;
    // "bug", "what" or "garbage".
    virtual std::string GetPicture() = 0;
    // "_red" or empty.
    virtual std::string GetDanger() = 0;
    // The line of the undo list, stored as "Desc" of the backup record.
    virtual std::string GetBackupStr() = 0;
    // (Undo: by the record's class name, see the registry.)
    // True when `other`, a warning about to be queued, duplicates this queued one. Not
    // symmetric: see each class.
    virtual bool AreEqual(const TWarning& other) const = 0;

    // The class name, as the warning class registry and the backup records know it.
    virtual std::string_view ClassName() const = 0;

    std::string Name;
    // Set when the black list settles the warning: the user has named it malicious, so its fix
    // does not ask the threat database again whether the thing is still a threat.
    bool SettledByBlackList = false;

protected:
    explicit TWarning(std::string name = {}) : Name(std::move(name)) {}
};

// A keyboard hook set by the program `Name`. Nothing in the shield detects hooks; the class is
// registered and can be shown and fixed. Its fix makes no backup, so it has no backup line and
// no undo.
class TKeyHookWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TKeyHookWarning";
    explicit TKeyHookWarning(std::string name = {}) : TWarning(std::move(name)) {}

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;  // throws std::logic_error: no backup line
    // True for a TKeyHookWarning of the same Name.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }
};

// A mouse hook set by the program `Name`; as TKeyHookWarning.
class TMouseHookWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TMouseHookWarning";
    explicit TMouseHookWarning(std::string name = {}) : TWarning(std::move(name)) {}

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;  // throws std::logic_error: no backup line
    // True for a TMouseHookWarning of the same Name.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }
};

// A known malicious module loaded by a running process. Name is the file name of FilePath.
class TProcessWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TProcessWarning";
    TProcessWarning(std::string name, std::string filePath);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TProcessWarning of the same Name, whatever its folder.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    std::string FilePath;
    std::string Description;
    std::string Picture;
    std::string Danger;
};

// A known malicious file that appeared in a system folder. Name is the file name of FilePath.
class TFileWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TFileWarning";
    TFileWarning(std::string name, std::string filePath);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TFileWarning (a TFileChangeWarning too) with the same Name and FilePath.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    std::string FilePath;
    std::string Description;
    std::string Picture;
    std::string Danger;
};

// A file deleted from a system folder. The constructor keeps only the folder part of the path
// (with its trailing separator) in FilePath. Backup line and undo are TFileWarning's, never used.
class TFileChangeWarning : public TFileWarning {
public:
    static constexpr std::string_view kClassName = "TFileChangeWarning";
    TFileChangeWarning(std::string name, const std::string& filePath);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    // True for a TFileChangeWarning with the same Name and folder; never for a plain
    // TFileWarning.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }
};

// A new value in an autorun key. Name is the file name of the program path RegString. View is
// the registry view the key was read in; the fix and its undo act in the same one.
class TAutorunAddWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TAutorunAddWarning";
    TAutorunAddWarning(RegistryRoot rootKey, std::string name, std::string key, std::string value,
                       std::string regString, RegistryView view = RegistryView::Bits64);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TAutorunAddWarning (either subclass too) with the same Name, Key, Value,
    // RegString, RootKey and View.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    std::string Key;
    std::string Value;
    std::string RegString;
    RegistryRoot RootKey;
    RegistryView View;
    std::string Description;
    std::string Picture;
    std::string Danger;
};

// A watched registry value (a browser setting) whose data changed from OldRegString to
// NewRegString. The key path is both Name and Key; RegString stays empty.
class TBrowserSettingWarning : public TAutorunAddWarning {
public:
    static constexpr std::string_view kClassName = "TBrowserSettingWarning";
    TBrowserSettingWarning(RegistryRoot rootKey, const std::string& key, std::string value,
                           std::string oldRegString, std::string newRegString,
                           RegistryView view = RegistryView::Bits64);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TBrowserSettingWarning with the same Name, Key, Value, OldRegString,
    // NewRegString, RootKey and View.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    // This class's own description text; it hides the inherited field, which it does not use.
    std::string Description;
    std::string OldRegString;
    std::string NewRegString;
};

// A registry entry named in the threat database: a whole key (Value and RegString empty) or one
// value. Name and Key are the key path with its trailing separator.
class TRegistyWarning : public TAutorunAddWarning {
public:
    static constexpr std::string_view kClassName = "TRegistyWarning";
    using TAutorunAddWarning::TAutorunAddWarning;

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TRegistyWarning with the same Name, Key, Value, RootKey and View; RegString is
    // not compared. Its texts name the key as the registry editor shows it in View.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    // This class's own description text; it hides the inherited field, which it does not use.
    std::string Description;
};

// A tracking cookie; Name is the cookie's file name inside the cookies folder.
class TCookieWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TCookieWarning";
    explicit TCookieWarning(std::string name);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TCookieWarning of the same Name.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    std::string Description;
};

// The folder of a malicious program; FolderPath is the full path with its trailing separator
// (the folder scanner passes it as Name too).
class TFolderWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TFolderWarning";
    TFolderWarning(std::string name, std::string folderPath);

    std::string GetTitle() override;
    std::string GetDescription() override;
    std::string GetPicture() override;
    std::string GetDanger() override;
    std::string GetBackupStr() override;
    // True for a TFolderWarning with the same Name and FolderPath.
    bool AreEqual(const TWarning& other) const override;
    std::string_view ClassName() const override { return kClassName; }

    std::string Description;
    std::string FolderPath;
};

}  // namespace sentrel
