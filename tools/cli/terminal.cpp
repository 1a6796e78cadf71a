#include "terminal.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <iostream>

#include "common/socket.h"
#include "common/trace.h"
#include "common/url.h"
#include "common/utf8.h"
#include "options.h"

namespace parvex::cli {

std::string Narrow(const std::wstring& text) {
    std::wstring printable;
    for (wchar_t c : text) {
        if (c == L'\r') continue;
        // Texts from a server must not drive the terminal: escape sequences
        // and other control characters (C0, DEL, C1) are shown as "?".
        bool control = (c < 0x20 && c != L'\n' && c != L'\t') || (c >= 0x7F && c <= 0x9F);
        printable.push_back(control ? L'?' : c);
    }
    return ToUtf8(printable);
}

bool ReadLine(std::string& line) {
    line.clear();
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::mutex& TerminalMutex() {
    static std::mutex mutex;
    return mutex;
}

MessageAnswer TerminalMessageBox::Show(const std::wstring& text, const std::wstring& caption, unsigned style) {
    std::lock_guard<std::mutex> lock(TerminalMutex());
    std::string body = Narrow(text);
    std::fprintf(stderr, "\n%s[%s] %s", MessagePrefix(), caption.empty() ? "message" : Narrow(caption).c_str(),
                 body.c_str());
    if (body.empty() || body.back() != '\n') std::fputc('\n', stderr);
    if ((style & 0xF) != MbYesNo) return IdOk;
    if (!interactive_) {
        std::fprintf(stderr, "(no terminal to ask: %s)\n", unattendedAnswer_ == IdYes ? "yes" : "no");
        return unattendedAnswer_;
    }
    for (;;) {
        std::fprintf(stderr, "[y/n] ");
        std::string line;
        if (!ReadLine(line)) return IdNo;
        if (line == "y" || line == "Y") return IdYes;
        if (line == "n" || line == "N") return IdNo;
    }
}

bool FixedCookieStore::GetCookie(const std::wstring&, wchar_t* buffer, uint32_t* size) {
    if (text_.empty()) return false;
    uint32_t needed = static_cast<uint32_t>(text_.size()) + 1;
    if (*size < needed) {
        *size = needed;
        return false;
    }
    std::wmemcpy(buffer, text_.c_str(), needed);
    return true;
}

namespace {

// Keeps the last line of the trace while it lives; the platform's own trace
// (PARVEX_TRACE=1) still gets every line.
class LastTraceLine : public TraceSink {
public:
    LastTraceLine() : next_(PlatformTraceSink()) { SetTraceSink(this); }
    ~LastTraceLine() override { SetTraceSink(nullptr); }
    void Write(const std::wstring& line) override {
        if (next_) next_->Write(line);
        last_ = line;
    }
    // The system's words for the failure: what the line's last parentheses hold.
    std::string Reason() const {
        size_t open = last_.rfind(L" ("), close = last_.rfind(L')');
        if (open == std::wstring::npos || close == std::wstring::npos || close < open) return "the connection failed";
        return ToUtf8(last_.substr(open + 2, close - open - 2));
    }

private:
    TraceSink* next_;
    std::wstring last_;
};

// Why the server of parts takes no connection, TLS handshake included (an
// https server whose certificate is refused says why); empty when it does.
std::string ConnectFailure(const DownloadHostParts& parts) {
    constexpr uint32_t kProbeTimeoutMs = 10000;
    LastTraceLine trace;
    Endpoint endpoint = UrlEndpoint(parts.host, parts.port, parts.secure);
    if (!PlatformNetwork().Resolve(endpoint.host, endpoint.addresses)) return trace.Reason();
    WaitOutcome outcome = WaitOutcome::Failed;
    if (ConnectBounded(PlatformNetwork(), endpoint, ServerWait(), kProbeTimeoutMs, &outcome)) return std::string();
    return outcome == WaitOutcome::TimedOut ? "no answer within 10 seconds" : trace.Reason();
}

}  // namespace

void ReportConnectProblem(const std::string& url) {
    std::wstring wide = FromUtf8(url);
    DownloadHostParts parts = SplitDownloadHostUrl(wide);
    std::string host = ToUtf8(BareHost(parts.host));
    std::string reason = ConnectFailure(parts);
    if (reason.empty()) return;
    std::lock_guard<std::mutex> lock(TerminalMutex());
    std::fprintf(stderr, "%scannot connect to %s port %d: %s\n", MessagePrefix(), host.c_str(), parts.port,
                 reason.c_str());
}

std::wstring CorePath(const std::string& argument) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(argument, ec).lexically_normal().string();
    if (ec) absolute = argument;
    std::wstring path = FromUtf8(absolute);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

}  // namespace parvex::cli
