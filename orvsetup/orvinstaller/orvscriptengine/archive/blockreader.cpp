// The decoding thread and the buffers it fills.
#include "orvscriptengine/archive/blockreader.h"

#include "orvscriptengine/archive/decoderheap.h"
#include "utility/lockguard.h"

namespace orv {
namespace {

volatile DecodeStartHook decodeStartHook = nullptr;

}  // namespace

void SetDecodeStartHook(DecodeStartHook hook) { decodeStartHook = hook; }

void RunDecodeStartHook(UInt32 folder) {
    if (const DecodeStartHook hook = decodeStartHook) hook(folder);
}

BlockReader::BlockReader() {
    ::InitializeCriticalSection(&lock_);
    ::InitializeConditionVariable(&changed_);
}

BlockReader::~BlockReader() {
    Stop();
    for (Byte* slot : slots_) FreeDecoderBytes(slot);
    ::DeleteCriticalSection(&lock_);
}

void BlockReader::Stop() {
    if (!thread_) return;
    {
        CriticalSectionGuard guard(lock_);
        stop_ = true;
    }
    ::WakeAllConditionVariable(&changed_);
    ::WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
}

SRes BlockReader::Start(const CSzArEx& db, UInt32 folder, const PositionalSource& source) {
    folder_ = folder;
    view_.reset(new StreamView(source));
    const SRes initialised = decoder_.Init(db, folder, view_->Stream());
    if (initialised != SZ_OK) return initialised;
    slots_.assign(kSlots, nullptr);
    sizes_.assign(slots_.size(), 0);
    thread_.Reset(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
    return thread_ ? SZ_OK : SZ_ERROR_THREAD;
}

DWORD WINAPI BlockReader::Run(void* self) {
    BlockReader* reader = static_cast<BlockReader*>(self);
    RunDecodeStartHook(reader->folder_);
    reader->Decode();
    return 0;
}

void BlockReader::Decode() {
    SRes result = SZ_OK;
    const unsigned count = static_cast<unsigned>(slots_.size());
    for (;;) {
        unsigned slot = 0;
        {
            CriticalSectionGuard guard(lock_);
            while (filled_ == count && !stop_) ::SleepConditionVariableCS(&changed_, &lock_, INFINITE);
            if (stop_) return;
            slot = (first_ + filled_) % count;
        }
        if (decoder_.AllDelivered()) {
            result = decoder_.Finish();
            break;
        }
        if (!slots_[slot]) slots_[slot] = AllocateDecoderBytes(kSlotSize);  // a slot no one holds
        if (!slots_[slot]) {
            result = SZ_ERROR_MEM;
            break;
        }
        size_t size = 0;
        result = decoder_.Read(slots_[slot], kSlotSize, &size);
        if (result == SZ_OK && size == 0) result = SZ_ERROR_DATA;  // nothing more before the folder's end
        if (result != SZ_OK) break;
        {
            CriticalSectionGuard guard(lock_);
            sizes_[slot] = size;
            ++filled_;
        }
        ::WakeAllConditionVariable(&changed_);
    }
    {
        CriticalSectionGuard guard(lock_);
        ended_ = true;
        result_ = result;
    }
    ::WakeAllConditionVariable(&changed_);
}

SRes BlockReader::Next(const Byte** data, size_t* size) {
    *size = 0;
    const unsigned count = static_cast<unsigned>(slots_.size());
    CriticalSectionGuard guard(lock_);
    if (holding_) {  // the writer is done with the slot it held
        first_ = (first_ + 1) % count;
        --filled_;
        holding_ = false;
        ::WakeAllConditionVariable(&changed_);
    }
    while (filled_ == 0 && !ended_) ::SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    if (filled_ == 0) return result_;  // the end, or the decoder's error
    *data = slots_[first_];
    *size = sizes_[first_];
    holding_ = true;
    return SZ_OK;
}

}  // namespace orv
