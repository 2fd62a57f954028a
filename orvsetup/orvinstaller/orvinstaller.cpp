// Entry procedure and the fixed run sequence: chunks, the payload check, single instance, hooks, silent or dialog run.
#include <windows.h>

#include <pugixml.hpp>

#include "appinstance.h"
#include "dialogsequence.h"
#include "dialogwarmup.h"
#include "installtransaction.h"
#include "layoutresource.h"
#include "messageloop.h"
#include "payloadcheck.h"
#include "orvscriptengine/orvscriptengine.h"
#include "orvscriptengine/scriptglobals.h"
#include "ui/gdiplussession.h"
#include "utility/trace.h"

#include <exception>
#include <memory>
#include <shellapi.h>
#include <wctype.h>
#include "utility/scopeguard.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"orvinstaller"

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

// A global as the scripts left it, read without running any metamethod of theirs.
bool RawGlobalFlag(lua_State* L, const char* name) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(L, name);
    lua_rawget(L, -2);
    const bool value = lua_toboolean(L, -1) != 0;
    lua_pop(L, 2);
    return value;
}

// The dialog the run will most likely show first, judged as DecideRunMode will judge it once the first
// hook has run (which may still change its mind); null when no window is expected.
const wchar_t* LikelyFirstDialog(lua_State* L) {
    const bool silent = RawGlobalFlag(L, "global_enable_ss_install") && RawGlobalFlag(L, "global_ss_install");
    if (!silent) return L"InitDlg";
    return RawGlobalFlag(L, "global_show_completewindow") ? L"CompleteDlg" : nullptr;
}

// Everything after the platform start; returns the exit code. A hook whose call fails without reaching
// the error handler (out of memory, an error in a finaliser) ends the run like any other failure.
int RunHooksAndDialogs(HINSTANCE instance, lua_State* L) {
    if (!CallHook(L, "ORVSE_BeforeInit")) return kExitStopped;
    const RunMode mode = DecideRunMode(L);

    pugi::xml_document layout;  // the dialogs keep pointers into it: it outlives them
    const bool needsLayout = !mode.silent || mode.showFinish;  // a silent run without the finish window never reads it
    if (needsLayout) {
        // Only a run that shows a window pays for the drawing libraries; a silent one stays small. The
        // common controls start once the first window is on screen (no control of theirs is in it).
        ORVUE::EnsureGdiplus();
        if (mode.silent) TraceLine(L"SSInstall ~!\r\n");
        if (mode.showFinish) TraceLine(L"Completewindow ~!");
        if (!LoadLayoutDocument(instance, layout)) return kExitStopped;
    }

    if (mode.silent) {
        TraceLine(L"start ss install!");
        SetGlobalText(L, "InstallPath", GetGlobalText(L, "global_install_path"));
        if (!CallHook(L, "ORVSE_BeforeInstall") || !CallHook(L, "ORVSE_OnInstall")) return kExitStopped;
    } else if (RunInstallDialogs(instance, L, layout) != 1) {
        return kExitStopped;
    }
    // The install is complete: what the run changes from here on stays, whatever follows.
    CommitInstallTransaction(L);

    if (!CallHook(L, "ORVSE_BeforeComplete")) return kExitStopped;
    if (mode.silent || !mode.showFinish) {
        TraceLine(L"node <Dlg name=\"CompleteDlg\"> is hide!");
    } else if (RunFinishDialog(instance, L, layout) != 1) {
        return kExitStopped;
    }
    if (!CallHook(L, "ORVSE_AfterComplete")) return kExitStopped;
    return kExitCompleted;
}

// Whether the command line asks for a run without windows ("/s" or "-s", as the scripts read it): decided
// here before any script ran, for what the setup says before its first hook.
bool SilentRequested() {
    int count = 0;
    UniqueLocalMemory words(::CommandLineToArgvW(::GetCommandLineW(), &count));
    LPWSTR* argv = static_cast<LPWSTR*>(words.Get());
    for (int i = 1; argv && i < count; ++i)
        if ((argv[i][0] == L'/' || argv[i][0] == L'-') && towlower(argv[i][1]) == L's' && argv[i][2] == L'\0')
            return true;
    return false;
}

