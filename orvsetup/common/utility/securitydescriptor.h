// Security descriptors for the folders the elevated setup and uninstaller create, written as SDDL so that
// what a folder grants can be read in one line.
#pragma once

#include <windows.h>

#include <string>

#include "utility/uniquehandle.h"

namespace orv {

// True when this process runs with an elevated (full administrator) token.
bool ProcessIsElevated();

// The account SID of the user this process runs as, in string form ("S-1-5-21-..."); empty when unknown.
std::wstring CurrentUserSid();

// A folder only its maker may use, not inheriting anything from above. Elevated: owned by Administrators,
// full control for Administrators and SYSTEM only. Not elevated: owned by `userSid`, full control for that
// account only. Empty when the account is needed and `userSid` is empty.
std::wstring PrivateFolderSddl(bool elevated, const std::wstring& userSid);
// The same for this process.
std::wstring PrivateFolderSddl();

// What Program Files grants, without inheriting anything from above: administrators and SYSTEM
// everything, the built-in Users reading and running.
std::wstring ProgramFolderSddl();

// The one entry by which the built-in Users read and run a folder and everything that will be made in it.
std::wstring UsersReadAndRunAce();

// A self-relative descriptor converted from SDDL, freed with LocalFree.
class SecurityDescriptor {
public:
    // False, with the thread's last error set, when the text is not valid SDDL.
    bool FromSddl(const std::wstring& sddl);
    PSECURITY_DESCRIPTOR Get() const { return memory_.Get(); }
    // The descriptor's DACL; null when it has none.
    PACL Dacl() const;

private:
    UniqueLocalMemory memory_;
};

// Creates the folder `path` with the descriptor `sddl`. Like CREATE_NEW, it fails (ERROR_ALREADY_EXISTS)
// when something of that name exists. False with the thread's last error set on failure.
bool CreateFolderWithSddl(const std::wstring& path, const std::wstring& sddl);

}  // namespace orv
