// Buffer accessors. Each takes its operands from the end of its argument list (getters: object, offset;
// setters: object, offset, value), so they also work on a string object's block or on a raw address.
// Within one of our own objects the offset and width are checked against the block; a raw address from a
// light userdata is the script's responsibility.
#include "orvscriptengine/bridge/rawbuffer.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/bridge/bridgevalues.h"
#include "utility/textconv.h"

namespace orv {
namespace {

// Where an accessor reads or writes, with the room left in the object's block when it has one.
struct Place {
    unsigned char* address;
    bool bounded;
    size_t room;  // bytes from `address` to the end of the block
};

// The object operand at `object` plus the offset at `object + 1`. Raises a script error naming the
// accessor when there is no address or the offset leaves the object's block, then checks `width` bytes.
Place Locate(lua_State* L, const char* method, int object, size_t width) {
    if (object < 1) luaL_error(L, "%s: missing operands", method);
    auto* base = static_cast<unsigned char*>(ValueAddress(L, object));
    if (!base) luaL_error(L, "%s: the object is not a buffer, a string object or an address", method);
    const int32_t offset = ToInt32(L, object + 1);
    if (lua_type(L, object) != LUA_TUSERDATA) return {base + offset, false, 0};
    const size_t size = lua_rawlen(L, object);
    if (offset < 0 || static_cast<size_t>(offset) > size || width > size - offset)
        luaL_error(L, "%s: %d bytes at offset %d leave the %d-byte block", method, static_cast<int>(width),
                   static_cast<int>(offset), static_cast<int>(size));
    return {base + offset, true, size - offset};
}

int GetterObject(lua_State* L) { return lua_gettop(L) - 1; }
int SetterObject(lua_State* L) { return lua_gettop(L) - 2; }

template <typename T>
T Load(lua_State* L, const char* method) {
    T value;
    std::memcpy(&value, Locate(L, method, GetterObject(L), sizeof(T)).address, sizeof(T));
    return value;
}

template <typename T>
void Store(lua_State* L, const char* method, T value) {
    std::memcpy(Locate(L, method, SetterObject(L), sizeof(T)).address, &value, sizeof(T));
}

int Push(lua_State* L, lua_Number value) {
    lua_pushnumber(L, value);
    return 1;
}

int Value(lua_State* L) { return LastArgument(L); }

// Text up to its terminator; inside an object the terminator must come before the block ends.
template <typename Char>
size_t TextLength(lua_State* L, const char* method, const Place& place) {
    const size_t limit = place.bounded ? place.room / sizeof(Char) : SIZE_MAX;
    for (size_t n = 0; n < limit; ++n) {
        Char c;
        std::memcpy(&c, place.address + n * sizeof(Char), sizeof(Char));
        if (c == Char()) return n;
    }
    return luaL_error(L, "%s: no terminator before the end of the block", method);
}

int GetInt32(lua_State* L) { return Push(L, Load<int32_t>(L, "OffsetGetAsInt32")); }
int GetUInt32(lua_State* L) { return Push(L, Load<uint32_t>(L, "OffsetGetAsUInt32")); }
int GetInt16(lua_State* L) { return Push(L, Load<int16_t>(L, "OffsetGetAsInt16")); }
int GetUInt16(lua_State* L) { return Push(L, Load<uint16_t>(L, "OffsetGetAsUInt16")); }
int GetInt8(lua_State* L) { return Push(L, Load<int8_t>(L, "OffsetGetAsInt8")); }
int GetUInt8(lua_State* L) { return Push(L, Load<uint8_t>(L, "OffsetGetAsUInt8")); }

int GetBoolean(lua_State* L) {
    lua_pushboolean(L, Load<uint32_t>(L, "OffsetGetAsBoolean") != 0);
    return 1;
}

int GetWString(lua_State* L) {
    const Place place = Locate(L, "OffsetGetAsWString", GetterObject(L), 0);
    const size_t length = TextLength<wchar_t>(L, "OffsetGetAsWString", place);
    std::wstring text(length, L'\0');
    std::memcpy(&text[0], place.address, length * sizeof(wchar_t));
    PushText(L, text);
    return 1;
}

int GetAString(lua_State* L) {
    const Place place = Locate(L, "OffsetGetAsAString", GetterObject(L), 0);
    const size_t length = TextLength<char>(L, "OffsetGetAsAString", place);
    PushText(L, AnsiToWide(reinterpret_cast<const char*>(place.address), length));
    return 1;
}

int GetPointer(lua_State* L) {
    lua_pushlightuserdata(L, Locate(L, "OffsetGetAsPointer", GetterObject(L), 0).address);
    return 1;
}

int SetInt32(lua_State* L) {
    Store<int32_t>(L, "OffsetSetAsInt32", ToInt32(L, Value(L)));
    return 0;
}
int SetUInt32(lua_State* L) {
    Store<uint32_t>(L, "OffsetSetAsUInt32", ToUInt32(L, Value(L)));
    return 0;
}
int SetInt16(lua_State* L) {
    Store<int16_t>(L, "OffsetSetAsInt16", static_cast<int16_t>(ToInt32(L, Value(L))));
    return 0;
}
int SetUInt16(lua_State* L) {
    Store<uint16_t>(L, "OffsetSetAsUInt16", static_cast<uint16_t>(ToUInt32(L, Value(L))));
    return 0;
}
int SetInt8(lua_State* L) {
    Store<int8_t>(L, "OffsetSetAsInt8", static_cast<int8_t>(ToInt32(L, Value(L))));
    return 0;
}
int SetUInt8(lua_State* L) {
    Store<uint8_t>(L, "OffsetSetAsUInt8", static_cast<uint8_t>(ToUInt32(L, Value(L))));
    return 0;
}
int SetBoolean(lua_State* L) {
    Store<uint32_t>(L, "OffsetSetAsBoolean", lua_toboolean(L, Value(L)) ? 1 : 0);
    return 0;
}
// The address is as wide as the build's pointers.
int SetPointer(lua_State* L) {
    Store<uintptr_t>(L, "OffsetSetAsPointer", reinterpret_cast<uintptr_t>(ValueAddress(L, Value(L))));
    return 0;
}

// Copies the value's whole block (a string object with its terminator and unused capacity).
int SetBlock(lua_State* L, const char* method) {
    const int value = Value(L);
    if (lua_type(L, value) != LUA_TUSERDATA) return luaL_error(L, "%s: the value is not a string object", method);
    const size_t size = lua_rawlen(L, value);
    std::memmove(Locate(L, method, SetterObject(L), size).address, lua_touserdata(L, value), size);
    return 0;
}
int SetWString(lua_State* L) { return SetBlock(L, "OffsetSetAsWString"); }
int SetAString(lua_State* L) { return SetBlock(L, "OffsetSetAsAString"); }

// New(size): a zero-filled buffer; nil for size 0.
int New(lua_State* L) {
    const uint32_t size = ToUInt32(L, 1);
    if (size == 0)
        lua_pushnil(L);
    else
        PushObject(L, size, kRawBufferMetaTable);
    return 1;
}

}  // namespace

int OpenRawBuffer(lua_State* L) {
    const luaL_Reg accessors[] = {
        {"OffsetGetAsInt32", GetInt32},     {"OffsetGetAsUInt32", GetUInt32},   {"OffsetGetAsInt16", GetInt16},
        {"OffsetGetAsUInt16", GetUInt16},   {"OffsetGetAsInt8", GetInt8},       {"OffsetGetAsUInt8", GetUInt8},
        {"OffsetGetAsWString", GetWString}, {"OffsetGetAsAString", GetAString}, {"OffsetGetAsBoolean", GetBoolean},
        {"OffsetGetAsPointer", GetPointer}, {"OffsetSetAsInt32", SetInt32},     {"OffsetSetAsUInt32", SetUInt32},
        {"OffsetSetAsInt16", SetInt16},     {"OffsetSetAsUInt16", SetUInt16},   {"OffsetSetAsInt8", SetInt8},
        {"OffsetSetAsUInt8", SetUInt8},     {"OffsetSetAsWString", SetWString}, {"OffsetSetAsAString", SetAString},
        {"OffsetSetAsBoolean", SetBoolean}, {"OffsetSetAsPointer", SetPointer}, {nullptr, nullptr}};
    NewMetaTable(L, kRawBufferMetaTable, accessors, true);
    lua_pop(L, 1);
    const luaL_Reg library[] = {{"New", New}, {nullptr, nullptr}};
    luaL_newlib(L, library);
    return 1;
}

}  // namespace orv
