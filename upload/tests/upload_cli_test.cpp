// parvex-cli upload run as a child process without a terminal, against the
// reference mail server: its exit codes, unattended answers and options.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/fakes.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/test_data.h"
#include "upload_test_support.h"

using namespace parvex::testing;

namespace {

// parvex-cli upload with args.
CliResult RunUpload(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "upload");
    return RunCli(dir, args);
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string Uploads(const MailServerProcess& server) { return server.Get("/__stats").substr(0, 9); }

}  // namespace

TEST(UploadCliRun, ExitsZeroExactlyWhenEveryFileArrived) {
    MailServerProcess server;
    TempDir dir;
    std::string korean = dir.Write("한글 문서.txt", "내용").string();
    std::string odd = dir.Write("odd.bin", Bytes(20000, 21)).string();
    std::string url = server.Url("/upload");

    CliResult ok = RunUpload(dir, {"--url", url, "--fields", "name,unique,file", "--expect-continue", "--cookie",
                                "sid=7; who=홍길동", "--title", "CLI run", korean, odd});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_NE(ok.out.find("upload complete"), std::string::npos) << ok.out;
    EXPECT_NE(ok.err.find("CLI run: 2 file(s)"), std::string::npos) << ok.err;
    EXPECT_EQ(HashOfFile(server.storeDir() + "/한글 문서.txt"), HashOfBytes("내용"));
    EXPECT_EQ(HashOfFile(server.storeDir() + "/odd.bin"), HashOfBytes(Bytes(20000, 21)));
    ASSERT_EQ(server.RecordedCount(), 2);
    // The cookie byte for byte; the local path as the system spells it.
    EXPECT_NE(server.Recorded(1).find("\r\nExpect: 100-Continue\r\nConnection: close\r\n"
                                      "Cookie: sid=7; who=\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(server.Recorded(1).find("; filename=\"" + korean + "\"\r\n"), std::string::npos) << korean;

    // No server: the first run and three re-runs fail, the question is
    // answered No without a terminal, and every run's log is printed.
    RefusingPort refusing;
    std::string dead = parvex::ToUtf8(refusing.UploadUrl());
    CliResult down = RunUpload(dir, {"--url", dead, odd});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_EQ(Occurrences(down.out, "[odd.bin] => [서버 연결 실패]"), 4u) << down.out;
    EXPECT_NE(down.out.find("upload failed"), std::string::npos);
    EXPECT_NE(down.err.find("[Warning] 업로드에 실패한 항목이 있습니다."), std::string::npos) << down.err;
    EXPECT_NE(down.err.find("(no terminal to ask: no)"), std::string::npos) << down.err;

    // A refusal is shown on standard error and ends the upload with 1.
    server.Get("/__fault?status=500%20Internal%20Server%20Error&count=1");
    CliResult refused = RunUpload(dir, {"--url", url, "--fields", "name,unique,file", odd});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("[Upload Fail]"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("Error : 500 internal server error"), std::string::npos) << refused.err;
}

TEST(UploadCliRun, SameFileOptionsAndTheUnattendedSkip) {
    MailServerProcess server;
    TempDir dir;
    std::string file = dir.Write("a.txt", "new").string();
    std::string url = server.Url("/upload"), exists = server.Url("/exists");
    auto stored = [&](const std::string& name) { return ReadWholeFile(server.storeDir() + "/" + name); };
    std::ofstream(server.storeDir() + "/a.txt") << "old";
    std::vector<std::string> base = {"--url", url, "--exist-url", exists, "--fields", "name,unique,file"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return args;
    };

    // Without a terminal and without --same the prompt skips: not a failure.
    CliResult skipped = RunUpload(dir, with({}));
    EXPECT_EQ(skipped.exitCode, 0) << skipped.err;
    EXPECT_NE(skipped.out.find("건너뜀  a.txt"), std::string::npos) << skipped.out;
    EXPECT_EQ(stored("a.txt"), "old");

    // A rename to the name itself is refused and skips as well.
    EXPECT_EQ(RunUpload(dir, with({"--same=rename:a.txt"})).exitCode, 0);
    EXPECT_EQ(stored("a.txt"), "old");
    EXPECT_EQ(Uploads(server), "uploads=0");

    CliResult renamed = RunUpload(dir, with({"--same=rename:b.txt"}));
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_EQ(stored("b.txt"), "new");
    EXPECT_EQ(stored("a.txt"), "old");

    EXPECT_EQ(RunUpload(dir, with({"--same", "overwrite"})).exitCode, 0);
    EXPECT_EQ(stored("a.txt"), "new");
}

