// Shortcuts, launching, message boxes and the module-path and expansion queries.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/uniquehandle.h"
#include "windowprobe.h"

namespace {

using orv::test::TempDir;

struct LinkInfo {
    std::wstring path, arguments, folder, description;
};

bool ReadLink(const std::wstring& file, LinkInfo* info) {
    orv::ComInit com;
    orv::ComRef<IShellLinkW> link;
    orv::ComRef<IPersistFile> persist;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Put())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, persist.Put())) || FAILED(persist->Load(file.c_str(), STGM_READ)))
        return false;
    wchar_t text[1024];
    link->GetPath(text, 1024, nullptr, 0);
    info->path = text;
    link->GetArguments(text, 1024);
    info->arguments = text;
    link->GetWorkingDirectory(text, 1024);
    info->folder = text;
    link->GetDescription(text, 1024);
    info->description = text;
    return true;
}

bool RunWith(const TempDir& dir, const std::string& script) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    orv::SetGlobalText(EngineState(), "dir", dir.Path());
    orv::SetGlobalText(EngineState(), "self", self);
    orv::SetGlobalText(EngineState(), "helper", orv::test::ExeDirectory() + L"\\windowapp.exe");
    return RunForOk(script);
}

TEST(ShellActions, ShortcutsAndInternetShortcuts) {
    TempDir dir(L"orvlnk");
    TraceCapture capture;
    ASSERT_TRUE(RunWith(dir, "ok = Lua_CreateShortcut(self, dir .. '\\\\Programs\\\\奎比\\\\three.lnk', '-a')"
                             " and Lua_CreateShortcut(self, dir .. '\\\\four.lnk', '--start \"x y\"', nil)"
                             " and Lua_CreateShortcut(self, dir .. '\\\\desc.lnk', nil, '奎比桌面')"
                             " and Lua_CreateShortcut('http://example.com/start?x=1', dir .. '\\\\site.url')"));
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring folder = std::wstring(self).substr(0, std::wstring(self).rfind(L'\\'));
    LinkInfo three, four, desc;
    ASSERT_TRUE(ReadLink(dir.Sub(L"Programs\\奎比\\three.lnk"), &three));  // its folder was made first
    EXPECT_EQ(_wcsicmp(three.path.c_str(), self), 0);
    EXPECT_EQ(three.arguments, L"");  // three arguments: none set
    EXPECT_EQ(_wcsicmp(three.folder.c_str(), folder.c_str()), 0);
    ASSERT_TRUE(ReadLink(dir.Sub(L"four.lnk"), &four));
    EXPECT_EQ(four.arguments, L"--start \"x y\"");
    EXPECT_EQ(four.description, L"");
    ASSERT_TRUE(ReadLink(dir.Sub(L"desc.lnk"), &desc));
    EXPECT_EQ(desc.description, L"奎比桌面");
    std::string url;
    ASSERT_TRUE(orv::test::ReadFileBytes(dir.Sub(L"site.url"), &url));
    EXPECT_NE(url.find("URL=http://example.com/start?x=1"), std::string::npos) << url;
    EXPECT_EQ(TraceCapture::Lines().back(), L"qz Save Shortcut " + dir.Sub(L"site.url") + L" \r\n");
}

// A target too long once expanded fails rather than becoming a link to the unexpanded text.
TEST(ShellActions, ShortcutTargetThatDoesNotExpandFails) {
    TempDir dir(L"orvlnk");
    ::SetEnvironmentVariableW(L"ORVTEST_LONG", std::wstring(300, L'x').c_str());
    TraceCapture capture;
    EXPECT_FALSE(RunWith(dir, "ok = Lua_CreateShortcut('C:\\\\%ORVTEST_LONG%\\\\a.exe', dir .. '\\\\long.lnk')"));
    ::SetEnvironmentVariableW(L"ORVTEST_LONG", nullptr);
    EXPECT_FALSE(orv::test::FileExists(dir.Sub(L"long.lnk")));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"Fun:Lua_CreateShortcut, Description:C:\\%ORVTEST_LONG%"));
}

TEST(ShellActions, ExecWaitsPinsAndReportsMissingFiles) {
    TempDir dir(L"orvexec");
    TraceCapture capture;
    EXPECT_TRUE(RunWith(dir, "ok = Lua_Exec(dir .. '\\\\gone.lnk', 'taskbarunpin')"));
    EXPECT_TRUE(TraceCapture::Lines().empty());
    EXPECT_FALSE(RunWith(dir, "ok = Lua_Exec(dir .. '\\\\gone.exe', 'open')"));
    EXPECT_EQ(TraceCapture::Lines().at(0),
              L"qz Fun:Lua_Exec, Description:" + dir.Sub(L"gone.exe") + L" it's not exists!\r\n");
    // A program that is no program: it cannot start, and no shell dialog offers to open it otherwise.
    ASSERT_TRUE(orv::test::WriteFileBytes(dir.Sub(L"broken.exe"), "not a program"));
    EXPECT_TRUE(RunWith(dir, "ok = Lua_Exec(dir .. '\\\\broken.exe', 'Startpin')"));  // whatever the shell says
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(RunWith(dir, "ok = Lua_Exec(dir .. '\\\\broken.exe', '', '', true)"));
    EXPECT_LT(::GetTickCount() - start, 5000u);
    EXPECT_TRUE(RunWith(dir, "ok = Lua_Exec(helper, '', '--sleep 400 ' .. dir .. '\\\\marker', true)"));
    EXPECT_TRUE(orv::test::FileExists(dir.Sub(L"marker")));  // it waited for the program's end
}

