// Image buttons: the state machine of hover and press, and the frame of the current state.
#include "ui/buttonuiobject.h"

#include "ui/controlsupport.h"

namespace ORVUE {

ButtonUIObjectImpl::ButtonUIObjectImpl() = default;
ButtonUIObjectImpl::~ButtonUIObjectImpl() = default;

int ButtonUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (visible_) DrawStripFrame(graphics, image_.get(), state_, rect_);
    return 0;
}

int ButtonUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                               const wchar_t* resType) {
    RequireResource(resId);
    image_ = ImageObject::Load(resType, resId);
    owner_ = owner;
    SetRect(left, top, right, bottom);
    return 0;
}

void ButtonUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
}

void ButtonUIObjectImpl::SetVisible(BOOL visible) {
    if (!visible) KillFocus();
    visible_ = visible;
    NoteChange();
}

void ButtonUIObjectImpl::SetEnabled(BOOL enabled) {
    if (!enabled) KillFocus();
    SetState(enabled ? kNormal : kDisabled);
}

void ButtonUIObjectImpl::SetState(int state) {
    if (state_ == state) return;
    state_ = state;
    NoteChange();
}

UINT ButtonUIObjectImpl::SetAction(UINT action) {
    const UINT previous = actionMessage_;
    actionMessage_ = WM_USER + action;
    return previous;
}

LRESULT ButtonUIObjectImpl::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    if (handled) SetState(kHot);
    return 0;
}

// A move while pressed shows the hot frame.
LRESULT ButtonUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    mouseInside_ = TRUE;
    return OnMouseHover(msg, wParam, lParam, handled);
}

LRESULT ButtonUIObjectImpl::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    if (!handled) return 0;
    SetState(kPressed);
    pressed_ = TRUE;
    return 0;
}

// The owner handles the action before the button finishes the release.
LRESULT ButtonUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    if (actionMessage_ && pressed_) SendToOwner(owner_, actionMessage_, 0, this);
    pressed_ = FALSE;
    return OnMouseHover(msg, wParam, lParam, handled);
}

LRESULT ButtonUIObjectImpl::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active() && mouseInside_;
    if (!handled) return 0;
    SetState(kNormal);
    pressed_ = mouseInside_ = FALSE;
    return 0;
}

void ButtonUIObjectImpl::Request(UINT msg) {
    if (Active()) SendToOwner(owner_, msg, 0, this);
}

void ButtonUIObjectImpl::SetFocus() { Request(ORVUM_SETFOCUS); }
void ButtonUIObjectImpl::KillFocus() { Request(ORVUM_KILLFOCUS); }
void ButtonUIObjectImpl::SetCapture() { Request(ORVUM_SETCAPTURE); }
void ButtonUIObjectImpl::ReleaseCapture() { Request(ORVUM_RELEASECAPTURE); }

}  // namespace ORVUE
