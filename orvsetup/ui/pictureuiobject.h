// A picture: one image scaled into the rectangle.
#pragma once

#include "ui/imageobject.h"
#include "ui/orvbaseuiobject.h"

#include <memory>

namespace ORVUE {

class PictureUIObjectImpl : public IORVBaseUIObject {
public:
    PictureUIObjectImpl();
    ~PictureUIObjectImpl() override;

    int Paint(Gdiplus::Graphics& graphics) override;
    // Needs an image: a zero resource id or a missing image throws UIError(E_FAIL).
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
    void SetRect(int left, int top, int right, int bottom) override;
    BOOL IsVisible() override { return visible_; }
    void SetVisible(BOOL visible) override;
    BOOL IsEnabled() override { return enabled_; }
    void SetEnabled(BOOL enabled) override { enabled_ = enabled; }
    HWND GetOwner() override { return owner_; }
    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) override { return Unhandled(handled); }
    LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& handled) override { return Unhandled(handled); }
    LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled) override { return Unhandled(handled); }
    LRESULT OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) override { return Unhandled(handled); }
    LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled) override { return Unhandled(handled); }
    int OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled, int, int) override { return Unhandled(handled); }
    int OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL& handled) override { return Unhandled(handled); }
    void SetFocus() override {}
    void KillFocus() override {}
    void SetCapture() override {}
    void ReleaseCapture() override {}
    const std::wstring& GetName() override { return name_; }
    void SetName(const wchar_t* name) override { name_ = name ? name : L""; }
    LRESULT HandleMessage(UINT, WPARAM, LPARAM) override { return 0; }

protected:
    ImageObject* Image() const { return image_.get(); }

private:
    static int Unhandled(BOOL& handled) {
        handled = FALSE;
        return 0;
    }

    RECT rect_ = {};
    std::unique_ptr<ImageObject> image_;
    HWND owner_ = nullptr;
    BOOL visible_ = TRUE;
    std::wstring name_;
    BOOL enabled_ = TRUE;
};

}  // namespace ORVUE
