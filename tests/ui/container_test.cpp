// Containers: routing of mouse input, state propagation, lookup, layouts and painting.
#include <gtest/gtest.h>

#include "ui/carouseluiobject.h"
#include "ui/containeruiobject.h"
#include "uitest.h"

#include <string>
#include <vector>

namespace orvtest {
namespace {

using ORVUE::ContainerUIObjectImpl;
using ORVUE::IORVBaseUIObject;

// A control that logs what reaches it ("name:event") and takes the events it is told to take.
class FakeControl : public IORVBaseUIObject {
public:
    FakeControl(std::vector<std::string>& log, const char* name, RECT rect, bool takes = true)
        : log_(log), tag_(name), rect_(rect), takes_(takes) {
        name_.assign(tag_.begin(), tag_.end());
    }
    int Paint(Gdiplus::Graphics& g) override {
        if (!visible_) return 0;
        Gdiplus::SolidBrush brush{Gdiplus::Color(colour)};
        g.FillRectangle(&brush, Gdiplus::Rect(rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top));
        return 0;
    }
    int Create(HWND, int, int, int, int, UINT, const wchar_t*) override { return 0; }
    RECT GetRect() override { return rect_; }
    void SetRect(int l, int t, int r, int b) override { rect_ = RECT{l, t, r, b}; }
    BOOL IsVisible() override { return visible_; }
    void SetVisible(BOOL v) override { visible_ = v; }
    BOOL IsEnabled() override { return enabled_; }
    void SetEnabled(BOOL e) override { enabled_ = e; }
    HWND GetOwner() override { return nullptr; }
    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& h) override { return Take("down", h); }
    LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& h) override { return Take("up", h); }
    LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& h) override { return Take("leave", h); }
    LRESULT OnMouseHover(UINT, WPARAM, LPARAM, BOOL& h) override { return Take("hover", h); }
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL& h) override { return Take("move", h); }
    int OnSetCursor(UINT, WPARAM, LPARAM, BOOL& h, int, int) override { return static_cast<int>(Take("cursor", h)); }
    int OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL& h) override { return static_cast<int>(Take("capture", h)); }
    void SetFocus() override { log_.push_back(tag_ + ":focus"); }
    void KillFocus() override {}
    void SetCapture() override {}
    void ReleaseCapture() override {}
    const std::wstring& GetName() override { return name_; }
    void SetName(const wchar_t* name) override { name_ = name; }
    LRESULT HandleMessage(UINT, WPARAM, LPARAM) override { return 0; }

    Gdiplus::ARGB colour = 0xFFFF0000;

private:
    LRESULT Take(const char* event, BOOL& handled) {
        log_.push_back(tag_ + ":" + event);
        handled = takes_ ? TRUE : FALSE;
        return 0;
    }
    std::vector<std::string>& log_;
    std::string tag_;
    std::wstring name_;
    RECT rect_;
    bool takes_;
    BOOL visible_ = TRUE, enabled_ = TRUE;
};

template <typename T = ContainerUIObjectImpl>
T* NewContainer(HWND owner, const wchar_t* name, RECT r, UINT image = 0) {
    auto* c = new T;
    c->Create(owner, r.left, r.top, r.right, r.bottom, image, image ? L"PNG" : nullptr);
    c->SetName(name);
    return c;
}

std::vector<std::string> Events(std::vector<std::string>& log) {
    std::vector<std::string> out;
    out.swap(log);
    return out;
}
using Log = std::vector<std::string>;

