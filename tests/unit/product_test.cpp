// The sample product's payload, run from the payload folder: the helper DLL's shortcuts and folder rights,
// the statistics client's datagram and HTTP report, the service's installation, the main program's
// second start.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "fsutil.h"
#include "reportlistener.h"
#include "utility/scopeguard.h"
#include "utility/uniquehandle.h"
#include "windowprobe.h"

namespace {

using orv::test::FileExists;

// A payload file's full path (the folder sits relative to the test program).
std::wstring PayloadFile(const wchar_t* name) {
    const std::wstring relative = orv::test::ExeDirectory() + L"\\" + ORV_PRODUCT_PAYLOAD + L"\\" + name;
    wchar_t full[MAX_PATH];
    const DWORD length = ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : relative;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// A payload DLL; its own imports are found beside it.
class PayloadDll {
public:
    explicit PayloadDll(const wchar_t* name)
        : module_(::LoadLibraryExW(PayloadFile(name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {}
    bool Ok() const { return module_.Valid(); }
    // The export of that plain name (what a 32-bit caller finds only when the name is undecorated).
    template <typename Fn>
    Fn Get(const char* name) const {
        return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module_.Get(), name)))
                       : nullptr;
    }

private:
    orv::UniqueHModule module_;
};

// The payload DLLs stay loaded for the whole program: a 32-bit DLL's C runtime makes a lock each time it
// is loaded afresh and never closes it, so a test that loaded one first would seem to leak that handle.
class PayloadDllsStayLoaded : public ::testing::Environment {
public:
    void SetUp() override {
        for (const wchar_t* name : {L"func_helper.dll", L"vektostat.dll"}) kept_.emplace_back(name);
    }

private:
    std::vector<PayloadDll> kept_;
};
::testing::Environment* const g_payloadDlls = ::testing::AddGlobalTestEnvironment(new PayloadDllsStayLoaded);

// Starts a program; its exit code within timeoutMs, or -1.
long RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
        return -1;
    const orv::UniqueHandle process(info.hProcess), thread(info.hThread);
    DWORD code = 0;
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.Get(), &code)) {
        ::TerminateProcess(process.Get(), 99);
        return -1;
    }
    return static_cast<long>(code);
}

std::wstring LinkTarget(const std::wstring& linkPath, std::wstring* workingFolder) {
    orv::ComInit com;
    orv::ComRef<IShellLinkW> link;
    orv::ComRef<IPersistFile> file;
    wchar_t target[MAX_PATH] = L"", folder[MAX_PATH] = L"";
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Put())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Put())) || FAILED(file->Load(linkPath.c_str(), STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
        FAILED(link->GetWorkingDirectory(folder, MAX_PATH)))
        return std::wstring();
    *workingFolder = folder;
    return target;
}

using ShortcutFn = void(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*);
using UnpinFn = void(WINAPI*)(const wchar_t*);
using RightsFn = BOOL(WINAPI*)(const wchar_t*);

TEST(ProductHelper, DesktopAndTaskbarShortcutsPointToTheProgramAndUnpinDeletesThem) {
    PayloadDll helper(L"func_helper.dll");
    ASSERT_TRUE(helper.Ok());
    const auto desktopShortcut = helper.Get<ShortcutFn>("CreateDesktopShortcut");
    const auto taskbarShortcut = helper.Get<ShortcutFn>("CreateTaskbarShortcut");
    const auto unpin = helper.Get<UnpinFn>("UnpinFromTaskbar");
    ASSERT_TRUE(desktopShortcut && taskbarShortcut && unpin);
    const std::wstring program = PayloadFile(L"Quellby.exe");
    const std::wstring name = L"奎比测试" + std::to_wstring(::GetCurrentProcessId());
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)));
    const std::wstring desktopLink = std::wstring(desktop) + L"\\" + name + L".lnk";
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    const std::wstring pinned = L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\" + name + L".lnk";
    const std::wstring taskbarLink = appData + pinned;
    const auto cleanup = orv::MakeScopeExit([&] {
        ::DeleteFileW(desktopLink.c_str());
        ::DeleteFileW(taskbarLink.c_str());
    });

    desktopShortcut(nullptr, L"QuellbyWnd", name.c_str());
    desktopShortcut(program.c_str(), L"QuellbyWnd", nullptr);
    EXPECT_FALSE(FileExists(desktopLink));
    desktopShortcut(program.c_str(), L"QuellbyWnd", name.c_str());
    std::wstring folder;
    EXPECT_EQ(LinkTarget(desktopLink, &folder), program);
    EXPECT_EQ(folder, FolderOf(program));

    taskbarShortcut(program.c_str(), L"QuellbyWnd", name.c_str());
    EXPECT_EQ(LinkTarget(taskbarLink, &folder), program);
    EXPECT_EQ(::FindWindowW(L"QuellbyWnd", nullptr), nullptr) << "the pin verb started the program";
    unpin((L"%APPDATA%" + pinned).c_str());
    EXPECT_FALSE(FileExists(taskbarLink));
    unpin((L"%APPDATA%" + pinned).c_str());  // gone already
    unpin(nullptr);
    unpin(desktopLink.c_str());  // any shortcut
    EXPECT_FALSE(FileExists(desktopLink));
}

