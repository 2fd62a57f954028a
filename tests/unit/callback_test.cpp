// Script callbacks held by registry references.
#include <gtest/gtest.h>

#include "luatestutil.h"
#include "orvscriptengine/scriptcallback.h"
#include "orvscriptengine/scriptglobals.h"

namespace {

int CallbackResult(const char* body) {
    lua_State* L = EngineState();
    const std::string source = std::string("return function(path, code) ") + body + " end";
    EXPECT_EQ(luaL_loadstring(L, source.c_str()), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), LUA_OK);
    const int top = lua_gettop(L);
    orv::ScriptCallback callback(L, -1);
    EXPECT_FALSE(callback.Empty());
    const int result = callback.Call(L"D:\\装\\a.dll", 32);
    EXPECT_EQ(lua_gettop(L), top);
    lua_pop(L, 1);
    return result;
}

TEST(ScriptCallback, ResultIsTheIntegerTheFunctionReturns) {
    EXPECT_EQ(CallbackResult("return 1"), 1);
    EXPECT_EQ(CallbackResult("return code + 1"), 33);
    EXPECT_EQ(CallbackResult("return '2'"), 2);
    EXPECT_EQ(CallbackResult("return"), 0);
    EXPECT_EQ(CallbackResult("return 'skip'"), 0);
    EXPECT_EQ(CallbackResult("return {}"), 0);
}

TEST(ScriptCallback, ReceivesUtf8TextAndTheNumber) {
    EXPECT_EQ(CallbackResult("seen_path, seen_code = path, code return 0"), 0);
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "seen_path"), L"D:\\装\\a.dll");
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "seen_code"), 32);
}

TEST(ScriptCallback, TextOnlyFormDropsTheResult) {
    lua_State* L = EngineState();
    ASSERT_EQ(RunScript("function on_file(name) last_file = name return 99 end"), 1);
    lua_getglobal(L, "on_file");
    const int top = lua_gettop(L);
    {
        orv::ScriptCallback callback(L, -1);
        callback.Call(L"readme.txt");
        EXPECT_EQ(lua_gettop(L), top);
    }
    lua_pop(L, 1);
    EXPECT_EQ(orv::GetGlobalText(L, "last_file"), L"readme.txt");
}

TEST(ScriptCallback, ANonFunctionGivesAnEmptyCallbackAndNoReference) {
    lua_State* L = EngineState();
    lua_pushinteger(L, 3);
    orv::ScriptCallback callback(L, -1);
    lua_pop(L, 1);
    EXPECT_TRUE(callback.Empty());
    EXPECT_EQ(callback.Call(L"x", 1), 0);
}

TEST(ScriptCallback, ReferenceIsReleasedWithTheCallback) {
    lua_State* L = EngineState();
    ASSERT_EQ(RunScript("function cb() end"), 1);
    lua_getglobal(L, "cb");
    const size_t before = lua_rawlen(L, LUA_REGISTRYINDEX);
    for (int i = 0; i < 100; ++i) {
        orv::ScriptCallback callback(L, -1);
        ASSERT_FALSE(callback.Empty());
    }
    EXPECT_LE(lua_rawlen(L, LUA_REGISTRYINDEX), before + 1);  // a leak would add a slot per callback
    lua_pop(L, 1);
}

}  // namespace
