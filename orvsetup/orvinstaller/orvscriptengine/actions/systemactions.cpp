// The system as a whole: Lua_EnablePrivilege, Lua_ExitWindows, Lua_IsWow64, Lua_GetOSVersion,
// Lua_GetDriverInstallPath.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/pathexpand.h"
#include "utility/orvprocesstoolhelp.h"

namespace orv {

// Lua_EnablePrivilege(privilegeName, enable) -> boolean; the last two arguments count (fewer: the first two).
int Lua_EnablePrivilege(lua_State* L) {
    const int last = lua_gettop(L) >= 2 ? lua_gettop(L) : 2;
    std::wstring name;
    return PushFlag(L, ArgName(L, last - 1, name) && EnablePrivilege(name.c_str(), ArgFlag(L, last)));
}

// Lua_ExitWindows(flags, reason) -> boolean.
int Lua_ExitWindows(lua_State* L) {
    EnablePrivilege(SE_SHUTDOWN_NAME, true);
    lua_pushboolean(L, ::ExitWindowsEx(ToUInt32(L, 1), ToUInt32(L, 2)) != FALSE);
    return 1;
}

// Lua_IsWow64() -> boolean: whether 64-bit Windows runs this program. The 32-bit program asks the
// system (true only as a guest of 64-bit Windows); the 64-bit program runs on 64-bit Windows by being
// what it is, so scripts choose the same 64-bit product files in both builds.
int Lua_IsWow64(lua_State* L) {
#ifdef _WIN64
    lua_pushboolean(L, 1);
#else
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64Process && !isWow64Process(::GetCurrentProcess(), &wow64)) wow64 = FALSE;
    lua_pushboolean(L, wow64);
#endif
    return 1;
}

// Lua_GetOSVersion() -> the major version the system reports to this program.
int Lua_GetOSVersion(lua_State* L) {
    lua_pushinteger(L, LOBYTE(LOWORD(::GetVersion())));
    return 1;
}

// Lua_GetDriverInstallPath() -> the Program Files folder (with its trailing backslash), on the first
// fixed drive after the system's that has one, else the system's own.
int Lua_GetDriverInstallPath(lua_State* L) {
    std::vector<wchar_t> fixed;
    const DWORD mask = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\0'};
        if (::GetDriveTypeW((std::wstring(root) + L"\\").c_str()) == DRIVE_FIXED) fixed.push_back(root[0]);
    }
    std::wstring result;
    if (!ExpandPath(L"%ProgramFiles%\\", result)) result.clear();
    for (size_t i = 1; i < fixed.size() && result.size() >= 2; ++i) {
        std::wstring candidate = result;
        candidate[0] = fixed[i];
        if (::GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) {
            result = candidate;
            break;
        }
    }
    PushText(L, result);
    return 1;
}

}  // namespace orv
