#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "common/clock.h"
#include "common/socket.h"
#include "tests/support/fakes.h"
#include "tests/support/mail_server_process.h"
#include "upload/upload_reply.h"
#include "upload_test_support.h"

using namespace parvex;
using parvex::testing::MailServerProcess;
using parvex::testing::RecordingMessageBox;

namespace {

const std::wstring kUnknown =
    L"서버에서 알 수 없는 이유로 업로드가 실패하였습니다.\r\n문제가 계속된다면 서버관리자에게 문의하여 주십시오.";

NetAddress Loopback() {
    NetAddress a;
    a.bytes[0] = 127;
    a.bytes[3] = 1;
    return a;
}

UploadTarget TargetFor(const MailServerProcess& server) {
    UploadTarget t;
    t.host = L"127.0.0.1";
    t.port = server.port();
    t.path = L"/upload";
    t.existPath = L"/exists";
    t.formFileNameField = L"name";
    t.formUniqueNameField = L"unique";
    t.formFileField = L"file";
    return t;
}

// Long enough for any answer on a loaded machine; the silent-server cases
// pass a short one.
ServerWait WaitUpTo(const RunSignals* cancel = nullptr, uint32_t ms = 60000) {
    ServerWait w;
    w.clock = &SystemClock();
    w.signals = cancel;
    w.timeoutMs = ms;
    return w;
}

// Posts a small in-memory file and leaves the connection open for the reply.
std::unique_ptr<Socket> PostSmallFile(const MailServerProcess& server, const std::wstring& name,
                                      Network& network = PlatformNetwork()) {
    auto socket = network.Connect(Loopback(), static_cast<uint16_t>(server.port()));
    if (!socket) return nullptr;
    UploadEntry e;
    e.localPath = L"C:\\tmp\\" + name;
    e.fileName = name;
    e.uniqueName = L"u1";
    e.size = 5;
    UploadRequest r = BuildUploadRequest(TargetFor(server), MakeBoundary(), e, e.localPath);
    std::string all = r.header + r.parts[0] + r.parts[1] + r.parts[2] + r.parts[3] + "hello" + r.closing;
    if (!socket->SendAll(all.data(), all.size())) return nullptr;
    return socket;
}

UploadReplyOutcome ReplyTo(MailServerProcess& server, RecordingMessageBox& boxes,
                           const RunSignals* cancel = nullptr, uint32_t timeoutMs = 60000) {
    auto socket = PostSmallFile(server, L"a.txt");
    if (!socket) {
        ADD_FAILURE() << "no connection to the server";
        return UploadReplyOutcome::Unreadable;
    }
    return ReadUploadReply(*socket, boxes, WaitUpTo(cancel, timeoutMs));
}

}  // namespace

TEST(UploadReplyExtract, TokenAndMarkup) {
    EXPECT_EQ(ExtractReplyText(L"|TS_UP_OK|"), L"|TS_UP_OK|");
    EXPECT_EQ(ExtractReplyText(L"ok |TS_UP_OK| done"), L"ok |TS_UP_OK| done");
    EXPECT_EQ(ExtractReplyText(L"<b>bold</b> and<br />next"), L"bold and\r\nnext");
    // Zeros are the server's own: nothing of a chunk size can be left over.
    EXPECT_EQ(ExtractReplyText(L"최대 10<br /><br />"), L"최대 10\r\n\r\n");
    EXPECT_EQ(ExtractReplyText(L"limit 10"), L"limit 10");
    EXPECT_EQ(ExtractReplyText(L"0"), L"0");
    EXPECT_EQ(ExtractReplyText(L""), L"");
}

namespace {

struct Framed {
    FrameResult result;
    std::string body;
    int code;
    size_t used;
};

Framed Frame(const std::string& bytes, ReplyInput input = ReplyInput::Closed) {
    HttpReply reply;
    size_t used = 0;
    FrameResult r = FrameReply(bytes, input, reply, &used);
    return {r, reply.body, reply.statusCode, used};
}

}  // namespace

