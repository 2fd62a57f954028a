// The script's own log line.
#include "orvscriptengine/actions/actions.h"

#include "orvscriptengine/actionargs.h"
#include "utility/trace.h"

namespace orv {

// Lua_Logout(text): one trace line with the text; numbers are written as their decimal text.
int Lua_Logout(lua_State* L) {
    const std::wstring text = ArgText(L, 1);
    TraceLine(L"%ls", text.c_str());
    return 0;
}

}  // namespace orv
