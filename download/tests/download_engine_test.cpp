#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "common/format.h"
#include "common/utf8.h"
#include "common/settings.h"
#include "download/download_engine.h"
#include "download_engine_fixture.h"
#include "download_test_support.h"
#include "tests/support/test_data.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/ports.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

namespace {

// The clock moves on by a fixed step every time it is read.
class SteppingClock : public Clock {
public:
    explicit SteppingClock(uint32_t step) : step_(step) {}
    uint32_t TickMs() override { return tick_.fetch_add(step_) + step_; }
    void SleepMs(uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        tick_ += ms;
    }
    LocalTime Now() override { return LocalTime(); }
    uint32_t Peek() const { return tick_; }

private:
    std::atomic<uint32_t> tick_{100000};
    uint32_t step_;
};

const char kRequestHead[] =
    "Accept: */*\r\nAccpet-Encoding: deflate\r\nHost: 127.0.0.1:%d\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nConnection: Keep-Alive\r\n";

std::string ExpectedRequest(const std::string& target, int port, const std::string& cookie) {
    char head[512];
    std::snprintf(head, sizeof head, kRequestHead, port);
    std::string r = "GET " + target + " HTTP/1.1\r\n" + head;
    return cookie.empty() ? r + "\r\n" : r + "Cookie: " + cookie + "\r\n\r\n";
}

}  // namespace

TEST(DownloadParseTest, StatusLineAndContentLength) {
    std::wstring text;
    EXPECT_EQ(ParseStatusLine(L"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", text), StatusCheck::Ok);
    EXPECT_EQ(ParseStatusLine(L"HTTP/1.1 404 Not Found\r\n\r\n", text), StatusCheck::ClientError);
    EXPECT_EQ(text, L"404 not found");
    EXPECT_EQ(ParseStatusLine(L"X-Pre: 1\r\nhttp/1.1 503 Service Unavailable\r\n\r\n", text), StatusCheck::ServerError);
    EXPECT_EQ(text, L"503 service unavailable");
    EXPECT_EQ(ParseStatusLine(L"HTTP/1.0 200 OK\r\n\r\n", text), StatusCheck::NoStatusLine);
    EXPECT_EQ(text, L"");
    EXPECT_EQ(ParseStatusLine(L"HTTP/1.1 abc\r\n\r\n", text), StatusCheck::ClientError);

    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\ncontent-LENGTH:   1234 \r\n\r\n"), 1234);
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), 0);
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\n"), 4294967296.0);
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: many\r\n\r\n"), -1);
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"), -1);
}

TEST(DownloadParseTest, RequestCarriesThePortAlsoForPort80) {
    EXPECT_EQ(BuildDownloadRequest(L"/d/a  b", L"mail.example.com", 80, L""),
              L"GET /d/a%20%20b HTTP/1.1\r\nAccept: */*\r\nAccpet-Encoding: deflate\r\nHost: mail.example.com:80\r\n"
              L"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nConnection: Keep-Alive\r\n\r\n");
}

TEST(DownloadParseTest, RequestTargetIsEscapedSoNoPathAddsAHeaderLine) {
    auto firstLine = [](const std::wstring& r) { return r.substr(0, r.find(L"\r\n")); };
    EXPECT_EQ(firstLine(BuildDownloadRequest(L"/files/한글.txt", L"h", 80, L"")),
              L"GET /files/%ED%95%9C%EA%B8%80.txt HTTP/1.1");
    EXPECT_EQ(firstLine(BuildDownloadRequest(L"/ok\r\nX-Injected: yes", L"h", 80, L"")),
              L"GET /ok%0D%0AX-Injected:%20yes HTTP/1.1");
}

