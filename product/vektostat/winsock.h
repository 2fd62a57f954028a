// Winsock pieces the statistics DLLs share: a session, a socket and a resolved address list, each released
// when its scope ends.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace quellby {

// Balances a successful WSAStartup (Winsock counts them).
class WinsockSession {
public:
    WinsockSession() : ok_(::WSAStartup(MAKEWORD(2, 2), &data_) == 0) {}
    ~WinsockSession() {
        if (ok_) ::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool Ok() const { return ok_; }

private:
    WSADATA data_;
    bool ok_;
};

class ScopedSocket {
public:
    explicit ScopedSocket(SOCKET s) : s_(s) {}
    ~ScopedSocket() {
        if (s_ != INVALID_SOCKET) ::closesocket(s_);
    }
    ScopedSocket(const ScopedSocket&) = delete;
    ScopedSocket& operator=(const ScopedSocket&) = delete;
    SOCKET Get() const { return s_; }
    explicit operator bool() const { return s_ != INVALID_SOCKET; }

private:
    SOCKET s_;
};

// The addresses of host:port (port 1..65535) for one kind of socket (SOCK_DGRAM or SOCK_STREAM); empty when the name does
// not resolve.
class ResolvedAddress {
public:
    ResolvedAddress(const char* host, int port, int socketType) {
        addrinfo hints = {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = socketType;
        hints.ai_flags = AI_NUMERICSERV;
        char service[8] = {};  // the port in decimal, written from the end
        size_t at = sizeof(service) - 1;
        for (unsigned value = static_cast<unsigned>(port); at > 0;) {
            service[--at] = static_cast<char>('0' + value % 10);
            value /= 10;
            if (value == 0) break;
        }
        if (::getaddrinfo(host, service + at, &hints, &list_) != 0) list_ = nullptr;
    }
    ~ResolvedAddress() {
        if (list_) ::freeaddrinfo(list_);
    }
    ResolvedAddress(const ResolvedAddress&) = delete;
    ResolvedAddress& operator=(const ResolvedAddress&) = delete;
    const addrinfo* First() const { return list_; }

private:
    addrinfo* list_ = nullptr;
};

}  // namespace quellby
