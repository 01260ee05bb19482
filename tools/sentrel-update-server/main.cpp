// sentrel-update-server: the update server of the shield (native Linux program).
//
//   GET /update40.php?elem=&user_date=N   the "|"-separated names of the updates above N
//   GET /<update> and /<update>.sig       the update files, from the same folder
//
// It keeps no state between requests: the answers come from the folder, so any number of copies
// can serve one folder behind a load balancer. Only updates whose signature checks against the
// update key are offered. --export writes the same protocol as static files for a plain web
// server or CDN.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "UpdateCatalog.h"
#include "common/Files.h"
#include "database/Table.h"
#include "database/UpdateSignature.h"
#include "sentrel-db/Signing.h"

namespace {

using sentrel::server::TUpdateCatalog;

constexpr const char* kUsage =
    "Usage: sentrel-update-server --root DIR [--public-key FILE.pem] [--bind ADDRESS] [--port N]\n"
    "       sentrel-update-server --root DIR [--public-key FILE.pem] --export OUTDIR\n"
    "Serves the update files in DIR (each with its .sig) to the shield: GET /update40.php?elem=&user_date=N\n"
    "answers the names of the updates numbered above N (at most 64, the lowest first). An update is\n"
    "offered only when its .sig checks against the update key: the one built into the program, or\n"
    "--public-key. --bind defaults to 127.0.0.1, --port to 8080 (0 takes any free port). --export\n"
    "writes the same protocol as static files with an example HTTPS configuration for a plain web\n"
    "server or CDN.\n";

std::mutex logMutex;

void Log(const std::string& line) {
    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    std::lock_guard lock(logMutex);
    std::cout << stamp << ' ' << line << std::endl;
}

void LogWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) Log("warning: " + warning);
}

// Request texts come from anyone: control bytes are not written to the log.
std::string Printable(std::string text) {
    if (text.size() > 300) text = text.substr(0, 300) + "...";
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return text;
}

void ServeIndex(TUpdateCatalog& catalog, const httplib::Request& request, httplib::Response& response) {
    std::int32_t number = 0;
    if (!request.has_param("user_date") || !sentrel::ParseInt32(request.get_param_value("user_date"), number)) {
        response.status = 400;
        response.set_content("user_date must be the database number\n", "text/plain");
        return;
    }
    std::vector<std::string> warnings;
    const auto entries = catalog.Entries(warnings);
    LogWarnings(warnings);
    response.set_content(sentrel::server::AnswerFor(entries, number), "text/plain");
}

// An open file sent in pieces: a request never holds a whole update in memory. The length is
// the file's when it was opened; a file that changes in the meantime ends the response there
// (the client sees a cut download), a file that is replaced or removed is still read whole
// from the copy that was opened.
class TFileSender {
public:
    static std::shared_ptr<TFileSender> Open(const std::string& path, const std::string& name) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return nullptr;
        auto sender = std::shared_ptr<TFileSender>(new TFileSender(fd, name));
        if (fstat(fd, &sender->opened_) != 0 || !S_ISREG(sender->opened_.st_mode)) return nullptr;
        return sender;
    }
    ~TFileSender() { close(fd_); }
    TFileSender(const TFileSender&) = delete;
    TFileSender& operator=(const TFileSender&) = delete;

    std::size_t Size() const { return static_cast<std::size_t>(opened_.st_size); }

    bool Send(std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        struct stat now {};
        if (fstat(fd_, &now) != 0 || now.st_size != opened_.st_size || now.st_mtim.tv_sec != opened_.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != opened_.st_mtim.tv_nsec)
            return Cut(offset, "changed while it was sent");
        const ssize_t read = pread(fd_, buffer_.data(), std::min(length, buffer_.size()), static_cast<off_t>(offset));
        if (read <= 0) return Cut(offset, "could not be read to its end");
        return sink.write(buffer_.data(), static_cast<std::size_t>(read));
    }

private:
    static constexpr std::size_t kPiece = 64 * 1024;
    TFileSender(int fd, std::string name) : fd_(fd), name_(std::move(name)), buffer_(kPiece) {}

    bool Cut(std::size_t offset, const char* reason) const {
        Log("warning: " + name_ + " " + reason + "; the response ends after " + std::to_string(offset) + " of " +
            std::to_string(Size()) + " bytes");
        return false;
    }

    int fd_;
    std::string name_;
    struct stat opened_ {};
    std::vector<char> buffer_;
};

