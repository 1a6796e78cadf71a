// Every way the reference server can misbehave towards an upload or an
// exists check, one row each, over plain HTTP and over https to [::1]: how
// the run ends, what the rows, the log and the message boxes say, and what
// the server keeps.
// Cases with tests of their own in upload_engine_test.cpp are not repeated
// (continue_split, continue_status, continue_then with a refusal, split,
// refusals in plain and chunked replies, the exists check's status 500 and
// close_after=0), except the silent servers, which are here for their
// time-out. The last rows spoil the local disk instead of the server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <tuple>

#include "common/utf8.h"
#include "tests/support/certificate_cases.h"
#include "tests/support/faulty_files.h"
#include "upload_test_support.h"

using namespace parvex;
using namespace parvex::testing;
namespace fs = std::filesystem;

namespace {

enum class Ends {
    Done,     // one run, the file accepted
    Rerun,    // the first run fails the file with a log line, the re-run sends it
    Refused,  // the server's answer ends the upload: one box, result 0
    Changed,  // the file changed while it was sent: it fails in every run and is never sent again
    Failed,   // every run fails the file with a log line, then the user gives up
};

enum UploadFlag {
    FlagExpect = 1,    // the request waits for "100 continue"
    FlagCheck = 2,     // the name is checked on the server first
    FlagOld = 4,       // the server holds an old file of that name
    FlagSilent = 8,    // only the silent-server time-out ends the first run
    FlagBig = 16,      // a file larger than the connection's buffers
    FlagUnstored = 32,  // the server never got the whole body
    // While the body goes out, the local file
    FlagGrows = 64,      // grows,
    FlagShrinks = 128,   // shrinks,
    FlagReplaced = 256,  // or is replaced by another file.
};

struct UploadFault {
    const char* name;
    const char* fault;    // /__fault query; used up by the first request of its kind; "": none
    int flags;
    Ends ends;
    const wchar_t* said;  // Rerun: the tag of the first run's log line; Refused: the box
    int asked;            // same-file prompts shown (answered with overwrite)
    long goodReads = -1;  // reads of the local file before every later one fails; -1: all succeed
};

const std::wstring kUnknown =
    L"서버에서 알 수 없는 이유로 업로드가 실패하였습니다.\r\n문제가 계속된다면 서버관리자에게 문의하여 주십시오.";
const std::wstring kUnknown200 = L" " + kUnknown;
const std::wstring k404 = kUnknown + L"\r\n\r\nError : 404 not found";
const std::wstring k1200 = kUnknown + L"\r\n\r\nError : 1200 ok";
const std::wstring kNoStatus = kUnknown + L"\r\n\r\n 알수없는 오류";

const UploadFault kUploadFaults[] = {
    // Framing of an accepting reply.
    {"CloseDelimited", "nolength=1", 0, Ends::Done, nullptr, 0},
    {"Chunked", "chunked=1", 0, Ends::Done, nullptr, 0},
    {"UnaskedProcessing", "interim=102%20Processing", 0, Ends::Done, nullptr, 0},
    {"UnaskedContinue", "interim=100%20Continue", 0, Ends::Done, nullptr, 0},
    {"Http10", "status=HTTP/1.0%20200%20OK", 0, Ends::Done, nullptr, 0},
    {"LongHeadWithinTheCap", "bighead=20000", 0, Ends::Done, nullptr, 0},
    // The head with its empty line exactly 64 KiB: read whole, body and all.
    {"HeadAtTheCap", "bighead=65425", 0, Ends::Done, nullptr, 0},
    {"SlowReader", "rate=50000", 0, Ends::Done, nullptr, 0},
    // Refusals: the server handled the request, so it may hold the file.
    {"NotFound", "status=404%20Not%20Found", 0, Ends::Refused, k404.c_str(), 0},
    {"EmptyBody", "body=", 0, Ends::Refused, kUnknown200.c_str(), 0},
    {"RefusalText", "body=%3Cb%3Equota%3C/b%3E%20exceeded%3Cbr%20/%3E", 0, Ends::Refused, L"quota exceeded\r\n", 0},
    {"CloseDelimitedRefusal", "nolength=1&body=over%20quota", 0, Ends::Refused, L"over quota", 0},
    {"LengthTooSmall", "rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%203%0D%0A%0D%0A|TS_UP_OK|", 0,
     Ends::Refused, L"|TS", 0},
    // "1200" is no status 200, whatever follows it.
    {"FourDigitStatus", "status=1200%20OK", 0, Ends::Refused, k1200.c_str(), 0},
    // A head past 64 KiB (70 kB, or 3 MB as 100,000 cookies make) is an
    // answer, but one that says nothing: a refusal, never a reason to send again.
    {"HeadBeyondTheCap", "bighead=70000", 0, Ends::Refused, kNoStatus.c_str(), 0},
    {"HeadOfMegabytes", "bighead=3000000", 0, Ends::Refused, kNoStatus.c_str(), 0},
    // An acceptance before the file went out cannot be true.
    {"AcceptedBeforeTheBody",
     "continue_then=HTTP/1.1%20200%20OK%0D%0AContent-Length:%2010%0D%0A%0D%0A|TS_UP_OK|", FlagExpect | FlagUnstored,
     Ends::Refused, kUnknown200.c_str(), 0},
    // No whole answer: the file is sent again.
    {"LengthTooLarge", "rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%2099%0D%0A%0D%0A|TS_UP_OK|", 0,
     Ends::Rerun, L"네트워크 에러", 0},
    {"ClosedAfterTheHead", "close_after=0", 0, Ends::Rerun, L"네트워크 에러", 0},
    {"ClosedBeforeContinue", "close_after=0", FlagExpect, Ends::Rerun, L"네트워크 에러", 0},
    {"ClosedMidBody", "close_after=2000", 0, Ends::Rerun, L"네트워크 에러", 0},
    // Over TLS without the server's goodbye (over plain HTTP the same cut).
    {"CutMidBody", "cut_after=2000", 0, Ends::Rerun, L"네트워크 에러", 0},
    {"ClosedAfterTheBody", "rawreply=", 0, Ends::Rerun, L"네트워크 에러", 0},
    // A file that changes while the server reads it is never finished:
    // without its closing boundary the server keeps nothing.
    {"FileGrowsMidBody", "rate=20000000", FlagBig | FlagGrows | FlagUnstored, Ends::Changed, L"네트워크 에러", 0},
    {"FileShrinksMidBody", "rate=20000000", FlagBig | FlagShrinks | FlagUnstored, Ends::Changed, L"네트워크 에러",
     0},
    {"FileReplacedMidBody", "rate=20000000", FlagBig | FlagReplaced | FlagUnstored, Ends::Changed,
     L"네트워크 에러", 0},
    {"ContinueWithheld", "continue=0", FlagExpect, Ends::Done, nullptr, 0},
    {"Stalls", "stall=1", FlagSilent, Ends::Rerun, L"네트워크 에러", 0},
    {"StopsReading", "stop_reading=1000", FlagSilent | FlagBig, Ends::Rerun, L"네트워크 에러", 0},
    // The exists check.
    {"Exists", "exists=1", FlagCheck, Ends::Done, nullptr, 1},
    {"DoesNotExist", "exists=0", FlagCheck | FlagOld, Ends::Done, nullptr, 0},
    {"ExistsChunked", "chunked=1&exists=1&target=exists", FlagCheck, Ends::Done, nullptr, 1},
    {"ExistsCloseDelimited", "nolength=1&exists=1&target=exists", FlagCheck, Ends::Done, nullptr, 1},
    {"ExistsSplit", "split=200&exists=1&target=exists", FlagCheck, Ends::Done, nullptr, 1},
    {"ExistsAfterProcessing", "interim=102%20Processing&exists=1&target=exists", FlagCheck, Ends::Done, nullptr, 1},
    {"ExistsHttp10NotExamined", "status=HTTP/1.0%20500%20Oops&exists=1&target=exists", FlagCheck, Ends::Done, nullptr,
     1},
    {"ExistsLengthTooSmall", "rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%200%0D%0A%0D%0A1&target=exists",
     FlagCheck | FlagOld, Ends::Done, nullptr, 0},
    {"ExistsSlowReader", "rate=2000&target=exists", FlagCheck | FlagOld, Ends::Done, nullptr, 1},
    {"ExistsLengthTooLarge", "rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%209%0D%0A%0D%0A1&target=exists",
     FlagCheck | FlagOld, Ends::Rerun, L"SOCKET ERROR", 1},
    // An answer that cannot be read is no answer about the name.
    {"ExistsHeadBeyondTheCap", "bighead=70000&target=exists", FlagCheck, Ends::Rerun, L"서버파일 체크오류", 0},
    {"ExistsFourDigitStatus", "status=2000%20OK&exists=1&target=exists", FlagCheck, Ends::Rerun, L"서버파일 체크오류",
     0},
    {"ExistsClosedMidBody", "close_after=10&target=exists", FlagCheck, Ends::Rerun, L"SOCKET ERROR", 0},
    {"ExistsStalls", "stall=1&target=exists", FlagCheck | FlagSilent, Ends::Rerun, L"SOCKET ERROR", 0},
    {"ExistsStopsReading", "stop_reading=0&target=exists", FlagCheck | FlagSilent, Ends::Rerun, L"SOCKET ERROR", 0},
    // The disk stops reading after the first block, or right at the end of
    // the file: the request is never completed, so the server keeps nothing.
    {"ReadFailsMidFile", "", FlagBig | FlagUnstored, Ends::Failed, L"네트워크 에러", 0, 1},
    {"ReadFailsAtTheEnd", "", FlagUnstored, Ends::Failed, L"네트워크 에러", 0, 1},
};

constexpr uint32_t kShortTimeoutMs = 300;

// Names in a folder.
std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> out;
    for (auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
}

// Changes the local file once the body is on its way (after the head, the
// parts and a few blocks have gone out).
void ChangeMidBody(UploadHarness& h, int flags) {
    if (!(flags & (FlagGrows | FlagShrinks | FlagReplaced))) return;
    fs::path local = h.dir.path() / "f.bin";
    auto sends = std::make_shared<int>(0);
    h.network.onSend = [local, flags, sends](size_t) {
        if (++*sends != 12) return;
        if (flags & FlagGrows) std::ofstream(local, std::ios::binary | std::ios::app) << std::string(100000, 'g');
        if (flags & FlagShrinks) fs::resize_file(local, 100);
        if (flags & FlagReplaced) {
            std::ofstream(local.string() + ".new", std::ios::binary) << "another file";
            fs::rename(local.string() + ".new", local);
        }
    };
}

// One server for each wire, kept for the whole suite.
class UploadFaultMatrix : public ::testing::TestWithParam<std::tuple<UploadFault, Wire>> {
protected:
    static void TearDownTestSuite() {
        for (auto& server : servers_) server.reset();
    }
    void SetUp() override {
        std::unique_ptr<MailServerProcess>& server = servers_[static_cast<int>(wire())];
        if (!server) server = std::make_unique<MailServerProcess>(WireOptions(wire()));
        server->Get("/__reset");
        for (auto& e : fs::directory_iterator(server->storeDir())) fs::remove_all(e.path());
    }
    Wire wire() const { return std::get<1>(GetParam()); }
    MailServerProcess& server() { return *servers_[static_cast<int>(wire())]; }
    static std::unique_ptr<MailServerProcess> servers_[2];
};
std::unique_ptr<MailServerProcess> UploadFaultMatrix::servers_[2];

}  // namespace

