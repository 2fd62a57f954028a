// An image button: a strip of four frames (normal, hot, pressed, disabled) and an action message.
#pragma once

#include "ui/imageobject.h"
#include "ui/orvbaseuiobject.h"

#include <memory>

namespace ORVUE {

class ButtonUIObjectImpl : public IORVBaseUIObject {
public:
    enum State { kNormal = 0, kHot = 1, kPressed = 2, kDisabled = 3 };

    ButtonUIObjectImpl();
    ~ButtonUIObjectImpl() override;

    int Paint(Gdiplus::Graphics& graphics) override;
    // Needs an image: a zero resource id or a missing image throws UIError(E_FAIL).
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
    void SetRect(int left, int top, int right, int bottom) override;
    BOOL IsVisible() override { return visible_; }
    void SetVisible(BOOL visible) override;
    BOOL IsEnabled() override { return state_ != kDisabled; }
    // Enabling always returns to the normal frame.
    void SetEnabled(BOOL enabled) override;
    HWND GetOwner() override { return owner_; }
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    int OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled, int, int) override {
        handled = FALSE;
        return 0;
    }
    int OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL& handled) override {
        handled = FALSE;
        return 0;
    }
    void SetFocus() override;
    void KillFocus() override;
    void SetCapture() override;
    void ReleaseCapture() override;
    const std::wstring& GetName() override { return name_; }
    void SetName(const wchar_t* name) override { name_ = name ? name : L""; }
    LRESULT HandleMessage(UINT, WPARAM, LPARAM) override { return 0; }

    // Stores WM_USER + action; returns the message stored before.
    UINT SetAction(UINT action);

private:
    bool Active() const { return visible_ && state_ != kDisabled; }
    void SetState(int state);
    void Request(UINT msg);

    RECT rect_ = {};
    std::unique_ptr<ImageObject> image_;
    int state_ = kNormal;
    HWND owner_ = nullptr;
    UINT actionMessage_ = 0;
    BOOL pressed_ = FALSE;
    BOOL visible_ = TRUE;
    BOOL mouseInside_ = FALSE;
    std::wstring name_;
};

}  // namespace ORVUE
