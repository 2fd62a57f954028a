// udp_vekto.dll: sends one UDP datagram to a host by name or address. The statistics client's transport.
#include "winsock.h"

#define UDP_VEKTO_BUILD
#include "udp_vekto.h"

UDP_VEKTO_API int WINAPI udp_send(const char* host, int port, const char* data, int length) {
    if (!host || !*host || port < 1 || port > 65535 || length < 0 || (!data && length > 0)) return -1;
    quellby::WinsockSession winsock;
    if (!winsock.Ok()) return -1;
    const quellby::ResolvedAddress address(host, port, SOCK_DGRAM);
    for (const addrinfo* entry = address.First(); entry; entry = entry->ai_next) {
        const quellby::ScopedSocket sock(::socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol));
        if (!sock) continue;
        const int sent = ::sendto(sock.Get(), data, length, 0, entry->ai_addr, static_cast<int>(entry->ai_addrlen));
        if (sent != SOCKET_ERROR) return sent;
    }
    return -1;
}
