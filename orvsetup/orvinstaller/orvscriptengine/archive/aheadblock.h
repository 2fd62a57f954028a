// A folder (solid block) decoded on a thread of its own while the writer is still busy with an earlier one:
// its files are streamed into temporary files of their own, each checked against its checksum, and handed
// to the writer in archive order, who puts them in place. Only the decoder's dictionary and one buffer are
// held in memory, whatever the folder's size.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "orvscriptengine/archive/archivestreams.h"
#include "orvscriptengine/archive/folderdecoder.h"
#include "orvscriptengine/archive/stagedfile.h"
#include "utility/uniquehandle.h"

namespace orv {

// What the folders decoded ahead share: one lock and one signal, so that the writer waiting for one of
// them wakes as well when another fails, and the first failure, which stops them all.
class AheadGroup {
public:
    AheadGroup();
    ~AheadGroup();
    AheadGroup(const AheadGroup&) = delete;
    AheadGroup& operator=(const AheadGroup&) = delete;

    // The first failure of any folder of the group, else SZ_OK.
    int Failure();

private:
    friend class AheadBlock;
    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE changed_;
    int failure_ = SZ_OK;
};

class AheadBlock {
public:
    // Temporary files are made in `staging`, a folder on the volume of every place they go to.
    AheadBlock(AheadGroup& group, const CSzArEx& db, UInt32 folder, const std::wstring& staging);
    // Stops the decoding thread, waits for it and deletes every temporary file not taken.
    ~AheadBlock();
    AheadBlock(const AheadBlock&) = delete;
    AheadBlock& operator=(const AheadBlock&) = delete;

    SRes Start(const PositionalSource& source);
    UInt32 Folder() const { return folder_; }
    // Waits for the content of entry `file`, the folder's next file, closed and checked, and hands it
    // over. Else the first failure of the group: a decoder's code, SZ_ERROR_CRC, kExtractOutputFailed
    // (traced) or SZ_ERROR_MEM.
    int Take(UInt32 file, std::unique_ptr<StagedFile>* staged);
    // Waits for the folder's end, whose checks must pass.
    int End();
    // A failure of the folder's own that ends the extraction is traced when the block goes.

private:
    static constexpr size_t kBufferSize = 1u << 18;

    static DWORD WINAPI Run(void* self);
    int Decode();
    int Stage(UInt32 file, std::unique_ptr<StagedFile>* staged);
    // The next decoded bytes, at most `max` and at least one.
    SRes Next(UInt64 max, const Byte** data, size_t* size);
    bool Stopped();

    AheadGroup& group_;
    const CSzArEx& db_;
    const UInt32 folder_;
    const std::wstring staging_;
    std::vector<UInt32> entries_;                       // the folder's files, in archive order
    std::vector<std::unique_ptr<StagedFile>> staged_;   // their contents, as far as ready_
    size_t ready_ = 0;
    size_t taken_ = 0;
    bool ended_ = false;
    bool stop_ = false;
    int result_ = SZ_OK;
    UInt32 failedEntry_ = 0;
    DWORD systemError_ = 0;
    bool failedCreate_ = false;
    std::unique_ptr<StreamView> view_;
    FolderDecoder decoder_;
    Byte* buffer_ = nullptr;
    const Byte* piece_ = nullptr;
    size_t left_ = 0;
    UniqueHandle thread_;
};

}  // namespace orv
