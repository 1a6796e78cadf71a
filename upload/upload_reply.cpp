#include "upload_reply.h"

#include <algorithm>
#include <cstring>

#include "common/format.h"
#include "common/utf8.h"

namespace parvex {
namespace {

constexpr uint32_t kPollSliceMs = 100;
constexpr int kConnectAttempts = 3;

const wchar_t kUnknownFailure[] =
    L"서버에서 알 수 없는 이유로 업로드가 실패하였습니다.\r\n문제가 계속된다면 서버관리자에게 문의하여 주십시오.";

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::wstring LowerAscii(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

// atoi-style: blanks, an optional sign, digits up to the first non-digit.
long long LeadingDecimal(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value < (1LL << 50)) value = value * 10 + (s[i] - '0');
    }
    return negative ? -value : value;
}

// The value after "content-length:" up to the line end, or -1 when the text
// has no such header.
long long ContentLengthIn(const std::string& lowered) {
    size_t at = lowered.find("content-length:");
    if (at == std::string::npos) return -1;
    at += std::strlen("content-length:");
    size_t end = lowered.find("\r\n", at);
    return LeadingDecimal(lowered.substr(at, end == std::string::npos ? std::string::npos : end - at));
}

// Hexadecimal the way scanf's %llx reads it: blanks, a sign, an optional 0x;
// false when no digit can be read.
bool LeadingHex(const std::wstring& s, long long& value) {
    size_t i = 0;
    while (i < s.size() && (s[i] == L' ' || s[i] == L'\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
    if (i + 1 < s.size() && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) i += 2;
    unsigned long long v = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        wchar_t c = s[i];
        int d = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                                      : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                                               : -1;
        if (d < 0) break;
        v = v * 16 + static_cast<unsigned>(d);
        any = true;
    }
    if (!any) return false;
    value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    return true;
}

void ReplaceAll(std::wstring& s, const std::wstring& from, const std::wstring& to) {
    size_t at = 0;
    while ((at = s.find(from, at)) != std::wstring::npos) {
        s.replace(at, from.size(), to);
        at += to.size();
    }
}

// True once a chunked body, starting at bodyStart, holds its final chunk.
bool HasFinalChunk(const std::string& reply, size_t bodyStart) {
    size_t at = bodyStart;
    for (;;) {
        size_t lineEnd = reply.find("\r\n", at);
        if (lineEnd == std::string::npos) return false;
        unsigned long long size = 0;
        bool any = false;
        for (size_t i = at; i < lineEnd; ++i) {
            char c = reply[i];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                              : -1;
            if (d < 0) break;  // chunk extensions or junk end the size
            size = size * 16 + static_cast<unsigned>(d);
            any = true;
            if (size > kReplyCapBytes) return false;  // the cap ends the read
        }
        if (!any) return false;
        if (size == 0) return reply.find("\r\n", lineEnd + 2) != std::string::npos;
        at = lineEnd + 2 + static_cast<size_t>(size) + 2;
        if (at > reply.size()) return false;
    }
}

bool ReplyIsComplete(const std::string& reply) {
    size_t headEnd = reply.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    std::string head = LowerAscii(reply.substr(0, headEnd + 2));
    size_t bodyStart = headEnd + 4;
    long long length = ContentLengthIn(head);
    if (length >= 0) return reply.size() - bodyStart >= static_cast<unsigned long long>(length);
    size_t te = head.find("transfer-encoding:");
    if (te != std::string::npos) {
        size_t end = head.find("\r\n", te);
        if (head.substr(te, end - te).find("chunked") != std::string::npos) return HasFinalChunk(reply, bodyStart);
    }
    return false;  // the close ends it
}

}  // namespace

int WaitForBytes(Socket& socket, const ServerWait& wait) {
    Clock& clock = wait.clock ? *wait.clock : SystemClock();
    uint32_t start = clock.TickMs();
    for (;;) {
        if (wait.cancel && wait.cancel->load() != 0) return WaitCancelled;
        uint32_t waited = clock.TickMs() - start;
        if (waited >= wait.timeoutMs) return WaitTimedOut;
        uint32_t slice = std::min(kPollSliceMs, wait.timeoutMs - waited);
        int r = socket.WaitReadable(static_cast<int>(slice));
        if (r < 0) return WaitFailed;
        if (r > 0) return WaitReady;
    }
}

ReplyReadState ReadWholeReply(Socket& socket, const ServerWait& wait, std::string& reply) {
    reply.clear();
    char buffer[8192];
    for (;;) {
        int w = WaitForBytes(socket, wait);
        if (w == WaitCancelled) return ReplyCancelled;
        if (w == WaitTimedOut) return ReplyTimedOut;
        if (w == WaitFailed) return ReplyFailed;
        size_t room = kReplyCapBytes - reply.size();
        long n = socket.Recv(buffer, std::min(room, sizeof buffer));
        if (n < 0) return ReplyFailed;
        if (n == 0) return ReplyClosed;
        reply.append(buffer, static_cast<size_t>(n));
        if (reply.size() >= kReplyCapBytes || ReplyIsComplete(reply)) return ReplyComplete;
    }
}

std::wstring ExtractReplyText(const std::wstring& body, long long length) {
    if (body == L"|TS_UP_OK|") return body;
    std::wstring text;
    if (length == -1) {
        size_t lineEnd = body.find(L"\r\n");
        long long chunk = -1;
        LeadingHex(body.substr(0, lineEnd), chunk);
        int n = static_cast<int>(chunk);
        if (lineEnd != std::wstring::npos && n > 0) text = body.substr(lineEnd + 2, static_cast<size_t>(n));
    } else if (length > 0) {
        text = body.substr(0, static_cast<size_t>(length));
    }
    ReplaceAll(text, L"<b>", L"");
    ReplaceAll(text, L"</b>", L"");
    ReplaceAll(text, L"<br />", L"\r\n");
    // Server texts close with a stray "0" (the end of a chunked reply read as
    // text); it goes, with the line breaks after it.
    size_t last = text.find_last_not_of(L"\r\n");
    if (last != std::wstring::npos && text[last] == L'0') text.erase(last);
    return text;
}

int JudgeUploadReply(const std::string& reply, MessageBoxHost& boxes) {
    long long length = ContentLengthIn(LowerAscii(reply));
    std::wstring text = FromUtf8(reply);
    size_t lineEnd = text.find(L"\r\n");
    std::wstring statusLine = text.substr(0, std::min<size_t>(lineEnd, 2047));
    std::wstring lowered = LowerAscii(statusLine);
    size_t space = lowered.find(L' ');
    std::wstring statusRest = space == std::wstring::npos ? lowered : lowered.substr(space + 1);
    size_t headEnd = text.find(L"\r\n\r\n");
    std::wstring body = headEnd == std::wstring::npos ? std::wstring() : text.substr(headEnd + 4);
    std::wstring message = ExtractReplyText(body, length);

    if (statusRest.find(L"200 ok") != std::wstring::npos) {
        if (message.find(L"|TS_UP_OK|") != std::wstring::npos) return UploadAccepted;
        if (message.empty()) message = std::wstring(L" ") + kUnknownFailure;
        boxes.Show(message, L"Upload Fail", MbOk | MbIconStop);
        return UploadRefused;
    }
    if (!message.empty())
        message = FormatText(L"%ls\r\n\r\nError : %ls", kUnknownFailure, statusRest.c_str());
    else
        message = std::wstring(kUnknownFailure) + L"\r\n\r\n 알수없는 오류";
    boxes.Show(message, L"Upload Fail", MbOk | MbIconStop);
    return UploadRefused;
}

int ReadUploadReply(Socket& socket, MessageBoxHost& boxes, const ServerWait& wait) {
    std::string reply;
    switch (ReadWholeReply(socket, wait, reply)) {
        case ReplyCancelled:
            return UploadReplyCancelled;
        case ReplyFailed:
            boxes.Show(L"error", L"", MbOk);
            return UploadReplyUnreadable;
        case ReplyTimedOut:
            return UploadReplyUnreadable;
        case ReplyClosed:
            if (reply.empty()) return UploadReplyUnreadable;
            return JudgeUploadReply(reply, boxes);
        case ReplyComplete:
            return JudgeUploadReply(reply, boxes);
    }
    return UploadReplyUnreadable;
}

int CheckFileExists(Network& network, const NetAddress& address, const UploadTarget& target,
                    const std::wstring& fileName, const ServerWait& wait) {
    std::unique_ptr<Socket> socket;
    for (int attempt = 0; attempt < kConnectAttempts && !socket; ++attempt)
        socket = network.Connect(address, static_cast<uint16_t>(target.port));
    if (!socket) return ExistsCheckFailed;

    // Every path closes the connection: the socket's destructor does.
    struct Closer {
        Socket& s;
        ~Closer() { s.Shutdown(); }
    } closer{*socket};

    std::string request = BuildExistsRequest(target, MakeBoundary(), fileName);
    if (!socket->SendAll(request.data(), request.size())) return ExistsSocketError;

    std::string reply;
    ReplyReadState state = ReadWholeReply(*socket, wait, reply);
    if (state == ReplyCancelled) return ExistsCancelled;
    if (state == ReplyFailed || state == ReplyTimedOut || reply.empty()) return ExistsSocketError;

    size_t lineEnd = reply.find('\n');
    std::string statusLine = LowerAscii(reply.substr(0, lineEnd));
    if (!statusLine.empty() && statusLine.back() == '\r') statusLine.pop_back();
    if (statusLine.find("http/1.1") != std::string::npos) {
        size_t space = statusLine.find(' ');
        std::string code = space == std::string::npos ? std::string() : statusLine.substr(space + 1, 3);
        if (code != "200") return ExistsCheckFailed;
    }
    bool hasLength = LowerAscii(reply).find("content-length:") != std::string::npos;
    size_t headEnd = reply.find("\r\n\r\n");
    std::string body = headEnd == std::string::npos ? std::string() : reply.substr(headEnd + 4);
    if (!hasLength) {
        size_t chunkLine = body.find("\r\n");
        body = chunkLine == std::string::npos ? std::string() : body.substr(chunkLine + 2);
    }
    return !body.empty() && body[0] == '1' ? ExistsYes : ExistsNo;
}

}  // namespace parvex
