// A check box: a strip of six frames for the box and an optional caption beside it.
#pragma once

#include "ui/captiontext.h"
#include "ui/imageobject.h"
#include "ui/orvbaseuiobject.h"

#include <memory>

namespace ORVUE {

class CheckBoxUIObjectImpl : public IORVBaseUIObject {
public:
    enum State {
        kUnchecked = 0,
        kUncheckedDisabled = 1,
        kUncheckedHot = 2,
        kChecked = 3,
        kCheckedDisabled = 4,
        kCheckedHot = 5,
    };

    CheckBoxUIObjectImpl();
    ~CheckBoxUIObjectImpl() override;

    // Without a caption the frame covers the whole rectangle; with one, the box rectangle, and the caption
    // is drawn at the caption rectangle's top-left.
    int Paint(Gdiplus::Graphics& graphics) override;
    // Needs an image: a zero resource id or a missing image throws UIError(E_FAIL).
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
    // Moves the box and caption rectangles along with the top-left corner.
    void SetRect(int left, int top, int right, int bottom) override;
    BOOL IsVisible() override { return visible_; }
    void SetVisible(BOOL visible) override;
    BOOL IsEnabled() override { return state_ != kUncheckedDisabled && state_ != kCheckedDisabled; }
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

    void SetCheckRect(int left, int top, int right, int bottom);
    void SetLabelRect(int left, int top, int right, int bottom);
    void SetTextColor(WORD r, WORD g, WORD b) { caption_.SetColor(r, g, b); }
    void SetFont(const wchar_t* family, int size, BOOL bold);
    void SetText(const wchar_t* text) { caption_.SetText(text); }
    std::wstring GetText() { return caption_.Text(); }
    // Stores WM_USER + action; returns the message stored before. A click toggles the box only when an
    // action is stored, and sends it with the new state (1 checked, 0 unchecked) in WPARAM.
    UINT SetAction(UINT action);
    void SetChecked(BOOL checked);
    BOOL IsChecked() { return state_ > kUncheckedHot; }

private:
    bool Active() { return visible_ && IsEnabled(); }
    void SetState(int state);
    void Request(UINT msg);

    RECT rect_ = {};
    RECT rectChk_ = {};
    RECT rectLbl_ = {};
    std::unique_ptr<ImageObject> image_;
    CaptionText caption_;
    int state_ = kUnchecked;
    HWND owner_ = nullptr;
    UINT actionMessage_ = 0;
    BOOL pressed_ = FALSE;
    BOOL visible_ = TRUE;
    BOOL mouseInside_ = FALSE;
    std::wstring name_;
};

}  // namespace ORVUE
