// Calls back into script functions passed to actions.
#include "orvscriptengine/scriptcallback.h"

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/orvscriptengine.h"
#include "utility/trace.h"
#include "utility/textconv.h"

namespace orv {

ScriptCallback::ScriptCallback(lua_State* L, int index) : L_(L) {
    if (index == 0 || lua_type(L, index) != LUA_TFUNCTION) return;
    lua_pushvalue(L, index);
    ref_ = LuaRef(L);
}

int ScriptCallback::Invoke(const std::wstring& text, const int* number) {
    if (ref_.Empty()) return 0;
    const int top = lua_gettop(L_);
    ref_.Push();
    const std::string utf8 = WideToUtf8(text);
    lua_pushlstring(L_, utf8.data(), utf8.size());
    if (number) lua_pushinteger(L_, *number);
    if (ORVScriptEngine::ProtectedCall(L_, number ? 2 : 1, 1) != LUA_OK) {
        TraceLine(L"%ls\r\n", ORVScriptEngine::PopErrorText(L_).c_str());
        lua_settop(L_, top);
        return 2;
    }
    const int result = ToInt32(L_, -1);
    lua_settop(L_, top);
    return result;
}

int ScriptCallback::Call(const std::wstring& text, int number) { return Invoke(text, &number); }

void ScriptCallback::Call(const std::wstring& text) { Invoke(text, nullptr); }

}  // namespace orv
