// The embedded payload checked against the SHA-256 the packer stored beside it, on a thread of its own
// that starts with the process, so that the run knows the answer before its first hook.
#pragma once

#include <windows.h>

#include "utility/uniquehandle.h"

namespace orv {

enum class PayloadVerdict {
    kIntact,      // the payload's bytes in the held program file have the stored digest
    kUnchecked,   // the setup was built without a digest of its payload
    kDamaged,     // the bytes differ from the digest, or the digest or the payload is malformed or missing
    kUnreadable,  // the program file is not held (see ProgramFile) or could not be read
};

class PayloadCheck {
public:
    // Opens the program file (ProgramFile::Instance) and starts hashing its payload.
    PayloadCheck();
    ~PayloadCheck();  // waits for the thread
    PayloadCheck(const PayloadCheck&) = delete;
    PayloadCheck& operator=(const PayloadCheck&) = delete;

    // Waits for the check and traces its result once.
    PayloadVerdict Await();

private:
    static DWORD WINAPI Run(void* self);

    PayloadVerdict verdict_ = PayloadVerdict::kUnreadable;
    double milliseconds_ = 0;
    DWORD bytes_ = 0;
    DWORD error_ = 0;
    UniqueHandle thread_;
    bool traced_ = false;
};

}  // namespace orv
