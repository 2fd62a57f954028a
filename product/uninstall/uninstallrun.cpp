// Chunks, host globals, confirmation and hooks, all inside one protected call.
#include "uninstallrun.h"

#include <windows.h>
#include <shlwapi.h>

#include <exception>
#include <string>
#include <vector>

#include "orvscriptengine/orvscriptengine.h"
#include "orvscriptengine/scriptglobals.h"
#include "selfcopy.h"
#include "utility/journal.h"
#include "utility/textconv.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"uninstall"

namespace quellby {
namespace {

constexpr LONGLONG kMaxChunkBytes = 64 * 1024 * 1024;

// The whole file, or false (traced) when it is missing, unreadable or implausibly large.
bool ReadChunkFile(const std::wstring& path, std::string* bytes) {
    orv::UniqueFileHandle file =
        orv::CreateFileHandle(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file.Valid()) {
        orv::TraceLine(L"cannot open %ls\r\n", path.c_str());
        ORV_FAILURE_TRAILER(L"CreateFile failed.", ::GetLastError());
        return false;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxChunkBytes) {
        orv::TraceLine(L"%ls is empty or too large\r\n", path.c_str());
        return false;
    }
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) ||
        read != bytes->size()) {
        ORV_FAILURE_TRAILER(L"ReadFile failed.", ::GetLastError());
        return false;
    }
    return true;
}

bool RunChunkFile(const std::wstring& folder, const wchar_t* name) {
    std::string bytes;
    if (!ReadChunkFile(folder + L"\\" + name, &bytes)) return false;
    const std::string chunkName = "=" + orv::WideToUtf8(name);
    if (orv::ORVScriptEngine::Instance().RunChunk(bytes.data(), bytes.size(), chunkName.c_str())) return true;
    orv::TraceLine(L"RunChunk failed, %ls\r\n", name);
    return false;
}

void SetHostGlobals(lua_State* L, const UninstallOptions& options, const std::wstring& programPath) {
    orv::SetGlobalText(L, "global_install_path", options.fromFolder);
    orv::SetGlobalText(L, "_Uninstall_Path", programPath);
    lua_pushnil(L);
    lua_setglobal(L, "_UninstallLib");
    if (options.hasContact) {
        orv::SetGlobalText(L, "tbContact", options.contact);
    } else {
        lua_pushnil(L);
        lua_setglobal(L, "tbContact");
    }
    orv::SetGlobalText(L, "tbSuggest", options.suggest);
    for (int i = 0; i < 5; ++i) {
        const std::string name = "Vote" + std::to_string(i + 1) + "Chk";
        orv::SetGlobalFlag(L, name.c_str(), options.votes[i]);
    }
    orv::SetGlobalFlag(L, "ClearUserData", options.clearUserData);
    orv::SetGlobalFlag(L, "ChkUserSetting", options.keepSettings);
}

bool UserConfirms(lua_State* L) {
    const std::wstring product = orv::GetGlobalText(L, "global_product_name");
    std::vector<wchar_t> text(product.size() + 64);
    swprintf(text.data(), text.size(), L"确定要完全移除 %ls 及其所有组件吗？", product.c_str());
    const std::wstring caption = product + L" 卸载";
    return ::MessageBoxW(nullptr, text.data(), caption.c_str(), MB_OKCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND) ==
           IDOK;
}

int RunSequence(lua_State* L, const UninstallOptions& options, const std::wstring& programPath) {
    if (!RunChunkFile(options.fromFolder, L"Uninst.dar0") || !RunChunkFile(options.fromFolder, L"Uninst.dar1"))
        return kExitStopped;
    SetHostGlobals(L, options, programPath);
    if (!options.silent && !UserConfirms(L)) {
        orv::TraceLine(L"the user cancelled the uninstallation\r\n");
        return kExitCancelled;
    }
    orv::ComInit com;
    if (FAILED(com.Result())) orv::TraceLine(L"CoInitialize failed, hr=0x%08X\r\n", static_cast<unsigned>(com.Result()));
    // An install of the product that was killed is rolled back before anything is removed.
    orv::RecoverJournal(static_cast<uint32_t>(orv::GetGlobalInteger(L, "global_app_id")));
    if (!orv::CallHook(L, "ORVSE_BeforeInit") || !orv::CallHook(L, "ORVSE_OnUninstall")) return kExitStopped;
    SetOwnFileAside(programPath);  // the last hook deletes _Uninstall_Path, which must not ask
    if (!orv::CallHook(L, "ORVSE_AfterUnintall")) return kExitStopped;
    return kExitCompleted;
}

struct ProtectedRun {
    const UninstallOptions* options;
    const std::wstring* programPath;
    int exitCode;
};

// Every access to script globals may raise, so the run is one protected call: errors reach the script
// error handler.
int RunProtected(lua_State* L) {
    auto* run = static_cast<ProtectedRun*>(lua_touserdata(L, 1));
    lua_pop(L, 1);
    try {
        run->exitCode = RunSequence(L, *run->options, *run->programPath);
    } catch (const std::exception& error) {  // never Lua's own errors: those are not std::exceptions
        orv::TraceLine(L"the uninstallation stopped: %hs\r\n", error.what());
        run->exitCode = kExitStopped;
    }
    return 0;
}

// A drive root is never taken for an install folder: deleting it would empty the drive.
bool UsableInstallFolder(const std::wstring& folder) {
    if (folder.empty() || folder.size() >= MAX_PATH - 1) return false;
    return !::PathIsRootW((folder + L"\\").c_str()) && ::PathIsDirectoryW(folder.c_str());
}

}  // namespace

int RunUninstall(const UninstallOptions& options, const std::wstring& programPath) {
    if (!UsableInstallFolder(options.fromFolder)) {
        orv::TraceLine(L"not an install folder: \"%ls\"\r\n", options.fromFolder.c_str());
        return kExitStopped;
    }
    lua_State* L = orv::ORVScriptEngine::Instance().GetLuaState();
    ProtectedRun run{&options, &programPath, kExitStopped};
    lua_pushcfunction(L, RunProtected);
    lua_pushlightuserdata(L, &run);
    if (orv::ORVScriptEngine::ProtectedCall(L, 1, 0) != LUA_OK) {
        orv::TraceLine(L"the uninstallation stopped: %ls\r\n", orv::ORVScriptEngine::PopErrorText(L).c_str());
        return kExitStopped;
    }
    return run.exitCode;
}

}  // namespace quellby
