// The thread that streams a folder's files into temporary files, and the hand-over to the writer.
#include "orvscriptengine/archive/aheadblock.h"

#include <algorithm>
#include <new>
#include <utility>

#include "7zCrc.h"
#include "orvscriptengine/archive/blockreader.h"
#include "orvscriptengine/archive/decoderheap.h"
#include "orvscriptengine/archive/entryfacts.h"
#include "utility/fileio.h"
#include "utility/lockguard.h"
#include "utility/trace.h"

namespace orv {
namespace {

constexpr int kOutputFailed = SZ_ERROR_FAIL;  // the extractor's code for a file not created or written
constexpr int kStopped = SZ_ERROR_PROGRESS;   // told to stop: no failure of its own
constexpr UInt32 kNoFolder = 0xFFFFFFFF;

}  // namespace

AheadGroup::AheadGroup() {
    ::InitializeCriticalSection(&lock_);
    ::InitializeConditionVariable(&changed_);
}

AheadGroup::~AheadGroup() { ::DeleteCriticalSection(&lock_); }

int AheadGroup::Failure() {
    CriticalSectionGuard guard(lock_);
    return failure_;
}

AheadBlock::AheadBlock(AheadGroup& group, const CSzArEx& db, UInt32 folder, const std::wstring& staging)
    : group_(group), db_(db), folder_(folder), staging_(staging) {}

AheadBlock::~AheadBlock() {
    if (thread_) {
        {
            CriticalSectionGuard guard(group_.lock_);
            stop_ = true;
        }
        ::WakeAllConditionVariable(&group_.changed_);
        ::WaitForSingleObject(thread_.Get(), INFINITE);
    }
    if (result_ == kOutputFailed && failedCreate_)
        TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot create a file in %ls, error %u\r\n", staging_.c_str(),
                  static_cast<unsigned>(systemError_));
    else if (result_ == kOutputFailed)
        TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot write %ls, error %u\r\n",
                  (staging_ + L"\\" + EntryName(db_, failedEntry_)).c_str(), static_cast<unsigned>(systemError_));
    staged_.clear();  // the temporary files not taken go
    FreeDecoderBytes(buffer_);
}

SRes AheadBlock::Start(const PositionalSource& source) {
    for (UInt32 i = db_.FolderToFile[folder_]; i < db_.NumFiles; ++i) {
        const UInt32 home = db_.FileToFolder[i];
        if (home == folder_) entries_.push_back(i);
        else if (home != kNoFolder) break;
    }
    staged_.resize(entries_.size());
    view_.reset(new StreamView(source));
    const SRes initialised = decoder_.Init(db_, folder_, view_->Stream());
    if (initialised != SZ_OK) return initialised;
    thread_.Reset(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
    return thread_ ? SZ_OK : SZ_ERROR_THREAD;
}

DWORD WINAPI AheadBlock::Run(void* self) {
    AheadBlock* block = static_cast<AheadBlock*>(self);
    RunDecodeStartHook(block->folder_);
    int result = SZ_ERROR_MEM;
    try {
        result = block->Decode();
    } catch (const std::bad_alloc&) {
    }
    {
        CriticalSectionGuard guard(block->group_.lock_);
        block->ended_ = true;
        block->result_ = result;
        if (result != SZ_OK && result != kStopped && block->group_.failure_ == SZ_OK) block->group_.failure_ = result;
    }
    ::WakeAllConditionVariable(&block->group_.changed_);
    return 0;
}

bool AheadBlock::Stopped() {
    CriticalSectionGuard guard(group_.lock_);
    return stop_ || group_.failure_ != SZ_OK;
}

int AheadBlock::Decode() {
    buffer_ = AllocateDecoderBytes(kBufferSize);
    if (!buffer_) return SZ_ERROR_MEM;
    for (size_t k = 0; k < entries_.size(); ++k) {
        std::unique_ptr<StagedFile> staged;
        const int result = Stage(entries_[k], &staged);
        if (result != SZ_OK) {
            failedEntry_ = entries_[k];
            return result;  // its temporary file goes with `staged`
        }
        {
            CriticalSectionGuard guard(group_.lock_);
            staged_[k] = std::move(staged);
            ++ready_;
        }
        ::WakeAllConditionVariable(&group_.changed_);
    }
    // Bytes after the last file are passed over; the folder's end is checked.
    while (!decoder_.AllDelivered()) {
        if (Stopped()) return kStopped;
        size_t size = 0;
        const SRes read = decoder_.Read(buffer_, kBufferSize, &size);
        if (read != SZ_OK) return read;
        if (size == 0) return SZ_ERROR_DATA;
    }
    return decoder_.Finish();
}

int AheadBlock::Stage(UInt32 file, std::unique_ptr<StagedFile>* staged) {
    staged->reset(new StagedFile());
    if (!(*staged)->Create(staging_)) {
        systemError_ = ::GetLastError();
        failedCreate_ = true;
        return kOutputFailed;
    }
    UInt32 sum = CRC_INIT_VAL;
    for (UInt64 left = SzArEx_GetFileSize(&db_, file); left > 0;) {
        if (Stopped()) return kStopped;
        const Byte* data = nullptr;
        size_t size = 0;
        const SRes next = Next(left, &data, &size);
        if (next != SZ_OK) return next;
        sum = CrcUpdate(sum, data, size);
        if (!WriteAllBytes((*staged)->Handle(), data, size)) {
            systemError_ = ::GetLastError();
            return kOutputFailed;
        }
        left -= size;
    }
    UInt32 crc = 0;
    if (EntryCrc(db_, file, &crc) && CRC_GET_DIGEST(sum) != crc) return SZ_ERROR_CRC;
    FILETIME modified;
    if (!(*staged)->Close(EntryModifiedTime(db_, file, &modified) ? &modified : nullptr)) {
        systemError_ = ::GetLastError();
        return kOutputFailed;
    }
    return SZ_OK;
}

SRes AheadBlock::Next(UInt64 max, const Byte** data, size_t* size) {
    if (left_ == 0) {
        const SRes read = decoder_.Read(buffer_, kBufferSize, &left_);
        if (read != SZ_OK) return read;
        if (left_ == 0) return SZ_ERROR_DATA;  // the folder ends inside a file
        piece_ = buffer_;
    }
    *size = static_cast<size_t>(std::min<UInt64>(max, left_));
    *data = piece_;
    piece_ += *size;
    left_ -= *size;
    return SZ_OK;
}

int AheadBlock::Take(UInt32 file, std::unique_ptr<StagedFile>* staged) {
    CriticalSectionGuard guard(group_.lock_);
    if (taken_ >= entries_.size() || entries_[taken_] != file) return SZ_ERROR_FAIL;  // files are taken in order
    while (ready_ == taken_ && !ended_ && group_.failure_ == SZ_OK)
        ::SleepConditionVariableCS(&group_.changed_, &group_.lock_, INFINITE);
    if (group_.failure_ != SZ_OK) return group_.failure_;
    if (ready_ == taken_) return result_ != SZ_OK ? result_ : SZ_ERROR_DATA;
    *staged = std::move(staged_[taken_++]);
    return SZ_OK;
}

int AheadBlock::End() {
    CriticalSectionGuard guard(group_.lock_);
    while (!ended_ && group_.failure_ == SZ_OK) ::SleepConditionVariableCS(&group_.changed_, &group_.lock_, INFINITE);
    return group_.failure_ != SZ_OK ? group_.failure_ : result_;
}

}  // namespace orv
