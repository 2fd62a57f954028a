// The names an extraction gives the temporary files it writes before they take their places:
// "orvtmp-<process>-<n>-<attempt>.tmp", the process in hexadecimal, so that the files a killed process
// left can be told from those of any other.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

namespace orv {

constexpr wchar_t kStagingNameStart[] = L"orvtmp-";

// The process part of the names of the process `process`.
inline std::wstring StagingProcessTag(DWORD process) {
    wchar_t tag[16];
    std::swprintf(tag, 16, L"%lx", static_cast<unsigned long>(process));
    return tag;
}

// What every name of the process with tag `tag` starts with.
inline std::wstring StagingNamePrefix(const std::wstring& tag) { return kStagingNameStart + tag + L"-"; }

}  // namespace orv
