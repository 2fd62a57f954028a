// Path expansion limits, the mutex name rules, the single-instance mutex and the bridge install point.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "appinstance.h"
#include "luatestutil.h"
#include "tracecapture.h"
#include "orvscriptengine/bridge.h"
#include "orvscriptengine/pathexpand.h"
#include "orvscriptengine/scriptglobals.h"
#include "utility/textconv.h"

namespace {

TEST(ExpandPath, ExpandsVariablesAndRefusesWhatDoesNotFit) {
    ::SetEnvironmentVariableW(L"ORVTEST_DIR", L"C:\\目录");
    std::wstring out;
    ASSERT_TRUE(orv::ExpandPath(L"%ORVTEST_DIR%\\a.txt", out));
    EXPECT_EQ(out, L"C:\\目录\\a.txt");
    ASSERT_TRUE(orv::ExpandPath(L"plain", out));
    EXPECT_EQ(out, L"plain");

    const std::wstring fits(MAX_PATH - 1, L'x');
    ASSERT_TRUE(orv::ExpandPath(fits, out));
    EXPECT_EQ(out, fits);
    EXPECT_FALSE(orv::ExpandPath(std::wstring(MAX_PATH, L'x'), out));
    EXPECT_TRUE(out.empty());

    ::SetEnvironmentVariableW(L"ORVTEST_LONG", std::wstring(250, L'y').c_str());
    EXPECT_FALSE(orv::ExpandPath(L"C:\\%ORVTEST_LONG%\\abcdefghij.txt", out));
    EXPECT_TRUE(out.empty());
    ::SetEnvironmentVariableW(L"ORVTEST_LONG", nullptr);
    ::SetEnvironmentVariableW(L"ORVTEST_DIR", nullptr);
}

TEST(MutexName, AppIdIsAppendedUnlessZeroAndTheNameMustFit) {
    std::wstring name;
    ASSERT_TRUE(orv::BuildMutexName(orv::kDefaultMutexName, 22, name));
    EXPECT_EQ(name, L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}22");
    ASSERT_TRUE(orv::BuildMutexName(orv::kDefaultMutexName, 0, name));
    EXPECT_EQ(name, L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}");
    ASSERT_TRUE(orv::BuildMutexName(L"m", -5, name));
    EXPECT_EQ(name, L"m-5");

    ASSERT_TRUE(orv::BuildMutexName(std::wstring(257, L'n'), 22, name));
    EXPECT_EQ(name.size(), 259u);
    name = L"unchanged";
    EXPECT_FALSE(orv::BuildMutexName(std::wstring(258, L'n'), 22, name));
    EXPECT_EQ(name, L"unchanged");
    EXPECT_FALSE(orv::BuildMutexName(std::wstring(260, L'n'), 0, name));
}

TEST(AppInstance, SecondTakerSeesTheFirstAndEveryoneMayOpenIt) {
    const std::wstring base = L"Local\\orvtest-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    orv::UniqueHandle first;
    ASSERT_EQ(orv::CreateAppInstance(base, 7, first), orv::InstanceCheck::kFirst);
    ASSERT_TRUE(first.Valid());

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(first.Get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(dacl, nullptr);  // null DACL
    ::LocalFree(descriptor);

    orv::UniqueHandle second;
    EXPECT_EQ(orv::CreateAppInstance(base, 7, second), orv::InstanceCheck::kAlreadyRunning);
    EXPECT_FALSE(second.Valid());
    EXPECT_EQ(orv::CreateAppInstance(base, 8, second), orv::InstanceCheck::kFirst);  // other app id, other mutex
    EXPECT_EQ(orv::CreateAppInstance(std::wstring(300, L'z'), 0, second), orv::InstanceCheck::kBadName);
}

// The program carries the setup's manifest: each target's must bring version 6 of the common controls
// from the side-by-side store of its own processor (a 64-bit program that declares x86 silently gets
// version 5 from the system folder). Wine's version 6 reports 5.x from DllGetVersion, so look at the path.
TEST(Manifest, CommonControlsVersion6IsWhatLoads) {
    HMODULE comctl = ::LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH] = L"";
    ASSERT_NE(::GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
    ::FreeLibrary(comctl);
    std::wstring lower(path);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(::towlower(c));
    const std::wstring expected = std::wstring(sizeof(void*) == 8 ? L"\\amd64" : L"\\x86") +
                                  L"_microsoft.windows.common-controls_6595b64144ccf1df_6.";
    EXPECT_NE(lower.find(L"\\winsxs" + expected), std::wstring::npos) << orv::WideToUtf8(path);
}

// Run by the i686 build in a win64 prefix too, where the program is a 32-bit guest of 64-bit Windows.
TEST(Wow64, TheProcessKnowsWhetherItRunsUnderWow64) {
    const char* expected = std::getenv("ORV_EXPECT_WOW64");
    const bool underWow64 = expected && std::strcmp(expected, "1") == 0;
    BOOL wow64 = TRUE;
    ASSERT_TRUE(::IsWow64Process(::GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64 != FALSE, underWow64);
    wchar_t folder[MAX_PATH];
    EXPECT_EQ(::GetSystemWow64DirectoryW(folder, MAX_PATH) != 0, sizeof(void*) == 8 || underWow64);
}

TEST(AppInstance, AMutexThatCannotBeCreatedIsTracedAndTheRunGoesOn) {
    TraceCapture capture;
    orv::UniqueHandle mutex;
    EXPECT_EQ(orv::CreateAppInstance(L"NoSuchNamespace\\orvtest", 0, mutex), orv::InstanceCheck::kFirst);
    EXPECT_FALSE(mutex.Valid());
    const auto& lines = TraceCapture::Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], L"qz CreateMutexW failed.qz file:appinstance\r\n");
    EXPECT_EQ(lines[3].rfind(L"qz CreateMutexW failed.qz err:", 0), 0u);
    EXPECT_NE(lines[3], L"qz CreateMutexW failed.qz err:0\r\n");
    EXPECT_NE(lines[3], L"qz CreateMutexW failed.qz err:2\r\n");  // what the trace line itself leaves
}

TEST(UniqueHandle, ClosingKeepsTheLastErrorAndAFailedFileOpenIsNeverOwned) {
    {
        orv::UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event.Valid());
        ::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    const orv::UniqueFileHandle missing =
        orv::CreateFileHandle(L"C:\\no-such-folder\\no-such-file", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_FALSE(missing.Valid());
    // The mix-up the file wrapper exists for: a null-invalid wrapper must not own the failure value either.
    const orv::UniqueHandle mixedUp(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(mixedUp.Valid());
}

int OpenTestModule(lua_State* L) {
    lua_newtable(L);
    lua_pushstring(L, luaL_checkstring(L, 1));
    lua_setfield(L, -2, "opened_as");
    return 1;
}

TEST(Bridge, RequiredModuleIsLoadedAndGlobalAndTheStackIsUnchanged) {
    lua_State* L = EngineState();
    const int top = lua_gettop(L);
    orv::InstallRequiredModule(L, "OrvTestType", OpenTestModule);
    EXPECT_EQ(lua_gettop(L), top);
    ASSERT_EQ(RunScript("bridge_ok = OrvTestType.opened_as == 'OrvTestType' and package.loaded.OrvTestType == OrvTestType"
                        " and require('OrvTestType') == OrvTestType"),
              1);
    EXPECT_TRUE(orv::GetGlobalFlag(L, "bridge_ok"));
}

}  // namespace
