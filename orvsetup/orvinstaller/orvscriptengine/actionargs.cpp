// Argument reading and result pushing for the install actions.
#include "orvscriptengine/actionargs.h"

#include "orvscriptengine/pathexpand.h"
#include "orvscriptengine/scripttext.h"
#include "utility/textconv.h"
#include "utility/trace.h"

namespace orv {

std::wstring ArgText(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TSTRING && lua_type(L, index) != LUA_TNUMBER) return std::wstring();
    lua_pushvalue(L, index);  // a number converts on the copy: the value itself stays a number (a table key, say)
    size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    std::wstring wide = ActionText(L, text, length);
    lua_pop(L, 1);
    return wide;
}

bool ArgName(lua_State* L, int index, std::wstring& name) {
    name = ArgText(L, index);
    if (name.find(L'\0') == std::wstring::npos) return true;
    TraceLine(L"Fun:%hs, Description:argument %d holds a NUL character, refused\r\n", RunningActionName(L), index);
    name.clear();
    return false;
}

int LastArgument(lua_State* L) {
    const int top = lua_gettop(L);
    return top >= 1 ? top : 1;
}

bool ArgFlag(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }

// lua_tounsigned rounds and wraps the same way on every target; lua_tointeger truncates on x86_64.
uint32_t ToUInt32(lua_State* L, int index) { return static_cast<uint32_t>(lua_tounsigned(L, index)); }

int32_t ToInt32(lua_State* L, int index) { return static_cast<int32_t>(ToUInt32(L, index)); }

int32_t ArgInteger(lua_State* L, int index) { return ToInt32(L, index); }

bool ArgPath(lua_State* L, int index, std::wstring& path, bool expand) {
    path.clear();
    std::wstring text;
    if (!ArgName(L, index, text)) return false;
    if (!expand) {
        path = text;
        return true;
    }
    if (!ExpandPath(text, path)) {
        TraceLine(L"Fun:%hs, Description:%ls does not fit in %d units once expanded\r\n", RunningActionName(L),
                  text.c_str(), MAX_PATH);
        return false;
    }
    return true;
}

int PushFlag(lua_State* L, bool value) {
    lua_pushboolean(L, value ? 1 : 0);
    return 1;
}

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void TraceMissing(const char* action, const std::wstring& path) {
    TraceLine(L"Fun:%hs, Description:%ls it's not exists!\r\n", action, path.c_str());
}

bool RequirePath(const char* action, const std::wstring& path) {
    if (PathExists(path)) return true;
    TraceMissing(action, path);
    return false;
}

void PushText(lua_State* L, const std::wstring& text) {
    const std::string utf8 = WideToUtf8(text);
    lua_pushlstring(L, utf8.data(), utf8.size());
}

}  // namespace orv
