#pragma once
// One HTTP GET through WinHTTP, the system's own client: HTTPS, the user's proxy settings and
// the system's certificate checks come with it. The request is synchronous on the calling
// thread (the update worker); its events are reported on that thread:
//   - status texts as the client resolves, connects, sends and closes;
//   - the expected length once the answer's headers are in, then the bytes received so far.
// Answering false to a progress event drops the connection and the request fails as cancelled.
// Any HTTP status other than 200 fails the request: an error page from a proxy is not an answer.
// Redirects are never followed (a redirect answer fails the request with a line that says so),
// and an answer that reached us from another scheme, host or port than the one asked is refused.

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>

namespace sentrel::platform {

struct HttpTimeouts {
    int resolveMs = 30'000;
    int connectMs = 30'000;
    int sendMs = 60'000;
    int receiveMs = 60'000;
};

// A failed request; what() is one line for the user ("No connection to the update server.",
// "The update server answered 404.").
class HttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The request was dropped because a progress event answered false.
class HttpCancelled : public HttpError {
public:
    HttpCancelled() : HttpError("The update was cancelled.") {}
};

// The body was longer than the caller's limit; the transfer was stopped while it arrived.
class HttpTooLong : public HttpError {
public:
    using HttpError::HttpError;
};

// Lets another thread end a request in progress at once: Cancel closes the request's WinHTTP
// handle, which makes the blocked call (connecting, waiting for the headers, reading) fail.
// One object serves one request at a time; once cancelled it stays cancelled.
class HttpCancellation {
public:
    void Cancel() noexcept;
    bool Cancelled() const noexcept;

private:
    friend class RequestRegistration;
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    void* request_ = nullptr;  // the HINTERNET of the request in progress
};

struct HttpEvents {
    std::function<void(const std::string& text)> statusText;
    // `expected` is the announced length (0 when the server gave none). False drops the request.
    std::function<bool(std::int64_t received, std::int64_t expected)> progress;
};

// GETs `url` and hands the body to `sink` in pieces. A body longer than `maxBytes` fails the
// request while it arrives (HttpTooLong; 0: no limit). Throws HttpError (or HttpCancelled, also
// when `cancellation` is cancelled from another thread).
void HttpGet(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
             const std::function<void(std::span<const std::uint8_t>)>& sink, std::int64_t maxBytes = 0,
             HttpCancellation* cancellation = nullptr);

// The whole body as text.
std::string HttpGetText(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
                        std::int64_t maxBytes, HttpCancellation* cancellation = nullptr);

}  // namespace sentrel::platform
