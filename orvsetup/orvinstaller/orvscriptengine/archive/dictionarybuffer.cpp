// Heap or file-backed dictionary memory.
#include "orvscriptengine/archive/dictionarybuffer.h"

#include "orvscriptengine/archive/decoderheap.h"

#include <psapi.h>

#include <string>
#include <utility>

namespace orv {
namespace {

constexpr size_t kFileBackedFrom = 16u << 20;  // smaller dictionaries are not worth a file

UniqueFileHandle CreateTemporaryFile() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return UniqueFileHandle();
    wchar_t path[MAX_PATH];
    if (!::GetTempFileNameW(folder, L"orv", 0, path)) return UniqueFileHandle();
    UniqueFileHandle file = CreateFileHandle(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
    if (!file) ::DeleteFileW(path);
    return file;
}

// Gives the file its length without writing to it: the disk space is set aside (a view whose pages find
// no room later would fault), while the bytes are only written as the decoder reaches them.
bool SetLength(HANDLE file, size_t size) {
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof(end)) != FALSE;
}

// The pages of a view the process may have touched before it gets a fresh one: well under the whole
// dictionary, where the matches of a long stream reach almost every page.
size_t TouchedBudget(size_t size) { return size / 8 * 5; }

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    return ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)) ? counters.WorkingSetSize
                                                                                          : 0;
}

}  // namespace

DictionaryBuffer::~DictionaryBuffer() { Release(); }

void DictionaryBuffer::Release() {
    if (mapping_) {
        view_.Reset();
        mapping_.Reset();
        file_.Reset();  // deleted on close
    } else if (data_) {
        FreeDecoderBytes(data_);
    }
    data_ = nullptr;
    size_ = 0;
    budget_ = 0;
}

bool DictionaryBuffer::Allocate(size_t size, bool mayUseFile) {
    Release();
    if (size == 0) size = 1;
    if (mayUseFile && size >= kFileBackedFrom) {
        file_ = CreateTemporaryFile();
        if (file_ && SetLength(file_.Get(), size)) {
            const UInt64 wide = size;
            mapping_.Reset(::CreateFileMappingW(file_.Get(), nullptr, PAGE_READWRITE, static_cast<DWORD>(wide >> 32),
                                                static_cast<DWORD>(wide), nullptr));
            if (mapping_) view_.Reset(::MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, size));
            if (view_) {
                data_ = static_cast<Byte*>(view_.Get());
                size_ = size;
                SetBudget();
                return true;
            }
            mapping_.Reset();
        }
        file_.Reset();
    }
    data_ = AllocateDecoderBytes(size);
    size_ = data_ ? size : 0;
    return data_ != nullptr;
}

bool DictionaryBuffer::OverBudget() const {
    if (!mapping_ || !budget_) return false;  // on the heap, or the working set cannot be read
    return WorkingSet() > budget_;
}

bool DictionaryBuffer::Refresh() {
    if (!mapping_ || !data_) return true;
    // A second view first, so that a failure leaves the first one in place.
    UniqueMappedView fresh(::MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, size_));
    if (!fresh) return false;
    view_ = std::move(fresh);
    data_ = static_cast<Byte*>(view_.Get());
    // Measured afresh with nothing of the view touched, so that what else the process came to hold
    // meanwhile cannot make every look ask for another view.
    if (budget_) SetBudget();
    return true;
}

void DictionaryBuffer::SetBudget() {
    const SIZE_T held = WorkingSet();
    budget_ = held ? held + TouchedBudget(size_) : 0;
}

}  // namespace orv
