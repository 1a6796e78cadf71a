// What the bare loops of the benchmark share: a blocking connection to the
// peer, a clock, and the request and reply by hand over a byte stream
// that is plain WinSock or TLS.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace parvex::bench {

inline long long NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000 / frequency.QuadPart;
}

// A blocking socket connected to port on 127.0.0.1, or on the IPv4 address
// in PARVEX_BENCH_HOST (the WAN rows' server); INVALID_SOCKET when it failed.
inline SOCKET ConnectToPeer(int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (const char* host = std::getenv("PARVEX_BENCH_HOST")) address.sin_addr.s_addr = inet_addr(host);
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

inline bool SendAll(SOCKET s, const char* data, size_t size) {
    while (size > 0) {
        int n = send(s, data, static_cast<int>(size), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The connection a bare loop speaks HTTP over.
class Channel {
public:
    virtual ~Channel() = default;
    virtual bool SendAll(const char* data, size_t size) = 0;
    // recv's contract: bytes received (> 0), 0 at the end, < 0 on failure.
    virtual int Recv(char* buffer, size_t size) = 0;
};

class PlainChannel : public Channel {
public:
    explicit PlainChannel(SOCKET s) : s_(s) {}
    bool SendAll(const char* data, size_t size) override { return bench::SendAll(s_, data, size); }
    int Recv(char* buffer, size_t size) override { return recv(s_, buffer, static_cast<int>(size), 0); }

private:
    SOCKET s_;
};

// Posts size bytes of in as one multipart file, reading and sending blocks
// of the given size, then reads the reply to its end: true when the server
// answered with the success token.
bool PostFile(Channel& channel, HANDLE in, long long size, size_t block);
// Fetches path into file, receiving and writing in blocks of the given size;
// the bytes of the body, or -1.
long long FetchFile(Channel& channel, const char* path, HANDLE file, size_t block);

}  // namespace parvex::bench