TEST_P(UploadFaultMatrix, Outcome) {
    const UploadFault& c = std::get<0>(GetParam());
    MailServerProcess& server = this->server();
    UploadHarness h(server);
    h.settings.uploadUrl = UploadHarness::Widen(server.Url("/upload", WireHost(wire())));
    h.settings.expectContinue = (c.flags & FlagExpect) ? 1 : 0;
    if (c.flags & FlagSilent) h.timeoutMs = kShortTimeoutMs;
    if (c.flags & FlagCheck) h.settings.existUrl = L"http://x/exists";
    if (c.flags & FlagOld) std::ofstream(server.storeDir() + "/f.bin") << "old";
    h.prompts.same = {{IdOk, UploadSameOverwrite, L"", false, nullptr}};
    const std::string bytes = Bytes((c.flags & FlagBig) ? 8u << 20 : 5000, 41);
    h.Add(L"f.bin", bytes);
    ChangeMidBody(h, c.flags);
    FaultyFiles disk;
    disk.reads.FailAfter(c.goodReads);
    h.files = &disk;
    if (*c.fault) {
        ASSERT_EQ(server.Get(std::string("/__fault?") + c.fault + "&count=1"), "ok");
    }

    auto start = std::chrono::steady_clock::now();
    int result = h.Start();
    auto took = std::chrono::steady_clock::now() - start;

    bool accepted = c.ends == Ends::Done || c.ends == Ends::Rerun;
    bool failsEveryRun = c.ends == Ends::Changed || c.ends == Ends::Failed;
    EXPECT_EQ(result, accepted ? 1 : 0);
    EXPECT_EQ(h.view.runs(), c.ends == Ends::Rerun ? 2 : failsEveryRun ? 4 : 1);
    EXPECT_EQ(h.prompts.askedSame.size(), static_cast<size_t>(c.asked));
    auto rows = h.view.finalRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back()[0], accepted ? L"완 료" : L"실 패");
    if (c.ends == Ends::Rerun || failsEveryRun) {
        EXPECT_EQ(rows[0][0], L"실 패");
        // The check's line names the local path.
        std::wstring log = h.view.logs()[0], tail = L"f.bin] => [" + std::wstring(c.said) + L"]\r\n";
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), tail.size())), tail) << ToUtf8(log);
        // A receive that failed outright may say so; nothing else is shown.
        for (auto& box : h.dialogBoxes.shown)
            EXPECT_TRUE(box.text == L"error" || box.text == L"header send error") << ToUtf8(box.text);
    } else if (c.ends == Ends::Refused) {
        ASSERT_EQ(h.dialogBoxes.Count(), 1u);
        EXPECT_EQ(h.dialogBoxes.shown[0].text, c.said);
        EXPECT_EQ(h.dialogBoxes.shown[0].caption, L"Upload Fail");
        EXPECT_EQ(h.view.logs()[0], L"");
    } else {
        EXPECT_EQ(h.dialogBoxes.Count(), 0u);
    }
    // After three re-runs the user is asked whether to go on (and says no).
    EXPECT_EQ(h.controlBoxes.Count(), failsEveryRun ? 1u : 0u);
    EXPECT_TRUE(h.list.entries.empty());
    if (c.goodReads >= 0) {
        EXPECT_EQ(disk.reads.Failed(), 4);
    }

    // Each cut request is turned down by the server once it has read what
    // came; only then is its unfinished file gone from the store.
    if (c.ends == Ends::Failed) {
        EXPECT_TRUE(WaitFor([&] { return server.Get("/__stats").find(" bad=4") != std::string::npos; }));
    }
    // A changed file is sent once and cut; later runs fail it before sending.
    if (c.ends == Ends::Changed) {
        EXPECT_TRUE(WaitFor([&] { return server.Get("/__stats").find(" bad=1") != std::string::npos; }));
    }
    // A failed check never sent the file; a failed upload was sent again.
    int uploads = c.ends == Ends::Failed ? 4 : c.ends == Ends::Rerun && !(c.flags & FlagCheck) ? 2 : 1;
    EXPECT_EQ(server.Get("/__stats").substr(0, 9), "uploads=" + std::to_string(uploads));
    if (c.flags & FlagUnstored) {
        EXPECT_TRUE(Listing(server.storeDir()).empty());
    } else {
        EXPECT_EQ(Listing(server.storeDir()), (std::set<std::string>{"f.bin", "f.bin.fields"}));
        EXPECT_EQ(HashOfFile(server.storeDir() + "/f.bin"), HashOfBytes(bytes));
    }
    if (c.flags & FlagSilent) {
        // Ended by the time-out, not by a hang or another failure.
        EXPECT_GE(took, std::chrono::milliseconds(kShortTimeoutMs));
        EXPECT_LT(took, std::chrono::seconds(10));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, UploadFaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kUploadFaults),
                                            ::testing::Values(Wire::Plain, Wire::Tls)),
                         [](const ::testing::TestParamInfo<UploadFaultMatrix::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + WireName(std::get<1>(info.param));
                         });