TEST_F(DownloadEngineTest, RequestsGoOutAsWrittenAndFilesArriveWhole) {
    std::string h1 = Serve("files/a b.txt", Bytes(70000, 1));
    std::string h2 = Serve("files/한글 문서.bin", Bytes(8192 * 3, 2));
    std::string h3 = Serve("files/empty.dat", "");
    cookies.cookies[Settings().downloadHostUrl] = L"sid=abc; lang=ko";
    Queue(L"/files/a b.txt", L"a b.txt", 70000);
    Queue(L"/files/한글 문서.bin", L"한글 문서.bin", 8192 * 3);
    Queue(L"/files/empty.dat", L"empty.dat", 0);
    TestDialog& dialog = Run();
    int port = server->port();
    EXPECT_EQ(server->Recorded(1), ExpectedRequest("/files/a%20b.txt", port, "sid=abc; lang=ko"));
    EXPECT_EQ(server->Recorded(2),
              ExpectedRequest("/files/%ED%95%9C%EA%B8%80%20%EB%AC%B8%EC%84%9C.bin", port, "sid=abc; lang=ko"));
    EXPECT_EQ(SavedHash("a b.txt"), h1);
    EXPECT_EQ(SavedHash("한글 문서.bin"), h2);
    ASSERT_TRUE(fs::exists(Saved("empty.dat")));
    EXPECT_EQ(fs::file_size(Saved("empty.dat")), 0u);
    EXPECT_EQ(SavedHash("empty.dat"), h3);
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>(3, L"완 료")));
    for (auto& e : state->Entries()) EXPECT_EQ(e.state, DownloadEntry::Done);
    // A run without problems ends without a message.
    EXPECT_TRUE(dialog.view.messages.shown.empty());
    EXPECT_EQ(dialog.view.Text(IdcDnCancelButton), L"종 료");
    EXPECT_FALSE(dialog.view.Enabled(IdcDnDeleteButton));
    // Start again fetches what is queued later.
    EXPECT_TRUE(dialog.view.Enabled(IdcDnStartButton));
    EXPECT_EQ(dialog.view.Progress(IdcDnTotalProgress), 100);
    Close();

    // Without a cookie the head ends right after the last fixed line.
    cookies.cookies.clear();
    Queue(L"/files/a b.txt", L"again.txt", 70000);
    Run();
    // The server may still be writing down the last request it answered.
    std::string expected = ExpectedRequest("/files/a%20b.txt", port, "");
    WaitFor([&] { return server->Recorded(4) == expected; }, 2000);
    EXPECT_EQ(server->Recorded(4), expected);
    EXPECT_EQ(SavedHash("again.txt"), h1);
    Close();
}

TEST_F(DownloadEngineTest, WholeBodyInTheFirstReadIsWrittenWithoutAnotherReceive) {
    Fault("rawreply=" + Escape("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") + "&target=download&count=1");
    Queue(L"/x", L"first-read.txt", 5);
    TestDialog& dialog = Run();
    EXPECT_EQ(ReadWholeFile(Saved("first-read.txt").string()), "hello");
    EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>{L"완 료"});
    Close();
}

TEST_F(DownloadEngineTest, FailedRepliesLeaveNoFileAndOneSummaryLineEach) {
    Serve("ok.bin", Bytes(1000, 4));
    std::string h = Serve("fine.bin", Bytes(5000, 5));
    Queue(L"/missing.bin", L"missing.bin", 10);
    Queue(L"/fine.bin", L"fine.bin", 5000);
    Queue(L"/ok.bin", L"../escape.bin", 10);
    TestDialog& dialog = Run();
    EXPECT_EQ(Summary(dialog), L"0. missing.bin -> 404 not found\r\n2. ../escape.bin -> 파일생성실패\r\n");
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"실 패", L"완 료", L"실 패"}));
    EXPECT_EQ(SavedHash("fine.bin"), h);
    EXPECT_FALSE(fs::exists(Saved("missing.bin")));
    Close();

    EXPECT_EQ(RunOne(L"/ok.bin", L"server.bin", "status=500%20Internal%20Server%20Error"),
              L"0. server.bin -> 500 internal server error\r\n");
    EXPECT_EQ(RunOne(L"/ok.bin", L"http10.bin", "status=HTTP/1.0%20200%20OK"), L"0. http10.bin -> http/1.0 200 ok\r\n");
    EXPECT_EQ(RunOne(L"/ok.bin", L"nolength.bin", "nolength=1"), L"0. nolength.bin -> Can not take Content-Length\r\n");
    EXPECT_EQ(RunOne(L"/ok.bin", L"chunked.bin", "chunked=1"), L"0. chunked.bin -> Can not take Content-Length\r\n");
    for (auto name : {"missing.bin", "server.bin", "http10.bin", "nolength.bin", "chunked.bin"})
        EXPECT_FALSE(fs::exists(Saved(name))) << name;
}

