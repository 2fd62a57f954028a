// Undoing what a script changed outside the engine and recorded with its undo: a service stopped and
// deleted, a COM server's DLL asked to unregister itself. Shared by the uninstall's removal and the
// journal's rollback; each decides first whether the target is its own to undo.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace orv {

enum class OutsideUndone { kDone, kRefused, kFailed };

// The program a service's command line starts: the quoted part, else up to the first space.
std::wstring ServiceProgram(const std::wstring& commandLine);

// Stops and deletes the service `name` when `programAllowed` accepts the program it starts (kRefused
// otherwise, the service untouched). A service that is not there counts as done. kFailed with `*error`.
OutsideUndone DeleteServiceIf(const std::wstring& name,
                              const std::function<bool(const std::wstring& program)>& programAllowed, DWORD* error);

// The DLL at `path`, a place the caller checked, loaded beside its imports and its DllUnregisterServer
// called. kFailed with `*error`: a system error, or the export's HRESULT.
OutsideUndone UnregisterServerDll(const std::wstring& path, DWORD* error);

}  // namespace orv
