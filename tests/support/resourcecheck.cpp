// Counts the process's kernel handles in the system's handle table (Wine's GetProcessHandleCount and
// GetGuiResources answer nothing) and the GDI and USER objects the engine's owners hold.
#include <winsock2.h>

#include "resourcecheck.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "handletable.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

std::string Describe(const std::set<USHORT>& before, const std::set<USHORT>& after) {
    std::string text;
    for (USHORT value : after) {
        if (before.count(value)) continue;
        char line[600];
        std::snprintf(line, sizeof(line), " 0x%x (%ls %ls)", value, ObjectText(value, kObjectTypeInformation).c_str(),
                      ObjectText(value, kObjectNameInformation).c_str());
        text += line;
    }
    return text;
}

void (*g_programWarmUp)() = nullptr;

// MinGW's runtime emulates thread-local variables and makes the lock of that emulation, a semaphore, on
// the first use of any of them in the process.
thread_local volatile int t_emulatedLocal = 0;

// Makes the handles Wine and the runtime open once per process on first use and keep: user32's system
// parameters and display, the classes root, the profile mapping, the debug-string mutexes, the thread's
// socket event, COM's classes root, the thread-local emulation's lock, and gtest's own: the handle of the main thread that its
// thread-local registry (SCOPED_TRACE's stack) watches.
void WarmUpSystem() {
    t_emulatedLocal = t_emulatedLocal + 1;
    { SCOPED_TRACE("warm-up"); }
    {
        const ComInit com;  // COM's own classes root, which it keeps
        CLSID clsid;
        ::CLSIDFromProgID(L"Shell.Application", &clsid);
    }
    ::GetSystemMetrics(SM_CXSCREEN);
    ::GetSysColor(COLOR_WINDOW);
    int mouse[3] = {};
    ::SystemParametersInfoW(SPI_GETMOUSE, 0, mouse, 0);
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    { const WindowDc screen(nullptr); }
    UniqueHKey classes;
    ::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"*", 0, KEY_READ, classes.Put());
    ::GetProfileIntW(L"windows", L"orvwarmup", 0);
    ::OutputDebugStringA("handle check: warm-up\n");
    ::OutputDebugStringW(L"handle check: warm-up\n");
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    const SOCKET udp = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (udp != INVALID_SOCKET) {
        sockaddr_in nobody = {};
        nobody.sin_family = AF_INET;
        nobody.sin_port = htons(9);  // discard
        nobody.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(udp, "", 0, 0, reinterpret_cast<const sockaddr*>(&nobody), sizeof(nobody));
        ::closesocket(udp);
    }
    ::WSACleanup();
}

class ResourceCheck : public ::testing::EmptyTestEventListener {
public:
    // After the global environments (the UI tests' GDI+) are set up, before the first test.
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest&) override {
        if (warm_) return;
        warm_ = true;
        WarmUpSystem();
        if (g_programWarmUp) g_programWarmUp();
    }
    void OnTestStart(const ::testing::TestInfo&) override {
        handles_ = KernelHandles();
        gdi_ = OwnedObjects::Held(OwnedObjects::kGdi);
        user_ = OwnedObjects::Held(OwnedObjects::kUser);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::set<USHORT> handles = KernelHandles();
        if (handles.size() > handles_.size())
            ADD_FAILURE() << "the test left " << handles.size() - handles_.size()
                          << " more kernel handles than it found:" << Describe(handles_, handles);
        const long gdi = OwnedObjects::Held(OwnedObjects::kGdi), user = OwnedObjects::Held(OwnedObjects::kUser);
        if (gdi > gdi_) ADD_FAILURE() << "the test left " << gdi - gdi_ << " more GDI objects held than it found";
        if (user > user_) ADD_FAILURE() << "the test left " << user - user_ << " more USER objects held than it found";
    }

private:
    bool warm_ = false;
    std::set<USHORT> handles_;
    long gdi_ = 0;
    long user_ = 0;
};

}  // namespace

void SetResourceCheckWarmUp(void (*warmUp)()) { g_programWarmUp = warmUp; }

bool InstallResourceCheck() {
    // After the result printer: listeners hear of a test's end in reverse order, so the check comes first
    // and a test it fails is printed as failed.
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResourceCheck);
    return true;
}

// Every program that links this file checks its tests.
const bool g_installed = InstallResourceCheck();

}  // namespace test
}  // namespace orv
