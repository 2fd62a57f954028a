// Shared pieces of the UI tests, and GDI+ for the whole test program.
#include "uitest.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orvtest {
namespace {

class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

const ::testing::Environment* const g_gdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

int EncoderClsid(const wchar_t* mime, CLSID* clsid) {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    if (size == 0) return -1;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (wcscmp(codecs[i].MimeType, mime) == 0) {
            *clsid = codecs[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

Surface::Surface(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = ::CreateCompatibleDC(nullptr);
    previous_ = ::SelectObject(dc_, bitmap_);
    Fill(0);
    wrapper_ = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB,
                                                 static_cast<BYTE*>(bits));
    graphics_ = std::make_unique<Gdiplus::Graphics>(wrapper_.get());
}

Surface::~Surface() {
    graphics_.reset();
    wrapper_.reset();
    ::SelectObject(dc_, previous_);
    ::DeleteDC(dc_);
    ::DeleteObject(bitmap_);
}

void Surface::Fill(uint32_t argb) {
    for (int i = 0; i < width_ * height_; ++i) bits_[i] = argb;
}

bool Surface::SavePng(const wchar_t* path) const {
    Gdiplus::Bitmap copy(width_, height_, width_ * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(bits_));
    CLSID png;
    if (EncoderClsid(L"image/png", &png) < 0) return false;
    return copy.Save(path, &png, nullptr) == Gdiplus::Ok;
}

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
