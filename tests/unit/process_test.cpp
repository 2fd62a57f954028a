// The process and system actions against real helper processes of the test's architecture.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/orvprocesstoolhelp.h"
#include "utility/uniquehandle.h"

namespace {

// A running windowapp.exe (copied under `name`) with a window of class `windowClass`.
class Helper {
public:
    Helper(const std::wstring& name, const std::wstring& windowClass, bool stubborn) {
        const std::wstring exe = orv::test::ExeDirectory() + L"\\" + name;
        ::CopyFileW((orv::test::ExeDirectory() + L"\\windowapp.exe").c_str(), exe.c_str(), FALSE);
        std::wstring command = L"\"" + exe + L"\" " + windowClass + (stubborn ? L" stubborn" : L"");
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info;
        if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return;
        const orv::UniqueHandle thread(info.hThread);
        process_.Reset(info.hProcess);
        id_ = info.dwProcessId;
        for (int i = 0; i < 100 && !::FindWindowW(windowClass.c_str(), nullptr); ++i) ::Sleep(50);
    }
    ~Helper() {
        if (!process_) return;
        ::TerminateProcess(process_.Get(), 1);
    }
    DWORD Id() const { return id_; }
    // The exit code once it has ended, or STILL_ACTIVE.
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        ::WaitForSingleObject(process_.Get(), 0);
        ::GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    orv::UniqueHandle process_;
    DWORD id_ = 0;
};

TEST(ProcessActions, PoliteProgramsCloseThemselvesStubbornOnesAreEnded) {
    Helper polite(L"orvpolite.exe", L"OrvPoliteWnd", false);
    Helper stubborn(L"OrvStubborn.exe", L"OrvStubbornWnd", true);
    ASSERT_NE(polite.Id(), 0u);
    ASSERT_NE(stubborn.Id(), 0u);

    DWORD start = ::GetTickCount();
    EXPECT_TRUE(RunForOk("ok = Lua_TaskKill('ORVPOLITE.EXE')"));  // names compare without regard to case
    EXPECT_LT(::GetTickCount() - start, 3000u);
    EXPECT_EQ(polite.ExitCode(), 77u);  // it closed its own window: no forced end

    start = ::GetTickCount();
    EXPECT_TRUE(RunForOk("ok = Lua_TaskKill('orvstubborn.exe', 'OrvStubbornWnd')"));
    EXPECT_GE(::GetTickCount() - start, 2900u);
    EXPECT_EQ(stubborn.ExitCode(), 0u);  // forced

    EXPECT_TRUE(RunForOk("ok = Lua_TaskKill('orv-not-running.exe') and Lua_KillAllTaskByName('orv-not-running.exe')"));
}

// With no window of the class there is nothing to post to: the message must not land in our own queue.
TEST(ProcessActions, NoWindowOfTheClassNoMessage) {
    ASSERT_TRUE(RunForOk("ok = Lua_TaskKill('orv-not-running.exe', 'OrvNoSuchWnd', " + std::to_string(WM_APP + 7) +
                         ", 1, 2) and Lua_TaskKill('orv-not-running.exe', 'OrvNoSuchWnd')"));
    MSG message;
    EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE));
    EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
}

// An action called without arguments reads nil, not the stale value in the slot above the stack (here the
// helper's leftover local).
TEST(ProcessActions, NoArgumentsReadNil) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self);
    orv::SetGlobalText(EngineState(), "own_name", path.substr(path.rfind(L'\\') + 1));
    lua_pushnumber(EngineState(), ::GetCurrentProcessId());
    lua_setglobal(EngineState(), "own_id");
    EXPECT_TRUE(RunForOk(R"(
        local function stale(f, value) do local a, b = 0, value end return f() end
        local function stale1(f, arg, value) do local a, b, c = 0, 0, value end return f(arg) end
        ok = stale(Lua_ExpandEnv, 'stale') == '' and stale(Lua_GetProcessId, own_name) == -1
             and select('#', stale(Lua_GetImagePathByPid, own_id)) == 0
             and not stale1(Lua_EnablePrivilege, true, 'SeShutdownPrivilege')
             and stale(DllManager.Load, 'kernel32') == nil)"));
}

TEST(ProcessActions, InstancesAreCountedAndEndedOneACall) {
    Helper first(L"orvtwin.exe", L"OrvTwinWnd", false);
    Helper second(L"orvtwin.exe", L"OrvTwinWnd", false);
    ASSERT_NE(second.Id(), 0u);
    ASSERT_TRUE(RunForOk("ids = {Lua_GetProcessId('OrvTwin.exe')} none = Lua_GetProcessId('orv-none.exe')"
                    " ok = #ids == 2 and none == -1"));
    ASSERT_TRUE(RunForOk("ok = Lua_KillAllTaskByName('orvtwin.exe')"));
    const int ended = (first.ExitCode() != STILL_ACTIVE) + (second.ExitCode() != STILL_ACTIVE);
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(RunForOk("ok = select('#', Lua_GetProcessId('orvtwin.exe')) == 1 and Lua_KillAllTaskByName('orvtwin.exe')"
                    " and Lua_GetProcessId('orvtwin.exe') == -1"));
}

