#pragma once
// The warning family: every finding of a monitor becomes one object of a class derived from
// TWarning, which the warning queue owns, compares, shows and fixes.
//
// Class tree (fields in declaration order):
//   TWarning                 Name
//     TKeyHookWarning        -
//     TMouseHookWarning      -
//     TProcessWarning        FilePath
//     TFileWarning           FilePath
//       TFileChangeWarning   - (FilePath holds the folder of the deleted file)
//     TAutorunAddWarning     Key, Value, RegString, RootKey, View, KnownProgram
//       TBrowserSettingWarning  OldRegString, NewRegString
//       TRegistyWarning         -
//     TCookieWarning         -
//     TFolderWarning         FolderPath
//
// A class holds a finding's data and the duplicate test (AreEqual); everything else about its
// kind is the kind's row (warnings/WarningKinds.h), which each class names by its kClassName:
// the name its backup records keep as "Type", its categories, its fix and undo, and the builder
// of its texts. The texts (title, description, picture, danger, backup line) are made once, by
// MakeTexts, when the queue takes the warning; after that the getters return them.
//
// Strings are UTF-8 (the program's code page); AreEqual compares them byte for byte.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "warnings/RootKeys.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

class TBackuper;

class TWarning {
public:
    virtual ~TWarning() = default;
    TWarning(const TWarning&) = delete;
    TWarning& operator=(const TWarning&) = delete;

    const WarningKind& Kind() const { return *kind_; }
    // The kind's name, as the backup records know it.
    std::string_view ClassName() const { return kind_->name; }

    // Remedies the threat with the kind's fix, its three steps in a row on this thread (FixNow);
    // where that changes the system, a backup record with the backup line is written. Returns
    // what the user is to be told. Throws std::logic_error when the texts were never made (the
    // record would have no line) or the kind has no fix on this system.
    std::vector<std::string> Fix(TBackuper& backuper, const WarningContext& context) const;
    // (Undo: by the record's kind name, see WarningKind::Undo.)

    // Makes the texts from the data with the kind's builder. The queue calls it when it takes the
    // warning; a test that shows or fixes a warning without a queue calls it itself. A builder
    // that fails leaves every text empty: the warning is still decided, and asked about.
    void MakeTexts();
    bool HasTexts() const { return textsMade_; }
    const WarningTexts& Texts() const { return texts_; }
    const std::string& GetTitle() const { return texts_.title; }
    const std::string& GetDescription() const { return texts_.description; }
    // "bug", "what" or "garbage".
    const std::string& GetPicture() const { return texts_.picture; }
    // "_red" or empty.
    const std::string& GetDanger() const { return texts_.danger; }
    // The line of the undo list, stored as "Desc" of the backup record; empty for a kind whose
    // fix makes no record.
    const std::string& GetBackupStr() const { return texts_.backupLine; }

    // True when `other`, a warning about to be queued, duplicates this queued one. Not
    // symmetric: see each class. By default: the same kind and the same Name.
    virtual bool AreEqual(const TWarning& other) const;

    std::string Name;
    // Who signed the program the finding runs, as the alert tells it on a line of its own
    // ("Program signed by ..."); empty where that is not known. Not part of the description,
    // which the white and black lists hold.
    std::string SignatureText;
    // What a new line of the white or black list names for this finding where it has facts to
    // name (an autostart entry: its point, its name and its program with versions set aside, so
    // that the line still holds after an update); empty: the description, as always. A list
    // holds lines of both forms; either matches.
    std::string ListFacts;
    // What the finding runs, whole: the program with its folder, then its arguments. The alert
    // shows it on a line of its own, since the name the texts take from it can hide the program
    // that runs; empty where the finding runs nothing.
    std::string Command;
    // Why the finding looks dangerous, by the rules of the threat database: shown after the
    // description, kept in the log and the backup record. Not part of the description.
    std::vector<std::string> DangerReasons;
    // A host of the malicious-hosts table the finding names; the alert is then red.
    std::string MaliciousHost;
    // Set when the black list settles the warning: the user has named it malicious, so its fix
    // does not ask the threat database again whether the thing is still a threat.
    bool SettledByBlackList = false;

protected:
    TWarning(const WarningKind& kind, std::string name) : Name(std::move(name)), kind_(&kind) {}

private:
    const WarningKind* kind_;
    WarningTexts texts_;
    bool textsMade_ = false;
};

// `warning` as the class its kind's functions take; std::bad_cast for a warning of another class.
template <class Class>
const Class& WarningAs(const TWarning& warning) {
    return dynamic_cast<const Class&>(warning);
}

