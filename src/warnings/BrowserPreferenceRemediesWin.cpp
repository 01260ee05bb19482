// The fix of a Firefox preference line: the lines of that preference with the value found go from
// the profile's user.js and prefs.js (Firefox copies user.js into prefs.js at each start, so both
// can hold it); every other byte of each file stays. A file that changed between the fix's reading
// and its writing (Firefox saves prefs.js while it runs) is not written: the fix gives up. Each file changed is saved into the record's
// folder as it was, beside what the fix wrote. The undo puts a file back whole while it is still
// what the fix wrote, and otherwise only the lines, so that what Firefox or the user changed since
// is kept. No other file of the profile is ever touched.
#include <windows.h>

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "browsers/BrowserFiles.h"
#include "browsers/FirefoxPrefs.h"
#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/BrowserPreferenceWarning.h"
#include "warnings/RecordKeys.h"
#include "warnings/RegistryFile.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr std::string_view kBrowserKey = "Browser";
constexpr std::string_view kProfileFolderKey = "ProfileFolder";
constexpr std::string_view kPreferenceKey = "Preference";
constexpr const char* kWrittenSuffix = ".written";

// The two files, with the record key of the lines removed from each ("" when it was not changed).
struct PrefsFile {
    const char* name;
    std::string_view linesKey;
};
constexpr std::array<PrefsFile, 2> kFiles = {{{"user.js", "UserJsLines"}, {"prefs.js", "PrefsJsLines"}}};

// The removed statements as one record value: "whole:offset:hex" joined by ";".
std::string LinesText(const std::vector<FirefoxPrefLine>& lines) {
    std::string text;
    for (const FirefoxPrefLine& line : lines) {
        if (!text.empty()) text += ';';
        text += std::string(line.wholeLine ? "1" : "0") + ":" + std::to_string(line.offset) + ":" + HexFromBytes(line.line);
    }
    return text;
}

std::vector<FirefoxPrefLine> LinesFromText(const std::string& text) {
    std::vector<FirefoxPrefLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        const std::size_t first = part.find(':');
        const std::size_t second = first == std::string::npos ? first : part.find(':', first + 1);
        std::optional<std::string> bytes;
        if (second != std::string::npos) bytes = BytesFromHex(part.substr(second + 1));
        if (!bytes || bytes->empty()) throw std::runtime_error("The saved lines cannot be read; nothing was restored");
        FirefoxPrefLine line;
        line.wholeLine = part.substr(0, first) == "1";
        line.offset = static_cast<std::size_t>(std::stoull(part.substr(first + 1, second - first - 1)));
        line.line = std::move(*bytes);
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The file's text; nothing when it is missing. Throws when it is there and cannot be read.
std::optional<std::string> ReadPrefsFile(const std::string& path, const std::string& failure) {
    const FileRead file = ReadCappedFile(path, kMaxPrefsBytes);
    if (file.text) return file.text;
    if (file.missing) return std::nullopt;
    throw std::runtime_error("Sentrel could not read " + path + " (" + file.reason + "); " + failure);
}

void WriteOrThrow(const std::string& path, const std::string& text, const std::string& failure) {
    try {
        WriteFileAtomically(path, text);
    } catch (const std::exception& error) {
        throw std::runtime_error("Sentrel could not write " + path + " (" + error.what() + "); " + failure);
    }
}

}  // namespace

namespace remedies {

void FixBrowserPreference(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                          const WarningWorkerContext& context) {
    const auto& warning = WarningAs<BrowserPreferenceWarning>(found);
    constexpr const char* kNothing = "nothing was changed.";
    struct Change {
        const PrefsFile* file;
        std::string path;
        std::string before;
        PrefRemoval removal;
    };
    std::vector<Change> changes;
    for (const PrefsFile& file : kFiles) {
        const std::string path = JoinPath(warning.ProfileFolder, file.name);
        const std::optional<std::string> text = ReadPrefsFile(path, kNothing);
        if (!text) continue;
        if (auto removal = RemovePrefStatements(*text, warning.Preference, warning.Value))
            changes.push_back({&file, path, *text, std::move(*removal)});
    }
    if (changes.empty())
        throw ThreatGoneError("No line of " + warning.Browser + " sets " + warning.Preference + " to " + warning.Value +
                              " any more; nothing was changed.");
    std::vector<BackupValue> keys = {BackupString(kPointKey, warning.PointId), BackupString(kBrowserKey, warning.Browser),
                                     BackupString(kProfileFolderKey, warning.ProfileFolder),
                                     BackupString(kPreferenceKey, warning.Preference),
                                     BackupString(kValueKey, warning.Value)};
    // The copies first: a file is changed only once both of its copies are in the record.
    for (const Change& change : changes) {
        WriteFileAtomically(record.folderPath + change.file->name, change.before);
        WriteFileAtomically(record.folderPath + change.file->name + kWrittenSuffix, change.removal.text);
        keys.push_back(BackupString(change.file->linesKey, LinesText(change.removal.removed)));
    }
    const AutostartPointHold hold(context, warning.PointId);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        try {
            // Firefox rewrites prefs.js while it runs; what it wrote since the reading above must
            // not be lost under the text made from that reading.
            if (ReadPrefsFile(changes[i].path, kNothing) != changes[i].before)
                throw std::runtime_error(warning.Browser + " changed " + changes[i].path +
                                         " meanwhile, so the fix was not made; nothing was written. Close " +
                                         warning.Browser + " and try again.");
            WriteOrThrow(changes[i].path, changes[i].removal.text, kNothing);
        } catch (const std::exception&) {
            // A failed fix keeps no record: the file changed before goes back as it was, unless
            // someone wrote it again since.
            for (std::size_t done = 0; done < i; ++done) {
                try {
                    if (ReadPrefsFile(changes[done].path, kNothing) == changes[done].removal.text)
                        WriteFileAtomically(changes[done].path, changes[done].before);
                    else
                        LogEvent("browser preferences not put back, changed since: " + changes[done].path);
                } catch (const std::exception&) {
                    LogCaught("browser preferences put back");
                }
            }
            throw;
        }
    }
    outcome.keepRecord = true;
    outcome.recordKeys = std::move(keys);
}

void UndoBrowserPreference(const BackupRecord& record, const WarningWorkerContext& context) {
    constexpr const char* kNothing = "nothing was restored.";
    const std::string folder = record.GetString(kProfileFolderKey);
    if (folder.empty()) throw std::runtime_error("The backup record names no profile; nothing was restored");
    struct Restore {
        std::string path;
        std::string text;
    };
    std::vector<Restore> restores;
    for (const PrefsFile& file : kFiles) {
        const std::string linesText = record.GetString(file.linesKey);
        if (linesText.empty()) continue;
        const std::vector<FirefoxPrefLine> lines = LinesFromText(linesText);
        const std::string saved = record.folderPath + file.name;
        const std::string written = saved + kWrittenSuffix;
        if (!FileExists(saved) || !FileExists(written))
            throw std::runtime_error("The saved copy of " + std::string(file.name) + " is missing; " + kNothing);
        const std::string path = JoinPath(folder, file.name);
        restores.push_back({path, UndoPrefRemoval(ReadPrefsFile(path, kNothing), ReadFileText(saved),
                                                  ReadFileText(written), lines)});
    }
    if (restores.empty()) throw std::runtime_error("The backup record names no file; nothing was restored");
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    for (std::size_t i = 0; i < restores.size(); ++i)
        WriteOrThrow(restores[i].path, restores[i].text, i == 0 ? kNothing : "the other file was restored.");
}

}  // namespace remedies
}  // namespace sentrel
