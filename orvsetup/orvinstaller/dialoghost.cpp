// The shared dialog window: creation, the window image, input routing and the objects' host services.
#include "dialoghost.h"

#include "appinstance.h"
#include "orvscriptengine/scriptglobals.h"
#include "ui/layoutvalues.h"
#include "ui/uierror.h"
#include "ui/uiobjectfactory.h"
#include "utility/trace.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#define ORV_TRACE_SOURCE L"dialoghost"

namespace orv {
namespace {

constexpr int kDialogTemplate = 129;
constexpr int kIconResource = 128;
constexpr UINT kSystemCaretTimer = 0x118;

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= 0x20D; }

}  // namespace

void RegisterDialogClass(HINSTANCE instance) {
    WNDCLASSW cls = {};
    if (!::GetClassInfoW(instance, L"#32770", &cls)) return;
    cls.hInstance = instance;
    cls.lpszClassName = kDialogClassName;
    ::RegisterClassW(&cls);  // already registered, or refused: the dialogs will report it
}

DialogHost::DialogHost(pugi::xml_node node, lua_State* L) : node_(node), L_(L) {}

DialogHost::~DialogHost() {
    if (!treeOwner_) treeOwner_ = window_;
    if (window_) ::DestroyWindow(window_);
    ReleaseTree();
    for (HICON icon : icons_)
        if (icon) ::DestroyIcon(icon);
}

bool DialogHost::Create(HINSTANCE instance) {
    RegisterDialogClass(instance);
    HWND window = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(kDialogTemplate), nullptr, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    if (!window) return false;
    if (!root_) {  // the tree could not be built: nothing to show, and what was built goes
        treeOwner_ = window;
        ::DestroyWindow(window);
        window_ = nullptr;
        return false;
    }
    return true;
}

INT_PTR CALLBACK DialogHost::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<DialogHost*>(lParam)->window_ = hwnd;
    }
    auto* self = reinterpret_cast<DialogHost*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    LRESULT result = 0;
    ++self->callDepth_;
    const bool handled = self->Dispatch(msg, wParam, lParam, result);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->window_ = nullptr;
    }
    if (--self->callDepth_ == 0 && self->closed_) self->ReleaseTree();
    if (!handled) return FALSE;
    if (msg == WM_INITDIALOG) return result;
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool DialogHost::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (ForwardToCaptureOrFocus(msg, wParam, lParam, result)) return true;
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
        case WM_NCCALCSIZE:
            return true;
        case WM_INITDIALOG:
            result = OnInitDialog() ? TRUE : FALSE;
            return true;
        case WM_COMMAND:
            return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;  // Enter and Escape close nothing
        case WM_CLOSE: {
            // Any program may post WM_CLOSE with any code: only the dialog's own request carries one.
            const UINT code = ownClosePosted_ ? ownCloseCode_ : 0;
            ownClosePosted_ = false;
            OnCloseRequest(code);
            return true;
        }
        case WM_DESTROY:
            if (filterRegistered_) {
                if (MessageLoop* loop = Module().GetMessageLoop()) loop->RemoveMessageFilter(this);
                filterRegistered_ = false;
            }
            return false;
        case WM_TIMER:
            OnTimer(wParam);
            return true;
        case WM_SHOWWINDOW:
        case WM_SIZE:
        case WM_DISPLAYCHANGE:
            shown_.clear();  // a window just shown or restored gets its whole picture again at the next tick
            return false;
        default:
            break;
    }
    if (msg >= ORVUE::ORVUM_SETCAPTURE && msg <= ORVUM_INSTALLFINISHED) return OnHostService(msg, wParam, lParam);
    if (msg > DM_REPOSITION && msg < 0x8000) {
        // Objects send their actions with themselves in LPARAM; anything else is not one of our actions.
        if (LiveObject(lParam)) return OnAction(msg - WM_USER, wParam, lParam);
        if (root_) {
            TraceLine(L"message 0x%04X ignored: %p is no object of this dialog\r\n", msg,
                      reinterpret_cast<void*>(lParam));
        }
    }
    return false;
}

ORVUE::IORVBaseUIObject* DialogHost::LiveObject(LPARAM lParam) const {
    return root_ ? root_->FindByAddress(lParam) : nullptr;
}

bool DialogHost::ForwardToCaptureOrFocus(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    ORVUE::IORVBaseUIObject* target = nullptr;
    if (capture_ && IsMouseMessage(msg)) {
        target = capture_;
    } else if (focus_ && InFocusSet(msg)) {
        target = focus_;
    }
    if (!target) return false;
    result = target->HandleMessage(msg, wParam, lParam);
    return result != 0;
}

bool DialogHost::InFocusSet(UINT msg) const {
    return (msg >= WM_KEYFIRST && msg <= 0x109) || msg == ORVUE::ORVUM_CARETBLINK;
}

