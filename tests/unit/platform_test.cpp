// Path expansion limits, the mutex name rules, the single-instance mutex, the bridge install point and the
// rights of the folders the setup and the uninstaller create.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <sddl.h>
#include <vector>

#include "appinstance.h"
#include "fsutil.h"
#include "luatestutil.h"
#include "tracecapture.h"
#include "orvscriptengine/bridge.h"
#include "orvscriptengine/pathexpand.h"
#include "orvscriptengine/scriptglobals.h"
#include "utility/securitydescriptor.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"

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
    const orv::UniqueLocalMemory ownDescriptor(descriptor);
    EXPECT_EQ(dacl, nullptr);  // null DACL

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
    wchar_t path[MAX_PATH] = L"";
    {
        const orv::UniqueHModule comctl(::LoadLibraryW(L"comctl32.dll"));
        ASSERT_TRUE(comctl.Valid());
        ASSERT_NE(::GetModuleFileNameW(comctl.Get(), path, MAX_PATH), 0u);
    }
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

// What a descriptor written as SDDL grants, read back through the system's own conversion.
struct Grant {
    std::wstring sid;
    DWORD mask;
    BYTE flags;
};
struct Rights {
    bool valid = false;
    bool isProtected = false;
    std::wstring owner;  // empty when the descriptor names none
    std::vector<Grant> grants;
};

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return std::wstring();
    const orv::UniqueLocalMemory ownText(text);
    return std::wstring(text);
}

std::wstring WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    return ::CreateWellKnownSid(type, nullptr, sid, &size) ? SidText(sid) : std::wstring();
}

Rights ReadRights(const std::wstring& sddl) {
    Rights rights;
    orv::SecurityDescriptor descriptor;
    if (!descriptor.FromSddl(sddl) || !descriptor.Dacl()) return rights;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorControl(descriptor.Get(), &control, &revision) ||
        !::GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted))
        return rights;
    rights.isProtected = (control & SE_DACL_PROTECTED) != 0;
    if (owner) rights.owner = SidText(owner);
    for (DWORD i = 0; i < descriptor.Dacl()->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(descriptor.Dacl(), i, reinterpret_cast<void**>(&ace)) ||
            ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            return rights;
        rights.grants.push_back({SidText(&ace->SidStart), ace->Mask, ace->Header.AceFlags});
    }
    rights.valid = true;
    return rights;
}

constexpr BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

TEST(FolderRights, APrivateFolderIsItsMakersAlone) {
    const Rights elevated = ReadRights(orv::PrivateFolderSddl(true, std::wstring()));
    ASSERT_TRUE(elevated.valid);
    EXPECT_TRUE(elevated.isProtected);
    EXPECT_EQ(elevated.owner, WellKnownSid(WinBuiltinAdministratorsSid));
    ASSERT_EQ(elevated.grants.size(), 2u);
    for (const Grant& grant : elevated.grants) {
        EXPECT_TRUE(grant.sid == WellKnownSid(WinLocalSystemSid) || grant.sid == WellKnownSid(WinBuiltinAdministratorsSid))
            << orv::WideToUtf8(grant.sid);
        EXPECT_EQ(grant.mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        EXPECT_EQ(grant.flags, kInheritedByAll);
    }
    EXPECT_NE(elevated.grants[0].sid, elevated.grants[1].sid);

    const std::wstring user = orv::CurrentUserSid();
    ASSERT_EQ(user.rfind(L"S-1-", 0), 0u);
    const Rights own = ReadRights(orv::PrivateFolderSddl(false, user));
    ASSERT_TRUE(own.valid);
    EXPECT_TRUE(own.isProtected);
    EXPECT_EQ(own.owner, user);
    ASSERT_EQ(own.grants.size(), 1u);
    EXPECT_EQ(own.grants[0].sid, user);
    EXPECT_EQ(own.grants[0].mask, static_cast<DWORD>(FILE_ALL_ACCESS));
    EXPECT_EQ(own.grants[0].flags, kInheritedByAll);
    EXPECT_TRUE(orv::PrivateFolderSddl(false, std::wstring()).empty());
}

TEST(FolderRights, ProgramFoldersLetTheUsersReadAndRunOnly) {
    const Rights program = ReadRights(orv::ProgramFolderSddl());
    ASSERT_TRUE(program.valid);
    EXPECT_TRUE(program.isProtected);
    ASSERT_EQ(program.grants.size(), 3u);
    const Rights users = ReadRights(L"D:" + orv::UsersReadAndRunAce());
    ASSERT_TRUE(users.valid);
    ASSERT_EQ(users.grants.size(), 1u);
    for (const Grant& grant : {program.grants[2], users.grants[0]}) {
        EXPECT_EQ(grant.sid, WellKnownSid(WinBuiltinUsersSid));
        EXPECT_EQ(grant.mask, static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE));
        EXPECT_EQ(grant.flags, kInheritedByAll);
    }
}

TEST(FolderRights, AFolderWithADescriptorIsNewOrNotMade) {
    orv::test::TempDir dir(L"orvrights");
    ASSERT_TRUE(dir.Ok());
    const std::wstring folder = dir.Sub(L"private");
    ASSERT_TRUE(orv::CreateFolderWithSddl(folder, orv::PrivateFolderSddl()));
    EXPECT_TRUE(orv::test::DirExists(folder));
    EXPECT_FALSE(orv::CreateFolderWithSddl(folder, orv::PrivateFolderSddl()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    for (const wchar_t* sddl : {L"", L"D:P(A;OICI;FA;;;NOSUCH)"}) {
        EXPECT_FALSE(orv::CreateFolderWithSddl(dir.Sub(L"other"), sddl));
        EXPECT_FALSE(orv::test::DirExists(dir.Sub(L"other")));
    }
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
