#pragma once
// The updates of a server folder: every file whose name has the form of an update name, that
// unpacks to an update and whose signature beside it checks against the update key. The catalog
// is read from the folder itself at every request (a file's verdict is remembered while the
// size and time of the file and of its signature stay the same), so any number of servers can
// share one folder and a new update is served as soon as it is there and signed.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "database/UpdateSignature.h"

namespace sentrel::server {

struct TCatalogEntry {
    std::string Name;
    std::int32_t Number = 0;
};

class TUpdateCatalog {
public:
    // `verifier` checks each update's signature; it must outlive the catalog.
    TUpdateCatalog(std::string root, const TSignatureVerifier& verifier);

    const std::string& Root() const { return root_; }
    // The offered updates in the order of their numbers (then names). Files that are left out
    // (not named as updates, not updates, unsigned or badly signed, a number offered twice) are
    // reported in `warnings` once: again only after the fault went away and came back.
    std::vector<TCatalogEntry> Entries(std::vector<std::string>& warnings);

private:
    struct Stamp {
        bool Exists = false;
        std::uintmax_t Size = 0;
        std::filesystem::file_time_type Time;
        bool operator==(const Stamp&) const = default;
    };
    struct Known {
        Stamp Update, Signature;
        bool Offered = false;
        std::int32_t Number = 0;
        std::string Refusal;  // why it is not offered
    };
    Known Check(const std::string& name, const Stamp& update, const Stamp& signature) const;

    std::string root_;
    const TSignatureVerifier& verifier_;
    std::mutex mutex_;
    std::map<std::string, Known> known_;
    std::set<std::string> reported_;  // the warnings of the last scan
};

// The index answer for a database numbered `number`: the names of the updates numbered above
// it, the lowest numbers first and at most kMaxUpdateEntries of them (the program asks again
// after applying those), separated by "|" (empty when there is none).
std::string AnswerFor(const std::vector<TCatalogEntry>& entries, std::int32_t number);

// Whether `name` may be served: an offered update or its signature.
bool IsServedFile(const std::vector<TCatalogEntry>& entries, const std::string& name);

// Writes the protocol as static files into `outFolder`: every update and its signature, one
// answer per database number (answers/<N>.txt for 0..the highest number, answers/none.txt
// empty), and nginx.conf (HTTPS) with README.txt saying how a web server or CDN maps the query
// to those files. Returns the number of updates.
std::size_t ExportStatic(TUpdateCatalog& catalog, const std::string& outFolder, std::vector<std::string>& warnings);

}  // namespace sentrel::server
