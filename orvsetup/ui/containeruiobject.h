// Inner nodes of a dialog's UI tree: they group children, clip and draw a background, route mouse input,
// carry visibility and enabled state down, and find children by name.
#pragma once

#include "ui/imageobject.h"
#include "ui/orvbaseanimationobject.h"
#include "ui/orvbaseuiobject.h"

#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace ORVUE {

class ContainerUIObjectImpl : public IORVBaseUIObject {
public:
    using Children = std::vector<std::unique_ptr<IORVBaseUIObject>>;

    ContainerUIObjectImpl() = default;
    ~ContainerUIObjectImpl() override;
    ContainerUIObjectImpl(const ContainerUIObjectImpl&) = delete;
    ContainerUIObjectImpl& operator=(const ContainerUIObjectImpl&) = delete;

    int Paint(Gdiplus::Graphics& graphics) override;
    // The image is optional: resId 0 means none.
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
    // Moves every descendant by the change of the top-left corner; children keep their sizes.
    void SetRect(int left, int top, int right, int bottom) override;
    BOOL IsVisible() override { return visible_; }
    void SetVisible(BOOL visible) override;
    BOOL IsEnabled() override { return enabled_; }
    void SetEnabled(BOOL enabled) override;
    HWND GetOwner() override { return owner_; }
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    int OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled, int x, int y) override;
    int OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL& handled) override {
        handled = FALSE;
        return 0;
    }
    void SetFocus() override {}
    void KillFocus() override {}
    void SetCapture() override {}
    void ReleaseCapture() override {}
    const std::wstring& GetName() override { return name_; }
    void SetName(const wchar_t* name) override { name_ = name ? name : L""; }
    LRESULT HandleMessage(UINT, WPARAM, LPARAM) override { return 0; }

    virtual void SetVisibleTree(BOOL visible);
    // Both take ownership; the child's enabled state becomes its own AND this container's.
    virtual void AddControl(IORVBaseUIObject* child);
    virtual void AddContainer(IORVBaseUIObject* child);
    virtual void SetEnabledTree(BOOL enabled);

    // Direct children only, first match by exact name; null when none.
    ContainerUIObjectImpl* FindContainer(const wchar_t* name) const;
    IORVBaseUIObject* FindControl(const wchar_t* name) const;
    // Controls anywhere below whose dynamic type is exactly T (one of a class derived from T is not):
    // each sub-container's finds first, then this container's own controls, all in list order.
    template <class T>
    std::vector<T*> CollectControlsOfType() const {
        std::vector<T*> found;
        for (IORVBaseUIObject* control : CollectControlsOfExactType(typeid(T))) found.push_back(ExactCast<T>(control));
        return found;
    }
    // The object of this tree (this container included) whose interface sits at `address`, or null.
    // Only the tree's own pointers are read: `address` may be any value a window message carried.
    IORVBaseUIObject* FindByAddress(LPARAM address);
    IORVBaseAnimationObject* FindAnimationByAddress(LPARAM address);

    // The tree's root paints first onto a cleared surface: its background may replace the pixels instead
    // of blending over them, which GDI+ does several times faster.
    void SetBackgroundReplaces(BOOL replaces) { backgroundReplaces_ = replaces; }

    const Children& Containers() const { return containers_; }
    const Children& Controls() const { return controls_; }

protected:
    // Paints the children without clip or background: the layout containers place them first.
    void PaintContainers(Gdiplus::Graphics& graphics);
    static void MoveTo(IORVBaseUIObject* child, int left, int top);

    RECT rect_ = {};
    HWND owner_ = nullptr;
    BOOL visible_ = TRUE;
    Children controls_;
    Children containers_;
    std::wstring name_;
    std::unique_ptr<ImageObject> image_;
    BOOL mouseInside_ = FALSE;
    BOOL pressed_ = FALSE;
    BOOL enabled_ = TRUE;
    BOOL backgroundReplaces_ = FALSE;

private:
    std::vector<IORVBaseUIObject*> CollectControlsOfExactType(const std::type_info& type) const;
    // Offers the event to the first child under the point, sub-containers first; returns the control
    // that handled it (null when none did or a sub-container did).
    template <typename Handler>
    IORVBaseUIObject* RouteToFirst(POINT point, BOOL& handled, Handler handler);
};

// A container whose empty areas drag the window: a button-down no child takes starts a caption drag.
class CaptionContainerUIObjectImpl : public ContainerUIObjectImpl {
public:
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
};

// Stacks its visible sub-containers in equal rows, again on every paint; more than `rows` wrap around.
class VerticalContainerUIObjectImpl : public ContainerUIObjectImpl {
public:
    int Paint(Gdiplus::Graphics& graphics) override;
    // Counts below 1 are taken as 1.
    void SetRows(int rows);

private:
    int rows_ = 1;
};

// Places its visible sub-containers in a grid of cells sized when the counts are set.
class GridContainerUIObjectImpl : public ContainerUIObjectImpl {
public:
    int Paint(Gdiplus::Graphics& graphics) override;
    // Counts below 1 are taken as 1; the cell size comes from the rectangle at the time of the call.
    void SetCols(int cols);
    void SetRows(int rows);
    // TRUE fills each column top to bottom, FALSE each row left to right.
    void SetVertical(BOOL vertical) { vertical_ = vertical; }

private:
    int cols_ = 1;
    int rows_ = 1;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    BOOL vertical_ = FALSE;
};

}  // namespace ORVUE