TEST_F(DownloadEngineTest, CutShortRepliesFailAndLeaveNothingBehind) {
    Serve("big.bin", Bytes(100000, 6));
    // The connection closes after part of the announced body, every try
    // (each from byte 0: the server gives nothing to resume by).
    EXPECT_EQ(RunOne(L"/big.bin", L"cut.bin", "close_after=30000&validators=0"), L"0. cut.bin -> SOCKET ERROR\r\n");
    EXPECT_FALSE(fs::exists(Saved("cut.bin")));
    // More announced than there is.
    EXPECT_EQ(RunOne(L"/big.bin", L"long.bin", "length=200000"), L"0. long.bin -> SOCKET ERROR\r\n");
    EXPECT_FALSE(fs::exists(Saved("long.bin")));
    // Closed before the header was complete.
    EXPECT_EQ(RunOne(L"/big.bin", L"nohead.bin", "rawreply=" + Escape("HTTP/1.1 200 OK\r\nContent-Le")),
              L"0. nohead.bin -> SOCKET ERROR\r\n");
    // A header that does not fit the buffer.
    std::string longHeader = "HTTP/1.1 200 OK\r\nX-Filler: " + std::string(9000, 'a') + "\r\nContent-Length: 1\r\n\r\nz";
    EXPECT_EQ(RunOne(L"/big.bin", L"overlong.bin", "rawreply=" + Escape(longHeader)),
              L"0. overlong.bin -> SOCKET ERROR\r\n");
    EXPECT_FALSE(fs::exists(Saved("overlong.bin")));
}

TEST_F(DownloadEngineTest, HostsThatCannotBeReachedFailEveryEntry) {
    Settings().downloadHostUrl = L"http://no-such-host.invalid/";
    Queue(L"/a", L"a.bin");
    Queue(L"/b", L"b.bin");
    TestDialog& dialog = Run();
    EXPECT_EQ(Summary(dialog), L"0. a.bin -> Socket Connect Error\r\n1. b.bin -> Socket Connect Error\r\n");
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"실 패", L"실 패"}));
    Close();

    // A port nobody listens on.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
    int closedPort = ntohs(sin.sin_port);
    ::close(fd);
    Settings().downloadHostUrl = FormatText(L"http://127.0.0.1:%d/", closedPort);
    Queue(L"/a", L"c.bin");
    EXPECT_EQ(Summary(Run()), L"0. c.bin -> Socket Connect Error\r\n");
    Close();

    // Host URLs the client must not use, though the server is there, and
    // https to a server of plain HTTP: its handshake fails before any request.
    for (const wchar_t* form : {L"https://127.0.0.1:%d/", L"http://127.0.0.1:%d/\r\nX: 1", L"http://127.0.0.1:%d9/"}) {
        Settings().downloadHostUrl = FormatText(form, server->port());
        Queue(L"/a", L"d.bin");
        EXPECT_EQ(Summary(Run()), L"0. d.bin -> Socket Connect Error\r\n");
        Close();
    }
    EXPECT_EQ(server->RecordedCount(), 0);
}

TEST_F(DownloadEngineTest, NamesStayInsideTheSaveFolder) {
    std::string h = Serve("f.bin", Bytes(2000, 7));
    const std::vector<std::wstring> bad = {L"../up.bin", L"/abs.bin", L"\\abs2.bin", L"C:\\drive.bin",
                                           L"sub\\..\\..\\up2.bin", L"sub/../../up3.bin", L".."};
    for (auto& name : bad) Queue(L"/f.bin", name, 2000);
    Queue(L"/f.bin", L"sub\\inner.bin", 2000);
    Queue(L"/f.bin", L"sub2/deeper/inner.bin", 2000);
    Queue(L"/f.bin", L"folder-only\\", 0);
    TestDialog& dialog = Run();
    EXPECT_EQ(Summary(dialog), RefusedLines(bad));
    EXPECT_EQ(SavedHash("sub/inner.bin"), h);
    EXPECT_EQ(SavedHash("sub2/deeper/inner.bin"), h);
    EXPECT_TRUE(fs::is_directory(Saved("folder-only")));
    // Only the two files inside were requested; the folder needs no request.
    EXPECT_EQ(server->RecordedCount(), 2);
    EXPECT_FALSE(fs::exists(save.path().parent_path() / "up.bin"));
    auto statuses = Statuses(dialog);
    EXPECT_EQ(statuses.back(), L"완 료");
    Close();
}

