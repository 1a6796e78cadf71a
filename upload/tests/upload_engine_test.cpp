#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>

#include "common/format.h"
#include "common/utf8.h"
#include "upload_test_support.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

// One upload request as the server must receive it. @B is the boundary,
// which is drawn at random; @P the local path, in a temporary folder of
// varying name; @L the Content-Length; @N, @U, @K the name, unique name
// and kind fields; @F the file's bytes.
const char kUploadRequest[] =
    "POST /upload HTTP/1.1\r\n"
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*\r\n"
    "Accept-Language: ko\r\n"
    "Content-Type: multipart/form-data; boundary=@B\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
    "Host: 127.0.0.1\r\n"
    "Content-Length: @L\r\n"
    "Connection: close\r\n"
    "Cookie: sid=42; lang=ko\r\n"
    "\r\n"
    "--@B\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\n@N\r\n"
    "--@B\r\nContent-Disposition: form-data; name=\"unique\"\r\n\r\n@U\r\n"
    "--@B\r\nContent-Disposition: form-data; name=\"uptype\"\r\n\r\n@K\r\n"
    "--@B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"@P\"\r\n"
    "Content-Type: application/octet-stream\r\n\r\n@F"
    "\r\n--@B--\r\n";

// The exists check for "over.txt" as the server must receive it, to the
// path of the exists URL; @B is the boundary.
const char kExistsRequest[] =
    "POST /exists?x=1 HTTP/1.1\r\n"
    "Accept-Language: ko\r\n"
    "Content-Type: multipart/form-data; boundary=@B\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
    "Host: 127.0.0.1\r\n"
    "Content-Length: 149\r\n"
    "Connection: close\r\n"
    "\r\n"
    "--@B\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\nover.txt\r\n"
    "--@B--\r\n";

// The template with each @X replaced by values['X'], in one pass so that
// the values themselves are never scanned.
std::string Fill(const char* form, const std::map<char, std::string>& values) {
    std::string out;
    for (const char* c = form; *c; ++c) {
        if (*c == '@' && values.count(c[1])) out += values.at(*++c);
        else out += *c;
    }
    return out;
}

// The boundary a recorded request announces.
std::string BoundaryOf(const std::string& request) {
    const std::string key = "boundary=";
    size_t at = request.find(key);
    if (at == std::string::npos) return std::string();
    at += key.size();
    return request.substr(at, request.find("\r\n", at) - at);
}

const std::wstring kCancelled = L"업로드가 취소되었습니다.";

void CancelNow() { CancelUploadRun(); }

}  // namespace

TEST(UploadEngineWire, RequestBytesAsReceivedAndStoredFiles) {
    MailServerProcess server;
    UploadHarness h(server);
    h.cookies.cookies[h.settings.uploadUrl] = L"sid=42; lang=ko";
    std::vector<std::pair<std::wstring, std::string>> files = {
        {L"empty.bin", ""},
        {L"odd.bin", Bytes(8191, 2)},
        {L"block.bin", Bytes(8192, 3)},
        {L"three.bin", Bytes(20000, 4)},
        {L"한글 보고서.txt", "내용입니다"},
    };
    for (auto& f : files) h.Add(f.first, f.second, f.first == L"block.bin" ? KindBig : KindGeneral);
    std::vector<UploadEntry> listed = h.list.entries;

    ASSERT_EQ(h.Start(), 1);
    EXPECT_EQ(h.list.clears, 1);
    EXPECT_TRUE(h.list.entries.empty());
    ASSERT_EQ(server.RecordedCount(), 5);
    // Content-Length without the local path, whose length varies: the four
    // parts and the closing around a 41-character boundary, and the file.
    const size_t lengthsWithoutPath[] = {493, 8682, 8685, 20493, 519};
    const char* names[] = {"empty.bin", "odd.bin", "block.bin", "three.bin",
                           "\xED\x95\x9C\xEA\xB8\x80 \xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.txt"};
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        std::string recorded = server.Recorded(static_cast<int>(i) + 1);
        std::string boundary = BoundaryOf(recorded);
        EXPECT_EQ(boundary.size(), 41u);
        std::string path = ToUtf8(listed[i].localPath);
        std::string length = std::to_string(lengthsWithoutPath[i] + path.size());
        EXPECT_EQ(recorded, Fill(kUploadRequest, {{'B', boundary}, {'P', path}, {'L', length}, {'N', names[i]},
                                                  {'U', "u." + std::to_string(i + 1)}, {'K', i == 2 ? "1" : "0"},
                                                  {'F', files[i].second}}));
        std::string stored = server.storeDir() + "/" + ToUtf8(files[i].first);
        EXPECT_EQ(HashOfFile(stored), HashOfBytes(files[i].second));
        EXPECT_EQ(ReadWholeFile(stored).size(), files[i].second.size());
    }
    auto rows = h.view.rows();
    for (auto& r : rows) EXPECT_EQ(r, L"완 료");
    EXPECT_EQ(h.view.closes(), 1);
    EXPECT_EQ(h.dialogBoxes.Count() + h.controlBoxes.Count(), 0u);
}

