// Process utilities: finding processes by executable name, ending them, their image paths, privileges.
// Plain functions, usable without a script.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "utility/uniquehandle.h"

namespace orv {

// The NT device behind each drive letter, built on first use.
class DeviceMap {
public:
    // A device path ("\Device\HarddiskVolume1\dir\a.exe") with its device replaced by the drive that maps
    // to it. False, path unchanged, when no drive maps to the device.
    bool DevicePathToDosPath(std::wstring& path);
    bool BuildDeviceMap();

private:
    std::map<std::wstring, std::wstring> devices_;  // device name -> "C:"
};

// One snapshot of all processes.
class ProcessSnapshot {
public:
    ProcessSnapshot();
    bool Valid() const { return snapshot_.Valid(); }

    // Ids of the processes whose executable name (no folder) equals `name` without regard to case, in
    // snapshot order; id 0 is skipped.
    std::vector<DWORD> FindAll(const std::wstring& name) const;

private:
    UniqueFileHandle snapshot_;  // the toolhelp snapshot's failure value is INVALID_HANDLE_VALUE
};

// Enables or disables a privilege of the current process's token.
bool EnablePrivilege(const wchar_t* name, bool enable);

// The first process with that executable name, or -1.
long FindProcessIdByName(const ProcessSnapshot& snapshot, const std::wstring& name);

// Ends a process: close messages to its windows first, then, after 3 s, forced termination. True when
// it has ended (or was already gone).
bool KillProcessById(DWORD id);

// The executable path of a process, with a drive letter.
bool GetImagePathByPid(DWORD id, std::wstring& path);

}  // namespace orv
