// WinSock, non-blocking underneath; SendAll and Recv wait in select.
// WSAStartup belongs to the module's start-up.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "socket.h"
#include "socket_address.h"
#include "tls_win.h"
#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

enum class Want { Read, Write, Connect };

// SIO_IDEAL_SEND_BACKLOG_QUERY (mstcpip.h), which MinGW's headers lack.
constexpr DWORD kIdealSendBacklogQuery = _IOR('t', 123, ULONG);

// Wine answers the ideal send backlog with a fixed figure: there the send
// buffer follows the link's rate (Socket::IdealSendBacklog).
bool UnderWine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// 1 when the socket is ready (or failed, for reads and writes), 0 after
// timeoutMs (negative: no limit), -1 on error or a failed connection, with
// the system's error in *error.
int SelectFor(SOCKET s, Want want, int timeoutMs, int* error) {
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    fd_set* reads = want == Want::Read ? &set : nullptr;
    fd_set* writes = want == Want::Read ? nullptr : &set;
    int r = select(0, reads, writes, &failed, timeoutMs < 0 ? nullptr : &tv);
    if (r == SOCKET_ERROR) {
        *error = WSAGetLastError();
        return -1;
    }
    if (r == 0) return 0;
    if (want != Want::Connect) return 1;
    // A refused connection shows in the failure set and in the socket's error.
    int len = sizeof *error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(error), &len) != 0) {
        *error = WSAGetLastError();
        return -1;
    }
    if (*error != 0) return -1;
    if (FD_ISSET(s, &failed)) {
        *error = WSAECONNREFUSED;
        return -1;
    }
    return 1;
}

// Every failure is traced with the peer it concerned; the callers get -1 or
// IoStatus::Failed.
class WinSocket : public Socket {
public:
    WinSocket(SOCKET s, std::wstring peer) : s_(s), peer_(std::move(peer)) {}
    ~WinSocket() override { closesocket(s_); }
    bool SendAll(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            IoResult r = SendSome(p, count);
            if (r.status == IoStatus::Failed) return false;
            if (r.status == IoStatus::Later && Select(Want::Write, -1, L"send") < 0) return false;
            p += r.bytes;
            count -= r.bytes;
        }
        return true;
    }
    IoResult Recv(void* buffer, size_t count) override {
        for (;;) {
            IoResult r = RecvSome(buffer, count);
            if (r.status != IoStatus::Later) return r;
            if (Select(Want::Read, -1, L"recv") < 0) return IoResult::Failed();
        }
    }
    IoResult RecvSome(void* buffer, size_t count) override {
        int chunk = count > 0x10000000 ? 0x10000000 : static_cast<int>(count);
        int n = recv(s_, static_cast<char*>(buffer), chunk, 0);
        if (n != SOCKET_ERROR) return IoResult::Received(static_cast<size_t>(n));
        int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return IoResult::Later();
        Fail(L"recv", error);
        return IoResult::Failed();
    }
    long Available() override {
        u_long n = 0;
        return ioctlsocket(s_, FIONREAD, &n) == 0 ? static_cast<long>(n) : Fail(L"FIONREAD", WSAGetLastError());
    }
    int WaitReadable(int timeoutMs) override { return Select(Want::Read, timeoutMs, L"wait to recv"); }
    void Shutdown() override { shutdown(s_, SD_BOTH); }
    IoResult SendSome(const void* data, size_t count) override {
        int chunk = count > 0x10000000 ? 0x10000000 : static_cast<int>(count);
        int n = send(s_, static_cast<const char*>(data), chunk, 0);
        if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
        int error = WSAGetLastError();
        if (n == SOCKET_ERROR && error == WSAEWOULDBLOCK) return IoResult::Later();
        Fail(L"send", error);
        return IoResult::Failed();
    }
    int WaitWritable(int timeoutMs) override { return Select(Want::Write, timeoutMs, L"wait to send"); }
    void SetSendBuffer(int bytes) override {
        setsockopt(s_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    }
    long IdealSendBacklog() override {
        if (UnderWine()) return kFollowTheRate;
        ULONG ideal = 0;
        DWORD bytes = 0;
        if (WSAIoctl(s_, kIdealSendBacklogQuery, nullptr, 0, &ideal, sizeof ideal, &bytes, nullptr, nullptr) != 0)
            return kSizedBySystem;
        return static_cast<long>(ideal);
    }
    int WaitConnected(int timeoutMs) override { return Select(Want::Connect, timeoutMs, L"connect"); }

private:
    int Fail(const wchar_t* operation, int error) {
        TraceFailure(operation, peer_, error);
        return -1;
    }
    int Select(Want want, int timeoutMs, const wchar_t* operation) {
        int error = 0;
        int r = SelectFor(s_, want, timeoutMs, &error);
        return r < 0 ? Fail(operation, error) : r;
    }

    SOCKET s_;
    std::wstring peer_;  // host:port, for the trace
};

class WinNetwork : public Network {
public:
    bool Resolve(const std::string& host, std::vector<NetAddress>& addresses) override {
        addresses.clear();
        if (host.empty()) return false;
        std::wstring name = FromUtf8(host);
        ADDRINFOW hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        ADDRINFOW* found = nullptr;
        int r = GetAddrInfoW(name.c_str(), nullptr, &hints, &found);
        if (r != 0) {
            TraceFailure(L"resolve", name, r);
            return false;
        }
        for (const ADDRINFOW* a = found; a; a = a->ai_next) {
            NetAddress address;
            if (FromSocketAddress(a->ai_family, a->ai_addr, address)) addresses.push_back(address);
        }
        FreeAddrInfoW(found);
        return !addresses.empty();
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        return ConnectBounded(*this, address, port, ServerWait(), kConnectTimeoutMs);
    }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        std::wstring peer = HostPortText(address, port);
        SOCKET s = socket(address.family == 6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            TraceFailure(L"socket for", peer, WSAGetLastError());
            return nullptr;
        }
        if (UnderWine())
            setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBufferBytes),
                       sizeof kSendBufferBytes);
        u_long nonBlocking = 1;
        sockaddr_storage to;
        int length = ToSocketAddress(address, port, to);
        if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
            (connect(s, reinterpret_cast<sockaddr*>(&to), length) == SOCKET_ERROR &&
             WSAGetLastError() != WSAEWOULDBLOCK)) {
            TraceFailure(L"connect", peer, WSAGetLastError());
            closesocket(s);
            return nullptr;
        }
        return std::make_unique<WinSocket>(s, std::move(peer));
    }
    std::unique_ptr<TlsSession> StartTls(const std::string& host) override { return StartSchannelSession(host); }
};

}  // namespace

Network& PlatformNetwork() {
    static WinNetwork network;
    return network;
}

}  // namespace parvex
