// The desktop shell and other programs: shortcuts, opening and running files (pin verbs included), COM
// server registration, message boxes, and the expansion, module-path and command-line queries.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>
#include <intshcut.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/foldercreation.h"
#include "orvscriptengine/pathexpand.h"
#include "utility/libraryload.h"
#include "utility/processfolders.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

#define ORV_TRACE_SOURCE L"shellactions"

namespace orv {
namespace {

constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsPinVerb(const std::wstring& verb) {
    for (const wchar_t* pin : {L"Startpin", L"Startunpin", L"Taskbarpin", L"Taskbarunpin"})
        if (_wcsicmp(verb.c_str(), pin) == 0) return true;
    return false;
}

// The full path of a program in the Windows folder (system32 with `inSystem`): a bare name would be
// looked for in the setup's own folder first, where a planted program could wait.
std::wstring WindowsProgram(const wchar_t* name, bool inSystem) {
    const std::wstring folder = inSystem ? SystemFolder() : WindowsFolder();
    return folder.empty() ? std::wstring() : folder + L"\\" + name;
}

// What a script's program name stands for. A bare name is the system folders' file, never one in the
// current folder or beside the setup; a relative path with a folder part is refused, since it would be
// taken against a folder a user may write.
enum class ProgramLookup { kFound, kMissing, kRefused };

ProgramLookup LookUpProgram(const char* action, std::wstring* file) {
    switch (ClassifyProgramName(*file)) {
        case ProgramNameKind::kFull:
            return ProgramLookup::kFound;
        case ProgramNameKind::kBare: {
            std::wstring found;
            if (!FindInSystemFolders(*file, &found)) return ProgramLookup::kMissing;
            *file = found;
            return ProgramLookup::kFound;
        }
        case ProgramNameKind::kRelative:
            break;
    }
    TraceLine(L"Fun:%hs, Description:%ls is a relative path, refused\r\n", action, file->c_str());
    return ProgramLookup::kRefused;
}

// Starts `program` with a command line through the wide-character process API, so paths the ANSI code
// page cannot hold keep their characters. True when the process started.
bool StartCommandLine(const std::wstring& program, std::wstring commandLine, WORD show) {
    if (program.empty()) return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process;
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    UniqueHandle thread(process.hThread);
    UniqueHandle started(process.hProcess);
    return true;
}

// Starts a program through the desktop shell program (at the shell's rights level).
bool ExplorerLaunch(const std::wstring& file, const std::wstring& parameters) {
    return StartCommandLine(WindowsProgram(L"explorer.exe", false),
                            L"explorer.exe \"" + file + L"\" \"" + parameters + L"\"", SW_SHOWNORMAL);
}

// A shell link or, for a URL target, an internet shortcut, ready to be saved.
bool PrepareLink(lua_State* L, const std::wstring& target, ComRef<IPersistFile>& file) {
    if (::PathIsURLW(target.c_str())) {
        ComRef<IUniformResourceLocatorW> url;
        if (FAILED(::CoCreateInstance(CLSID_InternetShortcut, nullptr, kAnyServer, IID_IUniformResourceLocatorW,
                                      url.Put()))) {
            ORV_FAILURE_TRAILER(L"CoCreateInstance(CLSID_InternetShortcut) failed!", ::GetLastError());
            return false;
        }
        if (FAILED(url->SetURL(target.c_str(), 0))) {
            const DWORD error = ::GetLastError();
            TraceLine(L"SetURL %ls failed!\r\n", target.c_str());
            ORV_FAILURE_TRAILER(L"", error);
            return false;
        }
        if (FAILED(url->QueryInterface(IID_IPersistFile, file.Put()))) {
            ORV_FAILURE_TRAILER(L"QueryInterface IID_IPersistFile failed!", ::GetLastError());
            return false;
        }
        return true;
    }
    std::wstring path;
    if (!ExpandPath(target, path)) {
        TraceLine(L"Fun:Lua_CreateShortcut, Description:%ls does not fit in %d units once expanded\r\n",
                  target.c_str(), MAX_PATH);
        return false;
    }
    ComRef<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, kAnyServer, IID_IShellLinkW, link.Put()))) {
        ORV_FAILURE_TRAILER(L"CoCreateInstance(CLSID_ShellLink) failed!", ::GetLastError());
        return false;
    }
    auto failed = [](const wchar_t* format, const std::wstring& value) {
        const DWORD error = ::GetLastError();
        TraceLine(format, value.c_str());
        ORV_FAILURE_TRAILER(L"", error);
        return false;
    };
    if (lua_gettop(L) >= 4) {
        const std::wstring arguments = ArgText(L, 3), description = ArgText(L, 4);
        if (!lua_isnil(L, 3) && FAILED(link->SetArguments(arguments.c_str())))
            return failed(L"SetArguments %ls failed!\r\n", arguments);
        if (!lua_isnil(L, 4) && FAILED(link->SetDescription(description.c_str())))
            return failed(L"SetDescription %ls failed!\r\n", description);
    }
    if (FAILED(link->SetPath(path.c_str()))) return failed(L"SetPath %ls failed!\r\n", path);
    if (FAILED(link->SetWorkingDirectory(FolderOf(path).c_str())))
        return failed(L"SetWorkingDirectory %ls failed!\r\n", FolderOf(path));
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Put()))) {
        ORV_FAILURE_TRAILER(L"QueryInterface IID_IPersistFile failed!", ::GetLastError());
        return false;
    }
    return true;
}

}  // namespace

