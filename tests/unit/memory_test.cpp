// The Lua heap under failure: out of memory at every allocation in turn, for chunks, hooks and callbacks.
// Each failing run reports failure, leaves the stack as it was and gives back everything it took.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "luatestutil.h"
#include "orvscriptengine/scriptcallback.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"

namespace {

orv::LuaHeap& Heap() { return orv::ORVScriptEngine::Instance().Heap(); }

size_t InUseAfterCollect() {
    lua_gc(EngineState(), LUA_GCCOLLECT, 0);
    return Heap().BytesInUse();
}

// Runs `attempt` with the n-th allocation failing, for n = 1, 2, ... until it succeeds; `attempt` says
// whether it succeeded. Returns how many runs failed.
int FailEachAllocationInTurn(const std::function<bool()>& attempt) {
    lua_State* L = EngineState();
    const int top = lua_gettop(L);
    EXPECT_TRUE(attempt());  // warm-up: interned names and registry slots exist from now on
    const size_t baseline = InUseAfterCollect();
    int failures = 0;
    for (size_t n = 1; n < 1000; ++n) {
        TraceCapture capture;
        Heap().FailAfter(n);
        const bool succeeded = attempt();
        Heap().FailAfter(0);
        EXPECT_EQ(lua_gettop(L), top) << "failing allocation " << n;
        EXPECT_EQ(InUseAfterCollect(), baseline) << "failing allocation " << n;
        if (succeeded) return failures;
        ++failures;
        EXPECT_FALSE(TraceCapture::Lines().empty()) << "failing allocation " << n;
    }
    ADD_FAILURE() << "never succeeded";
    return failures;
}

TEST(LuaHeap, RunChunkReportsOutOfMemoryAtEveryAllocation) {
    const int failures = FailEachAllocationInTurn([] {
        const int result = RunScript("local t = {} for i = 1, 40 do t[i] = {name = 'v' .. i} end");
        if (result == 0) {
            EXPECT_EQ(TraceCapture::Lines().at(0), L"qz not enough memory\r\n");
        }
        return result == 1;
    });
    EXPECT_GT(failures, 10);
}

TEST(LuaHeap, HookAndCallbackReportOutOfMemoryAtEveryAllocation) {
    ASSERT_EQ(RunScript("function ORVTEST_Hungry() local t = {} for i = 1, 40 do t[i] = {i} end end\n"
                        "function ORVTEST_HungryCallback(text, n) local t = {} for i = 1, n do t[i] = text .. i end"
                        " return #t end"),
              1);
    lua_State* L = EngineState();
    EXPECT_GT(FailEachAllocationInTurn([L] {
        const bool ok = orv::CallHook(L, "ORVTEST_Hungry");
        if (!ok) {
            EXPECT_EQ(TraceCapture::Lines().back(), L"qz ORVTEST_Hungry failed: not enough memory\r\n");
        }
        return ok;
    }), 10);

    // Callbacks run inside actions, that is inside a protected call; the reference is released on
    // every path out of the action.
    lua_register(L, "ORVTEST_CallBack", [](lua_State* S) {
        orv::ScriptCallback callback(S, 1);
        lua_pushinteger(S, callback.Call(L"名", 30));
        return 1;
    });
    EXPECT_GT(FailEachAllocationInTurn([L] {
        lua_getglobal(L, "ORVTEST_CallBack");
        lua_getglobal(L, "ORVTEST_HungryCallback");
        const int status = orv::ORVScriptEngine::ProtectedCall(L, 1, 1);
        const bool ok = status == LUA_OK && lua_tointeger(L, -1) == 30;
        if (status == LUA_OK && !ok) {
            EXPECT_EQ(lua_tointeger(L, -1), 2);  // the callback's own call failed
        } else if (status != LUA_OK) {
            EXPECT_EQ(status, LUA_ERRMEM);
            TraceCapture::Lines().push_back(L"action failed");
        }
        lua_pop(L, 1);
        return ok;
    }), 10);
}

// Bridge objects and DLL calls: a module is never left loaded by a lookup that ran out of memory.
TEST(LuaHeap, BridgeObjectsAndModuleLookupsReportOutOfMemoryAtEveryAllocation) {
    EXPECT_GT(FailEachAllocationInTurn([] {
        const int result = RunScript(
            "local b = RawBuffer.New(64) local w = WString.New(nil, 'abc') .. AString.New(nil, 'x')"
            " local m = GLibTab['orvbridgetest.dll'] local f = m:Get('StdArgs2', 'uint') f(b, w)"
            " local d = DllManager.Load('orvbridgetest.dll') d:UnLoad()");
        if (result == 0) {
            EXPECT_EQ(TraceCapture::Lines().at(0), L"qz not enough memory\r\n");
        }
        // The cached module is released whether or not the script got that far.
        Heap().FailAfter(0);
        EXPECT_EQ(RunScript("local m = rawget(GLibTab, 'orvbridgetest.dll')"
                            " if m then m:UnLoad() GLibTab['orvbridgetest.dll'] = nil end"), 1);
        return result == 1;
    }), 5);
    EXPECT_EQ(::GetModuleHandleW(L"orvbridgetest.dll"), nullptr);
}

int g_destroyed = 0;

struct CountsDestruction {
    ~CountsDestruction() { ++g_destroyed; }
};

// Lua is built as C++: a memory error raised under a C++ frame unwinds it instead of jumping over it.
int PushWhileHoldingObjects(lua_State* L) {
    CountsDestruction guard;
    const std::string text(300, 'x');  // a new string: pushing it allocates
    Heap().FailAfter(1);
    lua_pushlstring(L, text.data(), text.size());
    Heap().FailAfter(0);
    return 1;
}

TEST(LuaHeap, AMemoryErrorRunsTheDestructorsOfTheFramesItLeaves) {
    lua_State* L = EngineState();
    g_destroyed = 0;
    lua_pushcfunction(L, PushWhileHoldingObjects);
    EXPECT_EQ(orv::ORVScriptEngine::ProtectedCall(L, 0, 1), LUA_ERRMEM);
    Heap().FailAfter(0);
    lua_pop(L, 1);
    EXPECT_EQ(g_destroyed, 1);
}

TEST(LuaHeap, HooksGiveBackWhatTheyTake) {
    lua_State* L = EngineState();
    ASSERT_EQ(RunScript("function ORVTEST_Garbage() local t = {} for i = 1, 500 do t[i] = 'g' .. i end end"), 1);
    ASSERT_TRUE(orv::CallHook(L, "ORVTEST_Garbage"));
    const size_t before = InUseAfterCollect();
    ASSERT_TRUE(orv::CallHook(L, "ORVTEST_Garbage"));
    EXPECT_EQ(InUseAfterCollect(), before);
}

}  // namespace