// A server that cannot prove itself gets neither the exists check nor the
// file: each fails like a server that takes no connection.
class UploadCertificate : public ::testing::TestWithParam<CertificateCase> {};

TEST_P(UploadCertificate, OnlyAProvenServerIsSentAnything) {
    const CertificateCase& c = GetParam();
    MailServerProcess server(TlsServerOptions(c.certificate));
    const std::string bytes = Bytes(5000, 43);
    for (bool check : {false, true}) {
        fs::remove(server.storeDir() + "/f.bin");
        UploadHarness h(server);
        h.settings.uploadUrl = UploadHarness::Widen(server.Url("/upload", c.host));
        if (check) h.settings.existUrl = L"https://x/exists";
        h.Add(L"f.bin", bytes);
        TraceLines trace;
        const int result = h.Start();
        if (c.accepted) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(HashOfFile(server.storeDir() + "/f.bin"), HashOfBytes(bytes));
            continue;
        }
        EXPECT_EQ(result, 0);
        // Three attempts in each of four runs, then the user gives up.
        EXPECT_EQ(h.network.connects, 12);
        EXPECT_EQ(h.view.logs(), std::vector<std::wstring>(4, L"[f.bin] => [서버 연결 실패]\r\n"));
        EXPECT_EQ(h.controlBoxes.Count(), 1u);
        EXPECT_EQ(trace.Lines(), std::vector<std::wstring>(12, c.reason));
    }
    if (!c.accepted) ExpectNoRequestBytes(server);
}

INSTANTIATE_TEST_SUITE_P(Https, UploadCertificate, ::testing::ValuesIn(kCertificateCases), CertificateCaseName);