TEST(UploadEngineWire, LargeBlocksAndThrottledCounters) {
    MailServerProcess server;
    UploadHarness h(server);
    SteppingClock clock;
    h.clock = &clock;
    std::vector<uint32_t> refreshTicks;
    h.view.onText = [&](int id, const std::wstring&) {
        if (id == IdcUpSpeed) refreshTicks.push_back(clock.tick.load());
    };
    const size_t big = 3u << 20;
    h.Add(L"three.bin", Bytes(20000, 5));
    h.Add(L"big.bin", Bytes(big, 6));
    ASSERT_EQ(h.Start(), 1);

    std::vector<size_t> sends = h.network.Sends();
    ASSERT_GE(sends.size(), 7u);
    // header, the four parts, the whole small file in one send, the closing;
    // then the big file in blocks of at most the transfer block.
    EXPECT_EQ(sends[5], 20000u);
    for (size_t i = 5; i < sends.size(); ++i) EXPECT_LE(sends[i], kTransferBlockBytes);

    // While bytes flow at most every 500 ms; besides, once at each file's end
    // and at the run's.
    ASSERT_GE(refreshTicks.size(), 2u);
    int sooner = 0;
    for (size_t i = 1; i < refreshTicks.size(); ++i) sooner += refreshTicks[i] - refreshTicks[i - 1] <= 500u;
    EXPECT_LE(sooner, 3);
    // Counters in the size format, the time left as a duration; each exact at
    // the end of every file and of the run.
    EXPECT_FALSE(h.view.TextsOf(IdcUpTimeLeft).empty());
    std::vector<std::wstring> fileSent = h.view.TextsOf(IdcUpFileSent);
    EXPECT_NE(std::find(fileSent.begin(), fileSent.end(), FormatSize(20000)), fileSent.end());
    std::vector<std::wstring> runSent = h.view.TextsOf(IdcUpRunSent);
    EXPECT_NE(std::find(runSent.begin(), runSent.end(), FormatSize(20000)), runSent.end());
    EXPECT_EQ(fileSent.back(), FormatSize(big));
    EXPECT_EQ(runSent.back(), FormatSize(20000 + big));
    EXPECT_EQ(h.view.TextsOf(IdcUpTimeLeft).back(), L"0초");
    EXPECT_EQ(h.view.TextsOf(IdcUpRunTotal).front(), L"/ " + FormatSize(20000 + big));
    EXPECT_EQ(h.view.TextsOf(IdcUpFileSize).back(), L"/ " + FormatSize(big));
    EXPECT_EQ(h.view.bar(IdcUpFileBar), 100);
    EXPECT_EQ(h.view.bar(IdcUpRunBar), 100);
    EXPECT_EQ(HashOfFile(server.storeDir() + "/big.bin"), HashOfBytes(Bytes(big, 6)));
}

