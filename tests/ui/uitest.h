// Shared pieces of the UI tests: a painting surface over a 32-bit DIB and a window that records what
// objects send it.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include "ui/paintsurface.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orvtest {

// Test images (tests/ui/mkuiimages.py); colours as 0xAARRGGBB.
enum TestImage : UINT {
    kStrip4 = 9001,      // 4 frames of 20x20
    kStrip6 = 9002,      // 6 frames of 16x16
    kBackground = 9003,  // 100x50
    kProgressBack = 9004,
    kProgressFront = 9005,  // 100x10, caps of 5
    kSlides = 9006,         // 3 frames of 40x20
    kPicture = 9007,        // 10x10
    kNotAnImage = 9008,
    kTextBoxStrip = 9009,   // 3 frames of 200x32
};
constexpr uint32_t kStrip4Colours[4] = {0xFFC81E1E, 0xFF1EC81E, 0xFF1E1EC8, 0xFF808080};
constexpr uint32_t kStrip6Colours[6] = {0xFFFA0000, 0xFF00FA00, 0xFF0000FA, 0xFFFAFA00, 0xFF00FAFA, 0xFFFA00FA};
constexpr uint32_t kSlideColours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
constexpr uint32_t kTextBoxColours[3] = {0xFFF0F0F0, 0xFFC8DCFA, 0xFFE1E1D7};
constexpr uint32_t kBackgroundColour = 0xFF203040;
constexpr uint32_t kProgressBackColour = 0xFF0A0A0A;
constexpr uint32_t kProgressLeftCap = 0xFFC8C800, kProgressBody = 0xFF28A028, kProgressRightCap = 0xFF00C8C8;
constexpr uint32_t kPictureColour = 0xFF5A3C1E;

// A painting surface as the dialogs have, whose graphics draws into the pixels through GDI+ itself
// (the dialogs' own draws through the DC; tests that care use both).
class Surface : public ORVUE::PaintSurface {
public:
    Surface(int width, int height) : PaintSurface(width, height, true) {}
};

// Colour distance per channel: true when every channel of a and b is within `tolerance`.
bool Near(uint32_t a, uint32_t b, int tolerance = 2);

// A hidden top-level window that records every message at or above WM_USER and answers 0.
class RecordingWindow {
public:
    struct Message {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    };
    RecordingWindow();
    ~RecordingWindow();
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    const std::vector<Message>& Messages() const { return messages_; }
    std::vector<Message> Only(UINT msg) const;
    void Clear() { messages_.clear(); }
    // Also records messages posted to the window: pumps its queue.
    void Pump();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    std::vector<Message> messages_;
};

// LPARAM of a mouse message at (x, y).
inline LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

}  // namespace orvtest