// The Users group may change the folder; a missing folder or none fails. (Wine keeps no file DACLs of its
// own, it derives them from the Unix mode, so what was granted cannot be read back here.)
TEST(ProductHelper, AccountPrivilegeNeedsAnExistingFolder) {
    PayloadDll helper(L"func_helper.dll");
    const auto allow = helper.Get<RightsFn>("AllowAccountPrivilege");
    ASSERT_TRUE(allow);
    orv::test::TempDir dir(L"orvrights");
    ASSERT_TRUE(dir.Ok());
    EXPECT_FALSE(allow(nullptr));
    EXPECT_FALSE(allow(dir.Sub(L"missing").c_str()));
    EXPECT_TRUE(allow(dir.Path().c_str()));
}

// Winsock for the test's own sockets.
class Winsock {
public:
    Winsock() : ok_(::WSAStartup(MAKEWORD(2, 2), &data_) == 0) {}
    ~Winsock() {
        if (ok_) ::WSACleanup();
    }
    bool Ok() const { return ok_; }

private:
    WSADATA data_;
    bool ok_;
};

// A socket bound to 127.0.0.1 on a port the system picks; closed at the end.
class LocalSocket {
public:
    explicit LocalSocket(int type) : s_(::socket(AF_INET, type, 0)) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof(address);
        if (s_ == INVALID_SOCKET || ::bind(s_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::getsockname(s_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        const DWORD timeout = 5000;
        ::setsockopt(s_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    }
    ~LocalSocket() { Close(); }
    void Close() {
        if (s_ != INVALID_SOCKET) ::closesocket(s_);
        s_ = INVALID_SOCKET;
    }
    SOCKET Get() const { return s_; }
    int Port() const { return port_; }

private:
    SOCKET s_;
    int port_ = 0;
};

// Accepts one connection and answers it with a success, one byte every two seconds.
class TricklingServer {
public:
    TricklingServer() {
        if (listener_.Port() != 0 && ::listen(listener_.Get(), 1) == 0)
            thread_.Reset(::CreateThread(nullptr, 0, Serve, this, 0, nullptr));
    }
    ~TricklingServer() {
        ::SetEvent(stop_.Get());
        if (thread_) ::WaitForSingleObject(thread_.Get(), INFINITE);
    }
    int Port() const { return thread_ ? listener_.Port() : 0; }

private:
    static DWORD WINAPI Serve(void* self) {
        auto* server = static_cast<TricklingServer*>(self);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(server->listener_.Get(), &readable);
        timeval limit = {15, 0};
        if (::select(0, &readable, nullptr, nullptr, &limit) != 1) return 0;
        const SOCKET client = ::accept(server->listener_.Get(), nullptr, nullptr);
        const char answer[] = "HTTP/1.0 200 OK\r\n\r\n";
        for (const char* c = answer; *c && ::WaitForSingleObject(server->stop_.Get(), 2000) == WAIT_TIMEOUT; ++c)
            if (::send(client, c, 1, 0) != 1) break;
        ::closesocket(client);
        return 0;
    }

    LocalSocket listener_{SOCK_STREAM};
    orv::UniqueHandle stop_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    orv::UniqueHandle thread_;
};

struct Vektostat {
    PayloadDll dll{L"vektostat.dll"};
    void(WINAPI* unionId)(int) = dll.Get<void(WINAPI*)(int)>("stat_unionid");
    void(WINAPI* appId)(int) = dll.Get<void(WINAPI*)(int)>("stat_appid");
    void(WINAPI* level)(int) = dll.Get<void(WINAPI*)(int)>("stat_level");
    void(WINAPI* version)(int, int, int, int) = dll.Get<void(WINAPI*)(int, int, int, int)>("stat_version_ex");
    void(WINAPI* address)(const wchar_t*, int) = dll.Get<void(WINAPI*)(const wchar_t*, int)>("stat_install_addr");
    BOOL(WINAPI* init)() = dll.Get<BOOL(WINAPI*)()>("stat_init");
    int(WINAPI* install)(int) = dll.Get<int(WINAPI*)(int)>("stat_install");
    int(WINAPI* post)(const wchar_t*, const wchar_t*, int, BOOL) =
        dll.Get<int(WINAPI*)(const wchar_t*, const wchar_t*, int, BOOL)>("stat_http_post");
    void(WINAPI* close)() = dll.Get<void(WINAPI*)()>("stat_close");

    bool Ok() const {
        return unionId && appId && level && version && address && init && install && post && close;
    }
    void Describe() {
        unionId(1001);
        appId(-5);
        level(2);
        version(3, 0, 0, 32);
    }
};

TEST(ProductStatistics, InstallReportIsOneDatagramToTheStoredAddress) {
    Winsock winsock;
    ASSERT_TRUE(winsock.Ok());
    LocalSocket receiver(SOCK_DGRAM);
    ASSERT_NE(receiver.Port(), 0);
    Vektostat stat;
    ASSERT_TRUE(stat.Ok());
    const auto closeStat = orv::MakeScopeExit([&] { stat.close(); });

    stat.close();
    EXPECT_TRUE(stat.init());  // the address may follow
    EXPECT_EQ(stat.install(1), 0);
    stat.address(L"127.0.0.1", 0);
    EXPECT_EQ(stat.install(1), 0);
    stat.Describe();
    stat.address(L"127.0.0.1", receiver.Port());
    EXPECT_TRUE(stat.init());
    EXPECT_EQ(stat.install(7), 1);
    char datagram[512];
    const int got = ::recv(receiver.Get(), datagram, sizeof(datagram), 0);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(datagram, static_cast<size_t>(got)), "kind=7&unionid=1001&appid=-5&version=3.0.0.32&level=2");
    stat.address(nullptr, receiver.Port());
    EXPECT_EQ(stat.install(7), 0);
}

TEST(ProductStatistics, HttpPostSendsUtf8JsonOrTheReportAndReadsTheStatus) {
    Winsock winsock;
    ASSERT_TRUE(winsock.Ok());
    Vektostat stat;
    ASSERT_TRUE(stat.Ok());
    const auto closeStat = orv::MakeScopeExit([&] { stat.close(); });
    stat.close();
    stat.Describe();
    stat.install(4);  // no address: nothing sent, the kind is kept for the report

    const std::string json = u8"{\"产品\":\"奎比桌面\",\"n\":1}";
    {
        orv::test::ReportListener server(0, "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
        ASSERT_TRUE(server.Ok());
        const std::wstring port = std::to_wstring(server.Port());
        const std::wstring url = L"http://127.0.0.1:" + port + L"/report/install?v=3";
        EXPECT_EQ(stat.post(url.c_str(), L"{\"产品\":\"奎比桌面\",\"n\":1}", static_cast<int>(json.size()), TRUE), 1);
        ASSERT_TRUE(server.WaitFor(0, 1, 5000));
        EXPECT_EQ(server.Posts()[0].Raw(), "POST /report/install?v=3 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                                        "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
                                        std::to_string(json.size()) + "\r\n\r\n" + json);
    }
    {
        orv::test::ReportListener server(0, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
        ASSERT_TRUE(server.Ok());
        const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.Port());
        EXPECT_EQ(stat.post(url.c_str(), nullptr, 0, FALSE), 0);
        const std::string report = "kind=4&unionid=1001&appid=-5&version=3.0.0.32&level=2";
        ASSERT_TRUE(server.WaitFor(0, 1, 5000));
        EXPECT_EQ(server.Posts()[0].Raw(), "POST / HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                                        "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                        std::to_string(report.size()) + "\r\n\r\n" + report);
    }
    LocalSocket closed(SOCK_STREAM);  // bound, never listening: the connection is refused
    const std::wstring port = std::to_wstring(closed.Port());
    EXPECT_EQ(stat.post((L"http://127.0.0.1:" + port + L"/").c_str(), nullptr, 0, TRUE), 0);
    EXPECT_EQ(stat.post((L"https://127.0.0.1:" + port + L"/").c_str(), nullptr, 0, TRUE), 0);
    EXPECT_EQ(stat.post(L"http://:80/", nullptr, 0, TRUE), 0);
    EXPECT_EQ(stat.post(nullptr, nullptr, 0, TRUE), 0);
}

// A server that answers a byte at a time cannot hold the report: it gives up after its overall deadline.
TEST(ProductStatistics, HttpPostGivesUpOnATricklingServer) {
    Winsock winsock;
    ASSERT_TRUE(winsock.Ok());
    Vektostat stat;
    ASSERT_TRUE(stat.Ok());
    TricklingServer server;
    ASSERT_NE(server.Port(), 0);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(stat.post((L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/").c_str(), nullptr, 0, TRUE), 0);
    EXPECT_LT(::GetTickCount() - start, 13000u);
}

// Stops and deletes the product's service when the test ends.
class ServiceCleanup {
public:
    explicit ServiceCleanup(const wchar_t* name) : name_(name) {}
    ~ServiceCleanup() {
        const orv::UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const orv::UniqueServiceHandle service(manager ? ::OpenServiceW(manager.Get(), name_, SERVICE_ALL_ACCESS) : nullptr);
        if (!service) return;
        SERVICE_STATUS status = {};
        ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
        ::DeleteService(service.Get());
    }

private:
    const wchar_t* name_;
};

TEST(ProductService, InstallRegistersStartsAndReconfiguresTheService) {
    const std::wstring program = PayloadFile(L"QuellbySS.exe");
    ServiceCleanup cleanup(L"quellbyss");
    ASSERT_EQ(RunProgram(program, L"--install", 30000), 0);
    const orv::UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager.Valid());
    const orv::UniqueServiceHandle service(::OpenServiceW(manager.Get(), L"quellbyss", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service.Valid());
    SERVICE_STATUS status = {};
    ASSERT_TRUE(::QueryServiceStatus(service.Get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    EXPECT_EQ(RunProgram(program, L"--install", 30000), 0);  // registered and running already
    union {
        QUERY_SERVICE_CONFIGW config;
        BYTE bytes[8192];
    } buffer;
    DWORD needed = 0;
    ASSERT_TRUE(::QueryServiceConfigW(service.Get(), &buffer.config, sizeof(buffer), &needed));
    EXPECT_EQ(std::wstring(buffer.config.lpBinaryPathName), L"\"" + program + L"\"");
    EXPECT_EQ(buffer.config.dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(std::wstring(buffer.config.lpDisplayName), L"奎比搜索服务");

    ASSERT_TRUE(::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(orv::test::WaitUntil([&] {
        return ::QueryServiceStatus(service.Get(), &status) && status.dwCurrentState == SERVICE_STOPPED;
    }, 10000));
}

// Started with Windows the window is minimised; a second start restores it and exits with 0.
TEST(ProductProgram, SecondStartRestoresTheFirstWindow) {
    const std::wstring program = PayloadFile(L"Quellby.exe");
    std::wstring commandLine = L"\"" + program + L"\" /startup system";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    ASSERT_TRUE(::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info));
    const orv::UniqueHandle process(info.hProcess), thread(info.hThread);
    const auto end = orv::MakeScopeExit([&] {
        if (::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process.Get(), 1);
    });
    HWND window = orv::test::FindTopLevelWindow(info.dwProcessId, L"QuellbyWnd", 10000, false);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(orv::test::WindowText(window), L"奎比桌面");
    EXPECT_TRUE(::IsIconic(window));

    EXPECT_EQ(RunProgram(program, L"/menu", 10000), 0);
    EXPECT_TRUE(orv::test::WaitUntil([&] { return !::IsIconic(window); }));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
