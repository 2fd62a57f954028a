// The one table of the install actions: which ones scripts see, by which name, in which order.
#include "orvscriptengine/scriptactions.h"

#include "orvscriptengine/actions/actions.h"
#include "orvscriptengine/installrecord.h"

namespace orv {

namespace {

// The forty in their fixed order, then the ones added since, in the order they came. A name and its
// function sit in one row, so an action cannot be listed without the function that serves it.
const luaL_Reg kActions[] = {
    {"Lua_UnCompress7z", Lua_UnCompress7z},
    {"Lua_RegSvr32", Lua_RegSvr32},
    {"Lua_RegistDll", Lua_RegistDll},
    {"Lua_RegQuery", Lua_RegQuery},
    {"Lua_RegAdd", Lua_RegAdd},
    {"Lua_RegDel", Lua_RegDel},
    {"Lua_CreateShortcut", Lua_CreateShortcut},
    {"Lua_CreateDirectory", Lua_CreateDirectory},
    {"Lua_CopyFile", Lua_CopyFile},
    {"Lua_MoveFile", Lua_MoveFile},
    {"Lua_RenameFile", Lua_RenameFile},
    {"Lua_DeleteFile", Lua_DeleteFile},
    {"Lua_DeleteFileEx", Lua_DeleteFileEx},
    {"Lua_Exec", Lua_Exec},
    {"Lua_ExplorerExec", Lua_ExplorerExec},
    {"Lua_TaskKill", Lua_TaskKill},
    {"Lua_SCM", Lua_SCM},
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},
    {"Lua_ExtractResource", Lua_ExtractResource},
    {"Lua_GetOSVersion", Lua_GetOSVersion},
    {"Lua_Logout", Lua_Logout},
    {"Lua_MsgBox", Lua_MsgBox},
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},
    {"Lua_DelFileRecursiveEx", Lua_DelFileRecursiveEx},
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},
    {"Lua_IsWow64", Lua_IsWow64},
    {"Lua_GetProcessId", Lua_GetProcessId},
    {"Lua_ExitWindows", Lua_ExitWindows},
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},
    {"Lua_GetCommandLineArgv", Lua_GetCommandLineArgv},
    {"Lua_EnablePrivilege", Lua_EnablePrivilege},
    {"Lua_GetTempFileName", Lua_GetTempFileName},
    {"Lua_GetTempPath", Lua_GetTempPath},
    {"Lua_ExpandEnv", Lua_ExpandEnv},
    {"Lua_GetImagePathByPid", Lua_GetImagePathByPid},
    {"Lua_GetDriverInstallPath", Lua_GetDriverInstallPath},
    {"Lua_KillAllTaskByName", Lua_KillAllTaskByName},
    {"Lua_PathFileExists", Lua_PathFileExists},
    {"Lua_PathYetAnotherMakeUniqueName", Lua_PathYetAnotherMakeUniqueName},
    {"Lua_ShellExec", Lua_ShellExec},
    // Added after the forty.
    {"Lua_GetFullPathName", Lua_GetFullPathName},
    {"Lua_RecordOutsideChange", Lua_RecordOutsideChange},
    {"Lua_WriteInstallLog", Lua_WriteInstallLog},
    {"Lua_RemoveInstallLog", Lua_RemoveInstallLog},
    {"Lua_KeepOnRollback", Lua_KeepOnRollback},
};

}  // namespace

void RegisterActions(lua_State* L) {
    InstallRecord::Instance();  // the record hears every change from the first action on
    for (const luaL_Reg& action : kActions) lua_register(L, action.name, action.func);
}

}  // namespace orv
