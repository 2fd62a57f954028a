// The text host's message entry: the messages it answers itself, everything else for the text services.
#include <cwchar>

#include "ui/orvbaseuiobject.h"
#include "ui/txtwinhost.h"

namespace ORVUE {

namespace {

constexpr DWORD kUnlimitedLength = 65536;

// Edit options that map to property bits of the host.
struct OptionBit {
    DWORD option;
    DWORD bit;
};
constexpr OptionBit kOptionBits[] = {
    {ECO_AUTOWORDSELECTION, TXTBIT_AUTOWORDSEL},
    {ECO_SAVESEL, TXTBIT_SAVESELECTION},
    {ECO_VERTICAL, TXTBIT_VERTICAL},
};
// Edit options kept as edit styles.
constexpr DWORD kOptionStyles = ECO_AUTOVSCROLL | ECO_AUTOHSCROLL | ECO_NOHIDESEL | ECO_READONLY | ECO_WANTRETURN;

}  // namespace

LRESULT CTxtWinHost::TxWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!services_) return 0;
    switch (msg) {
    case WM_SETTEXT: return OnSetText(reinterpret_cast<const wchar_t*>(lParam));
    case WM_SIZE: return OnSize(lParam);
    case WM_SHOWWINDOW: return OnShowWindow(wParam);
    case WM_SYSCOLORCHANGE: return OnSysColorChange(wParam, lParam);
    case WM_SETCURSOR: return OnSetCursorMessage();
    case WM_SETFONT: return OnSetFont(reinterpret_cast<HFONT>(wParam));
    case WM_WINDOWPOSCHANGING:
    case WM_NCCALCSIZE: return 0;  // there is no window of the host's own to place
    case EM_GETRECT: return OnGetRect(reinterpret_cast<RECT*>(lParam));
    case EM_SETRECT: return OnSetRect(reinterpret_cast<const RECT*>(lParam));
    case EM_SETREADONLY: return OnSetReadOnly(wParam != 0);
    case EM_LIMITTEXT: return OnLimitText(static_cast<LPARAM>(wParam));
    case EM_EXLIMITTEXT: return OnLimitText(lParam);
    case EM_GETEVENTMASK: return static_cast<LRESULT>(eventMask_);
    case EM_SETEVENTMASK: return OnSetEventMask(wParam, lParam);
    case EM_HIDESELECTION:
        SetPropertyBit(TXTBIT_HIDESELECTION, wParam != 0);
        return 0;
    case EM_SETBKGNDCOLOR: return OnSetBackgroundColour(wParam, static_cast<COLORREF>(lParam));
    case EM_SETCHARFORMAT: return OnSetCharFormat(wParam, reinterpret_cast<const CHARFORMAT2W*>(lParam));
    case EM_SETPARAFORMAT: return OnSetParaFormat(reinterpret_cast<const PARAFORMAT2*>(lParam));
    case EM_SETOPTIONS: return OnSetOptions(wParam, lParam);
    case EM_GETOPTIONS: return OnGetOptions();
    default: return Forward(msg, wParam, lParam);
    }
}

// The text services' answer, or the window's default handling when they leave the message alone.
LRESULT CTxtWinHost::Forward(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    const HRESULT hr = services_->TxSendMessage(msg, wParam, lParam, &result);
    if (hr == S_FALSE) return ::DefWindowProcW(owner_, msg, wParam, lParam);
    if (hr == S_MSG_KEY_IGNORED) return hr;
    return result;
}

