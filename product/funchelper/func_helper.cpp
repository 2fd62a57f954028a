// func_helper.dll: what the product's setup script asks of the system beyond its own actions: the real
// Windows version, folder rights for ordinary users, and the product's desktop and taskbar shortcuts.
// Every export is stdcall under its plain name; a NULL argument does nothing (or gives FALSE).
#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "utility/securitydescriptor.h"
#include "utility/uniquehandle.h"

#define FUNC_HELPER_API extern "C" __declspec(dllexport)

namespace {

// The version the kernel reports: GetVersionEx answers 6.2 to a program without a compatibility manifest.
bool RealVersion(RTL_OSVERSIONINFOW* info) {
    using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");  // always loaded: no reference to release
    const auto get = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                 reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")))
                           : nullptr;
    if (!get) return false;
    *info = {};
    info->dwOSVersionInfoSize = sizeof(*info);
    return get(info) == 0;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Expand(const wchar_t* text) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text, nullptr, 0);
    if (needed == 0) return text;
    std::wstring out(needed, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text, &out[0], needed);
    if (written == 0 || written > needed) return text;
    out.resize(written - 1);
    return out;
}

// Writes a shortcut at `linkPath` to `program`, starting in the program's folder.
bool SaveShortcut(const std::wstring& linkPath, const wchar_t* program, const wchar_t* description) {
    orv::ComInit com;
    if (FAILED(com.Result()) && com.Result() != RPC_E_CHANGED_MODE) return false;  // COM is unusable here
    orv::ComRef<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Put())))
        return false;
    const std::wstring folder = FolderOf(program);
    if (FAILED(link->SetPath(program)) || FAILED(link->SetWorkingDirectory(folder.c_str()))) return false;
    link->SetDescription(description);
    orv::ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Put()))) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

// Runs a pin verb on a shortcut. The shell pins or not as it pleases; no error box may show.
void RunPinVerb(const std::wstring& linkPath, const wchar_t* verb) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = verb;
    info.lpFile = linkPath.c_str();
    info.nShow = SW_HIDE;
    ::ShellExecuteExW(&info);
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

FUNC_HELPER_API BOOL WINAPI IsOSWin7(void) {
    RTL_OSVERSIONINFOW info;
    return RealVersion(&info) && info.dwMajorVersion == 6 && info.dwMinorVersion == 1;
}

FUNC_HELPER_API BOOL WINAPI IsOSWin11(void) {
    RTL_OSVERSIONINFOW info;
    return RealVersion(&info) && info.dwMajorVersion == 10 && info.dwBuildNumber >= 22000;
}

// Lets the built-in Users group read and run what the folder holds and everything that will be made in it.
// Never more: the folder holds a service that runs as SYSTEM and the chunks the elevated uninstaller runs.
FUNC_HELPER_API BOOL WINAPI AllowAccountPrivilege(const wchar_t* folder) {
    if (!folder || !*folder) return FALSE;
    PACL oldAcl = nullptr;
    orv::UniqueLocalMemory descriptor;
    if (::GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldAcl,
                                nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Put())) != ERROR_SUCCESS)
        return FALSE;
    // The entry to add, as the shared descriptor module writes it.
    orv::SecurityDescriptor wanted;
    if (!wanted.FromSddl(L"D:" + orv::UsersReadAndRunAce()) || !wanted.Dacl()) return FALSE;
    ULONG count = 0;
    orv::UniqueLocalMemory entries;
    if (::GetExplicitEntriesFromAclW(wanted.Dacl(), &count, reinterpret_cast<PEXPLICIT_ACCESS_W*>(entries.Put())) !=
            ERROR_SUCCESS ||
        count != 1)
        return FALSE;
    orv::UniqueLocalMemory newAcl;
    if (::SetEntriesInAclW(count, static_cast<PEXPLICIT_ACCESS_W>(entries.Get()), oldAcl,
                           reinterpret_cast<PACL*>(newAcl.Put())) != ERROR_SUCCESS)
        return FALSE;
    std::wstring path(folder);
    return ::SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   static_cast<PACL>(newAcl.Get()), nullptr) == ERROR_SUCCESS;
}

// "<Desktop>\<displayName>.lnk" to the program. The window class is the script's; the shortcut needs none.
FUNC_HELPER_API void WINAPI CreateDesktopShortcut(const wchar_t* programPath, const wchar_t* windowClass,
                                                  const wchar_t* displayName) {
    if (!programPath || !*programPath || !displayName || !*displayName) return;
    wchar_t desktop[MAX_PATH];
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                  desktop)))
        return;
    SaveShortcut(std::wstring(desktop) + L"\\" + displayName + L".lnk", programPath, displayName);
}

// Unpins the shortcut (environment variables in the path are expanded) and deletes it.
FUNC_HELPER_API void WINAPI UnpinFromTaskbar(const wchar_t* shortcutPath) {
    if (!shortcutPath || !*shortcutPath) return;
    const std::wstring path = Expand(shortcutPath);
    if (!FileExists(path)) return;
    RunPinVerb(path, L"taskbarunpin");
    ::DeleteFileW(path.c_str());
}

// The user's pinned-taskbar shortcut to the program, then the pin verb on it.
FUNC_HELPER_API void WINAPI CreateTaskbarShortcut(const wchar_t* programPath, const wchar_t* windowClass,
                                                  const wchar_t* displayName) {
    if (!programPath || !*programPath || !displayName || !*displayName) return;
    const std::wstring folder = Expand(L"%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar");
    if (folder.find(L'%') != std::wstring::npos) return;  // no APPDATA
    const int made = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) return;
    const std::wstring linkPath = folder + L"\\" + displayName + L".lnk";
    if (!SaveShortcut(linkPath, programPath, displayName)) return;
    RunPinVerb(linkPath, L"taskbarpin");
}
