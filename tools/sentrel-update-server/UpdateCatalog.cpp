#include "UpdateCatalog.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "common/Files.h"
#include "database/Patch.h"
#include "database/UpdateAnswer.h"
#include "database/UpdateSignature.h"
#include "sentrel-db/UpdateFiles.h"

namespace sentrel::server {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNginxConfig =
    R"(# Serves the exported update protocol with nginx. Put the exported folder at `root` and make
# this server's address the program's update server address. The index request
#   GET /update40.php?elem=&user_date=57
# is answered from answers/57.txt; a number that is not a plain decimal, or above the highest
# update, gets answers/none.txt (empty: no update). Every other file is a static update file.
# On a CDN, make the same rule at the edge (cache key: the user_date query value) and put the
# folder behind it as the origin.

map $arg_user_date $sentrel_answer {
    "~^(?<number>[0-9]{1,9})$"  $number;
    default                      "none";
}

server {
    listen 80;
    root /srv/sentrel-updates;

    location = /update40.php {
        default_type text/plain;
        try_files /answers/$sentrel_answer.txt /answers/none.txt;
    }
    location / {
        default_type application/octet-stream;
        try_files $uri =404;
    }
}
)";

constexpr std::string_view kReadme =
    R"(Sentrel 4 update protocol as static files (written by sentrel-update-server --export).

  <update files> and <update>.sig   fetched by the program beside the index
  answers/<N>.txt                   the index answer for a database numbered N
  answers/none.txt                  the empty answer (no update)
  nginx.conf                        an example configuration mapping the query to the answers

Any web server or CDN that can map /update40.php?elem=&user_date=N to answers/N.txt (and
anything else to answers/none.txt) serves the same protocol as sentrel-update-server. Export
again whenever an update is added: the answers of every number change.
)";

}  // namespace

TUpdateCatalog::TUpdateCatalog(std::string root) : root_(std::move(root)) {
    if (!FolderExists(root_)) throw std::runtime_error("\"" + root_ + "\" is not a folder");
}

std::vector<TCatalogEntry> TUpdateCatalog::Entries(std::vector<std::string>& warnings) {
    std::lock_guard lock(mutex_);
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(root_, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (!entry->is_regular_file() || name.ends_with(kSignatureSuffix) || !IsSafeUpdateEntryName(name)) continue;
        names.insert(name);
    }
    if (error) throw std::runtime_error("cannot list \"" + root_ + "\": " + error.message());

    std::vector<TCatalogEntry> entries;
    for (auto it = known_.begin(); it != known_.end();)
        it = names.contains(it->first) ? std::next(it) : known_.erase(it);
    for (const std::string& name : names) {
        const fs::path path = fs::path(root_) / name;
        std::error_code statError;
        const auto size = fs::file_size(path, statError);
        const auto time = fs::last_write_time(path, statError);
        if (statError) continue;
        auto found = known_.find(name);
        if (found == known_.end() || found->second.Size != size || found->second.Time != time) {
            Known known{size, time, false, 0};
            try {
                const std::vector<std::uint8_t> patch = dbtool::ReadUnpackedFile(path.string());
                known.Number = ReadPatchHeader(patch).UpdateNumber;
                WalkPatch(patch);
                known.IsUpdate = true;
            } catch (const std::exception& failure) {
                warnings.push_back(name + " is not offered: it is not an update file (" + failure.what() + ")");
            }
            found = known_.insert_or_assign(name, known).first;
        }
        if (!found->second.IsUpdate) continue;
        if (!FileExists(path.string() + std::string(kSignatureSuffix))) {
            warnings.push_back(name + " is not offered: " + name + std::string(kSignatureSuffix) + " is missing");
            continue;
        }
        entries.push_back({name, found->second.Number});
    }
    std::sort(entries.begin(), entries.end(), [](const TCatalogEntry& a, const TCatalogEntry& b) {
        return a.Number != b.Number ? a.Number < b.Number : a.Name < b.Name;
    });
    // One update per number: a second one would be refused by every program anyway.
    std::vector<TCatalogEntry> unique;
    for (const TCatalogEntry& entry : entries) {
        if (!unique.empty() && unique.back().Number == entry.Number) {
            warnings.push_back(entry.Name + " is not offered: " + unique.back().Name + " has the same number " +
                               std::to_string(entry.Number));
            continue;
        }
        unique.push_back(entry);
    }
    return unique;
}

std::string AnswerFor(const std::vector<TCatalogEntry>& entries, std::int32_t number) {
    std::string answer;
    for (const TCatalogEntry& entry : entries) {
        if (entry.Number <= number) continue;
        if (!answer.empty()) answer += '|';
        answer += entry.Name;
    }
    return answer;
}

bool IsServedFile(const std::vector<TCatalogEntry>& entries, const std::string& name) {
    return std::any_of(entries.begin(), entries.end(), [&](const TCatalogEntry& entry) {
        return entry.Name == name || entry.Name + std::string(kSignatureSuffix) == name;
    });
}

std::size_t ExportStatic(TUpdateCatalog& catalog, const std::string& outFolder, std::vector<std::string>& warnings) {
    const std::vector<TCatalogEntry> entries = catalog.Entries(warnings);
    const fs::path out(outFolder);
    fs::create_directories(out / "answers");
    for (const TCatalogEntry& entry : entries) {
        for (const std::string& name : {entry.Name, entry.Name + std::string(kSignatureSuffix)})
            WriteFileAtomically((out / name).string(), ReadFileBytes((fs::path(catalog.Root()) / name).string()));
    }
    const std::int32_t highest = entries.empty() ? 0 : std::max(entries.back().Number, 0);
    // Database numbers start at 1 and grow by one per update, so this is the count of updates.
    constexpr std::int32_t kMaxExportedNumber = 1'000'000;
    if (highest > kMaxExportedNumber)
        throw std::runtime_error("the highest update number " + std::to_string(highest) + " is beyond " +
                                 std::to_string(kMaxExportedNumber) + "; the answers are not written");
    for (std::int32_t number = 0; number <= highest; ++number)
        WriteFileAtomically((out / "answers" / (std::to_string(number) + ".txt")).string(), AnswerFor(entries, number));
    WriteFileAtomically((out / "answers" / "none.txt").string(), std::string());
    WriteFileAtomically((out / "nginx.conf").string(), std::string(kNginxConfig));
    WriteFileAtomically((out / "README.txt").string(), std::string(kReadme));
    return entries.size();
}

}  // namespace sentrel::server
