#pragma once
// The backup store: every change the shield makes to the system is preceded by a backup record,
// so that the user can undo it later. The records live in "backups.ini" in the program folder,
// one section per record named by its backup code, after the section "Count" that holds the
// number of live records ("Count") and the code the next record gets ("LastCode"); the files a
// record saves lie in "backuped\<code>\". The store knows nothing of warning types: it keeps a
// record's "Type" (the warning's class name), its "Desc" (the line of the undo list) and
// whatever keys the warning writes.
//
// A record's index is its place among the record sections in file order, counted from 0: new
// records are appended, and later records move down by one when a record is deleted. A backup
// code never changes and is never used twice.
//
// Nothing is cached: each read reads the file; each write reads it, changes it and writes the
// whole file back in one step (a temporary file moved over the old one), so a record written is
// on disk when the call returns and a crash never leaves half a file. One lock per store keeps
// every call whole.

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class IniText;

inline constexpr std::string_view kBackupsFileName = "backups.ini";
inline constexpr std::string_view kBackupsFolderName = "backuped";
inline constexpr std::string_view kBackupCountSection = "Count";
inline constexpr std::string_view kBackupCountKey = "Count";
inline constexpr std::string_view kBackupLastCodeKey = "LastCode";
inline constexpr std::string_view kBackupTypeKey = "Type";
inline constexpr std::string_view kBackupDescKey = "Desc";
inline constexpr std::string_view kBackupFolderKey = "BackupFolder";
// Why the finding that the record undoes looked dangerous (its reasons, "; " between them), where
// it had reasons; the restore list shows them after "Desc".
inline constexpr std::string_view kBackupReasonsKey = "Why";

// What NewBackup made: the record's folder (ending with a separator) and its code as text.
struct NewBackupResult {
    std::string folderPath;
    std::string code;
};

// One key of a record and the text to store for it (see BackupString, BackupInteger).
struct BackupValue {
    std::string name;
    std::string text;
};
BackupValue BackupString(std::string_view name, std::string_view value);
BackupValue BackupInteger(std::string_view name, int value);

// One record read whole, as values: what an undo acting away from the store works from.
struct BackupRecord {
    std::string code;
    std::string folderPath;  // the record's folder, ending with a separator
    std::map<std::string, std::string, std::less<>> keys;

    // Key `name`: empty, or 0 when missing or not a number.
    std::string GetString(std::string_view name) const;
    int GetInteger(std::string_view name) const;
};

class TBackuper {
public:
    // The store over "backups.ini" and "backuped" in `programFolder`. Creates the "backuped"
    // folder when it is missing, and brings a file whose "Count" disagrees with its record
    // sections (or whose "LastCode" is not above every record's code) back in line. Neither a
    // failure to create the folder nor a damaged or unwritable file makes it throw.
    explicit TBackuper(std::string programFolder);
    TBackuper(const TBackuper&) = delete;
    TBackuper& operator=(const TBackuper&) = delete;

    const std::string& ProgramFolderPath() const { return programFolder_; }
    // program folder + "backups.ini".
    const std::string& FileName() const { return path_; }
    // program folder + "backuped" + separator.
    std::string BackupsFolder() const;
    // program folder + "backuped" + separator + code + separator. Throws std::invalid_argument
    // when `code` is not a backup code (decimal digits only), so that a damaged record can never
    // lead outside "backuped".
    std::string RecordFolder(std::string_view code) const;

    // Creates a record with "Type" and "Desc" at the end of the file, and its empty folder; the
    // record gets code "LastCode" (raised past any code a section or folder already has), and
    // "LastCode" moves one on. Codes of a billion and more (only a hand edit or damage makes
    // them) are passed over when the code is chosen, so one odd section never blocks new records. Throws FileError when the file cannot be written or the folder
    // cannot be created (then no record is left behind), std::invalid_argument for a type or
    // text that cannot be stored (a line break).
    NewBackupResult NewBackup(std::string_view type, std::string_view desc);

    // A record's code and empty folder taken for a fix that writes the record only when it is
    // done (CommitRecord) or gives it up (ReleaseRecord): the file is not written, but the folder
    // keeps every other record off the code. Throws FileError when the folder cannot be made.
    NewBackupResult ReserveRecord();
    // Writes the reserved record at the end of the file with "Type", "Desc", "BackupFolder" and
    // `keys`, "Count" and "LastCode" with it, in one write. Throws as NewBackup and SetValues do;
    // the folder and what the fix saved in it stay when the write fails.
    void CommitRecord(const NewBackupResult& reserved, std::string_view type, std::string_view desc,
                      std::span<const BackupValue> keys);
    // Deletes the reserved folder with whatever is in it. Never throws.
    void ReleaseRecord(const NewBackupResult& reserved) noexcept;

    // Write keys of the newest record (code "LastCode" - 1), in one write for SetValues. Throws
    // std::logic_error when that record does not exist (none made yet, or already deleted),
    // FileError when the file cannot be written, std::invalid_argument for a name or value that
    // cannot be stored (a line break). Any other text reads back exactly as written.
    void SetString(std::string_view name, std::string_view value);
    void SetInteger(std::string_view name, int value);
    void SetValues(std::span<const BackupValue> values);

    // Key `name` of record `index`: empty, or 0 when missing or not a number. Throw
    // std::out_of_range for an index outside the records.
    std::string GetString(int index, std::string_view name) const;
    int GetInteger(int index, std::string_view name) const;

    // "Count" and "LastCode" of section "Count"; 0 when missing or not a number.
    int GetCount() const;
    int GetLastCode() const;

    // The section name (the backup code) of record `index`. Throws std::out_of_range for an
    // index outside the records.
    std::string GetSectionName(int index) const;

    // Record `index` with all its keys. Throws std::out_of_range for an index outside the records,
    // std::invalid_argument for a section name that is no backup code.
    BackupRecord ReadRecord(int index) const;
    // The index of the record with code `code`; -1 when there is none (deleted meanwhile).
    int IndexOfCode(std::string_view code) const;

    // The records whose undo is under way: marked when it is planned, unmarked when it is
    // finished. False when `code` was marked already (a second undo of it is refused).
    bool MarkBeingUndone(const std::string& code);
    void UnmarkBeingUndone(const std::string& code);
    bool BeingUndone(std::string_view code) const;

    // Deletes record `index`: its section goes from the file and "Count" is set to the records
    // left, in one write; then its folder is deleted with everything in it, depth first, read-only
    // files too. A file or folder that cannot be deleted does not stop the rest and is not
    // reported; a folder that is already gone is no error. Throws std::out_of_range for an index
    // outside the records, FileError when the file cannot be written (then nothing is deleted),
    // std::runtime_error for a record whose undo is under way (nothing is deleted).
    void DeleteBackup(int index);

    // `changed` runs after every write of the file (a record made, changed or deleted), on the
    // thread that wrote and while the store is locked: it must not call the store, only note or
    // post that the records changed (the restore list refreshes itself that way).
    void SetChangeListener(std::function<void()> changed);

    // True for a backup code: 1 to 10 decimal digits, at most 2147483647.
    static bool IsBackupCode(std::string_view text);

private:
    IniText Load() const;
    std::string ChooseCode(const IniText& ini, const std::vector<std::string>& records) const;
    void Save(const IniText& ini) const;

    std::string programFolder_;
    std::string path_;
    mutable std::mutex mutex_;
    std::function<void()> changed_;
    std::set<std::string, std::less<>> beingUndone_;
};

}  // namespace sentrel