TEST_F(DownloadEngineTest, MissingSaveFolderStopsBeforeAnyRequest) {
    store.values[L"DownSavePath"] = save.wpath();
    Queue(L"/a", L"a.bin");
    TestDialog& dialog = Open();
    state->SetSaveFolder(save.wpath() + L"/vanished");
    state->StartRun();
    state->WaitRunFinished();
    ASSERT_EQ(dialog.view.messages.shown.size(), 1u);
    EXPECT_EQ(dialog.view.messages.shown[0].text, L"경로에러");
    EXPECT_EQ(server->RecordedCount(), 0);
    // Still closable.
    Close();
    EXPECT_TRUE(dialog.closed);
}

TEST_F(DownloadEngineTest, EntriesAddedDuringARunAreMergedAndFetched) {
    std::string h1 = Serve("slow.bin", Bytes(400000, 8));
    std::string h2 = Serve("late.bin", Bytes(3000, 9));
    // Held part-way: the additions come while the run is surely going on.
    Fault("hold=200000&target=download&count=1");
    Queue(L"/slow.bin", L"slow.bin", 400000);
    TestDialog& dialog = Open();
    state->StartRun();
    EXPECT_EQ(state->AddDownloadFile(L"/late.bin", L"late.bin", 3000, 1), 0);
    // A name already queued, or waiting to be merged, is refused while the
    // dialog is open.
    EXPECT_EQ(state->AddDownloadFile(L"/slow.bin", L"slow.bin", 1, 1), -1);
    EXPECT_EQ(state->AddDownloadFile(L"/late.bin", L"late.bin", 3000, 1), -1);
    server->Get("/__release");
    state->WaitRunFinished();
    EXPECT_GE(dialog.merges, 1);
    EXPECT_EQ(state->Snapshot().entryCount, 2);
    EXPECT_EQ(SavedHash("slow.bin"), h1);
    EXPECT_EQ(SavedHash("late.bin"), h2);
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"완 료", L"완 료"}));
    EXPECT_EQ(dialog.view.Text(IdcDnTotalSizeLabel), L" / " + FormatSize(403000));
    Close();
}

TEST_F(DownloadEngineTest, FilesQueuedAfterARunAreFetchedByTheNextStartOnly) {
    Serve("one.bin", Bytes(5000, 11));
    std::string h2 = Serve("two.bin", Bytes(7000, 12));
    Queue(L"/one.bin", L"one.bin", 5000);
    TestDialog& dialog = Run();
    EXPECT_EQ(state->AddDownloadFile(L"/one.bin", L"one.bin", 5000, 1), -1);
    EXPECT_EQ(state->AddDownloadFile(L"/two.bin", L"two.bin", 7000, 1), 0);
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"완 료", L"대 기"}));
    fs::remove(Saved("one.bin"));
    state->StartRun();
    state->WaitRunFinished();
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"완 료", L"완 료"}));
    EXPECT_EQ(SavedHash("two.bin"), h2);
    // The row fetched before is not fetched again.
    EXPECT_FALSE(fs::exists(Saved("one.bin")));
    EXPECT_EQ(server->RecordedCount(), 2);
    EXPECT_TRUE(dialog.view.messages.shown.empty());
    Close();
}

TEST_F(DownloadEngineTest, AnAdditionAtTheVeryEndOfARunStillGetsItsRow) {
    // The page adds a file while the worker is finishing: after its last
    // check of the queue, before the run counts as over.
    struct LateView : RecordingView {
        DownloadState* state = nullptr;
        void SetText(int id, const std::wstring& text) override {
            RecordingView::SetText(id, text);
            if (id == IdcDnCancelButton && text == L"종 료") state->AddDownloadFile(L"/late.bin", L"late.bin", 7, 1);
        }
    };
    struct LateDialog : DownloadDialog {
        LateView view;
        DownloadView& View() override { return view; }
    };
    struct LateFactory : DownloadDialogFactory {
        std::shared_ptr<LateDialog> last;
        std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls& s) override {
            last = std::make_shared<LateDialog>();
            last->view.state = static_cast<DownloadState*>(&s);
            return last;
        }
    } lateFactory;
    Serve("a.bin", Bytes(100, 16));
    DownloadPlatform platform;
    platform.engine = TestEngine();
    platform.store = &store;
    platform.dialogFactory = &lateFactory;
    state = std::make_unique<DownloadState>(platform);
    Queue(L"/a.bin", L"a.bin", 100);
    state->DownloadStart();
    state->StartRun();
    state->WaitRunFinished();
    auto rows = lateFactory.last->view.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].name, L"late.bin");
    EXPECT_EQ(rows[1].status, L"대 기");
    EXPECT_TRUE(state->PendingEntries().empty());
    ASSERT_EQ(state->Entries().size(), 2u);
    EXPECT_EQ(state->Entries()[1].listIndex, 1);
    Close();
}

