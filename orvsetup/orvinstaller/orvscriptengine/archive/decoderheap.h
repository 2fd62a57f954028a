// The process heap as the 7z decoder's allocator, shared by the archive code.
#pragma once

#include "7zTypes.h"

namespace orv {

extern const ISzAlloc kDecoderHeap;

// A block of the decoder heap (null when out of memory), and its release (null is fine).
inline Byte* AllocateDecoderBytes(size_t size) { return static_cast<Byte*>(ISzAlloc_Alloc(&kDecoderHeap, size)); }
inline void FreeDecoderBytes(void* block) { ISzAlloc_Free(&kDecoderHeap, block); }

}  // namespace orv
