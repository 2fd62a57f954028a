// The creator's handle: passed by the uninstaller, checked by its copy.
#include "parentcheck.h"

#include <cstdint>
#include <vector>

#include "utility/trace.h"

#define ORV_TRACE_SOURCE L"parentcheck"

namespace quellby {
namespace {

// ntdll's ProcessBasicInformation record, as NtQueryInformationProcess fills it.
struct BasicInformation {
    LONG exitStatus;
    void* pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR inheritedFromUniqueProcessId;
};
using QueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
constexpr ULONG kProcessBasicInformation = 0;

// The id of the process that created this one; 0 when unknown.
DWORD CreatorProcessId() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");  // always loaded: no reference to release
    const auto query = ntdll ? reinterpret_cast<QueryInformationProcessFn>(reinterpret_cast<void (*)()>(
                                   ::GetProcAddress(ntdll, "NtQueryInformationProcess")))
                             : nullptr;
    BasicInformation information = {};
    ULONG written = 0;
    if (!query || query(::GetCurrentProcess(), kProcessBasicInformation, &information, sizeof(information), &written) != 0)
        return 0;
    return static_cast<DWORD>(information.inheritedFromUniqueProcessId);
}

std::wstring ImageOf(HANDLE process) {
    std::vector<wchar_t> buffer(32768);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) return std::wstring();
    return std::wstring(buffer.data(), length);
}

}  // namespace

orv::UniqueHandle InheritableSelfHandle() {
    orv::UniqueHandle self;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), self.Put(),
                           PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, TRUE, 0))
        ORV_FAILURE_TRAILER(L"DuplicateHandle failed.", ::GetLastError());
    return self;
}

std::wstring HandleText(HANDLE handle) {
    return std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
}

bool ParseHandleText(const std::wstring& text, HANDLE* handle) {
    if (text.empty() || text.size() > 20) return false;
    unsigned long long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        const unsigned digit = static_cast<unsigned>(c - L'0');
        if (value > (UINTPTR_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (value == 0) return false;
    *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    return true;
}

bool HandleIsCreator(const std::wstring& handleText, std::wstring* image) {
    image->clear();
    HANDLE value = nullptr;
    if (!ParseHandleText(handleText, &value)) {
        orv::TraceLine(L"the uninstaller's copy was not given its starter's handle\r\n");
        return false;
    }
    const DWORD creator = CreatorProcessId();
    const DWORD named = ::GetProcessId(value);  // 0 unless the value is a process handle of ours
    if (creator == 0 || named != creator) {
        orv::TraceLine(L"the handle given is not one of the process that started this one (%lu, %lu)\r\n",
                       static_cast<unsigned long>(named), static_cast<unsigned long>(creator));
        return false;
    }
    const orv::UniqueHandle process(value);  // inherited from the creator: ours to close
    *image = ImageOf(process.Get());
    if (image->empty()) {
        ORV_FAILURE_TRAILER(L"QueryFullProcessImageName failed.", ::GetLastError());
        return false;
    }
    return true;
}

}  // namespace quellby
