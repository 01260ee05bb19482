// sentrel-update-server started on 127.0.0.1 as the maker would run it, and its static export.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <thread>

#include <httplib.h>

#include "common/Files.h"
#include "database/UpdateAnswer.h"
#include "database/UpdateFiles.h"
#include "sentrel-db/Signing.h"
#include "sentrel-update-server/UpdateCatalog.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TableContents;

// Signs `path` with the test key (the key built into development builds) or `privateKey`.
void Sign(const std::string& path,
          const std::string& privateKey = std::string(SENTREL_KEYS_FOLDER) + "/test_update_private.pem") {
    const auto signature = dbtool::SignBytes(ReadFileText(privateKey), ReadFileBytes(path));
    WriteFileBytes(path + std::string(kSignatureSuffix), signature);
}

// A folder of two signed updates (58 and 59), a file that is no update, an unsigned update (60),
// one changed after it was signed (61) and one signed with another key (62, work/other.pem).
void FillRoot(const test::TempFolder& root, const test::TempFolder& work) {
    const std::vector<TableContents> v57 = {{"Cookies", {{"FILES_MASK", {"*a*"}}}}};
    const std::vector<TableContents> v58 = {{"Cookies", {{"FILES_MASK", {"*a*", "*b*"}}}}};
    const std::vector<TableContents> v59 = {{"Cookies", {{"FILES_MASK", {"*a*", "*b*", "*c*"}}}}};
    test::WriteDataBase(work / "57.db", v57);
    test::WriteDataBase(work / "58.db", v58);
    test::WriteDataBase(work / "59.db", v59);
    test::WriteUpdate(root / "update59.dat", 59, work / "58.db", work / "59.db");
    test::WriteUpdate(root / "update58.dat", 58, work / "57.db", work / "58.db");
    test::WriteUpdate(root / "update60.dat", 60, work / "59.db", work / "59.db");
    RemoveFile(root / "update60.dat.sig");
    test::WriteUpdate(root / "update61.dat", 61, work / "59.db", work / "59.db");
    Sign(root / "update58.dat");
    Sign(root / "update59.dat");
    Sign(root / "update61.dat");
    test::WriteUpdate(root / "update61.dat", 61, work / "57.db", work / "59.db");
    dbtool::GenerateKeyPair(work / "other.pem", work / "other_public.pem");
    test::WriteUpdate(root / "update62.dat", 62, work / "59.db", work / "59.db");
    Sign(root / "update62.dat", work / "other.pem");
    test::WriteTextFile(root / "notes.txt", "not an update");
}

