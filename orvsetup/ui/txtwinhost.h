// The host of the windowless rich-edit text services behind a text box: answers the text services'
// questions against the dialog window and is the text box's entry for window messages.
#pragma once

#include <windows.h>
#include <imm.h>
#include <ole2.h>
#include <richedit.h>
#include <textserv.h>

#include <map>

#include "utility/uniquehandle.h"

// The text services call the host's methods the member-function way on 32-bit x86 (`this` in ECX, the
// callee pops its arguments), which is what GCC uses for member functions there; 64-bit has one
// convention. Spelled out so that no compiler option can change it.
#if defined(__i386__)
#define ORV_TXHOST_CALL __thiscall
#else
#define ORV_TXHOST_CALL
#endif

namespace ORVUE {

class TextBoxUIObjectImpl;

// The interface identities of the text services and their host (MinGW declares them but no library
// defines them).
extern const IID kIIDTextServices;
extern const IID kIIDTextHost;

// The message entry of a text host: what a window procedure would receive.
class ITextEditControl : public IUnknown {
public:
    virtual LRESULT STDMETHODCALLTYPE TxWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};

class CTxtWinHost final : public ITextHost, public ITextEditControl {
public:
    // Creates a host with one reference, its text services active in place on the creation record's
    // rectangle; null (with a trace line) when the text services cannot be made or started.
    static CTxtWinHost* Create(TextBoxUIObjectImpl* box, const CREATESTRUCTW& create);

    // The file in the system folder the text services come from: Riched20.dll unless a test names
    // another; null restores it.
    static void SetTextServicesLibrary(const wchar_t* fileName);

    // Drops drag and drop, deactivates and releases the text services and frees their module; the host
    // answers harmlessly afterwards. The text box calls it before it gives up its reference.
    void Shutdown();

    ITextServices* Services() const { return services_.Get(); }
    bool Active() const { return inPlaceActive_; }
    RECT ClientRect() const { return client_; }
    // The rectangle the text is laid out in: the client rectangle inset by 5 pixels on every side.
    RECT TextRect() const;
    void SetClientRect(const RECT& rect);

    void SetTransparent(bool transparent);
    void SetRichText(bool rich);
    void SetPropertyBit(DWORD bit, bool on);
    void SetTextColor(COLORREF colour);
    void SetDisabledLook(bool disabled);
    // Copies the font into the default character format; false when it is no font.
    bool SetFont(HFONT font);
    void SetMaxLength(DWORD length);
    DWORD MaxLength() const { return maxLength_; }
    // The caret as the text services last shaped and showed it.
    bool CaretVisible() const { return caretVisible_; }
    int CaretHeight() const { return caretHeight_; }

    // IUnknown, for both interfaces.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // ITextEditControl
    LRESULT STDMETHODCALLTYPE TxWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    // ITextHost
    HDC ORV_TXHOST_CALL TxGetDC() override;
    INT ORV_TXHOST_CALL TxReleaseDC(HDC hdc) override;
    WINBOOL ORV_TXHOST_CALL TxShowScrollBar(INT bar, WINBOOL show) override;
    WINBOOL ORV_TXHOST_CALL TxEnableScrollBar(INT flags, INT arrows) override;
    WINBOOL ORV_TXHOST_CALL TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL redraw) override;
    WINBOOL ORV_TXHOST_CALL TxSetScrollPos(INT bar, INT pos, WINBOOL redraw) override;
    void ORV_TXHOST_CALL TxInvalidateRect(LPCRECT rect, WINBOOL mode) override;
    void ORV_TXHOST_CALL TxViewChange(WINBOOL update) override;
    WINBOOL ORV_TXHOST_CALL TxCreateCaret(HBITMAP bitmap, INT width, INT height) override;
    WINBOOL ORV_TXHOST_CALL TxShowCaret(WINBOOL show) override;
    WINBOOL ORV_TXHOST_CALL TxSetCaretPos(INT x, INT y) override;
    WINBOOL ORV_TXHOST_CALL TxSetTimer(UINT id, UINT timeout) override;
    void ORV_TXHOST_CALL TxKillTimer(UINT id) override;
    void ORV_TXHOST_CALL TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update,
                                          LPRECT updateRect, UINT flags) override;
    void ORV_TXHOST_CALL TxSetCapture(WINBOOL capture) override;
    void ORV_TXHOST_CALL TxSetFocus() override;
    void ORV_TXHOST_CALL TxSetCursor(HCURSOR cursor, WINBOOL text) override;
    WINBOOL ORV_TXHOST_CALL TxScreenToClient(LPPOINT point) override;
    WINBOOL ORV_TXHOST_CALL TxClientToScreen(LPPOINT point) override;
    HRESULT ORV_TXHOST_CALL TxActivate(LONG* oldState) override;
    HRESULT ORV_TXHOST_CALL TxDeactivate(LONG newState) override;
    HRESULT ORV_TXHOST_CALL TxGetClientRect(LPRECT rect) override;
    HRESULT ORV_TXHOST_CALL TxGetViewInset(LPRECT rect) override;
    HRESULT ORV_TXHOST_CALL TxGetCharFormat(const CHARFORMATW** format) override;
    HRESULT ORV_TXHOST_CALL TxGetParaFormat(const PARAFORMAT** format) override;
    COLORREF ORV_TXHOST_CALL TxGetSysColor(int index) override;
    HRESULT ORV_TXHOST_CALL TxGetBackStyle(TXTBACKSTYLE* style) override;
    HRESULT ORV_TXHOST_CALL TxGetMaxLength(DWORD* length) override;
    HRESULT ORV_TXHOST_CALL TxGetScrollBars(DWORD* scrollBars) override;
    HRESULT ORV_TXHOST_CALL TxGetPasswordChar(TCHAR* ch) override;
    HRESULT ORV_TXHOST_CALL TxGetAcceleratorPos(LONG* pos) override;
    HRESULT ORV_TXHOST_CALL TxGetExtent(LPSIZEL extent) override;
    HRESULT ORV_TXHOST_CALL OnTxCharFormatChange(const CHARFORMATW* format) override;
    HRESULT ORV_TXHOST_CALL OnTxParaFormatChange(const PARAFORMAT* format) override;
    HRESULT ORV_TXHOST_CALL TxGetPropertyBits(DWORD mask, DWORD* bits) override;
    HRESULT ORV_TXHOST_CALL TxNotify(DWORD notify, void* data) override;
    HIMC ORV_TXHOST_CALL TxImmGetContext() override;
    void ORV_TXHOST_CALL TxImmReleaseContext(HIMC context) override;
    HRESULT ORV_TXHOST_CALL TxGetSelectionBarWidth(LONG* width) override;

