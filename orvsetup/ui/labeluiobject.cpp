// Labels and link labels.
#include "ui/labeluiobject.h"

#include "ui/controlsupport.h"

namespace ORVUE {
namespace {

int FontStyleOf(BOOL bold, BOOL underline) {
    return (bold ? Gdiplus::FontStyleBold : 0) | (underline ? Gdiplus::FontStyleUnderline : 0);
}

}  // namespace

// ---- LabelUIObjectImpl

int LabelUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (visible_) caption_.Paint(graphics, rect_.left, rect_.top);
    return 0;
}

int LabelUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t*) {
    RequireNoResource(resId);
    owner_ = owner;
    SetRect(left, top, right, bottom);
    return 0;
}

void LabelUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
}

void LabelUIObjectImpl::SetVisible(BOOL visible) {
    if (!visible) KillFocus();
    visible_ = visible;
    NoteChange();
}

void LabelUIObjectImpl::SetFont(const wchar_t* family, int size, BOOL bold) {
    caption_.SetFont(family, size, FontStyleOf(bold, FALSE));
}

// ---- LinkLabelUIObjectImpl

LinkLabelUIObjectImpl::LinkLabelUIObjectImpl() : hand_(::LoadCursorW(nullptr, IDC_HAND)) {}

int LinkLabelUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (visible_) caption_.Paint(graphics, rect_.left, rect_.top);
    return 0;
}

int LinkLabelUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t*) {
    RequireNoResource(resId);
    owner_ = owner;
    SetRect(left, top, right, bottom);
    return 0;
}

void LinkLabelUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
}

void LinkLabelUIObjectImpl::SetVisible(BOOL visible) {
    if (!visible) KillFocus();
    visible_ = visible;
    NoteChange();
}

void LinkLabelUIObjectImpl::SetEnabled(BOOL enabled) {
    if (!enabled) KillFocus();
    enabled_ = enabled;
}

void LinkLabelUIObjectImpl::SetFont(const wchar_t* family, int size, BOOL bold, BOOL underline) {
    caption_.SetFont(family, size, FontStyleOf(bold, underline));
}

UINT LinkLabelUIObjectImpl::SetAction(UINT action) {
    const UINT previous = actionMessage_;
    actionMessage_ = WM_USER + action;
    return previous;
}

LRESULT LinkLabelUIObjectImpl::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    if (handled) mouseInside_ = TRUE;
    return 0;
}

LRESULT LinkLabelUIObjectImpl::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    return 0;
}

LRESULT LinkLabelUIObjectImpl::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active();
    if (handled) pressed_ = TRUE;
    return 0;
}

LRESULT LinkLabelUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    if (pressed_ && actionMessage_) SendToOwner(owner_, actionMessage_, 0, this);
    pressed_ = FALSE;
    return OnMouseHover(msg, wParam, lParam, handled);
}

// A press that left the link is forgotten, so a release dragged back onto it sends nothing.
LRESULT LinkLabelUIObjectImpl::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active() && mouseInside_;
    if (handled) mouseInside_ = pressed_ = FALSE;
    return 0;
}

int LinkLabelUIObjectImpl::OnSetCursor(UINT, WPARAM, LPARAM, BOOL& handled, int, int) {
    handled = Active();
    if (handled) ::SetCursor(hand_);
    return 0;
}

void LinkLabelUIObjectImpl::Request(UINT msg) {
    if (Active()) SendToOwner(owner_, msg, 0, this);
}

void LinkLabelUIObjectImpl::SetFocus() { Request(ORVUM_SETFOCUS); }
void LinkLabelUIObjectImpl::KillFocus() { Request(ORVUM_KILLFOCUS); }
void LinkLabelUIObjectImpl::SetCapture() { Request(ORVUM_SETCAPTURE); }
void LinkLabelUIObjectImpl::ReleaseCapture() { Request(ORVUM_RELEASECAPTURE); }

}  // namespace ORVUE
