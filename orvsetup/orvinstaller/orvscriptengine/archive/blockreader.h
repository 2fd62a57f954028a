// Decodes a folder on a thread of its own, a few buffers ahead of the thread that writes its files.
#pragma once

#include <windows.h>

#include "orvscriptengine/archive/folderdecoder.h"
#include "utility/uniquehandle.h"

namespace orv {

class BlockReader {
public:
    BlockReader();
    // Stops the decoding thread and waits for it.
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // Starts decoding `folder`; the decoder reads `stream` alone until this reader is gone.
    SRes Start(const CSzArEx& db, UInt32 folder, ISeekInStreamPtr stream);
    // The next decoded bytes, valid until the next call; *size is 0 once the folder's bytes were all
    // delivered and its end checked. An error is the decoder's, after the bytes decoded before it.
    SRes Next(const Byte** data, size_t* size);

private:
    static constexpr unsigned kSlots = 4;
    static constexpr size_t kSlotSize = 1u << 19;

    static DWORD WINAPI Run(void* self);
    void Decode();
    void Stop();

    FolderDecoder decoder_;
    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE changed_;
    Byte* slots_[kSlots] = {};
    size_t sizes_[kSlots] = {};
    unsigned first_ = 0;   // the oldest filled slot
    unsigned filled_ = 0;  // filled slots, the one the writer holds included
    bool holding_ = false;
    bool stop_ = false;
    bool ended_ = false;
    SRes result_ = SZ_OK;
    UniqueHandle thread_;
};

}  // namespace orv