TEST(ContainerRouting, HitTestsOrderAndFocus) {
    Log log;
    ContainerUIObjectImpl root;
    root.Create(nullptr, 0, 0, 200, 100, 0, nullptr);
    auto* sub = NewContainer(nullptr, L"sub", {0, 0, 100, 100});
    sub->AddControl(new FakeControl(log, "inner", {10, 10, 50, 50}));
    root.AddContainer(sub);
    root.AddControl(new FakeControl(log, "over", {10, 10, 50, 50}));     // overlaps the sub-container's child
    root.AddControl(new FakeControl(log, "passive", {60, 10, 90, 50}, false));
    root.AddControl(new FakeControl(log, "second", {60, 10, 90, 50}));

    BOOL handled = FALSE;
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(20, 20), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Events(log), (Log{"inner:down", "inner:focus"}));  // sub-containers first; the taker gets focus
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(70, 20), handled);
    EXPECT_EQ(Events(log), (Log{"passive:down", "second:down", "second:focus"}));
    root.OnLButtonUp(WM_LBUTTONUP, 0, At(70, 20), handled);
    EXPECT_EQ(Events(log), (Log{"passive:up", "second:up"}));  // no focus on button-up
    root.OnMouseHover(WM_MOUSEHOVER, 0, At(150, 20), handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(log.empty());

    // A move reaches every child: a move where the point is, a leave elsewhere; the sub-container's
    // handling stops the walk before the controls.
    root.OnMouseMove(WM_MOUSEMOVE, 0, At(70, 20), handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Events(log), (Log{"inner:leave", "over:leave", "passive:move", "second:move"}));
    root.OnMouseMove(WM_MOUSEMOVE, 0, At(20, 20), handled);
    EXPECT_EQ(Events(log), (Log{"inner:move"}));
    root.OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
    EXPECT_EQ(Events(log), (Log{"inner:leave"}));  // first child that reports handled ends the leave
    root.OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
    EXPECT_TRUE(Events(log).empty());               // only once inside

    // Disabled or invisible containers ignore input.
    root.SetEnabled(FALSE);
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(20, 20), handled);
    root.SetEnabled(TRUE);
    sub->SetVisible(FALSE);
    root.OnSetCursor(WM_SETCURSOR, 0, 0, handled, 20, 20);
    EXPECT_EQ(Events(log), (Log{"over:cursor"}));
}

TEST(ContainerRouting, CaptionDragOnlyWhereNoControlReacts) {
    RecordingWindow window;
    Log log;
    ContainerUIObjectImpl root;
    root.Create(window.Handle(), 0, 0, 200, 100, 0, nullptr);
    auto* caption = NewContainer<ORVUE::CaptionContainerUIObjectImpl>(window.Handle(), L"Header", {0, 0, 200, 40});
    caption->AddControl(new FakeControl(log, "close", {170, 10, 190, 30}));
    root.AddContainer(caption);
    BOOL handled = FALSE;
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(180, 20), handled);
    window.Pump();
    EXPECT_TRUE(window.Only(WM_NCLBUTTONDOWN).empty());
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(50, 20), handled);
    EXPECT_TRUE(handled);
    window.Pump();
    const auto drags = window.Only(WM_NCLBUTTONDOWN);
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_EQ(drags[0].wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(drags[0].lParam, At(50, 20));
}

// A carousel is a picture by inheritance; a lookup by type finds the exact class only.
TEST(ContainerState, TypeLookupFindsTheExactClassOnly) {
    ContainerUIObjectImpl root;
    auto* picture = new ORVUE::PictureUIObjectImpl;
    auto* carousel = new ORVUE::CarouselUIObjectImpl;
    root.AddControl(carousel);
    root.AddControl(picture);
    EXPECT_EQ(root.CollectControlsOfType<ORVUE::PictureUIObjectImpl>(), std::vector<ORVUE::PictureUIObjectImpl*>{picture});
    EXPECT_EQ(root.CollectControlsOfType<ORVUE::CarouselUIObjectImpl>(), std::vector<ORVUE::CarouselUIObjectImpl*>{carousel});
    EXPECT_EQ(ORVUE::ExactCast<ORVUE::PictureUIObjectImpl>(carousel), nullptr);
}

TEST(ContainerState, PropagationLookupAndMoves) {
    Log log;
    ContainerUIObjectImpl root;
    root.Create(nullptr, 0, 0, 300, 300, 0, nullptr);
    root.SetEnabled(FALSE);
    auto* a = NewContainer(nullptr, L"A", {10, 10, 110, 110});
    auto* twin1 = new FakeControl(log, "twin", {20, 20, 30, 30});
    auto* twin2 = new FakeControl(log, "twin", {40, 40, 50, 50});
    a->AddControl(twin1);
    a->AddControl(twin2);
    root.AddContainer(a);
    EXPECT_FALSE(a->IsEnabled());  // adding ANDs with the parent's state
    root.AddContainer(NewContainer(nullptr, L"A", {0, 0, 1, 1}));
    auto* top = new FakeControl(log, "twin", {0, 0, 5, 5});
    root.AddControl(top);
    EXPECT_FALSE(top->IsEnabled());

    EXPECT_EQ(root.FindContainer(L"A"), a);  // first match, direct only
    EXPECT_EQ(root.FindControl(L"twin"), top);
    EXPECT_EQ(a->FindControl(L"twin"), twin1);
    EXPECT_EQ(root.FindControl(L"missing"), nullptr);
    EXPECT_EQ(root.FindContainer(L"a"), nullptr);  // case-sensitive
    EXPECT_EQ(root.CollectControlsOfType<FakeControl>(), (std::vector<FakeControl*>{twin1, twin2, top}));
    EXPECT_TRUE(root.CollectControlsOfType<ContainerUIObjectImpl>().empty());

    root.SetVisible(FALSE);  // only the flag
    EXPECT_TRUE(a->IsVisible() && twin1->IsVisible());
    root.SetVisibleTree(FALSE);
    EXPECT_FALSE(a->IsVisible() || twin1->IsVisible() || top->IsVisible());
    root.SetEnabledTree(TRUE);
    EXPECT_TRUE(a->IsEnabled() && twin2->IsEnabled());

    a->SetRect(15, 5, 100, 100);  // the subtree moves by the corner's change, sizes kept
    EXPECT_EQ(twin1->GetRect().left, 25);
    EXPECT_EQ(twin1->GetRect().top, 15);
    EXPECT_EQ(twin1->GetRect().right, 35);
    EXPECT_EQ(a->GetRect().right, 100);
}

