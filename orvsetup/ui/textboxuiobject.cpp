// The text box's state, setters and input: focus, capture and mouse states around the text services.
#include "ui/textboxuiobject.h"

#include <oleauto.h>

#include <cwchar>

#include "ui/txtwinhost.h"
#include "ui/uierror.h"
#include "utility/scopeguard.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace ORVUE {

namespace {

constexpr DWORD kHostStyle = ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
constexpr int kUnlimitedLength = 65536;

// One side of the client rectangle kept in proportion when the box changes size.
float Scaled(LONG part, LONG whole, int wanted) {
    return whole == 0 ? static_cast<float>(wanted)
                      : static_cast<float>(part) / static_cast<float>(whole) * static_cast<float>(wanted);
}

}  // namespace

void TextBoxUIObjectImpl::HostRelease::operator()(CTxtWinHost* host) const {
    host->Shutdown();
    host->Release();
}

TextBoxUIObjectImpl::TextBoxUIObjectImpl() = default;

TextBoxUIObjectImpl::~TextBoxUIObjectImpl() {
    if (host_ && host_->Services() && host_->Active()) host_->Services()->OnTxInPlaceDeactivate();
    background_.reset();
    host_.reset();
}

int TextBoxUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                                const wchar_t* resType) {
    if (LOWORD(resId) == 0) ThrowUIError(E_FAIL);
    background_ = ImageObject::Load(resType, resId);
    owner_ = owner;
    rect_ = RECT{left, top, right, bottom};
    return 0;
}

// The client rectangle keeps its share of the box and stays centred in it.
void TextBoxUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    const int width = right - left, height = bottom - top;
    const float clientWidth = Scaled(clrect_.right - clrect_.left, rect_.right - rect_.left, width);
    const float clientHeight = Scaled(clrect_.bottom - clrect_.top, rect_.bottom - rect_.top, height);
    const float clientLeft = (static_cast<float>(width) - clientWidth) * 0.5f + static_cast<float>(left);
    const float clientTop = (static_cast<float>(height) - clientHeight) * 0.5f + static_cast<float>(top);
    rect_ = RECT{left, top, right, bottom};
    SetClientRect(static_cast<int>(clientLeft), static_cast<int>(clientTop),
                  static_cast<int>(clientLeft + clientWidth), static_cast<int>(clientTop + clientHeight));
}

void TextBoxUIObjectImpl::SetClientRect(int left, int top, int right, int bottom) {
    clrect_ = RECT{left, top, right, bottom};
    if (host_) host_->SetClientRect(clrect_);
    NoteChange();
}

void TextBoxUIObjectImpl::CreateHost() {
    if (host_) return;
    if (!::IsWindow(owner_)) {
        orv::TraceLine(L"TextBoxUIObjectImpl::CreateHost: no owner window\r\n");
        return;
    }
    CREATESTRUCTW create = {};
    create.hwndParent = owner_;
    create.x = clrect_.left;
    create.y = clrect_.top;
    create.cx = clrect_.right - clrect_.left;
    create.cy = clrect_.bottom - clrect_.top;
    create.style = static_cast<LONG>(kHostStyle);
    host_.reset(CTxtWinHost::Create(this, create));
    if (!host_) return;
    host_->SetTransparent(true);
    host_->SetRichText(false);
    hostCreated_ = TRUE;
    host_->SetPropertyBit(TXTBIT_ALLOWBEEP, true);
}

void TextBoxUIObjectImpl::SetTextColor(WORD red, WORD green, WORD blue) {
    if (hostCreated_) host_->SetTextColor(RGB(red & 0xFF, green & 0xFF, blue & 0xFF));
}

// A point font for the screen, handed to the host as its default character format.
void TextBoxUIObjectImpl::SetFont(const wchar_t* family, int size, BOOL bold) {
    if (!hostCreated_) return;
    LOGFONTW logFont = {};
    wcsncpy(logFont.lfFaceName, family ? family : L"", LF_FACESIZE - 1);
    int dpi = 96;
    const orv::WindowDc screen(nullptr);
    if (screen.Get()) dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
    logFont.lfHeight = -::MulDiv(size * 10, dpi, 720);
    logFont.lfWeight = bold ? FW_BOLD : 0;
    logFont.lfCharSet = DEFAULT_CHARSET;
    orv::UniqueGdiObject font(::CreateFontIndirectW(&logFont));
    if (!font || !host_->SetFont(static_cast<HFONT>(font.Get())))
        orv::TraceLine(L"TextBoxUIObjectImpl::SetFont: no font \"%ls\" %d\r\n", logFont.lfFaceName, size);
}

void TextBoxUIObjectImpl::SetMaxChar(int count) {
    if (hostCreated_) host_->SetMaxLength(static_cast<DWORD>(count <= 0 ? kUnlimitedLength : count));
}

void TextBoxUIObjectImpl::SetMultiline(BOOL multiline) {
    multiline_ = multiline;
    if (!hostCreated_) return;
    host_->SetPropertyBit(TXTBIT_MULTILINE, multiline != FALSE);
    host_->SetPropertyBit(TXTBIT_WORDWRAP, multiline != FALSE);
}

void TextBoxUIObjectImpl::SetText(const wchar_t* text) {
    if (!hostCreated_) return;
    host_->Services()->TxSetText(text ? text : L"");
    NoteChange();
}

std::wstring TextBoxUIObjectImpl::GetText() {
    if (!hostCreated_) return std::wstring();
    BSTR text = nullptr;
    if (FAILED(host_->Services()->TxGetText(&text)) || !text) return std::wstring();
    const auto freeText = orv::MakeScopeExit([text] { ::SysFreeString(text); });
    return std::wstring(text, ::SysStringLen(text));
}

