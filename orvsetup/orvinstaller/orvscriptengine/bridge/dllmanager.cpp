// Module objects, bound exports and the module table. A bound export is called with every argument as
// one machine word (see foreigncall.h) and converts the return register by the kind given when binding.
// A bound export holds its module object, whose handle UnLoad clears: a call after the module was
// released raises a script error instead of jumping into code that may be gone.
#include "orvscriptengine/bridge/dllmanager.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/bridge/bridgevalues.h"
#include "orvscriptengine/bridge/foreigncall.h"
#include "utility/libraryload.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"
#include "utility/trace.h"

namespace orv {
namespace {

constexpr char kGLibTabMetaTable[] = "GlobalLibTableMetaTable";
// More arguments than any export of the system takes; the words go on the machine stack.
constexpr int kMaxArguments = 64;

// A module object without a module yet: it is made before the module is loaded, so that running out of
// script memory can never leave a module loaded that no object holds.
HMODULE* PushEmptyModule(lua_State* L) {
    return static_cast<HMODULE*>(PushObject(L, sizeof(HMODULE), kDllManagerMetaTable));
}

// DllManager.Load(name): a module object, or nil and the system's error code.
int Load(lua_State* L) {
    std::wstring name;
    if (!ArgName(L, LastArgument(L), name)) {
        lua_pushnil(L);
        lua_pushnumber(L, ERROR_INVALID_NAME);
        return 2;
    }
    HMODULE* slot = PushEmptyModule(L);
    *slot = LoadLibraryBesideItsImports(name.c_str());
    if (!*slot) {
        const DWORD error = ::GetLastError();
        lua_pushnil(L);
        lua_pushnumber(L, error);
        return 2;
    }
    return 1;
}

// module:UnLoad(): releases the module once; the object is empty afterwards, and so are the exports
// bound from it.
int UnLoad(lua_State* L) {
    const int object = lua_gettop(L);
    if (object >= 1 && IsObjectOf(L, object, kDllManagerMetaTable)) {
        HMODULE* slot = static_cast<HMODULE*>(lua_touserdata(L, object));
        UniqueHModule(*slot).Reset();  // the object's load, released once
        *slot = nullptr;
    }
    lua_pushnil(L);
    return 1;
}

void PushWordAs(lua_State* L, const char* kind, uintptr_t word) {
    const std::string k = kind ? kind : "";
    const uint32_t low = static_cast<uint32_t>(word);  // the 32-bit kinds take the low half
    if (k == "int") {
        lua_pushnumber(L, static_cast<int32_t>(low));
    } else if (k == "uint") {
        lua_pushnumber(L, low);
    } else if (k == "bool") {
        lua_pushboolean(L, low != 0);
    } else if (k == "astr") {
        const char* text = reinterpret_cast<const char*>(word);
        PushText(L, text ? AnsiToWide(text, strlen(text)) : std::wstring());
    } else if (k == "wstr") {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(word);
        PushText(L, text ? std::wstring(text) : std::wstring());
    } else if (k == "ptr") {
        lua_pushlightuserdata(L, reinterpret_cast<void*>(word));
    } else {
        lua_pushnil(L);
    }
}

// One machine word per argument; numbers are signed 32-bit integers (sign-extended in the 64-bit build).
uintptr_t ArgumentWord(lua_State* L, int index) {
    switch (lua_type(L, index)) {
        case LUA_TNIL:
            return 0;
        case LUA_TBOOLEAN:
            return lua_toboolean(L, index) ? 1 : 0;
        case LUA_TNUMBER:
            return static_cast<uintptr_t>(static_cast<intptr_t>(ToInt32(L, index)));
        case LUA_TSTRING:
            return reinterpret_cast<uintptr_t>(lua_tostring(L, index));
        case LUA_TLIGHTUSERDATA:
        case LUA_TUSERDATA:
            return reinterpret_cast<uintptr_t>(lua_touserdata(L, index));
        default:
            return luaL_error(L, "unknow argument type");
    }
}

// Upvalues: 1 the result kind, 2 the caller-cleans flag, 3 the export's address, 4 its module object.
int CallBoundExport(lua_State* L) {
    const void* function = lua_touserdata(L, lua_upvalueindex(3));
    if (!function) {
        lua_pushnumber(L, 0);
        return 1;
    }
    const HMODULE* module = static_cast<const HMODULE*>(lua_touserdata(L, lua_upvalueindex(4)));
    if (!module || !*module) return luaL_error(L, "the module of the export at %p was unloaded", function);
    const bool callerCleans = lua_toboolean(L, lua_upvalueindex(2)) != 0;
    const int argc = lua_gettop(L);
    if (argc > kMaxArguments)
        return luaL_error(L, "an export takes at most %d arguments, not %d", kMaxArguments, argc);
    std::vector<uintptr_t> words(static_cast<size_t>(argc));
    for (int i = 1; i <= argc; ++i) words[i - 1] = ArgumentWord(L, i);  // raises before anything is called
    const ForeignCallResult result = CallWithWords(function, words.data(), words.size());
#if defined(__i386__)
    const size_t expected = callerCleans ? 0 : words.size() * sizeof(uintptr_t);
    if (result.removedBytes != expected)
        TraceLine(L"The export at %p removed %u bytes of arguments where %u were expected: it does not take %d "
                  L"arguments as %hs\r\n",
                  function, static_cast<unsigned>(result.removedBytes), static_cast<unsigned>(expected), argc,
                  callerCleans ? "cdecl" : "stdcall");
#else
    (void)callerCleans;  // one calling convention
#endif
    PushWordAs(L, lua_type(L, lua_upvalueindex(1)) == LUA_TSTRING ? lua_tostring(L, lua_upvalueindex(1)) : nullptr,
               result.value);
    lua_pushnumber(L, result.lastError);
    return 2;
}

// module:Get(name, kind, cdecl): a bound export and 0; nil and a reason when there is none.
int Get(lua_State* L) {
    const int argc = lua_gettop(L);
    // An unloaded module's null handle would look the name up in the program itself.
    if (argc < 1 || !IsObjectOf(L, 1, kDllManagerMetaTable) || !*static_cast<HMODULE*>(lua_touserdata(L, 1))) {
        TraceLine(L"if (nullptr == phMod)");
        lua_pushnil(L);
        lua_pushstring(L, "hModule is nil");
        return 2;
    }
    const HMODULE module = *static_cast<HMODULE*>(lua_touserdata(L, 1));
    size_t length = 0;
    const bool named = lua_type(L, 2) == LUA_TSTRING || lua_type(L, 2) == LUA_TNUMBER;
    const char* name = named ? lua_tolstring(L, 2, &length) : "";
    const bool cut = std::strlen(name) != length;  // a NUL: the part before it would name another export
    if (cut) ::SetLastError(ERROR_INVALID_NAME);
    FARPROC function = cut ? nullptr : ::GetProcAddress(module, name);
    if (!function) {
        const DWORD error = ::GetLastError();
        TraceRaw(L"if (nullptr == pfn)");
        lua_pushnil(L);
        lua_pushnumber(L, error);
        return 2;
    }
    // Two arguments bind neither value; three bind the kind; four or more take the last two.
    if (argc >= 4) {
        lua_pushvalue(L, argc - 1);
        lua_pushvalue(L, argc);
    } else {
        if (argc == 3)
            lua_pushvalue(L, 3);
        else
            lua_pushnil(L);
        lua_pushnil(L);
    }
    lua_pushlightuserdata(L, reinterpret_cast<void*>(function));
    lua_pushvalue(L, 1);
    lua_pushcclosure(L, CallBoundExport, 4);
    lua_pushnumber(L, 0);
    return 2;
}

// Text, or a number other than NaN (which no table takes as a key).
bool IsModuleKey(lua_State* L, int index) {
    if (lua_type(L, index) == LUA_TSTRING) return true;
    if (lua_type(L, index) != LUA_TNUMBER) return false;
    const lua_Number number = lua_tonumber(L, index);
    return number == number;
}

// GLibTab's __index(table, key): loads the module named by the key and keeps it under that key; a key
// that does not load is not stored, so the next lookup tries again.
int LoadOnLookup(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    std::wstring name;
    if (!IsModuleKey(L, 2) || !ArgName(L, 2, name)) {
        lua_pushnil(L);
        return 1;
    }
    HMODULE* slot = PushEmptyModule(L);
    // Reserve the key's slot while nothing is loaded yet; replacing its value later allocates nothing.
    lua_pushvalue(L, 2);
    lua_pushboolean(L, 0);
    lua_rawset(L, 1);
    *slot = LoadLibraryBesideItsImports(name.c_str());
    lua_pushvalue(L, 2);
    if (*slot)
        lua_pushvalue(L, -2);
    else
        lua_pushnil(L);
    lua_rawset(L, 1);
    if (!*slot) lua_pushnil(L);
    return 1;
}

}  // namespace

int OpenDllManager(lua_State* L) {
    const luaL_Reg methods[] = {{"UnLoad", UnLoad}, {"Get", Get}, {nullptr, nullptr}};
    NewMetaTable(L, kDllManagerMetaTable, methods, true);
    lua_pop(L, 1);
    const luaL_Reg library[] = {{"Load", Load}, {nullptr, nullptr}};
    luaL_newlib(L, library);
    return 1;
}

void InstallGLibTab(lua_State* L) {
    lua_newtable(L);
    const luaL_Reg meta[] = {{"__index", LoadOnLookup}, {nullptr, nullptr}};
    NewMetaTable(L, kGLibTabMetaTable, meta, false);
    lua_setmetatable(L, -2);
    lua_setglobal(L, "GLibTab");
}

}  // namespace orv