// The server as a child process; stopped with SIGTERM at the end of the test.
class ServerProcess {
public:
    explicit ServerProcess(const std::string& root, const std::string& log) : log_(log) {
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            execl(SENTREL_UPDATE_SERVER_PROGRAM, SENTREL_UPDATE_SERVER_PROGRAM, "--root", root.c_str(), "--bind",
                  "127.0.0.1", "--port", "0", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    // Waits (up to 20 s) for the line that names the port.
    int Port() const {
        const std::regex serving("serving .* on http://127\\.0\\.0\\.1:([0-9]+)");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::smatch match;
            const std::string text = FileExists(log_) ? ReadFileText(log_) : std::string();
            if (std::regex_search(text, match, serving)) return std::stoi(match[1]);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    std::string Log() const { return ReadFileText(log_); }

private:
    std::string log_;
    pid_t pid_ = -1;
};

// Sends raw bytes and reads whatever comes back until the server closes, as a slow client (small
// buffer); `afterFirstPiece` runs once the answer has begun (no half-close then: it ends streams).
std::string RawExchange(int port, const std::string& request, const std::function<void()>& afterFirstPiece = {}) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int smallBuffer = 64 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);
    const timeval timeout{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        (void)!write(fd, request.data(), request.size());
        if (!afterFirstPiece) shutdown(fd, SHUT_WR);
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            if (answer.empty() && afterFirstPiece) afterFirstPiece();
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return answer;
}

TEST(UpdateServer, AnswersTheProtocolAndSurvivesMalformedRequests) {
    test::TempFolder root, work;
    FillRoot(root, work);
    ServerProcess server(root.Path(), work / "server.log");
    const int port = server.Port();
    ASSERT_GT(port, 0) << server.Log();
    httplib::Client client("127.0.0.1", port);

    auto index = [&](const std::string& query) { return client.Get(("/update40.php?" + query).c_str()); };
    auto answer = index("elem=&user_date=57");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, "update58.dat|update59.dat");
    EXPECT_EQ(index("elem=&user_date=58")->body, "update59.dat");
    EXPECT_EQ(index("elem=&user_date=59")->body, "");    // up to date
    EXPECT_EQ(index("elem=&user_date=9999")->body, "");  // unknown, newer number
    EXPECT_EQ(index("elem=&user_date=-5")->body, "update58.dat|update59.dat");
    EXPECT_EQ(index("elem=&user_date=abc")->status, 400);
    EXPECT_EQ(index("elem=")->status, 400);

    for (const std::string name : {"update58.dat", "update58.dat.sig", "update59.dat.sig"}) {
        const auto file = client.Get(("/" + name).c_str());
        ASSERT_TRUE(file);
        EXPECT_EQ(file->status, 200) << name;
        const auto bytes = ReadFileBytes(root / name);
        EXPECT_EQ(file->body, std::string(bytes.begin(), bytes.end())) << name;
    }
    for (const std::string name :
         {"/notes.txt", "/update60.dat", "/missing.dat", "/../update58.dat", "/%2e%2e/etc/passwd"})
        EXPECT_EQ(client.Get(name.c_str())->status, 404) << name;

    // Garbage, a cut request line and an oversized header: the server answers or drops them and
    // goes on serving.
    RawExchange(port, "GARBAGE\r\n\r\n");
    RawExchange(port, "GET /update40.php?user_date=5");
    RawExchange(port, "GET / HTTP/1.1\r\nX: " + std::string(200000, 'x') + "\r\n\r\n");
    RawExchange(port, std::string("\x00\xff\r\n\r\n", 6));
    httplib::Client again("127.0.0.1", port);
    const auto after = again.Get("/update40.php?elem=&user_date=58");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->body, "update59.dat");

    // One log line per request, with the query and the status.
    const std::string log = server.Log();
    EXPECT_NE(log.find("GET /update40.php?elem=&user_date=57 200"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /notes.txt 404"), std::string::npos) << log;
    EXPECT_NE(log.find("update60.dat.sig is missing"), std::string::npos) << log;
    EXPECT_NE(log.find("notes.txt is not offered: an update's name is"), std::string::npos) << log;
    for (const std::string name : {"update61.dat", "update62.dat"}) {  // stale; another key: logged once
        const std::string line = name + " is not offered: " + name + ".sig does not check against the update key";
        EXPECT_TRUE(log.find(line) != std::string::npos && log.find(line) == log.rfind(line)) << log;
    }

    // Signed again: the changed signature is checked again and the update offered.
    Sign(root / "update61.dat");
    EXPECT_EQ(index("elem=&user_date=59")->body, "update61.dat");
}

TEST(UpdateServer, StreamsALargeUpdateWholeAndCutsItWhenTheFileChanges) {
    test::TempFolder root, work;
    std::vector<std::uint8_t> added(8 << 20);
    std::mt19937 random(11);
    for (auto& byte : added) byte = static_cast<std::uint8_t>(random());
    const std::string path = root / "update1.dat";
    test::WritePackedPatch(path, MakePatch(1, {}, added));
    Sign(path);
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    ServerProcess server(root.Path(), work / "server.log");
    const int port = server.Port();
    ASSERT_GT(port, 0) << server.Log();

    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);  // the first request checks the update's signature
    const auto file = client.Get("/update1.dat");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->get_header_value("Content-Length"), std::to_string(bytes.size()));
    EXPECT_TRUE(file->body == std::string(bytes.begin(), bytes.end())) << file->body.size() << " bytes";

