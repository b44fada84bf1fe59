#pragma once

// The socket calls Winsock and BSD sockets share word for word, written once.
// Only the platforms' Socket.cpp include this, after their system headers
// (ws2tcpip.h, or netdb.h and netinet/in.h), which declare what it uses.

#include <cstdint>
#include <string>

namespace BsdSocket {

// The first IPv4 address of host (a name or a dotted address), in network
// byte order. False when it cannot be resolved.
inline bool ResolveIpv4(const std::string& host, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

// The IPv4 peer at address (network byte order) and port.
inline sockaddr_in Ipv4Peer(std::uint32_t address, std::uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    return peer;
}

}  // namespace BsdSocket
