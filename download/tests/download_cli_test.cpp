// parvex-cli download (and upload, for the interrupt) as a child process
// against the reference mail server: what an interrupt, a kill and a hostile
// server text do to the terminal and to the files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "download_engine_fixture.h"
#include "tests/support/cli_process.h"

using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

namespace {

// The client with standard input from /dev/null and both outputs in files.
struct CliChild {
    pid_t pid = -1;
    int exitCode = -1;
    fs::path err;

    CliChild(const TempDir& dir, const std::vector<std::string>& args, const char* command = "download")
        : err(dir.path() / "cli.err") {
        std::string cli = CliPath();
        std::vector<std::string> all = {cli, command};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (dir.path() / "cli.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliChild() {
        if (pid > 0 && exitCode == -1) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    // True once it has ended (by exit or by signal) within timeoutMs.
    bool Ended(int timeoutMs) {
        return WaitFor(
            [&] {
                int status = 0;
                if (::waitpid(pid, &status, WNOHANG) != pid) return false;
                exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            },
            timeoutMs);
    }
    std::string Err() { return ReadWholeFile(err.string()); }
};

struct DownloadCliTest : ::testing::Test {
    TempDir serve, dest, logs;
    MailServerProcess server{{"--serve", serve.path().string()}};

    std::vector<std::string> Args(const std::vector<std::string>& tail) {
        std::vector<std::string> args = {"--host", server.Url("/"), "--dest", dest.path().string()};
        args.insert(args.end(), tail.begin(), tail.end());
        return args;
    }
    bool HasPart(const std::string& name) { return fs::exists(dest.path() / (name + ".part")); }
};

}  // namespace

TEST_F(DownloadCliTest, TheFirstInterruptCancelsASilentTransferAndDeletesThePart) {
    serve.Write("s.bin", Bytes(50000, 41));
    server.Get("/__fault?stall=1&target=download&count=1");
    CliChild cli(logs, Args({"/s.bin", "s.bin"}));
    ASSERT_TRUE(WaitFor([&] { return HasPart("s.bin"); }));
    ::kill(cli.pid, SIGINT);
    // Far sooner than the server's silence would end anything.
    ASSERT_TRUE(cli.Ended(10000));
    EXPECT_EQ(cli.exitCode, 130) << cli.Err();
    EXPECT_FALSE(fs::exists(dest.path() / "s.bin"));
    EXPECT_FALSE(HasPart("s.bin"));
    EXPECT_NE(cli.Err().find("(interrupted: yes)"), std::string::npos) << cli.Err();
}

TEST_F(DownloadCliTest, AnInterruptedUploadBlockedInASendExits130Too) {
    std::string file = serve.Write("big.bin", Bytes(8u << 20, 43)).string();
    server.Get("/__fault?stop_reading=1000&target=upload&count=1");
    CliChild cli(logs, {"--url", server.Url("/upload"), file}, "upload");
    ASSERT_TRUE(WaitFor([&] { return cli.Err().find("1 file(s)") != std::string::npos; }));
    ::kill(cli.pid, SIGINT);
    ASSERT_TRUE(cli.Ended(10000));
    EXPECT_EQ(cli.exitCode, 130) << cli.Err();
}

TEST_F(DownloadCliTest, AFileSkippedOnRequestCountsAsDone) {
    serve.Write("s.bin", Bytes(5000, 44));
    dest.Write("s.bin", "kept");
    CliChild cli(logs, Args({"--exists=skip", "/s.bin", "s.bin", "/s.bin", "t.bin"}));
    ASSERT_TRUE(cli.Ended(10000));
    EXPECT_EQ(cli.exitCode, 0) << cli.Err();
    EXPECT_EQ(ReadWholeFile((dest.path() / "s.bin").string()), "kept");
    EXPECT_EQ(ReadWholeFile((dest.path() / "t.bin").string()), Bytes(5000, 44));
}

TEST_F(DownloadCliTest, AKilledRunLeavesNothingUnderTheFinalNameAndTheOldFileAsItWas) {
    serve.Write("s.bin", Bytes(50000, 42));
    dest.Write("old.bin", "old bytes");
    for (const std::string name : {"old.bin", "new.bin"}) {
        server.Get("/__fault?stall=1&target=download&count=1");
        CliChild cli(logs, Args({"--exists=overwrite", "/s.bin", name}));
        ASSERT_TRUE(WaitFor([&] { return HasPart(name); })) << name;
        ::kill(cli.pid, SIGKILL);
        ASSERT_TRUE(cli.Ended(10000));
    }
    EXPECT_EQ(ReadWholeFile((dest.path() / "old.bin").string()), "old bytes");
    EXPECT_FALSE(fs::exists(dest.path() / "new.bin"));
}

TEST_F(DownloadCliTest, ServerTextsReachTheTerminalWithoutControlCharacters) {
    std::string reply = "HTTP/1.1 404 Not\x1b]0;owned\x07\x1b[2J Found\x9b\r\n\r\n";
    server.Get("/__fault?target=download&count=1&rawreply=" + Escape(reply));
    CliChild cli(logs, Args({"/x.bin", "x.bin"}));
    ASSERT_TRUE(cli.Ended(10000));
    EXPECT_EQ(cli.exitCode, 1);
    std::string err = cli.Err();
    EXPECT_NE(err.find("404 not?]0;owned??[2j found"), std::string::npos) << err;
    for (char c : err) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << static_cast<int>(c);
}

TEST_F(DownloadCliTest, OnlyFilesWhoseBytesWereWrittenCountAsDownloaded) {
    serve.Write("f.bin", Bytes(3000, 42));
    fs::create_directories(dest.path() / "report");
    CliChild cli(logs, Args({"/f.bin", "report", "/f.bin", "made/", "/f.bin", "made", "/f.bin", "ok.bin"}));
    ASSERT_TRUE(cli.Ended(10000));
    EXPECT_EQ(cli.exitCode, 1);
    EXPECT_EQ(ReadWholeFile((logs.path() / "cli.out").string()), "parvex-cli download: 1 of 3 downloaded, 1 of 1 folders made\n");
    EXPECT_EQ(server.RecordedCount(), 1);
}

TEST_F(DownloadCliTest, ACutFileIsTriedAgainAndGoesOnUnlessTurnedOff) {
    serve.Write("r.bin", Bytes(60000, 45));
    server.Get("/__fault?close_after=20000&target=download&count=1");
    CliChild resumed(logs, Args({"/r.bin", "r.bin"}));
    ASSERT_TRUE(resumed.Ended(20000));
    EXPECT_EQ(resumed.exitCode, 0) << resumed.Err();
    EXPECT_EQ(ReadWholeFile((dest.path() / "r.bin").string()), Bytes(60000, 45));
    EXPECT_NE(resumed.Err().find("재시도 0. r.bin\n"), std::string::npos) << resumed.Err();
    EXPECT_NE(resumed.Err().find("이어받기 0. r.bin\n"), std::string::npos) << resumed.Err();
    ASSERT_EQ(server.RecordedCount(), 2);
    EXPECT_NE(server.Recorded(2).find("\r\nRange: bytes=20000-\r\nIf-Range: \""), std::string::npos);

    server.Get("/__fault?close_after=20000&target=download&count=1");
    CliChild whole(logs, Args({"--no-resume", "/r.bin", "s.bin"}));
    ASSERT_TRUE(whole.Ended(20000));
    EXPECT_EQ(whole.exitCode, 0) << whole.Err();
    EXPECT_EQ(ReadWholeFile((dest.path() / "s.bin").string()), Bytes(60000, 45));
    EXPECT_EQ(whole.Err().find("이어받기"), std::string::npos) << whole.Err();
    ASSERT_EQ(server.RecordedCount(), 4);
    EXPECT_EQ(server.Recorded(4).find("Range:"), std::string::npos);
}
