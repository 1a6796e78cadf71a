// Socket addresses of both families to and from NetAddress, for the two
// socket adapters: BSD sockets and WinSock lay them out alike. Include it
// after the platform's own socket headers.
#pragma once
#include <cstring>

#include "platform_types.h"

namespace parvex {

// The socket address of address:port in storage; its length.
inline int ToSocketAddress(const NetAddress& address, uint16_t port, sockaddr_storage& storage) {
    std::memset(&storage, 0, sizeof storage);
    if (address.family == 6) {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&storage);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = htons(port);
        std::memcpy(&sin6->sin6_addr, address.bytes, 16);
        return sizeof *sin6;
    }
    auto* sin = reinterpret_cast<sockaddr_in*>(&storage);
    sin->sin_family = AF_INET;
    sin->sin_port = htons(port);
    std::memcpy(&sin->sin_addr, address.bytes, 4);
    return sizeof *sin;
}

// The address of a resolver's answer; false for a family other than IPv4
// and IPv6.
inline bool FromSocketAddress(int family, const sockaddr* from, NetAddress& address) {
    address = NetAddress();
    if (family == AF_INET6) {
        address.family = 6;
        std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in6*>(from)->sin6_addr, 16);
        return true;
    }
    if (family != AF_INET) return false;
    std::memcpy(address.bytes, &reinterpret_cast<const sockaddr_in*>(from)->sin_addr, 4);
    return true;
}

}  // namespace parvex