TEST(ProcessActions, ImagePathsHaveTheirDrive) {
    orv::SetGlobalText(EngineState(), "own", std::to_wstring(::GetCurrentProcessId()));
    ASSERT_TRUE(RunForOk("path = Lua_GetImagePathByPid(tonumber(own)) ok = path ~= nil"
                    " gone = select('#', Lua_GetImagePathByPid(999999))"));
    wchar_t own[MAX_PATH];
    ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    EXPECT_EQ(_wcsicmp(orv::GetGlobalText(EngineState(), "path").c_str(), own), 0);
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "gone"), 0);
    // A device no drive maps to gives no path rather than one without its drive.
    orv::DeviceMap devices;
    std::wstring path = L"\\Device\\OrvNoSuchVolume\\dir\\a.exe";
    EXPECT_FALSE(devices.DevicePathToDosPath(path));
}

TEST(SystemActions, VersionPrivilegesAndProgramFiles) {
    TraceCapture capture;
    ASSERT_TRUE(RunForOk("v = Lua_GetOSVersion() program_files = Lua_GetDriverInstallPath()"
                    " ok = Lua_EnablePrivilege('SeShutdownPrivilege', true)"
                    " unknown = Lua_EnablePrivilege('SeNoSuchPrivilege', true)"));
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "v"), LOBYTE(LOWORD(::GetVersion())));
    EXPECT_FALSE(orv::GetGlobalFlag(EngineState(), "unknown"));
    EXPECT_EQ(TraceCapture::Lines().at(0), L"qz LookupPrivilegeValue failed!qz file:orvprocesstoolhelp\r\n");
    wchar_t expected[MAX_PATH];
    ::ExpandEnvironmentStringsW(L"%ProgramFiles%\\", expected, MAX_PATH);
    const std::wstring found = orv::GetGlobalText(EngineState(), "program_files");
    // The system drive's folder, unless another fixed drive holds the same folder.
    EXPECT_EQ(found.substr(1), std::wstring(expected).substr(1));
    EXPECT_TRUE(::GetFileAttributesW(found.c_str()) != INVALID_FILE_ATTRIBUTES);
}

// Under Wine a drive is a link in the prefix's dosdevices folder; the test maps Y: to a folder of its own.
TEST(SystemActions, ProgramFilesOnAnotherFixedDriveIsPreferredWhenItExists) {
    const char* prefix = std::getenv("WINEPREFIX");
    orv::test::TempDir drive(L"orvdrive");
    const std::string link = std::string(prefix ? prefix : "") + "/dosdevices/y:";
    if (!prefix || !orv::test::MakeUnixSymlink(orv::test::UnixPath(drive.Path()), link) ||
        !orv::test::WaitUntil([] {
            return ::GetDriveTypeW(L"Y:\\") == DRIVE_FIXED && (::GetLogicalDrives() & (1u << (L'Y' - L'A')));
        }))
        GTEST_SKIP() << "no second fixed drive can be mapped here";
    wchar_t expected[MAX_PATH];
    ::ExpandEnvironmentStringsW(L"%ProgramFiles%\\", expected, MAX_PATH);
    ASSERT_TRUE(RunForOk("without = Lua_GetDriverInstallPath() ok = true"));
    const std::wstring onY = L"Y" + std::wstring(expected).substr(1);
    ASSERT_TRUE(::CreateDirectoryW(drive.Sub(onY.substr(3, onY.size() - 4)).c_str(), nullptr));
    ASSERT_TRUE(orv::test::WaitUntil([&onY] { return ::GetFileAttributesW(onY.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    ASSERT_TRUE(RunForOk("with = Lua_GetDriverInstallPath() ok = true"));
    orv::test::RemoveUnixSymlink(link);
    orv::test::WaitUntil([] { return ::GetDriveTypeW(L"Y:\\") != DRIVE_FIXED; });
    ::RemoveDirectoryW(drive.Sub(onY.substr(3, onY.size() - 4)).c_str());
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "without"), expected);
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "with"), onY);
}

// The 32-bit build asks the system; the 64-bit build runs on 64-bit Windows by being what it is.
TEST(SystemWow64, IsWow64AnswersWhetherWindowsIs64Bit) {
    const char* expected = std::getenv("ORV_EXPECT_WOW64");
    const bool wow64 = expected && std::strcmp(expected, "1") == 0;
    ASSERT_EQ(RunScript("is_wow64 = Lua_IsWow64()"), 1);
    EXPECT_EQ(orv::GetGlobalFlag(EngineState(), "is_wow64"), sizeof(void*) == 8 || wow64);
}

}  // namespace
