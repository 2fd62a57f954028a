// The one table that fixes which actions scripts see and in which order they are registered.
#include "scriptactions.h"

#include "actions/actions.h"

namespace orv {
namespace {

const ScriptAction kActions[] = {
    {"Lua_Logout", Lua_Logout},
};

}  // namespace

const ScriptAction* ScriptActions(size_t* count) {
    *count = sizeof(kActions) / sizeof(kActions[0]);
    return kActions;
}

void RegisterActions(lua_State* L) {
    for (const ScriptAction& action : kActions) lua_register(L, action.name, action.function);
}

}  // namespace orv
