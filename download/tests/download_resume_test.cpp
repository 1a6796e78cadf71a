// Downloads that go on after a broken link: each retry asks for the rest
// with Range and If-Range and appends only what proves to be the rest of the
// same file; a part kept by one run is gone on with by the next. Against
// the reference server, and against nginx (its own Range and If-Range)
// behind the reference server's cutting relay. The final file is always
// checked by content: never one spliced from two versions.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "common/format.h"
#include "download/resume_rules.h"
#include "download_engine_fixture.h"
#include "tests/support/nginx_process.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;
namespace fs = std::filesystem;

namespace {

ReplyHead Head(const std::string& text) { return ReadReplyHead(text + "\r\n"); }

// The first byte a recorded request asked for; "" without a Range. A Range
// always comes with an If-Range naming a strong ETag.
std::string RangeAsked(const std::string& request) {
    size_t at = request.find("\r\nRange: bytes=");
    if (at == std::string::npos) return "";
    at += 15;
    EXPECT_NE(request.find("\r\nIf-Range: \""), std::string::npos) << request;
    return request.substr(at, request.find('-', at) - at);
}

// The version the change fault makes of a file: its first 64 KiB inverted.
std::string Changed(std::string bytes) {
    for (size_t i = 0; i < bytes.size() && i < 65536; ++i) bytes[i] = static_cast<char>(~bytes[i]);
    return bytes;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (fa && fb) {
        fa.read(x.data(), x.size());
        fb.read(y.data(), y.size());
        if (fa.gcount() != fb.gcount() || std::memcmp(x.data(), y.data(), fa.gcount()) != 0) return false;
    }
    return fa.eof() && fb.eof();
}

std::vector<std::string> Leftovers(const fs::path& folder) {
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator(folder)) {
        std::string ext = e.path().extension().string();
        if (ext == ".part" || ext == ".parvex") out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(ResumeRules, OnlyTheExactRestOfTheSameFileIsAppended) {
    ResumeBasis basis = ResumeBasisOf(Head("HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026"), 1000);
    EXPECT_EQ(RangeRequestLines(basis, 400), "Range: bytes=400-\r\nIf-Range: \"v1\"\r\n");
    // A weak tag proves nothing byte for byte: the date goes instead; with
    // neither there is nothing to resume by.
    EXPECT_EQ(ResumeBasisOf(Head("HTTP/1.1 200 OK\r\nETag: W/\"v1\"\r\nLast-Modified: Mon, 07 Dec 2026"), 9).validator,
              "Mon, 07 Dec 2026");
    EXPECT_FALSE(ResumeBasisOf(Head("HTTP/1.1 200 OK\r\nETag: W/\"v1\""), 9).Usable());

    auto judge = [&](const std::string& head) { return JudgeRangeReply(Head(head), 400, basis); };
    EXPECT_EQ(judge("HTTP/1.1 206 Partial\r\nContent-Range: bytes 400-999/1000\r\nContent-Length: 600"),
              RangeVerdict::Append);
    EXPECT_EQ(judge("HTTP/1.1 200 OK\r\nContent-Length: 1000"), RangeVerdict::Whole);
    EXPECT_EQ(judge("HTTP/1.1 404 Not Found\r\nContent-Length: 0"), RangeVerdict::NotRanged);
    for (const char* head : {
             "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */1000",
             "HTTP/1.1 206 Partial\r\nContent-Range: bytes 401-999/1000\r\nContent-Length: 599",  // another start
             "HTTP/1.1 206 Partial\r\nContent-Range: bytes 400-1999/2000\r\nContent-Length: 1600",  // another length
             "HTTP/1.1 206 Partial\r\nContent-Range: bytes 400-799/1000\r\nContent-Length: 400",    // not to the end
             "HTTP/1.1 206 Partial\r\nContent-Range: bytes 400-999/1000\r\nContent-Length: 500",    // body differs
             "HTTP/1.1 206 Partial\r\nContent-Range: bytes 400-999/*\r\nContent-Length: 600",
             "HTTP/1.1 206 Partial\r\nContent-Length: 600",
         })
        EXPECT_EQ(judge(head), RangeVerdict::FromZero) << head;
}

// One way a server answers a download cut short, through each peer.
struct ResumeCase {
    const char* name;
    std::vector<std::string> faults;   // /__fault queries, the cut one first
    std::vector<std::string> ranges;   // what each request asked for ("" the whole file; "C" the cut point...)
    bool changed;                      // the file ends as the server's new version
};

const ResumeCase kResumeCases[] = {
    {"CutThreeTimes", {"close_after=C&target=download&count=3"}, {"", "C", "2C", "3C"}, false},
    {"ReplacedBetweenTries", {"close_after=C&change=1&target=download&count=1"}, {"", "C"}, true},
    {"NoValidators", {"close_after=C&validators=0&target=download&count=1"}, {"", ""}, false},
    {"WrongContentRange", {"close_after=C&target=download&count=1", "range_reply=wrong&target=ranged&count=1"},
     {"", "C", ""}, false},
    {"Refused416", {"close_after=C&target=download&count=1", "range_reply=416&target=ranged&count=1"},
     {"", "C", ""}, false},
    {"Whole200", {"close_after=C&target=download&count=1", "range_reply=200&target=ranged&count=1"}, {"", "C"},
     false},
};

enum class Peer { MailServer, Nginx };

struct DownloadResume : DownloadEngineTest, ::testing::WithParamInterface<std::tuple<ResumeCase, Peer>> {
    std::unique_ptr<NginxProcess> nginx;
    void SetUp() override {
        if (std::get<1>(GetParam()) == Peer::Nginx) {
            nginx = std::make_unique<NginxProcess>(serve.path().string());
            serverOptions = {"--upstream", nginx->Address()};
        }
        DownloadEngineTest::SetUp();
    }
    void TearDown() override {
        DownloadEngineTest::TearDown();
        nginx.reset();
    }
    // The file's size, and where each cut falls.
    size_t Size() const { return nginx ? 64u << 20 : 300000; }
    size_t Cut() const { return Size() / 4 + 1; }
    std::string WithCut(std::string text) const {
        for (size_t at; (at = text.find('C')) != std::string::npos;) {
            size_t factor = at > 0 && isdigit(text[at - 1]) ? text[at - 1] - '0' : 1;
            size_t from = factor > 1 ? at - 1 : at;
            text.replace(from, at + 1 - from, std::to_string(factor * Cut()));
        }
        return text;
    }
};

TEST_P(DownloadResume, TheFileEndsAsOneVersionOfIt) {
    const ResumeCase& c = std::get<0>(GetParam());
    const std::string served = Bytes(Size(), 40);
    Serve("f.bin", served);
    for (const std::string& fault : c.faults) ASSERT_EQ(Fault(WithCut(fault)), "ok");
    Queue(L"/f.bin", L"f.bin", static_cast<double>(Size()));
    TestDialog& dialog = Run();

    EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>{L"완 료"});
    EXPECT_TRUE(dialog.view.messages.shown.empty());
    ASSERT_EQ(server->RecordedCount(), static_cast<int>(c.ranges.size()));
    for (size_t i = 0; i < c.ranges.size(); ++i)
        EXPECT_EQ(RangeAsked(server->Recorded(static_cast<int>(i) + 1)), WithCut(c.ranges[i])) << "request " << i + 1;
    EXPECT_TRUE(ReadWholeFile(Saved("f.bin").string()) == (c.changed ? Changed(served) : served));
    EXPECT_TRUE(Leftovers(save.path()).empty());
    // The counters end exact, whatever was fetched twice.
    EXPECT_EQ(dialog.view.Text(IdcDnFileBytesLabel), FormatSize(static_cast<double>(Size())));
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), FormatSize(static_cast<double>(Size())));
    EXPECT_EQ(dialog.view.Progress(IdcDnTotalProgress), 100);
    std::vector<std::wstring> log = dialog.view.StatusLog();
    EXPECT_NE(std::find(log.begin(), log.end(), std::wstring(L"재시도")), log.end());
    Close();
}

