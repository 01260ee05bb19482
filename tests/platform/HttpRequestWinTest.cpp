// The WinHTTP request against a server in the test process: its size limit and the progress
// event that drops the transfer.
#include <gtest/gtest.h>

#include <thread>

#include <windows.h>

#include "e2e/update/FakeHttpServer.h"
#include "platform/HttpRequest.h"

namespace sentrel::platform {
namespace {

using e2e::FakeHttpServer;

HttpTimeouts Short() {
    return HttpTimeouts{2000, 2000, 2000, 2000};
}

std::string ErrorOf(const std::function<void()>& request) {
    try {
        request();
    } catch (const HttpError& error) {
        return error.what();
    }
    return "no error";
}

// Statuses, time-outs and refused connections are walked end to end by the wizard's tests.
TEST(HttpRequest, AnAnswerIsRefusedWhenItIsLongerThanAllowed) {
    FakeHttpServer server;
    server.Serve("/short", {"u1.dat|u2.dat"});
    server.Serve("/long", {std::string(5000, 'x')});
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    const HttpEvents events{.progress = [&](std::int64_t received, std::int64_t expected) {
        progress.emplace_back(received, expected);
        return true;
    }};
    EXPECT_EQ(HttpGetText(server.Address() + "/short", Short(), events, 1000), "u1.dat|u2.dat");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{13}, std::int64_t{13}));
    EXPECT_EQ(ErrorOf([&] { HttpGetText(server.Address() + "/long", Short(), {}, 1000); }),
              "The update server's answer is too long.");
}

TEST(HttpRequest, AProgressEventThatAnswersFalseDropsTheTransfer) {
    FakeHttpServer server;
    server.Serve("/slow", {std::string(100 * 1024, 'x'), FakeHttpServer::Mode::Slow});
    std::size_t received = 0;
    const HttpEvents events{.progress = [&](std::int64_t got, std::int64_t) { return got < 3000; }};
    EXPECT_THROW(HttpGet(server.Address() + "/slow", Short(), events,
                         [&](std::span<const std::uint8_t> piece) { received += piece.size(); }),
                 HttpCancelled);
    EXPECT_GE(received, 3000u);
    EXPECT_LT(received, 100u * 1024);
}

TEST(HttpRequest, CancelFromAnotherThreadEndsTheRequestAsCancelled) {
    FakeHttpServer server;
    server.Serve("/silent", {"", FakeHttpServer::Mode::Silent});
    HttpCancellation cancellation;
    std::thread canceller([&] {
        while (server.Requests().empty()) Sleep(10);
        cancellation.Cancel();
    });
    // Windows ends the wait as the handle closes; Wine 8 lets it run into its time-out, which
    // must still read as the cancel it is, not as a silent server.
    EXPECT_THROW(HttpGetText(server.Address() + "/silent", Short(), {}, 1000, &cancellation), HttpCancelled);
    canceller.join();
    // Once cancelled, it stays so: the next request does not start.
    EXPECT_THROW(HttpGetText(server.Address() + "/silent", Short(), {}, 1000, &cancellation), HttpCancelled);
    EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace sentrel::platform
