#include "platform/HostNames.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace tarnwick {

std::optional<std::uint32_t> ResolveIpv4(const std::string& host) {
    // Winsock counts its users: this call's start and end leave the script server's alone.
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    std::optional<std::uint32_t> address;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        address = ntohl(in->sin_addr.s_addr);
        freeaddrinfo(found);
    }
    WSACleanup();
    return address;
}

} // namespace tarnwick
