// The WinHTTP request against a server in the test process: only a complete 200 answer is an
// answer, a silent server ends at the time-out, and a progress event can drop the transfer.
#include <gtest/gtest.h>

#include <algorithm>

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

TEST(HttpRequest, AnswersStatusesLimitsAndTimeOuts) {
    FakeHttpServer server;
    server.Serve("/index?a=1", {"u1.dat|u2.dat"});
    server.Serve("/long", {std::string(5000, 'x')});
    server.Serve("/silent", {"", FakeHttpServer::Mode::Silent});
    std::vector<std::string> statuses;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    const HttpEvents events{
        .statusText = [&](const std::string& text) { statuses.push_back(text); },
        .progress =
            [&](std::int64_t received, std::int64_t expected) {
                progress.emplace_back(received, expected);
                return true;
            },
    };
    EXPECT_EQ(HttpGetText(server.Address() + "/index?a=1", Short(), events, 1000), "u1.dat|u2.dat");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{13}, std::int64_t{13}));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Connected."), statuses.end());

    EXPECT_EQ(ErrorOf([&] { HttpGetText(server.Address() + "/missing", Short(), {}, 1000); }),
              "The update server answered 404.");
    EXPECT_EQ(ErrorOf([&] { HttpGetText(server.Address() + "/long", Short(), {}, 1000); }),
              "The update server's answer is too long.");
    EXPECT_EQ(ErrorOf([&] { HttpGetText(server.Address() + "/silent", Short(), {}, 1000); }),
              "The update server did not answer in time.");
    std::string gone;
    {
        FakeHttpServer closed;
        gone = closed.Address();
    }
    EXPECT_EQ(ErrorOf([&] { HttpGetText(gone + "/index", Short(), {}, 1000); }), "No connection to the update server.");
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

}  // namespace
}  // namespace sentrel::platform
