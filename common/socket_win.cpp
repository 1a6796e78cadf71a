// WinSock. WSAStartup belongs to the module's start-up.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "socket.h"

namespace parvex {
namespace {

class WinSocket : public Socket {
public:
    explicit WinSocket(SOCKET s) : s_(s) {}
    ~WinSocket() override { closesocket(s_); }
    bool SendAll(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            int chunk = count > 0x10000000 ? 0x10000000 : static_cast<int>(count);
            int n = send(s_, p, chunk, 0);
            if (n == SOCKET_ERROR || n == 0) return false;
            p += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    long Recv(void* buffer, size_t count) override {
        int n = recv(s_, static_cast<char*>(buffer), static_cast<int>(count), 0);
        return n == SOCKET_ERROR ? -1 : n;
    }
    long Available() override {
        u_long n = 0;
        return ioctlsocket(s_, FIONREAD, &n) == 0 ? static_cast<long>(n) : -1;
    }
    int WaitReadable(int timeoutMs) override {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s_, &set);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int r = select(0, &set, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv);
        if (r == SOCKET_ERROR) return -1;
        return r > 0 ? 1 : 0;
    }
    void Shutdown() override { shutdown(s_, SD_BOTH); }

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
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return nullptr;
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        std::memcpy(&sin.sin_addr, address.bytes, 4);
        if (connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == SOCKET_ERROR) {
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
