#pragma once
// A small HTTP server on 127.0.0.1 inside the test process, for the answers a real update server
// never gives: one that never answers, one that sends slowly, one that redirects, a hostile
// answer, an update without its signature. One request per connection; unknown paths get 404.

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sentrel::e2e {

class FakeHttpServer {
public:
    // Redirect answers 302 with the body as its Location.
    enum class Mode { Normal, Silent, Slow, Redirect };
    struct Response {
        std::string body;
        Mode mode = Mode::Normal;
    };

    FakeHttpServer();
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    // http://127.0.0.1:PORT
    std::string Address() const;
    // `path` with its query, e.g. "/update40.php?elem=&user_date=1".
    void Serve(const std::string& path, Response response);
    // The request lines received so far.
    std::vector<std::string> Requests() const;

private:
    void Accept();
    void Answer(unsigned long long socket);

    unsigned long long listener_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::vector<std::string> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace sentrel::e2e
