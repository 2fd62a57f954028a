// HTTP/1.0 POST with plain Winsock: no WinHTTP or WinINet, so it behaves the same in every environment
// the setup runs in. Only http:// URLs; https and anything unparsable fail.
#include "winsock.h"

#include "httppost.h"

namespace quellby {
namespace {

// The whole report, from the first connection attempt to the answer's status line: a server that answers
// a byte at a time cannot hold the caller (the uninstaller waits for the report).
constexpr ULONGLONG kDeadlineMs = 10000;

// The time left until a point on the tick counter, fixed when the report starts.
class Deadline {
public:
    explicit Deadline(ULONGLONG ms) : end_(::GetTickCount64() + ms) {}
    // Milliseconds left, 0 once the deadline passed.
    ULONGLONG Left() const {
        const ULONGLONG now = ::GetTickCount64();
        return now >= end_ ? 0 : end_ - now;
    }

private:
    ULONGLONG end_;
};

struct HttpTarget {
    std::string host;  // UTF-8, as the resolver takes it
    int port = 80;
    std::string path;  // starts with '/'
};

bool IsPlain(const std::wstring& text) {
    for (wchar_t c : text)
        if (c <= L' ' || c == 0x7F) return false;  // no spaces or controls may reach the request line
    return true;
}

bool ParsePort(const std::wstring& digits, int* port) {
    if (digits.empty() || digits.size() > 5) return false;
    int value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < 1 || value > 65535) return false;
    *port = value;
    return true;
}

bool ParseHttpUrl(const wchar_t* url, HttpTarget* out) {
    static const wchar_t kScheme[] = L"http://";
    const size_t schemeLength = sizeof(kScheme) / sizeof(kScheme[0]) - 1;
    if (!url || _wcsnicmp(url, kScheme, schemeLength) != 0) return false;
    std::wstring rest(url + schemeLength);
    rest = rest.substr(0, rest.find(L'#'));
    if (!IsPlain(rest)) return false;
    const size_t slash = rest.find(L'/');
    std::wstring authority = rest.substr(0, slash);
    const std::wstring path = slash == std::wstring::npos ? L"/" : rest.substr(slash);
    if (authority.find(L'@') != std::wstring::npos) return false;
    const size_t colon = authority.rfind(L':');
    if (colon != std::wstring::npos) {
        if (!ParsePort(authority.substr(colon + 1), &out->port)) return false;
        authority.resize(colon);
    }
    if (authority.empty()) return false;
    out->host = ToUtf8(authority.c_str());
    out->path = ToUtf8(path.c_str());
    return !out->host.empty() && !out->path.empty();
}

// Waits until the (non-blocking) socket may be written (`write`) or read, or has failed, within the time
// left; false when the deadline passes first or the socket failed.
bool WaitReady(SOCKET sock, bool write, const Deadline& deadline) {
    const ULONGLONG left = deadline.Left();
    if (left == 0) return false;
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(sock, &ready);
    FD_SET(sock, &failed);
    timeval limit = {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
    return ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &limit) > 0 &&
           !FD_ISSET(sock, &failed) && FD_ISSET(sock, &ready);
}

// Connects before the deadline; the socket stays non-blocking, for SendAll and ReadStatus.
bool ConnectWithin(SOCKET sock, const addrinfo* address, const Deadline& deadline) {
    u_long nonBlocking = 1;
    if (::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) return false;
    if (::connect(sock, address->ai_addr, static_cast<int>(address->ai_addrlen)) == SOCKET_ERROR &&
        ::WSAGetLastError() != WSAEWOULDBLOCK)
        return false;
    return WaitReady(sock, true, deadline);
}

bool SendAll(SOCKET sock, const std::string& bytes, const Deadline& deadline) {
    for (size_t done = 0; done < bytes.size();) {
        if (!WaitReady(sock, true, deadline)) return false;
        const int sent = ::send(sock, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

// The status code of the answer's first line ("HTTP/1.x NNN ..."), or 0.
int ReadStatus(SOCKET sock, const Deadline& deadline) {
    std::string head;
    char buffer[512];
    while (head.find("\r\n") == std::string::npos && head.size() < 4096) {
        if (!WaitReady(sock, false, deadline)) return 0;
        const int got = ::recv(sock, buffer, sizeof(buffer), 0);
        if (got == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (got <= 0) break;
        head.append(buffer, static_cast<size_t>(got));
    }
    if (head.compare(0, 5, "HTTP/") != 0) return 0;
    const size_t space = head.find(' ');
    if (space == std::string::npos || head.size() < space + 4) return 0;
    int status = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (head[i] < '0' || head[i] > '9') return 0;
        status = status * 10 + (head[i] - '0');
    }
    return status;
}

std::string Request(const HttpTarget& target, const std::string& contentType, const std::string& body) {
    std::string host = target.host;
    if (target.port != 80) host += ":" + std::to_string(target.port);
    return "POST " + target.path + " HTTP/1.0\r\nHost: " + host + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

std::string ToUtf8(const wchar_t* text) {
    if (!text || !*text) return std::string();
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], needed, nullptr, nullptr) != needed)
        return std::string();
    out.resize(static_cast<size_t>(needed) - 1);
    return out;
}

bool HttpPost(const std::wstring& url, const std::string& contentType, const std::string& body) {
    HttpTarget target;
    if (!ParseHttpUrl(url.c_str(), &target)) return false;
    const Deadline deadline(kDeadlineMs);  // the name's resolution counts as well
    WinsockSession winsock;
    if (!winsock.Ok()) return false;
    const ResolvedAddress address(target.host.c_str(), target.port, SOCK_STREAM);
    const std::string request = Request(target, contentType, body);
    for (const addrinfo* entry = address.First(); entry; entry = entry->ai_next) {
        const ScopedSocket sock(::socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol));
        if (!sock || !ConnectWithin(sock.Get(), entry, deadline)) continue;
        if (!SendAll(sock.Get(), request, deadline)) return false;
        const int status = ReadStatus(sock.Get(), deadline);
        return status >= 200 && status <= 299;
    }
    return false;
}

}  // namespace quellby