    // A slow download of a file cut short meanwhile (twice the largest send buffer) ends early.
    const std::string cut = RawExchange(port, "GET /update1.dat HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::filesystem::resize_file(path, 100);
    });
    EXPECT_LT(cut.size(), bytes.size());
    EXPECT_TRUE(httplib::Client("127.0.0.1", port).Get("/update40.php?elem=&user_date=0"));
    EXPECT_NE(server.Log().find("update1.dat changed while it was sent"), std::string::npos) << server.Log();
}

TEST(UpdateServer, ExportsTheSameProtocolAsStaticFiles) {
    test::TempFolder root, work;
    FillRoot(root, work);
    auto exportTo = [&](const std::string& out, const std::string& options) {
        const std::string command = std::string(SENTREL_UPDATE_SERVER_PROGRAM) + " --root '" + root.Path() + "' " +
                                    options + " --export '" + out + "' >/dev/null 2>&1";
        return std::system(command.c_str());
    };
    const std::string out = work / "export";
    ASSERT_EQ(exportTo(out, ""), 0);
    EXPECT_EQ(ReadFileText(out + "/answers/0.txt"), "update58.dat|update59.dat");
    EXPECT_EQ(ReadFileText(out + "/answers/57.txt"), "update58.dat|update59.dat");
    EXPECT_EQ(ReadFileText(out + "/answers/58.txt"), "update59.dat");
    EXPECT_EQ(ReadFileText(out + "/answers/59.txt"), "");
    EXPECT_EQ(ReadFileText(out + "/answers/none.txt"), "");
    EXPECT_FALSE(FileExists(out + "/answers/60.txt"));
    EXPECT_EQ(ReadFileBytes(out + "/update59.dat"), ReadFileBytes(root / "update59.dat"));
    EXPECT_EQ(ReadFileBytes(out + "/update59.dat.sig"), ReadFileBytes(root / "update59.dat.sig"));
    EXPECT_FALSE(FileExists(out + "/update60.dat"));
    EXPECT_FALSE(FileExists(out + "/notes.txt"));
    EXPECT_FALSE(FileExists(out + "/update61.dat"));
    EXPECT_FALSE(FileExists(out + "/update62.dat"));
    // HTTPS, with plain http only redirecting to it.
    const std::string nginx = ReadFileText(out + "/nginx.conf");
    for (const std::string line :
         {"try_files /answers/$sentrel_answer.txt", "listen 443 ssl;", "ssl_certificate ", "ssl_certificate_key ",
          "ssl_protocols TLSv1.2 TLSv1.3;", "example.com;\n    return 301 https://$server_name$request_uri;\n}"})
        EXPECT_NE(nginx.find(line), std::string::npos) << line;

    // Another key: only what it signed is exported.
    const std::string other = work / "other-export";
    ASSERT_EQ(exportTo(other, "--public-key '" + (work / "other_public.pem") + "'"), 0);
    EXPECT_EQ(ReadFileText(other + "/answers/0.txt"), "update62.dat");
}

TEST(UpdateServer, AnswersNameAtMost64UpdateNamesTheLowestFirst) {
    std::vector<server::TCatalogEntry> entries;
    for (int number = 1; number <= 65; ++number) entries.push_back({"u" + std::to_string(number) + ".dat", number});
    auto names = [&](std::int32_t number) { return SplitUpdateAnswer(server::AnswerFor(entries, number)); };
    ASSERT_EQ(names(0).size(), 64u);
    EXPECT_EQ(names(0).front() + names(0).back(), "u1.datu64.dat");
    EXPECT_EQ(names(1).size(), 64u);
    EXPECT_EQ(names(1).back(), "u65.dat");
}

}  // namespace
}  // namespace sentrel