// Lua_CreateShortcut(target, linkPath [, arguments, description]) -> boolean.
int Lua_CreateShortcut(lua_State* L) {
    ComInit com;
    std::wstring target, linkPath;
    if (!ArgPath(L, 1, target, false) || !ArgPath(L, 2, linkPath)) return PushFlag(L, false);
    const std::wstring folder = FolderOf(linkPath);
    if (!folder.empty() && !PathExists(folder))
        CreateFoldersNoticed("Lua_CreateShortcut", folder, [](const std::wstring& path) {
            return ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr) == ERROR_SUCCESS;
        });
    ComRef<IPersistFile> file;
    if (!PrepareLink(L, target, file)) return PushFlag(L, false);
    ChangeNotice notice("Lua_CreateShortcut", ShortcutChange(linkPath));
    if (!notice.Allowed()) return PushFlag(L, false);
    if (FAILED(file->Save(linkPath.c_str(), TRUE))) {
        const DWORD error = ::GetLastError();
        TraceLine(L"Save %ls failed!\r\n", linkPath.c_str());
        ORV_FAILURE_TRAILER(L"", error);
        return PushFlag(L, false);
    }
    TraceLine(L"Save Shortcut %ls \r\n", linkPath.c_str());
    return PushFlag(L, notice.Done(true));
}

// Lua_Exec(file [, verb [, parameters [, wait [, viaShell]]]]) -> boolean.
int Lua_Exec(lua_State* L) {
    std::wstring file = ArgText(L, 1);
    const std::wstring verb = ArgText(L, 2);
    std::wstring parameters, folder;
    if (!::PathIsURLW(file.c_str())) {
        if (!ArgPath(L, 1, file)) return PushFlag(L, false);
        const ProgramLookup lookup = LookUpProgram("Lua_Exec", &file);
        if (lookup == ProgramLookup::kRefused) return PushFlag(L, false);
        if (lookup == ProgramLookup::kMissing || !PathExists(file)) {
            if (_wcsicmp(verb.c_str(), L"Startunpin") == 0 || _wcsicmp(verb.c_str(), L"Taskbarunpin") == 0)
                return PushFlag(L, true);
            TraceMissing("Lua_Exec", file);
            return PushFlag(L, false);
        }
        parameters = ArgText(L, 3);
        folder = FolderOf(file);
    }
    if (ArgFlag(L, 5)) return PushFlag(L, ExplorerLaunch(file, parameters));
    if (ArgFlag(L, 4)) {
        // Waiting: a file that cannot start fails at once, without a shell error box that nobody answers.
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpFile = file.c_str();
        info.lpParameters = parameters.c_str();
        info.lpDirectory = folder.c_str();
        info.nShow = SW_HIDE;
        const bool started = ::ShellExecuteExW(&info) != FALSE;
        const UniqueHandle process(info.hProcess);
        if (process) ::WaitForSingleObject(process.Get(), INFINITE);
        return PushFlag(L, started);
    }
    if (IsPinVerb(verb)) {
        // Pinning succeeds or not as the shell pleases; its answer, and any error box, are not wanted.
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpVerb = verb.c_str();
        info.lpFile = file.c_str();
        info.lpParameters = parameters.c_str();
        info.lpDirectory = folder.c_str();
        info.nShow = SW_SHOWNORMAL;
        ::ShellExecuteExW(&info);
        return PushFlag(L, true);
    }
    const HINSTANCE result = ::ShellExecuteW(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                                             parameters.c_str(), folder.c_str(), SW_SHOWNORMAL);
    return PushFlag(L, reinterpret_cast<INT_PTR>(result) > 32);
}

