#include "platform/HttpRequest.h"

#include <cwctype>
#include <vector>

#include <windows.h>
#include <winhttp.h>

#include "platform/UniqueHandle.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

inline void CloseInternet(HINTERNET handle) noexcept { WinHttpCloseHandle(handle); }
using UniqueInternet = UniqueResource<NullIsEmpty<HINTERNET, CloseInternet>>;

constexpr const wchar_t* kUserAgent = L"Sentrel 4";
constexpr DWORD kStatusFlags = WINHTTP_CALLBACK_FLAG_RESOLVE_NAME | WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
                               WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_CLOSE_CONNECTION;

// The synchronous client calls the status callback on the requesting thread.
thread_local const HttpEvents* currentEvents = nullptr;

// A wide text given by the callback (a host name or an address), without its terminator.
std::string CallbackText(LPVOID info, DWORD length) {
    if (!info) return {};
    const auto* text = static_cast<const wchar_t*>(info);
    DWORD chars = length;
    while (chars > 0 && text[chars - 1] == L'\0') --chars;
    return Utf8FromWide(std::wstring_view(text, chars));
}

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR, DWORD status, LPVOID info, DWORD length) noexcept {
    const HttpEvents* events = currentEvents;
    if (!events || !events->statusText) return;
    std::string text;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_RESOLVING_NAME: text = "Resolving hostname " + CallbackText(info, length) + "."; break;
    case WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER: text = "Connecting to " + CallbackText(info, length) + "."; break;
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER: text = "Connected."; break;
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST: text = "Sending request."; break;
    case WINHTTP_CALLBACK_STATUS_CLOSING_CONNECTION: text = "Disconnecting."; break;
    case WINHTTP_CALLBACK_STATUS_CONNECTION_CLOSED: text = "Disconnected."; break;
    default: return;
    }
    try {
        events->statusText(text);
    } catch (...) {
        // A status line that cannot be shown does not stop the transfer.
    }
}

[[noreturn]] void ThrowRequestError(DWORD code) {
    switch (code) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case WSAECONNREFUSED:
        throw HttpError("No connection to the update server.");
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:  // as Wine reports it
        throw HttpError("The update server did not answer in time.");
    case ERROR_WINHTTP_SECURE_FAILURE: throw HttpError("The update server's certificate was refused.");
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
        throw HttpError("The update server's address is not valid.");
    case ERROR_WINHTTP_OPERATION_CANCELLED: throw HttpCancelled();
    default: throw HttpError("The download failed (error " + std::to_string(code) + ").");
    }
}

void Check(BOOL ok) {
    if (!ok) ThrowRequestError(GetLastError());
}

UniqueInternet OpenSession() {
    // The system's proxy settings (automatic on Windows 8.1 and later, else the WinHTTP ones).
    UniqueInternet session(
        WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) ThrowRequestError(GetLastError());
    return session;
}

struct EventsScope {
    explicit EventsScope(const HttpEvents& events) : previous(std::exchange(currentEvents, &events)) {}
    ~EventsScope() { currentEvents = previous; }
    const HttpEvents* previous;
};

bool Progress(const HttpEvents& events, std::int64_t received, std::int64_t expected) {
    return !events.progress || events.progress(received, expected);
}

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with the query
};

UrlParts CrackUrl(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    Check(WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts));
    UrlParts cracked{parts.nScheme, std::wstring(parts.lpszHostName, parts.dwHostNameLength), parts.nPort,
                     std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength)};
    cracked.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (cracked.path.empty()) cracked.path = L"/";
    for (wchar_t& c : cracked.host) c = static_cast<wchar_t>(std::towlower(c));
    return cracked;
}

// Redirects are never followed: an update comes from the server the user's program asks, or
// not at all.
void RefuseRedirects(HINTERNET request) {
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never)) return;
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    Check(WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable));
}

// Whether the answer came from where it was asked (a client that followed a redirect all the
// same would show another address here). Where the client cannot tell, the refused redirect
// policy above stands alone.
bool AnsweredFrom(HINTERNET request, const UrlParts& asked) {
    std::wstring url(2048, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
        if (WinHttpQueryOption(request, WINHTTP_OPTION_URL, url.data(), &size)) {
            url.resize(size / sizeof(wchar_t));
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= url.size() * sizeof(wchar_t)) return true;
        url.resize(size / sizeof(wchar_t) + 1);
    }
    while (!url.empty() && url.back() == L'\0') url.pop_back();
    const UrlParts answered = CrackUrl(url);
    return answered.scheme == asked.scheme && answered.host == asked.host && answered.port == asked.port;
}

}  // namespace

