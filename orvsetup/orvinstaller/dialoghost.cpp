// The shared dialog window: creation, the window image, its messages handed to the object host, actions.
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
#include <utility>

#define ORV_TRACE_SOURCE L"dialoghost"

namespace orv {
namespace {

constexpr int kDialogTemplate = 129;
constexpr int kIconResource = 128;
constexpr UINT kSystemCaretTimer = 0x118;

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
    if (!treeOwner_) treeOwner_ = window_.Get();
    window_.Reset();
    ReleaseTree();
}

bool DialogHost::Create(HINSTANCE instance) {
    RegisterDialogClass(instance);
    HWND window = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(kDialogTemplate), nullptr, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    if (!window) return false;
    if (!Root()) {  // the tree could not be built: nothing to show, and what was built goes
        treeOwner_ = window;
        ::DestroyWindow(window);  // window_ lets go of it at WM_NCDESTROY
        return false;
    }
    return true;
}

INT_PTR CALLBACK DialogHost::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* host = reinterpret_cast<DialogHost*>(lParam);
        host->window_ = UniqueWindow(hwnd);
        host->host_.SetWindow(hwnd);
    }
    auto* self = reinterpret_cast<DialogHost*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    LRESULT result = 0;
    ++self->callDepth_;
    const bool handled = self->Dispatch(msg, wParam, lParam, result);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->window_.Release();
        self->host_.SetWindow(nullptr);
    }
    if (--self->callDepth_ == 0 && self->closed_) self->ReleaseTree();
    if (!handled) return FALSE;
    if (msg == WM_INITDIALOG) return result;
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool DialogHost::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (host_.Forward(msg, wParam, lParam, result)) return true;
    result = 0;
    switch (msg) {
        case WM_SETCURSOR:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_MOUSEHOVER:
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
            return host_.Serve(msg, wParam, lParam, result);
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
            if (wParam == kRepaintTimer) {
                UpdateWindowImage();
            } else if (!OnOwnTimer(wParam)) {
                host_.Serve(msg, wParam, lParam, result);
            }
            return true;
        case WM_SHOWWINDOW:
        case WM_SIZE:
        case WM_DISPLAYCHANGE:
            shown_.clear();  // a window just shown or restored gets its whole picture again at the next tick
            return false;
        default:
            break;
    }
    if (msg >= ORVUE::ORVUM_SETCAPTURE && msg <= ORVUM_INSTALLFINISHED) {
        if (msg == ORVUM_INSTALLFINISHED) return OnOwnMessage(msg, wParam, lParam);
        return host_.Serve(msg, wParam, lParam, result);
    }
    if (msg > DM_REPOSITION && msg < 0x8000) {
        // Objects send their actions with themselves in LPARAM; anything else is not one of our actions.
        if (LiveObject(lParam)) return OnAction(msg - WM_USER, wParam, lParam);
        if (Root()) {
            TraceLine(L"message 0x%04X ignored: %p is no object of this dialog\r\n", msg,
                      reinterpret_cast<void*>(lParam));
        }
    }
    return false;
}

void DialogHost::Show() {
    ::ShowWindow(window_.Get(), SW_SHOWNORMAL);
    SetIcons();
}

bool DialogHost::OnInitDialog() {
    if (MessageLoop* loop = Module().GetMessageLoop()) {
        loop->AddMessageFilter(this);
        filterRegistered_ = true;
    }
    HWND window = window_.Get();
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    ::SetWindowLongPtrW(window, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME));
    const int height = ORVUE::ReadInt(node_, L"height", 300), width = ORVUE::ReadInt(node_, L"width", 400);
    ::SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    if (L_) ::SetWindowTextW(window, (GetGlobalText(L_, "global_product_name") + L"安装").c_str());
    ORVUE::ContainerUIObjectImpl* root = nullptr;
    try {
        root = dynamic_cast<ORVUE::ContainerUIObjectImpl*>(
            ORVUE::UIObjectFactory::Instance().Build(window, node_.child(L"Container")));
    } catch (const ORVUE::UIError& error) {
        TraceLine(L"the dialog's objects could not be built, hr=0x%08X\r\n", static_cast<unsigned>(error.Error()));
        root = nullptr;
    }
    host_.SetRoot(root);
    if (!root) {
        TraceLine(L"<Dlg name=\"%ls\"> has no object tree\r\n", node_.attribute(L"name").value());
        return FALSE;
    }
    CentreOnWorkArea();
    InitDialog();
    UpdateWindowImage();
    ::SetTimer(window, kRepaintTimer, kRepaintPeriodMs, nullptr);
    return TRUE;
}

void DialogHost::SetIcons() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int sizes[2][2] = {{::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)},
                             {::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON)}};
    UniqueIcon icons[2];
    for (int i = 0; i < 2; ++i) {
        icons[i].Reset(static_cast<HICON>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, sizes[i][0], sizes[i][1], 0)));
    }
    ::SendMessageW(window_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons[0].Get()));
    ::SendMessageW(window_.Get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons[1].Get()));
    // The window has let go of the icons it had before: they go now, the new ones with the dialog.
    for (int i = 0; i < 2; ++i) icons_[i] = std::move(icons[i]);
}

void DialogHost::CentreOnWorkArea() {
    HWND window = window_.Get();
    RECT rect;
    ::GetWindowRect(window, &rect);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Repaints only when some object changed since the last frame: the picture on screen would be the same.
// Of a repainted frame only the rows and columns that differ from the last one are handed over.
void DialogHost::UpdateWindowImage() {
    HWND window = window_.Get();
    ORVUE::ContainerUIObjectImpl* root = Root();
    if (!window || !root || ::IsIconic(window)) return;
    RECT rect;
    ::GetWindowRect(window, &rect);
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
    root->Paint(surface_->Graphics());
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
    ::UpdateLayeredWindowIndirect(window, &info);
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

bool DialogHost::PreTranslateMessage(MSG* msg) {
    if (msg->message >= WM_KEYFIRST && msg->message <= 0x109) return false;
    if (msg->message == kSystemCaretTimer) {
        ::PostMessageW(window_.Get(), ORVUE::ORVUM_CARETBLINK, 0, 0);
        return false;
    }
    return window_ && ::IsDialogMessageW(window_.Get(), msg);
}

void DialogHost::PostClose(UINT code) {
    if (!window_ || closed_) return;
    ownClosePosted_ = true;
    ownCloseCode_ = code;
    ::PostMessageW(window_.Get(), WM_CLOSE, code, 0);
}

void DialogHost::CloseDialog(UINT code) {
    if (closed_) return;
    CollectAtClose();
    closed_ = true;
    closeCode_ = code;
    host_.SetRoot(nullptr);
    treeOwner_ = window_.Get();
    window_.Reset();
    ::PostQuitMessage(static_cast<int>(code));
    if (callDepth_ == 0) {
        ReleaseTree();
    } else if (callDepth_ > 1) {
        TraceLine(L"the dialog closed inside one of its own calls: its objects go when that returns\r\n");
    }
}

void DialogHost::ReleaseTree() {
    HWND owner = treeOwner_ ? treeOwner_ : window_.Get();
    treeOwner_ = nullptr;
    if (owner) ORVUE::UIObjectFactory::Instance().Release(owner);
}

}  // namespace orv
