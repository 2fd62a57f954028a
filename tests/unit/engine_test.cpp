// Engine creation, chunk loading from memory and resources, protected calls and hooks.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "luatestutil.h"
#include "orvscriptengine/scriptactions.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"

std::string CompileToBytecode(const std::string& source) {
    lua_State* L = EngineState();
    std::string out;
    if (luaL_loadbuffer(L, source.data(), source.size(), "=bytecode") != LUA_OK) return out;
    lua_dump(L, [](lua_State*, const void* p, size_t n, void* ud) {
        static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
        return 0;
    }, &out);
    lua_pop(L, 1);
    return out;
}

namespace {

TEST(Engine, StateHasEveryStandardLibrary) {
    ASSERT_EQ(RunScript("ok = type(_G) == 'table' and type(package) == 'table' and type(coroutine) == 'table'"
                        " and type(table) == 'table' and type(io) == 'table' and type(os) == 'table'"
                        " and type(string) == 'table' and type(bit32) == 'table' and type(math) == 'table'"
                        " and type(debug) == 'table'"),
              1);
    EXPECT_TRUE(orv::GetGlobalFlag(EngineState(), "ok"));
}

// The script library as the scripts' contract lists it, in registration order.
const char* const kScriptLibrary[] = {
    "Lua_UnCompress7z", "Lua_RegSvr32", "Lua_RegistDll", "Lua_RegQuery", "Lua_RegAdd", "Lua_RegDel",
    "Lua_CreateShortcut", "Lua_CreateDirectory", "Lua_CopyFile", "Lua_MoveFile", "Lua_RenameFile",
    "Lua_DeleteFile", "Lua_DeleteFileEx", "Lua_Exec", "Lua_ExplorerExec", "Lua_TaskKill", "Lua_SCM",
    "Lua_RegVarByCSIDL", "Lua_ExtractResource", "Lua_GetOSVersion", "Lua_Logout", "Lua_MsgBox",
    "Lua_DelFileRecursive", "Lua_DelFileRecursiveEx", "Lua_DeleteFileAfterReboot", "Lua_IsWow64",
    "Lua_GetProcessId", "Lua_ExitWindows", "Lua_GetModuleFileName", "Lua_GetCommandLineArgv",
    "Lua_EnablePrivilege", "Lua_GetTempFileName", "Lua_GetTempPath", "Lua_ExpandEnv", "Lua_GetImagePathByPid",
    "Lua_GetDriverInstallPath", "Lua_KillAllTaskByName", "Lua_PathFileExists",
    "Lua_PathYetAnotherMakeUniqueName", "Lua_ShellExec",
    // the actions added since, after the forty
    "Lua_GetFullPathName", "Lua_RecordOutsideChange", "Lua_WriteInstallLog", "Lua_RemoveInstallLog",
    "Lua_KeepOnRollback"};

// Records the order in which globals are first set, through __newindex on a fresh state's _G.
std::vector<std::string> RegistrationOrder() {
    lua_State* L = luaL_newstate();
    std::vector<std::string> order;
    lua_pushglobaltable(L);
    lua_newtable(L);
    lua_pushlightuserdata(L, &order);
    lua_pushcclosure(L, [](lua_State* S) {
        static_cast<std::vector<std::string>*>(lua_touserdata(S, lua_upvalueindex(1)))->push_back(lua_tostring(S, 2));
        lua_rawset(S, 1);
        return 0;
    }, 1);
    lua_setfield(L, -2, "__newindex");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
    orv::RegisterActions(L);
    lua_close(L);
    return order;
}

TEST(Engine, ActionsAreRegisteredAsPlainFunctionsInTheScriptLibrarysOrder) {
    const std::vector<std::string> library(std::begin(kScriptLibrary), std::end(kScriptLibrary));
    ASSERT_EQ(library.size(), 45u);
    EXPECT_EQ(RegistrationOrder(), library);

    lua_State* L = EngineState();
    for (const std::string& name : library) {
        lua_getglobal(L, name.c_str());
        EXPECT_NE(lua_tocfunction(L, -1), nullptr) << name;
        EXPECT_EQ(lua_getupvalue(L, -1, 1), nullptr) << name;
        lua_pop(L, 1);
    }
}

TEST(Engine, RunChunkRunsSourceAndBytecode) {
    EXPECT_EQ(RunScript("chunk_value = 40 + 2"), 1);
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "chunk_value"), 42);

    const std::string bytecode = CompileToBytecode("chunk_value = 7");
    ASSERT_FALSE(bytecode.empty());
    EXPECT_EQ(bytecode.substr(0, 4), "\x1bLua");
    EXPECT_EQ(static_cast<unsigned char>(bytecode[8]), sizeof(size_t));
    EXPECT_EQ(orv::ORVScriptEngine::Instance().RunChunk(bytecode.data(), bytecode.size(), "B.LUAC"), 1);
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "chunk_value"), 7);
}

