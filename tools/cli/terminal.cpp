#include "terminal.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <iostream>

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

int TerminalMessageBox::Show(const std::wstring& text, const std::wstring& caption, unsigned style) {
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

// The system's reason why host:port takes no connection; empty when it does.
std::string ConnectFailure(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int r = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (r != 0) return gai_strerror(r);
    int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK, 0);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            // Connected, or refused, once writable; the outcome is in SO_ERROR.
            pollfd p{fd, POLLOUT, 0};
            socklen_t length = sizeof error;
            if (poll(&p, 1, 10000) != 1)
                error = ETIMEDOUT;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    if (fd >= 0) close(fd);
    freeaddrinfo(found);
    return error == 0 ? std::string() : std::strerror(error);
}

}  // namespace

void ReportConnectProblem(const std::string& url) {
    std::wstring wide = FromUtf8(url);
    DownloadHostParts parts = SplitDownloadHostUrl(wide);
    std::string host = ToUtf8(BareHost(parts.host));
    std::string reason = ConnectFailure(host, parts.port);
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
