// The object host: mouse routing into the tree, capture and focus forwarding, the objects' requests.
#include "ui/objecthost.h"

#include "utility/trace.h"

namespace ORVUE {
namespace {

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= 0x20D; }

}  // namespace

bool ObjectHostRules::InFocusSet(UINT msg) const {
    return (msg >= WM_KEYFIRST && msg <= 0x109) || msg == ORVUM_CARETBLINK;
}

bool ObjectHostRules::TextEntryFocusSet(UINT msg) {
    return msg == WM_INPUTLANGCHANGEREQUEST || msg == WM_INPUTLANGCHANGE || (msg >= WM_KEYFIRST && msg <= 0x10F) ||
           msg == WM_IME_SETCONTEXT || msg == WM_IME_NOTIFY || msg == ORVUM_CARETBLINK;
}

void ObjectHost::SetRoot(ContainerUIObjectImpl* root) {
    root_ = root;
    focus_ = nullptr;
    capture_ = nullptr;
    objectTimers_.clear();
}

IORVBaseUIObject* ObjectHost::LiveObject(LPARAM lParam) const {
    return root_ ? root_->FindByAddress(lParam) : nullptr;
}

bool ObjectHost::Forward(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    IORVBaseUIObject* target = nullptr;
    if (capture_ && IsMouseMessage(msg)) {
        target = capture_;
    } else if (focus_ && rules_.InFocusSet(msg)) {
        target = focus_;
    }
    if (!target) return false;
    result = target->HandleMessage(msg, wParam, lParam);
    return result != 0;
}

bool ObjectHost::Serve(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (msg) {
        case WM_SETCURSOR:
            OnSetCursor();
            result = TRUE;
            return true;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_MOUSEHOVER:
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
            OnMouse(msg, wParam, lParam);
            return true;
        case WM_TIMER:
            return OnTimer(wParam);
        default:
            break;
    }
    if (msg >= ORVUM_SETCAPTURE && msg <= ORVUM_KILLANIMATIONTIMER) return OnRequest(msg, wParam, lParam);
    return false;
}

bool ObjectHost::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return Forward(msg, wParam, lParam, result) || Serve(msg, wParam, lParam, result);
}

void ObjectHost::OnSetCursor() {
    POINT point;
    ::GetCursorPos(&point);
    ::ScreenToClient(window_, &point);
    BOOL handled = FALSE;
    if (capture_) {
        capture_->OnSetCursor(WM_SETCURSOR, 0, 0, handled, point.x, point.y);
        return;
    }
    if (root_ && RectContains(root_, point)) root_->OnSetCursor(WM_SETCURSOR, 0, 0, handled, point.x, point.y);
    if (!handled) ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

void ObjectHost::OnMouse(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!root_) return;
    BOOL handled = FALSE;
    const bool inside = RectContains(root_, PointOf(lParam));
    switch (msg) {
        case WM_LBUTTONDOWN:
            if (inside) root_->OnLButtonDown(msg, wParam, lParam, handled);
            break;
        case WM_LBUTTONUP:
            if (inside) root_->OnLButtonUp(msg, wParam, lParam, handled);
            break;
        case WM_MOUSEHOVER:
            if (inside) root_->OnMouseHover(msg, wParam, lParam, handled);
            break;
        case WM_MOUSEMOVE: {
            TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER | TME_LEAVE, window_, HOVER_DEFAULT};
            ::TrackMouseEvent(&track);
            if (inside) {
                root_->OnMouseMove(msg, wParam, lParam, handled);
            } else {
                root_->OnMouseLeave(msg, wParam, lParam, handled);
            }
            break;
        }
        case WM_MOUSELEAVE:
            root_->OnMouseLeave(msg, wParam, lParam, handled);
            break;
        default:
            break;
    }
}

bool ObjectHost::OnTimer(UINT_PTR id) {
    const auto found = objectTimers_.find(static_cast<UINT>(id));
    if (found == objectTimers_.end()) return false;
    found->second->OnTimer(static_cast<int>(id - ANIMATION_TIMER_BASE));
    return true;
}

bool ObjectHost::OnRequest(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == ORVUM_SETANIMATIONTIMER || msg == ORVUM_KILLANIMATIONTIMER) return OnObjectTimer(msg, wParam, lParam);
    // The caret blink reaches the focus object through the focus set.
    if (msg == ORVUM_CARETBLINK) return true;
    // Capture and focus requests: the sender must be one of the tree's objects.
    IORVBaseUIObject* sender = LiveObject(lParam);
    if (!sender) {
        // Without a tree (still being built, or given up) objects' own requests have nothing to change.
        if (root_) {
            orv::TraceLine(L"request 0x%04X ignored: %p is no object of this dialog\r\n", msg,
                           reinterpret_cast<void*>(lParam));
        }
        return true;
    }
    switch (msg) {
        case ORVUM_SETCAPTURE:
            if (rules_.TakesSystemCapture()) ::SetCapture(window_);
            if (capture_ != sender) {
                if (capture_) {
                    BOOL handled = FALSE;
                    capture_->OnCaptureChanged(msg, wParam, lParam, handled);
                }
                capture_ = sender;
            }
            return true;
        case ORVUM_RELEASECAPTURE:
            if (capture_ == sender) capture_ = nullptr;
            if (rules_.TakesSystemCapture()) ::ReleaseCapture();
            return true;
        case ORVUM_SETFOCUS:
            if (focus_ != sender) {
                IORVBaseUIObject* previous = focus_;
                focus_ = sender;
                if (previous) previous->KillFocus();
            }
            return true;
        case ORVUM_KILLFOCUS:
            if (focus_ == sender) focus_ = nullptr;
            return true;
        default:
            return true;
    }
}

bool ObjectHost::OnObjectTimer(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!rules_.AnswersObjectTimers()) return false;
    IORVBaseAnimationObject* object = root_ ? root_->FindAnimationByAddress(lParam) : nullptr;
    if (!object) {
        if (root_) {
            orv::TraceLine(L"timer request 0x%04X ignored: %p is no animated object of this dialog\r\n", msg,
                           reinterpret_cast<void*>(lParam));
        }
        return true;
    }
    const UINT id = ANIMATION_TIMER_BASE + LOWORD(wParam);
    if (msg == ORVUM_SETANIMATIONTIMER) {
        rules_.TraceTimerSet(id);
        ::SetTimer(window_, id, HIWORD(wParam), nullptr);
        objectTimers_.emplace(id, object);  // an existing entry for the id stays
    } else {
        const auto found = objectTimers_.find(id);
        if (found != objectTimers_.end() && found->second == object) {
            objectTimers_.erase(found);
            ::KillTimer(window_, id);
            rules_.TraceTimerKilled(id);
        }
    }
    return true;
}

}  // namespace ORVUE
