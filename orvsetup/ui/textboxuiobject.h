// The text box: an editable line (or lines) of plain text over a skin strip, edited by the windowless
// rich-edit text services through its own host and painted into the dialog's bitmap with its own caret.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/imageobject.h"
#include "ui/orvbaseuiobject.h"

namespace ORVUE {

class CTxtWinHost;

class TextBoxUIObjectImpl : public IORVBaseUIObject {
public:
    // Frames of the background strip.
    enum State { kNormal = 0, kHot = 1, kDisabled = 2 };

    TextBoxUIObjectImpl();
    ~TextBoxUIObjectImpl() override;
    TextBoxUIObjectImpl(const TextBoxUIObjectImpl&) = delete;
    TextBoxUIObjectImpl& operator=(const TextBoxUIObjectImpl&) = delete;

    int Paint(Gdiplus::Graphics& graphics) override;
    // Requires a non-zero resId: the strip of three frames as wide as the box.
    int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) override;
    RECT GetRect() override { return rect_; }
    void SetRect(int left, int top, int right, int bottom) override;
    BOOL IsVisible() override { return visible_; }
    void SetVisible(BOOL visible) override;
    BOOL IsEnabled() override { return state_ != kDisabled; }
    void SetEnabled(BOOL enabled) override;
    HWND GetOwner() override { return owner_; }
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    int OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled, int x, int y) override;
    int OnCaptureChanged(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    void SetFocus() override;
    void KillFocus() override;
    void SetCapture() override;
    void ReleaseCapture() override;
    const std::wstring& GetName() override { return name_; }
    void SetName(const wchar_t* name) override { name_ = name ? name : L""; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Where the text lives (window client coordinates); the text itself keeps 5 pixels inside it.
    void SetClientRect(int left, int top, int right, int bottom);
    RECT GetClientRect() const { return clrect_; }
    // Starts the text services on the client rectangle; once. The text setters below do nothing before.
    void CreateHost();
    bool HasHost() const { return hostCreated_ != FALSE; }
    void SetTextColor(WORD red, WORD green, WORD blue);
    // `size` in points.
    void SetFont(const wchar_t* family, int size, BOOL bold);
    // At most `count` characters; 0 (or less) allows 65536.
    void SetMaxChar(int count);
    void SetMultiline(BOOL multiline);
    void SetText(const wchar_t* text);
    std::wstring GetText();

private:
    struct HostRelease {
        void operator()(CTxtWinHost* host) const;
    };

    bool Interactive() const;
    void SetState(int state);
    LRESULT ToTextServices(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void PlaceComposition();
    bool DrawTextOverDc(Gdiplus::Graphics& graphics, const RECT& text);
    void DrawTextAsImage(Gdiplus::Graphics& graphics, const RECT& text);
    void DrawCaret(Gdiplus::Graphics& graphics, const RECT& text, int fallbackHeight);

    RECT rect_ = {};
    RECT clrect_ = {};
    HWND owner_ = nullptr;
    BOOL caretShown_ = FALSE;
    BOOL mouseInside_ = FALSE;
    BOOL focused_ = FALSE;
    BOOL hostCreated_ = FALSE;
    BOOL pressed_ = FALSE;
    BOOL visible_ = TRUE;
    BOOL multiline_ = FALSE;
    BOOL capturing_ = FALSE;
    std::wstring name_;
    int state_ = kNormal;
    std::unique_ptr<CTxtWinHost, HostRelease> host_;
    std::unique_ptr<ImageObject> background_;
};

}  // namespace ORVUE
