// A loopback receiver for the product's statistics reports: UDP datagrams and HTTP posts on one port of
// 127.0.0.1, collected on a background thread until the listener goes away.
#pragma once

#include <windows.h>

#include <cstdint>

#include <string>
#include <vector>

#include "utility/uniquehandle.h"

namespace orv {
namespace test {

struct HttpPost {
    std::string requestLine;  // "POST /api/InstallStat HTTP/1.0"
    std::string headers;
    std::string body;
    // The request as it came over the wire.
    std::string Raw() const { return requestLine + "\r\n" + headers + "\r\n\r\n" + body; }
};

class ReportListener {
public:
    // Binds both protocols on 127.0.0.1:`port` (0: a free one; see Port()), answering every post with
    // `answer`; Ok() says whether that worked.
    explicit ReportListener(unsigned short port,
                            std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    ~ReportListener();
    ReportListener(const ReportListener&) = delete;
    ReportListener& operator=(const ReportListener&) = delete;

    bool Ok() const { return ok_; }
    unsigned short Port() const { return port_; }
    std::vector<std::string> Datagrams() const;
    std::vector<HttpPost> Posts() const;
    // Waits up to timeoutMs until at least `datagrams` datagrams and `posts` posts arrived.
    bool WaitFor(size_t datagrams, size_t posts, unsigned timeoutMs) const;
    void Clear();

private:
    static DWORD WINAPI ServeThread(void* self);
    void Serve();
    void Answer(uintptr_t client);  // a SOCKET: winsock2.h stays out of the header

    bool ok_ = false;
    unsigned short port_ = 0;
    std::string answer_;
    bool wsa_ = false;
    uintptr_t udp_ = ~uintptr_t(0);  // SOCKETs, INVALID_SOCKET when not open
    uintptr_t tcp_ = ~uintptr_t(0);
    volatile bool stop_ = false;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<std::string> datagrams_;
    std::vector<HttpPost> posts_;
    UniqueHandle thread_;
};

}  // namespace test
}  // namespace orv
