#include "UpdateCatalog.h"

#include <algorithm>
#include <stdexcept>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/Patch.h"
#include "database/UpdateAnswer.h"

namespace sentrel::server {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNginxConfig =
    R"(# Serves the exported update protocol with nginx over HTTPS. Put the exported folder at `root`,
# the maker's certificate and key at ssl_certificate and ssl_certificate_key, and make
# https://updates.example.com (this server's name) the program's update server address.
# The index request
#   GET /update40.php?elem=&user_date=57
# is answered from answers/57.txt; a number that is not a plain decimal, or above the highest
# update, gets answers/none.txt (empty: no update). Every other file is a static update file.
# On a CDN, make the same rule at the edge (cache key: the user_date query value), serve HTTPS
# there with the maker's certificate and put the folder behind it as the origin.

map $arg_user_date $sentrel_answer {
    "~^(?<number>[0-9]{1,9})$"  $number;
    default                      "none";
}

# Plain http only sends browsers to https: the program never fetches updates over it.
server {
    listen 80;
    listen [::]:80;
    server_name updates.example.com;
    return 301 https://$server_name$request_uri;
}

server {
    listen 443 ssl;
    listen [::]:443 ssl;
    server_name updates.example.com;

    # The maker's certificate for this name from a certificate authority, with its chain, and
    # its private key (readable by root only).
    ssl_certificate     /etc/ssl/sentrel/updates.example.com.fullchain.pem;
    ssl_certificate_key /etc/ssl/sentrel/updates.example.com.key;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_prefer_server_ciphers off;
    ssl_session_cache shared:sentrel:10m;
    ssl_session_tickets off;
    add_header Strict-Transport-Security "max-age=31536000" always;

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
  nginx.conf                        an example HTTPS configuration mapping the query to the answers

Any web server or CDN that can map /update40.php?elem=&user_date=N to answers/N.txt (and
anything else to answers/none.txt) serves the same protocol as sentrel-update-server. Export
again whenever an update is added: the answers of every number change. Only updates whose
signature checks against the update key were exported; an answer names at most 64 of them,
the lowest numbers first, and the program asks again after applying them.

Serve it over HTTPS. The program refuses a plain http:// update address for any host but the
local machine, and checks the server's certificate against Windows' own trust store, so the
certificate is the maker's, issued for the server's name by a certificate authority that
Windows trusts (put it, with its chain, and its private key where nginx.conf names them). A
self-signed certificate works only for a test machine that was made to trust it.
)";

std::string Printable(std::string_view text) {
    std::string shown(text.substr(0, 100));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return shown;
}

// The patch inside an update file's bytes (decrypted, its one archived file inflated).
std::vector<std::uint8_t> UnpackedUpdate(std::vector<std::uint8_t> bytes) {
    TCipher(kDataBasePassPhrase).Decrypt(bytes);
    const std::vector<TArchiveRecord> records = ReadArchiveRecords(bytes);
    if (records.size() != 1)
        throw std::runtime_error("it holds " + std::to_string(records.size()) + " files instead of one");
    return InflateRecord(records.front());
}

}  // namespace

TUpdateCatalog::TUpdateCatalog(std::string root, const TSignatureVerifier& verifier)
    : root_(std::move(root)), verifier_(verifier) {
    if (!FolderExists(root_)) throw std::runtime_error("\"" + root_ + "\" is not a folder");
}

TUpdateCatalog::Known TUpdateCatalog::Check(const std::string& name, const Stamp& update,
                                            const Stamp& signature) const {
    Known known{update, signature};
    const std::string signatureName = name + std::string(kSignatureSuffix);
    if (!signature.Exists) {
        known.Refusal = signatureName + " is missing";
        return known;
    }
    if (signature.Size > kMaxSignatureFileSize) {
        known.Refusal = signatureName + " is larger than " + std::to_string(kMaxSignatureFileSize) +
                        " bytes, so it is no signature";
        return known;
    }
    std::vector<std::uint8_t> bytes, signatureBytes;
    try {
        bytes = ReadFileBytes(JoinPath(root_, name));
        signatureBytes = ReadFileBytes(JoinPath(root_, signatureName));
    } catch (const FileError& failure) {
        known.Refusal = std::string("it cannot be read (") + failure.what() + ")";
        return known;
    }
    if (signatureBytes.size() > kMaxSignatureFileSize || !verifier_.Verify(bytes, signatureBytes)) {
        known.Refusal = signatureName +
                        " does not check against the update key (the update changed after it was signed, or "
                        "another key signed it)";
        return known;
    }
    try {
        const std::vector<std::uint8_t> patch = UnpackedUpdate(std::move(bytes));
        known.Number = ReadPatchHeader(patch).UpdateNumber;
        WalkPatch(patch);
        known.Offered = true;
    } catch (const std::exception& failure) {
        known.Refusal = std::string("it is not an update file (") + failure.what() + ")";
    }
    return known;
}

std::vector<TCatalogEntry> TUpdateCatalog::Entries(std::vector<std::string>& warnings) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> faults;
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(root_, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code typeError;
        // Signatures go with their update; files being written (".tmp") are not there yet.
        if (!entry->is_regular_file(typeError) || name.ends_with(kSignatureSuffix) || name.ends_with(".tmp"))
            continue;
        if (!IsSafeUpdateEntryName(name)) {
            faults.push_back(Printable(name) + " is not offered: an update's name is letters, digits, '-' and '_' "
                             "ending in \".dat\", at most " + std::to_string(kMaxUpdateEntryLength) + " characters");
            continue;
        }
        names.insert(name);
    }
    if (error) throw std::runtime_error("cannot list \"" + root_ + "\": " + error.message());

    auto stampOf = [](const fs::path& path) {
        std::error_code statError;
        Stamp stamp;
        stamp.Size = fs::file_size(path, statError);
        if (!statError) stamp.Time = fs::last_write_time(path, statError);
        stamp.Exists = !statError;
        if (!stamp.Exists) stamp = Stamp{};
        return stamp;
    };
    std::vector<TCatalogEntry> entries;
    for (auto it = known_.begin(); it != known_.end();)
        it = names.contains(it->first) ? std::next(it) : known_.erase(it);
    for (const std::string& name : names) {
        const fs::path path = fs::path(root_) / name;
        const Stamp update = stampOf(path);
        if (!update.Exists) continue;  // gone since the listing
        const Stamp signature = stampOf(path.string() + std::string(kSignatureSuffix));
        auto found = known_.find(name);
        if (found == known_.end() || found->second.Update != update || found->second.Signature != signature)
            found = known_.insert_or_assign(name, Check(name, update, signature)).first;
        if (!found->second.Offered) {
            faults.push_back(name + " is not offered: " + found->second.Refusal);
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
            faults.push_back(entry.Name + " is not offered: " + unique.back().Name + " has the same number " +
                             std::to_string(entry.Number));
            continue;
        }
        unique.push_back(entry);
    }
    // Each fault is reported when it appears, not at every request while it lasts.
    std::set<std::string> current;
    for (std::string& fault : faults) {
        if (!reported_.contains(fault) && !current.contains(fault)) warnings.push_back(fault);
        current.insert(std::move(fault));
    }
    reported_ = std::move(current);
    return unique;
}

std::string AnswerFor(const std::vector<TCatalogEntry>& entries, std::int32_t number) {
    std::string answer;
    std::size_t named = 0;
    for (const TCatalogEntry& entry : entries) {
        if (entry.Number <= number) continue;
        if (named++ == kMaxUpdateEntries) break;
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