// A keyboard hook set by the program `Name`. Nothing in the shield detects hooks; the kind exists
// and can be shown and fixed. Its fix makes no backup, so it has no backup line and no undo.
class TKeyHookWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TKeyHookWarning";
    explicit TKeyHookWarning(std::string name = {});
};

// A mouse hook set by the program `Name`; as TKeyHookWarning. Either is equal to a hook warning of
// its own class and the same Name.
class TMouseHookWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TMouseHookWarning";
    explicit TMouseHookWarning(std::string name = {});
};

// A known malicious module loaded by a running process. Name is the file name of FilePath.
class TProcessWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TProcessWarning";
    // Equal to a TProcessWarning of the same Name, whatever its folder.
    TProcessWarning(std::string name, std::string filePath);

    std::string FilePath;
};

// A known malicious file that appeared in a system folder. Name is the file name of FilePath.
class TFileWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TFileWarning";
    TFileWarning(std::string name, std::string filePath);
    // True for a TFileWarning (a TFileChangeWarning too) with the same Name and FilePath.
    bool AreEqual(const TWarning& other) const override;

    std::string FilePath;

protected:
    TFileWarning(const WarningKind& kind, std::string name, std::string filePath);
};

// A file deleted from a system folder. The constructor keeps only the folder part of the path
// (with its trailing separator) in FilePath. Backup line and undo are TFileWarning's, never used.
class TFileChangeWarning : public TFileWarning {
public:
    static constexpr std::string_view kClassName = "TFileChangeWarning";
    TFileChangeWarning(std::string name, const std::string& filePath);
    // True for a TFileChangeWarning with the same Name and folder; never for a plain
    // TFileWarning.
    bool AreEqual(const TWarning& other) const override;
};

// A new value in an autorun key. Name is the file name of the program path RegString. View is
// the registry view the key was read in; the fix and its undo act in the same one. KnownProgram:
// the autorun monitor found RegString in the threat database. PointId names the autostart point
// the key is (what the fix holds while it writes there); it takes no part in the comparison.
class TAutorunAddWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TAutorunAddWarning";
    TAutorunAddWarning(RegistryRoot rootKey, std::string name, std::string key, std::string value,
                       std::string regString, RegistryView view = RegistryView::Bits64);
    // True for a TAutorunAddWarning (either subclass too) with the same Name, Key, Value,
    // RegString, RootKey and View.
    bool AreEqual(const TWarning& other) const override;

    std::string Key;
    std::string Value;
    std::string RegString;
    RegistryRoot RootKey;
    RegistryView View;
    bool KnownProgram = false;
    std::string PointId;

protected:
    TAutorunAddWarning(const WarningKind& kind, RegistryRoot rootKey, std::string name, std::string key,
                       std::string value, std::string regString, RegistryView view);
};

// A watched registry value (a browser setting) whose data changed from OldRegString to
// NewRegString. The key path is both Name and Key; RegString stays empty.
class TBrowserSettingWarning : public TAutorunAddWarning {
public:
    static constexpr std::string_view kClassName = "TBrowserSettingWarning";
    TBrowserSettingWarning(RegistryRoot rootKey, const std::string& key, std::string value,
                           std::string oldRegString, std::string newRegString,
                           RegistryView view = RegistryView::Bits64);
    // True for a TBrowserSettingWarning with the same Name, Key, Value, OldRegString,
    // NewRegString, RootKey and View.
    bool AreEqual(const TWarning& other) const override;

    std::string OldRegString;
    std::string NewRegString;
};

// A registry entry named in the threat database: a whole key (Value and RegString empty) or one
// value. Name and Key are the key path with its trailing separator. Its texts name the key as
// the registry editor shows it in View.
class TRegistyWarning : public TAutorunAddWarning {
public:
    static constexpr std::string_view kClassName = "TRegistyWarning";
    TRegistyWarning(RegistryRoot rootKey, std::string name, std::string key, std::string value,
                    std::string regString, RegistryView view = RegistryView::Bits64);
    // True for a TRegistyWarning with the same Name, Key, Value, RootKey and View; RegString is
    // not compared.
    bool AreEqual(const TWarning& other) const override;
};

// A tracking cookie; Name is the cookie's file name inside the cookies folder.
class TCookieWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TCookieWarning";
    // Equal to a TCookieWarning of the same Name.
    explicit TCookieWarning(std::string name);
};

// The folder of a malicious program; FolderPath is the full path with its trailing separator
// (the folder scanner passes it as Name too).
class TFolderWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "TFolderWarning";
    TFolderWarning(std::string name, std::string folderPath);
    // True for a TFolderWarning with the same Name and FolderPath.
    bool AreEqual(const TWarning& other) const override;

    std::string FolderPath;
};

}  // namespace sentrel
