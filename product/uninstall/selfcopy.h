// Running the uninstaller from a copy outside the install folder, so that the install folder can go.
#pragma once

#include <windows.h>

#include <string>

namespace quellby {

// Copies this program into a new private folder in the temporary folder, checks the copy while holding it
// open against changes, starts it in the system folder with `arguments` followed by
// /_from:"<this program's folder>" /_parent:<an inherited handle to this process>, waits for it to end,
// removes the folder (what is still in use goes at the next start) and returns the copy's exit code. 0,
// with a trace line, when the copy cannot be made or started.
DWORD RunFromTemporaryCopy(const std::wstring& arguments);

// Where the running copy moves its own file before the script deletes `_Uninstall_Path`: a program's
// file cannot be deleted while it runs (the delete would ask the user, even in a silent run), but it can
// be renamed. Both names are deleted when the copy has ended.
std::wstring SetAsidePath(const std::wstring& copyPath);
// Renames the running program's file to SetAsidePath and schedules that for deletion at the next start.
void SetOwnFileAside(const std::wstring& programPath);

// True in a process started by RunFromTemporaryCopy (its environment says so).
bool IsTemporaryCopy();

// The full path of this program; empty when it cannot be read.
std::wstring OwnProgramPath();

// The folder part of a path (no trailing backslash); the path itself when it has no backslash.
std::wstring FolderOf(const std::wstring& path);

// Deletes the file, or asks for its deletion at the next start when it cannot be deleted now (which
// needs administrator rights; a refusal is ignored).
void DeleteNowOrAtRestart(const std::wstring& path);

}  // namespace quellby
