// Bridge installation order.
#include "bridge.h"

#include <vector>

namespace orv {
namespace {

struct BridgeModule {
    const char* name;
    lua_CFunction opener;
};

// The string, raw-buffer and DLL-manager types register here in that order as they are built.
const std::vector<BridgeModule>& BridgeModules() {
    static const std::vector<BridgeModule> modules;
    return modules;
}

}  // namespace

void InstallRequiredModule(lua_State* L, const char* name, lua_CFunction opener) {
    luaL_requiref(L, name, opener, 1);
    lua_pop(L, 1);
}

void InstallBridge(lua_State* L) {
    for (const BridgeModule& module : BridgeModules()) InstallRequiredModule(L, module.name, module.opener);
}

}  // namespace orv