INSTANTIATE_TEST_SUITE_P(Peers, DownloadResume,
                         ::testing::Combine(::testing::ValuesIn(kResumeCases),
                                            ::testing::Values(Peer::MailServer, Peer::Nginx)),
                         [](const ::testing::TestParamInfo<DownloadResume::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == Peer::Nginx ? "Nginx" : "MailServer");
                         });

TEST_F(DownloadEngineTest, APartKeptAfterARunIsGoneOnWithByTheNext) {
    const std::string served = Bytes(300000, 41);
    const std::string h = Serve("k.bin", served);
    Serve("other.bin", "another file");
    auto cancelPartWay = [&](MessageAnswer answer) { CancelPartWay(L"/k.bin", L"k.bin", 300000, answer); };
    // Yes deletes the part with its record.
    cancelPartWay(IdYes);
    EXPECT_TRUE(Leftovers(save.path()).empty());

    // No keeps the part in the file's place, its record beside it; the next
    // run of the same address into the same name asks first, as for any
    // file there, and on overwrite asks the server for the rest only,
    // counting the kept bytes as done.
    cancelPartWay(IdNo);
    EXPECT_EQ(Leftovers(save.path()), std::vector<std::string>{"k.bin.parvex"});
    const uintmax_t kept = fs::file_size(Saved("k.bin"));
    ASSERT_GT(kept, 0u);
    same.answer = [](SameFileLogic& l) { return ScriptedSamePrompt::Press(l, "o"); };
    Queue(L"/k.bin", L"k.bin", 300000);
    TestDialog& dialog = Run();
    EXPECT_EQ(same.runs, 1);
    EXPECT_EQ(RangeAsked(server->Recorded(server->RecordedCount())), std::to_string(kept));
    EXPECT_EQ(SavedHash("k.bin"), h);
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), FormatSize(300000));
    std::vector<std::wstring> log = dialog.view.StatusLog();
    EXPECT_NE(std::find(log.begin(), log.end(), std::wstring(L"이어받기")), log.end());
    EXPECT_TRUE(Leftovers(save.path()).empty());
    Close();

    // Another address into the same name starts over; the old part goes.
    fs::remove(Saved("k.bin"));
    cancelPartWay(IdNo);
    Queue(L"/other.bin", L"k.bin", 12);
    Run();
    EXPECT_EQ(RangeAsked(server->Recorded(server->RecordedCount())), "");
    EXPECT_EQ(ReadWholeFile(Saved("k.bin").string()), "another file");
    EXPECT_TRUE(Leftovers(save.path()).empty());
    Close();
}

