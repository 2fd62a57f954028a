// Decodes a folder on a thread of its own, a few buffers ahead of the thread that writes its files.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "orvscriptengine/archive/archivestreams.h"
#include "orvscriptengine/archive/folderdecoder.h"
#include "utility/uniquehandle.h"

namespace orv {

// Called on a decoding thread before it decodes its folder; tests delay one folder with it.
using DecodeStartHook = void (*)(UInt32 folder);
void SetDecodeStartHook(DecodeStartHook hook);
void RunDecodeStartHook(UInt32 folder);

class BlockReader {
public:
    BlockReader();
    // Stops the decoding thread and waits for it.
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // Starts decoding `folder` through a stream of its own over `source`.
    SRes Start(const CSzArEx& db, UInt32 folder, const PositionalSource& source);
    UInt32 Folder() const { return folder_; }
    // The next decoded bytes, valid until the next call; *size is 0 once the folder's bytes were all
    // delivered and its end checked. An error is the decoder's, after the bytes decoded before it.
    SRes Next(const Byte** data, size_t* size);

private:
    static constexpr unsigned kSlots = 4;
    static constexpr size_t kSlotSize = 1u << 19;

    static DWORD WINAPI Run(void* self);
    void Decode();
    void Stop();

    std::unique_ptr<StreamView> view_;
    FolderDecoder decoder_;
    UInt32 folder_ = 0;
    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE changed_;
    std::vector<Byte*> slots_;  // a ring; a slot's buffer is made when the decoder first fills it
    std::vector<size_t> sizes_;
    unsigned first_ = 0;   // the oldest filled slot
    unsigned filled_ = 0;  // filled slots, the one the writer holds included
    bool holding_ = false;
    bool stop_ = false;
    bool ended_ = false;
    SRes result_ = SZ_OK;
    UniqueHandle thread_;
};

}  // namespace orv