TEST(UploadEngineContinue, GivenWithheldAndRefused) {
    MailServerProcess server;
    {
        UploadHarness h(server);
        h.settings.expectContinue = 1;
        h.Add(L"a.bin", Bytes(10000, 7));
        EXPECT_EQ(h.Start(), 1);
        EXPECT_NE(server.Recorded(1).find("\r\nExpect: 100-Continue\r\nConnection: close\r\n"), std::string::npos);
        EXPECT_EQ(HashOfFile(server.storeDir() + "/a.bin"), HashOfBytes(Bytes(10000, 7)));
    }
    {
        // A server that never answers "Expect" gets the body after a second
        // of silence, well before the silent-server time-out.
        UploadHarness h(server);
        h.settings.expectContinue = 1;
        h.timeoutMs = 20000;
        server.Get("/__fault?continue=0&count=1");
        h.Add(L"b.bin", Bytes(5000, 8));
        EXPECT_EQ(h.Start(), 1);
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.view.logs(), std::vector<std::wstring>{L""});
        EXPECT_EQ(h.Stored("b.bin"), Bytes(5000, 8));
    }
    {
        // An interim answer in two packets is still the go-ahead.
        UploadHarness h(server);
        h.settings.expectContinue = 1;
        server.Get("/__fault?continue_split=200&count=1");
        h.Add(L"s.bin", Bytes(5000, 10));
        EXPECT_EQ(h.Start(), 1);
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.Stored("s.bin"), Bytes(5000, 10));
    }
    {
        // A final reply right behind "100 continue" answers the upload: the
        // file is not sent and not sent again.
        server.Get("/__reset");
        UploadHarness h(server);
        h.settings.expectContinue = 1;
        server.Get("/__fault?continue_then=HTTP/1.1%20413%20Too%20Large%0D%0AContent-Length:%203%0D%0A%0D%0Abig");
        h.Add(L"t.bin", Bytes(5000, 11));
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.view.runs(), 1);
        ASSERT_EQ(h.dialogBoxes.Count(), 1u);
        EXPECT_NE(h.dialogBoxes.shown[0].text.find(L"Error : 413 too large"), std::wstring::npos);
        EXPECT_EQ(h.network.Sends().size(), 1u);
        EXPECT_EQ(server.Get("/__stats").substr(0, 9), "uploads=1");
    }
    for (const char* status : {"417%20Expectation%20Failed", "413%20Payload%20Too%20Large"}) {
        // A final status instead of the interim one is the server's answer:
        // shown once, the file never sent, never sent again.
        SCOPED_TRACE(status);
        server.Get("/__reset");
        UploadHarness h(server);
        h.settings.expectContinue = 1;
        server.Get(std::string("/__fault?continue_status=") + status);
        h.Add(L"c.bin", Bytes(5000, 9));
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.view.rows()[0], L"실 패");
        ASSERT_EQ(h.dialogBoxes.Count(), 1u);
        EXPECT_NE(h.dialogBoxes.shown[0].text.find(L"알수없는 오류"), std::wstring::npos);
        EXPECT_EQ(server.Get("/__stats").substr(0, 9), "uploads=1");
        EXPECT_EQ(h.network.Sends().size(), 1u);  // the header only
    }
}

