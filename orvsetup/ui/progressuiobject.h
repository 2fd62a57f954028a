// A progress bar: a background image and a front image whose middle is stretched to the position, with
// fixed caps at both ends.
#pragma once

#include "ui/imageobject.h"
#include "ui/orvbaseuiobject.h"

#include <memory>

namespace ORVUE {

class ProgressUIObjectImpl : public IORVBaseUIObject {
public:
    ProgressUIObjectImpl();
    ~ProgressUIObjectImpl() override;

    int Paint(Gdiplus::Graphics& graphics) override;
    // Needs the background image: a zero resource id or a missing image throws UIError(E_FAIL).
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
    // Moves the bar and its front rectangle to (left, top); the sizes stay.
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

    // The rectangle the front image fills, and the widths of its left and right caps.
    void SetFront(const RECT& front, int spl, int spr);
    // Throws UIError(E_FAIL) when the image resource is missing.
    void SetFrontImage(const wchar_t* resType, UINT resId);
    // One step towards 100, where it stays.
    void StepIt();
    int GetPos() { return pos_; }

private:
    static int Unhandled(BOOL& handled) {
        handled = FALSE;
        return 0;
    }
    void PaintFront(Gdiplus::Graphics& graphics);
    ImageObject* FilledBody(float filled, int height);

    RECT rect_ = {};
    RECT front_ = {};
    std::unique_ptr<ImageObject> background_;
    std::unique_ptr<ImageObject> frontImage_;
    std::unique_ptr<ImageObject> bodyCache_;  // the stretched middle at bodyCachePos_
    int bodyCachePos_ = -1;
    HWND owner_ = nullptr;
    BOOL visible_ = TRUE;
    int spl_ = 0;
    int spr_ = 0;
    int pos_ = 0;
    std::wstring name_;
    BOOL enabled_ = TRUE;
};

}  // namespace ORVUE
