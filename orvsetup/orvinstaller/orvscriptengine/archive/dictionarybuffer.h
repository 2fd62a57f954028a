// The memory a stream decoder keeps its dictionary (the bytes a match may copy from) in.
#pragma once

#include <windows.h>

#include <cstddef>

#include "7zTypes.h"
#include "utility/uniquehandle.h"

namespace orv {

// A small dictionary lives on the heap. A large one lives in a view of a temporary file that is mapped
// afresh whenever the pages touched since the last mapping grow past a budget: its bytes stay in the file
// and the system's file cache, and only the touched pages belong to the process. Without a temporary file
// it falls back to the heap.
class DictionaryBuffer {
public:
    DictionaryBuffer() = default;
    ~DictionaryBuffer();
    DictionaryBuffer(const DictionaryBuffer&) = delete;
    DictionaryBuffer& operator=(const DictionaryBuffer&) = delete;

    // False when the memory cannot be had. `mayUseFile` lets a large dictionary go to a temporary file.
    bool Allocate(size_t size, bool mayUseFile);
    Byte* Data() const { return data_; }
    size_t Size() const { return size_; }
    // Gives up the pages touched so far, keeping their bytes; Data() may move. False when the view could not
    // be mapped again (the old one is kept then, so nothing is lost).
    bool Refresh();
    bool InFile() const { return mapping_.Valid(); }
    // True when the process holds more than it did when the view was (last) mapped plus five eighths of
    // the dictionary: time for Refresh(). Always false on the heap.
    bool OverBudget() const;

private:
    void Release();
    void SetBudget();  // from the working set now, with nothing of the view touched

    Byte* data_ = nullptr;  // the heap block, or the view's first byte
    size_t size_ = 0;
    SIZE_T budget_ = 0;  // the process's working set that calls for a fresh view
    UniqueFileHandle file_;
    UniqueHandle mapping_;
    UniqueMappedView view_;  // after the mapping: unmapped before it is closed
};

}  // namespace orv