TEST(UploadEngineExists, OverwriteRenameAndSkip) {
    MailServerProcess server;
    UploadHarness h(server);
    h.settings.existUrl = L"http://elsewhere.example:9/exists?x=1";
    std::ofstream(server.storeDir() + "/over.txt") << "old";
    std::ofstream(server.storeDir() + "/taken.txt") << "old";
    std::ofstream(server.storeDir() + "/also.txt") << "old";
    std::ofstream(server.storeDir() + "/skip.txt") << "old";
    h.Add(L"over.txt", "new over");
    h.Add(L"taken.txt", "renamed content");
    h.Add(L"skip.txt", "not sent");
    h.Add(L"fresh.txt", "fresh");
    // over: overwrite. taken: rename to a name that also exists, then back
    // out of a rename (choice 0), then rename to a free one. skip: skip.
    h.prompts.same = {
        {IdOk, UploadSameOverwrite, L"", false, nullptr},
        {IdOk, UploadSameRename, L"also.txt", false, nullptr},
        {IdOk, UploadSameNone, L"", false, nullptr},
        {IdOk, UploadSameRename, L"free.txt", false, nullptr},
        {IdCancel, UploadSameSkip, L"", false, nullptr},
    };
    EXPECT_EQ(h.Start(), 1);
    EXPECT_EQ(h.prompts.askedSame,
              (std::vector<std::wstring>{L"over.txt", L"taken.txt", L"also.txt", L"also.txt", L"skip.txt"}));
    EXPECT_EQ(h.prompts.askedSizes[0], 8.0);
    EXPECT_EQ(h.Stored("over.txt"), "new over");
    EXPECT_EQ(h.Stored("free.txt"), "renamed content");
    EXPECT_EQ(h.Stored("taken.txt"), "old");
    EXPECT_EQ(h.Stored("skip.txt"), "old");
    EXPECT_EQ(h.Stored("fresh.txt"), "fresh");
    EXPECT_EQ(h.view.rows(), (std::vector<std::wstring>{L"완 료", L"완 료", L"건너뜀", L"완 료"}));
    // The renamed file keeps its local path and unique name.
    std::string fields = ReadWholeFile(server.storeDir() + "/free.txt.fields");
    EXPECT_NE(fields.find("name=free.txt\n"), std::string::npos) << fields;
    EXPECT_NE(fields.find("unique=u.2\n"), std::string::npos) << fields;
    EXPECT_NE(fields.find("taken.txt\n"), std::string::npos) << fields;
    // The exists path of the other URL, on the upload host and port.
    // The first request asks for the first name.
    std::string asked = server.Recorded(1);
    EXPECT_EQ(asked, Fill(kExistsRequest, {{'B', BoundaryOf(asked)}}));
    // The skipped file left the run's total.
    EXPECT_EQ(h.view.TextsOf(IdcUpRunTotal).back(), L"/ " + FormatSize(8 + 15 + 5));
}

TEST(UploadEngineExists, ApplyToAll) {
    MailServerProcess server;
    for (bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite);
        server.Get("/__reset");
        UploadHarness h(server);
        h.settings.existUrl = h.settings.uploadUrl.substr(0, h.settings.uploadUrl.find(L"/upload")) + L"/exists";
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) std::ofstream(server.storeDir() + "/" + n) << "old";
        h.Add(L"a.txt", "A");
        h.Add(L"b.txt", "B");
        h.Add(L"c.txt", "C");
        h.prompts.same = {{overwrite ? IdOk : IdCancel, overwrite ? UploadSameOverwrite : UploadSameSkip, L"", true, nullptr}};
        EXPECT_EQ(h.Start(), 1);
        EXPECT_EQ(h.prompts.askedSame.size(), 1u);
        std::wstring expected = overwrite ? L"완 료" : L"건너뜀";
        EXPECT_EQ(h.view.rows(), std::vector<std::wstring>(3, expected));
        EXPECT_EQ(h.Stored("c.txt"), overwrite ? "C" : "old");
    }
}

TEST(UploadEngineExists, CheckFailuresAreRecorded) {
    MailServerProcess server;
    UploadHarness h(server);
    h.settings.existUrl = L"http://x/exists";
    server.Get("/__fault?status=500%20Internal%20Server%20Error&target=exists&count=1");
    h.Add(L"a.txt", "A");
    EXPECT_EQ(h.Start(), 1);  // the re-run's check succeeds
    ASSERT_EQ(h.view.runs(), 2);
    std::wstring path = h.dir.wpath() + L"/a.txt";  // no backslash: the whole path names it
    EXPECT_EQ(h.view.logs()[0], L"[" + path + L"] => [서버파일 체크오류]\r\n");
    EXPECT_EQ(h.view.finalRows()[0][0], L"실 패");
    EXPECT_EQ(h.view.TextsOf(IdcUpRunTotal)[1], L"/ " + FormatSize(0));

    UploadHarness h2(server);
    h2.settings.existUrl = L"http://x/exists";
    server.Get("/__fault?close_after=0&target=exists&count=1");
    h2.Add(L"b.txt", "B");
    EXPECT_EQ(h2.Start(), 1);
    ASSERT_EQ(h2.view.runs(), 2);
    EXPECT_EQ(h2.view.logs()[0], L"[b.txt] => [SOCKET ERROR]\r\n");
    EXPECT_EQ(h2.Stored("b.txt"), "B");
}