// A bare program name is the system folders' program, never one planted in the current folder; a relative
// path with a folder part is refused.
TEST(ShellActions, BareNamesComeFromTheSystemFoldersAndRelativePathsAreRefused) {
    TempDir dir(L"orvbare");
    ASSERT_TRUE(::CopyFileW((orv::test::ExeDirectory() + L"\\windowapp.exe").c_str(), dir.Sub(L"orvplanted.exe").c_str(),
                            FALSE));
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
    TraceCapture capture;
    const std::string sleep = "'--sleep 0 ' .. dir .. '\\\\planted'";
    const bool exec = RunWith(dir, "ok = Lua_Exec('orvplanted.exe', '', " + sleep + ", true)");
    const bool shell = RunWith(dir, "ok = Lua_ShellExec('orvplanted', " + sleep + ")");
    const bool relative = RunWith(dir, "ok = Lua_Exec('.\\\\orvplanted.exe', '', " + sleep + ", true)") ||
                          RunWith(dir, "ok = Lua_ShellExec('sub\\\\..\\\\orvplanted.exe', '')");
    const bool system = RunWith(dir, "ok = Lua_Exec('cmd', '', '/C exit 0', true)");
    ::SetCurrentDirectoryW(saved);
    EXPECT_FALSE(exec);
    EXPECT_FALSE(shell);
    EXPECT_FALSE(relative);
    EXPECT_TRUE(system);
    ::Sleep(300);
    EXPECT_FALSE(orv::test::FileExists(dir.Sub(L"planted")));
    EXPECT_EQ(TraceCapture::Lines().at(0), L"qz Fun:Lua_Exec, Description:orvplanted.exe it's not exists!\r\n");
    EXPECT_EQ(TraceCapture::Lines().at(2), L"qz Fun:Lua_Exec, Description:.\\orvplanted.exe is a relative path, refused\r\n");
}

// Registration: the DLL's own export, or the system's tool started from the system folder.
TEST(ShellActions, RegistrationNeedsTheDllAndItsExport) {
    TempDir dir(L"orvreg");
    TraceCapture capture;
    orv::SetGlobalText(EngineState(), "dll", orv::test::ExeDirectory() + L"\\planted.dll");
    EXPECT_FALSE(RunWith(dir, "ok = Lua_RegSvr32(dir .. '\\\\none.dll', true)"));
    EXPECT_EQ(TraceCapture::Lines().at(0),
              L"qz Fun:Lua_RegSvr32, Description:" + dir.Sub(L"none.dll") + L" it's not exists!\r\n");
    EXPECT_FALSE(RunWith(dir, "ok = Lua_RegSvr32(dll, true)"));  // loads, but has no DllRegisterServer
    EXPECT_FALSE(RunWith(dir, "ok = Lua_RegistDll(dir .. '\\\\none.dll', '/s')"));
    EXPECT_TRUE(RunWith(dir, "ok = Lua_RegistDll(dll, '/u /s')"));  // the tool started (and fails quietly)
}

struct Answer {
    int button;
    orv::test::MessageBoxContent content;
};

DWORD WINAPI AnswerBox(void* parameter) {
    auto* answer = static_cast<Answer*>(parameter);
    HWND box = orv::test::WaitForMessageBox(::GetCurrentProcessId(), 10000);
    if (!box) return 1;
    orv::test::ReadMessageBox(box, &answer->content);
    return orv::test::AnswerMessageBox(box, answer->button) ? 0 : 1;
}

int MsgBoxAnswered(const std::string& call, int button, orv::test::MessageBoxContent* content) {
    Answer answer{button, {}};
    const orv::UniqueHandle thread(::CreateThread(nullptr, 0, AnswerBox, &answer, 0, nullptr));
    EXPECT_EQ(RunScript("pressed = " + call), 1);
    ::WaitForSingleObject(thread.Get(), 15000);
    *content = answer.content;
    return orv::GetGlobalInteger(EngineState(), "pressed");
}

TEST(ShellActions, MessageBoxesReturnThePressedButton) {
    orv::test::MessageBoxContent box;
    EXPECT_EQ(MsgBoxAnswered("Lua_MsgBox()", IDOK, &box), IDOK);
    EXPECT_EQ(box.text, L"");
    EXPECT_EQ(MsgBoxAnswered("Lua_MsgBox('正文')", IDOK, &box), IDOK);
    EXPECT_EQ(box.text, L"正文");
    EXPECT_EQ(MsgBoxAnswered("Lua_MsgBox('text', '标题')", IDOK, &box), IDOK);
    EXPECT_EQ(box.caption, L"标题");
    EXPECT_EQ(MsgBoxAnswered("Lua_MsgBox('sure?', 'q', 1)", IDCANCEL, &box), IDCANCEL);  // OK and Cancel
    EXPECT_EQ(box.buttons.size(), 2u);
}

TEST(ShellActions, ModulePathsAndExpansion) {
    TempDir dir(L"orvq");
    ::SetEnvironmentVariableW(L"ORVTEST_EXPAND", L"展开");
    ASSERT_TRUE(RunWith(dir, "own, k32, none = Lua_GetModuleFileName(), Lua_GetModuleFileName('kernel32.dll'),"
                             " Lua_GetModuleFileName('orv-not-loaded.dll')"
                             " expanded = Lua_ExpandEnv('ignored', '%ORVTEST_EXPAND%\\\\x')"
                             " ok = own == self and none == self"));
    ::SetEnvironmentVariableW(L"ORVTEST_EXPAND", nullptr);
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsicmp(orv::GetGlobalText(EngineState(), "k32").c_str(), (std::wstring(system) + L"\\kernel32.dll").c_str()),
              0);
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "expanded"), L"展开\\x");
}

}  // namespace
