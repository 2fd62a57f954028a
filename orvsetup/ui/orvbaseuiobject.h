// The interface every object of a dialog's UI tree implements, and the messages objects send their window.
#pragma once

#include <windows.h>

#include <string>
#include <typeinfo>

namespace Gdiplus {
class Graphics;
}

namespace ORVUE {

// Sent (SendMessageW) by objects to their owner window; LPARAM is the object.
constexpr UINT ORVUM_SETCAPTURE = 0x2B11;
constexpr UINT ORVUM_RELEASECAPTURE = 0x2B12;
constexpr UINT ORVUM_SETFOCUS = 0x2B13;
constexpr UINT ORVUM_KILLFOCUS = 0x2B14;
// Sent by the host to its focus object when the caret should blink.
constexpr UINT ORVUM_CARETBLINK = 0x2B15;
// WPARAM MAKELONG(timer id, interval ms) / timer id; LPARAM the IORVBaseAnimationObject.
constexpr UINT ORVUM_SETANIMATIONTIMER = 0x2B16;
constexpr UINT ORVUM_KILLANIMATIONTIMER = 0x2B17;
// The host's window timer for object timer id n is ANIMATION_TIMER_BASE + n.
constexpr UINT ANIMATION_TIMER_BASE = 0x2B10;

// Hands out process-wide 16-bit object timer ids: the current value, then counts on.
WORD NextTimerId();

// Every operation that changes what an object would paint calls NoteChange; a host that saw the same
// stamp at its last frame may keep that frame. UI threads only, like the trees themselves.
void NoteChange();
DWORD ChangeStamp();

class IORVBaseUIObject {
public:
    virtual ~IORVBaseUIObject() = default;
    virtual int Paint(Gdiplus::Graphics& graphics) = 0;
    // Throws UIError(E_FAIL) when the object's resource rule is broken or its image cannot be loaded.
    virtual int Create(HWND owner, int left, int top, int right, int bottom, UINT resId, const wchar_t* resType) = 0;
    virtual RECT GetRect() = 0;
    virtual void SetRect(int left, int top, int right, int bottom) = 0;
    virtual BOOL IsVisible() = 0;
    virtual void SetVisible(BOOL visible) = 0;
    virtual BOOL IsEnabled() = 0;
    virtual void SetEnabled(BOOL enabled) = 0;
    virtual HWND GetOwner() = 0;
    // Mouse handlers get the window message's own number and parameters; the point is in LPARAM.
    virtual LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) = 0;
    virtual LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) = 0;
    virtual LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) = 0;
    virtual LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) = 0;
    virtual LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) = 0;
    virtual int OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled, int x, int y) = 0;
    // LPARAM is the object that takes the capture.
    virtual int OnCaptureChanged(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) = 0;
    virtual void SetFocus() = 0;
    virtual void KillFocus() = 0;
    virtual void SetCapture() = 0;
    virtual void ReleaseCapture() = 0;
    virtual const std::wstring& GetName() = 0;
    virtual void SetName(const wchar_t* name) = 0;
    // Raw window messages routed to the capture or focus object; non-zero when consumed.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};

// The point of a mouse message: the signed halves of LPARAM.
inline POINT PointOf(LPARAM lParam) {
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

inline bool RectContains(IORVBaseUIObject* object, POINT point) {
    const RECT rect = object->GetRect();
    return ::PtInRect(&rect, point) != FALSE;
}

// The object as a T when its dynamic type is exactly T, else null: a class derived from T does not
// count (a carousel is a picture by inheritance, yet a lookup for pictures must not find it).
template <class T>
T* ExactCast(IORVBaseUIObject* object) {
    return object && typeid(*object) == typeid(T) ? dynamic_cast<T*>(object) : nullptr;
}

}  // namespace ORVUE
