// Every way the reference server can misbehave towards a download, one row
// each, over plain HTTP and over https to [::1], in every request. A run fetches the same file twice: once under a new name and once
// over an old file that the user agreed to overwrite; each row states the
// rows, the summary and what the save folder holds afterwards.
// Cases with tests of their own in download_engine_test.cpp and
// download_mends_test.cpp are not repeated: statuses 404 and 500, HTTP/1.0,
// chunked and close-delimited replies, close_after mid-body, a length larger
// than the file, a head cut short and rate with cancel, merge and delete.
// The continue, stop_reading and exists faults concern uploads only.
// The last rows spoil the save folder's disk instead of the server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <tuple>

#include "download_engine_fixture.h"
#include "tests/support/certificate_cases.h"
#include "tests/support/faulty_files.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

namespace {

enum class Kept {
    File,     // both names hold the served file
    Text,     // both names hold the given bytes
    Nothing,  // the new name is absent, the old file untouched
};

struct DownloadFault {
    const char* name;
    const char* fault;      // /__fault query, for both requests of the run; "": none
    Kept saved;
    const char* text;       // Kept::Text: the bytes saved
    const wchar_t* summary; // the end-of-run box; null: no box
    bool silent;            // only the silent-server time-out ends each entry
    long goodWrites = -1;   // writes to the disk before every later one fails; -1: all succeed
};

const wchar_t kNoLength[] = L"0. new.bin -> Can not take Content-Length\r\n1. old.bin -> Can not take Content-Length\r\n";

const DownloadFault kDownloadFaults[] = {
    {"Split", "split=200", Kept::File, nullptr, nullptr, false},
    {"SlowSender", "rate=100000", Kept::File, nullptr, nullptr, false},
    // The head's empty line falls across two of the engine's 512-byte reads.
    {"HeadEndAcrossTwoReads", "bighead=912", Kept::File, nullptr, nullptr, false},
    // What the server announces is what the file is.
    {"LengthTooSmall", "length=10", Kept::Text, "0123456789", nullptr, false},
    {"BodyInPlaceOfTheFile", "body=replaced", Kept::Text, "replaced", nullptr, false},
    {"ClosedAfterTheHead", "close_after=0", Kept::Nothing, nullptr,
     L"0. new.bin -> SOCKET ERROR\r\n1. old.bin -> SOCKET ERROR\r\n", false},
    // Over TLS without the server's goodbye (over plain HTTP a close): each
    // try brings 5000 more bytes, and the fourth completes the file.
    {"CutMidBody", "cut_after=5000", Kept::File, nullptr, nullptr, false},
    {"HeadBeyondTheBuffer", "bighead=9000", Kept::Nothing, nullptr,
     L"0. new.bin -> SOCKET ERROR\r\n1. old.bin -> SOCKET ERROR\r\n", false},
    {"Redirect", "status=301%20Moved%20Permanently", Kept::Nothing, nullptr,
     L"0. new.bin -> 301 moved permanently\r\n1. old.bin -> 301 moved permanently\r\n", false},
    // A status code is three digits and a space: "2000" is not 200.
    {"FourDigitStatus", "status=2000%20OK", Kept::Nothing, nullptr, L"0. new.bin -> 2000 ok\r\n1. old.bin -> 2000 ok\r\n",
     false},
    // Every line of the summary shows, whatever the server's text holds.
    {"StatusWithControls", "status=404%20Not%00Found%1B[2J", Kept::Nothing, nullptr,
     L"0. new.bin -> 404 not?found?[2j\r\n1. old.bin -> 404 not?found?[2j\r\n", false},
    // The first HTTP/1.1 line is the status, even an interim one.
    {"UnaskedInterim", "interim=102%20Processing", Kept::Nothing, nullptr,
     L"0. new.bin -> 102 processing\r\n1. old.bin -> 102 processing\r\n", false},
    // No length that counts the file's bytes.
    {"EmptyLength", "rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%0D%0A%0D%0Ahello", Kept::Nothing, nullptr,
     kNoLength, false},
    {"ConflictingLengths",
     "rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%203%0D%0AContent-Length:%205%0D%0A%0D%0Ahello",
     Kept::Nothing, nullptr, kNoLength, false},
    {"ChunkedWithALength",
     "rawreply=HTTP/1.1%20200%20OK%0D%0ATransfer-Encoding:%20chunked%0D%0AContent-Length:%2010%0D%0A%0D%0A"
     "5%0D%0Ahello%0D%0A0%0D%0A%0D%0A",
     Kept::Nothing, nullptr, kNoLength, false},
    {"Stalls", "stall=1", Kept::Nothing, nullptr, L"0. new.bin -> SOCKET ERROR\r\n1. old.bin -> SOCKET ERROR\r\n",
     true},
    // The disk is full by the time the received bytes are written (each file
    // here is one block): neither file is kept, nor a part of it.
    {"DiskFills", "", Kept::Nothing, nullptr, L"0. new.bin -> 파일생성실패\r\n1. old.bin -> 파일생성실패\r\n", false,
     0},
};

constexpr uint32_t kShortTimeoutMs = 300;

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> out;
    for (auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
}

struct DownloadFaultMatrix : DownloadEngineTest, ::testing::WithParamInterface<std::tuple<DownloadFault, Wire>> {
    FaultyFiles disk;  // outlives the state, which TearDown ends
    void SetUp() override {
        serverOptions = WireOptions(std::get<1>(GetParam()));
        serverHost = WireHost(std::get<1>(GetParam()));
        DownloadEngineTest::SetUp();
    }
};

}  // namespace

