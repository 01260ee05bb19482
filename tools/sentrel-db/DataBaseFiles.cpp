#include "DataBaseFiles.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <span>
#include <system_error>

#include "Csv.h"
#include "TableCsv.h"
#include "common/Files.h"
#include "database/Cipher.h"

namespace sentrel::dbtool {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTableExtension = ".csv";
constexpr std::string_view kInnerDataBaseName = "database.db";

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A fresh folder of our own (mkdtemp), removed with its contents unless released.
class PrivateFolder {
public:
    // `prefix` is a path whose last part begins the folder's name.
    explicit PrivateFolder(const std::string& prefix) {
        std::string pattern = prefix + "XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            const std::error_code error(errno, std::generic_category());
            throw ToolError("cannot create a working folder beside " + Quoted(prefix) + ": " + error.message());
        }
        path_ = pattern;
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() {
        if (path_.empty()) return;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return JoinPath(path_, name); }
    void Release() { path_.clear(); }

private:
    std::string path_;
};

// The folder that holds `path` ("." when the path names none); trailing separators are ignored.
std::string ParentFolderOf(const std::string& path) {
    fs::path parent = fs::path(path).lexically_normal();
    if (!parent.has_filename()) parent = parent.parent_path();
    parent = parent.parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A table name that can be a file name here and comes back unchanged from it.
bool IsFileNameSafe(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

std::vector<std::unique_ptr<TTable>> ReadTableFolder(const std::string& folder, std::vector<std::string>& warnings) {
    if (!FolderExists(folder)) throw ToolError(Quoted(folder) + " is not a folder");
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->path().extension() == kTableExtension) files.push_back(entry->path());
    }
    if (error) throw ToolError("cannot list " + Quoted(folder) + ": " + error.message());
    std::sort(files.begin(), files.end());

    std::vector<std::unique_ptr<TTable>> tables;
    for (const fs::path& file : files) {
        const std::string path = file.string();
        const std::string name = file.stem().string();
        if (name.empty()) throw ToolError(Quoted(path) + ": the file name gives no table name");
        if (!FileExists(path)) throw ToolError(Quoted(path) + " is not a file");
        std::string text;
        try {
            text = ReadFileText(path);
        } catch (const FileError& failure) {
            throw ToolError(failure.what());
        }
        try {
            tables.push_back(TableFromCsv(name, text, warnings));
        } catch (const CsvError& failure) {
            throw ToolError(path + ":" + std::to_string(failure.Line()) + ": " + failure.what());
        }
    }
    if (tables.empty()) warnings.push_back("no .csv table in " + Quoted(folder) + "; the database has no tables");
    return tables;
}

void WriteDataBaseFile(const std::string& path, std::vector<std::unique_ptr<TTable>> tables) {
    const std::string parent = ParentFolderOf(path);
    if (!FolderExists(parent)) throw ToolError("the folder of " + Quoted(path) + " does not exist");
    if (FolderExists(path)) throw ToolError(Quoted(path) + " is a folder");

    PrivateFolder work(JoinPath(parent, ".sentrel-db-"));
    const std::string inner = work / std::string(kInnerDataBaseName);
    TDataBase dataBase(inner, false, std::string(kDataBasePassPhrase));
    for (auto& table : tables) {
        const std::string name = table->Name();
        if (!dataBase.AddTable(std::move(table)))
            throw ToolError("the tables " + Quoted(dataBase.FindTable(name)->Name()) + " and " + Quoted(name) +
                            " differ only in letter case; the program would drop the second");
    }
    try {
        dataBase.Save();
        MoveFileOver(inner, path);
    } catch (const std::exception& failure) {
        throw ToolError("cannot write " + Quoted(path) + ": " + failure.what());
    }
}

std::unique_ptr<TDataBase> LoadDataBaseFile(const std::string& path) {
    if (FolderExists(path)) throw ToolError(Quoted(path) + " is a folder, not a database file");
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (const FileError& failure) {
        throw ToolError(failure.what());
    }
    // The load unpacks into the folder of the file; a private copy keeps that away from the
    // user's folder (which may be read-only, or hold a file named like a working file).
    PrivateFolder work((fs::temp_directory_path() / "sentrel-db-").string());
    const std::string copy = work / std::string(kInnerDataBaseName);
    try {
        WriteFileBytes(copy, bytes);
    } catch (const FileError& failure) {
        throw ToolError(failure.what());
    }
    auto dataBase = std::make_unique<TDataBase>(copy, false, std::string(kDataBasePassPhrase));
    try {
        dataBase->LoadFromFile(copy);
    } catch (const DataBaseError& failure) {
        std::string reason = failure.what();
        const std::string prefix = std::string(kInnerDataBaseName) + " is damaged: ";
        if (reason.starts_with(prefix)) reason.erase(0, prefix.size());
        throw ToolError(Quoted(path) + " is not a readable database: " + reason);
    }
    return dataBase;
}

void WriteTableFolder(const TDataBase& dataBase, const std::string& folder, std::vector<std::string>& warnings) {
    // Everything is rendered before the first file is written.
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < dataBase.TableCount(); ++i) {
        const TTable& table = *dataBase.GetTableByIndex(i);
        if (!IsFileNameSafe(table.Name())) {
            warnings.push_back("the table " + Quoted(table.Name()) + " is left out: its name cannot be a file name");
            continue;
        }
        files.emplace_back(table.Name() + std::string(kTableExtension), TableToCsv(table, warnings));
    }

    try {
        if (FolderExists(folder)) {
            std::set<std::string> written;
            for (const auto& [name, text] : files) {
                WriteFileAtomically(JoinPath(folder, name), text);
                written.insert(name);
            }
            std::error_code error;
            for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
                const std::string name = entry->path().filename().string();
                if (entry->path().extension() == kTableExtension && !written.contains(name))
                    warnings.push_back(Quoted(entry->path().string()) +
                                       " is not a table of the database and was left as it is");
            }
            return;
        }
        if (fs::exists(fs::symlink_status(folder))) throw ToolError(Quoted(folder) + " exists and is not a folder");
        const std::string parent = ParentFolderOf(folder);
        CreateFolders(parent);
        PrivateFolder work(JoinPath(parent, ".sentrel-db-"));
        // mkdtemp makes the folder private; the finished one gets the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        fs::permissions(work.Path(), static_cast<fs::perms>(0777 & ~mask));
        for (const auto& [name, text] : files) WriteFileBytes(work / name, AsBytes(text));
        fs::rename(work.Path(), folder);
        work.Release();
    } catch (const ToolError&) {
        throw;
    } catch (const std::exception& failure) {
        throw ToolError("cannot write the tables into " + Quoted(folder) + ": " + failure.what());
    }
}

}  // namespace sentrel::dbtool