TEST_F(DownloadEngineTest, TheWaitBeforeARetryEndsAtOnceOnACancel) {
    Serve("w.bin", Bytes(300000, 42));
    state->SetResuming(ResumePolicy{true, 3, 60000});
    Fault("close_after=100000&target=download&count=1");
    Queue(L"/w.bin", L"w.bin", 300000);
    TestDialog& dialog = Open();
    dialog.view.messages.answers.push_back(IdNo);
    state->StartRun();
    ASSERT_TRUE(WaitFor([&] { return dialog.view.Rows().at(0).status == L"재시도"; }));
    auto start = std::chrono::steady_clock::now();
    state->CancelOrClose();
    state->WaitRunFinished();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(server->RecordedCount(), 1);
    // The part stays for a later run.
    EXPECT_EQ(fs::file_size(Saved("w.bin")), 100000u);
    EXPECT_TRUE(fs::exists(Saved("w.bin.parvex")));
    Close();
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Offsets past 4 GiB: a sparse file of 5 GiB from nginx, cut after 4.5 GiB.
TEST_F(DownloadEngineTest, AFileOfFiveGigabytesCutAfterFourAndAHalfResumes) {
    if (kSanitized) GTEST_SKIP() << "five gigabytes through a sanitizer take too long";
    const uint64_t size = 5ull << 30, cut = 9ull << 29;
    {
        int fd = ::open((serve.path() / "huge.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        // Marks that a wrong offset would move: around 4 GiB, the cut and the end.
        const std::string mark = Bytes(4096, 43);
        for (uint64_t at : {uint64_t{0}, uint64_t{(4ull << 30) - 2048}, uint64_t{cut - 2048}, uint64_t{size - 4096}})
            ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), static_cast<off_t>(at)), 4096);
        ::close(fd);
    }
    NginxProcess nginx(serve.path().string());
    server = std::make_unique<MailServerProcess>(
        std::vector<std::string>{"--serve", serve.path().string(), "--upstream", nginx.Address()});
    const std::string url = server->Url("/");
    Settings().downloadHostUrl = std::wstring(url.begin(), url.end());
    Fault("close_after=" + std::to_string(cut) + "&target=download&count=1");
    Queue(L"/huge.bin", L"huge.bin", static_cast<double>(size));
    TestDialog& dialog = Run();
    EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>{L"완 료"});
    ASSERT_EQ(server->RecordedCount(), 2);
    EXPECT_EQ(RangeAsked(server->Recorded(2)), std::to_string(cut));
    EXPECT_EQ(fs::file_size(Saved("huge.bin")), size);
    EXPECT_TRUE(SameFiles(Saved("huge.bin"), serve.path() / "huge.bin"));
    EXPECT_EQ(dialog.view.Text(IdcDnDoneBytesLabel), FormatSize(static_cast<double>(size)));
    Close();
    server.reset();
}
