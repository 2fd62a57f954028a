// The text box over the real text services: text in and out, focus and caret, mouse selection with
// capture, painting by pixels, and a box whose text services cannot be made.
#include <gtest/gtest.h>

#include <windows.h>
#include <imm.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ui/containeruiobject.h"
#include "ui/objecthost.h"
#include "ui/textboxuiobject.h"
#include "ui/txtwinhost.h"
#include "ui/uierror.h"
#include "uitest.h"

namespace orvtest {
namespace {

using ORVUE::IORVBaseUIObject;
using ORVUE::TextBoxUIObjectImpl;

// A window served by the dialogs' object host with the options dialog's rules: text entry's focus set and
// the system capture. Its tree is a root container over the whole window.
class TestDialog : private ORVUE::ObjectHostRules {
public:
    TestDialog() {
        static const ATOM atom = [] {
            WNDCLASSEXW wc = {sizeof(wc)};
            wc.lpfnWndProc = Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"OrvTextBoxTestDialog";
            return ::RegisterClassExW(&wc);
        }();
        (void)atom;
        hwnd_ = ::CreateWindowExW(0, L"OrvTextBoxTestDialog", L"", WS_POPUP, 0, 0, 300, 120, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), this);
        root_->Create(hwnd_, 0, 0, 300, 120, 0, nullptr);
        host_.SetWindow(hwnd_);
        host_.SetRoot(root_.get());
    }
    ~TestDialog() {
        host_.SetRoot(nullptr);
        root_.reset();  // the objects go while their window is still there
        ::DestroyWindow(hwnd_);
    }
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;

    HWND Handle() const { return hwnd_; }
    template <typename Object>
    Object* Add(std::unique_ptr<Object> object) {
        Object* added = object.release();
        root_->AddControl(added);  // owns it from here
        return added;
    }
    IORVBaseUIObject* Focus() const { return host_.Focus(); }
    IORVBaseUIObject* Capture() const { return host_.Capture(); }
    std::vector<UINT> requests;  // the objects' capture and focus requests, in order

    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageW(hwnd_, msg, wParam, lParam); }
    void Type(const std::wstring& text) {
        for (wchar_t c : text) Send(WM_CHAR, c, 1);
    }
    void Key(UINT vk) {
        Send(WM_KEYDOWN, vk, 1);
        Send(WM_KEYUP, vk, 0xC0000001);
    }
    void Click(int x, int y) {
        Send(WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        Send(WM_LBUTTONUP, 0, At(x, y));
    }
    void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }

private:
    bool InFocusSet(UINT msg) const override { return TextEntryFocusSet(msg); }
    bool TakesSystemCapture() const override { return true; }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<TestDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg >= ORVUE::ORVUM_SETCAPTURE && msg <= ORVUE::ORVUM_KILLFOCUS) self->requests.push_back(msg);
        LRESULT result = 0;
        if (self && self->host_.HandleMessage(msg, wParam, lParam, result)) return result;
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    std::unique_ptr<ORVUE::ContainerUIObjectImpl> root_ = std::make_unique<ORVUE::ContainerUIObjectImpl>();
    ORVUE::ObjectHost host_{*this};
};

// The box of the options dialog, as the layout loader makes it: 200x32 at (10,10), text from (15,15).
constexpr RECT kBox = {10, 10, 210, 42};
constexpr RECT kText = {15, 15, 205, 37};

std::unique_ptr<TextBoxUIObjectImpl> MakeBox(HWND owner, const wchar_t* text, int maxChar = 256, RECT rect = kBox) {
    auto box = std::make_unique<TextBoxUIObjectImpl>();
    box->Create(owner, rect.left, rect.top, rect.right, rect.bottom, kTextBoxStrip, L"PNG");
    box->SetClientRect(rect.left, rect.top, rect.right, rect.bottom);
    box->CreateHost();
    box->SetTextColor(0, 0, 0);
    box->SetName(L"PathEdit");
    box->SetFont(L"Tahoma", 10, FALSE);
    box->SetMaxChar(maxChar);
    box->SetVisible(TRUE);
    box->SetEnabled(TRUE);
    box->SetMultiline(FALSE);
    box->SetText(text);
    return box;
}

