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
#include <regex>
#include <thread>

#include <httplib.h>

#include "common/Files.h"
#include "database/UpdateFiles.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TableContents;

// A folder of two signed updates (58 and 59), a file that is no update and an unsigned update.
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

// Sends raw bytes and reads whatever comes back until the server closes.
std::string RawExchange(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        (void)!write(fd, request.data(), request.size());
        shutdown(fd, SHUT_WR);
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<std::size_t>(n));
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
}

TEST(UpdateServer, ExportsTheSameProtocolAsStaticFiles) {
    test::TempFolder root, work;
    FillRoot(root, work);
    const std::string out = work / "export";
    const std::string command = std::string(SENTREL_UPDATE_SERVER_PROGRAM) + " --root '" + root.Path() +
                                "' --export '" + out + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
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
    EXPECT_NE(ReadFileText(out + "/nginx.conf").find("try_files /answers/$sentrel_answer.txt"), std::string::npos);
}

}  // namespace
}  // namespace sentrel