TEST_F(DownloadEngineTest, DeletingDuringARunDropsWaitingRowsAndTheOneBeingFetched) {
    Serve("slow.bin", Bytes(2000000, 10));
    std::string hb = Serve("b.bin", Bytes(5000, 11));
    std::string hd = Serve("d.bin", Bytes(6000, 12));
    // Held part-way until the delete ends it.
    Fault("rate=1000000&hold=500000&target=download&count=1");
    Queue(L"/slow.bin", L"a.bin", 2000000);
    Queue(L"/b.bin", L"b.bin", 5000);
    Queue(L"/b.bin", L"c.bin", 5000);
    Queue(L"/d.bin", L"d.bin", 6000);
    TestDialog& dialog = Open();
    state->StartRun();
    ASSERT_TRUE(WaitFor([&] { return dialog.view.ProgressSets(IdcDnFileProgress) > 3; }));
    dialog.view.Select({0, 2});
    state->DeleteButton(dialog.view);
    state->WaitRunFinished();
    EXPECT_FALSE(fs::exists(Saved("a.bin")));
    EXPECT_FALSE(fs::exists(Saved("c.bin")));
    EXPECT_EQ(SavedHash("b.bin"), hb);
    EXPECT_EQ(SavedHash("d.bin"), hd);
    auto rows = dialog.view.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, L"b.bin");
    EXPECT_EQ(rows[1].name, L"d.bin");
    EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"완 료", L"완 료"}));
    EXPECT_DOUBLE_EQ(state->TotalBytes(), 11000);
    EXPECT_TRUE(dialog.view.messages.shown.empty());
    Close();
}

TEST_F(DownloadEngineTest, CancelAsksWhetherToDeleteThePartialFile) {
    Serve("slow.bin", Bytes(2000000, 13));
    Serve("next.bin", Bytes(100, 14));
    for (MessageAnswer answer : {IdYes, IdNo}) {
        Fault("rate=1000000&hold=500000&target=download&count=1");
        Queue(L"/slow.bin", L"slow.bin", 2000000);
        Queue(L"/next.bin", L"next.bin", 100);
        TestDialog& dialog = Open();
        dialog.view.messages.answers.push_back(answer);
        state->StartRun();
        ASSERT_TRUE(WaitFor([&] { return dialog.view.ProgressSets(IdcDnFileProgress) > 3; }));
        state->CancelOrClose();
        state->WaitRunFinished();
        auto& shown = dialog.view.messages.shown;
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].text, L"현재 다운로드중인 파일을 삭제 하시겠습니까?");
        EXPECT_EQ(shown[0].caption, L"Download Cancel");
        EXPECT_EQ(shown[0].style, static_cast<unsigned>(MbYesNo));
        EXPECT_EQ(shown[1].text, L"다운로드가 취소 되었습니다.");
        EXPECT_EQ(shown[1].style, static_cast<unsigned>(MbOk | MbIconStop));
        EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"취 소", L"취 소"}));
        EXPECT_EQ(fs::exists(Saved("slow.bin")), answer == IdNo);
        if (answer == IdNo) {
            // The counters tell what the kept file holds, not their last sample.
            std::wstring kept = FormatSize(static_cast<double>(fs::file_size(Saved("slow.bin"))));
            EXPECT_EQ(dialog.view.Text(IdcDnFileBytesLabel), kept);
            EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), kept);
        }
        EXPECT_FALSE(fs::exists(Saved("next.bin")));
        EXPECT_EQ(dialog.view.Text(IdcDnCancelButton), L"종 료");
        // After the run the same button closes the dialog.
        Close();
        EXPECT_TRUE(dialog.closed);
        fs::remove(Saved("slow.bin"));
    }
}

// The platform's network, telling how far a connection got.
struct StagedNetwork : Network {
    std::atomic<int> connects{0}, handshakes{0};
    bool Resolve(const std::string& host, std::vector<NetAddress>& addresses) override {
        return PlatformNetwork().Resolve(host, addresses);
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        return PlatformNetwork().Connect(address, port);
    }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        ++connects;
        return PlatformNetwork().BeginConnect(address, port);
    }
    std::unique_ptr<TlsSession> StartTls(const std::string& host) override {
        ++handshakes;
        return PlatformNetwork().StartTls(host);
    }
};