TEST(Engine, ChunksThatDoNotLoadAreReportedAndLeaveTheStackAlone) {
    lua_State* L = EngineState();
    const int top = lua_gettop(L);
    TraceCapture capture;

    EXPECT_EQ(RunScript("x = = 1", "SYNTAX.LUAC"), 0);
    ASSERT_EQ(TraceCapture::Lines().size(), 2u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz [string \"SYNTAX.LUAC\"]:1: unexpected symbol near '='\r\n");
    EXPECT_EQ(TraceCapture::Lines()[1], L"qz luaL_loadbuffer failed!\r\n");

    // Bytecode of the other target: the other width of size_t in the header.
    std::string foreign = CompileToBytecode("x = 1");
    foreign[8] = sizeof(size_t) == 4 ? 8 : 4;
    TraceCapture::Lines().clear();
    EXPECT_EQ(orv::ORVScriptEngine::Instance().RunChunk(foreign.data(), foreign.size(), "INSTSCRIPT.LUAC"), 0);
    ASSERT_EQ(TraceCapture::Lines().size(), 2u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz INSTSCRIPT.LUAC: incompatible precompiled chunk\r\n");

    const std::string truncated = CompileToBytecode("a_long_name_for_a_global = 'with a string constant'").substr(0, 30);
    TraceCapture::Lines().clear();
    EXPECT_EQ(orv::ORVScriptEngine::Instance().RunChunk(truncated.data(), truncated.size(), "T.LUAC"), 0);
    ASSERT_EQ(TraceCapture::Lines().size(), 2u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz T.LUAC: truncated precompiled chunk\r\n");
    EXPECT_EQ(lua_gettop(L), top);
}

TEST(Engine, DoResLuaRunsAResourceChunk) {
    EXPECT_NE(orv::ORVScriptEngine::Instance().DoResLua(L"LUA", L"TESTCHUNK.LUAC"), 0);
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "resource_chunk_name"), L"TESTCHUNK.LUAC");
}

// The build compiles chunks with one native host luac and rewrites them for each target's size_t.
TEST(Engine, HostCompiledChunksRunInTheTargetFormat) {
    lua_State* L = EngineState();
    for (const wchar_t* name : {L"BYTECODE.LUAC", L"BYTECODEDBG.LUAC"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(orv::ORVScriptEngine::Instance().DoResLua(L"LUA", name), 1);
        EXPECT_EQ(orv::GetGlobalText(L, "bytecode_result"), L"300|0123|中文xy1|中文x2|1.5|true|nil");
    }
    // Only the unstripped copy knows where an error was raised and what its locals are called.
    ASSERT_EQ(orv::ORVScriptEngine::Instance().DoResLua(L"LUA", L"BYTECODE.LUAC"), 1);
    EXPECT_EQ(orv::GetGlobalText(L, "bytecode_where"), L"boom");
    EXPECT_EQ(orv::GetGlobalText(L, "bytecode_names"), L"?");
    ASSERT_EQ(orv::ORVScriptEngine::Instance().DoResLua(L"LUA", L"BYTECODEDBG.LUAC"), 1);
    const std::wstring where = orv::GetGlobalText(L, "bytecode_where");
    EXPECT_NE(where.find(L"bytecode.lua:16: boom"), std::wstring::npos) << where;
    EXPECT_EQ(orv::GetGlobalText(L, "bytecode_names"), L"long,count,prefix");
}

TEST(Engine, DoResLuaReportsMissingAndEmptyResources) {
    TraceCapture capture;
    EXPECT_EQ(orv::ORVScriptEngine::Instance().DoResLua(L"LUA", L"NOPE.LUAC"), 0);
    const auto& lines = TraceCapture::Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"qz LoadResource failed. Type : LUA ID : NOPE.LUAC\r\n");
    EXPECT_EQ(lines[1], L"qz qz file:orvscriptengine\r\n");
    EXPECT_EQ(lines[2].rfind(L"qz qz line:", 0), 0u);
    EXPECT_EQ(lines[3], L"qz qz err:1814\r\n");  // ERROR_RESOURCE_NAME_NOT_FOUND

    TraceCapture::Lines().clear();
    EXPECT_EQ(orv::ORVScriptEngine::Instance().DoResLua(L"LUA", L"EMPTY.LUAC"), 0);
    ASSERT_EQ(TraceCapture::Lines().size(), 1u);
    EXPECT_EQ(TraceCapture::Lines()[0], L"qz ResSize == 0\r\n");
}

TEST(Engine, ProtectedCallPassesArgumentsAndResultsAndRemovesTheHandler) {
    lua_State* L = EngineState();
    ASSERT_EQ(RunScript("function add3(a, b, c) return a + b + c, 'second' end"), 1);
    const int top = lua_gettop(L);
    lua_getglobal(L, "add3");
    lua_pushinteger(L, 1);
    lua_pushinteger(L, 2);
    lua_pushinteger(L, 3);
    ASSERT_EQ(orv::ORVScriptEngine::ProtectedCall(L, 3, 2), LUA_OK);
    ASSERT_EQ(lua_gettop(L), top + 2);
    EXPECT_EQ(lua_tointeger(L, -2), 6);
    EXPECT_STREQ(lua_tostring(L, -1), "second");
    lua_settop(L, top);
}

// An error in a finaliser ends a protected call without running the message handler; such failures are
// traced and reported, never taken for success.
TEST(Engine, FailuresThatBypassTheErrorHandlerAreTracedAndReported) {
    lua_State* L = EngineState();
    const int top = lua_gettop(L);
    TraceCapture capture;
    EXPECT_EQ(RunScript("setmetatable({}, {__gc = function() error('chunk gc') end}) collectgarbage()"), 0);
    ASSERT_EQ(TraceCapture::Lines().size(), 1u);
    EXPECT_NE(TraceCapture::Lines()[0].find(L"error in __gc metamethod (test:1: chunk gc)"), std::wstring::npos);

    ASSERT_EQ(RunScript("function ORVTEST_GcHook() setmetatable({}, {__gc = function() error('hook gc') end})"
                        " collectgarbage() end"),
              1);
    TraceCapture::Lines().clear();
    EXPECT_FALSE(orv::CallHook(L, "ORVTEST_GcHook"));
    ASSERT_EQ(TraceCapture::Lines().size(), 1u);
    EXPECT_EQ(TraceCapture::Lines()[0].rfind(L"qz ORVTEST_GcHook failed: error in __gc metamethod", 0), 0u);
    EXPECT_EQ(lua_gettop(L), top);
}

TEST(Engine, HooksRunOnlyWhenTheyAreFunctions) {
    lua_State* L = EngineState();
    ASSERT_EQ(RunScript("hook_calls = 0; function ORVTEST_Hook() hook_calls = hook_calls + 1 end;"
                        " ORVTEST_NotAFunction = 5"),
              1);
    const int top = lua_gettop(L);
    TraceCapture capture;
    EXPECT_TRUE(orv::CallHook(L, "ORVTEST_Hook"));
    EXPECT_TRUE(orv::CallHook(L, "ORVTEST_Hook"));
    EXPECT_TRUE(orv::CallHook(L, "ORVTEST_Missing"));
    EXPECT_TRUE(orv::CallHook(L, "ORVTEST_NotAFunction"));
    EXPECT_EQ(orv::GetGlobalInteger(L, "hook_calls"), 2);
    EXPECT_TRUE(TraceCapture::Lines().empty());
    EXPECT_EQ(lua_gettop(L), top);
}

}  // namespace