// A text longer than the limit raises the limit, so that it is never cut.
LRESULT CTxtWinHost::OnSetText(const wchar_t* text) {
    if (!text) text = L"";
    const size_t length = wcslen(text);
    if (length > maxLength_) SetMaxLength(static_cast<DWORD>(length));
    const HRESULT hr = services_->TxSetText(text);
    NoteChange();
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

LRESULT CTxtWinHost::OnSize(LPARAM lParam) {
    SetClientRect(RECT{client_.left, client_.top, client_.left + LOWORD(lParam), client_.top + HIWORD(lParam)});
    return 0;
}

LRESULT CTxtWinHost::OnShowWindow(WPARAM show) {
    if (show && !inPlaceActive_) {
        const RECT text = TextRect();
        inPlaceActive_ = SUCCEEDED(services_->OnTxInPlaceActivate(&text));
    } else if (!show && inPlaceActive_) {
        services_->OnTxInPlaceDeactivate();
        inPlaceActive_ = false;
    }
    NoteChange();
    return 0;
}

LRESULT CTxtWinHost::OnSysColorChange(WPARAM wParam, LPARAM lParam) {
    Announce(TXTBIT_CHARFORMATCHANGE);
    LRESULT ignored = 0;
    services_->TxSendMessage(WM_SYSCOLORCHANGE, wParam, lParam, &ignored);
    return 0;
}

LRESULT CTxtWinHost::OnSetCursorMessage() {
    POINT point;
    if (!::GetCursorPos(&point) || !::ScreenToClient(owner_, &point)) return FALSE;
    const orv::WindowDc dc(owner_);
    const RECT text = TextRect();
    services_->OnTxSetCursor(DVASPECT_CONTENT, 0, nullptr, nullptr, dc.Get(), nullptr,
                             inPlaceActive_ ? nullptr : &text, point.x, point.y);
    return TRUE;
}

LRESULT CTxtWinHost::OnSetFont(HFONT font) {
    SetFont(font);
    return 0;
}

LRESULT CTxtWinHost::OnGetRect(RECT* rect) {
    if (!rect) return 0;
    *rect = TextRect();
    rect->left += MulDiv(viewInset_.left, dpiX_, 2540);
    rect->top += MulDiv(viewInset_.top, dpiY_, 2540);
    rect->right -= MulDiv(viewInset_.right, dpiX_, 2540);
    rect->bottom -= MulDiv(viewInset_.bottom, dpiY_, 2540);
    return 0;
}

// The formatting rectangle is kept as an inset from the text rectangle; none resets it.
LRESULT CTxtWinHost::OnSetRect(const RECT* rect) {
    viewInset_ = RECT{};
    if (rect) {
        const RECT text = TextRect();
        viewInset_.left = MulDiv(rect->left > text.left ? rect->left - text.left : 0, 2540, dpiX_);
        viewInset_.top = MulDiv(rect->top > text.top ? rect->top - text.top : 0, 2540, dpiY_);
        viewInset_.right = MulDiv(text.right > rect->right ? text.right - rect->right : 0, 2540, dpiX_);
        viewInset_.bottom = MulDiv(text.bottom > rect->bottom ? text.bottom - rect->bottom : 0, 2540, dpiY_);
    }
    Announce(TXTBIT_VIEWINSETCHANGE);
    return 0;
}

LRESULT CTxtWinHost::OnSetReadOnly(bool readOnly) {
    style_ = readOnly ? (style_ | ES_READONLY) : (style_ & ~ES_READONLY);
    if (readOnly) {
        RevokeDropTarget();
    } else {
        RegisterDropTarget();
    }
    services_->OnTxPropertyBitsChange(TXTBIT_READONLY, readOnly ? TXTBIT_READONLY : 0);
    NoteChange();
    return TRUE;
}

LRESULT CTxtWinHost::OnLimitText(LPARAM limit) {
    SetMaxLength(limit <= 0 ? kUnlimitedLength : static_cast<DWORD>(limit));
    return 0;
}

LRESULT CTxtWinHost::OnSetEventMask(WPARAM wParam, LPARAM mask) {
    const DWORD previous = eventMask_;
    eventMask_ = static_cast<DWORD>(mask);
    LRESULT ignored = 0;
    services_->TxSendMessage(EM_SETEVENTMASK, wParam, mask, &ignored);
    return static_cast<LRESULT>(previous);
}

LRESULT CTxtWinHost::OnSetBackgroundColour(WPARAM useSystem, COLORREF colour) {
    const COLORREF previous = TxGetSysColor(COLOR_WINDOW);
    customBackground_ = useSystem == 0;
    if (customBackground_) background_ = colour;
    Announce(TXTBIT_BACKSTYLECHANGE);
    return static_cast<LRESULT>(previous);
}

// The plain text has one format: what the message sets becomes the default.
LRESULT CTxtWinHost::OnSetCharFormat(WPARAM scope, const CHARFORMAT2W* format) {
    if (!format || format->cbSize < sizeof(CHARFORMATW)) return FALSE;
    const DWORD mask = format->dwMask;
    const DWORD effects = CFM_EFFECTS & mask;  // each CFM_ effect bit equals its CFE_ bit
    charFormat_.dwEffects = (charFormat_.dwEffects & ~effects) | (format->dwEffects & effects);
    if (mask & CFM_SIZE) charFormat_.yHeight = format->yHeight;
    if (mask & CFM_OFFSET) charFormat_.yOffset = format->yOffset;
    if (mask & CFM_COLOR) charFormat_.crTextColor = format->crTextColor;
    if (mask & CFM_CHARSET) charFormat_.bCharSet = format->bCharSet;
    if (mask & CFM_FACE) {
        wcsncpy(charFormat_.szFaceName, format->szFaceName, LF_FACESIZE - 1);
        charFormat_.szFaceName[LF_FACESIZE - 1] = L'\0';
        charFormat_.bPitchAndFamily = format->bPitchAndFamily;
    }
    charFormat_.dwMask |= mask & (CFM_EFFECTS | CFM_SIZE | CFM_OFFSET | CFM_COLOR | CFM_CHARSET | CFM_FACE);
    Announce(TXTBIT_CHARFORMATCHANGE);
    return TRUE;
}

LRESULT CTxtWinHost::OnSetParaFormat(const PARAFORMAT2* format) {
    if (!format || format->cbSize < sizeof(PARAFORMAT)) return FALSE;
    if (format->dwMask & PFM_ALIGNMENT) paraFormat_.wAlignment = format->wAlignment;
    if (format->dwMask & PFM_TABSTOPS) {
        paraFormat_.cTabCount = format->cTabCount > MAX_TAB_STOPS ? MAX_TAB_STOPS : format->cTabCount;
        memcpy(paraFormat_.rgxTabs, format->rgxTabs, sizeof(LONG) * static_cast<size_t>(paraFormat_.cTabCount));
    }
    if (format->dwMask & PFM_STARTINDENT) paraFormat_.dxStartIndent = format->dxStartIndent;
    if (format->dwMask & PFM_RIGHTINDENT) paraFormat_.dxRightIndent = format->dxRightIndent;
    if (format->dwMask & PFM_OFFSET) paraFormat_.dxOffset = format->dxOffset;
    Announce(TXTBIT_PARAFORMATCHANGE);
    LRESULT ignored = 0;
    services_->TxSendMessage(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paraFormat_), &ignored);
    return TRUE;
}

