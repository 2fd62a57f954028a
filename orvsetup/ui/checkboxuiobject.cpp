// Check boxes: checked and enabled states folded into one frame number, toggled on release.
#include "ui/checkboxuiobject.h"

#include "ui/controlsupport.h"

namespace ORVUE {

CheckBoxUIObjectImpl::CheckBoxUIObjectImpl() = default;
CheckBoxUIObjectImpl::~CheckBoxUIObjectImpl() = default;

int CheckBoxUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    if (caption_.Text().empty()) {
        DrawStripFrame(graphics, image_.get(), state_, rect_);
        return 0;
    }
    if (!::IsRectEmpty(&rectChk_)) DrawStripFrame(graphics, image_.get(), state_, rectChk_);
    caption_.Paint(graphics, rectLbl_.left, rectLbl_.top);
    return 0;
}

int CheckBoxUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                                 const wchar_t* resType) {
    RequireResource(resId);
    image_ = ImageObject::Load(resType, resId);
    owner_ = owner;
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
    return 0;
}

void CheckBoxUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    const int dx = left - rect_.left, dy = top - rect_.top;
    ::OffsetRect(&rectChk_, dx, dy);
    ::OffsetRect(&rectLbl_, dx, dy);
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
}

void CheckBoxUIObjectImpl::SetCheckRect(int left, int top, int right, int bottom) {
    rectChk_ = RECT{left, top, right, bottom};
    NoteChange();
}

void CheckBoxUIObjectImpl::SetLabelRect(int left, int top, int right, int bottom) {
    rectLbl_ = RECT{left, top, right, bottom};
    NoteChange();
}

void CheckBoxUIObjectImpl::SetFont(const wchar_t* family, int size, BOOL bold) {
    caption_.SetFont(family, size, bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular);
}

void CheckBoxUIObjectImpl::SetVisible(BOOL visible) {
    if (!visible) KillFocus();
    visible_ = visible;
    NoteChange();
}

void CheckBoxUIObjectImpl::SetState(int state) {
    if (state_ == state) return;
    state_ = state;
    NoteChange();
}

void CheckBoxUIObjectImpl::SetEnabled(BOOL enabled) {
    if (!enabled) KillFocus();
    const BOOL checked = IsChecked();
    SetState(enabled ? (checked ? kChecked : kUnchecked) : (checked ? kCheckedDisabled : kUncheckedDisabled));
}

void CheckBoxUIObjectImpl::SetChecked(BOOL checked) {
    const BOOL enabled = IsEnabled();
    SetState(checked ? (enabled ? kChecked : kCheckedDisabled) : (enabled ? kUnchecked : kUncheckedDisabled));
}

UINT CheckBoxUIObjectImpl::SetAction(UINT action) {
    const UINT previous = actionMessage_;
    actionMessage_ = WM_USER + action;
    return previous;
}

LRESULT CheckBoxUIObjectImpl::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    if (handled) SetState(IsChecked() ? kCheckedHot : kUncheckedHot);
    return 0;
}

LRESULT CheckBoxUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    mouseInside_ = TRUE;
    return OnMouseHover(msg, wParam, lParam, handled);
}

LRESULT CheckBoxUIObjectImpl::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    if (handled) pressed_ = TRUE;
    return 0;
}

// Toggles, tells the owner the new state, then shows the hot frame of that state.
LRESULT CheckBoxUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    if (pressed_ && actionMessage_) {
        const BOOL checked = !IsChecked();
        SetChecked(checked);
        SendToOwner(owner_, actionMessage_, checked ? 1 : 0, this);
    }
    pressed_ = FALSE;
    return OnMouseHover(msg, wParam, lParam, handled);
}

LRESULT CheckBoxUIObjectImpl::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active() && mouseInside_;
    if (!handled) return 0;
    pressed_ = mouseInside_ = FALSE;
    SetState(IsChecked() ? kChecked : kUnchecked);
    return 0;
}

void CheckBoxUIObjectImpl::Request(UINT msg) {
    if (Active()) SendToOwner(owner_, msg, 0, this);
}

void CheckBoxUIObjectImpl::SetFocus() { Request(ORVUM_SETFOCUS); }
void CheckBoxUIObjectImpl::KillFocus() { Request(ORVUM_KILLFOCUS); }
void CheckBoxUIObjectImpl::SetCapture() { Request(ORVUM_SETCAPTURE); }
void CheckBoxUIObjectImpl::ReleaseCapture() { Request(ORVUM_RELEASECAPTURE); }

}  // namespace ORVUE
