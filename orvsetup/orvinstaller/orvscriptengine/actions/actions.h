// The install actions, each a plain C function that scripts call by its name; scriptactions.cpp holds
// the one table that names them and fixes the order scripts see. Grouped by the file that defines them.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

// archiveactions.cpp
int Lua_UnCompress7z(lua_State* L);
int Lua_ExtractResource(lua_State* L);

// fileactions.cpp
int Lua_CreateDirectory(lua_State* L);
int Lua_CopyFile(lua_State* L);
int Lua_MoveFile(lua_State* L);
int Lua_RenameFile(lua_State* L);
int Lua_DeleteFile(lua_State* L);
int Lua_DeleteFileEx(lua_State* L);
int Lua_DelFileRecursive(lua_State* L);
int Lua_DelFileRecursiveEx(lua_State* L);
int Lua_DeleteFileAfterReboot(lua_State* L);
int Lua_GetTempFileName(lua_State* L);
int Lua_GetTempPath(lua_State* L);
int Lua_PathFileExists(lua_State* L);
int Lua_PathYetAnotherMakeUniqueName(lua_State* L);
int Lua_GetFullPathName(lua_State* L);

// journalactions.cpp
int Lua_KeepOnRollback(lua_State* L);

// logactions.cpp
int Lua_Logout(lua_State* L);

// processactions.cpp
int Lua_TaskKill(lua_State* L);
int Lua_GetProcessId(lua_State* L);
int Lua_GetImagePathByPid(lua_State* L);
int Lua_KillAllTaskByName(lua_State* L);

// recordactions.cpp
int Lua_RecordOutsideChange(lua_State* L);
int Lua_WriteInstallLog(lua_State* L);
int Lua_RemoveInstallLog(lua_State* L);

// registryactions.cpp
int Lua_RegQuery(lua_State* L);
int Lua_RegAdd(lua_State* L);
int Lua_RegDel(lua_State* L);
int Lua_RegVarByCSIDL(lua_State* L);

// serviceactions.cpp
int Lua_SCM(lua_State* L);

// shellactions.cpp
int Lua_RegSvr32(lua_State* L);
int Lua_RegistDll(lua_State* L);
int Lua_CreateShortcut(lua_State* L);
int Lua_Exec(lua_State* L);
int Lua_ExplorerExec(lua_State* L);
int Lua_MsgBox(lua_State* L);
int Lua_GetModuleFileName(lua_State* L);
int Lua_GetCommandLineArgv(lua_State* L);
int Lua_ExpandEnv(lua_State* L);
int Lua_ShellExec(lua_State* L);

// systemactions.cpp
int Lua_EnablePrivilege(lua_State* L);
int Lua_ExitWindows(lua_State* L);
int Lua_IsWow64(lua_State* L);
int Lua_GetOSVersion(lua_State* L);
int Lua_GetDriverInstallPath(lua_State* L);

}  // namespace orv