TEST(ContainerLayout, RowsAndGridsPlaceVisibleSubContainers) {
    Log log;
    Surface surface(200, 200);
    ORVUE::VerticalContainerUIObjectImpl column;
    column.Create(nullptr, 0, 10, 100, 110, 0, nullptr);
    column.SetRows(2);
    ContainerUIObjectImpl* rows[4];
    for (int i = 0; i < 4; ++i) {
        rows[i] = NewContainer(nullptr, L"row", {5, 0, 95, 20});
        rows[i]->AddControl(new FakeControl(log, "cell", {10, 2, 20, 12}));
        column.AddContainer(rows[i]);
    }
    rows[1]->SetVisible(FALSE);  // takes no slot
    column.Paint(surface.Graphics());
    EXPECT_EQ(rows[0]->GetRect().top, 10);
    EXPECT_EQ(rows[2]->GetRect().top, 60);
    EXPECT_EQ(rows[3]->GetRect().top, 10);  // wraps over the first slot
    EXPECT_EQ(rows[3]->Controls()[0]->GetRect().top, 12);

    ORVUE::GridContainerUIObjectImpl grid;
    grid.Create(nullptr, 100, 0, 200, 100, 0, nullptr);
    grid.SetCols(0);  // taken as 1 instead of dividing by zero
    grid.SetCols(2);
    grid.SetRows(2);
    ContainerUIObjectImpl* cells[3];
    for (auto& cell : cells) {
        cell = NewContainer(nullptr, L"cell", {0, 0, 10, 10});
        grid.AddContainer(cell);
    }
    grid.Paint(surface.Graphics());
    EXPECT_EQ(cells[1]->GetRect().left, 150);
    EXPECT_EQ(cells[2]->GetRect().left, 100);
    EXPECT_EQ(cells[2]->GetRect().top, 50);
    grid.SetVertical(TRUE);
    grid.Paint(surface.Graphics());
    EXPECT_EQ(cells[1]->GetRect().left, 100);
    EXPECT_EQ(cells[1]->GetRect().top, 50);
    EXPECT_EQ(cells[2]->GetRect().left, 150);
}

TEST(ContainerPaint, BackgroundClipAndOrder) {
    Log log;
    Surface surface(120, 60);
    ContainerUIObjectImpl root;
    root.Create(nullptr, 0, 0, 120, 60, 0, nullptr);
    auto* box = NewContainer(nullptr, L"box", {10, 10, 60, 40}, kBackground);  // 100x50 image, drawn 1:1
    auto* inside = new FakeControl(log, "inside", {40, 20, 80, 30});          // sticks out on the right
    box->AddControl(inside);
    root.AddContainer(box);
    auto* later = new FakeControl(log, "later", {30, 12, 50, 16});  // control of the root, over the sub-container
    later->colour = 0xFF00FF00;
    root.AddControl(later);
    auto* outside = new FakeControl(log, "outside", {100, 45, 130, 70});  // beyond the root: clip reset to none
    outside->colour = 0xFF0000FF;
    root.AddControl(outside);
    root.Paint(surface.Graphics());
    EXPECT_TRUE(Near(surface.Pixel(15, 35), kBackgroundColour));
    EXPECT_EQ(surface.Pixel(5, 5), 0u);
    EXPECT_TRUE(Near(surface.Pixel(45, 25), 0xFFFF0000));
    EXPECT_EQ(surface.Pixel(65, 25), 0u);  // clipped to the sub-container
    EXPECT_TRUE(Near(surface.Pixel(40, 14), 0xFF00FF00));
    EXPECT_TRUE(Near(surface.Pixel(110, 50), 0xFF0000FF));

    surface.Fill(0);
    root.SetVisible(FALSE);
    root.Paint(surface.Graphics());
    EXPECT_EQ(surface.Pixel(45, 25), 0u);
}

}  // namespace
}  // namespace orvtest