// Paints the box over an opaque background into a surface of the dialog's size, through a graphics on
// the surface's DC or the surface's own graphics over its pixels.
struct Painted {
    explicit Painted(TextBoxUIObjectImpl& box, bool overPixels = false) : surface(300, 60) {
        surface.Fill(kBackgroundColour);
        if (overPixels) {
            box.Paint(surface.Graphics());
            surface.Graphics().Flush(Gdiplus::FlushIntentionSync);
            return;
        }
        Gdiplus::Graphics graphics(surface.Dc());
        box.Paint(graphics);
        graphics.Flush(Gdiplus::FlushIntentionSync);
    }
    bool In(const RECT& r, int x, int y) const { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }
    // Pixels that differ from another painting of the box; -1 when they are not in one column.
    int BarAgainst(const Painted& other) const {
        int count = 0, column = -1;
        for (int y = 0; y < surface.Height(); ++y) {
            for (int x = 0; x < surface.Width(); ++x) {
                if (surface.Pixel(x, y) == other.surface.Pixel(x, y)) continue;
                if (column >= 0 && column != x) return -1;
                column = x;
                ++count;
            }
        }
        return count;
    }
    // The darkest blue channel of the text rectangle.
    int Darkest() const {
        int dark = 255;
        for (int y = kText.top; y < kText.bottom; ++y)
            for (int x = kText.left; x < kText.right; ++x) dark = std::min<int>(dark, surface.Pixel(x, y) & 0xFF);
        return dark;
    }
    // Rows of the text rectangle that hold text.
    int TextRows(uint32_t frame) const {
        int rows = 0;
        for (int y = kText.top; y < kText.bottom; ++y) {
            bool any = false;
            for (int x = kText.left; x < kText.right; ++x) any = any || !Near(surface.Pixel(x, y), frame, 8);
            rows += any ? 1 : 0;
        }
        return rows;
    }
    uint32_t Frame() const { return surface.Pixel(kBox.left + 1, kBox.top + 1); }
    Surface surface;
};

TEST(TextBox, TextGoesInAndOut) {
    TestDialog dialog;
    auto* box = dialog.Add(MakeBox(dialog.Handle(), L"C:\\Program Files\\Quellby"));
    ASSERT_TRUE(box->HasHost());
    EXPECT_EQ(box->GetText(), L"C:\\Program Files\\Quellby");
    box->SetText(L"D:\\软件\\安装目录");
    EXPECT_EQ(box->GetText(), L"D:\\软件\\安装目录");

    // Typing reaches the text through the focus object: characters, a cursor key, a backspace.
    box->SetText(L"");
    dialog.Click(100, 25);
    ASSERT_EQ(dialog.Focus(), box);
    dialog.Type(L"abc");
    dialog.Key(VK_LEFT);
    dialog.Type(L"X");
    dialog.Key(VK_BACK);
    dialog.Type(L"Y");
    EXPECT_EQ(box->GetText(), L"abYc");

    // At most 256 characters; a longer text set by message raises the limit to its own length.
    box->SetText(L"");
    dialog.Type(std::wstring(300, L'a'));
    EXPECT_EQ(box->GetText().size(), 256u);
    const std::wstring longer(300, L'b');
    box->HandleMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longer.c_str()));
    EXPECT_EQ(box->GetText(), longer);
    dialog.Key(VK_END);
    dialog.Type(L"cc");
    EXPECT_EQ(box->GetText().size(), 300u);
    box->SetMaxChar(0);  // no limit of its own: 65536
    box->SetText(std::wstring(65534, L'c').c_str());
    dialog.Key(VK_END);
    dialog.Type(L"ddd");
    EXPECT_EQ(box->GetText().size(), 65536u);

    // Input-method text: the composition message only places the window, the characters come after it.
    box->SetText(L"");
    EXPECT_EQ(dialog.Send(WM_IME_COMPOSITION, 0, GCS_RESULTSTR), 0);
    EXPECT_EQ(box->GetText(), L"");
    dialog.Send(WM_IME_CHAR, L'安', 1);
    dialog.Send(WM_IME_CHAR, L'装', 1);
    dialog.Pump();
    EXPECT_EQ(box->GetText(), L"安装");
}

