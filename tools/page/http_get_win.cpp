#include "tools/page/http_get_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace parvex::page {

namespace {

// Host, port and path of "http://host[:port]/path".
bool SplitUrl(const std::wstring& url, std::string& host, std::string& port, std::string& path) {
    const std::wstring scheme = L"http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    std::string rest;
    for (wchar_t c : url.substr(scheme.size())) {
        if (c < 0x21 || c > 0x7E) return false;
        rest += static_cast<char>(c);
    }
    size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    path = slash == std::string::npos ? "/" : rest.substr(slash);
    size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    port = colon == std::string::npos ? "80" : authority.substr(colon + 1);
    return !host.empty() && !port.empty();
}

bool Exchange(SOCKET s, const std::string& request, std::string& reply) {
    if (send(s, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) return false;
    char block[4096];
    for (;;) {
        int n = recv(s, block, sizeof block, 0);
        if (n < 0) return false;
        if (n == 0) return true;
        reply.append(block, static_cast<size_t>(n));
    }
}

}  // namespace

bool HttpGet(const std::wstring& url, std::string& body) {
    std::string host, port, path;
    if (!SplitUrl(url, host, port, path)) return false;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    bool ok = false;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) == 0) {
        SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        std::string reply;
        ok = s != INVALID_SOCKET && connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
             Exchange(s, "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n", reply);
        if (s != INVALID_SOCKET) closesocket(s);
        freeaddrinfo(found);
        size_t head = reply.find("\r\n\r\n");
        ok = ok && head != std::string::npos;
        if (ok) body = reply.substr(head + 4);
    }
    WSACleanup();
    return ok;
}

}  // namespace parvex::page