void DialogHost::Show() {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    SetIcons();
}

bool DialogHost::OnInitDialog() {
    if (MessageLoop* loop = Module().GetMessageLoop()) {
        loop->AddMessageFilter(this);
        filterRegistered_ = true;
    }
    const LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_STYLE);
    ::SetWindowLongPtrW(window_, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME));
    const int height = ORVUE::ReadInt(node_, L"height", 300), width = ORVUE::ReadInt(node_, L"width", 400);
    ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    if (L_) ::SetWindowTextW(window_, (GetGlobalText(L_, "global_product_name") + L"安装").c_str());
    try {
        root_ = dynamic_cast<ORVUE::ContainerUIObjectImpl*>(
            ORVUE::UIObjectFactory::Instance().Build(window_, node_.child(L"Container")));
    } catch (const ORVUE::UIError& error) {
        TraceLine(L"the dialog's objects could not be built, hr=0x%08X\r\n", static_cast<unsigned>(error.Error()));
        root_ = nullptr;
    }
    if (!root_) {
        TraceLine(L"<Dlg name=\"%ls\"> has no object tree\r\n", node_.attribute(L"name").value());
        return FALSE;
    }
    CentreOnWorkArea();
    InitDialog();
    UpdateWindowImage();
    ::SetTimer(window_, kRepaintTimer, kRepaintPeriodMs, nullptr);
    return TRUE;
}

void DialogHost::SetIcons() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int sizes[2][2] = {{::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)},
                             {::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON)}};
    for (int i = 0; i < 2; ++i) {
        icons_[i] = static_cast<HICON>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, sizes[i][0], sizes[i][1], 0));
    }
    ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons_[0]));
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons_[1]));
}