TEST_P(DownloadFaultMatrix, Outcome) {
    const DownloadFault& c = std::get<0>(GetParam());
    std::string served;
    for (int i = 0; i < 2000; ++i) served += "0123456789";
    Serve("f.bin", served);
    save.Write("old.bin", "old");
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "o"); };
    disk.writes.FailAfter(c.goodWrites);
    fs = &disk;
    MakeState();
    if (c.silent) state->SetSilentServerTimeout(kShortTimeoutMs);
    if (*c.fault) {
        // For every request: the first of each file and its retries.
        ASSERT_EQ(Fault(std::string(c.fault) + "&target=download"), "ok");
    }
    Queue(L"/f.bin", L"new.bin", 20000);
    Queue(L"/f.bin", L"old.bin", 20000);

    auto start = std::chrono::steady_clock::now();
    TestDialog& dialog = Run();
    auto took = std::chrono::steady_clock::now() - start;

    bool ok = c.saved != Kept::Nothing;
    EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>(2, ok ? L"완 료" : L"실 패"));
    EXPECT_EQ(same.runs, 1);
    if (c.summary) {
        ASSERT_EQ(dialog.view.messages.shown.size(), 1u);
        EXPECT_EQ(Summary(dialog), c.summary);
    } else {
        EXPECT_TRUE(dialog.view.messages.shown.empty());
    }
    // No temporary file is left, and a failed overwrite keeps the old file.
    std::string expected = c.saved == Kept::File ? served : c.saved == Kept::Text ? c.text : "old";
    EXPECT_EQ(ReadWholeFile(Saved("old.bin").string()), expected);
    if (ok) {
        EXPECT_EQ(ReadWholeFile(Saved("new.bin").string()), expected);
        EXPECT_EQ(Listing(save.path()), (std::set<std::string>{"new.bin", "old.bin"}));
    } else {
        EXPECT_EQ(Listing(save.path()), std::set<std::string>{"old.bin"});
    }
    if (c.goodWrites >= 0) {
        EXPECT_EQ(disk.writes.Failed(), 2);
    }
    if (c.silent) {
        // Each entry ended by the time-out, not by a hang or another failure.
        EXPECT_GE(took, std::chrono::milliseconds(2 * kShortTimeoutMs));
        EXPECT_LT(took, std::chrono::seconds(10));
    }
    Close();
}

INSTANTIATE_TEST_SUITE_P(Faults, DownloadFaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kDownloadFaults),
                                            ::testing::Values(Wire::Plain, Wire::Tls)),
                         [](const ::testing::TestParamInfo<DownloadFaultMatrix::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + WireName(std::get<1>(info.param));
                         });

// A server that cannot prove itself is asked for nothing: each entry fails
// like one whose server takes no connection.
struct DownloadCertificate : DownloadEngineTest, ::testing::WithParamInterface<CertificateCase> {
    void SetUp() override {
        serverOptions = TlsServerOptions(GetParam().certificate);
        serverHost = GetParam().host;
        DownloadEngineTest::SetUp();
    }
};

TEST_P(DownloadCertificate, OnlyAProvenServerIsAsked) {
    const CertificateCase& c = GetParam();
    const std::string hash = Serve("f.bin", std::string(30000, 'c'));
    Queue(L"/f.bin", L"a.bin", 30000);
    Queue(L"/f.bin", L"b.bin", 30000);
    TraceLines trace;
    TestDialog& dialog = Run();
    if (c.accepted) {
        EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>(2, L"완 료"));
        EXPECT_EQ(SavedHash("a.bin"), hash);
        EXPECT_EQ(SavedHash("b.bin"), hash);
    } else {
        EXPECT_EQ(Summary(dialog), L"0. a.bin -> Socket Connect Error\r\n1. b.bin -> Socket Connect Error\r\n");
        EXPECT_TRUE(Listing(save.path()).empty());
        EXPECT_EQ(trace.Lines(), std::vector<std::wstring>(2, c.reason));
        ExpectNoRequestBytes(*server);
    }
    Close();
}

INSTANTIATE_TEST_SUITE_P(Https, DownloadCertificate, ::testing::ValuesIn(kCertificateCases), CertificateCaseName);
