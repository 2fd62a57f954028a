// What a window does for the UI object tree it shows: mouse input routed into the tree, raw messages
// handed to the capture or focus object, and the objects' capture, focus and timer requests answered.
#pragma once

#include <windows.h>

#include <map>

#include "ui/containeruiobject.h"
#include "ui/orvbaseanimationobject.h"
#include "ui/orvbaseuiobject.h"

namespace ORVUE {

// The parts of the service that differ between windows.
class ObjectHostRules {
public:
    // Which raw messages go to the focus object.
    virtual bool InFocusSet(UINT msg) const;
    // Whether capture requests also capture the system mouse.
    virtual bool TakesSystemCapture() const { return false; }
    virtual bool AnswersObjectTimers() const { return true; }
    virtual void TraceTimerSet(UINT) {}
    virtual void TraceTimerKilled(UINT) {}

protected:
    ~ObjectHostRules() = default;
    // The focus set of a window with text entry: keys and characters, input-language changes and the
    // input method's context and notifications, and the caret blink.
    static bool TextEntryFocusSet(UINT msg);
};

class ObjectHost {
public:
    // `rules` must outlive the host.
    explicit ObjectHost(ObjectHostRules& rules) : rules_(rules) {}
    ObjectHost(const ObjectHost&) = delete;
    ObjectHost& operator=(const ObjectHost&) = delete;

    // The window whose messages the host answers (its capture, timers and mouse tracking).
    void SetWindow(HWND window) { window_ = window; }
    // The tree whose objects are served; not owned. Setting it (null: no tree) forgets the focus, the
    // capture and the objects' timers.
    void SetRoot(ContainerUIObjectImpl* root);
    ContainerUIObjectImpl* Root() const { return root_; }
    IORVBaseUIObject* Focus() const { return focus_; }
    IORVBaseUIObject* Capture() const { return capture_; }
    // The object of the tree that `lParam` names, or null; `lParam` itself is never read through.
    IORVBaseUIObject* LiveObject(LPARAM lParam) const;

    // Offers a raw message to the capture object (mouse messages) or the focus object (the focus set);
    // true when it consumed the message, with its result.
    bool Forward(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The messages the host answers itself: the cursor, mouse input, object timers' WM_TIMER and the
    // objects' requests. False for any other message, and for timer requests the rules do not answer.
    bool Serve(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Forward, then Serve: for a window with no messages of its own.
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    void OnSetCursor();
    void OnMouse(UINT msg, WPARAM wParam, LPARAM lParam);
    bool OnTimer(UINT_PTR id);
    bool OnRequest(UINT msg, WPARAM wParam, LPARAM lParam);
    bool OnObjectTimer(UINT msg, WPARAM wParam, LPARAM lParam);

    ObjectHostRules& rules_;
    HWND window_ = nullptr;
    ContainerUIObjectImpl* root_ = nullptr;
    IORVBaseUIObject* focus_ = nullptr;
    IORVBaseUIObject* capture_ = nullptr;
    std::map<UINT, IORVBaseAnimationObject*> objectTimers_;
};

}  // namespace ORVUE
