// Command-line options of the uninstaller.
#include "uninstalloptions.h"

#include <cwchar>

namespace quellby {
namespace {

// True when `arg` starts with `prefix` (ignoring case); `rest` receives what follows it.
bool TakePrefix(const wchar_t* arg, const wchar_t* prefix, std::wstring* rest) {
    const size_t length = wcslen(prefix);
    if (_wcsnicmp(arg, prefix, length) != 0) return false;
    *rest = arg + length;
    return true;
}

void ReadVotes(const std::wstring& list, bool (&votes)[5]) {
    for (bool& vote : votes) vote = false;
    for (wchar_t c : list)
        if (c >= L'1' && c <= L'5') votes[c - L'1'] = true;
}

std::wstring WithoutTrailingBackslashes(std::wstring folder) {
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

}  // namespace

UninstallOptions ParseUninstallOptions(int argc, const wchar_t* const* argv) {
    UninstallOptions options;
    std::wstring rest;
    for (int i = 1; i < argc && argv && argv[i]; ++i) {
        const wchar_t* arg = argv[i];
        if (_wcsicmp(arg, L"/S") == 0) {
            options.silent = true;
        } else if (TakePrefix(arg, L"/contact:", &rest)) {
            options.hasContact = true;
            options.contact = rest;
        } else if (TakePrefix(arg, L"/suggest:", &rest)) {
            options.suggest = rest;
        } else if (TakePrefix(arg, L"/vote:", &rest)) {
            ReadVotes(rest, options.votes);
        } else if (_wcsicmp(arg, L"/clearuserdata") == 0) {
            options.clearUserData = true;
        } else if (_wcsicmp(arg, L"/keepsettings") == 0) {
            options.keepSettings = true;
        } else if (TakePrefix(arg, L"/_from:", &rest)) {
            options.hasFrom = true;
            options.fromFolder = WithoutTrailingBackslashes(rest);
        } else if (TakePrefix(arg, L"/_parent:", &rest)) {
            options.parentHandle = rest;
        }
    }
    return options;
}

std::wstring ArgumentsAfterProgram(const wchar_t* commandLine) {
    if (!commandLine) return std::wstring();
    const wchar_t* p = commandLine;
    if (*p == L'"') {  // the program word ends at the next quote; it has no escapes
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

}  // namespace quellby
