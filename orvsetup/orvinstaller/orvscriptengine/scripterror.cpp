// Script error reporting: error value, call stack, request to report it.
#include "orvscriptengine/scripterror.h"

#include <windows.h>

#include "utility/runexit.h"
#include "utility/textconv.h"

namespace orv {

const wchar_t kScriptErrorCaption[] = L":-( 杯具，脚本执行时发生错误";

namespace {

const wchar_t kReportRequest[] = L"请向我们反馈以上错误信息，以便我们改善产品质量！";

std::string FrameLine(const char* prefix, const lua_Debug& ar) {
    std::string line = prefix;
    if (ar.name) {
        line += ar.name;
        line += "()";
    } else {
        line += "unknown";
    }
    line += " : line " + std::to_string(ar.currentline) + " [";
    line += ar.source ? ar.source : "";
    line += " : line " + std::to_string(ar.linedefined) + "]\n";
    return line;
}

}  // namespace

void AppendCallStack(lua_State* L, int level, std::string& buffer) {
    for (; level >= 0; ++level) {
        lua_Debug ar;
        if (!lua_getstack(L, level, &ar)) return;
        lua_getinfo(L, "nSlu", &ar);
        const char* prefix = "--  | ";
        if (level == 0) {
            buffer += "      <call stack>\n";
            prefix = "-> | ";
        }
        buffer += FrameLine(prefix, ar);
    }
}

std::wstring BuildScriptErrorText(lua_State* L) {
    const char* message = lua_tostring(L, 1);
    std::string buffer = message ? message : "(null)";  // an error value without string conversion
    buffer += "\n";
    AppendCallStack(L, 0, buffer);
    // Script text is UTF-8, so error messages from scripts usually are too; other narrow text (from the
    // C runtime, say) is in the ANSI code page.
    return Utf8OrAnsiToWide(buffer.data(), buffer.size()) + kReportRequest;
}

int ScriptErrorHandler(lua_State* L) {
    const std::wstring text = BuildScriptErrorText(L);
    ::MessageBoxW(nullptr, text.c_str(), kScriptErrorCaption, MB_ICONERROR | MB_OK);
    EndRun(kExitScriptError);
}

}  // namespace orv
