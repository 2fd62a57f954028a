// The two string object kinds share one implementation over their character type.
#include "orvscriptengine/bridge/stringobjects.h"

#include <windows.h>

#include <cstring>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/bridge/bridgevalues.h"
#include "utility/textconv.h"

namespace orv {
namespace {

template <typename Char>
struct Kind;

template <>
struct Kind<char> {
    static constexpr const char* kMetaTable = kAStringMetaTable;
    static std::string Read(lua_State* L, int index) { return ReadNarrowText(L, index); }
    static std::wstring ToWide(const std::string& text) { return AnsiToWide(text.data(), text.size()); }
    static std::string FromWide(const std::wstring& text) { return WideToAnsi(text); }
    static int Compare(const char* a, const char* b) { return ::lstrcmpA(a, b); }
};

template <>
struct Kind<wchar_t> {
    static constexpr const char* kMetaTable = kWStringMetaTable;
    static std::wstring Read(lua_State* L, int index) { return ReadWideText(L, index); }
    static std::wstring ToWide(const std::wstring& text) { return text; }
    static std::wstring FromWide(const std::wstring& text) { return text; }
    static int Compare(const wchar_t* a, const wchar_t* b) { return ::lstrcmpW(a, b); }
};

template <typename Char>
using Text = std::basic_string<Char>;

// An object's block as characters; its capacity is the block size in characters.
template <typename Char>
struct Block {
    Char* chars = nullptr;
    size_t capacity = 0;
};

template <typename Char>
Block<Char> ObjectBlock(lua_State* L, int index) {
    Block<Char> block;
    if (!IsObjectOf(L, index, Kind<Char>::kMetaTable)) return block;
    block.chars = static_cast<Char*>(lua_touserdata(L, index));
    block.capacity = lua_rawlen(L, index) / sizeof(Char);
    return block;
}

// Characters before the first NUL, or the whole block when a DLL left no terminator in it.
template <typename Char>
size_t Length(const Block<Char>& block) {
    size_t n = 0;
    while (n < block.capacity && block.chars[n] != Char()) ++n;
    return n;
}

template <typename Char>
Text<Char> ObjectText(lua_State* L, int index) {
    const Block<Char> block = ObjectBlock<Char>(L, index);
    if (!block.chars) return Text<Char>();
    return Text<Char>(block.chars, Length(block));
}

// Lua text or a number's text form up to its first NUL, decoded from UTF-8.
bool ReadLuaText(lua_State* L, int index, std::wstring& out) {
    if (lua_type(L, index) != LUA_TSTRING && lua_type(L, index) != LUA_TNUMBER) return false;
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    out = Utf8ToWide(text, strnlen(text, length));
    return true;
}

template <typename Char>
void PushNewObject(lua_State* L, const Text<Char>& text, size_t capacity) {
    auto* chars = static_cast<Char*>(PushObject(L, capacity * sizeof(Char), Kind<Char>::kMetaTable));
    std::memcpy(chars, text.data(), text.size() * sizeof(Char));  // the zero fill is the terminator
}

// New(capacity, init): nil without text and with no positive capacity; else an object of the
// capacity, or of the text's length plus one when the text does not fit.
template <typename Char>
int New(lua_State* L) {
    const int argc = lua_gettop(L);
    const int32_t capacity = ToInt32(L, 1);
    if (argc < 2 && capacity <= 0) {
        lua_pushnil(L);
        return 1;
    }
    const Text<Char> text = argc >= 2 ? Kind<Char>::Read(L, 2) : Text<Char>();
    const size_t size = capacity > 0 && static_cast<size_t>(capacity) > text.size() ? capacity : text.size() + 1;
    PushNewObject<Char>(L, text, size);
    return 1;
}

template <typename Char>
int Len(lua_State* L) {
    lua_pushnumber(L, static_cast<lua_Number>(Length(ObjectBlock<Char>(L, 1))));
    return 1;
}

template <typename Char>
int ToString(lua_State* L) {
    const std::string text = WideToUtf8(Kind<Char>::ToWide(ObjectText<Char>(L, 1)));
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}

template <typename Char>
int Equal(lua_State* L) {
    if (!IsObjectOf(L, 1, Kind<Char>::kMetaTable) || !IsObjectOf(L, 2, Kind<Char>::kMetaTable)) {
        lua_pushboolean(L, 0);
        return 1;
    }
    const Text<Char> left = ObjectText<Char>(L, 1);
    const Text<Char> right = ObjectText<Char>(L, 2);
    lua_pushboolean(L, Kind<Char>::Compare(left.c_str(), right.c_str()) == 0);
    return 1;
}

// The result is of the kind whose handler Lua called; both operands are read by its rules.
template <typename Char>
int Concat(lua_State* L) {
    const Text<Char> text = Kind<Char>::Read(L, 1) + Kind<Char>::Read(L, 2);
    PushNewObject<Char>(L, text, text.size() + 1);
    return 1;
}

// s[i]: the character at a 0-based position as UTF-8 text, the empty text at the terminator; nil for a
// negative position or one outside the block.
template <typename Char>
int Index(lua_State* L) {
    const Block<Char> block = ObjectBlock<Char>(L, 1);
    const int32_t position = ToInt32(L, 2);
    if (!block.chars || position < 0 || static_cast<size_t>(position) >= block.capacity) {
        lua_pushnil(L);
        return 1;
    }
    const std::wstring character = Kind<Char>::ToWide(Text<Char>(1, block.chars[position]));
    const std::string text = block.chars[position] == Char() ? std::string() : WideToUtf8(character);
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}

// s[i] = v: replaces a character inside the text with the first character of v's text. Position 0, the
// terminator and anything beyond stay as they are.
template <typename Char>
int NewIndex(lua_State* L) {
    const Block<Char> block = ObjectBlock<Char>(L, 1);
    const int32_t position = ToInt32(L, 2);
    std::wstring wide;
    ReadLuaText(L, 3, wide);
    const Text<Char> text = Kind<Char>::FromWide(wide);
    if (block.chars && position >= 1 && static_cast<size_t>(position) < Length(block) && !text.empty())
        block.chars[position] = text[0];
    return 0;
}

template <typename Char>
int Open(lua_State* L) {
    const luaL_Reg meta[] = {{"__index", Index<Char>},       {"__newindex", NewIndex<Char>},
                             {"__len", Len<Char>},           {"__tostring", ToString<Char>},
                             {"__concat", Concat<Char>},     {"__eq", Equal<Char>},
                             {nullptr, nullptr}};
    NewMetaTable(L, Kind<Char>::kMetaTable, meta, false);
    lua_pop(L, 1);
    const luaL_Reg library[] = {{"New", New<Char>}, {nullptr, nullptr}};
    luaL_newlib(L, library);
    return 1;
}

}  // namespace

std::string ReadNarrowText(lua_State* L, int index) {
    std::wstring wide;
    if (ReadLuaText(L, index, wide)) return WideToAnsi(wide);
    if (IsObjectOf(L, index, kAStringMetaTable)) return ObjectText<char>(L, index);
    if (IsObjectOf(L, index, kWStringMetaTable)) return WideToAnsi(ObjectText<wchar_t>(L, index));
    return std::string();
}

std::wstring ReadWideText(lua_State* L, int index) {
    std::wstring wide;
    if (ReadLuaText(L, index, wide)) return wide;
    if (IsObjectOf(L, index, kAStringMetaTable)) {
        const std::string narrow = ObjectText<char>(L, index);
        return AnsiToWide(narrow.data(), narrow.size());
    }
    if (IsObjectOf(L, index, kWStringMetaTable)) return ObjectText<wchar_t>(L, index);
    return std::wstring();
}

int OpenAString(lua_State* L) { return Open<char>(L); }
int OpenWString(lua_State* L) { return Open<wchar_t>(L); }

}  // namespace orv