TEST(UploadReplyFrame, LengthChunksAndClose) {
    // Content-Length cuts the body in bytes; only a header of exactly that name counts.
    Framed f = Frame("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n한글", ReplyInput::Open);
    EXPECT_EQ(f.result, FrameResult::Done);
    EXPECT_EQ(f.body, "\xED\x95\x9C\xEA");
    EXPECT_EQ(f.used, 42u);
    f = Frame("HTTP/1.1 200 OK\r\nX-Original-Content-Length: 3\r\n\r\n1\r\n|TS_UP_OK|");
    EXPECT_EQ(f.body, "1\r\n|TS_UP_OK|");
    EXPECT_EQ(Frame("HTTP/1.1 200 OK\r\nx-original-content-length: 3\r\n\r\nabcdef", ReplyInput::Open).result,
              FrameResult::NeedMore);
    // Chunks are joined, extensions and trailers read past.
    f = Frame("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
              "5;x=1\r\nsaved\r\na\r\n|TS_UP_OK|\r\n0\r\nX-T: 1\r\n\r\nNEXT",
              ReplyInput::Open);
    EXPECT_EQ(f.result, FrameResult::Done);
    EXPECT_EQ(f.body, "saved|TS_UP_OK|");
    EXPECT_EQ(f.code, 200);
    // Neither: the close ends it, whatever the body looks like.
    std::string closeDelimited = "HTTP/1.0 200 OK\r\n\r\n-8000000000000000\r\n|TS_UP_OK|";
    EXPECT_EQ(Frame(closeDelimited, ReplyInput::Open).result, FrameResult::NeedMore);
    EXPECT_EQ(Frame(closeDelimited).body, "-8000000000000000\r\n|TS_UP_OK|");
    // Interim and body-less replies end at their head.
    f = Frame("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n", ReplyInput::Open);
    EXPECT_EQ(f.result, FrameResult::Done);
    EXPECT_EQ(f.code, 100);
    EXPECT_EQ(f.used, 25u);
    // Too long for the cap: judged on what arrived.
    EXPECT_EQ(Frame("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\nabc", ReplyInput::Capped).body, "abc");
}

TEST(UploadReplyFrame, CutOrBrokenRepliesAreNotReplies) {
    for (const char* bytes : {
             "",
             "HTTP/1.1 200 OK\r\nContent-Len",                           // cut in the head
             "garbage",                                                    // no head at all
             "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n",              // cut after the head
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab",  // cut in a chunk
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-8000000000000000\r\nx\r\n0\r\n\r\n",
             "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffffffff\r\n",
             "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nx",
             "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxy",
         }) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(Frame(bytes).result, FrameResult::Broken);
    }
}

namespace {

UploadReplyOutcome Judge(const std::string& bytes, RecordingMessageBox& boxes) {
    HttpReply reply;
    size_t used = 0;
    if (FrameReply(bytes, ReplyInput::Closed, reply, &used) != FrameResult::Done) {
        ADD_FAILURE() << "not a whole reply: " << bytes;
        return UploadReplyOutcome::Unreadable;
    }
    return JudgeUploadReply(reply, boxes);
}

}  // namespace

TEST(UploadReplyJudge, StatusTokenAndMessages) {
    RecordingMessageBox boxes;
    EXPECT_EQ(Judge("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n|TS_UP_OK|", boxes), UploadReplyOutcome::Accepted);
    EXPECT_EQ(Judge("HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\nsaved|TS_UP_OK|", boxes),
              UploadReplyOutcome::Accepted);
    // Only the text after the first space counts: HTTP/1.0 is as good.
    EXPECT_EQ(Judge("HTTP/1.0 200 OK\r\n\r\n|TS_UP_OK|", boxes), UploadReplyOutcome::Accepted);
    // A token on a line of its own or inside markup of a close-delimited body.
    EXPECT_EQ(Judge("HTTP/1.0 200 OK\r\n\r\n<html><body>\r\n|TS_UP_OK|\r\n</body></html>", boxes),
              UploadReplyOutcome::Accepted);
    EXPECT_EQ(boxes.Count(), 0u);

    EXPECT_EQ(Judge("HTTP/1.1 200 OK\r\nContent-Length: 27\r\n\r\n<b>quota</b> exceeded<br />", boxes),
              UploadReplyOutcome::Refused);
    EXPECT_EQ(Judge("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", boxes), UploadReplyOutcome::Refused);
    EXPECT_EQ(Judge("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\noops", boxes),
              UploadReplyOutcome::Refused);
    EXPECT_EQ(Judge("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", boxes), UploadReplyOutcome::Refused);
    // A token behind a refusing status does not help.
    EXPECT_EQ(Judge("HTTP/1.1 403 Forbidden\r\nContent-Length: 10\r\n\r\n|TS_UP_OK|", boxes),
              UploadReplyOutcome::Refused);
    EXPECT_EQ(Judge("HTTP/1.1 200 OK\r\nContent-Length: 14\r\n\r\nlimit 10<br />", boxes), UploadReplyOutcome::Refused);

    ASSERT_EQ(boxes.shown.size(), 6u);
    EXPECT_EQ(boxes.shown[0].text, L"quota exceeded\r\n");
    EXPECT_EQ(boxes.shown[1].text, L" " + kUnknown);
    EXPECT_EQ(boxes.shown[2].text, kUnknown + L"\r\n\r\nError : 500 internal server error");
    EXPECT_EQ(boxes.shown[3].text, kUnknown + L"\r\n\r\n 알수없는 오류");
    EXPECT_EQ(boxes.shown[4].text, kUnknown + L"\r\n\r\nError : 403 forbidden");
    EXPECT_EQ(boxes.shown[5].text, L"limit 10\r\n");
    for (auto& b : boxes.shown) {
        EXPECT_EQ(b.caption, L"Upload Fail");
        EXPECT_EQ(b.style, unsigned(MbOk | MbIconStop));
    }
}

