// Leaf controls: resource rules, the state machines of the clickable ones, and what each paints.
#include <gtest/gtest.h>

#include "ui/buttonuiobject.h"
#include "ui/checkboxuiobject.h"
#include "ui/labeluiobject.h"
#include "ui/pictureuiobject.h"
#include "ui/progressuiobject.h"
#include "ui/uierror.h"
#include "uitest.h"

namespace orvtest {
namespace {

using ORVUE::ORVUM_KILLFOCUS;
using ORVUE::ORVUM_SETFOCUS;

// The index of the colour in `colours` that the object paints at (x, y), or -1 (nothing or another colour).
int FrameAt(ORVUE::IORVBaseUIObject& object, const uint32_t* colours, int count, int x, int y) {
    Surface surface(64, 64);
    object.Paint(surface.Graphics());
    for (int i = 0; i < count; ++i)
        if (Near(surface.Pixel(x, y), colours[i])) return i;
    return -1;
}

// Feeds one mouse event at (x, y) and returns the handled flag, which every handler must set.
template <typename Handler>
bool Feed(ORVUE::IORVBaseUIObject& object, Handler handler, UINT msg, int x = 10, int y = 10) {
    BOOL handled = 2;
    (object.*handler)(msg, 0, At(x, y), handled);
    EXPECT_TRUE(handled == TRUE || handled == FALSE) << "handled flag left unset for message " << msg;
    return handled == TRUE;
}

using Obj = ORVUE::IORVBaseUIObject;
bool Move(Obj& o) { return Feed(o, &Obj::OnMouseMove, WM_MOUSEMOVE); }
bool Leave(Obj& o) { return Feed(o, &Obj::OnMouseLeave, WM_MOUSELEAVE); }
bool Down(Obj& o) { return Feed(o, &Obj::OnLButtonDown, WM_LBUTTONDOWN); }
bool Up(Obj& o) { return Feed(o, &Obj::OnLButtonUp, WM_LBUTTONUP); }

bool Sent(const RecordingWindow::Message& m, UINT msg, WPARAM wParam, const Obj* object) {
    return m.msg == msg && m.wParam == wParam && m.lParam == reinterpret_cast<LPARAM>(object);
}

template <typename T>
void ExpectCreateThrows(UINT resId) {
    T object;
    try {
        object.Create(nullptr, 0, 0, 10, 10, resId, L"PNG");
        ADD_FAILURE() << "resource id " << resId << " must be refused";
    } catch (const ORVUE::UIError& error) {
        EXPECT_EQ(error.Error(), E_FAIL);
    }
}

TEST(Controls, CreateEnforcesResourceRules) {
    ExpectCreateThrows<ORVUE::ButtonUIObjectImpl>(0);
    ExpectCreateThrows<ORVUE::ButtonUIObjectImpl>(0x10000);  // only the low 16 bits count
    ExpectCreateThrows<ORVUE::ButtonUIObjectImpl>(4242);     // missing image
    ExpectCreateThrows<ORVUE::CheckBoxUIObjectImpl>(0);
    ExpectCreateThrows<ORVUE::ProgressUIObjectImpl>(0);
    ExpectCreateThrows<ORVUE::PictureUIObjectImpl>(0);
    ExpectCreateThrows<ORVUE::LabelUIObjectImpl>(kPicture);
    ExpectCreateThrows<ORVUE::LinkLabelUIObjectImpl>(kPicture);

    ORVUE::ProgressUIObjectImpl progress;
    progress.Create(nullptr, 0, 0, 100, 10, kProgressBack, L"PNG");
    EXPECT_THROW(progress.SetFrontImage(L"PNG", 4242), ORVUE::UIError);
    ORVUE::LabelUIObjectImpl label;
    EXPECT_EQ(label.Create(nullptr, 1, 2, 3, 4, 0, nullptr), 0);
    EXPECT_EQ(label.GetRect().bottom, 4);
}

TEST(Button, StatesFramesAndAction) {
    RecordingWindow window;
    ORVUE::ButtonUIObjectImpl button;
    button.Create(window.Handle(), 0, 0, 20, 20, kStrip4, L"PNG");
    EXPECT_EQ(button.SetAction(5), 0u);
    EXPECT_EQ(button.SetAction(7), WM_USER + 5u);
    auto frame = [&] { return FrameAt(button, kStrip4Colours, 4, 10, 10); };
    EXPECT_EQ(frame(), 0);

    EXPECT_TRUE(Move(button));
    EXPECT_EQ(frame(), 1);
    EXPECT_TRUE(Down(button));
    EXPECT_EQ(frame(), 2);
    EXPECT_TRUE(Move(button));  // a move while pressed shows the hot frame
    EXPECT_EQ(frame(), 1);
    EXPECT_TRUE(Up(button));
    EXPECT_EQ(frame(), 1);
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_TRUE(Sent(window.Messages()[0], WM_USER + 7, 0, &button));
    EXPECT_TRUE(Leave(button));
    EXPECT_EQ(frame(), 0);
    EXPECT_FALSE(Leave(button));  // the pointer is already outside

    // Released outside: the up goes elsewhere, the next move outside resets, a later up sends nothing.
    window.Clear();
    Move(button);
    Down(button);
    EXPECT_TRUE(Leave(button));
    EXPECT_EQ(frame(), 0);
    Up(button);
    EXPECT_TRUE(window.Only(WM_USER + 7).empty());

    // Disabled: frame 3, input ignored; enabling shows frame 0 even under the pointer.
    button.SetEnabled(FALSE);
    EXPECT_FALSE(button.IsEnabled());
    EXPECT_EQ(frame(), 3);
    EXPECT_FALSE(Move(button));
    EXPECT_FALSE(Down(button));
    EXPECT_FALSE(Up(button));
    EXPECT_EQ(frame(), 3);
    button.SetEnabled(TRUE);
    EXPECT_EQ(frame(), 0);
    EXPECT_TRUE(window.Only(WM_USER + 7).empty());
}

TEST(Controls, HidingOrDisablingGivesUpFocusFirst) {
    RecordingWindow window;
    ORVUE::ButtonUIObjectImpl button;
    button.Create(window.Handle(), 0, 0, 20, 20, kStrip4, L"PNG");
    button.SetFocus();
    button.SetVisible(FALSE);
    ASSERT_EQ(window.Messages().size(), 2u);
    EXPECT_TRUE(Sent(window.Messages()[0], ORVUM_SETFOCUS, 0, &button));
    EXPECT_TRUE(Sent(window.Messages()[1], ORVUM_KILLFOCUS, 0, &button));
    EXPECT_FALSE(Move(button));
    EXPECT_EQ(FrameAt(button, kStrip4Colours, 4, 10, 10), -1);  // hidden: nothing painted
    button.SetFocus();                                          // hidden objects ask for nothing
    EXPECT_EQ(window.Messages().size(), 2u);

    ORVUE::CheckBoxUIObjectImpl box;
    box.Create(window.Handle(), 0, 0, 16, 16, kStrip6, L"PNG");
    ORVUE::LinkLabelUIObjectImpl link;
    link.Create(window.Handle(), 0, 0, 50, 20, 0, nullptr);
    window.Clear();
    box.SetEnabled(FALSE);
    link.SetEnabled(FALSE);
    ASSERT_EQ(window.Messages().size(), 2u);
    EXPECT_TRUE(Sent(window.Messages()[0], ORVUM_KILLFOCUS, 0, &box));
    EXPECT_TRUE(Sent(window.Messages()[1], ORVUM_KILLFOCUS, 0, &link));
}

TEST(CheckBox, StatesToggleOnlyWithAnAction) {
    RecordingWindow window;
    ORVUE::CheckBoxUIObjectImpl box;
    box.Create(window.Handle(), 0, 0, 16, 16, kStrip6, L"PNG");
    auto frame = [&] { return FrameAt(box, kStrip6Colours, 6, 8, 8); };

    // No action stored: a click shows hot but does not toggle.
    Move(box);
    EXPECT_EQ(frame(), 2);
    Down(box);
    EXPECT_TRUE(Up(box));
    EXPECT_FALSE(box.IsChecked());
    EXPECT_TRUE(window.Messages().empty());

    box.SetAction(3);
    Down(box);
    EXPECT_TRUE(Up(box));
    EXPECT_TRUE(box.IsChecked());
    EXPECT_EQ(frame(), 5);
    EXPECT_TRUE(Leave(box));
    EXPECT_EQ(frame(), 3);
    Move(box);
    Down(box);
    Up(box);
    EXPECT_FALSE(box.IsChecked());
    EXPECT_EQ(frame(), 2);
    Leave(box);
    EXPECT_EQ(frame(), 0);
    ASSERT_EQ(window.Messages().size(), 2u);
    EXPECT_TRUE(Sent(window.Messages()[0], WM_USER + 3, 1, &box));
    EXPECT_TRUE(Sent(window.Messages()[1], WM_USER + 3, 0, &box));

    // Pressed, left, released elsewhere: no toggle on a later release.
    Move(box);
    Down(box);
    Leave(box);
    Up(box);
    EXPECT_FALSE(box.IsChecked());

    box.SetEnabled(FALSE);
    EXPECT_EQ(frame(), 1);
    box.SetChecked(TRUE);
    EXPECT_EQ(frame(), 4);
    EXPECT_FALSE(box.IsEnabled());
    EXPECT_FALSE(Move(box));
    EXPECT_FALSE(Down(box));
    EXPECT_FALSE(Up(box));
    EXPECT_EQ(frame(), 4);
    box.SetEnabled(TRUE);
    EXPECT_EQ(frame(), 3);
    EXPECT_TRUE(box.IsChecked());
}

TEST(CheckBox, PaintsBoxAndCaption) {
    ORVUE::CheckBoxUIObjectImpl box;
    box.Create(nullptr, 0, 0, 40, 16, kStrip6, L"PNG");
    box.SetCheckRect(24, 0, 40, 16);
    // No caption: frame 0 as wide as the whole rectangle, at its top-left; the box rectangle is ignored.
    Surface surface(64, 64);
    box.Paint(surface.Graphics());
    EXPECT_TRUE(Near(surface.Pixel(2, 8), kStrip6Colours[0]));
    EXPECT_TRUE(Near(surface.Pixel(30, 8), kStrip6Colours[1]));  // the frame is 40 wide: it reaches into frame 1

    box.SetLabelRect(2, 30, 40, 46);
    box.SetTextColor(0, 0, 0);
    box.SetFont(L"Tahoma", 10, FALSE);
    box.SetText(L"Agree");
    box.SetRect(10, 2, 50, 18);  // moves the box and caption rectangles too
    EXPECT_EQ(box.GetText(), L"Agree");
    surface.Fill(0);
    box.Paint(surface.Graphics());
    EXPECT_EQ(surface.Pixel(14, 10), 0u);
    EXPECT_TRUE(Near(surface.Pixel(42, 10), kStrip6Colours[0]));
    int text = 0;
    for (int y = 32; y < 52; ++y)
        for (int x = 12; x < 60; ++x) text += surface.Pixel(x, y) != 0;
    EXPECT_GT(text, 10);
}

TEST(LinkLabel, ClickCursorAndPress) {
    RecordingWindow window;
    ORVUE::LinkLabelUIObjectImpl link;
    link.Create(window.Handle(), 0, 0, 60, 20, 0, nullptr);
    link.SetAction(9);
    auto cursor = [&] {
        BOOL handled = 2;
        link.OnSetCursor(WM_SETCURSOR, 0, 0, handled, 5, 5);
        EXPECT_TRUE(handled == TRUE || handled == FALSE);
        return handled == TRUE;
    };
    EXPECT_TRUE(cursor());
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
    EXPECT_TRUE(Move(link));
    EXPECT_TRUE(Down(link));
    EXPECT_TRUE(Up(link));
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_TRUE(Sent(window.Messages()[0], WM_USER + 9, 0, &link));

    // A press that left the link does not fire when a release comes back onto it.
    Down(link);
    EXPECT_TRUE(Leave(link));
    Up(link);
    EXPECT_EQ(window.Messages().size(), 1u);

    link.SetEnabled(FALSE);
    EXPECT_FALSE(cursor());
    EXPECT_FALSE(Down(link));
    link.SetEnabled(TRUE);
    link.SetVisible(FALSE);
    EXPECT_FALSE(cursor());
    EXPECT_FALSE(Move(link));
}

TEST(Progress, FillsBetweenTheCaps) {
    ORVUE::ProgressUIObjectImpl progress;
    progress.Create(nullptr, 100, 0, 200, 10, kProgressBack, L"PNG");
    progress.SetFront(RECT{100, 0, 200, 10}, 5, 5);
    progress.SetFrontImage(L"PNG", kProgressFront);
    progress.SetRect(0, 20, 1, 1);  // moves both rectangles; the size stays
    EXPECT_EQ(progress.GetRect().right, 100);
    auto paint = [&](Surface& surface) {
        surface.Fill(0);
        progress.Paint(surface.Graphics());
    };
    Surface s(110, 40);

    paint(s);  // 0: both caps (the right one at the start of the body), no body
    EXPECT_TRUE(Near(s.Pixel(2, 25), kProgressLeftCap));
    EXPECT_TRUE(Near(s.Pixel(6, 25), kProgressRightCap));
    EXPECT_TRUE(Near(s.Pixel(20, 25), kProgressBackColour));

    for (int i = 0; i < 50; ++i) progress.StepIt();
    paint(s);  // 50: body over 5..50, right cap at 49..53
    EXPECT_TRUE(Near(s.Pixel(2, 25), kProgressLeftCap));
    EXPECT_TRUE(Near(s.Pixel(27, 25), kProgressBody, 4));
    EXPECT_TRUE(Near(s.Pixel(51, 25), kProgressRightCap));
    EXPECT_TRUE(Near(s.Pixel(60, 25), kProgressBackColour));

    for (int i = 0; i < 60; ++i) progress.StepIt();
    EXPECT_EQ(progress.GetPos(), 100);
    paint(s);  // 100: body over 5..95, right cap at 94..98
    EXPECT_TRUE(Near(s.Pixel(60, 25), kProgressBody, 4));
    EXPECT_TRUE(Near(s.Pixel(96, 25), kProgressRightCap));
    EXPECT_EQ(s.Pixel(105, 25), 0u);
}

TEST(Picture, ScalesTheImageIntoItsRectangle) {
    ORVUE::PictureUIObjectImpl picture;
    picture.Create(nullptr, 10, 10, 50, 50, kPicture, L"PNG");
    Surface surface(64, 64);
    surface.Graphics().SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    picture.Paint(surface.Graphics());
    EXPECT_TRUE(Near(surface.Pixel(30, 30), kPictureColour));
    EXPECT_TRUE(Near(surface.Pixel(13, 46), kPictureColour));
    EXPECT_EQ(surface.Pixel(5, 30), 0u);
    EXPECT_EQ(surface.Pixel(55, 55), 0u);
    EXPECT_EQ(surface.Graphics().GetInterpolationMode(), Gdiplus::InterpolationModeNearestNeighbor);  // put back
}

TEST(Label, DrawsTextFromItsTopLeftOnward) {
    ORVUE::LabelUIObjectImpl label;
    label.Create(nullptr, 20, 10, 25, 20, 0, nullptr);  // much narrower than its text
    label.SetTextColor(0x110, 0x20, 0x1C0);             // low 8 bits: (16, 32, 192)
    label.SetFont(L"NoSuchFamilyAnywhere", 12, TRUE);   // falls back to sans-serif
    label.SetText(L"Hello");
    EXPECT_EQ(label.GetText(), L"Hello");
    Surface s(160, 60);
    s.Graphics().SetTextRenderingHint(Gdiplus::TextRenderingHintSingleBitPerPixel);
    label.Paint(s.Graphics());
    EXPECT_EQ(s.Graphics().GetTextRenderingHint(), Gdiplus::TextRenderingHintSingleBitPerPixel);
    bool leftOrAbove = false, nearTopLeft = false, fullyCovered = false;
    int beyondRect = 0;
    for (int y = 0; y < s.Height(); ++y) {
        for (int x = 0; x < s.Width(); ++x) {
            const uint32_t pixel = s.Pixel(x, y);
            if (pixel == 0) continue;
            leftOrAbove |= x < 20 || y < 10;
            nearTopLeft |= x < 35 && y < 30;
            beyondRect += x >= 25;
            EXPECT_LE(pixel >> 24, 254u);
            fullyCovered |= Near(pixel, 0xFE1020BF);  // the text colour at alpha 254, premultiplied
        }
    }
    EXPECT_FALSE(leftOrAbove);
    EXPECT_TRUE(nearTopLeft);
    EXPECT_TRUE(fullyCovered);
    EXPECT_GT(beyondRect, 20);
    label.SetVisible(FALSE);
    s.Fill(0);
    label.Paint(s.Graphics());
    EXPECT_EQ(s.Pixel(30, 20), 0u);
}

// Captions are composed from a bitmap rendered once; the result must match drawing the string in place.
TEST(Label, RenderedCaptionMatchesDrawingInPlace) {
    struct Case {
        const wchar_t* family;
        const wchar_t* text;
        BOOL bold, underline;
    };
    const Case cases[] = {{L"微软雅黑", L"开机时自动启动", FALSE, FALSE},
                          {L"Tahoma", L"Read the licence", TRUE, TRUE}};
    for (const Case& c : cases) {
        ORVUE::LinkLabelUIObjectImpl link;
        link.Create(nullptr, 6, 8, 200, 30, 0, nullptr);
        link.SetTextColor(240, 220, 60);
        link.SetFont(c.family, 10, c.bold, c.underline);
        link.SetText(c.text);
        Surface composed(240, 40), direct(240, 40);
        composed.Fill(kBackgroundColour);
        direct.Fill(kBackgroundColour);
        link.Paint(composed.Graphics());

        Gdiplus::FontFamily family(c.family);
        const int style = (c.bold ? Gdiplus::FontStyleBold : 0) | (c.underline ? Gdiplus::FontStyleUnderline : 0);
        Gdiplus::Font font(&family, 10, style, Gdiplus::UnitPoint);
        Gdiplus::SolidBrush brush(Gdiplus::Color(254, 240, 220, 60));
        direct.Graphics().SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
        direct.Graphics().DrawString(c.text, -1, &font, Gdiplus::PointF(6, 8), &brush);

        int textPixels = 0, differing = 0;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 240; ++x) {
                textPixels += direct.Pixel(x, y) != kBackgroundColour;
                differing += !Near(composed.Pixel(x, y), direct.Pixel(x, y), 3);
            }
        }
        EXPECT_GT(textPixels, 50) << "nothing drawn for " << c.family;
        EXPECT_EQ(differing, 0) << "caption in " << c.family;
    }
}

}  // namespace
}  // namespace orvtest