// Lua_ExplorerExec(file, parameters) -> boolean.
int Lua_ExplorerExec(lua_State* L) { return PushFlag(L, ExplorerLaunch(ArgText(L, 1), ArgText(L, 2))); }

// Lua_ShellExec(file, parameters) -> boolean: opened hidden, not waited for.
int Lua_ShellExec(lua_State* L) {
    std::wstring file = ArgText(L, 1);
    const std::wstring parameters = ArgText(L, 2);
    if (!::PathIsURLW(file.c_str())) {
        const ProgramLookup lookup = LookUpProgram("Lua_ShellExec", &file);
        if (lookup == ProgramLookup::kMissing) TraceMissing("Lua_ShellExec", file);
        if (lookup != ProgramLookup::kFound) return PushFlag(L, false);
    }
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;  // hidden: no error box either
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    const bool started = ::ShellExecuteExW(&info) != FALSE;
    const UniqueHandle process(info.hProcess);
    return PushFlag(L, started);
}

// Lua_RegSvr32(dllPath, register) -> boolean: the DLL's own (un)registration export. The DLL's imports
// are looked up beside it and in the system folder.
int Lua_RegSvr32(lua_State* L) {
    OleInit ole;
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    if (!RequirePath("Lua_RegSvr32", path)) return PushFlag(L, false);
    UniqueHModule module(LoadLibraryBesideItsImports(path.c_str()));
    if (!module) {
        const DWORD error = ::GetLastError();
        TraceLine(L"Fun:%ls, Description: LoadLibrary %ls Failed!\r\n", L"Lua_RegSvr32", path.c_str());
        ORV_FAILURE_TRAILER(L"", error);
        return PushFlag(L, false);
    }
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto registration = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(
        ::GetProcAddress(module.Get(), ArgFlag(L, 2) ? "DllRegisterServer" : "DllUnregisterServer")));
    return PushFlag(L, registration && SUCCEEDED(registration()));
}

// Lua_RegistDll(dllPath, switches) -> boolean: the system's registration tool, hidden, not waited for.
int Lua_RegistDll(lua_State* L) {
    OleInit ole;
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    if (!RequirePath("Lua_RegistDll", path)) return PushFlag(L, false);
    const bool started = StartCommandLine(WindowsProgram(L"regsvr32.exe", true),
                                          L"regsvr32 " + ArgText(L, 2) + L" \"" + path + L"\"", SW_HIDE);
    if (!started) TraceLine(L"reg failed!!! %d", static_cast<int>(::GetLastError()));
    return PushFlag(L, started);
}

// Lua_MsgBox(text [, caption [, type]]) -> the pressed button's id.
int Lua_MsgBox(lua_State* L) {
    const int count = lua_gettop(L);
    const bool known = count >= 1 && count <= 3;
    const std::wstring text = known ? ArgText(L, 1) : std::wstring();
    const std::wstring caption = known && count >= 2 ? ArgText(L, 2) : std::wstring();
    const UINT type = known && count == 3 ? ToUInt32(L, 3) : 0;
    lua_pushinteger(L, ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), type));
    return 1;
}

// Lua_ExpandEnv(text) -> the text with its environment variables expanded (empty when it does not fit).
int Lua_ExpandEnv(lua_State* L) {
    std::wstring expanded;
    ArgPath(L, LastArgument(L), expanded);
    PushText(L, expanded);
    return 1;
}

// Lua_GetModuleFileName([moduleName]) -> the path of that loaded module, or of the program itself.
int Lua_GetModuleFileName(lua_State* L) {
    HMODULE module = lua_gettop(L) >= 1 ? ::GetModuleHandleW(ArgText(L, 1).c_str()) : nullptr;
    wchar_t path[MAX_PATH] = L"";
    ::GetModuleFileNameW(module, path, MAX_PATH);
    PushText(L, path);
    return 1;
}

// Lua_GetCommandLineArgv() -> the program's command-line words (the program first), or nothing.
int Lua_GetCommandLineArgv(lua_State* L) {
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!words) return 0;
    const UniqueLocalMemory release(words);
    if (count < 1) return 0;
    lua_createtable(L, count, 0);
    for (int i = 0; i < count; ++i) {
        PushText(L, words[i]);
        lua_rawseti(L, -2, i + 1);
    }
    return 1;
}

}  // namespace orv
