// The one table that fixes which actions scripts see and in which order they are registered.
#include "orvscriptengine/scriptactions.h"

#include <cstring>

#include "orvscriptengine/actions/actions.h"

namespace orv {

const char* const kActionOrder[] = {
    "Lua_UnCompress7z",       "Lua_RegSvr32",          "Lua_RegistDll",
    "Lua_RegQuery",           "Lua_RegAdd",            "Lua_RegDel",
    "Lua_CreateShortcut",     "Lua_CreateDirectory",   "Lua_CopyFile",
    "Lua_MoveFile",           "Lua_RenameFile",        "Lua_DeleteFile",
    "Lua_DeleteFileEx",       "Lua_Exec",              "Lua_ExplorerExec",
    "Lua_TaskKill",           "Lua_SCM",               "Lua_RegVarByCSIDL",
    "Lua_ExtractResource",    "Lua_GetOSVersion",      "Lua_Logout",
    "Lua_MsgBox",             "Lua_DelFileRecursive",  "Lua_DelFileRecursiveEx",
    "Lua_DeleteFileAfterReboot", "Lua_IsWow64",        "Lua_GetProcessId",
    "Lua_ExitWindows",        "Lua_GetModuleFileName", "Lua_GetCommandLineArgv",
    "Lua_EnablePrivilege",    "Lua_GetTempFileName",   "Lua_GetTempPath",
    "Lua_ExpandEnv",          "Lua_GetImagePathByPid", "Lua_GetDriverInstallPath",
    "Lua_KillAllTaskByName",  "Lua_PathFileExists",    "Lua_PathYetAnotherMakeUniqueName",
    "Lua_ShellExec",
    // Added after the first forty, in the order they came.
    "Lua_GetFullPathName",
};
const size_t kActionOrderCount = sizeof(kActionOrder) / sizeof(kActionOrder[0]);

namespace {

// One entry per family that has landed.
const luaL_Reg* const kFamilies[] = {
    kArchiveActions,
    kFileActions,
    kLogActions,
    kProcessActions,
    kRegistryActions,
    kServiceActions,
    kShellActions,
    kSystemActions,
};

lua_CFunction FindAction(const char* name) {
    for (const luaL_Reg* family : kFamilies)
        for (const luaL_Reg* row = family; row->name; ++row)
            if (std::strcmp(row->name, name) == 0) return row->func;
    return nullptr;
}

}  // namespace

const luaL_Reg* const* ActionFamilies(size_t* count) {
    *count = sizeof(kFamilies) / sizeof(kFamilies[0]);
    return kFamilies;
}

void RegisterActions(lua_State* L) {
    for (const char* name : kActionOrder) {
        if (lua_CFunction action = FindAction(name)) lua_register(L, name, action);
    }
}

}  // namespace orv
