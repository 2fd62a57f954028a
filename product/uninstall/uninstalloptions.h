// What the uninstaller's command line asks for.
#pragma once

#include <string>

namespace quellby {

struct UninstallOptions {
    bool silent = false;              // "/S": no confirmation
    bool hasContact = false;          // "/contact:TEXT" was given (tbContact is nil otherwise)
    std::wstring contact;
    std::wstring suggest;             // "/suggest:TEXT"
    bool votes[5] = {};               // "/vote:2,4": reasons 1 to 5
    bool clearUserData = false;       // "/clearuserdata"
    bool keepSettings = false;        // "/keepsettings"
    bool hasFrom = false;             // "/_from:FOLDER": this process is the temporary copy
    std::wstring fromFolder;          // the install folder, without a trailing backslash
    std::wstring parentHandle;        // "/_parent:N": the starter's handle to itself, as a number
};

// Reads the arguments after the program name (argv[1] on). Option names are compared without regard to
// case; unknown arguments are ignored; a later option wins over an earlier one.
UninstallOptions ParseUninstallOptions(int argc, const wchar_t* const* argv);

// The raw command line without its first word (the program), as CommandLineToArgvW would skip it.
std::wstring ArgumentsAfterProgram(const wchar_t* commandLine);

}  // namespace quellby
