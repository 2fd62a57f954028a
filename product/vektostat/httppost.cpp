// HTTP/1.0 POST with plain Winsock: no WinHTTP or WinINet, so it behaves the same in every environment
// the setup runs in. Only http:// URLs; https and anything unparsable fail.
#include "winsock.h"

#include "httppost.h"

namespace quellby {
namespace {

constexpr DWORD kTimeoutMs = 5000;

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

// Connects within the time bound; the socket is blocking again afterwards.
bool ConnectWithin(SOCKET sock, const addrinfo* address) {
    u_long nonBlocking = 1;
    if (::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) return false;
    if (::connect(sock, address->ai_addr, static_cast<int>(address->ai_addrlen)) == SOCKET_ERROR &&
        ::WSAGetLastError() != WSAEWOULDBLOCK)
        return false;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(sock, &writable);
    FD_SET(sock, &failed);
    timeval limit = {static_cast<long>(kTimeoutMs / 1000), 0};
    if (::select(0, nullptr, &writable, &failed, &limit) <= 0 || FD_ISSET(sock, &failed) ||
        !FD_ISSET(sock, &writable))
        return false;
    nonBlocking = 0;
    if (::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) return false;
    const DWORD timeout = kTimeoutMs;
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    return true;
}

bool SendAll(SOCKET sock, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const int sent = ::send(sock, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

// The status code of the answer's first line ("HTTP/1.x NNN ..."), or 0.
int ReadStatus(SOCKET sock) {
    std::string head;
    char buffer[512];
    while (head.find("\r\n") == std::string::npos && head.size() < 4096) {
        const int got = ::recv(sock, buffer, sizeof(buffer), 0);
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
    WinsockSession winsock;
    if (!winsock.Ok()) return false;
    const ResolvedAddress address(target.host.c_str(), target.port, SOCK_STREAM);
    const std::string request = Request(target, contentType, body);
    for (const addrinfo* entry = address.First(); entry; entry = entry->ai_next) {
        const ScopedSocket sock(::socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol));
        if (!sock || !ConnectWithin(sock.Get(), entry)) continue;
        if (!SendAll(sock.Get(), request)) return false;
        const int status = ReadStatus(sock.Get());
        return status >= 200 && status <= 299;
    }
    return false;
}

}  // namespace quellby
