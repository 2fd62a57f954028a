// Start-up work for the first dialog, done on a thread of its own while the main thread starts COM and
// runs the first hook: GDI+ started and the dialog's skin images decoded. The thread never touches a
// device context: under Wine the first one loads the display driver, which must not race the desktop
// process that the main thread's first window call may still be starting.
#pragma once

#include <windows.h>

#include <string>

#include "ui/preparedimages.h"
#include "utility/uniquehandle.h"

namespace orv {

class DialogWarmUp {
public:
    // Starts the work for layout dialog `dialogName` and offers its images to ImageObject::Load.
    DialogWarmUp(HINSTANCE instance, const wchar_t* dialogName);
    // Cuts the work short when it still runs, waits for the thread, frees the images nobody took.
    ~DialogWarmUp();
    DialogWarmUp(const DialogWarmUp&) = delete;
    DialogWarmUp& operator=(const DialogWarmUp&) = delete;

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    bool Stopping() const { return ::InterlockedCompareExchange(&stop_, 0, 0) != 0; }

    HINSTANCE instance_;
    std::wstring dialog_;
    ORVUE::PreparedImages images_;
    mutable LONG stop_ = 0;
    UniqueHandle thread_;  // last: the thread ends before the members it uses go
};

}  // namespace orv
