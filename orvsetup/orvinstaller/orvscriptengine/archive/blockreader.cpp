// The decoding thread and the buffers it fills.
#include "orvscriptengine/archive/blockreader.h"

#include "orvscriptengine/archive/decoderheap.h"
#include "utility/lockguard.h"

namespace orv {

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

SRes BlockReader::Start(const CSzArEx& db, UInt32 folder, ISeekInStreamPtr stream) {
    const SRes initialised = decoder_.Init(db, folder, stream);
    if (initialised != SZ_OK) return initialised;
    for (Byte*& slot : slots_) {
        slot = AllocateDecoderBytes(kSlotSize);
        if (!slot) return SZ_ERROR_MEM;
    }
    thread_.Reset(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
    return thread_ ? SZ_OK : SZ_ERROR_THREAD;
}

DWORD WINAPI BlockReader::Run(void* self) {
    static_cast<BlockReader*>(self)->Decode();
    return 0;
}

void BlockReader::Decode() {
    SRes result = SZ_OK;
    for (;;) {
        unsigned slot = 0;
        {
            CriticalSectionGuard guard(lock_);
            while (filled_ == kSlots && !stop_) ::SleepConditionVariableCS(&changed_, &lock_, INFINITE);
            if (stop_) return;
            slot = (first_ + filled_) % kSlots;
        }
        if (decoder_.AllDelivered()) {
            result = decoder_.Finish();
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
    CriticalSectionGuard guard(lock_);
    if (holding_) {  // the writer is done with the slot it held
        first_ = (first_ + 1) % kSlots;
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
