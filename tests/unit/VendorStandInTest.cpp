// The vendor-server stand-in (bin/vendor-standin) answered through the real client, as the
// program and its end-to-end tests use it.

#include "core/online/HttpClient.h"
#include "core/online/InstallerInfo.h"
#include "core/online/VersionCheck.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace larkspan::online;

namespace {

// Runs the stand-in with its standard input on a pipe: closing the pipe ends it.
class StandIn {
public:
    explicit StandIn(std::vector<std::string> options) {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        std::vector<std::string> args = {LARKSPAN_BIN_DIR "/vendor-standin", "--exit-on-stdin-eof"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        if (rc != 0) {
            throw std::runtime_error("cannot start vendor-standin");
        }
        port_ = ReadPort();
    }

    ~StandIn() {
        close(stdin_);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(stdout_);
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    std::uint16_t ReadPort() {
        std::string line;
        while (line.find('\n') == std::string::npos) {
            pollfd p{stdout_, POLLIN, 0};
            char c[64];
            ssize_t n = 0;
            if (poll(&p, 1, 5000) <= 0 || (n = read(stdout_, c, sizeof c)) <= 0) {
                throw std::runtime_error("vendor-standin printed no port");
            }
            line.append(c, static_cast<std::size_t>(n));
        }
        return static_cast<std::uint16_t>(std::stoi(line));
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::uint16_t port_ = 0;
};

std::string Post(const std::string& host, const char* path, const std::string& line) {
    TIdHTTP http(larkspan::platform::ConnectTcp);
    http.Request.UserAgent = kFormPostUserAgent;
    std::vector<std::string> lines = {line};
    return http.PostForm(VendorUrl(host, path), lines);
}

std::string TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base ? base : "/tmp") + "/standin-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    return pattern;
}

} // namespace

TEST(VendorStandIn, AnswersTheThreeRequestsAndServesTheInstaller) {
    const std::string folder = TempFolder();
    const std::string installer(300000, 'I');
    std::ofstream(folder + "/Setup.bin", std::ios::binary) << installer;

    StandIn standIn({"--tutorial", "yes", "--latest", "1.4", "--installer", "FreeLarkspan",
                     "Larkspan Free", "/Setup.bin", "--files", folder, "--framing", "chunked",
                     "--status", "/requests/broken.php", "500", "--log", folder + "/log"});
    const std::string host = standIn.Host();

    EXPECT_TRUE(TutorialAvailable(Post(host, kTutorialPath, kProductFormLine)));
    const auto offer = UpgradeMessageFor("1.3", Post(host, kVersionPath, kProductFormLine));
    ASSERT_TRUE(offer.has_value());
    EXPECT_NE(offer->find("Version number: 1.40\r\n"), std::string::npos);

    const auto info = ParseInstallerInfo(Post(host, kInstallerInfoPath, "smartname=FreeLarkspan"));
    EXPECT_EQ(info.state, 0);
    EXPECT_EQ(info.caption, "Larkspan Free Setup");
    EXPECT_EQ(info.url, "http://" + host + "/Setup.bin");
    EXPECT_EQ(Post(host, kInstallerInfoPath, "smartname=Unknown"), "false");

    TIdHTTP download(larkspan::platform::ConnectTcp);
    int chunks = 0;
    download.OnWorkBegin = [&](TWorkMode, std::int64_t) {
        ++chunks;
    };
    BodyBuffer stream;
    download.DownloadToStream(info.url, stream);
    EXPECT_EQ(stream.ToString(), installer);
    EXPECT_EQ(chunks, 5); // 64 KiB chunks

    EXPECT_THROW(Post(host, "/requests/broken.php", "a=1"), EIdHTTPProtocolException);

    std::ifstream log(folder + "/log");
    std::stringstream lines;
    lines << log.rdbuf();
    EXPECT_EQ(lines.str(), "POST /requests/getytvideoid.php product_id=10\n"
                           "POST /requests/checkversionid.php product_id=10\n"
                           "POST /requests/getsmartinstallerinfo.php smartname=FreeLarkspan\n"
                           "POST /requests/getsmartinstallerinfo.php smartname=Unknown\n"
                           "GET /Setup.bin\n"
                           "POST /requests/broken.php a=1\n");
    std::filesystem::remove_all(folder);
}

TEST(VendorStandIn, DefaultsAnswerFalse) {
    StandIn standIn({});
    EXPECT_EQ(Post(standIn.Host(), kTutorialPath, kProductFormLine), "false");
    EXPECT_EQ(Post(standIn.Host(), kVersionPath, kProductFormLine), "false");
    EXPECT_EQ(Post(standIn.Host(), kInstallerInfoPath, "smartname=FreeLarkspan"), "false");
}
