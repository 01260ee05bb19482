#include "warnings/Backuper.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/IniText.h"
#include "config/Options.h"
#include "warnings/FolderTree.h"

namespace sentrel {

namespace {

// The blanks the INI codec trims around a value.
constexpr std::string_view kBlanks = " \t\r\v\f";

// The text to store so that the INI codec reads back exactly `value`: it trims blanks at either
// end and takes off one pair of surrounding quotes, so such a value is stored inside quotes.
std::string StoredText(std::string_view value) {
    if (value.empty()) return {};
    const bool blankAtEdge =
        kBlanks.find(value.front()) != std::string_view::npos || kBlanks.find(value.back()) != std::string_view::npos;
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (blankAtEdge || quoted) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

// "Desc" is only ever shown as one line of the undo list, so a line break in it (a registry
// value name may hold one) becomes a blank instead of refusing the whole backup.
std::string OneLine(std::string_view text) {
    std::string line(text);
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return line;
}

int ReadInteger(const IniText& ini, std::string_view section, std::string_view key) {
    const std::optional<std::string> text = ini.Get(section, key);
    if (!text) return 0;
    return ParseOptionInteger(*text).value_or(0);
}

// The record sections in file order: every section named by a backup code, each name once (a
// repeated section is hidden behind its first occurrence, as the INI rules read it). "Count"
// and any other section are not records, wherever they stand.
std::vector<std::string> Records(const IniText& ini) {
    std::vector<std::string> records;
    std::unordered_set<std::string> seen;
    for (std::string& name : ini.SectionNames()) {
        if (TBackuper::IsBackupCode(name) && seen.insert(name).second) records.push_back(std::move(name));
    }
    return records;
}

const std::string& RecordAt(const std::vector<std::string>& records, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= records.size()) {
        throw std::out_of_range("There is no backup record at index " + std::to_string(index) + " (there are " +
                                std::to_string(records.size()) + ")");
    }
    return records[static_cast<std::size_t>(index)];
}

// True when a file or folder is at `folder` (given with its trailing separator).
bool IsTaken(const std::string& folder) {
    const std::string path = folder.substr(0, folder.size() - 1);
    return FolderExists(path) || FileExists(path);
}

std::int64_t CodeValue(const std::string& code) {
    return std::stoll(code);
}

// One code per fix: no store ever gets near a billion of them. A section or "LastCode" at or
// above this comes from a hand edit or damage, and following it would use up the codes left, so
// it is not taken into account when the next code is chosen.
constexpr std::int64_t kSaneCodeLimit = 1'000'000'000;

// The code after the highest sane code in use: "LastCode" and every record below the limit.
std::int64_t NextSaneCode(const IniText& ini, const std::vector<std::string>& records) {
    const std::int64_t lastCode = ReadInteger(ini, kBackupCountSection, kBackupLastCodeKey);
    std::int64_t code = lastCode >= 0 && lastCode < kSaneCodeLimit ? lastCode : 0;
    for (const std::string& record : records) {
        if (const std::int64_t value = CodeValue(record); value < kSaneCodeLimit) code = std::max(code, value + 1);
    }
    return code;
}

}  // namespace

BackupValue BackupString(std::string_view name, std::string_view value) {
    return {std::string(name), std::string(value)};
}

BackupValue BackupInteger(std::string_view name, int value) {
    return {std::string(name), std::to_string(value)};
}

bool TBackuper::IsBackupCode(std::string_view text) {
    if (text.empty() || text.size() > 10) return false;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= INT_MAX;
}

TBackuper::TBackuper(std::string programFolder)
    : programFolder_(std::move(programFolder)), path_(JoinPath(programFolder_, std::string(kBackupsFileName))) {
    const std::string folder = JoinPath(programFolder_, std::string(kBackupsFolderName));
    try {
        if (!FolderExists(folder)) CreateFolders(folder);
    } catch (const FileError&) {
        LogCaught("backup store");
        // NewBackup tries again and reports it then.
    }

    // A file edited by hand (or written by a run that ended between two of its changes) may
    // hold a "Count" that is not the number of its records, which would make the undo list read
    // past the records or stop short of them, or a "LastCode" that is not above every record's
    // code. Both are set from the records themselves. A file that cannot be read or written is
    // left as it is.
    const std::lock_guard lock(mutex_);
    try {
        if (!FileExists(path_)) return;
        IniText ini = Load();
        const std::vector<std::string> records = Records(ini);
        bool changed = false;
        const std::optional<std::string> count = ini.Get(kBackupCountSection, kBackupCountKey);
        if (!records.empty() || count) {
            const std::string recordCount = std::to_string(records.size());
            if (count != recordCount) {
                ini.Set(kBackupCountSection, kBackupCountKey, recordCount);
                changed = true;
            }
        }
        const std::int64_t nextCode = NextSaneCode(ini, records);
        if (nextCode > ReadInteger(ini, kBackupCountSection, kBackupLastCodeKey)) {
            ini.Set(kBackupCountSection, kBackupLastCodeKey, std::to_string(nextCode));
            changed = true;
        }
        if (changed) Save(ini);
    } catch (const std::exception&) {
        LogCaught("backup store");
        // Reads and writes report it when they meet it.
    }
}

std::string TBackuper::BackupsFolder() const {
    return JoinPath(programFolder_, std::string(kBackupsFolderName)) + kPathSeparator;
}

std::string TBackuper::RecordFolder(std::string_view code) const {
    if (!IsBackupCode(code)) throw std::invalid_argument("\"" + std::string(code) + "\" is not a backup code");
    return BackupsFolder() + std::string(code) + kPathSeparator;
}

IniText TBackuper::Load() const {
    if (!FileExists(path_)) return IniText::Parse({});
    // A file that is there but cannot be read throws, so that no write replaces it.
    return IniText::Parse(ReadFileText(path_));
}

void TBackuper::Save(const IniText& ini) const {
    WriteFileAtomically(path_, ini.ToText());
    if (changed_) changed_();
}

void TBackuper::SetChangeListener(std::function<void()> changed) {
    const std::lock_guard lock(mutex_);
    changed_ = std::move(changed);
}

std::string TBackuper::ChooseCode(const IniText& ini, const std::vector<std::string>& records) const {
    // "LastCode" alone decides in a sound file. After a hand edit it may name a live record or a
    // folder left behind, and writing there would mix two records' keys or files. Codes beyond
    // the sane limit are passed over; should the codes above still run out, the lowest free one
    // is taken, so that no odd section can block every later fix. A reserved record's folder
    // keeps its code taken.
    const std::unordered_set<std::string> live(records.begin(), records.end());
    const auto taken = [&](std::int64_t candidate) {
        const std::string text = std::to_string(candidate);
        return live.contains(text) || IsTaken(RecordFolder(text));
    };
    std::int64_t code = NextSaneCode(ini, records);
    while (code < INT_MAX && taken(code)) ++code;
    if (code >= INT_MAX) {
        code = 0;
        while (code < INT_MAX && taken(code)) ++code;
    }
    if (code >= INT_MAX) throw std::runtime_error("The backup store has no backup code left");
    return std::to_string(code);
}

NewBackupResult TBackuper::NewBackup(std::string_view type, std::string_view desc) {
    const std::lock_guard lock(mutex_);
    IniText ini = Load();
    const std::vector<std::string> records = Records(ini);
    const std::string codeText = ChooseCode(ini, records);

    // One write: "Count" (first in a new file), the record, and "LastCode".
    ini.Set(kBackupCountSection, kBackupCountKey, std::to_string(records.size() + 1));
    ini.Set(codeText, kBackupTypeKey, StoredText(type));
    ini.Set(codeText, kBackupDescKey, StoredText(OneLine(desc)));
    ini.Set(kBackupCountSection, kBackupLastCodeKey, std::to_string(CodeValue(codeText) + 1));

    // The folder comes first: a record whose folder cannot be made would let a fix move things
    // into nowhere.
    NewBackupResult result{RecordFolder(codeText), codeText};
    const std::string folder = result.folderPath.substr(0, result.folderPath.size() - 1);
    CreateFolders(folder);
    try {
        Save(ini);
    } catch (...) {
        DeleteFolderTree(folder);
        throw;
    }
    return result;
}

NewBackupResult TBackuper::ReserveRecord() {
    const std::lock_guard lock(mutex_);
    const IniText ini = Load();
    const std::string code = ChooseCode(ini, Records(ini));
    NewBackupResult result{RecordFolder(code), code};
    CreateFolders(result.folderPath.substr(0, result.folderPath.size() - 1));
    return result;
}

void TBackuper::CommitRecord(const NewBackupResult& reserved, std::string_view type, std::string_view desc,
                             std::span<const BackupValue> keys) {
    const std::lock_guard lock(mutex_);
    IniText ini = Load();
    const std::vector<std::string> records = Records(ini);
    if (std::find(records.begin(), records.end(), reserved.code) != records.end())
        throw std::logic_error("The reserved backup record " + reserved.code + " is in the store already");
    const std::int64_t next = CodeValue(reserved.code) + 1;
    ini.Set(kBackupCountSection, kBackupCountKey, std::to_string(records.size() + 1));
    ini.Set(reserved.code, kBackupTypeKey, StoredText(type));
    ini.Set(reserved.code, kBackupDescKey, StoredText(OneLine(desc)));
    ini.Set(reserved.code, kBackupFolderKey, StoredText(reserved.code));
    for (const BackupValue& value : keys) ini.Set(reserved.code, value.name, StoredText(value.text));
    if (next > ReadInteger(ini, kBackupCountSection, kBackupLastCodeKey))
        ini.Set(kBackupCountSection, kBackupLastCodeKey, std::to_string(next));
    Save(ini);
}

void TBackuper::ReleaseRecord(const NewBackupResult& reserved) noexcept {
    try {
        DeleteFolderTree(RecordFolder(reserved.code));
    } catch (...) {
        LogCaught("backup record given up");
        // The folder stays; its code is passed over.
    }
}

void TBackuper::SetString(std::string_view name, std::string_view value) {
    const BackupValue write = BackupString(name, value);
    SetValues({&write, 1});
}

void TBackuper::SetInteger(std::string_view name, int value) {
    const BackupValue write = BackupInteger(name, value);
    SetValues({&write, 1});
}

void TBackuper::SetValues(std::span<const BackupValue> values) {
    const std::lock_guard lock(mutex_);
    IniText ini = Load();
    const int lastCode = ReadInteger(ini, kBackupCountSection, kBackupLastCodeKey);
    const std::vector<std::string> records = Records(ini);
    const std::string code = lastCode > 0 ? std::to_string(lastCode - 1) : std::string();
    // Writing into a record that is not there would make a section that no count knows of.
    if (code.empty() || std::find(records.begin(), records.end(), code) == records.end()) {
        const std::string name = values.empty() ? std::string() : std::string(values.front().name);
        throw std::logic_error("There is no newest backup record to write \"" + name + "\" into");
    }
    for (const BackupValue& value : values) ini.Set(code, value.name, StoredText(value.text));
    Save(ini);
}

std::string TBackuper::GetString(int index, std::string_view name) const {
    const std::lock_guard lock(mutex_);
    const IniText ini = Load();
    return ini.Get(RecordAt(Records(ini), index), name).value_or(std::string());
}

int TBackuper::GetInteger(int index, std::string_view name) const {
    return ParseOptionInteger(GetString(index, name)).value_or(0);
}

int TBackuper::GetCount() const {
    const std::lock_guard lock(mutex_);
    return ReadInteger(Load(), kBackupCountSection, kBackupCountKey);
}

int TBackuper::GetLastCode() const {
    const std::lock_guard lock(mutex_);
    return ReadInteger(Load(), kBackupCountSection, kBackupLastCodeKey);
}

std::string TBackuper::GetSectionName(int index) const {
    const std::lock_guard lock(mutex_);
    return RecordAt(Records(Load()), index);
}

std::string BackupRecord::GetString(std::string_view name) const {
    const auto found = keys.find(name);
    return found == keys.end() ? std::string() : found->second;
}

int BackupRecord::GetInteger(std::string_view name) const {
    return ParseOptionInteger(GetString(name)).value_or(0);
}

BackupRecord TBackuper::ReadRecord(int index) const {
    const std::lock_guard lock(mutex_);
    const IniText ini = Load();
    BackupRecord record;
    record.code = RecordAt(Records(ini), index);
    record.folderPath = RecordFolder(record.code);
    for (std::string& name : ini.KeyNames(record.code)) {
        std::string value = ini.Get(record.code, name).value_or(std::string());
        record.keys.emplace(std::move(name), std::move(value));
    }
    return record;
}

int TBackuper::IndexOfCode(std::string_view code) const {
    const std::lock_guard lock(mutex_);
    const std::vector<std::string> records = Records(Load());
    const auto found = std::find(records.begin(), records.end(), code);
    return found == records.end() ? -1 : static_cast<int>(found - records.begin());
}

bool TBackuper::MarkBeingUndone(const std::string& code) {
    const std::lock_guard lock(mutex_);
    return beingUndone_.insert(code).second;
}

void TBackuper::UnmarkBeingUndone(const std::string& code) {
    const std::lock_guard lock(mutex_);
    beingUndone_.erase(code);
}

bool TBackuper::BeingUndone(std::string_view code) const {
    const std::lock_guard lock(mutex_);
    return beingUndone_.contains(code);
}

void TBackuper::DeleteBackup(int index) {
    const std::lock_guard lock(mutex_);
    IniText ini = Load();
    const std::string code = RecordAt(Records(ini), index);
    if (beingUndone_.contains(code))
        throw std::runtime_error("The change is being undone; it can be deleted once its undo has ended");
    // Every section of that name goes, so that a repeated one cannot come forward as a record
    // whose folder is gone.
    while (ini.EraseSection(code)) {
    }
    ini.Set(kBackupCountSection, kBackupCountKey, std::to_string(Records(ini).size()));
    Save(ini);
    DeleteFolderTree(RecordFolder(code));
}

}  // namespace sentrel
