#include "upstream_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "byte_ranges.h"
#include "reply.h"
#include "storage.h"

namespace mailserver {
namespace {

bool ReadAddress(const std::string& text, sockaddr_in* address) {
    size_t colon = text.rfind(':');
    uint64_t port = 0;
    if (colon == std::string::npos || !ParseUint64(text.substr(colon + 1), &port) || port == 0 || port > 65535)
        return false;
    *address = sockaddr_in{};
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<uint16_t>(port));
    return ::inet_pton(AF_INET, text.substr(0, colon).c_str(), &address->sin_addr) == 1;
}

bool SendAllTo(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The request passed on: the target, the client's cookie, and its Range and
// If-Range unless a fault answers the range itself.
std::string UpstreamRequest(const HttpRequest& request, const std::string& upstream, const FaultSet& faults) {
    std::string text = "GET " + request.target + " HTTP/1.1\r\nHost: " + upstream + "\r\n";
    if (const std::string* cookie = request.Header("cookie")) text += "Cookie: " + *cookie + "\r\n";
    if (faults.rangeReply != "200") {
        for (const char* name : {"range", "if-range"})
            if (const std::string* value = request.Header(name)) text += std::string(name) + ": " + *value + "\r\n";
    }
    return text + "Connection: close\r\n\r\n";
}

// The upstream's reply head as the faults bend it, with its body's length.
std::string BentHead(const std::string& head, const FaultSet& faults, uint64_t* length) {
    std::string out;
    size_t at = 0;
    *length = 0;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        std::string line = head.substr(at, end - at);
        at = end + 2;
        std::string lower = ToLower(line);
        if (faults.noValidators && (StartsWith(lower, "etag:") || StartsWith(lower, "last-modified:"))) continue;
        if (StartsWith(lower, "content-length:")) ParseUint64(Trim(line.substr(15)), length);
        if (faults.rangeReply == "wrong" && StartsWith(lower, "content-range: bytes ")) {
            uint64_t first = 0;
            size_t dash = line.find('-', 21);
            if (ParseUint64(line.substr(21, dash - 21), &first))
                line = "Content-Range: bytes " + std::to_string(first + 1) + line.substr(dash);
        }
        out += line + "\r\n";
    }
    return out;
}

// Reads the upstream's head; rest gets the body bytes that came with it.
bool ReadHead(int fd, std::string* head, std::string* rest) {
    std::string bytes;
    char buffer[4096];
    size_t end;
    while ((end = bytes.find("\r\n\r\n")) == std::string::npos) {
        if (bytes.size() > kMaxRequestHead) return false;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    *head = bytes.substr(0, end + 2);
    *rest = bytes.substr(end + 4);
    return true;
}

// The body, up to length bytes, cut after close_after of them.
void RelayBody(Connection& conn, int fd, std::string rest, uint64_t length, const FaultSet& faults) {
    uint64_t left = std::min(length, faults.closeAfter ? *faults.closeAfter : length);
    std::vector<char> block(256 * 1024);
    rest.resize(static_cast<size_t>(std::min<uint64_t>(rest.size(), left)));
    if (conn.SendAll(rest) != IoStatus::Ok) return;
    left -= rest.size();
    while (left > 0) {
        ssize_t n = ::recv(fd, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), left)), 0);
        if (n <= 0 || conn.SendAll(block.data(), static_cast<size_t>(n)) != IoStatus::Ok) return;
        left -= static_cast<uint64_t>(n);
    }
}

// The served file's path in --serve, for the change fault.
std::string ServedPath(const RequestContext& ctx) {
    std::string path = UrlDecode(ctx.request.target.substr(0, ctx.request.target.find('?')), false);
    size_t skip = path.find_first_not_of('/');
    std::string relative, error;
    if (skip == std::string::npos || !RelativeStoragePath(path.substr(skip), &relative, &error)) return "";
    return JoinPath(ctx.state.ServeDir(), relative);
}

}  // namespace

bool ParseUpstream(const std::string& text) {
    sockaddr_in address;
    return ReadAddress(text, &address);
}

void RelayDownload(RequestContext& ctx, const FaultSet& faults) {
    const std::string& upstream = ctx.state.config.upstream;
    if (faults.rangeReply == "416" && AsksRange(ctx.request)) {
        SendPlainReply(ctx.conn, "416 Range Not Satisfiable", "");
        ctx.conn.CloseNow();
        return;
    }
    sockaddr_in address;
    OwnedFd up;
    std::string head, rest;
    uint64_t length = 0;
    if (!ReadAddress(upstream, &address) || (up.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) < 0 ||
        ::connect(up.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !SendAllTo(up.fd, UpstreamRequest(ctx.request, upstream, faults)) || !ReadHead(up.fd, &head, &rest)) {
        SendPlainReply(ctx.conn, "502 Bad Gateway", "the upstream server did not answer\n");
        ctx.conn.CloseNow();
        return;
    }
    if (ctx.conn.SendAll(BentHead(head, faults, &length) + "\r\n") == IoStatus::Ok)
        RelayBody(ctx.conn, up.fd, std::move(rest), length, faults);
    CloseByFault(ctx.conn, faults);
    if (faults.change) ChangeFile(ServedPath(ctx));
}

}  // namespace mailserver