TEST(UploadEngineReply, RefusalStopsWithoutRerun) {
    MailServerProcess server;
    UploadHarness h(server);
    server.Get("/__fault?status=500%20Internal%20Server%20Error&body=disk%20full&count=1");
    h.Add(L"a.txt", "A");
    h.Add(L"b.txt", "B");
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.view.runs(), 1);
    EXPECT_EQ(h.view.rows(), (std::vector<std::wstring>{L"실 패", L"대기"}));
    ASSERT_EQ(h.dialogBoxes.Count(), 1u);
    EXPECT_EQ(h.dialogBoxes.shown[0].caption, L"Upload Fail");
    EXPECT_EQ(h.controlBoxes.Count(), 0u);
    EXPECT_TRUE(h.list.entries.empty());
    EXPECT_EQ(server.Get("/__stats").substr(0, 9), "uploads=1");
}

TEST(UploadEngineReply, UnreadableReplyIsRerunAndSplitReplyIsJudgedOnItsBody) {
    MailServerProcess server;
    UploadHarness h(server);
    h.timeoutMs = 300;
    server.Get("/__fault?stall=1&count=1");
    h.Add(L"a.txt", "A");
    EXPECT_EQ(h.Start(), 1);
    EXPECT_EQ(h.view.runs(), 2);
    EXPECT_EQ(h.view.logs()[0], L"[a.txt] => [네트워크 에러]\r\n");

    UploadHarness h2(server);
    server.Get("/__fault?split=300&count=1");
    h2.Add(L"b.txt", "B");
    EXPECT_EQ(h2.Start(), 1);
    EXPECT_EQ(h2.view.runs(), 1);

    UploadHarness h3(server);
    server.Get("/__fault?chunked=1&body=%3Cb%3E10%EA%B0%9C%3C/b%3E%20max%200%3Cbr%20/%3E&count=1");
    h3.Add(L"c.txt", "C");
    EXPECT_EQ(h3.Start(), 0);
    ASSERT_EQ(h3.dialogBoxes.Count(), 1u);
    EXPECT_EQ(h3.dialogBoxes.shown[0].text, L"10개 max 0\r\n");
}

TEST(UploadEngineCancel, DuringTransferAndBeforeTheLoop) {
    MailServerProcess server;
    {
        UploadHarness h(server);
        const size_t big = 4u << 20;  // sixteen blocks
        // A tenth of the file on its way (the bars move only every 100 ms).
        size_t sentSoFar = 0;  // the worker's
        h.network.onSend = [&sentSoFar, big](size_t n) {
            if ((sentSoFar += n) >= big / 10) CancelNow();
        };
        h.Add(L"big.bin", Bytes(big, 10));
        h.Add(L"next.bin", "next");
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.view.logs()[0], L"Upload Cancel");
        EXPECT_EQ(h.view.rows(), (std::vector<std::wstring>{L"전송중", L"대기"}));
        ASSERT_EQ(h.controlBoxes.Count(), 1u);
        EXPECT_EQ(h.controlBoxes.shown[0].text, kCancelled);
        EXPECT_EQ(h.controlBoxes.shown[0].caption, L"알림");
        EXPECT_FALSE(std::filesystem::exists(server.storeDir() + "/big.bin"));
        size_t sent = 0;
        for (size_t s : h.network.Sends()) sent += s;
        EXPECT_LT(sent, big / 2);
    }
    {
        UploadHarness h(server);
        h.view.onText = [](int id, const std::wstring&) {
            if (id == IdcUpFileName) CancelNow();
        };
        h.Add(L"a.bin", Bytes(20000, 11));
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.view.logs()[0], L"Upload Cancel");
        EXPECT_EQ(h.network.Sends().size(), 5u);  // the header and the parts, no file bytes
    }
}

