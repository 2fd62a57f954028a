// A script function handed to an action, held by a registry reference for the action's lifetime.
#pragma once

#include <string>

#include "orvscriptengine/luaapi.h"
#include "orvscriptengine/luaref.h"

namespace orv {

class ScriptCallback {
public:
    // Takes a reference to the value at `index` when it is a function; otherwise (index 0 included)
    // stays empty.
    ScriptCallback(lua_State* L, int index);
    ScriptCallback(const ScriptCallback&) = delete;
    ScriptCallback& operator=(const ScriptCallback&) = delete;

    bool Empty() const { return ref_.Empty(); }

    // Calls the function with (text, number); its result as an integer (not a number: 0).
    // 2 when the call failed without reaching the error handler. An empty callback returns 0.
    int Call(const std::wstring& text, int number);
    // Calls the function with (text); the result is dropped.
    void Call(const std::wstring& text);

private:
    int Invoke(const std::wstring& text, const int* number);

    lua_State* L_;
    LuaRef ref_;
};

}  // namespace orv
