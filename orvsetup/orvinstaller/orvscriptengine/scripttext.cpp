// The one conversion of script text into the engine's UTF-16.
#include "orvscriptengine/scripttext.h"

#include <cstring>

#include "utility/textconv.h"
#include "utility/trace.h"

namespace orv {
namespace {

void TraceNotUtf8(const char* where) {
    TraceLine(L"%hs: script text is not UTF-8, its invalid bytes became U+FFFD\r\n", where ? where : "?");
}

}  // namespace

std::wstring ScriptText(const char* text, size_t length, const char* where) {
    if (IsUtf8(text, length)) return Utf8ToWide(text, length);
    TraceNotUtf8(where);
    return Utf8ToWideReplacing(text, length);
}

std::wstring ScriptText(const char* text, const char* where) {
    return ScriptText(text, text ? std::strlen(text) : 0, where);
}

const char* RunningActionName(lua_State* L) {
    lua_Debug ar;
    if (lua_getstack(L, 0, &ar) && lua_getinfo(L, "n", &ar) && ar.name) return ar.name;
    return "?";
}

std::wstring ActionText(lua_State* L, const char* text, size_t length) {
    if (IsUtf8(text, length)) return Utf8ToWide(text, length);
    TraceNotUtf8(RunningActionName(L));
    return Utf8ToWideReplacing(text, length);
}

}  // namespace orv