LRESULT CTxtWinHost::OnSetOptions(WPARAM operation, LPARAM options) {
    DWORD current = static_cast<DWORD>(OnGetOptions());
    const DWORD given = static_cast<DWORD>(options);
    switch (operation) {
    case ECOOP_SET: current = given; break;
    case ECOOP_OR: current |= given; break;
    case ECOOP_AND: current &= given; break;
    case ECOOP_XOR: current ^= given; break;
    default: return static_cast<LRESULT>(current);
    }
    for (const OptionBit& option : kOptionBits) SetPropertyBit(option.bit, (current & option.option) != 0);
    if (((style_ ^ current) & ES_READONLY) != 0) OnSetReadOnly((current & ES_READONLY) != 0);
    if (((style_ ^ current) & ES_NOHIDESEL) != 0) SetPropertyBit(TXTBIT_HIDESELECTION, !(current & ES_NOHIDESEL));
    style_ = (style_ & ~kOptionStyles) | (current & kOptionStyles);
    return static_cast<LRESULT>(OnGetOptions());
}

LRESULT CTxtWinHost::OnGetOptions() const {
    DWORD options = style_ & kOptionStyles;
    for (const OptionBit& option : kOptionBits)
        if (extraBits_ & option.bit) options |= option.option;
    return static_cast<LRESULT>(options);
}

}  // namespace ORVUE
