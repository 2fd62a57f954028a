// The process's entries in the system's handle table.
#include "handletable.h"

#include <algorithm>
#include <vector>

#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR handleAttributes;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};
struct HandleTable {  // SYSTEM_HANDLE_INFORMATION
    ULONG count;
    HandleEntry entries[1];
};
struct CountedText {  // UNICODE_STRING, the start of OBJECT_NAME_INFORMATION and OBJECT_TYPE_INFORMATION
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
};

using QuerySystem = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

template <typename F>
F NtFunction(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

}  // namespace

std::set<USHORT> KernelHandles() {
    static const QuerySystem query = NtFunction<QuerySystem>("NtQuerySystemInformation");
    std::set<USHORT> handles;
    if (!query) return handles;
    std::vector<unsigned char> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kInfoLengthMismatch)
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    if (status < 0) return handles;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const USHORT self = static_cast<USHORT>(::GetCurrentProcessId());
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].processId == self) handles.insert(table->entries[i].handleValue);
    return handles;
}

std::wstring ObjectText(USHORT value, ULONG what) {
    static const QueryObject query = NtFunction<QueryObject>("NtQueryObject");
    alignas(8) unsigned char buffer[2048] = {};
    if (!query || query(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)), what, buffer, sizeof(buffer),
                        nullptr) < 0)
        return std::wstring();
    const auto* text = reinterpret_cast<const CountedText*>(buffer);
    return text->buffer ? std::wstring(text->buffer, text->length / sizeof(wchar_t)) : std::wstring();
}

void CloseNewFileHandlesOf(const std::set<USHORT>& before, const std::wstring& fileName) {
    for (USHORT value : KernelHandles()) {
        if (before.count(value) || ObjectText(value, kObjectTypeInformation) != L"File") continue;
        const std::wstring name = ObjectText(value, kObjectNameInformation);
        if (name.size() > fileName.size() && name.compare(name.size() - fileName.size(), fileName.size(), fileName) == 0 &&
            name[name.size() - fileName.size() - 1] == L'\\')
            UniqueHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value))).Reset();
    }
}

}  // namespace test
}  // namespace orv
