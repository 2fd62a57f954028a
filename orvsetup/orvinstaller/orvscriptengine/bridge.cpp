// Bridge installation order.
#include "orvscriptengine/bridge.h"

#include <vector>

#include "orvscriptengine/bridge/dllmanager.h"
#include "orvscriptengine/bridge/rawbuffer.h"
#include "orvscriptengine/bridge/stringobjects.h"

namespace orv {
namespace {

struct BridgeModule {
    const char* name;
    lua_CFunction opener;
};

const std::vector<BridgeModule>& BridgeModules() {
    static const std::vector<BridgeModule> modules = {
        {"AString", OpenAString},
        {"WString", OpenWString},
        {"RawBuffer", OpenRawBuffer},
        {"DllManager", OpenDllManager},
    };
    return modules;
}

}  // namespace

void InstallRequiredModule(lua_State* L, const char* name, lua_CFunction opener) {
    luaL_requiref(L, name, opener, 1);
    lua_pop(L, 1);
}

void InstallBridge(lua_State* L) {
    for (const BridgeModule& module : BridgeModules()) InstallRequiredModule(L, module.name, module.opener);
    InstallGLibTab(L);
}

}  // namespace orv
