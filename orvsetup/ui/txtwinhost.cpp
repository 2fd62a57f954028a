// The text host's creation, lifetime and formats, and its answers to the text services.
#include "ui/txtwinhost.h"

#include <cwchar>
#include <string>

#include "ui/orvbaseuiobject.h"
#include "ui/textboxuiobject.h"
#include "utility/scopeguard.h"
#include "utility/systemlibrary.h"
#include "utility/trace.h"

#define ORV_TRACE_SOURCE L"txtwinhost.cpp"

namespace ORVUE {

const IID kIIDTextServices = {0x8d33f740, 0xcf58, 0x11ce, {0xa8, 0x9d, 0x00, 0xaa, 0x00, 0x6c, 0xad, 0xc5}};
const IID kIIDTextHost = {0xc5bdd8d0, 0xd26e, 0x11ce, {0xa8, 0x9e, 0x00, 0xaa, 0x00, 0x6c, 0xad, 0xc5}};

namespace {

constexpr int kTextInset = 5;
constexpr LONG kHimetricPerInch = 2540;

LONG PixelsToHimetric(LONG pixels, int perInch) { return MulDiv(pixels, kHimetricPerInch, perInch); }

// The text services' timers run under window timer ids of their own, far above the dialogs' ids, and
// arrive at TimerProc instead of the dialog's window procedure.
UINT_PTR g_nextTimerId = 0x10000000;
std::map<UINT_PTR, CTxtWinHost*>& TimerOwners() {
    static std::map<UINT_PTR, CTxtWinHost*> owners;
    return owners;
}

const wchar_t* g_libraryName = L"Riched20.dll";

}  // namespace

void CTxtWinHost::SetTextServicesLibrary(const wchar_t* fileName) {
    g_libraryName = fileName ? fileName : L"Riched20.dll";
}

CTxtWinHost* CTxtWinHost::Create(TextBoxUIObjectImpl* box, const CREATESTRUCTW& create) {
    auto* host = new CTxtWinHost(box, create);
    if (host->Start(create)) return host;
    host->Shutdown();
    host->Release();
    return nullptr;
}

CTxtWinHost::CTxtWinHost(TextBoxUIObjectImpl* box, const CREATESTRUCTW& create)
    : box_(box), owner_(create.hwndParent), style_(static_cast<DWORD>(create.style)) {
    // Word wrap only when the text may not scroll sideways; beeps until told otherwise stay off.
    if (!(style_ & (WS_HSCROLL | ES_AUTOHSCROLL))) extraBits_ |= TXTBIT_WORDWRAP;
    if (!(style_ & ES_NOHIDESEL)) extraBits_ |= TXTBIT_HIDESELECTION;
}

CTxtWinHost::~CTxtWinHost() { Shutdown(); }

bool CTxtWinHost::Start(const CREATESTRUCTW& create) {
    const orv::WindowDc screen(nullptr);
    if (screen.Get()) {
        dpiX_ = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
        dpiY_ = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }
    InitFormats();
    client_ = RECT{create.x, create.y, create.x + create.cx, create.y + create.cy};
    SetExtentFromClient();
    if (!LoadTextServices()) return false;
    if (create.lpszName && *create.lpszName && FAILED(services_->TxSetText(create.lpszName))) {
        orv::TraceLine(L"CTxtWinHost: the initial text was refused\r\n");
        return false;
    }
    const RECT text = TextRect();
    if (FAILED(services_->OnTxInPlaceActivate(&text))) {
        orv::TraceLine(L"CTxtWinHost: the text services could not be activated\r\n");
        return false;
    }
    inPlaceActive_ = true;
    if (!(style_ & ES_DISABLENOSCROLL)) {
        const LONG_PTR windowStyle = ::GetWindowLongPtrW(owner_, GWL_STYLE);
        ::SetWindowLongPtrW(owner_, GWL_STYLE, windowStyle & ~static_cast<LONG_PTR>(WS_HSCROLL | WS_VSCROLL));
    }
    if (!(style_ & ES_READONLY)) RegisterDropTarget();
    return true;
}

// The text services from the system folder's rich-edit library, never from the search path.
bool CTxtWinHost::LoadTextServices() {
    module_.Reset(orv::LoadSystemLibrary(g_libraryName));
    if (!module_) {
        ORV_FAILURE_TRAILER(L"CTxtWinHost: the text services' library could not be loaded\r\n", ::GetLastError());
        return false;
    }
    auto create = reinterpret_cast<PCreateTextServices>(
        reinterpret_cast<void*>(::GetProcAddress(module_.Get(), "CreateTextServices")));
    if (!create) {
        ORV_FAILURE_TRAILER(L"CTxtWinHost: the library has no CreateTextServices\r\n", ::GetLastError());
        return false;
    }
    orv::ComRef<IUnknown> unknown;
    HRESULT hr = create(nullptr, this, reinterpret_cast<IUnknown**>(unknown.Put()));
    if (SUCCEEDED(hr) && unknown) hr = unknown->QueryInterface(kIIDTextServices, services_.Put());
    if (FAILED(hr) || !services_) {
        orv::TraceLine(L"CTxtWinHost: no text services (0x%08lx)\r\n", static_cast<unsigned long>(hr));
        services_.Reset();
        return false;
    }
    return true;
}

void CTxtWinHost::Shutdown() {
    for (const auto& timer : timers_) {
        ::KillTimer(owner_, timer.second);
        TimerOwners().erase(timer.second);
    }
    timers_.clear();
    RevokeDropTarget();
    dropTarget_.Reset();
    if (services_ && inPlaceActive_) services_->OnTxInPlaceDeactivate();
    inPlaceActive_ = false;
    services_.Reset();
    module_.Reset();
    box_ = nullptr;
}

// Default formats: the stock system font in the window-text colour, left-aligned paragraphs with one tab
// stop every half inch.
void CTxtWinHost::InitFormats() {
    charFormat_.cbSize = sizeof(charFormat_);
    SetFont(static_cast<HFONT>(::GetStockObject(SYSTEM_FONT)));
    charFormat_.dwMask |= CFM_COLOR;
    charFormat_.crTextColor = ::GetSysColor(COLOR_WINDOWTEXT);

    paraFormat_.cbSize = sizeof(paraFormat_);
    paraFormat_.dwMask = PFM_ALL;
    paraFormat_.wAlignment = PFA_LEFT;
    if (style_ & ES_CENTER) paraFormat_.wAlignment = PFA_CENTER;
    if (style_ & ES_RIGHT) paraFormat_.wAlignment = PFA_RIGHT;
    paraFormat_.cTabCount = 1;
    paraFormat_.rgxTabs[0] = 720;
}

bool CTxtWinHost::SetFont(HFONT font) {
    LOGFONTW logFont = {};
    if (!font || ::GetObjectW(font, sizeof(logFont), &logFont) == 0) return false;
    charFormat_.dwMask |= CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_CHARSET | CFM_FACE;
    const LONG height = logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
    charFormat_.yHeight = MulDiv(height, 1440, dpiY_);
    const DWORD styles = CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT;
    charFormat_.dwEffects &= ~styles;
    if (logFont.lfWeight >= FW_BOLD) charFormat_.dwEffects |= CFE_BOLD;
    if (logFont.lfItalic) charFormat_.dwEffects |= CFE_ITALIC;
    if (logFont.lfUnderline) charFormat_.dwEffects |= CFE_UNDERLINE;
    if (logFont.lfStrikeOut) charFormat_.dwEffects |= CFE_STRIKEOUT;
    charFormat_.bCharSet = logFont.lfCharSet;
    charFormat_.bPitchAndFamily = logFont.lfPitchAndFamily;
    wcsncpy(charFormat_.szFaceName, logFont.lfFaceName, LF_FACESIZE - 1);
    charFormat_.szFaceName[LF_FACESIZE - 1] = L'\0';
    Announce(TXTBIT_CHARFORMATCHANGE);
    return true;
}

void CTxtWinHost::SetTextColor(COLORREF colour) {
    charFormat_.dwMask |= CFM_COLOR;
    charFormat_.dwEffects &= ~CFE_AUTOCOLOR;
    charFormat_.crTextColor = colour;
    Announce(TXTBIT_CHARFORMATCHANGE);
}

// Disabled text is drawn in the automatic colour, which this host answers with the grey-text colour.
void CTxtWinHost::SetDisabledLook(bool disabled) {
    disabled_ = disabled;
    charFormat_.dwMask |= CFM_DISABLED | CFM_COLOR;
    if (disabled) {
        charFormat_.dwEffects |= CFE_DISABLED | CFE_AUTOCOLOR;
    } else {
        charFormat_.dwEffects &= ~(CFE_DISABLED | CFE_AUTOCOLOR);
    }
    Announce(TXTBIT_CHARFORMATCHANGE);
}

void CTxtWinHost::SetMaxLength(DWORD length) {
    maxLength_ = length;
    Announce(TXTBIT_MAXLENGTHCHANGE);
}

void CTxtWinHost::SetTransparent(bool transparent) {
    transparent_ = transparent;
    Announce(TXTBIT_BACKSTYLECHANGE);
}

void CTxtWinHost::SetRichText(bool rich) {
    richText_ = rich;
    if (services_) services_->OnTxPropertyBitsChange(TXTBIT_RICHTEXT, rich ? TXTBIT_RICHTEXT : 0);
}

void CTxtWinHost::SetPropertyBit(DWORD bit, bool on) {
    if (bit == TXTBIT_MULTILINE) {
        style_ = on ? (style_ | ES_MULTILINE) : (style_ & ~ES_MULTILINE);
    } else {
        extraBits_ = on ? (extraBits_ | bit) : (extraBits_ & ~bit);
    }
    if (services_) services_->OnTxPropertyBitsChange(bit, on ? bit : 0);
    NoteChange();
}

RECT CTxtWinHost::TextRect() const {
    RECT text = client_;
    ::InflateRect(&text, -kTextInset, -kTextInset);
    return text;
}

void CTxtWinHost::SetClientRect(const RECT& rect) {
    if (::EqualRect(&rect, &client_)) return;
    client_ = rect;
    SetExtentFromClient();
    Announce(TXTBIT_CLIENTRECTCHANGE | TXTBIT_EXTENTCHANGE);
}

void CTxtWinHost::SetExtentFromClient() {
    extent_.cx = PixelsToHimetric(client_.right - client_.left - 2 * kTextInset, dpiX_);
    extent_.cy = PixelsToHimetric(client_.bottom - client_.top - 2 * kTextInset, dpiY_);
}

// Tells the text services that host answers changed. The character format and the length limit are
// also handed over by message, since not every implementation re-reads them on the notice alone.
void CTxtWinHost::Announce(DWORD bits) {
    if (!services_) return;
    services_->OnTxPropertyBitsChange(bits, bits);
    LRESULT ignored = 0;
    if (bits & TXTBIT_CHARFORMATCHANGE)
        services_->TxSendMessage(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&charFormat_), &ignored);
    if (bits & TXTBIT_MAXLENGTHCHANGE)
        services_->TxSendMessage(EM_EXLIMITTEXT, 0, static_cast<LPARAM>(maxLength_), &ignored);
    NoteChange();
}

