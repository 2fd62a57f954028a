// Lua_SCM against real services registered in the test prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/uniquehandle.h"

namespace {

// A service running testservice.exe with `arguments`, deleted (and its process ended) at the end.
class TestService {
public:
    TestService(const std::wstring& name, const std::wstring& arguments) : name_(name) {
        manager_.Reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const std::wstring command = L"\"" + orv::test::ExeDirectory() + L"\\testservice.exe\" " + arguments;
        if (manager_)
            service_.Reset(::CreateServiceW(manager_.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                            command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    ~TestService() {
        if (service_) {
            SERVICE_STATUS_PROCESS status = {};
            DWORD needed = 0;
            if (::QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                       sizeof(status), &needed) &&
                status.dwProcessId != 0) {
                const orv::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, status.dwProcessId));
                if (process) ::TerminateProcess(process.Get(), 0);
            }
            ::DeleteService(service_.Get());
        }
    }
    bool Ok() const { return service_.Valid(); }
    DWORD State() const {
        SERVICE_STATUS status = {};
        return ::QueryServiceStatus(service_.Get(), &status) ? status.dwCurrentState : 0;
    }

private:
    std::wstring name_;
    orv::UniqueServiceHandle manager_;
    orv::UniqueServiceHandle service_;  // after the manager: closed before it
};

bool Scm(const std::wstring& name, const char* action) {
    orv::SetGlobalText(EngineState(), "service", name);
    return RunForOk(std::string("ok = Lua_SCM(service, '") + action + "')");
}

TEST(ServiceActions, StartAndStopWaitForTheServiceAndAMissingOneCountsAsDone) {
    const std::wstring name = L"OrvTestSvc" + std::to_wstring(::GetCurrentProcessId());
    TestService service(name, L"");
    ASSERT_TRUE(service.Ok());
    EXPECT_TRUE(Scm(name, "stop"));  // already stopped
    EXPECT_TRUE(Scm(name, "START"));
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(Scm(name, "start"));  // already running: one look
    EXPECT_TRUE(Scm(name, "Stop"));
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));

    EXPECT_TRUE(Scm(L"OrvNoSuchService", "start"));
    EXPECT_TRUE(Scm(L"OrvNoSuchService", "stop"));
    TraceCapture capture;
    EXPECT_FALSE(Scm(name, "restart"));
    ASSERT_EQ(TraceCapture::Lines().size(), 4u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz Unknow Error in fun:Lua_SCM\r\n");
}

// A service that never gets where it is asked to go: the wait ends (after its bound), with false.
TEST(ServiceActions, AServiceThatNeverStartsEndsTheWaitWithFalse) {
    const std::wstring name = L"OrvNeverSvc" + std::to_wstring(::GetCurrentProcessId());
    TestService service(name, L"never");
    ASSERT_TRUE(service.Ok());
    TraceCapture capture;
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(Scm(name, "start"));
    EXPECT_GE(::GetTickCount() - start, 30000u);
    EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_START_PENDING));
    ASSERT_FALSE(TraceCapture::Lines().empty());
    EXPECT_EQ(TraceCapture::Lines().back(),
              L"qz Fun:Lua_SCM, Description:" + name + L" did not reach state 4 in time (state 2)\r\n");
}

}  // namespace
