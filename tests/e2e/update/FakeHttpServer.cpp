#include "e2e/update/FakeHttpServer.h"

#include <stdexcept>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace sentrel::e2e {

FakeHttpServer::FakeHttpServer() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0)
        throw std::runtime_error("the fake server cannot listen");
    int length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listener_ = listener;
    acceptor_ = std::thread([this] { Accept(); });
}

FakeHttpServer::~FakeHttpServer() {
    stopping_ = true;
    closesocket(static_cast<SOCKET>(listener_));
    acceptor_.join();
    for (std::thread& connection : connections_) connection.join();
    WSACleanup();
}

std::string FakeHttpServer::Address() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void FakeHttpServer::Serve(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

std::vector<std::string> FakeHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void FakeHttpServer::Accept() {
    for (;;) {
        const SOCKET client = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, client] { Answer(client); });
    }
}

void FakeHttpServer::Answer(unsigned long long handle) {
    const SOCKET client = static_cast<SOCKET>(handle);
    // A client that stops reading (it refused an answer half-way) must not hold the server.
    const DWORD sendTimeoutMs = 3000;
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs), sizeof sendTimeoutMs);
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string line = request.substr(0, request.find("\r\n"));
    const std::size_t start = line.find(' ') + 1;
    const std::string path = line.substr(start, line.find(' ', start) - start);
    Response response;
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(line);
        if (const auto it = responses_.find(path); it != responses_.end()) {
            response = it->second;
            found = true;
        }
    }
    const auto send_all = [&](const std::string& text) {
        return send(client, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
    };
    if (!found) {
        send_all("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    } else if (response.mode == Mode::Redirect) {
        send_all("HTTP/1.1 302 Found\r\nLocation: " + response.body +
                 "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    } else if (response.mode == Mode::Silent) {
        while (!stopping_) Sleep(50);
    } else {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                                 std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n";
        if (send_all(head)) {
            if (response.mode == Mode::Normal) {
                send_all(response.body);
            } else {
                // A kilobyte every tenth of a second, until the client drops or the test ends.
                for (std::size_t sent = 0; sent < response.body.size() && !stopping_; sent += 1024) {
                    if (!send_all(response.body.substr(sent, 1024))) break;
                    Sleep(100);
                }
            }
        }
    }
    shutdown(client, SD_SEND);
    closesocket(client);
}

}  // namespace sentrel::e2e