void CTxtWinHost::RegisterDropTarget() {
    if (dropRegistered_ || !services_) return;
    if (!dropTarget_ && FAILED(services_->TxGetDropTarget(reinterpret_cast<IDropTarget**>(dropTarget_.Put())))) {
        dropTarget_.Reset();
        return;
    }
    if (dropTarget_ && SUCCEEDED(::RegisterDragDrop(owner_, dropTarget_.Get()))) dropRegistered_ = true;
}

void CTxtWinHost::RevokeDropTarget() {
    if (dropRegistered_) ::RevokeDragDrop(owner_);
    dropRegistered_ = false;
}

// ---- IUnknown ----

STDMETHODIMP CTxtWinHost::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIIDTextHost)) {
        *object = static_cast<ITextHost*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CTxtWinHost::AddRef() { return static_cast<ULONG>(++refs_); }

STDMETHODIMP_(ULONG) CTxtWinHost::Release() {
    const LONG left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// ---- ITextHost: the owner window's services ----

HDC CTxtWinHost::TxGetDC() { return ::GetDC(owner_); }
INT CTxtWinHost::TxReleaseDC(HDC hdc) { return ::ReleaseDC(owner_, hdc); }
WINBOOL CTxtWinHost::TxShowScrollBar(INT bar, WINBOOL show) { return ::ShowScrollBar(owner_, bar, show); }
WINBOOL CTxtWinHost::TxEnableScrollBar(INT flags, INT arrows) {
    return ::EnableScrollBar(owner_, static_cast<UINT>(flags), static_cast<UINT>(arrows));
}
WINBOOL CTxtWinHost::TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL redraw) {
    return ::SetScrollRange(owner_, bar, minPos, maxPos, redraw);
}
WINBOOL CTxtWinHost::TxSetScrollPos(INT bar, INT pos, WINBOOL redraw) {
    return ::SetScrollPos(owner_, bar, pos, redraw) != 0;
}

// The dialog repaints everything on its own timer; a change only has to be noted.
void CTxtWinHost::TxInvalidateRect(LPCRECT rect, WINBOOL mode) {
    ::InvalidateRect(owner_, rect, mode);
    NoteChange();
}
void CTxtWinHost::TxViewChange(WINBOOL update) {
    ::UpdateWindow(owner_);
    NoteChange();
}

// The system caret stays invisible on a layered window; the text box draws its own where it is.
WINBOOL CTxtWinHost::TxCreateCaret(HBITMAP bitmap, INT width, INT height) {
    caretHeight_ = height;
    caretVisible_ = false;

    return ::CreateCaret(owner_, bitmap, width, height);
}
WINBOOL CTxtWinHost::TxShowCaret(WINBOOL show) {
    caretVisible_ = show != FALSE;
    NoteChange();
    return show ? ::ShowCaret(owner_) : ::HideCaret(owner_);
}
WINBOOL CTxtWinHost::TxSetCaretPos(INT x, INT y) {
    NoteChange();
    return ::SetCaretPos(x, y);
}

WINBOOL CTxtWinHost::TxSetTimer(UINT id, UINT timeout) {
    TxKillTimer(id);
    const UINT_PTR windowId = g_nextTimerId++;
    if (!::SetTimer(owner_, windowId, timeout, &CTxtWinHost::TimerProc)) return FALSE;
    timers_[id] = windowId;
    TimerOwners()[windowId] = this;
    return TRUE;
}

void CTxtWinHost::TxKillTimer(UINT id) {
    const auto found = timers_.find(id);
    if (found == timers_.end()) return;
    ::KillTimer(owner_, found->second);
    TimerOwners().erase(found->second);
    timers_.erase(found);
}

void CALLBACK CTxtWinHost::TimerProc(HWND, UINT, UINT_PTR windowId, DWORD) {
    const auto owner = TimerOwners().find(windowId);
    if (owner == TimerOwners().end()) return;
    CTxtWinHost* host = owner->second;
    for (const auto& timer : host->timers_) {
        if (timer.second == windowId && host->services_) {
            LRESULT ignored = 0;
            host->services_->TxSendMessage(WM_TIMER, timer.first, 0, &ignored);
            return;
        }
    }
}

void CTxtWinHost::TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update, LPRECT updateRect,
                                   UINT flags) {
    ::ScrollWindowEx(owner_, dx, dy, scroll, clip, update, updateRect, flags);
}