TEST(UploadReplyJudge, OnlyStatus200AcceptsAndServerTextsShowWhole) {
    RecordingMessageBox boxes;
    EXPECT_EQ(Judge("HTTP/1.1 1200 OK\r\nContent-Length: 10\r\n\r\n|TS_UP_OK|", boxes), UploadReplyOutcome::Refused);
    EXPECT_EQ(Judge("HTTP/1.1 404 Not 200 OK\r\nContent-Length: 10\r\n\r\n|TS_UP_OK|", boxes), UploadReplyOutcome::Refused);
    const char nul[] = "HTTP/1.1 200 OK\r\nContent-Length: 28\r\n\r\nquota\0exceeded\xE2\x80\xAE!<br />tail";
    EXPECT_EQ(Judge(std::string(nul, sizeof nul - 1), boxes), UploadReplyOutcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, kUnknown + L"\r\n\r\nError : 1200 ok");
    EXPECT_EQ(boxes.shown[1].text, kUnknown + L"\r\n\r\nError : 404 not 200 ok");
    EXPECT_EQ(boxes.shown[2].text, L"quota?exceeded?!\r\ntail");
}

TEST(UploadReplyFrame, AHeadPastTheCapIsAnAnswerWithoutStatusOrBody) {
    std::string head = "HTTP/1.1 100 Continue\r\nSet-Cookie: " + std::string(kReplyHeadCapBytes, 'c');
    HttpReply reply;
    size_t used = 0;
    EXPECT_EQ(FrameReply(head.substr(0, kReplyHeadCapBytes), ReplyInput::Capped, reply, &used), FrameResult::Done);
    EXPECT_TRUE(reply.headTooLong);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 100 Continue");
    EXPECT_EQ(reply.statusCode, 0);
    EXPECT_FALSE(reply.IsInterim());
    EXPECT_EQ(used, kReplyHeadCapBytes);
}