TEST(UploadCliAdmission, LimitsRefuseBeforeAnythingIsSent) {
    MailServerProcess server;
    TempDir dir;
    std::string a = dir.Write("a.txt", "A").string(), b = dir.Write("b.txt", "B").string();
    std::string two = dir.Write("two.bin", Bytes(2 * 1048576, 22)).string();
    std::string eleven = dir.Write("eleven.bin", Bytes(11 * 1048576, 23)).string();
    std::string url = server.Url("/upload");

    CliResult count = RunUpload(dir, {"--url", url, "--limit-count", "1", a, b});
    EXPECT_EQ(count.exitCode, 1);
    EXPECT_NE(count.err.find("[Limit Upload File Count]"), std::string::npos) << count.err;
    CliResult size = RunUpload(dir, {"--url", url, "--limit-size", "1", two});
    EXPECT_EQ(size.exitCode, 1);
    EXPECT_NE(size.err.find("[Limit Upload File Size]"), std::string::npos) << size.err;
    // With two budgets a file above the general size limit is a big one.
    EXPECT_EQ(RunUpload(dir, {"--url", url, "--use-type", "1", "--big-size", "10", eleven}).exitCode, 1);
    EXPECT_EQ(Uploads(server), "uploads=0");

    CliResult big = RunUpload(dir, {"--url", url, "--fields", "name,unique,file", "--use-type", "1", "--big-size",
                                 "12", eleven});
    EXPECT_EQ(big.exitCode, 0) << big.err;
    EXPECT_NE(ReadWholeFile(server.storeDir() + "/eleven.bin.fields").find("uptype=1\n"), std::string::npos);
    EXPECT_EQ(HashOfFile(server.storeDir() + "/eleven.bin"), HashOfBytes(Bytes(11 * 1048576, 23)));
}

TEST(UploadCliRun, FileGoneBeforeItsTurnFailsUnlessSkippingWasAsked) {
    MailServerProcess server;
    TempDir dir;
    std::string url = server.Url("/upload");
    for (bool skipAsked : {false, true}) {
        SCOPED_TRACE(skipAsked);
        server.Get("/__reset");
        // The server holds the first file part-way; the second vanishes
        // meanwhile.
        server.Get("/__fault?hold=2097152&count=1");
        std::string slow = dir.Write("slow.bin", Bytes(4u << 20, 24)).string();
        std::string gone = dir.Write("gone.txt", "x").string();
        std::vector<std::string> args = {"--url", url, slow, gone};
        if (skipAsked) args.insert(args.begin(), "--missing=skip");
        CliResult r;
        std::thread cli([&] { r = RunUpload(dir, args); });
        WaitFor([&] { return Uploads(server) == "uploads=1"; }, 30000);
        std::filesystem::remove(gone);
        server.Get("/__release");
        cli.join();
        EXPECT_EQ(r.exitCode, skipAsked ? 0 : 1) << r.err;
        EXPECT_EQ(r.err.find("gone.txt: the file is gone") != std::string::npos, !skipAsked) << r.err;
        EXPECT_EQ(HashOfFile(server.storeDir() + "/slow.bin"), HashOfBytes(Bytes(4u << 20, 24)));
    }
}
