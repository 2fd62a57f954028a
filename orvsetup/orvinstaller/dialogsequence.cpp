// Showing the dialogs one after the other, each in one turn of the main thread's message loop.
#include "dialogsequence.h"

#include <commctrl.h>

#include "messageloop.h"
#include "orvcompletedlg.h"
#include "orvinitdlg.h"
#include "orvinstalldlg.h"
#include "orvscriptengine/scriptglobals.h"
#include "utility/scopeguard.h"
#include "utility/trace.h"

#include <cwchar>

#define ORV_TRACE_SOURCE L"orvinstaller"

namespace orv {
namespace {

// The common controls (the folder browser and message boxes use them) start after the first window is
// shown: the first frame does not wait for them.
void StartCommonControlsOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    if (!::InitCommonControlsEx(&controls)) ORV_FAILURE_TRAILER(L"InitCommonControlsEx failed.", ::GetLastError());
}

// Creates and shows the dialog's window, then runs the loop until the dialog closes and returns the
// dialog's close code; 0 when the window cannot be made or the thread's queue fails. Any program may post
// the thread a WM_QUIT with any code: one the dialog did not ask for (by closing) ends nothing.
int ShowDialog(HINSTANCE instance, DialogHost& dialog, MessageLoop& loop) {
    if (!dialog.Create(instance)) return 0;
    dialog.Show();
    StartCommonControlsOnce();
    for (;;) {
        if (loop.Run() == -1) return 0;
        if (dialog.Closed()) return static_cast<int>(dialog.CloseCode());
        TraceLine(L"a quit message the dialog did not ask for ignored\r\n");
    }
}

}  // namespace

pugi::xml_node FindDialogNode(const pugi::xml_document& document, const wchar_t* name) {
    for (pugi::xml_node node = document.first_child().child(L"Dlg"); node; node = node.next_sibling(L"Dlg")) {
        if (std::wcscmp(node.attribute(L"name").value(), name) == 0) return node;
    }
    return pugi::xml_node();
}

int RunInstallDialogs(HINSTANCE instance, lua_State* L, const pugi::xml_document& document) {
    const pugi::xml_node initNode = FindDialogNode(document, L"InitDlg");
    if (!initNode) {
        TraceLine(L"node <Dlg name=\"InitDlg\"> is empty!");
        return 0;
    }
    MessageLoop loop;
    Module().AddMessageLoop(&loop);
    auto unregister = MakeScopeExit([] { Module().RemoveMessageLoop(); });
    ORVInitDlg options(initNode, L);
    if (ShowDialog(instance, options, loop) != 1) return 0;
    if (!CallHook(L, "ORVSE_BeforeInstall")) return 0;
    const pugi::xml_node installNode = FindDialogNode(document, L"InstallDlg");
    if (!installNode) {
        TraceLine(L"node <Dlg name=\"InstallDlg\"> is empty!");
        return 0;
    }
    ORVInstallDlg progress(installNode, L);
    return ShowDialog(instance, progress, loop) == 1 ? 1 : 0;
}

int RunFinishDialog(HINSTANCE instance, lua_State* L, const pugi::xml_document& document) {
    const pugi::xml_node node = FindDialogNode(document, L"CompleteDlg");
    if (!node) {
        TraceLine(L"node <Dlg name=\"CompleteDlg\"> is empty!");
        return 0;
    }
    MessageLoop loop;
    Module().AddMessageLoop(&loop);
    auto unregister = MakeScopeExit([] { Module().RemoveMessageLoop(); });
    ORVCompleteDlg finish(node, L);
    return ShowDialog(instance, finish, loop) == 1 ? 1 : 0;
}

}  // namespace orv