TEST(UploadEngineCancel, BeforeTheRequestAndAfterConnecting) {
    MailServerProcess server;
    {
        // Cancelled while the same-file prompt is open: no request goes out.
        UploadHarness h(server);
        h.settings.existUrl = L"http://x/exists";
        std::ofstream(server.storeDir() + "/a.txt") << "old";
        h.prompts.same = {{IdOk, UploadSameOverwrite, L"", false, [] { CancelNow(); }}};
        h.Add(L"a.txt", "A");
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.view.logs()[0], L"Upload Cancel");
        EXPECT_EQ(h.Stored("a.txt"), "old");
        EXPECT_EQ(server.Get("/__stats").substr(0, 9), "uploads=0");
    }
    {
        // Noticed right after the connection attempts of the next file.
        UploadHarness h(server);
        h.Add(L"gone.txt", "x");
        h.Add(L"b.txt", "B");
        h.Add(L"c.txt", "C");
        std::filesystem::remove(h.dir.path() / "gone.txt");
        h.prompts.onMissing = [] { CancelNow(); };
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.prompts.askedMissing, std::vector<std::wstring>{L"gone.txt"});
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.view.logs()[0], L"[b.txt] => [서버 연결 실패]\r\n");
        EXPECT_EQ(h.view.rows(), (std::vector<std::wstring>{L"대기", L"실 패", L"대기"}));
        EXPECT_EQ(h.controlBoxes.Count(), 1u);
    }
}

TEST(UploadEngineCancel, ConnectionAttemptsStopOnCancel) {
    RefusingPort refusing;
    MailServerProcess server;
    UploadHarness h(server);
    h.settings.uploadUrl = refusing.UploadUrl();
    h.Add(L"a.txt", "A");
    h.controlBoxes.answers = {IdNo};
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.network.connects, 12);  // three tries in each of four runs

    UploadHarness h2(server);
    h2.settings.uploadUrl = h.settings.uploadUrl;
    h2.Add(L"gone.txt", "x");
    h2.Add(L"b.txt", "B");
    std::filesystem::remove(h2.dir.path() / "gone.txt");
    h2.prompts.onMissing = [] { CancelNow(); };
    EXPECT_EQ(h2.Start(), 0);
    EXPECT_EQ(h2.network.connects, 0);  // the cancel came before the first attempt
    EXPECT_EQ(h2.view.logs()[0], L"[b.txt] => [서버 연결 실패]\r\n");
}

