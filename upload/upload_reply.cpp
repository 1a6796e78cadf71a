#include "upload_reply.h"

#include <algorithm>

#include "common/format.h"
#include "common/http_reply.h"
#include "common/shown_text.h"
#include "common/url.h"
#include "common/utf8.h"

namespace parvex {
namespace {

const wchar_t kUnknownFailure[] =
    L"서버에서 알 수 없는 이유로 업로드가 실패하였습니다.\r\n문제가 계속된다면 서버관리자에게 문의하여 주십시오.";
constexpr size_t kStatusLineMax = 2047;

void ReplaceAll(std::wstring& s, const std::wstring& from, const std::wstring& to) {
    size_t at = 0;
    while ((at = s.find(from, at)) != std::wstring::npos) {
        s.replace(at, from.size(), to);
        at += to.size();
    }
}

}  // namespace

std::wstring ExtractReplyText(const std::wstring& body) {
    if (body == L"|TS_UP_OK|") return body;
    std::wstring text = body;
    ReplaceAll(text, L"<b>", L"");
    ReplaceAll(text, L"</b>", L"");
    ReplaceAll(text, L"<br />", L"\r\n");
    return text;
}

UploadReplyOutcome JudgeUploadReply(const HttpReply& reply, MessageBoxHost& boxes) {
    // The server's texts reach a message box: nothing in them may cut or hide the rest.
    std::wstring statusRest = ShownText(StatusRest(FromUtf8(reply.statusLine).substr(0, kStatusLineMax)));
    std::wstring message = ShownText(ExtractReplyText(FromUtf8(reply.body)));

    // "200 ok" counts inside a status whose code is 200, not in "1200 OK".
    if (reply.statusCode == 200 && statusRest.find(L"200 ok") != std::wstring::npos) {
        if (message.find(L"|TS_UP_OK|") != std::wstring::npos) return UploadReplyOutcome::Accepted;
        if (message.empty()) message = std::wstring(L" ") + kUnknownFailure;
        boxes.Show(message, L"Upload Fail", MbOk | MbIconStop);
        return UploadReplyOutcome::Refused;
    }
    if (!message.empty())
        message = FormatText(L"%ls\r\n\r\nError : %ls", kUnknownFailure, statusRest.c_str());
    else
        message = std::wstring(kUnknownFailure) + L"\r\n\r\n 알수없는 오류";
    boxes.Show(message, L"Upload Fail", MbOk | MbIconStop);
    return UploadReplyOutcome::Refused;
}

UploadReplyOutcome JudgeEarlyReply(const HttpReply& reply, MessageBoxHost& boxes) {
    if (JudgeUploadReply(reply, boxes) == UploadReplyOutcome::Accepted)
        boxes.Show(std::wstring(L" ") + kUnknownFailure, L"Upload Fail", MbOk | MbIconStop);
    return UploadReplyOutcome::Refused;
}

UploadReplyOutcome ReadUploadReply(ReplyReader& reader, MessageBoxHost& boxes) {
    HttpReply reply;
    switch (reader.Final(reply)) {
    case ReplyReadState::Complete:
        return JudgeUploadReply(reply, boxes);
    case ReplyReadState::Cancelled:
        return UploadReplyOutcome::Cancelled;
    case ReplyReadState::Failed:
        boxes.Show(L"error", L"", MbOk);
        return UploadReplyOutcome::Unreadable;
    case ReplyReadState::Cut:
    case ReplyReadState::TimedOut:
        break;
    }
    return UploadReplyOutcome::Unreadable;
}

UploadReplyOutcome ReadUploadReply(Socket& socket, MessageBoxHost& boxes, const ServerWait& wait) {
    ReplyReader reader(socket, wait);
    return ReadUploadReply(reader, boxes);
}

Endpoint TargetEndpoint(const UploadTarget& target, const std::vector<NetAddress>& addresses) {
    Endpoint endpoint = UrlEndpoint(target.host, target.port, target.secure);
    endpoint.addresses = addresses;
    return endpoint;
}

std::unique_ptr<Socket> ConnectWithRetries(Network& network, const Endpoint& endpoint, const ServerWait& wait,
                                           const ConnectPolicy& policy) {
    for (int attempt = 0; attempt < policy.attempts; ++attempt) {
        WaitOutcome outcome = WaitOutcome::Failed;
        auto socket = ConnectBounded(network, endpoint, wait, policy.timeoutMs, &outcome);
        if (socket || outcome == WaitOutcome::Cancelled) return socket;
    }
    return nullptr;
}

ExistsOutcome CheckFileExists(Network& network, const std::vector<NetAddress>& addresses, const UploadTarget& target,
                              const std::wstring& fileName, const ServerWait& wait, const ConnectPolicy& connect) {
    std::unique_ptr<Socket> socket = ConnectWithRetries(network, TargetEndpoint(target, addresses), wait, connect);
    bool cancelled = wait.Stopped();
    if (!socket) return cancelled ? ExistsOutcome::Cancelled : ExistsOutcome::NoConnection;

    // Every path closes the connection: the socket's destructor does.
    struct Closer {
        Socket& s;
        ~Closer() { s.Shutdown(); }
    } closer{*socket};

    std::string request = BuildExistsRequest(target, MakeBoundary(), fileName);
    WaitOutcome sent = SendBounded(*socket, request.data(), request.size(), wait);
    if (sent == WaitOutcome::Cancelled) return ExistsOutcome::Cancelled;
    if (sent != WaitOutcome::Ready) return ExistsOutcome::SocketError;

    ReplyReader reader(*socket, wait);
    HttpReply reply;
    ReplyReadState state = reader.Final(reply);
    if (state == ReplyReadState::Cancelled) return ExistsOutcome::Cancelled;
    if (state != ReplyReadState::Complete) return ExistsOutcome::SocketError;

    // An answer whose head cannot be read whole says nothing about the name.
    if (reply.headTooLong) return ExistsOutcome::CheckFailed;
    // Only an HTTP/1.1 status line is examined.
    bool http11 = LowerAscii(reply.statusLine).find("http/1.1") != std::string::npos;
    if (http11 && reply.statusCode != 200) return ExistsOutcome::CheckFailed;
    return !reply.body.empty() && reply.body[0] == '1' ? ExistsOutcome::Yes : ExistsOutcome::No;
}

}  // namespace parvex