void ServeFile(TUpdateCatalog& catalog, const httplib::Request& request, httplib::Response& response) {
    const std::string name = request.matches[1];
    std::vector<std::string> warnings;
    const auto entries = catalog.Entries(warnings);
    LogWarnings(warnings);
    const auto sender = sentrel::server::IsServedFile(entries, name)
                            ? TFileSender::Open(sentrel::JoinPath(catalog.Root(), name), name)
                            : nullptr;
    if (!sender) {
        response.status = 404;
        response.set_content("no such update\n", "text/plain");
        return;
    }
    response.set_content_provider(
        sender->Size(), "application/octet-stream",
        [sender](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sender->Send(offset, length, sink);
        });
}

int Serve(TUpdateCatalog& catalog, const std::string& bind, int port) {
    httplib::Server server;
    server.Get("/update40.php", [&](const httplib::Request& request, httplib::Response& response) {
        ServeIndex(catalog, request, response);
    });
    server.Get(R"(/([A-Za-z0-9._-]+))", [&](const httplib::Request& request, httplib::Response& response) {
        ServeFile(catalog, request, response);
    });
    server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
        std::string target = request.path;
        if (!request.params.empty()) {
            target += '?';
            bool first = true;
            for (const auto& [key, value] : request.params) {
                target += (first ? "" : "&") + key + "=" + value;
                first = false;
            }
        }
        Log(request.remote_addr + " " + Printable(request.method) + " " + Printable(target) + " " +
            std::to_string(response.status) + " " +
            std::to_string(response.body.empty() ? response.content_length_ : response.body.size()));
    });
    server.set_read_timeout(10, 0);
    server.set_payload_max_length(64 * 1024);

    const int bound = port == 0 ? server.bind_to_any_port(bind) : (server.bind_to_port(bind, port) ? port : -1);
    if (bound < 0) {
        std::cerr << "sentrel-update-server: cannot listen on " << bind << ":" << port << '\n';
        return 1;
    }
    // A client that hangs up in the middle of a download ends its response, not the server.
    std::signal(SIGPIPE, SIG_IGN);
    // SIGINT and SIGTERM end the server cleanly (waited for on a thread of its own).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    stopper.detach();

    Log("serving " + catalog.Root() + " on http://" + bind + ":" + std::to_string(bound));
    server.listen_after_bind();
    Log("stopped");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, bind = "127.0.0.1", exportFolder, publicKeyFile;
    int port = 8080;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--help" || option == "-h") {
                std::cout << kUsage;
                return 0;
            }
            if (i + 1 >= argc) throw std::invalid_argument(option + " needs a value");
            const std::string value = argv[++i];
            if (option == "--root")
                root = value;
            else if (option == "--bind")
                bind = value;
            else if (option == "--export")
                exportFolder = value;
            else if (option == "--public-key")
                publicKeyFile = value;
            else if (option == "--port") {
                std::int32_t parsed = 0;
                if (!sentrel::ParseInt32(value, parsed) || parsed < 0 || parsed > 65535)
                    throw std::invalid_argument("--port takes 0 to 65535");
                port = parsed;
            } else {
                throw std::invalid_argument("unknown option " + option);
            }
        }
        if (root.empty()) throw std::invalid_argument("--root is required");
    } catch (const std::invalid_argument& error) {
        std::cerr << "sentrel-update-server: " << error.what() << "\n" << kUsage;
        return 2;
    }
    try {
        const std::string publicKey =
            publicKeyFile.empty() ? std::string(sentrel::BuiltInUpdateKeyPem()) : sentrel::ReadFileText(publicKeyFile);
        const sentrel::dbtool::TOpenSslVerifier verifier(publicKey);
        TUpdateCatalog catalog(root, verifier);
        if (!exportFolder.empty()) {
            std::vector<std::string> warnings;
            const std::size_t count = sentrel::server::ExportStatic(catalog, exportFolder, warnings);
            for (const std::string& warning : warnings)
                std::cerr << "sentrel-update-server: warning: " << warning << '\n';
            std::cout << "exported " << count << " updates to " << exportFolder << '\n';
            return 0;
        }
        return Serve(catalog, bind, port);
    } catch (const std::exception& error) {
        std::cerr << "sentrel-update-server: " << error.what() << '\n';
        return 1;
    }
}
