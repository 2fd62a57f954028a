// Running processes: Lua_TaskKill, Lua_KillAllTaskByName, Lua_GetProcessId, Lua_GetImagePathByPid.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>

#include "orvscriptengine/actionargs.h"
#include "utility/orvprocesstoolhelp.h"

namespace orv {
namespace {

// The process the first argument names: a number is its id, text its executable name; -1 for none.
long TargetProcess(lua_State* L) {
    if (lua_type(L, 1) == LUA_TNUMBER) return static_cast<long>(ToUInt32(L, 1));
    const ProcessSnapshot snapshot;
    return FindProcessIdByName(snapshot, ArgText(L, 1));
}

int EndTarget(lua_State* L) {
    const long id = TargetProcess(L);
    lua_pushboolean(L, id == -1 || KillProcessById(static_cast<DWORD>(id)));
    return 1;
}

}  // namespace

// Lua_TaskKill(process [, windowClass [, message, wParam, lParam]]) -> boolean: a message to the window
// of that class first (the close command unless one is given), then the process is ended.
int Lua_TaskKill(lua_State* L) {
    std::wstring windowClass;
    HWND window = nullptr;
    if (!lua_isnoneornil(L, 2) && ArgName(L, 2, windowClass)) window = ::FindWindowW(windowClass.c_str(), nullptr);
    // Without a window of the class nothing is posted: a null window would post to this thread's own queue.
    if (window && !lua_isnoneornil(L, 3))
        ::PostMessageW(window, ToUInt32(L, 3), static_cast<WPARAM>(ToUInt32(L, 4)), static_cast<LPARAM>(ToInt32(L, 5)));
    else if (window)
        ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return EndTarget(L);
}

// Lua_KillAllTaskByName(process) -> boolean: ends the first process of that name (one per call).
int Lua_KillAllTaskByName(lua_State* L) { return EndTarget(L); }

// Lua_GetProcessId(name) -> the id of every process of that executable name, or -1.
int Lua_GetProcessId(lua_State* L) {
    const ProcessSnapshot snapshot;
    const std::vector<DWORD> ids = snapshot.FindAll(ArgText(L, LastArgument(L)));
    if (ids.empty()) {
        lua_pushinteger(L, -1);
        return 1;
    }
    luaL_checkstack(L, static_cast<int>(ids.size()), "too many processes");
    for (DWORD id : ids) lua_pushnumber(L, static_cast<lua_Number>(id));
    return static_cast<int>(ids.size());
}

// Lua_GetImagePathByPid(processId) -> the executable's path with its drive, or nothing.
int Lua_GetImagePathByPid(lua_State* L) {
    std::wstring path;
    if (!GetImagePathByPid(ToUInt32(L, LastArgument(L)), path)) return 0;
    PushText(L, path);
    return 1;
}

}  // namespace orv