// True when the payload may be used: it matched its digest, or the setup carries none. Otherwise the user
// is told (a silent run only traces) and the run ends before any hook, having changed nothing.
bool PayloadIsSound(PayloadCheck& check) {
    const PayloadVerdict verdict = check.Await();
    if (verdict == PayloadVerdict::kIntact || verdict == PayloadVerdict::kUnchecked) return true;
    if (SilentRequested()) {
        TraceLine(L"silent run: the damaged setup ends without a message box\r\n");
    } else {
        ::MessageBoxW(nullptr, L"安装程序已损坏，请重新下载。", L"错误", MB_ICONERROR | MB_OK);
    }
    return false;
}

// `ownMutex` receives the single-instance mutex; the caller holds it until the process ends.
int RunSequence(HINSTANCE instance, lua_State* L, PayloadCheck& payload, UniqueHandle& ownMutex) {
    ORVScriptEngine& engine = ORVScriptEngine::Instance();
    if (!engine.DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
        TraceLine(L"DoResLua failed, GLOBAL_VAR.LUAC");
        return kExitStopped;
    }
    if (!engine.DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
        TraceLine(L"DoResLua failed, INSTSCRIPT.LUAC");
        return kExitStopped;
    }
    if (!PayloadIsSound(payload)) return kExitStopped;

    std::wstring mutexName = GetGlobalText(L, "global_install_mutex_guid");
    int32_t appId = 0;
    if (mutexName.empty()) {
        mutexName = kDefaultMutexName;
        appId = GetGlobalInteger(L, "global_app_id");
    }
    switch (CreateAppInstance(mutexName, appId, ownMutex)) {
        case InstanceCheck::kAlreadyRunning:
            TraceLine(L"CreateAppInstance return true");
            return kExitStopped;
        case InstanceCheck::kBadName:
            return kExitStopped;
        case InstanceCheck::kFirst:
            break;
    }

    // Before the first hook: an earlier run's journal finished, this run's opened.
    if (!BeginInstallTransaction(L)) return kExitStopped;
    ComInit com;
    if (FAILED(com.Result())) TraceLine(L"CoInitialize failed, hr=0x%08X\r\n", static_cast<unsigned>(com.Result()));
    // The first dialog's images are decoded while the first hook runs. Not sooner: under Wine the first
    // COM call waits for the desktop process when none runs, and a second thread of ours loading
    // libraries while that process starts was seen to make its start fail, and every window of ours too.
    std::unique_ptr<DialogWarmUp> warmUp;
    if (const wchar_t* dialog = LikelyFirstDialog(L)) warmUp = std::make_unique<DialogWarmUp>(instance, dialog);
    Module().Init(instance);
    auto endModule = MakeScopeExit([] { Module().Term(); });  // runs before COM is released
    return RunHooksAndDialogs(instance, L);
}

// The whole run reads and writes script globals, and a configuration may make any such access raise
// (a strict-globals metatable on _G, say). So the run is itself a protected call, as Lua's own
// interpreter runs its main: every error reaches the script error handler, its box and exit code 0.
struct ProtectedRun {
    HINSTANCE instance;
    PayloadCheck* payload;
    int exitCode;
    UniqueHandle mutex;  // outlives the protected call
};

int RunProtected(lua_State* L) {
    auto* run = static_cast<ProtectedRun*>(lua_touserdata(L, 1));
    lua_pop(L, 1);
    try {
        run->exitCode = RunSequence(run->instance, L, *run->payload, run->mutex);
    } catch (const std::exception& error) {  // never Lua's own errors: those are not std::exceptions
        TraceLine(L"the run stopped: %hs\r\n", error.what());
        run->exitCode = kExitStopped;
    }
    return 0;
}

int RunSetup(HINSTANCE instance, PayloadCheck& payload) {
    lua_State* L = ORVScriptEngine::Instance().GetLuaState();
    ProtectedRun run{instance, &payload, kExitStopped, UniqueHandle()};
    lua_pushcfunction(L, RunProtected);
    lua_pushlightuserdata(L, &run);
    const bool finished = ORVScriptEngine::ProtectedCall(L, 1, 0) == LUA_OK;
    if (!finished) TraceLine(L"the run stopped: %ls\r\n", ORVScriptEngine::PopErrorText(L).c_str());
    EndInstallTransaction();  // every end before the commit rolls back
    return finished ? run.exitCode : kExitStopped;
}

}  // namespace
}  // namespace orv

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    orv::PayloadCheck payload;  // hashes while the script engine starts and the chunks load
    try {
        return orv::RunSetup(instance, payload);
    } catch (const orv::NoLuaState& failure) {
        orv::TraceLine(L"script engine could not be created, hr=0x%08X\r\n", static_cast<unsigned>(failure.hr));
        return 0;
    }
}