TEST(TextBox, FramesFocusAndCaret) {
    TestDialog dialog;
    auto* box = dialog.Add(MakeBox(dialog.Handle(), L"C:\\Quellby"));
    auto* other = dialog.Add(MakeBox(dialog.Handle(), L"", 0, RECT{10, 44, 210, 76}));
    EXPECT_TRUE(Near(Painted(*box).Frame(), kTextBoxColours[0]));

    // Hover and leave.
    dialog.Send(WM_MOUSEMOVE, 0, At(50, 20));
    EXPECT_TRUE(Near(Painted(*box).Frame(), kTextBoxColours[1]));
    dialog.Send(WM_MOUSEMOVE, 0, At(250, 20));
    EXPECT_TRUE(Near(Painted(*box).Frame(), kTextBoxColours[0]));

    // A click focuses the box; a blink shows the caret at the next paint, the next one hides it.
    dialog.Click(150, 25);
    EXPECT_EQ(dialog.Focus(), box);
    const Painted noCaret(*box);
    EXPECT_TRUE(Near(noCaret.Frame(), kTextBoxColours[1]));
    const DWORD stamp = ORVUE::ChangeStamp();
    dialog.Send(ORVUE::ORVUM_CARETBLINK);
    EXPECT_NE(ORVUE::ChangeStamp(), stamp);
    EXPECT_GT(Painted(*box).BarAgainst(noCaret), 10);  // a one-pixel bar as tall as the line
    dialog.Send(ORVUE::ORVUM_CARETBLINK);
    EXPECT_EQ(Painted(*box).BarAgainst(noCaret), 0);
    dialog.Send(ORVUE::ORVUM_CARETBLINK);

    // Focus moves to the other box: the caret is gone and the frame is normal again.
    dialog.Click(100, 60);
    EXPECT_EQ(dialog.Focus(), other);
    const Painted unfocused(*box);
    EXPECT_TRUE(Near(unfocused.Frame(), kTextBoxColours[0]));
    dialog.Send(ORVUE::ORVUM_CARETBLINK);  // goes to the other box
    EXPECT_EQ(Painted(*box).BarAgainst(unfocused), 0);

    // Disabled: frame 2, grey text instead of black, no input.
    EXPECT_LT(unfocused.Darkest(), 40);
    box->SetEnabled(FALSE);
    const Painted disabled(*box);
    EXPECT_TRUE(Near(disabled.Frame(), kTextBoxColours[2]));
    EXPECT_GT(disabled.Darkest(), 60);
    EXPECT_LT(disabled.Darkest(), static_cast<int>(kTextBoxColours[2] & 0xFF) - 4);
    dialog.Click(150, 25);
    EXPECT_EQ(dialog.Focus(), other);
    EXPECT_FALSE(box->IsEnabled());
}

TEST(TextBox, MouseSelectionTakesTheCapture) {
    TestDialog dialog;
    auto* box = dialog.Add(MakeBox(dialog.Handle(), L"C:\\Program Files\\Quellby"));
    dialog.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(16, 25));
    EXPECT_EQ(dialog.Capture(), box);
    EXPECT_EQ(dialog.Focus(), box);
    // Moves far outside the box still reach it while it holds the capture.
    dialog.Send(WM_MOUSEMOVE, MK_LBUTTON, At(290, 25));
    dialog.Send(WM_LBUTTONUP, 0, At(290, 25));
    EXPECT_EQ(dialog.Capture(), nullptr);
    const std::vector<UINT> wanted = {ORVUE::ORVUM_SETCAPTURE, ORVUE::ORVUM_RELEASECAPTURE};
    std::vector<UINT> captures;
    for (UINT msg : dialog.requests)
        if (msg == ORVUE::ORVUM_SETCAPTURE || msg == ORVUE::ORVUM_RELEASECAPTURE) captures.push_back(msg);
    EXPECT_EQ(captures, wanted);
    CHARRANGE selection = {};
    box->HandleMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(selection.cpMin, 0);
    EXPECT_EQ(selection.cpMax, 24);
    dialog.Type(L"Z");  // typing replaces the selection
    EXPECT_EQ(box->GetText(), L"Z");
}

TEST(TextBox, RequestsOfObjectsOutsideTheTreeChangeNothing) {
    TestDialog dialog;
    auto* box = dialog.Add(MakeBox(dialog.Handle(), L"C:\\Quellby"));
    auto outside = MakeBox(dialog.Handle(), L"", 0, RECT{10, 44, 210, 76});  // same window, not in its tree
    dialog.Click(100, 25);
    ASSERT_EQ(dialog.Focus(), box);
    outside->SetFocus();
    outside->SetCapture();
    EXPECT_EQ(dialog.Focus(), box);
    EXPECT_EQ(dialog.Capture(), nullptr);
    dialog.Key(VK_END);
    dialog.Type(L"x");
    EXPECT_EQ(box->GetText(), L"C:\\Quellbyx");
    EXPECT_EQ(outside->GetText(), L"");
}

