// Loopback statistics receiver.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "reportlistener.h"

#include <cstdlib>
#include <utility>

namespace orv {
namespace test {
namespace {

class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ::ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

SOCKET BoundSocket(int type, int protocol, unsigned short port) {
    SOCKET s = ::socket(AF_INET, type, protocol);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Reads one HTTP request: headers up to the blank line, then Content-Length bytes of body.
bool ReadRequest(SOCKET client, HttpPost* post) {
    std::string data;
    char buffer[4096];
    size_t headerEnd = std::string::npos;
    size_t need = 0;
    for (;;) {
        if (headerEnd == std::string::npos) {
            headerEnd = data.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const std::string head = data.substr(0, headerEnd);
                const size_t at = head.find("Content-Length:");
                need = at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10);
            }
        }
        if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + need) break;
        const int n = ::recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) return false;
        data.append(buffer, n);
    }
    const size_t lineEnd = data.find("\r\n");
    post->requestLine = data.substr(0, lineEnd);
    post->headers = data.substr(lineEnd + 2, headerEnd - lineEnd - 2);
    post->body = data.substr(headerEnd + 4, need);
    return true;
}

}  // namespace

ReportListener::ReportListener(unsigned short port, std::string answer) : answer_(std::move(answer)) {
    WSADATA data;
    wsa_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    if (!wsa_) return;
    tcp_ = BoundSocket(SOCK_STREAM, IPPROTO_TCP, port);
    sockaddr_in bound{};
    int size = sizeof(bound);
    if (tcp_ != INVALID_SOCKET && ::getsockname(tcp_, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
        port_ = ntohs(bound.sin_port);
    udp_ = BoundSocket(SOCK_DGRAM, IPPROTO_UDP, port_);
    ok_ = port_ != 0 && udp_ != INVALID_SOCKET && tcp_ != INVALID_SOCKET && ::listen(tcp_, 8) == 0;
    if (ok_) thread_.Reset(::CreateThread(nullptr, 0, ServeThread, this, 0, nullptr));
    ok_ = thread_.Valid();
}

ReportListener::~ReportListener() {
    stop_ = true;
    if (thread_) ::WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
    if (udp_ != INVALID_SOCKET) ::closesocket(udp_);
    if (tcp_ != INVALID_SOCKET) ::closesocket(tcp_);
    if (wsa_) ::WSACleanup();
}

DWORD WINAPI ReportListener::ServeThread(void* self) {
    static_cast<ReportListener*>(self)->Serve();
    return 0;
}

void ReportListener::Serve() {
    while (!stop_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(udp_, &readable);
        FD_SET(tcp_, &readable);
        timeval wait{0, 100000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        if (FD_ISSET(udp_, &readable)) {
            char buffer[2048];
            const int n = ::recv(udp_, buffer, sizeof(buffer), 0);
            if (n > 0) {
                Locked locked(lock_);
                datagrams_.emplace_back(buffer, n);
            }
        }
        if (FD_ISSET(tcp_, &readable)) {
            SOCKET client = ::accept(tcp_, nullptr, nullptr);
            if (client != INVALID_SOCKET) {
                Answer(client);
                ::closesocket(client);
            }
        }
    }
}

void ReportListener::Answer(uintptr_t client) {
    DWORD timeout = 5000;
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    HttpPost post;
    if (!ReadRequest(client, &post)) return;
    ::send(client, answer_.data(), static_cast<int>(answer_.size()), 0);
    Locked locked(lock_);
    posts_.push_back(post);
}

std::vector<std::string> ReportListener::Datagrams() const {
    Locked locked(lock_);
    return datagrams_;
}

std::vector<HttpPost> ReportListener::Posts() const {
    Locked locked(lock_);
    return posts_;
}

bool ReportListener::WaitFor(size_t datagrams, size_t posts, unsigned timeoutMs) const {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        {
            Locked locked(lock_);
            if (datagrams_.size() >= datagrams && posts_.size() >= posts) return true;
        }
        if (::GetTickCount64() >= end) return false;
        ::Sleep(50);
    }
}

void ReportListener::Clear() {
    Locked locked(lock_);
    datagrams_.clear();
    posts_.clear();
}

}  // namespace test
}  // namespace orv