void CTxtWinHost::TxSetCapture(WINBOOL capture) {
    if (!box_) return;
    if (capture) {
        box_->SetCapture();
    } else {
        box_->ReleaseCapture();
    }
}

void CTxtWinHost::TxSetFocus() {
    if (box_) box_->SetFocus();
}

void CTxtWinHost::TxSetCursor(HCURSOR cursor, WINBOOL text) { ::SetCursor(cursor); }
WINBOOL CTxtWinHost::TxScreenToClient(LPPOINT point) { return ::ScreenToClient(owner_, point); }
WINBOOL CTxtWinHost::TxClientToScreen(LPPOINT point) { return ::ClientToScreen(owner_, point); }
HRESULT CTxtWinHost::TxActivate(LONG* oldState) { return S_OK; }
HRESULT CTxtWinHost::TxDeactivate(LONG newState) { return S_OK; }

// ---- ITextHost: the host's answers ----

HRESULT CTxtWinHost::TxGetClientRect(LPRECT rect) {
    if (!rect) return E_INVALIDARG;
    *rect = TextRect();
    return S_OK;
}

HRESULT CTxtWinHost::TxGetViewInset(LPRECT rect) {
    if (!rect) return E_INVALIDARG;
    *rect = viewInset_;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetCharFormat(const CHARFORMATW** format) {
    *format = reinterpret_cast<const CHARFORMATW*>(&charFormat_);
    return S_OK;
}

HRESULT CTxtWinHost::TxGetParaFormat(const PARAFORMAT** format) {
    *format = &paraFormat_;
    return S_OK;
}

COLORREF CTxtWinHost::TxGetSysColor(int index) {
    if (index == COLOR_WINDOW && customBackground_) return background_;
    if (index == COLOR_WINDOWTEXT && disabled_) return ::GetSysColor(COLOR_GRAYTEXT);
    return ::GetSysColor(index);
}

HRESULT CTxtWinHost::TxGetBackStyle(TXTBACKSTYLE* style) {
    *style = transparent_ ? TXTBACK_TRANSPARENT : TXTBACK_OPAQUE;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetMaxLength(DWORD* length) {
    *length = maxLength_;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetScrollBars(DWORD* scrollBars) {
    *scrollBars = style_ & (WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_DISABLENOSCROLL);
    return S_OK;
}

HRESULT CTxtWinHost::TxGetPasswordChar(TCHAR* ch) {
    *ch = passwordChar_;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetAcceleratorPos(LONG* pos) {
    *pos = -1;
    return S_OK;
}

HRESULT CTxtWinHost::TxGetExtent(LPSIZEL extent) {
    *extent = extent_;
    return S_OK;
}

HRESULT CTxtWinHost::OnTxCharFormatChange(const CHARFORMATW* format) { return S_OK; }

HRESULT CTxtWinHost::OnTxParaFormatChange(const PARAFORMAT* format) {
    if (!format) return E_INVALIDARG;
    const UINT size = format->cbSize < sizeof(paraFormat_) ? format->cbSize : sizeof(paraFormat_);
    memcpy(&paraFormat_, format, size);
    paraFormat_.cbSize = sizeof(paraFormat_);
    return S_OK;
}

HRESULT CTxtWinHost::TxGetPropertyBits(DWORD mask, DWORD* bits) {
    DWORD all = extraBits_;
    if (richText_) all |= TXTBIT_RICHTEXT;
    if (style_ & ES_MULTILINE) all |= TXTBIT_MULTILINE;
    if (style_ & ES_READONLY) all |= TXTBIT_READONLY;
    if (style_ & ES_PASSWORD) all |= TXTBIT_USEPASSWORD;
    *bits = all & mask;
    return S_OK;
}

// A resize request becomes the new client rectangle around the requested text size.
HRESULT CTxtWinHost::TxNotify(DWORD notify, void* data) {
    if (notify == EN_REQUESTRESIZE && data) {
        const RECT& wanted = static_cast<REQRESIZE*>(data)->rc;
        const RECT text = TextRect();
        client_ = RECT{text.left - kTextInset, text.top - kTextInset, text.left + wanted.right + kTextInset,
                       text.top + wanted.bottom + kTextInset};
        SetExtentFromClient();
    }
    return S_OK;
}

HIMC CTxtWinHost::TxImmGetContext() { return ::ImmGetContext(owner_); }
void CTxtWinHost::TxImmReleaseContext(HIMC context) { ::ImmReleaseContext(owner_, context); }

HRESULT CTxtWinHost::TxGetSelectionBarWidth(LONG* width) {
    *width = selectionBarWidth_;
    return S_OK;
}

}  // namespace ORVUE
