// The window machinery the three setup dialogs share: a layered window drawn by a UI object tree, its input
// and the objects' capture, focus and timer requests handed to the tree's object host, actions dispatched.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

#include <cstdint>
#include <memory>
#include <vector>

#include "messageloop.h"
#include "orvscriptengine/luaapi.h"
#include "ui/containeruiobject.h"
#include "ui/objecthost.h"
#include "ui/paintsurface.h"
#include "utility/uniquehandle.h"

namespace orv {

constexpr UINT_PTR kRepaintTimer = 11023;
constexpr UINT kRepaintPeriodMs = 66;
constexpr UINT ORVUM_INSTALLFINISHED = 0x2B18;

// Registers the dialog window class, a copy of the system dialog class under our own name, as
// DialogHost::Create does before its first window; registering it again changes nothing.
void RegisterDialogClass(HINSTANCE instance);

class DialogHost : public MessageFilter, protected ORVUE::ObjectHostRules {
public:
    // `node` is the dialog's <Dlg> element; it must outlive the dialog.
    DialogHost(pugi::xml_node node, lua_State* L);
    ~DialogHost() override;
    DialogHost(const DialogHost&) = delete;
    DialogHost& operator=(const DialogHost&) = delete;

    // Creates the window from dialog template 129, with no owner. False when it cannot be created or its
    // tree cannot be built (the window is gone again then).
    bool Create(HINSTANCE instance);
    HWND Window() const { return window_.Get(); }
    // Shows the window with its first frame, then gives it its icons (the frame does not wait for them).
    void Show();
    // True once CloseDialog has run: the tree is no longer the dialog's (a modal loop may have closed it).
    bool Closed() const { return closed_; }
    // The code CloseDialog was given; 0 before.
    UINT CloseCode() const { return closeCode_; }

    // Queued messages before dispatch: keys go through, the caret-blink timer also blinks our caret,
    // everything else is offered to the dialog manager.
    bool PreTranslateMessage(MSG* msg) override;

protected:
    // Per dialog, the object host's rules (ORVUE::ObjectHostRules) may be overridden: the focus set, whether
    // capture requests capture the system mouse, whether object timers are answered, and their traces.

    // Dialog-specific initialisation, after the tree is built and the window centred, before the first paint.
    virtual void InitDialog() {}
    // Dialog-specific collection at close, before the tree goes.
    virtual void CollectAtClose() {}
    // Action N of an object (message WM_USER + N); false when the dialog has no such action. Called only
    // when LPARAM is one of this dialog's live objects (LiveObject gives it back).
    virtual bool OnAction(UINT, WPARAM, LPARAM) { return false; }
    // Timers other than the repaint and object timers; messages of the dialog's own.
    virtual bool OnOwnTimer(UINT_PTR) { return false; }
    virtual bool OnOwnMessage(UINT, WPARAM, LPARAM) { return false; }
    // WM_CLOSE: closes with the code by default. The code is the one PostClose asked for; any other
    // WM_CLOSE (the system's, or another program's, whatever it carries) asks with 0.
    virtual void OnCloseRequest(UINT code) { CloseDialog(code); }

    void CloseDialog(UINT code);
    void PostClose(UINT code);
    // The object of this dialog's tree that `lParam` names, or null; `lParam` itself is never read through.
    ORVUE::IORVBaseUIObject* LiveObject(LPARAM lParam) const { return host_.LiveObject(lParam); }
    ORVUE::ContainerUIObjectImpl* Root() const { return host_.Root(); }
    // The root's direct sub-container "Body", or null.
    ORVUE::ContainerUIObjectImpl* Body() const { return Root() ? Root()->FindContainer(L"Body") : nullptr; }
    lua_State* State() const { return L_; }
    void UpdateWindowImage();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnInitDialog();
    void ReleaseTree();
    bool ChangedArea(RECT& area) const;
    void SetIcons();
    void CentreOnWorkArea();

    pugi::xml_node node_;
    lua_State* L_;
    UniqueWindow window_;  // let go at WM_NCDESTROY, whoever destroys the window
    ORVUE::ObjectHost host_{*this};  // its tree is owned by the UI object factory
    std::unique_ptr<ORVUE::PaintSurface> surface_;
    std::vector<uint32_t> shown_;  // the frame on screen, to find what a new frame changes; empty: hand all over
    DWORD paintedStamp_ = 0;
    bool filterRegistered_ = false;
    bool closed_ = false;
    UINT closeCode_ = 0;
    bool ownClosePosted_ = false;  // PostClose's WM_CLOSE is on its way, with ownCloseCode_
    UINT ownCloseCode_ = 0;
    // The tree is released once the outermost call into the dialog has returned: a close inside a modal
    // loop (a message box an object's action opened) must not free objects whose code is still running.
    int callDepth_ = 0;
    HWND treeOwner_ = nullptr;  // the window the tree was built for (gone by then), while the tree awaits release
    UniqueIcon icons_[2];
};

}  // namespace orv
