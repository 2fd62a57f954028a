// Shared pieces of the UI tests, and GDI+ for the whole test program.
#include "uitest.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "resourcecheck.h"
#include "ui/gdiplussession.h"
#include "ui/imageobject.h"

namespace orvtest {
namespace {

class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(ORVUE::EnsureGdiplus()); }
};

const ::testing::Environment* const g_gdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

// The first PNG that GDI+ decodes makes Wine's image codecs open and keep their class keys.
void WarmUp() { ORVUE::ImageObject::Load(L"PNG", kTextBoxStrip); }
const bool g_warmUp = (orv::test::SetResourceCheckWarmUp(WarmUp), true);

}  // namespace

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

RecordingWindow::RecordingWindow() {
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {sizeof(wc)};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvRecordingWindow";
        return ::RegisterClassExW(&wc);
    }();
    (void)atom;
    hwnd_ = ::CreateWindowExW(0, L"OrvRecordingWindow", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), this);
}

RecordingWindow::~RecordingWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

std::vector<RecordingWindow::Message> RecordingWindow::Only(UINT msg) const {
    std::vector<Message> found;
    for (const Message& m : messages_)
        if (m.msg == msg) found.push_back(m);
    return found;
}

void RecordingWindow::Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_NCLBUTTONDOWN) {  // posted drags are recorded, never carried out
            messages_.push_back({msg.message, msg.wParam, msg.lParam});
            continue;
        }
        ::DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK RecordingWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg >= WM_USER) {
        self->messages_.push_back({msg, wParam, lParam});
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace orvtest
