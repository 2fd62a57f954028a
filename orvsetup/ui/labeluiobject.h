// Static text and link text: text drawn at the top-left of the rectangle; the link also raises an action.
#pragma once

#include "ui/captiontext.h"
#include "ui/orvbaseuiobject.h"

namespace ORVUE {

class LabelUIObjectImpl : public IORVBaseUIObject {
public:
    LabelUIObjectImpl() = default;

    int Paint(Gdiplus::Graphics& graphics) override;
    // Takes no image: a non-zero resource id throws UIError(E_FAIL).
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

    void SetText(const wchar_t* text) { caption_.SetText(text); }
    const std::wstring& GetText() { return caption_.Text(); }
    void SetTextColor(WORD r, WORD g, WORD b) { caption_.SetColor(r, g, b); }
    void SetFont(const wchar_t* family, int size, BOOL bold);

private:
    static int Unhandled(BOOL& handled) {
        handled = FALSE;
        return 0;
    }

    RECT rect_ = {};
    HWND owner_ = nullptr;
    BOOL visible_ = TRUE;
    CaptionText caption_;
    std::wstring name_;
    BOOL enabled_ = TRUE;
};

// Not a label: it shows the hand cursor and sends WM_USER + action when clicked.
class LinkLabelUIObjectImpl : public IORVBaseUIObject {
public:
    LinkLabelUIObjectImpl();

    int Paint(Gdiplus::Graphics& graphics) override;
    // Takes no image: a non-zero resource id throws UIError(E_FAIL).
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
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
    void SetFocus() override;
    void KillFocus() override;
    void SetCapture() override;
    void ReleaseCapture() override;
    const std::wstring& GetName() override { return name_; }
    void SetName(const wchar_t* name) override { name_ = name ? name : L""; }
    LRESULT HandleMessage(UINT, WPARAM, LPARAM) override { return 0; }

    void SetText(const wchar_t* text) { caption_.SetText(text); }
    const std::wstring& GetText() { return caption_.Text(); }
    void SetTextColor(WORD r, WORD g, WORD b) { caption_.SetColor(r, g, b); }
    void SetFont(const wchar_t* family, int size, BOOL bold, BOOL underline);
    // Stores WM_USER + action; returns the message stored before.
    UINT SetAction(UINT action);

private:
    bool Active() const { return visible_ && enabled_; }
    void Request(UINT msg);

    RECT rect_ = {};
    HWND owner_ = nullptr;
    BOOL visible_ = TRUE;
    CaptionText caption_;
    HCURSOR hand_;  // a shared system cursor: never destroyed
    UINT actionMessage_ = 0;
    BOOL pressed_ = FALSE;
    BOOL mouseInside_ = FALSE;
    std::wstring name_;
    BOOL enabled_ = TRUE;
};

}  // namespace ORVUE
