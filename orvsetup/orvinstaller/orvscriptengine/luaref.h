// Owns one reference in a Lua state's registry.
#pragma once

#include "orvscriptengine/luaapi.h"

namespace orv {

class LuaRef {
public:
    LuaRef() = default;
    // Pops the value on top of L's stack into the registry.
    explicit LuaRef(lua_State* L) : L_(L), ref_(luaL_ref(L, LUA_REGISTRYINDEX)) {}
    ~LuaRef() { Reset(); }
    LuaRef(LuaRef&& other) noexcept : L_(other.L_), ref_(other.ref_) { other.Forget(); }
    LuaRef& operator=(LuaRef&& other) noexcept {
        if (this != &other) {
            Reset();
            L_ = other.L_;
            ref_ = other.ref_;
            other.Forget();
        }
        return *this;
    }
    LuaRef(const LuaRef&) = delete;
    LuaRef& operator=(const LuaRef&) = delete;

    bool Empty() const { return ref_ == LUA_NOREF; }
    int Get() const { return ref_; }
    // Pushes the referenced value.
    void Push() const { lua_rawgeti(L_, LUA_REGISTRYINDEX, ref_); }
    void Reset() {
        if (!Empty()) luaL_unref(L_, LUA_REGISTRYINDEX, ref_);
        Forget();
    }
    // Leaves the reference in the registry for good: something that may still run uses the value.
    void Keep() { Forget(); }

private:
    void Forget() {
        L_ = nullptr;
        ref_ = LUA_NOREF;
    }

    lua_State* L_ = nullptr;
    int ref_ = LUA_NOREF;
};

}  // namespace orv
