// vektostat.dll: the product's statistics client. The setup script stores who and what is being installed,
// then reports an install kind as one UDP datagram (through udp_vekto.dll) or as an HTTP POST.
// The report text is "kind=<kind>&unionid=<id>&appid=<id>&version=<a>.<b>.<c>.<d>&level=<level>".
// All exports are stdcall under their plain names; the script calls them from one thread.
#include "winsock.h"

#include <cstdio>
#include <memory>

#include "httppost.h"
#include "udp_vekto.h"

#define VEKTOSTAT_API extern "C" __declspec(dllexport)

namespace {

struct Settings {
    int unionId = 0;
    int appId = 0;
    int level = 0;
    int version[4] = {};
    std::string host;  // UTF-8; empty: no address yet
    int port = 0;
    int kind = 0;      // of the last stat_install
};

Settings g_settings;
// Held from stat_init to stat_close.
std::unique_ptr<quellby::WinsockSession> g_winsock;

bool HasAddress() { return !g_settings.host.empty() && g_settings.port >= 1 && g_settings.port <= 65535; }

std::string ReportText() {
    const Settings& s = g_settings;
    char text[160];
    const int length = std::snprintf(text, sizeof(text), "kind=%d&unionid=%d&appid=%d&version=%d.%d.%d.%d&level=%d",
                                     s.kind, s.unionId, s.appId, s.version[0], s.version[1], s.version[2],
                                     s.version[3], s.level);
    return length > 0 && static_cast<size_t>(length) < sizeof(text) ? std::string(text, static_cast<size_t>(length))
                                                                     : std::string();
}

}  // namespace

VEKTOSTAT_API void WINAPI stat_unionid(int id) { g_settings.unionId = id; }
VEKTOSTAT_API void WINAPI stat_appid(int id) { g_settings.appId = id; }
VEKTOSTAT_API void WINAPI stat_level(int level) { g_settings.level = level; }

VEKTOSTAT_API void WINAPI stat_version_ex(int a, int b, int c, int d) {
    g_settings.version[0] = a;
    g_settings.version[1] = b;
    g_settings.version[2] = c;
    g_settings.version[3] = d;
}

// The report's destination; a NULL host clears it.
VEKTOSTAT_API void WINAPI stat_install_addr(const wchar_t* host, int port) {
    g_settings.host = quellby::ToUtf8(host);
    g_settings.port = host ? port : 0;
}

// TRUE when Winsock is ready. The address may be set before or after: the install report sets it first,
// the uninstall report afterwards; a report without one is not sent.
VEKTOSTAT_API BOOL WINAPI stat_init(void) {
    if (!g_winsock) {
        auto session = std::make_unique<quellby::WinsockSession>();
        if (!session->Ok()) return FALSE;
        g_winsock = std::move(session);
    }
    return TRUE;
}

// Reports install `kind` in one datagram to the stored address. 1 when it was sent whole, else 0.
VEKTOSTAT_API int WINAPI stat_install(int kind) {
    g_settings.kind = kind;
    if (!HasAddress()) return 0;
    const std::string text = ReportText();
    if (text.empty()) return 0;
    const int length = static_cast<int>(text.size());
    return udp_send(g_settings.host.c_str(), g_settings.port, text.data(), length) == length ? 1 : 0;
}

// POSTs `body` (UTF-16, sent as UTF-8 JSON; bodyBytes, the caller's count of those bytes, is not needed)
// or, without a body, the report text as a form. Always waits for the answer. 1 for a 2xx answer, else 0.
VEKTOSTAT_API int WINAPI stat_http_post(const wchar_t* url, const wchar_t* body, int bodyBytes, BOOL wait) {
    if (!url) return 0;
    if (body) return quellby::HttpPost(url, "application/json; charset=utf-8", quellby::ToUtf8(body)) ? 1 : 0;
    return quellby::HttpPost(url, "application/x-www-form-urlencoded", ReportText()) ? 1 : 0;
}

VEKTOSTAT_API void WINAPI stat_close(void) {
    g_settings = Settings();
    g_winsock.reset();
}