TEST(UploadReplyRead, ServerRepliesOverLoopback) {
    MailServerProcess server;
    RecordingMessageBox boxes;
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Accepted);

    // A chunked refusal is read to its final chunk and shown without it.
    server.Get("/__fault?chunked=1&body=file%20too%20large%3Cbr%20/%3E&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"file too large\r\n");

    server.Get("/__fault?chunked=1&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Accepted);

    // Head and body in separate packets: the body still decides.
    server.Get("/__fault?split=300&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Accepted);

    // Neither length nor chunking: read until the close.
    server.Get("/__fault?nolength=1&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Accepted);

    server.Get("/__fault?status=500%20Internal%20Server%20Error&body=db%20down&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Refused);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, kUnknown + L"\r\n\r\nError : 500 internal server error");

    server.Get("/__fault?rawreply=HTTP/1.0%20200%20OK%0D%0A%0D%0A|TS_UP_OK|&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Accepted);
    EXPECT_EQ(boxes.shown.size(), 2u);

    // Replies HTTP allows that are easy to misread: the token on a line of
    // its own in a close-delimited page, in the second chunk, behind a
    // header whose name merely ends in Content-Length, after interim replies.
    for (const char* fault : {
             "nolength=1&body=%3Chtml%3E%0D%0A|TS_UP_OK|%0D%0A%3C/html%3E",
             "rawreply=HTTP/1.1%20200%20OK%0D%0ATransfer-Encoding:%20chunked%0D%0A%0D%0A"
             "3%0D%0Aabc%0D%0Aa%0D%0A|TS_UP_OK|%0D%0A0%0D%0A%0D%0A",
             "rawreply=HTTP/1.1%20200%20OK%0D%0AX-Original-Content-Length:%201%0D%0A%0D%0Asaved%0D%0A|TS_UP_OK|",
             "interim=102%20Processing",
             "interim=100%20Continue&split=200",
         }) {
        SCOPED_TRACE(fault);
        server.Get(std::string("/__fault?") + fault + "&count=1");
        EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Accepted);
    }
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST(UploadReplyRead, NoAnswerIsUnreadableNotRefused) {
    MailServerProcess server;
    RecordingMessageBox boxes;
    // The peer closes without a byte.
    server.Get("/__fault?close_after=3&count=1");
    EXPECT_EQ(ReplyTo(server, boxes), UploadReplyOutcome::Unreadable);
    // A silent server is given up after the time-out.
    server.Get("/__fault?stall=1&count=1");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReplyTo(server, boxes, nullptr, 400), UploadReplyOutcome::Unreadable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(UploadReplyRead, CancelEndsTheWait) {
    MailServerProcess server;
    RecordingMessageBox boxes;
    server.Get("/__fault?stall=1&count=1");
    RunSignals cancel;
    // The user cancels once the wait for the reply is under way.
    parvex::testing::WatchingNetwork network;
    network.onIdleWait = [&cancel](size_t) { cancel.Raise(RunSignals::Cancel); };
    auto socket = PostSmallFile(server, L"a.txt", network);
    ASSERT_TRUE(socket);
    EXPECT_EQ(ReadUploadReply(*socket, boxes, WaitUpTo(&cancel, 60000)), UploadReplyOutcome::Cancelled);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(UploadExistsCheck, OutcomesOverLoopback) {
    MailServerProcess server;
    UploadTarget t = TargetFor(server);
    ServerWait wait = WaitUpTo();
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"보고서.txt", wait), ExistsOutcome::No);

    auto posted = PostSmallFile(server, L"보고서.txt");
    ASSERT_TRUE(posted);
    RecordingMessageBox boxes;
    ASSERT_EQ(ReadUploadReply(*posted, boxes, wait), UploadReplyOutcome::Accepted);
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"보고서.txt", wait), ExistsOutcome::Yes);
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"다른.txt", wait), ExistsOutcome::No);

    // The request went to the exists path with the name in UTF-8.
    std::string last = server.Recorded(server.RecordedCount());
    EXPECT_EQ(last.rfind("POST /exists HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(last.find("\r\n\r\n\xEB\x8B\xA4\xEB\xA5\xB8.txt\r\n--"), std::string::npos);

    server.Get("/__fault?chunked=1&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"보고서.txt", wait), ExistsOutcome::Yes);
    server.Get("/__fault?chunked=1&exists=0&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"보고서.txt", wait), ExistsOutcome::No);

    // An HTTP/1.1 status other than 200 is a check failure.
    server.Get("/__fault?status=500%20Internal%20Server%20Error&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::CheckFailed);
    // An HTTP/1.0 status line is not examined.
    server.Get("/__fault?rawreply=HTTP/1.0%20404%20Not%20Found%0D%0AContent-Length:%201%0D%0A%0D%0A1"
               "&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::Yes);
    server.Get("/__fault?rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%200%0D%0A%0D%0A&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::No);

    // Close-delimited, or behind an unrequested interim reply: still read whole.
    server.Get("/__fault?nolength=1&exists=1&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::Yes);
    server.Get("/__fault?interim=100%20Continue&exists=1&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::Yes);
    // Cut right after the head: no answer, not a "no".
    server.Get("/__fault?rawreply=HTTP/1.1%20200%20OK%0D%0AContent-Length:%201%0D%0A%0D%0A&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::SocketError);

    server.Get("/__fault?close_after=0&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", wait), ExistsOutcome::SocketError);
    server.Get("/__fault?stall=1&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", WaitUpTo(nullptr, 300)),
              ExistsOutcome::SocketError);

    RunSignals cancel;
    cancel.Raise(RunSignals::Cancel);
    server.Get("/__fault?stall=1&target=exists&count=1");
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x.txt", WaitUpTo(&cancel, 60000)),
              ExistsOutcome::Cancelled);
}

TEST(UploadExistsCheck, NoServerIsAConnectionFailure) {
    parvex::testing::RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    UploadTarget t;
    t.host = L"127.0.0.1";
    t.port = refusing.port();
    t.existPath = L"/exists";
    EXPECT_EQ(CheckFileExists(PlatformNetwork(), {Loopback()}, t, L"x", WaitUpTo()), ExistsOutcome::NoConnection);
}