void DialogHost::CentreOnWorkArea() {
    RECT rect;
    ::GetWindowRect(window_, &rect);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    ::SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Repaints only when some object changed since the last frame: the picture on screen would be the same.
// Of a repainted frame only the rows and columns that differ from the last one are handed over.
void DialogHost::UpdateWindowImage() {
    if (!window_ || !root_ || ::IsIconic(window_)) return;
    RECT rect;
    ::GetWindowRect(window_, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const DWORD stamp = ORVUE::ChangeStamp();
    const bool sameSize = surface_ && surface_->Width() == width && surface_->Height() == height;
    if (sameSize && stamp == paintedStamp_ && !shown_.empty()) return;
    if (!sameSize) {
        surface_ = std::make_unique<ORVUE::PaintSurface>(width, height);
        shown_.clear();
    }
    if (!surface_->Valid()) return;
    surface_->Fill(0);
    root_->Paint(surface_->Graphics());
    surface_->Graphics().Flush(Gdiplus::FlushIntentionSync);
    paintedStamp_ = stamp;
    RECT dirty = {0, 0, width, height};
    if (!shown_.empty() && !ChangedArea(dirty)) return;
    shown_.assign(surface_->Bits(), surface_->Bits() + static_cast<size_t>(width) * height);
    SIZE size = {width, height};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UPDATELAYEREDWINDOWINFO info = {};
    info.cbSize = sizeof(info);
    info.psize = &size;
    info.hdcSrc = surface_->Dc();
    info.pptSrc = &source;
    info.pblend = &blend;
    info.dwFlags = ULW_ALPHA;
    info.prcDirty = &dirty;
    ::UpdateLayeredWindowIndirect(window_, &info);
}

// The smallest rectangle holding every pixel that differs from the frame on screen; false when none does.
bool DialogHost::ChangedArea(RECT& area) const {
    const int width = surface_->Width(), height = surface_->Height();
    const uint32_t* now = surface_->Bits();
    int top = height, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = now + static_cast<size_t>(y) * width;
        const uint32_t* before = shown_.data() + static_cast<size_t>(y) * width;
        if (std::memcmp(row, before, sizeof(uint32_t) * width) == 0) continue;
        top = std::min(top, y);
        bottom = y;
        int first = 0, last = width - 1;
        while (row[first] == before[first]) ++first;
        while (row[last] == before[last]) --last;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (bottom < 0) return false;
    area = RECT{left, top, right + 1, bottom + 1};
    return true;
}

void DialogHost::OnSetCursor() {
    POINT point;
    ::GetCursorPos(&point);
    ::ScreenToClient(window_, &point);
    BOOL handled = FALSE;
    if (capture_) {
        capture_->OnSetCursor(WM_SETCURSOR, 0, 0, handled, point.x, point.y);
        return;
    }
    if (root_ && ORVUE::RectContains(root_, point)) root_->OnSetCursor(WM_SETCURSOR, 0, 0, handled, point.x, point.y);
    if (!handled) ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

void DialogHost::OnMouse(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!root_) return;
    BOOL handled = FALSE;
    const bool inside = ORVUE::RectContains(root_, ORVUE::PointOf(lParam));
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

void DialogHost::OnTimer(UINT_PTR id) {
    if (id == kRepaintTimer) {
        UpdateWindowImage();
        return;
    }
    if (OnOwnTimer(id)) return;
    const auto found = objectTimers_.find(static_cast<UINT>(id));
    if (found != objectTimers_.end()) found->second->OnTimer(static_cast<int>(id - ORVUE::ANIMATION_TIMER_BASE));
}

bool DialogHost::OnHostService(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == ORVUE::ORVUM_SETANIMATIONTIMER || msg == ORVUE::ORVUM_KILLANIMATIONTIMER) {
        return OnObjectTimer(msg, wParam, lParam);
    }
    // The caret blink reaches the focus object through the focus set.
    if (msg > ORVUE::ORVUM_KILLFOCUS) return msg == ORVUE::ORVUM_CARETBLINK || OnOwnMessage(msg, wParam, lParam);
    // Capture and focus requests: the sender must be one of this dialog's objects.
    ORVUE::IORVBaseUIObject* sender = LiveObject(lParam);
    if (!sender) {
        // Without a tree (still being built, or given up) objects' own requests have nothing to change.
        if (root_) {
            TraceLine(L"request 0x%04X ignored: %p is no object of this dialog\r\n", msg,
                      reinterpret_cast<void*>(lParam));
        }
        return true;
    }
    switch (msg) {
        case ORVUE::ORVUM_SETCAPTURE:
            if (TakesSystemCapture()) ::SetCapture(window_);
            if (capture_ != sender) {
                if (capture_) {
                    BOOL handled = FALSE;
                    capture_->OnCaptureChanged(msg, wParam, lParam, handled);
                }
                capture_ = sender;
            }
            return true;
        case ORVUE::ORVUM_RELEASECAPTURE:
            if (capture_ == sender) capture_ = nullptr;
            if (TakesSystemCapture()) ::ReleaseCapture();
            return true;
        case ORVUE::ORVUM_SETFOCUS:
            if (focus_ != sender) {
                ORVUE::IORVBaseUIObject* previous = focus_;
                focus_ = sender;
                if (previous) previous->KillFocus();
            }
            return true;
        case ORVUE::ORVUM_KILLFOCUS:
            if (focus_ == sender) focus_ = nullptr;
            return true;
        default:
            return true;
    }
}

bool DialogHost::OnObjectTimer(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!AnswersObjectTimers()) return false;
    ORVUE::IORVBaseAnimationObject* object = root_ ? root_->FindAnimationByAddress(lParam) : nullptr;
    if (!object) {
        if (root_) {
            TraceLine(L"timer request 0x%04X ignored: %p is no animated object of this dialog\r\n", msg,
                      reinterpret_cast<void*>(lParam));
        }
        return true;
    }
    const UINT id = ORVUE::ANIMATION_TIMER_BASE + LOWORD(wParam);
    if (msg == ORVUE::ORVUM_SETANIMATIONTIMER) {
        TraceTimerSet(id);
        ::SetTimer(window_, id, HIWORD(wParam), nullptr);
        objectTimers_.emplace(id, object);  // an existing entry for the id stays
    } else {
        const auto found = objectTimers_.find(id);
        if (found != objectTimers_.end() && found->second == object) {
            objectTimers_.erase(found);
            ::KillTimer(window_, id);
            TraceTimerKilled(id);
        }
    }
    return true;
}

bool DialogHost::PreTranslateMessage(MSG* msg) {
    if (msg->message >= WM_KEYFIRST && msg->message <= 0x109) return false;
    if (msg->message == kSystemCaretTimer) {
        ::PostMessageW(window_, ORVUE::ORVUM_CARETBLINK, 0, 0);
        return false;
    }
    return window_ && ::IsDialogMessageW(window_, msg);
}

void DialogHost::PostClose(UINT code) {
    if (!window_ || closed_) return;
    ownClosePosted_ = true;
    ownCloseCode_ = code;
    ::PostMessageW(window_, WM_CLOSE, code, 0);
}

void DialogHost::CloseDialog(UINT code) {
    if (closed_) return;
    CollectAtClose();
    closed_ = true;
    closeCode_ = code;
    focus_ = nullptr;
    capture_ = nullptr;
    root_ = nullptr;
    objectTimers_.clear();
    treeOwner_ = window_;
    ::DestroyWindow(window_);
    ::PostQuitMessage(static_cast<int>(code));
    if (callDepth_ == 0) {
        ReleaseTree();
    } else if (callDepth_ > 1) {
        TraceLine(L"the dialog closed inside one of its own calls: its objects go when that returns\r\n");
    }
}

void DialogHost::ReleaseTree() {
    HWND owner = treeOwner_ ? treeOwner_ : window_;
    treeOwner_ = nullptr;
    if (owner) ORVUE::UIObjectFactory::Instance().Release(owner);
}

}  // namespace orv
