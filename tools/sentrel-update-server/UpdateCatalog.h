#pragma once
// The updates of a server folder: every file whose name is a safe update entry, that unpacks to
// an update and has its signature beside it. The catalog is read from the folder itself at
// every request (a file's number is remembered while its size and time stay the same), so any
// number of servers can share one folder and a new update is served as soon as it is there.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sentrel::server {

struct TCatalogEntry {
    std::string Name;
    std::int32_t Number = 0;
};

class TUpdateCatalog {
public:
    explicit TUpdateCatalog(std::string root);

    const std::string& Root() const { return root_; }
    // The offered updates in the order of their numbers (then names). Files that are left out
    // (not updates, unsigned, a number offered twice) are reported once each in `warnings`.
    std::vector<TCatalogEntry> Entries(std::vector<std::string>& warnings);

private:
    struct Known {
        std::uintmax_t Size = 0;
        std::filesystem::file_time_type Time;
        bool IsUpdate = false;
        std::int32_t Number = 0;
    };
    std::string root_;
    std::mutex mutex_;
    std::map<std::string, Known> known_;
};

// The index answer for a database numbered `number`: the names of every update numbered above
// it, in order, separated by "|" (empty when there is none).
std::string AnswerFor(const std::vector<TCatalogEntry>& entries, std::int32_t number);

// Whether `name` may be served: an offered update or its signature.
bool IsServedFile(const std::vector<TCatalogEntry>& entries, const std::string& name);

// Writes the protocol as static files into `outFolder`: every update and its signature, one
// answer per database number (answers/<N>.txt for 0..the highest number, answers/none.txt
// empty), and nginx.conf with README.txt saying how a web server or CDN maps the query to
// those files. Returns the number of updates.
std::size_t ExportStatic(TUpdateCatalog& catalog, const std::string& outFolder, std::vector<std::string>& warnings);

}  // namespace sentrel::server