// A name whose first address drops the connection request and whose second
// serves: the second is tried a quarter second after the first, and the
// file arrives within a second, not after the connection time-out.
TEST(UploadEngineConnect, ADeadFirstAddressGivesWayToTheLiveSecond) {
    MailServerProcess server;
    FullBacklogPort dead(0x7F000002, server.port());  // 127.0.0.2, the server's port
    ASSERT_EQ(dead.port(), server.port());
    UploadHarness h(server);
    NetAddress first, second;
    std::memcpy(first.bytes, "\x7F\x00\x00\x02", 4);
    std::memcpy(second.bytes, "\x7F\x00\x00\x01", 4);
    h.network.names["twin.test"] = {first, second};
    h.settings.uploadUrl = L"http://twin.test:" + std::to_wstring(server.port()) + L"/upload";
    h.Add(L"twin.txt", "over the second address");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(h.Start(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(h.Stored("twin.txt"), "over the second address");
    EXPECT_EQ(h.network.connects, 2);
}

TEST(UploadEngineCancel, DuringTheWaitsOnTheServer) {
    MailServerProcess server;
    struct Case {
        const char* fault;
        bool expect;
        bool exists;
        size_t sendsBeforeTheWait;
    };
    // Waiting for "100 continue" after the header; for the reply after the
    // header, four parts, one block and the closing; for the exists answer
    // after its one request.
    for (Case c : {Case{"continue=0", true, false, 1}, Case{"stall=1", false, false, 7},
                   Case{"stall=1&target=exists", false, true, 1}}) {
        SCOPED_TRACE(c.fault);
        server.Get("/__reset");
        server.Get(std::string("/__fault?") + c.fault + "&count=1");
        UploadHarness h(server);
        h.timeoutMs = 60000;
        h.settings.expectContinue = c.expect ? 1 : 0;
        if (c.exists) h.settings.existUrl = L"http://x/exists";
        h.Add(L"a.txt", "A");
        h.Add(L"b.txt", "B");
        h.network.onIdleWait = [&c](size_t sends) {
            if (sends >= c.sendsBeforeTheWait) CancelNow();
        };
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(h.Start(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(h.view.runs(), 1);
        EXPECT_EQ(h.view.logs()[0], L"Upload Cancel");
        EXPECT_EQ(h.view.rows()[1], L"대기");
        EXPECT_EQ(h.controlBoxes.Count(), 1u);
    }
}

TEST(UploadEngineMissing, SkipAndCancel) {
    MailServerProcess server;
    {
        UploadHarness h(server);
        h.Add(L"gone1.txt", "12345");
        h.Add(L"gone2.txt", "123");
        std::filesystem::remove(h.dir.path() / "gone1.txt");
        std::filesystem::remove(h.dir.path() / "gone2.txt");
        EXPECT_EQ(h.Start(), 1);  // skipped files are not failures
        EXPECT_EQ(h.view.rows(), (std::vector<std::wstring>{L"대기", L"대기"}));
        EXPECT_EQ(h.view.TextsOf(IdcUpRunTotal).back(), L"/ " + FormatSize(0));
        EXPECT_EQ(h.controlBoxes.Count(), 0u);
    }
    {
        UploadHarness h(server);
        h.Add(L"gone.txt", "x");
        h.Add(L"b.txt", "B");
        std::filesystem::remove(h.dir.path() / "gone.txt");
        h.prompts.missing = {IdCancel};
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.view.logs()[0], L"");
        EXPECT_EQ(h.view.rows(), (std::vector<std::wstring>{L"대기", L"대기"}));
        ASSERT_EQ(h.controlBoxes.Count(), 1u);
        EXPECT_EQ(h.controlBoxes.shown[0].text, kCancelled);
        EXPECT_EQ(server.RecordedCount(), 0);
    }
}

TEST(UploadEngineChanges, ChangedOrShortFilesAreNeverPaddedOrCut) {
    MailServerProcess server;
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        UploadHarness h(server);
        ShortReadingFiles shortFiles;
        h.Add(L"f.bin", Bytes(20000, 12));
        if (variant == 0) h.dir.Write("f.bin", Bytes(15000, 12));  // shrunk since listed
        if (variant == 1) h.dir.Write("f.bin", Bytes(25000, 12));  // grown since listed
        if (variant == 2) {
            shortFiles.shortBy = 100;  // reports its size, yields less
            h.files = &shortFiles;
        }
        EXPECT_EQ(h.Start(), 0);  // four runs, then No
        EXPECT_EQ(h.view.runs(), 4);
        EXPECT_EQ(h.view.logs()[0], L"[f.bin] => [네트워크 에러]\r\n");
        EXPECT_FALSE(std::filesystem::exists(server.storeDir() + "/f.bin"));
    }
}

// A file emptied and written again with other bytes of the same size while
// it goes out, as an editor saves it, once the read-ahead has read past
// what the server took: the request goes without its closing boundary, the
// upload fails and the server stores nothing. (The automatic re-run would
// send the new version whole; it is cancelled as it opens.)
TEST(UploadEngineChanges, RewrittenInPlaceWhileSentIsNeverFinished) {
    MailServerProcess server;
    server.Get("/__fault?hold=65536&target=upload");
    UploadHarness h(server);
    ReadCountingFiles files;
    h.files = &files;
    const std::string after = Bytes(6 << 20, 22);
    std::string path = ToUtf8(h.Add(L"saved.bin", Bytes(6 << 20, 21)).localPath);
    std::thread editor([&] {
        // Every block of the read-ahead is read, and the socket is full.
        WaitFor([&] { return files.bytesRead >= 3 * kTransferBlockBytes && h.network.blockedSends > 0; });
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(after.data(), static_cast<long>(after.size()));
        // Later than the first write also on a file system with a coarse clock.
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
        server.Get("/__release");
    });
    int opened = 0;
    h.view.onText = [&](int id, const std::wstring&) {
        if (id == IdcUpRunTotal && ++opened == 2) CancelUploadRun();
    };
    EXPECT_EQ(h.Start(), 0);
    editor.join();
    EXPECT_EQ(h.view.logs()[0], L"[saved.bin] => [네트워크 에러]\r\n");
    EXPECT_EQ(files.bytesRead, 6u << 20);
    // The server refuses the cut body once it has it all, recorded.
    ASSERT_TRUE(WaitFor([&] { return server.Get("/__stats") == "uploads=1 exists=0 downloads=0 bad=1"; }));
    std::string sent = server.Recorded(1);
    EXPECT_EQ(sent.find(BoundaryOf(sent) + "--"), std::string::npos);
    EXPECT_EQ(sent.substr(sent.size() - 1000), after.substr(after.size() - 1000));
    EXPECT_TRUE(std::filesystem::is_empty(server.storeDir()));
}

TEST(UploadEngineChanges, UnusableUrlOrHostFailsEveryFile) {
    MailServerProcess server;
    std::wstring port = std::to_wstring(server.port());
    std::wstring ftp = L"ftp://127.0.0.1:" + port + L"/upload";
    std::wstring lineBreak = L"http://127.0.0.1:" + port + L"/upload\r\nX-Injected: 1";
    // 99999 would wrap to 34463 in 16 bits.
    for (const std::wstring& url :
         {std::wstring(L"http://127.0.0.1"), std::wstring(L"127.0.0.1/upload"),
          std::wstring(L"http://no-such-host.invalid/upload"), std::wstring(L"http:///upload"), std::wstring(), ftp,
          lineBreak, std::wstring(L"http://127.0.0.1:99999/upload"), std::wstring(L"http://127.0.0.1:0/upload")}) {
        SCOPED_TRACE(ToUtf8(url));
        UploadHarness h(server);
        h.settings.uploadUrl = url;
        h.Add(L"a.txt", "A");
        h.Add(L"b.txt", "B");
        EXPECT_EQ(h.Start(), 0);
        EXPECT_EQ(h.network.connects, 0);
        EXPECT_EQ(h.view.logs()[0], L"[a.txt] => [서버 연결 실패]\r\n[b.txt] => [서버 연결 실패]\r\n");
        EXPECT_EQ(h.view.finalRows()[0], (std::vector<std::wstring>{L"실 패", L"실 패"}));
        EXPECT_TRUE(h.list.entries.empty());
    }
    // https to a server that speaks plain HTTP: the handshake fails, so the
    // files fail to connect and no request goes out.
    UploadHarness h(server);
    h.settings.uploadUrl = L"https://127.0.0.1:" + port + L"/upload";
    h.Add(L"a.txt", "A");
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.view.logs()[0], L"[a.txt] => [서버 연결 실패]\r\n");
    EXPECT_EQ(server.RecordedCount(), 0);
}

TEST(UploadEngineOnServer, AttachmentsOnTheServerAreNeitherConnectedForNorCheckedNorSent) {
    MailServerProcess server;
    for (bool reachable : {true, false}) {
        SCOPED_TRACE(reachable);
        server.Get("/__reset");
        UploadHarness h(server);
        // The server holds the name: a check would ask about it.
        server.Get("/__fault?exists=1&target=exists");
        h.settings.existUrl = h.Widen(server.Url("/exists"));
        if (!reachable) h.settings.uploadUrl = L"http://127.0.0.1:0/upload";
        UploadEntry e;
        e.fileName = L"already.doc";
        e.kind = KindOnServer;
        e.size = 4096;
        h.list.entries.push_back(e);
        EXPECT_EQ(h.Start(), 1);
        EXPECT_EQ(h.view.rows(), std::vector<std::wstring>{L"완 료"});
        EXPECT_TRUE(h.prompts.askedSame.empty());
        EXPECT_EQ(h.network.connects, 0);
        EXPECT_EQ(server.RecordedCount(), 0);
        EXPECT_EQ(h.view.TextsOf(IdcUpFileSent).back(), FormatSize(4096));
    }
}