void TextBoxUIObjectImpl::SetVisible(BOOL visible) {
    if (!visible) {
        KillFocus();
        if (capturing_) ReleaseCapture();
    }
    visible_ = visible;
    if (hostCreated_) host_->TxWindowProc(owner_, WM_SHOWWINDOW, visible, 0);
    NoteChange();
}

void TextBoxUIObjectImpl::SetEnabled(BOOL enabled) {
    if (!enabled) {
        KillFocus();
        if (capturing_) ReleaseCapture();
    }
    SetState(enabled ? kNormal : kDisabled);
    if (hostCreated_) host_->SetDisabledLook(!enabled);
}

void TextBoxUIObjectImpl::SetState(int state) {
    if (state_ == state) return;
    state_ = state;
    NoteChange();
}

bool TextBoxUIObjectImpl::Interactive() const { return visible_ && hostCreated_ && state_ != kDisabled; }

void TextBoxUIObjectImpl::SetFocus() {
    if (!Interactive()) return;
    if (!focused_) {
        focused_ = TRUE;  // before the text services hear of it: they may ask for the focus again
        host_->TxWindowProc(owner_, WM_SETFOCUS, 0, 0);
    }
    ::SendMessageW(owner_, ORVUM_SETFOCUS, 0, reinterpret_cast<LPARAM>(static_cast<IORVBaseUIObject*>(this)));
    SetState(kHot);
}

void TextBoxUIObjectImpl::KillFocus() {
    if (!visible_ || state_ == kDisabled) return;
    if (focused_) {
        focused_ = FALSE;
        if (hostCreated_) host_->TxWindowProc(owner_, WM_KILLFOCUS, 0, 0);
    }
    ::SendMessageW(owner_, ORVUM_KILLFOCUS, 0, reinterpret_cast<LPARAM>(static_cast<IORVBaseUIObject*>(this)));
    if (caretShown_) NoteChange();
    caretShown_ = FALSE;
    SetState(kNormal);
}

void TextBoxUIObjectImpl::SetCapture() {
    if (!Interactive()) return;
    capturing_ = TRUE;
    ::SendMessageW(owner_, ORVUM_SETCAPTURE, 0, reinterpret_cast<LPARAM>(static_cast<IORVBaseUIObject*>(this)));
}

// Also when the box was disabled or hidden meanwhile: the window must not stay captured.
void TextBoxUIObjectImpl::ReleaseCapture() {
    if (!hostCreated_) return;
    capturing_ = FALSE;
    ::SendMessageW(owner_, ORVUM_RELEASECAPTURE, 0,
                   reinterpret_cast<LPARAM>(static_cast<IORVBaseUIObject*>(this)));
}

int TextBoxUIObjectImpl::OnCaptureChanged(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    capturing_ = FALSE;
    if (hostCreated_) host_->TxWindowProc(owner_, WM_CAPTURECHANGED, 0, 0);
    return 0;
}

LRESULT TextBoxUIObjectImpl::ToTextServices(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    const LRESULT result = host_->TxWindowProc(owner_, msg, wParam, lParam);
    handled = result != static_cast<LRESULT>(S_MSG_KEY_IGNORED);
    return result;
}

LRESULT TextBoxUIObjectImpl::OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Interactive()) return 0;
    pressed_ = TRUE;
    return ToTextServices(msg, wParam, lParam, handled);
}

LRESULT TextBoxUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Interactive()) return 0;
    pressed_ = FALSE;
    return ToTextServices(msg, wParam, lParam, handled);
}

LRESULT TextBoxUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Interactive()) return 0;
    mouseInside_ = TRUE;
    SetState(kHot);
    return ToTextServices(msg, wParam, lParam, handled);
}

LRESULT TextBoxUIObjectImpl::OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Interactive() || !mouseInside_) return 0;
    mouseInside_ = FALSE;
    SetState(focused_ ? kHot : kNormal);
    return ToTextServices(msg, wParam, lParam, handled);
}

LRESULT TextBoxUIObjectImpl::OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Interactive()) return 0;
    return ToTextServices(msg, wParam, lParam, handled);
}

int TextBoxUIObjectImpl::OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled, int x, int y) {
    handled = FALSE;
    if (!Interactive()) return 0;
    const RECT text = host_->TextRect();
    if (!::PtInRect(&text, POINT{x, y})) return 0;
    const orv::WindowDc dc(owner_);
    host_->Services()->OnTxSetCursor(DVASPECT_CONTENT, 0, nullptr, nullptr, dc.Get(), nullptr,
                                     host_->Active() ? nullptr : &text, x, y);
    handled = TRUE;
    return 0;
}

LRESULT TextBoxUIObjectImpl::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_IME_COMPOSITION) {
        PlaceComposition();
        return 0;  // the composed text comes back as character messages
    }
    if (msg == ORVUM_CARETBLINK) {
        if (focused_) {
            caretShown_ = !caretShown_;
            NoteChange();
        }
        return 1;
    }
    if (!Interactive()) return 0;
    const LRESULT result = host_->TxWindowProc(owner_, msg, wParam, lParam);
    return result == static_cast<LRESULT>(S_MSG_KEY_IGNORED) ? 0 : result;
}

// The input method's composition window goes where the caret is.
void TextBoxUIObjectImpl::PlaceComposition() {
    HIMC context = ::ImmGetContext(owner_);
    if (!context) return;
    const auto release = orv::MakeScopeExit([this, context] { ::ImmReleaseContext(owner_, context); });
    COMPOSITIONFORM form = {};
    form.dwStyle = CFS_POINT;
    ::GetCaretPos(&form.ptCurrentPos);
    ::ImmSetCompositionWindow(context, &form);
}

}  // namespace ORVUE