// Makes the request's handle reachable by Cancel while the request runs. At the end it takes the
// handle back, or, when Cancel closed it, lets go of its owner so it is not closed twice.
class RequestRegistration {
public:
    RequestRegistration(HttpCancellation* cancellation, UniqueInternet& request)
        : cancellation_(cancellation), request_(request) {
        if (!cancellation_) return;
        std::lock_guard lock(cancellation_->mutex_);
        if (cancellation_->cancelled_) throw HttpCancelled();
        cancellation_->request_ = request_.get();
    }
    RequestRegistration(const RequestRegistration&) = delete;
    RequestRegistration& operator=(const RequestRegistration&) = delete;
    ~RequestRegistration() {
        if (!cancellation_) return;
        std::lock_guard lock(cancellation_->mutex_);
        if (cancellation_->request_ == request_.get())
            cancellation_->request_ = nullptr;
        else
            (void)request_.release();
    }

private:
    HttpCancellation* cancellation_;
    UniqueInternet& request_;
};

void HttpCancellation::Cancel() noexcept {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (request_) WinHttpCloseHandle(static_cast<HINTERNET>(request_));
    request_ = nullptr;
}

bool HttpCancellation::Cancelled() const noexcept {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

namespace {

void Request(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
             const std::function<void(std::span<const std::uint8_t>)>& sink, std::int64_t maxBytes,
             HttpCancellation* cancellation) {
    EventsScope scope(events);
    const UrlParts asked = CrackUrl(WideFromUtf8(url));

    UniqueInternet session = OpenSession();
    Check(WinHttpSetTimeouts(session.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs,
                             timeouts.receiveMs));
    WinHttpSetStatusCallback(session.get(), StatusCallback, kStatusFlags, 0);
    UniqueInternet connection(WinHttpConnect(session.get(), asked.host.c_str(), asked.port, 0));
    if (!connection) ThrowRequestError(GetLastError());
    const DWORD flags = asked.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", asked.path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              flags | WINHTTP_FLAG_REFRESH));
    if (!request) ThrowRequestError(GetLastError());
    RequestRegistration registration(cancellation, request);
    RefuseRedirects(request.get());
    // Waiting for the answer's headers has a time-out of its own (90 s by default).
    DWORD responseTimeout = static_cast<DWORD>(timeouts.receiveMs);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout, sizeof responseTimeout);

    if (!Progress(events, 0, 0)) throw HttpCancelled();
    Check(WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0));
    Check(WinHttpReceiveResponse(request.get(), nullptr));

    DWORD status = 0;
    DWORD size = sizeof status;
    Check(WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX));
    if (status >= 300 && status < 400)
        throw HttpError("The update server sent the request to another address (HTTP " + std::to_string(status) +
                        "); the update follows no redirect.");
    if (status != HTTP_STATUS_OK) throw HttpError("The update server answered " + std::to_string(status) + ".");
    if (!AnsweredFrom(request.get(), asked))
        throw HttpError("The answer came from another address than the update server's; it was refused.");

    std::int64_t expected = 0;
    wchar_t lengthText[32] = {};
    size = sizeof lengthText;
    if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText,
                            &size, WINHTTP_NO_HEADER_INDEX))
        expected = _wcstoi64(lengthText, nullptr, 10);
    if (expected < 0) expected = 0;
    if (maxBytes > 0 && expected > maxBytes) throw HttpTooLong("The update server's answer is too long.");

    std::int64_t received = 0;
    std::vector<std::uint8_t> buffer(16 * 1024);
    for (;;) {
        if (!Progress(events, received, expected)) throw HttpCancelled();
        DWORD read = 0;
        Check(WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read));
        if (read == 0) break;
        received += read;
        if (maxBytes > 0 && received > maxBytes) throw HttpTooLong("The update server's answer is too long.");
        sink(std::span(buffer.data(), read));
    }
    if (expected > 0 && received != expected) throw HttpError("The download ended early.");
    Progress(events, received, expected);
}

}  // namespace

void HttpGet(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
             const std::function<void(std::span<const std::uint8_t>)>& sink, std::int64_t maxBytes,
             HttpCancellation* cancellation) {
    try {
        Request(url, timeouts, events, sink, maxBytes, cancellation);
    } catch (const HttpCancelled&) {
        throw;
    } catch (const HttpError&) {
        // A handle closed by Cancel fails whatever call was running with some error or other.
        if (cancellation && cancellation->Cancelled()) throw HttpCancelled();
        throw;
    }
}

std::string HttpGetText(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
                        std::int64_t maxBytes, HttpCancellation* cancellation) {
    std::string text;
    HttpGet(
        url, timeouts, events, [&](std::span<const std::uint8_t> piece) { text.append(piece.begin(), piece.end()); },
        maxBytes, cancellation);
    return text;
}

}  // namespace sentrel::platform
