// The Lua state's heap: every block is counted, and an allocation failure can be armed, so that leaks
// and out-of-memory paths of the engine can be seen and tested.
#pragma once

#include <cstddef>

namespace orv {

class LuaHeap {
public:
    // lua_Alloc with `ud` pointing to the heap.
    static void* Allocate(void* ud, void* block, size_t oldSize, size_t newSize);

    size_t BytesInUse() const { return bytes_; }
    // The `count`-th growing request from now on fails, and every one after it until disarmed with 0.
    // Lua never sees a shrinking request fail.
    void FailAfter(size_t count) { failAfter_ = count; }

private:
    size_t bytes_ = 0;
    size_t failAfter_ = 0;
};

}  // namespace orv
