// Counts the process's kernel handles in the system's handle table (Wine's GetProcessHandleCount and
// GetGuiResources answer nothing) and the GDI and USER objects the engine's owners hold.
#include "resourcecheck.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kObjectTypeInformation = 2;
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
struct CountedText {  // UNICODE_STRING, the start of OBJECT_TYPE_INFORMATION
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

// The process's kernel handle values; empty when the table cannot be read.
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

// "Event", "File", ... for a handle of this process, as far as the system tells it.
std::wstring TypeOf(USHORT value) {
    static const QueryObject query = NtFunction<QueryObject>("NtQueryObject");
    alignas(8) unsigned char buffer[1024] = {};
    if (!query || query(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)), kObjectTypeInformation, buffer,
                        sizeof(buffer), nullptr) < 0)
        return L"?";
    const auto* name = reinterpret_cast<const CountedText*>(buffer);
    return name->buffer ? std::wstring(name->buffer, name->length / sizeof(wchar_t)) : L"?";
}

std::string Describe(const std::set<USHORT>& before, const std::set<USHORT>& after) {
    std::string text;
    for (USHORT value : after) {
        if (before.count(value)) continue;
        char line[160];
        std::snprintf(line, sizeof(line), " 0x%x (%ls)", value, TypeOf(value).c_str());
        text += line;
    }
    return text;
}

class ResourceCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        handles_ = KernelHandles();
        gdi_ = OwnedObjects::Held(OwnedObjects::kGdi);
        user_ = OwnedObjects::Held(OwnedObjects::kUser);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::set<USHORT> handles = KernelHandles();
        if (handles.size() > handles_.size())
            ADD_FAILURE() << "the test left " << handles.size() - handles_.size()
                          << " more kernel handles than it found:" << Describe(handles_, handles);
        const long gdi = OwnedObjects::Held(OwnedObjects::kGdi), user = OwnedObjects::Held(OwnedObjects::kUser);
        if (gdi > gdi_) ADD_FAILURE() << "the test left " << gdi - gdi_ << " more GDI objects held than it found";
        if (user > user_) ADD_FAILURE() << "the test left " << user - user_ << " more USER objects held than it found";
    }

private:
    std::set<USHORT> handles_;
    long gdi_ = 0;
    long user_ = 0;
};

}  // namespace

bool InstallResourceCheck() {
    // Ahead of the result printer, so that a test the check fails is printed as failed.
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    ::testing::TestEventListener* printer = listeners.Release(listeners.default_result_printer());
    listeners.Append(new ResourceCheck);
    if (printer) listeners.Append(printer);
    return true;
}

// Every program that links this file checks its tests.
const bool g_installed = InstallResourceCheck();

}  // namespace test
}  // namespace orv