private:
    CTxtWinHost(TextBoxUIObjectImpl* box, const CREATESTRUCTW& create);
    ~CTxtWinHost();
    CTxtWinHost(const CTxtWinHost&) = delete;
    CTxtWinHost& operator=(const CTxtWinHost&) = delete;

    bool Start(const CREATESTRUCTW& create);
    bool LoadTextServices();
    void InitFormats();
    void SetExtentFromClient();
    void RegisterDropTarget();
    void RevokeDropTarget();
    void Announce(DWORD bits);
    LRESULT Forward(UINT msg, WPARAM wParam, LPARAM lParam);
    static void CALLBACK TimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);

    // Messages the host answers itself (txtwinproc.cpp).
    LRESULT OnSetText(const wchar_t* text);
    LRESULT OnSize(LPARAM lParam);
    LRESULT OnShowWindow(WPARAM show);
    LRESULT OnSysColorChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursorMessage();
    LRESULT OnSetFont(HFONT font);
    LRESULT OnGetRect(RECT* rect);
    LRESULT OnSetRect(const RECT* rect);
    LRESULT OnSetReadOnly(bool readOnly);
    LRESULT OnLimitText(LPARAM limit);
    LRESULT OnSetEventMask(WPARAM wParam, LPARAM mask);
    LRESULT OnSetBackgroundColour(WPARAM useSystem, COLORREF colour);
    LRESULT OnSetCharFormat(WPARAM scope, const CHARFORMAT2W* format);
    LRESULT OnSetParaFormat(const PARAFORMAT2* format);
    LRESULT OnSetOptions(WPARAM operation, LPARAM options);
    LRESULT OnGetOptions() const;

    LONG refs_ = 1;
    TextBoxUIObjectImpl* box_;
    HWND owner_;
    DWORD style_;
    // Declared before the text services so that they are released before their module is freed.
    orv::UniqueHModule module_;
    orv::ComRef<ITextServices> services_;
    orv::ComRef<IDropTarget> dropTarget_;
    bool transparent_ = true;
    bool richText_ = false;
    bool inPlaceActive_ = false;
    bool dropRegistered_ = false;
    bool customBackground_ = false;
    bool disabled_ = false;
    DWORD extraBits_ = 0;  // WORDWRAP, ALLOWBEEP, AUTOWORDSEL, SAVESELECTION, VERTICAL, HIDESELECTION off
    DWORD eventMask_ = 0;
    RECT client_ = {};
    RECT viewInset_ = {};  // HIMETRIC
    SIZEL extent_ = {};    // HIMETRIC
    DWORD maxLength_ = 32767;
    CHARFORMAT2W charFormat_ = {};
    PARAFORMAT2 paraFormat_ = {};
    COLORREF background_ = 0;
    TCHAR passwordChar_ = 0;
    LONG selectionBarWidth_ = 0;
    int dpiX_ = 96, dpiY_ = 96;
    bool caretVisible_ = false;
    int caretHeight_ = 0;
    // The text services' timer ids and the window timer ids they run under.
    std::map<UINT, UINT_PTR> timers_;
};

}  // namespace ORVUE
