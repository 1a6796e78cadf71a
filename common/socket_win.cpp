// WinSock, non-blocking underneath; SendAll and Recv wait in select.
// WSAStartup belongs to the module's start-up.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "socket.h"

namespace parvex {
namespace {

enum class Want { Read, Write, Connect };

// 1 when the socket is ready (or failed, for reads and writes), 0 after
// timeoutMs (negative: no limit), -1 on error or a failed connection.
int SelectFor(SOCKET s, Want want, int timeoutMs) {
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    fd_set* reads = want == Want::Read ? &set : nullptr;
    fd_set* writes = want == Want::Read ? nullptr : &set;
    int r = select(0, reads, writes, &failed, timeoutMs < 0 ? nullptr : &tv);
    if (r == SOCKET_ERROR) return -1;
    if (r == 0) return 0;
    if (want != Want::Connect) return 1;
    // A refused connection shows in the failure set; check the error too.
    int error = 0;
    int len = sizeof error;
    if (FD_ISSET(s, &failed) || getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0 ||
        error != 0)
        return -1;
    return 1;
}

class WinSocket : public Socket {
public:
    explicit WinSocket(SOCKET s) : s_(s) {}
    ~WinSocket() override { closesocket(s_); }
    bool SendAll(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            long n = SendSome(p, count);
            if (n < 0) return false;
            if (n == 0 && SelectFor(s_, Want::Write, -1) < 0) return false;
            p += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    long Recv(void* buffer, size_t count) override {
        int chunk = count > 0x10000000 ? 0x10000000 : static_cast<int>(count);
        for (;;) {
            int n = recv(s_, static_cast<char*>(buffer), chunk, 0);
            if (n != SOCKET_ERROR) return n;
            if (WSAGetLastError() != WSAEWOULDBLOCK || SelectFor(s_, Want::Read, -1) < 0) return -1;
        }
    }
    long RecvSome(void* buffer, size_t count) override {
        int chunk = count > 0x10000000 ? 0x10000000 : static_cast<int>(count);
        int n = recv(s_, static_cast<char*>(buffer), chunk, 0);
        if (n != SOCKET_ERROR) return n;
        return WSAGetLastError() == WSAEWOULDBLOCK ? kNothingArrived : -1;
    }
    long Available() override {
        u_long n = 0;
        return ioctlsocket(s_, FIONREAD, &n) == 0 ? static_cast<long>(n) : -1;
    }
    int WaitReadable(int timeoutMs) override { return SelectFor(s_, Want::Read, timeoutMs); }
    void Shutdown() override { shutdown(s_, SD_BOTH); }
    long SendSome(const void* data, size_t count) override {
        int chunk = count > 0x10000000 ? 0x10000000 : static_cast<int>(count);
        int n = send(s_, static_cast<const char*>(data), chunk, 0);
        if (n != SOCKET_ERROR) return n > 0 ? n : -1;
        return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    }
    int WaitWritable(int timeoutMs) override { return SelectFor(s_, Want::Write, timeoutMs); }
    void SetSendBuffer(int bytes) override {
        setsockopt(s_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    }
    int WaitConnected(int timeoutMs) override { return SelectFor(s_, Want::Connect, timeoutMs); }

private:
    SOCKET s_;
};

class WinNetwork : public Network {
public:
    bool Resolve(const std::string& host, NetAddress& address) override {
        if (host.empty()) return false;
        hostent* he = gethostbyname(host.c_str());
        if (!he || he->h_addrtype != AF_INET || !he->h_addr_list || !he->h_addr_list[0]) return false;
        std::memcpy(address.bytes, he->h_addr_list[0], 4);
        return true;
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        return ConnectBounded(*this, address, port, ServerWait(), kConnectTimeoutMs);
    }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return nullptr;
        setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBufferBytes), sizeof kSendBufferBytes);
        u_long nonBlocking = 1;
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        std::memcpy(&sin.sin_addr, address.bytes, 4);
        if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
            (connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == SOCKET_ERROR &&
             WSAGetLastError() != WSAEWOULDBLOCK)) {
            closesocket(s);
            return nullptr;
        }
        return std::make_unique<WinSocket>(s);
    }
};

}  // namespace

Network& PlatformNetwork() {
    static WinNetwork network;
    return network;
}

}  // namespace parvex