TEST_F(DownloadEngineTest, CancelEndsAConnectionOrHandshakeNobodyAnswers) {
    StagedNetwork staged;
    network = &staged;
    MakeState();
    FullBacklogPort unanswered;  // the connection never completes
    SilentPort silent;           // it completes, the handshake never does
    for (bool handshake : {false, true}) {
        Settings().downloadHostUrl =
            FormatText(L"https://127.0.0.1:%d/", handshake ? silent.port() : unanswered.port());
        Queue(L"/a", L"a.bin");
        Queue(L"/b", L"b.bin");
        TestDialog& dialog = Open();
        state->StartRun();
        std::atomic<int>& stage = handshake ? staged.handshakes : staged.connects;
        ASSERT_TRUE(WaitFor([&] { return stage.load() > 0; }));
        state->CancelOrClose();
        state->WaitRunFinished();
        // Cancelled, not failed at the end of the connect time-out.
        EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>{L"취 소", L"취 소"}));
        EXPECT_EQ(dialog.view.messages.shown.back().text, L"다운로드가 취소 되었습니다.");
        Close();
    }
}

// A server that holds the body part-way: within an interval the dialog
// shows exactly the bytes that came, and after 2 s the speed reads zero and
// the time left is not known, for as long as nothing comes.
TEST_F(DownloadEngineTest, AStalledBodyShowsWhatCameAndNoSpeed) {
    const size_t size = 4u << 20;
    std::string h = Serve("held.bin", Bytes(size, 3));
    ASSERT_EQ(Fault("hold=65536&target=download&count=1"), "ok");
    Queue(L"/held.bin", L"held.bin", size);
    TestDialog& dialog = Open();
    state->StartRun();
    // Zero speed comes only after 2 s without a byte, and stays.
    ASSERT_TRUE(WaitFor([&] { return dialog.view.Text(IdcDnSpeedLabel) == FormatSize(0); }));
    EXPECT_EQ(dialog.view.Text(IdcDnFileBytesLabel), L"64.00KB");
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), L"64.00KB");
    EXPECT_EQ(dialog.view.Progress(IdcDnFileProgress), 1);
    EXPECT_EQ(dialog.view.Progress(IdcDnTotalProgress), 1);
    EXPECT_EQ(dialog.view.Text(IdcDnTimeLeftLabel), L"...");
    EXPECT_EQ(server->Get("/__release"), "ok");
    state->WaitRunFinished();
    EXPECT_EQ(SavedHash("held.bin"), h);
    EXPECT_EQ(dialog.view.Text(IdcDnFileBytesLabel), L"4.00MB");
    EXPECT_EQ(dialog.view.Progress(IdcDnTotalProgress), 100);
    Close();
}

TEST_F(DownloadEngineTest, BarsAndLabelsArePacedAndExactAtTheEnd) {
    SteppingClock stepping(20);
    clock = &stepping;
    MakeState();
    const size_t size = 16u << 20;
    std::string h = Serve("big.bin", Bytes(size, 15));
    Queue(L"/big.bin", L"big.bin", size);
    uint32_t start = stepping.Peek();
    TestDialog& dialog = Run();
    uint32_t elapsed = stepping.Peek() - start;
    EXPECT_EQ(SavedHash("big.bin"), h);
    // Bars every 100 ms of clock time, counters only every 500 ms.
    int barSets = dialog.view.ProgressSets(IdcDnFileProgress);
    EXPECT_GE(barSets, 3);
    EXPECT_LE(barSets, static_cast<int>(elapsed / 100) + 3);
    int speedSets = dialog.view.TextSets(IdcDnSpeedLabel);
    EXPECT_GE(speedSets, 3);
    EXPECT_LE(speedSets, static_cast<int>(elapsed / 500) + 2);
    // Besides: once at the file's end and once at the run's.
    EXPECT_LE(dialog.view.TextSets(IdcDnTimeLeftLabel), static_cast<int>(elapsed / 500) + 3);
    // Every counter exact at the end, whatever the throttle held back.
    EXPECT_EQ(dialog.view.Text(IdcDnTimeLeftLabel), L"0초");
    EXPECT_EQ(dialog.view.Text(IdcDnFileBytesLabel), FormatSize(size));
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), FormatSize(size));
    EXPECT_EQ(dialog.view.Progress(IdcDnFileProgress), 100);
    EXPECT_EQ(dialog.view.Progress(IdcDnTotalProgress), 100);
    Close();
    clock = nullptr;
}
