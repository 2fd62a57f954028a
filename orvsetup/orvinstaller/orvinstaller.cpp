// Entry procedure and the fixed run sequence: chunks, single instance, hooks, silent or dialog run.
#include <windows.h>
#include <commctrl.h>

#include <pugixml.hpp>

#include "appinstance.h"
#include "gdiplussession.h"
#include "layoutresource.h"
#include "messageloop.h"
#include "orvscriptengine/orvscriptengine.h"
#include "orvscriptengine/scriptglobals.h"
#include "orvscriptengine/scripttrace.h"
#include "../common/utility/scopeguard.h"
#include "../common/utility/uniquehandle.h"

namespace orv {
namespace {

constexpr int kExitStopped = 0;
constexpr int kExitCompleted = 1;

struct RunMode {
    bool silent = false;
    bool showFinish = false;
};

RunMode DecideRunMode(lua_State* L) {
    RunMode mode;
    if (GetGlobalFlag(L, "global_enable_ss_install")) mode.silent = GetGlobalFlag(L, "global_ss_install");
    if (mode.silent) TraceLine(L"global_ss_install==true ~!\r\n");
    mode.showFinish = GetGlobalFlag(L, "global_show_completewindow");
    TraceLine(mode.showFinish ? L"Completewindow==true ~!\r\n" : L"Completewindow==false ~!\r\n");
    return mode;
}

void StartCommonControls() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
}

// Everything after the platform start; returns the exit code.
int RunHooksAndDialogs(HINSTANCE instance, lua_State* L) {
    CallHook(L, "ORVSE_BeforeInit");
    const RunMode mode = DecideRunMode(L);

    pugi::xml_document layout;  // the dialogs keep pointers into it: it outlives them
    const bool needsLayout = !mode.silent || mode.showFinish;  // a silent run without the finish window never reads it
    if (needsLayout) {
        if (mode.silent) TraceLine(L"SSInstall ~!\r\n");
        if (mode.showFinish) TraceLine(L"Completewindow ~!");
        if (!LoadLayoutDocument(instance, layout)) return kExitStopped;
    }

    if (mode.silent) {
        TraceLine(L"start ss install!");
        SetGlobalText(L, "InstallPath", GetGlobalText(L, "global_install_path"));
        CallHook(L, "ORVSE_BeforeInstall");
        CallHook(L, "ORVSE_OnInstall");
    } else {
        TraceLine(L"interactive run: the setup dialogs are not built into this engine yet\r\n");
        return kExitStopped;
    }

    CallHook(L, "ORVSE_BeforeComplete");
    if (mode.silent || !mode.showFinish) TraceLine(L"node <Dlg name=\"CompleteDlg\"> is hide!");
    CallHook(L, "ORVSE_AfterComplete");
    return kExitCompleted;
}

int RunSetup(HINSTANCE instance) {
    ORVScriptEngine& engine = ORVScriptEngine::Instance();
    if (!engine.DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
        TraceLine(L"DoResLua failed, GLOBAL_VAR.LUAC");
        return kExitStopped;
    }
    if (!engine.DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
        TraceLine(L"DoResLua failed, INSTSCRIPT.LUAC");
        return kExitStopped;
    }
    lua_State* L = engine.GetLuaState();

    std::wstring mutexName = GetGlobalText(L, "global_install_mutex_guid");
    int32_t appId = 0;
    if (mutexName.empty()) {
        mutexName = kDefaultMutexName;
        appId = GetGlobalInteger(L, "global_app_id");
    }
    UniqueHandle ownMutex;  // held until the process ends
    switch (CreateAppInstance(mutexName, appId, ownMutex)) {
        case InstanceCheck::kAlreadyRunning:
            TraceLine(L"CreateAppInstance return true");
            return kExitStopped;
        case InstanceCheck::kBadName:
            return kExitStopped;
        case InstanceCheck::kFirst:
            break;
    }

    ComInit com;
    EnsureGdiplus();
    StartCommonControls();
    Module().Init(instance);
    auto endModule = MakeScopeExit([] { Module().Term(); });  // runs before COM is released
    const int exitCode = RunHooksAndDialogs(instance, L);
    return exitCode;
}

}  // namespace
}  // namespace orv

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return orv::RunSetup(instance);
    } catch (const orv::ComFailure& failure) {
        orv::TraceLine(L"script engine could not be created, hr=0x%08X\r\n", static_cast<unsigned>(failure.hr));
        return 0;
    }
}
