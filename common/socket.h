// Blocking TCP sockets behind an interface: BSD sockets natively, WinSock in
// the module, scripted peers in tests.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include "platform_types.h"

namespace parvex {

class Socket {
public:
    virtual ~Socket() = default;
    // Sends every byte; false when the peer or the network failed.
    virtual bool SendAll(const void* data, size_t count) = 0;
    // Bytes received (> 0), 0 when the peer closed, -1 on error.
    virtual long Recv(void* buffer, size_t count) = 0;
    // Bytes waiting to be read (the FIONREAD query); -1 on error.
    virtual long Available() = 0;
    // 1 when bytes (or the peer's close) are waiting, 0 after timeoutMs, -1 on error.
    virtual int WaitReadable(int timeoutMs) = 0;
    // Shuts both directions down; the destructor closes.
    virtual void Shutdown() = 0;
};

class Network {
public:
    virtual ~Network() = default;
    // Resolves a host name (UTF-8) to its first IPv4 address.
    virtual bool Resolve(const std::string& host, NetAddress& address) = 0;
    // A connected socket, or null when the connection failed.
    virtual std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) = 0;
};

// BSD sockets natively, WinSock in the module (WSAStartup is the module's).
Network& PlatformNetwork();

}  // namespace parvex
