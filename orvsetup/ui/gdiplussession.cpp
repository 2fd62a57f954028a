// The process's GDI+ session: started by the first window that needs it, shut down at exit.
#include "ui/gdiplussession.h"

#include <windows.h>
#include <gdiplus.h>

#include "utility/lockguard.h"

namespace ORVUE {
namespace {

class GdiplusSession {
public:
    GdiplusSession() = default;
    ~GdiplusSession() {
        if (token_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // Any thread may start it: the start-up warm-up does so while the main thread runs the first hooks.
    bool Start() {
        orv::ExclusiveGuard guard(lock_);
        if (!token_) {
            Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback
            if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
        }
        return token_ != 0;
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    ULONG_PTR token_ = 0;
};

GdiplusSession g_gdiplus;

}  // namespace

bool EnsureGdiplus() { return g_gdiplus.Start(); }

}  // namespace ORVUE
