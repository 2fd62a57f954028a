// The options dialog's own initialisation, actions and checks.
#include "orvinitdlg.h"

#include "dialogtext.h"
#include "orvscriptengine/foldercreation.h"
#include "orvscriptengine/scriptglobals.h"
#include "ui/buttonuiobject.h"
#include "ui/carouseluiobject.h"
#include "ui/checkboxuiobject.h"
#include "ui/labeluiobject.h"
#include "utility/textconv.h"
#include "utility/trace.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>

namespace orv {
namespace {

enum Action : UINT {
    kLeave = 100, kInstall = 101, kShowSettings = 102, kAgreement = 103, kAgreementLink = 104,
    kChooseInstallFolder = 105, kOptionBoxes = 106, kChooseBackupFolder = 107, kSwitchPages = 108,
};

const wchar_t kLeaveText[] = L"您确定要退出安装程序？";
const wchar_t kBadInstallFolder[] = L"安装路径非法，请重新修改！";
const wchar_t kBadBackupFolder[] = L"备份路径非法，请重新修改！";
const wchar_t kTooLittleSpace[] = L"磁盘剩余可用空间不足,安装程序需要%0.2fMB的空间来完成安装！";
const wchar_t kSearchServiceLabel[] = L"添加文件搜索服务";

template <typename T>
T* ControlIn(ORVUE::ContainerUIObjectImpl* container, const wchar_t* name) {
    return container ? dynamic_cast<T*>(container->FindControl(name)) : nullptr;
}

bool IsWindows11OrLater() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto* getVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                   reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                             : nullptr;
    if (!getVersion) return false;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    getVersion(&version);
    return version.dwMajorVersion > 6 && version.dwBuildNumber >= 22000;
}

int CALLBACK SelectInitialFolder(HWND browser, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

bool ORVInitDlg::InFocusSet(UINT msg) const { return TextEntryFocusSet(msg); }

ORVUE::ContainerUIObjectImpl* ORVInitDlg::SettingsTwo() const {
    ORVUE::ContainerUIObjectImpl* body = Body();
    return body ? body->FindContainer(L"SettingsTwo") : nullptr;
}

ORVUE::ContainerUIObjectImpl* ORVInitDlg::SettingsOne() const {
    ORVUE::ContainerUIObjectImpl* body = Body();
    return body ? body->FindContainer(L"SettingsOne") : nullptr;
}

void ORVInitDlg::InitDialog() {
    ORVUE::ContainerUIObjectImpl* body = Body();
    if (!body) return;
    if (auto* selfStart = ControlIn<ORVUE::CheckBoxUIObjectImpl>(SettingsTwo(), L"SelfStartChk")) {
        selfStart->SetVisible(GetGlobalFlag(State(), "global_startup_check_visable"));
        selfStart->SetChecked(GetGlobalFlag(State(), "global_startup_check"));
    }
    if (auto* licence = ControlIn<ORVUE::CheckBoxUIObjectImpl>(body, L"LicenceChk")) {
        const std::wstring text = ReplaceAll(licence->GetText(), L"$global_product_name$",
                                             GetGlobalText(State(), "global_product_name"));
        licence->SetText(text.c_str());
        TraceLine(L"%ls", text.c_str());
    }
    FillPlaceholders();
    auto* search = ControlIn<ORVUE::CheckBoxUIObjectImpl>(SettingsTwo(), L"InstallSearchServer");
    if (search && IsWindows11OrLater()) search->SetText(kSearchServiceLabel);
    TraceLine(L" find ContainerUIObjectImpl pBodyCon   ");
    if (ORVUE::ContainerUIObjectImpl* one = SettingsOne()) {
        TraceLine(L" find ContainerUIObjectImpl SettingsOne   ");
        if (auto* carousel = ControlIn<ORVUE::CarouselUIObjectImpl>(one, L"InitCarousel")) {
            TraceLine(L" find CarouselUIObjectImplobject SettingsOne   ");
            carousel->Play();
        }
    }
}

// Text boxes may name a global between two dollar signs; only the first placeholder is filled.
void ORVInitDlg::FillPlaceholders() {
    std::wstring last;
    for (ORVUE::IORVBaseUIObject* box : TextBoxesOf(Root())) {
        std::wstring text = TextOfBox(box), name;
        TraceLine(L"%ls", text.c_str());
        if (FindPlaceholder(text, name)) {
            TraceLine(L"%ls", name.c_str());
            const std::wstring value = GetGlobalText(State(), WideToUtf8(name).c_str());
            if (!value.empty()) {
                text = ReplaceAll(text, L"$" + name + L"$", value);
                SetTextOfBox(box, text);
                TraceLine(L"-----------------------------");
                TraceLine(L"%ls", text.c_str());
                TraceLine(L"-----------------------------");
            }
        }
        last = text;
    }
    auto* pathInfo = ControlIn<ORVUE::LabelUIObjectImpl>(SettingsOne(), L"PathLblinfo");
    if (pathInfo && !last.empty()) pathInfo->SetText(last.c_str());
}

void ORVInitDlg::CollectAtClose() {
    if (auto* carousel = ControlIn<ORVUE::CarouselUIObjectImpl>(SettingsOne(), L"InitCarousel")) {
        TraceLine(L" find CarouselUIObjectImplobject InitCarousel   ");
        carousel->Stop();
    }
}

bool ORVInitDlg::OnAction(UINT action, WPARAM wParam, LPARAM lParam) {
    switch (action) {
        case kLeave:
            OnLeave(lParam);
            return true;
        case kInstall:
            OnInstall();
            return true;
        case kShowSettings: {
            ORVUE::ContainerUIObjectImpl* body = Body();
            ORVUE::ContainerUIObjectImpl* settings = body ? body->FindContainer(L"Settings") : nullptr;
            if (ControlIn<ORVUE::CheckBoxUIObjectImpl>(body, L"SettingsChk") && settings) {
                settings->SetVisibleTree(wParam == 1);
            }
            return true;
        }
        case kAgreement:
            if (auto* install = ControlIn<ORVUE::ButtonUIObjectImpl>(Body(), L"InstallBtn")) install->SetEnabled(wParam == 1);
            return true;
        case kAgreementLink:
            ::ShellExecuteW(nullptr, nullptr, GetGlobalText(State(), "global_licence_url").c_str(), nullptr, nullptr,
                            SW_SHOWNORMAL);
            return true;
        case kChooseInstallFolder:
            ChooseFolder(L"InstallPath", false);
            return true;
        case kOptionBoxes:
            ShowOptionBoxes(wParam);
            return true;
        case kChooseBackupFolder:
            ChooseFolder(L"BackUpPath", true);
            return true;
        case kSwitchPages:
            SwitchPages();
            return true;
        default:
            return false;
    }
}

// The question's modal loop goes on dispatching: the dialog may have been closed (and its tree given up)
// by the time it returns, so the sender is looked up afresh.
void ORVInitDlg::OnLeave(LPARAM sender) {
    const int answer = ::MessageBoxW(Window(), kLeaveText, L"提醒", MB_ICONQUESTION | MB_OKCANCEL);
    if (Closed()) {
        TraceLine(L"the dialog was closed while its question was open\r\n");
        return;
    }
    if (answer == IDOK) PostClose(2);
    if (ORVUE::IORVBaseUIObject* object = LiveObject(sender)) {
        BOOL handled = FALSE;
        object->OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
    }
}

bool ORVInitDlg::FolderIsUsable(const std::wstring& path) const {
    if (::PathGetDriveNumberW(path.c_str()) == -1) return false;
    return orv::CreateFoldersNoticed("ORVInitDlg", path, [](const std::wstring& folder) {
        const int made = ::SHCreateDirectory(nullptr, folder.c_str());
        return made == ERROR_SUCCESS || made == ERROR_FILE_EXISTS || made == ERROR_ALREADY_EXISTS;
    });
}

void ORVInitDlg::OnInstall() {
    lua_State* L = State();
    for (ORVUE::IORVBaseUIObject* box : TextBoxesOf(Root())) {
        SetGlobalText(L, WideToUtf8(box->GetName()).c_str(), TextOfBox(box));
    }
    PublishCheckBoxes(L, Root(), true);
    std::wstring folder = GetGlobalText(L, "InstallPath");
    if (!FolderIsUsable(folder)) {
        ::MessageBoxW(Window(), kBadInstallFolder, L"错误", MB_ICONWARNING);
        return;
    }
    const std::wstring backup = GetGlobalText(L, "BackUpPath");
    if (!backup.empty()) {
        TraceLine(L"backpath = %ls", backup.c_str());
        if (!FolderIsUsable(backup)) {
            ::MessageBoxW(Window(), kBadBackupFolder, L"错误", MB_ICONWARNING);
            return;
        }
    }
    wchar_t buffer[MAX_PATH] = {};
    lstrcpynW(buffer, folder.c_str(), MAX_PATH);
    ::PathRemoveBackslashW(buffer);
    folder = buffer;
    SetGlobalText(L, "InstallPath", folder);
    if (EnoughSpace(folder)) PostClose(1);
}

uint64_t ORVInitDlg::ParseNeed(const std::wstring& text) {
    size_t at = 0;
    while (at < text.size() && std::iswspace(text[at])) ++at;
    if (at == text.size() || !std::iswdigit(text[at])) {
        if (!text.empty()) TraceLine(L"global_need_disk_space is not a decimal number: %ls\r\n", text.c_str());
        return 0;
    }
    return std::wcstoull(text.c_str() + at, nullptr, 10);
}

// A volume whose free space cannot be read cannot be checked: the folder counts as unusable.
bool ORVInitDlg::EnoughSpace(const std::wstring& folder) {
    const std::wstring drive = folder.substr(0, 2);
    ULARGE_INTEGER available, total, free;
    if (!::GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &free)) {
        TraceLine(L"GetDiskFreeSpaceExW(%ls) failed, error %lu\r\n", drive.c_str(), ::GetLastError());
        ::MessageBoxW(Window(), kBadInstallFolder, L"错误", MB_ICONWARNING);
        return false;
    }
    const uint64_t need = ParseNeed(GetGlobalText(State(), "global_need_disk_space"));
    if (free.QuadPart >= need) return true;
    ::MessageBoxW(Window(), SpaceMessage(need).c_str(), L"提示", MB_ICONINFORMATION);
    return false;
}

std::wstring ORVInitDlg::SpaceMessage(uint64_t bytes) {
    const float megabytes = static_cast<float>(bytes) * (1.0f / 1024) * (1.0f / 1024);
    wchar_t text[256];
    std::swprintf(text, 256, kTooLittleSpace, static_cast<double>(megabytes));
    return text;
}

bool ORVInitDlg::CheckDir(const std::wstring& path, const std::wstring& base) {
    TraceLine(L"CheckDir %ls, %ls", path.c_str(), base.c_str());
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring last = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return last == base;
}

std::wstring ORVInitDlg::CompleteInstallFolder(const std::wstring& chosen, const std::wstring& base) {
    if (CheckDir(chosen, base)) return chosen;
    std::wstring result = chosen;
    if (result.empty() || (result.back() != L'\\' && result.back() != L'/')) result += L'\\';
    return result + base;
}

void ORVInitDlg::ChooseFolder(const wchar_t* boxName, bool backup) {
    ORVUE::IORVBaseUIObject* box = nullptr;
    for (ORVUE::IORVBaseUIObject* candidate : TextBoxesOf(Root())) {
        if (candidate->GetName() == boxName) {
            box = candidate;
            break;
        }
    }
    if (!box) return;
    std::wstring initial = TextOfBox(box);
    if (!initial.empty()) {
        wchar_t buffer[MAX_PATH] = {};
        lstrcpynW(buffer, initial.c_str(), MAX_PATH);
        if (!::PathFileExistsW(buffer)) ::PathRemoveFileSpecW(buffer);
        if (!::PathFileExistsW(buffer)) {
            if (backup) {
                lstrcpynW(buffer, L"c:\\DriversBackup", MAX_PATH);
            } else {
                ::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE);
            }
        }
        TraceLine(L"%ls", buffer);
        initial = buffer;
    }
    BROWSEINFOW info = {};
    info.hwndOwner = ::GetActiveWindow();
    info.lpszTitle = backup ? L"选择备份目录" : L"选择安装目录";
    info.ulFlags = 0x1053;
    info.lpfn = SelectInitialFolder;
    info.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&info);
    if (!item) return;
    wchar_t chosen[MAX_PATH] = {};
    const BOOL named = ::SHGetPathFromIDListW(item, chosen);
    ::CoTaskMemFree(item);
    if (!named || Closed()) return;  // the browser's loop may have seen the dialog close
    std::wstring result = chosen;
    if (backup) {
        if (result.size() == 3) result += L"DriversBackup";
    } else {
        result = CompleteInstallFolder(result, GetGlobalText(State(), "global_install_basepath"));
    }
    SetTextOfBox(box, result);
}

void ORVInitDlg::ShowOptionBoxes(WPARAM state) {
    ORVUE::ContainerUIObjectImpl* two = SettingsTwo();
    if (!two) return;
    TraceLine(L"_IsRunning__________________________");
    TraceLine(state == 1 ? L"_Check__________________________" : L"_NO_Check__________________________");
    for (const wchar_t* name : {L"QuickLaunchChk", L"ShouldStartWithWindowsChk", L"StartMenuShortcutChk",
                                L"InstallSearchServer"}) {
        if (auto* box = ControlIn<ORVUE::CheckBoxUIObjectImpl>(two, name)) box->SetVisible(TRUE);
    }
}

void ORVInitDlg::SwitchPages() {
    ORVUE::ContainerUIObjectImpl* one = SettingsOne();
    const BOOL wasVisible = one ? one->IsVisible() : FALSE;
    if (one) one->SetVisible(!wasVisible);
    if (ORVUE::ContainerUIObjectImpl* two = SettingsTwo()) two->SetVisible(wasVisible);
}

}  // namespace orv
