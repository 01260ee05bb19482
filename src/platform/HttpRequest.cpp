#include "platform/HttpRequest.h"

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
    return AnsiFromWide(std::wstring_view(text, chars));
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

}  // namespace

void HttpGet(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
             const std::function<void(std::span<const std::uint8_t>)>& sink, std::int64_t maxBytes) {
    EventsScope scope(events);
    const std::wstring wideUrl = WideFromAnsi(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    Check(WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts));
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    UniqueInternet session = OpenSession();
    Check(WinHttpSetTimeouts(session.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs,
                             timeouts.receiveMs));
    WinHttpSetStatusCallback(session.get(), StatusCallback, kStatusFlags, 0);
    UniqueInternet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) ThrowRequestError(GetLastError());
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags | WINHTTP_FLAG_REFRESH));
    if (!request) ThrowRequestError(GetLastError());
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
    if (status != HTTP_STATUS_OK) throw HttpError("The update server answered " + std::to_string(status) + ".");

    std::int64_t expected = 0;
    wchar_t lengthText[32] = {};
    size = sizeof lengthText;
    if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText,
                            &size, WINHTTP_NO_HEADER_INDEX))
        expected = _wcstoi64(lengthText, nullptr, 10);
    if (expected < 0) expected = 0;
    if (maxBytes > 0 && expected > maxBytes) throw HttpError("The update server's answer is too long.");

    std::int64_t received = 0;
    std::vector<std::uint8_t> buffer(16 * 1024);
    for (;;) {
        if (!Progress(events, received, expected)) throw HttpCancelled();
        DWORD read = 0;
        Check(WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read));
        if (read == 0) break;
        received += read;
        if (maxBytes > 0 && received > maxBytes) throw HttpError("The update server's answer is too long.");
        sink(std::span(buffer.data(), read));
    }
    if (expected > 0 && received != expected) throw HttpError("The download ended early.");
    Progress(events, received, expected);
}

std::string HttpGetText(const std::string& url, const HttpTimeouts& timeouts, const HttpEvents& events,
                        std::int64_t maxBytes) {
    std::string text;
    HttpGet(url, timeouts, events,
            [&](std::span<const std::uint8_t> piece) { text.append(piece.begin(), piece.end()); }, maxBytes);
    return text;
}

}  // namespace sentrel::platform
