// The finish dialog's own initialisation, links, program start and close.
#include "orvcompletedlg.h"

#include "dialogtext.h"
#include "orvscriptengine/scriptglobals.h"
#include "ui/checkboxuiobject.h"
#include "utility/textconv.h"
#include "utility/trace.h"

#include <shellapi.h>

namespace orv {

const wchar_t kContactFirst[] = L"800012345";
const wchar_t kContactSecond[] = L"800067890";

namespace {

enum Action : UINT { kClose = 100, kWebLink = 104, kUseProgram = 106, kContact = 110 };

const wchar_t kContactPageFirst[] = L"https://www.example.com/quellby/contact/800012345";
const wchar_t kContactPageSecond[] = L"https://www.example.com/quellby/contact/800067890";
const wchar_t kProductSite[] = L"https://www.example.com/quellby/";
const wchar_t kChannelPage[] = L"https://video.example.com/channel/quellby";

ORVUE::CheckBoxUIObjectImpl* FirstControlAsCheckBox(ORVUE::IORVBaseUIObject* row) {
    auto* container = dynamic_cast<ORVUE::ContainerUIObjectImpl*>(row);
    if (!container || container->Controls().empty()) return nullptr;
    return dynamic_cast<ORVUE::CheckBoxUIObjectImpl*>(container->Controls().front().get());
}

}  // namespace

void ORVCompleteDlg::InitDialog() {
    ORVUE::ContainerUIObjectImpl* body = Body();
    if (!body) return;
    if (auto* startup = dynamic_cast<ORVUE::CheckBoxUIObjectImpl*>(body->FindControl(L"StartupChk"))) {
        startup->SetVisible(GetGlobalFlag(State(), "global_startup_check_visable"));
        startup->SetChecked(GetGlobalFlag(State(), "global_startup_check"));
    }
    FillRows();
}

// Rows whose check box names a global in its label show the global's text, and are shown themselves.
void ORVCompleteDlg::FillRows() {
    ORVUE::ContainerUIObjectImpl* bind = Body()->FindContainer(L"Bind");
    ORVUE::ContainerUIObjectImpl* rows = bind ? bind->FindContainer(L"BindVertCon") : nullptr;
    if (!rows) return;
    for (const auto& row : rows->Containers()) {
        ORVUE::CheckBoxUIObjectImpl* box = FirstControlAsCheckBox(row.get());
        if (!box) continue;
        const std::wstring label = box->GetText();
        std::wstring name;
        if (!FindPlaceholder(label, name)) continue;
        TraceLine(L"%ls", name.c_str());
        const std::wstring value = GetGlobalText(State(), WideToUtf8(name).c_str());
        TraceLine(L"%ls", value.c_str());
        if (value.empty()) continue;
        box->SetText(ReplaceAll(label, L"$" + name + L"$", value).c_str());
        row->SetVisible(TRUE);
    }
}

void ORVCompleteDlg::CollectAtClose() { PublishCheckBoxes(State(), Root(), false); }

bool ORVCompleteDlg::OnAction(UINT action, WPARAM, LPARAM lParam) {
    switch (action) {
        case kClose:
            PostClose(1);
            return true;
        case kWebLink:
            OpenWebLink(lParam);
            return true;
        case kUseProgram:
            LaunchMainApp();
            return true;
        case kContact:
            OpenContact(lParam);
            return true;
        default:
            return false;
    }
}

void ORVCompleteDlg::OpenWebLink(LPARAM sender) {
    auto* object = reinterpret_cast<ORVUE::IORVBaseUIObject*>(sender);
    if (!object) {
        TraceLine(L"URL : button == null");
        return;
    }
    const std::wstring& name = object->GetName();
    const wchar_t* address = name == L"Weblink" ? kProductSite : name == L"BibiliWeblink" ? kChannelPage : L"";
    if (*address) ::ShellExecuteW(nullptr, nullptr, address, nullptr, nullptr, SW_SHOWNORMAL);
}

void ORVCompleteDlg::OpenContact(LPARAM sender) {
    auto* object = reinterpret_cast<ORVUE::IORVBaseUIObject*>(sender);
    if (!object) {
        TraceLine(L"URL : button == null");
        return;
    }
    const std::wstring& name = object->GetName();
    std::wstring address = name == kContactFirst    ? kContactPageFirst
                           : name == kContactSecond ? kContactPageSecond
                                                    : GetGlobalText(State(), "global_kf_QQQ");
    ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
}

void ORVCompleteDlg::LaunchMainApp() {
    wchar_t folder[MAX_PATH] = {};
    ::ExpandEnvironmentStringsW(GetGlobalText(State(), "global_install_path").c_str(), folder, MAX_PATH);
    const std::wstring program = std::wstring(folder) + L"\\" + GetGlobalText(State(), "global_main_app_name");
    const std::wstring parameters = GetGlobalText(State(), "global_start_parameter");
    if (GetGlobalFlag(State(), "global_startuseexplorer_level")) {
        TraceLine(L"ProcessLauncherExplorerLevel~!\r\n");
        LaunchAtShellLevel(program, parameters);
    } else {
        ::ShellExecuteW(nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    }
    PostClose(1);
}

std::wstring ORVCompleteDlg::ShellLevelCommand(const std::wstring& program, const std::wstring& parameters) {
    return L"explorer.exe \"" + program + L"\" \"" + parameters + L"\"";
}

UINT ORVCompleteDlg::LaunchAtShellLevel(const std::wstring& program, const std::wstring& parameters) {
    return ::WinExec(WideToAnsi(ShellLevelCommand(program, parameters)).c_str(), SW_SHOWNORMAL);
}

}  // namespace orv
