// The upload against servers that hold it up: a connection request nobody
// answers, a server that stops reading, a file that grows on the way. Every
// wait ends on the cancel or on its time-out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/wait_for.h"
#include "upload_test_support.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

const std::wstring kConnectFailed = L"[a.bin] => [서버 연결 실패]\r\n";
const std::wstring kNetworkError = L"[a.bin] => [네트워크 에러]\r\n";

// Far below the default time-outs (30 s to connect, minutes of silence), so
// only the cancel can have ended the wait.
constexpr auto kCancelTakesEffect = std::chrono::seconds(5);

}  // namespace

TEST(UploadBounds, UnansweredConnectionRequest) {
    MailServerProcess server;
    FullBacklogPort full;
    {
        UploadHarness h(server);
        h.settings.uploadUrl = full.UploadUrl();
        h.Add(L"a.bin", "A");
        CancelWhen cancel([&] { return h.network.connects.load() > 0; });
        EXPECT_EQ(h.Start(), 0);
        EXPECT_LT(cancel.Since(), kCancelTakesEffect);
        EXPECT_EQ(h.network.connects.load(), 1);
        EXPECT_EQ(h.view.logs(), std::vector<std::wstring>{kConnectFailed});
        EXPECT_EQ(h.controlBoxes.Count(), 1u);
    }
    {
        // Without a cancel each attempt ends at its time-out: three per run.
        UploadHarness h(server);
        h.settings.uploadUrl = full.UploadUrl();
        h.connectTimeoutMs = 100;
        h.Add(L"a.bin", "A");
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.network.connects.load(), 12);
        EXPECT_EQ(h.view.logs()[3], kConnectFailed);
    }
    {
        // A TLS handshake nobody answers ends at the same time-out.
        SilentPort silent;
        UploadHarness h(server);
        h.settings.uploadUrl = L"https://127.0.0.1:" + std::to_wstring(silent.port()) + L"/upload";
        h.connectTimeoutMs = 100;
        h.Add(L"a.bin", "A");
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.network.connects.load(), 12);
        EXPECT_EQ(h.view.logs()[3], kConnectFailed);
    }
}

TEST(UploadBounds, ServerThatStopsReading) {
    MailServerProcess server;
    const std::string big = Bytes(32u << 20, 31);
    {
        UploadHarness h(server);
        server.Get("/__fault?stop_reading=1000&count=1");
        h.Add(L"a.bin", big);
        CancelWhen cancel([&] { return h.network.blockedSends.load() > 0; });
        EXPECT_EQ(h.Start(), 0);
        EXPECT_LT(cancel.Since(), kCancelTakesEffect);
        EXPECT_EQ(h.view.logs(), std::vector<std::wstring>{L"Upload Cancel"});
    }
    {
        // A send that moves nothing for the long time-out fails the file; the
        // re-run then goes through.
        UploadHarness h(server);
        h.timeoutMs = 300;
        server.Get("/__fault?stop_reading=1000&count=1");
        h.Add(L"a.bin", big);
        EXPECT_EQ(h.Start(), 1);
        ASSERT_EQ(h.view.runs(), 2);
        EXPECT_EQ(h.view.logs()[0], kNetworkError);
        EXPECT_EQ(HashOfFile(server.storeDir() + "/a.bin"), HashOfBytes(big));
    }
}

TEST(UploadBounds, FileThatGrowsWhileTheRequestWaits) {
    MailServerProcess server;
    UploadHarness h(server);
    h.settings.expectContinue = 1;
    const std::string listed = Bytes(20000, 32);
    h.Add(L"a.bin", listed);
    std::filesystem::path local = h.dir.path() / "a.bin";
    bool grown = false;
    h.network.onSend = [&](size_t) {
        if (grown) return;
        grown = true;  // right after the header, before "100 continue"
        std::ofstream(local, std::ios::binary | std::ios::app) << "more";
    };
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.view.logs()[0], kNetworkError);
    // The body went out without its closing boundary, which the server
    // refuses; later runs send nothing.
    EXPECT_TRUE(parvex::testing::WaitFor([&] { return server.Get("/__stats") == "uploads=1 exists=0 downloads=0 bad=1"; }));
    EXPECT_FALSE(std::filesystem::exists(server.storeDir() + "/a.bin"));
}

TEST(UploadBounds, ConnectionOpensAfterTheExistsCheckAndTheAnswer) {
    MailServerProcess server;
    UploadHarness h(server);
    h.settings.existUrl = L"http://x/exists";
    std::ofstream(server.storeDir() + "/a.bin") << "old";
    int connectsDuringPrompt = -1;
    h.prompts.same = {{IdOk, UploadSameOverwrite, L"", false, [&] { connectsDuringPrompt = h.network.connects; }}};
    h.Add(L"a.bin", "new");
    EXPECT_EQ(h.Start(), 1);
    EXPECT_EQ(connectsDuringPrompt, 1);  // the exists check's own connection only
    EXPECT_EQ(h.network.connects.load(), 2);
    EXPECT_EQ(h.Stored("a.bin"), "new");
}