TEST(TextBox, PaintsTextOnlyInsideItsTextRectangle) {
    TestDialog dialog;
    auto* box = dialog.Add(MakeBox(dialog.Handle(), L""));
    for (bool overPixels : {false, true}) {
        box->SetText(L"");
        const Painted empty(*box, overPixels);
        box->SetText(L"C:\\Quellby");
        const Painted written(*box, overPixels);
        int changed = 0, dark = 0;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 300; ++x) {
                const uint32_t before = empty.surface.Pixel(x, y), after = written.surface.Pixel(x, y);
                if (before == after) continue;
                ++changed;
                dark += (after & 0xFF) < 0x40 ? 1 : 0;
                ASSERT_TRUE(written.In(kText, x, y)) << x << "," << y << " " << overPixels;
                ASSERT_EQ(after >> 24, 0xFFu) << x << "," << y << " " << overPixels;
            }
        }
        EXPECT_GT(changed, 30);
        EXPECT_GT(dark, 15);  // black text over the light frame
        EXPECT_LT(changed, 600);
        for (int x = 0; x < 300; ++x) EXPECT_EQ(written.surface.Pixel(x, 5), kBackgroundColour);
        EXPECT_TRUE(Near(written.Frame(), kTextBoxColours[0]));
    }

    // The graphics' clip holds for the text too.
    Surface clipped(300, 60);
    clipped.Fill(kBackgroundColour);
    {
        Gdiplus::Graphics graphics(clipped.Dc());
        graphics.SetClip(Gdiplus::Rect(0, 0, 40, 60));
        box->Paint(graphics);
    }
    for (int y = 0; y < 60; ++y)
        for (int x = 40; x < 300; x += 3) ASSERT_EQ(clipped.Pixel(x, y), kBackgroundColour) << x << "," << y;

    // One line scrolls sideways; several lines wrap.
    box->SetText(std::wstring(60, L'W').c_str());
    const int oneLine = Painted(*box).TextRows(kTextBoxColours[0]);
    EXPECT_GT(oneLine, 5);
    EXPECT_LT(oneLine, 16);
    dialog.Click(100, 25);
    dialog.Key(VK_END);
    const Painted start(*box);
    dialog.Key(VK_HOME);
    const Painted end(*box);
    EXPECT_NE(memcmp(start.surface.Bits(), end.surface.Bits(), 300 * 60 * 4), 0);
    box->SetMultiline(TRUE);
    EXPECT_GT(Painted(*box).TextRows(kTextBoxColours[0]), oneLine + 4);
}

TEST(TextBox, WithoutTextServicesPaintsNothingAndIgnoresInput) {
    for (const wchar_t* library : {L"orv-no-such-library.dll", L"kernel32.dll"}) {
        TestDialog dialog;
        ORVUE::CTxtWinHost::SetTextServicesLibrary(library);
        auto* box = dialog.Add(MakeBox(dialog.Handle(), L"C:\\Quellby"));
        ORVUE::CTxtWinHost::SetTextServicesLibrary(nullptr);
        EXPECT_FALSE(box->HasHost());
        Surface surface(300, 60);
        surface.Fill(kBackgroundColour);
        box->Paint(surface.Graphics());
        for (int x = 0; x < 300; x += 5) EXPECT_EQ(surface.Pixel(x, 25), kBackgroundColour);
        dialog.Click(50, 25);
        EXPECT_EQ(dialog.Focus(), nullptr);
        EXPECT_TRUE(dialog.requests.empty());
        BOOL handled = TRUE;
        box->OnMouseMove(WM_MOUSEMOVE, 0, At(50, 25), handled);
        EXPECT_FALSE(handled);
        EXPECT_EQ(box->HandleMessage(WM_CHAR, L'a', 1), 0);
        EXPECT_EQ(box->GetText(), L"");
    }
    EXPECT_THROW(TextBoxUIObjectImpl().Create(nullptr, 0, 0, 10, 10, 0, L"PNG"), ORVUE::UIError);
}

}  // namespace
}  // namespace orvtest
