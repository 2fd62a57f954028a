// The folders this process takes programs from, and the folder that was current when it started.
#pragma once

#include <string>

namespace orv {

// The system folder and the Windows folder, without a trailing backslash; empty when unknown.
std::wstring SystemFolder();
std::wstring WindowsFolder();

// Keeps the folder that is current now, then makes the system folder current: the folder a user started
// us from (a downloads folder, say) is theirs to write, and whatever looks a bare name up in the current
// folder first (the command interpreter, the shell) would find a program planted there. Call it before
// anything else runs; later calls change nothing.
void LeaveStartFolder();

// The folder that was current when LeaveStartFolder ran; empty before that.
std::wstring FolderAtStart();

// `path` as a full, normalised path. A relative path is taken against FolderAtStart (against the current
// folder while none was kept), so a path the user typed keeps meaning what they meant. False for an empty
// path or one that does not fit.
bool FullPathFromStart(const std::wstring& path, std::wstring* full);

// How a program name a script gives is to be taken.
enum class ProgramNameKind {
    kFull,      // a drive or network path: used as it stands
    kBare,      // a name without any folder part: looked up in the system folder, then the Windows folder
    kRelative,  // a folder part without a drive ("bin\x.exe", "..\x", "\x", "C:x"): refused
};
ProgramNameKind ClassifyProgramName(const std::wstring& name);

// The file a bare name stands for: the system folder's, else the Windows folder's (".exe" is tried as
// well when the name has no extension). False when neither holds it.
bool FindInSystemFolders(const std::wstring& name, std::wstring* path);

}  // namespace orv
