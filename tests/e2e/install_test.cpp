// The sample product installed silently by its own setup, and removed again by its uninstaller: files,
// registry, shortcuts, the search service and the statistics reports, as a user's machine would see them.
// The suite's name ends in Wow64 so that the 32-bit setup also runs in a 64-bit prefix.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2etest.h"
#include "fsutil.h"
#include "regutil.h"
#include "reportlistener.h"
#include "sampleproduct.h"
#include "windowprobe.h"
#include "utility/journalplace.h"
#include "utility/journalrecord.h"
#include "utility/scopeguard.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

constexpr unsigned short kReportPort = 8100;
constexpr wchar_t kEmulationKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

std::wstring SilentSetup() { return TestSetup(L"sample_silent"); }

// The version Windows reports without compatibility shims (the prefix's configured version under Wine).
bool IsWindows7() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto get = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{sizeof(version)};
    return get && get(&version) == 0 && version.dwMajorVersion == 6 && version.dwMinorVersion == 1;
}

// Type and bytes of a registry value in the program's own view; false when it is missing.
bool ReadValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* type, std::vector<BYTE>* data) {
    RegKey k;
    if (k.Open(root, key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    if (::RegQueryValueExW(k.Get(), name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
    data->resize(size);
    return ::RegQueryValueExW(k.Get(), name.c_str(), nullptr, type, data->data(), &size) == ERROR_SUCCESS;
}

// "" when the value has the type and data; else what differs.
std::string CheckValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                       const std::wstring& text, DWORD number) {
    DWORD actualType = 0;
    std::vector<BYTE> data;
    const std::string where = ToUtf8(key + L"\\" + name);
    if (!ReadValue(root, key, name, &actualType, &data)) return where + " missing; ";
    if (actualType != type) return where + " has type " + std::to_string(actualType) + "; ";
    if (type == REG_DWORD) {
        DWORD value = 0;
        memcpy(&value, data.data(), data.size() < 4 ? data.size() : 4);
        return value == number ? "" : where + " = " + std::to_string(value) + "; ";
    }
    if (type == REG_SZ) {
        const std::wstring value(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        const std::wstring trimmed = value.substr(0, value.find(L'\0'));
        return trimmed == text ? "" : where + " = " + ToUtf8(trimmed) + "; ";
    }
    return data == std::vector<BYTE>{0} ? "" : where + " has other binary data; ";
}

std::wstring LinkArguments(const std::wstring& link) {
    ComInit com;
    ComRef<IShellLinkW> shellLink;
    ComRef<IPersistFile> file;
    wchar_t arguments[1024] = L"?";
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.Put())) &&
        SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.Put())) && SUCCEEDED(file->Load(link.c_str(), STGM_READ)))
        shellLink->GetArguments(arguments, 1024);
    return arguments;
}

DWORD ServiceState(const wchar_t* name) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return 0;
    UniqueServiceHandle service(::OpenServiceW(manager.Get(), name, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !::QueryServiceStatus(service.Get(), &status)) return 0;
    return status.dwCurrentState;
}

// The setup's own copy of a chunk resource.
std::string ChunkOf(const std::wstring& setup, const wchar_t* name) {
    UniqueHModule module(::LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    HRSRC resource = module ? ::FindResourceW(module.Get(), name, L"LUA") : nullptr;
    HGLOBAL loaded = resource ? ::LoadResource(module.Get(), resource) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, ::SizeofResource(module.Get(), resource)) : std::string();
}

std::vector<std::wstring> PayloadFiles() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(::FindFirstFileW((ExeDirectory() + L"\\" ORV_SAMPLE_PAYLOAD L"\\*").c_str(), &found));
    if (!search) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (::FindNextFileW(search.Get(), &found));
    return names;
}

std::string Report(const char* kind) {
    return std::string("kind=") + kind + "&unionid=1001&appid=22&version=3.0.0.32&level=2";
}

class SampleInstallWow64 : public ::testing::Test {
protected:
    void SetUp() override { RemoveProduct(); }
    void TearDown() override { RemoveProduct(); }

    static void RemoveProduct() { RemoveProductEverywhere(); }

    std::wstring folder_;  // where the main test's install went
};

TEST_F(SampleInstallWow64, SilentInstallWritesTheProductAndItsUninstallerRemovesIt) {
    ReportListener reports(kReportPort);
    ASSERT_TRUE(reports.Ok()) << "port " << kReportPort << " is taken";

    // System tools' names planted beside the setup (a downloads folder), in the folder current at start,
    // in the temporary folder and in its parent: nothing the install or the uninstall starts is theirs.
    TempDir downloads(L"quellby downloads"), current(L"quellby current");
    const std::wstring setup = downloads.Sub(L"QuellbySetup.exe");
    ASSERT_TRUE(::CopyFileW(SilentSetup().c_str(), setup.c_str(), FALSE));
    const PlantedPrograms planted({downloads.Path(), current.Path(), TempFolder(), ParentFolder(TempFolder())});
    ASSERT_TRUE(planted.Ok());

    const SetupResult r = RunSetup(setup, {L"/s"}, kInstallTimeoutMs, current.Path());
    ASSERT_TRUE(EndedWith(r, 1));
    folder_ = TracedInstallPath(r);
    const std::vector<std::wstring> defaults = DefaultInstallFolders();
    ASSERT_NE(std::find(defaults.begin(), defaults.end(), folder_), defaults.end()) << ToUtf8(folder_);
    EXPECT_TRUE(LinesInOrder(r.lines, {L"script_version:1.0.2.57", L"start ss install!", L"InstallPath:" + folder_,
                                       L"start install report info", L"http://127.0.0.1:8100/api/InstallStat"}))
        << r.Describe();

    // Every payload file, and the uninstaller's two chunks exactly as the setup carries them.
    const std::vector<std::wstring> payload = PayloadFiles();
    ASSERT_GE(payload.size(), 7u);
    for (const std::wstring& name : payload) EXPECT_TRUE(FileExists(folder_ + L"\\" + name)) << ToUtf8(name);
    std::string dar0, dar1;
    ASSERT_TRUE(ReadFileBytes(folder_ + L"\\Uninst.dar0", &dar0));
    ASSERT_TRUE(ReadFileBytes(folder_ + L"\\Uninst.dar1", &dar1));
    EXPECT_EQ(dar0, ChunkOf(SilentSetup(), L"GLOBAL_VAR.LUAC"));
    EXPECT_EQ(dar1, ChunkOf(SilentSetup(), L"UNINSTSCRIPT.LUAC"));
    EXPECT_TRUE(FileExists(folder_ + L"\\Uninst.rec"));

    // The registry rows, in the program's own view.
    const HKEY lm = HKEY_LOCAL_MACHINE, cu = HKEY_CURRENT_USER;
    const std::wstring product = Is64BitWindows() ? L"Quellby64.exe" : L"Quellby.exe";
    const DWORD ie = IsWindows7() ? 8000 : 11000;
    struct Row {
        HKEY root;
        const wchar_t* key;
        std::wstring name;
        DWORD type;
        std::wstring text;
        DWORD number;
    };
    const std::vector<Row> rows = {
        {lm, kProductKey, L"AppPath", REG_SZ, folder_, 0},
        {lm, kProductKey, L"UnionId", REG_DWORD, L"", 1001},
        {lm, kProductKey, L"OEMUnionId", REG_DWORD, L"", 1000},
        {lm, kProductKey, L"OemID", REG_DWORD, L"", 1},
        {lm, kProductKey, L"UserID", REG_BINARY, L"", 0},
        {cu, kProductKey, L"AppPath", REG_SZ, folder_, 0},
        {cu, kProductKey, L"UnionId", REG_DWORD, L"", 1001},
        {cu, kProductKey, L"OEMUnionId", REG_DWORD, L"", 1000},
        {cu, kProductKey, L"OemID", REG_DWORD, L"", 1},
        {cu, kProductKey, L"UserID", REG_BINARY, L"", 0},
        {cu, kProductKey, L"Version", REG_DWORD, L"", 300000032},
        {cu, kProductKey, L"DisplayVersion", REG_SZ, L"3.0.0.32", 0},
        {cu, kProductKey, L"WpDisplayVersion", REG_SZ, L"3.0.0.32", 0},
        {cu, kProductKey, L"SearchDisplayVersion", REG_SZ, L"3.0.0.32", 0},
        {cu, kProductKey, L"wpupdate", REG_DWORD, L"", 1},
        {cu, kProductKey, L"SearchHtmlUpdate", REG_DWORD, L"", 1},
        {cu, kProductKey, L"InstallForService", REG_DWORD, L"", 1},
        {lm, kUninstallKey, L"DisplayIcon", REG_SZ, folder_ + L"\\Quellby.exe", 0},
        {lm, kUninstallKey, L"DisplayName", REG_SZ, kProductName, 0},
        {lm, kUninstallKey, L"DisplayVersion", REG_SZ, L"3.0.0.32", 0},
        {lm, kUninstallKey, L"EstimatedSize", REG_DWORD, L"", 56640},
        {lm, kUninstallKey, L"NoModify", REG_DWORD, L"", 1},
        {lm, kUninstallKey, L"NoRepair", REG_DWORD, L"", 1},
        {lm, kUninstallKey, L"Publisher", REG_SZ, L"奎比网络科技有限公司", 0},
        {lm, kUninstallKey, L"UninstallString", REG_SZ, L"\"" + folder_ + L"\\Uninstall.exe\"", 0},
        {lm, kUninstallKey, L"InstallLocation", REG_SZ, folder_, 0},
        {cu, kEmulationKey, product, REG_DWORD, L"", ie},
        {lm, kEmulationKey, product, REG_DWORD, L"", ie},
        {cu, kEmulationKey, L"QuellbyWallpaper.exe", REG_DWORD, L"", ie},
        {lm, kEmulationKey, L"QuellbyWallpaper.exe", REG_DWORD, L"", ie},
        {cu, kProductKey, L"StartMenuShortcutChk", REG_DWORD, L"", 1},
        {cu, kProductKey, L"SearchRunWithDesktop", REG_DWORD, L"", 1},
        {cu, kRunKey, L"Quellby", REG_SZ, L"\"" + folder_ + L"\\Quellby.exe\" /startup system", 0},
    };
    std::string wrong;
    for (const Row& row : rows) wrong += CheckValue(row.root, row.key, row.name, row.type, row.text, row.number);
    EXPECT_EQ(wrong, "");
    DWORD type = 0;
    std::vector<BYTE> date;
    EXPECT_TRUE(ReadValue(lm, kUninstallKey, L"InstallDate", &type, &date) && type == REG_SZ && date.size() == 18);

    const std::wstring programs = KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + kProductName;
    EXPECT_EQ(LinkArguments(programs + L"\\" + kProductName + L".lnk"), L"/menu");
    EXPECT_TRUE(FileExists(programs + L"\\卸载" + kProductName + L".lnk"));
    EXPECT_EQ(ServiceState(L"quellbyss"), static_cast<DWORD>(SERVICE_RUNNING));

    ASSERT_TRUE(reports.WaitFor(1, 1, 5000));
    EXPECT_EQ(reports.Datagrams().at(0), Report("1"));
    EXPECT_EQ(reports.Posts().at(0).requestLine, "POST /api/InstallStat HTTP/1.0");
    EXPECT_EQ(reports.Posts().at(0).body, Report("1"));

    // The uninstaller, started from the install folder, removes everything the setup wrote and reports
    // why, as JSON also when the texts hold quotes and backslashes.
    reports.Clear();
    const SetupResult u = RunSetup(folder_ + L"\\Uninstall.exe",
                                   {L"/S", L"/vote:4,2", L"/contact:qq \"1\"", L"/suggest:a\\b c"}, kInstallTimeoutMs,
                                   current.Path());
    ASSERT_TRUE(EndedWith(u, 1));
    EXPECT_EQ(planted.Ran(), "");
    for (const std::wstring& name : payload) EXPECT_FALSE(FileExists(folder_ + L"\\" + name)) << ToUtf8(name);
    EXPECT_FALSE(RegKeyExists(lm, kProductKey));
    EXPECT_FALSE(RegKeyExists(cu, kProductKey));
    EXPECT_FALSE(RegKeyExists(lm, kUninstallKey));
    EXPECT_FALSE(ReadValue(cu, kRunKey, L"Quellby", &type, &date));
    EXPECT_FALSE(DirExists(programs));
    EXPECT_FALSE(DirExists(folder_)) << u.Describe();  // made by the install, and empty once its files went
    EXPECT_FALSE(FileExists(KnownFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + kProductName + L".lnk"));
    EXPECT_EQ(ServiceState(L"quellbyss"), 0u);
    ASSERT_TRUE(reports.WaitFor(1, 2, 5000));
    EXPECT_EQ(reports.Datagrams().at(0), Report("2"));
    const std::vector<HttpPost> posts = reports.Posts();
    EXPECT_EQ(posts.at(0).requestLine, "POST /api/UnInstallStat HTTP/1.0");
    EXPECT_EQ(posts.at(1).requestLine, "POST /api/UninstallReport HTTP/1.0");
    EXPECT_EQ(posts.at(1).body, R"({"uninstreasonid":2, "uninstsuggest":"a\\bc","contact":"qq\"1\""})");
}

// The user's own files in the install folder outlive the uninstall; upgrades, over an install an earlier
// setup made without a log and over one with a log, leave nothing of any version behind.
TEST_F(SampleInstallWow64, AnUninstallKeepsTheUsersFilesAndUpgradesLeaveNothingBehind) {
    TempDir shared(L"quellby shared");
    const std::wstring keep = shared.Sub(L"keep.txt"), note = shared.Sub(L"docs\\深\\note.txt");
    ASSERT_TRUE(WriteFileBytes(keep, "mine") &&
                ::SHCreateDirectoryExW(nullptr, shared.Sub(L"docs\\深").c_str(), nullptr) == ERROR_SUCCESS &&
                WriteFileBytes(note, "mine"));
    ASSERT_TRUE(EndedWith(RunSetup(SilentSetup(), {L"/s", L"/path:" + shared.Path()}, kInstallTimeoutMs), 1));
    const SetupResult u = RunSetup(shared.Sub(L"Uninstall.exe"), {L"/S"}, kInstallTimeoutMs);
    ASSERT_TRUE(EndedWith(u, 1));
    EXPECT_TRUE(FileExists(keep));
    EXPECT_TRUE(FileExists(note)) << u.Describe();
    for (const std::wstring& name : PayloadFiles()) EXPECT_FALSE(FileExists(shared.Sub(name))) << ToUtf8(name);
    EXPECT_FALSE(FileExists(shared.Sub(L"Uninst.rec")));

    TempDir temp(L"quellby upgrade");
    const std::wstring target = temp.Sub(L"app");
    ASSERT_TRUE(EndedWith(RunSetup(SilentSetup(), {L"/s", L"-path=" + target}, kInstallTimeoutMs), 1));
    ASSERT_TRUE(::DeleteFileW((target + L"\\Uninst.rec").c_str()));  // as an earlier setup left it
    for (int run = 0; run < 2; ++run)
        ASSERT_TRUE(EndedWith(RunSetup(SilentSetup(), {L"/s", L"-path=" + target}, kInstallTimeoutMs), 1));
    const SetupResult last = RunSetup(target + L"\\Uninstall.exe", {L"/S"}, kInstallTimeoutMs);
    ASSERT_TRUE(EndedWith(last, 1));
    EXPECT_FALSE(DirExists(target)) << last.Describe();
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kProductKey));
}

// A silent install into `folder` with `args`; the run and the reports it sent.
struct Install {
    SetupResult run;
    std::vector<std::string> datagrams;
};

// The product a step before started may still be reporting on the same port: a report is looked for
// among all that arrived.
::testing::AssertionResult Reported(const Install& install, const std::string& report) {
    for (const std::string& datagram : install.datagrams)
        if (datagram == report) return ::testing::AssertionSuccess();
    std::string all;
    for (const std::string& datagram : install.datagrams) all += "\n  " + datagram;
    return ::testing::AssertionFailure() << "no report " << report << " among:" << all;
}

Install InstallWith(const std::wstring& setup, const std::vector<std::wstring>& args) {
    ReportListener reports(kReportPort);
    Install install;
    install.run = RunSetup(setup, args, kInstallTimeoutMs);
    if (reports.Ok()) reports.WaitFor(1, 1, 3000);
    install.datagrams = reports.Datagrams();
    return install;
}

// The command line and an existing installation choose the folder and the channel.
TEST_F(SampleInstallWow64, CommandLineAndAnExistingInstallationChooseFolderAndChannel) {
    // Silent installs are off in the shipped configuration: "/s" changes nothing.
    const SetupResult shipped = RunSetup(ExeDirectory() + L"\\" ORV_SAMPLE_SETUP, {L"/s"}, kRunTimeoutMs);
    EXPECT_TRUE(LacksLine(shipped.lines, L"start ss install!")) << shipped.Describe();

    TempDir temp(L"quellby cmd");
    const std::wstring registered = temp.Sub(L"registered"), appPath = temp.Sub(L"apppath");
    RegWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", registered);
    RegWriteString(HKEY_CURRENT_USER, kProductKey, L"AppPath", appPath);
    RegWriteDword(HKEY_CURRENT_USER, kProductKey, L"UnionId", 555);  // the installed channel is reported
    Install fromRegistry = InstallWith(SilentSetup(), {L"/s", L"-uid=4321"});
    ASSERT_TRUE(EndedWith(fromRegistry.run, 1));
    EXPECT_TRUE(HasRawLine(fromRegistry.run.lines, L"qz InstallPath:" + registered));
    EXPECT_TRUE(FileExists(registered + L"\\Quellby.exe"));
    ASSERT_FALSE(fromRegistry.datagrams.empty());
    EXPECT_TRUE(Reported(fromRegistry, "kind=3&unionid=555&appid=22&version=3.0.0.32&level=2"));  // over an install
    EXPECT_EQ(CheckValue(HKEY_LOCAL_MACHINE, kProductKey, L"UnionId", REG_DWORD, L"", 4321), "");

    RemoveProduct();
    RegWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", registered);
    const std::wstring given = temp.Sub(L"given 目录");
    Install fromArgument = InstallWith(SilentSetup(), {L"-path=" + given, L"-uid=abc", L"-s"});
    ASSERT_TRUE(EndedWith(fromArgument.run, 1));
    EXPECT_TRUE(HasRawLine(fromArgument.run.lines, L"qz InstallPath:" + given));
    EXPECT_TRUE(FileExists(given + L"\\Uninstall.exe"));
    ASSERT_FALSE(fromArgument.datagrams.empty());
    EXPECT_TRUE(Reported(fromArgument, "kind=1&unionid=0&appid=22&version=3.0.0.32&level=2"));  // not a number

    RemoveProduct();
    // A relative folder is taken against the folder the setup was started in, as the user meant it.
    const SetupResult slash = RunSetup(SilentSetup(), {L"/s", L"/path:slashed\\app"}, kInstallTimeoutMs, temp.Path());
    EXPECT_TRUE(EndedWith(slash, 1));
    EXPECT_TRUE(HasRawLine(slash.lines, L"qz InstallPath:" + temp.Sub(L"slashed\\app"))) << slash.Describe();
    EXPECT_TRUE(FileExists(temp.Sub(L"slashed\\app\\Quellby.exe")));
}

// The setup file's own name carries a channel id and, in silent mode, option markers.
TEST_F(SampleInstallWow64, SetupFileNameCarriesChannelAndSilentOptions) {
    TempDir temp(L"quellby names");
    const std::wstring named = temp.Sub(L"Quellby_1234_x-77@stt@dto@dtc@ssc.exe");
    ASSERT_TRUE(::CopyFileW(TestSetup(L"sample_names").c_str(), named.c_str(), FALSE));
    Install install = InstallWith(named, {L"-path=" + temp.Sub(L"one")});
    ASSERT_TRUE(EndedWith(install.run, 1));
    EXPECT_TRUE(HasLine(install.run.lines, L"union_id:-----------21234"));
    ASSERT_FALSE(install.datagrams.empty());
    EXPECT_TRUE(Reported(install, "kind=1&unionid=1234&appid=22&version=3.0.0.32&level=2"));
    EXPECT_EQ(CheckValue(HKEY_CURRENT_USER, kProductKey, L"OEMUnionId", REG_DWORD, L"", 77), "");
    EXPECT_EQ(CheckValue(HKEY_CURRENT_USER, kProductKey, L"SearchRunWithDesktop", REG_DWORD, L"", 0), "");
    EXPECT_EQ(ServiceState(L"quellbyss"), 0u);  // @ssc: no search service
    EXPECT_FALSE(FileExists(KnownFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + kProductName + L".lnk"));  // @dtc wins
    EXPECT_EQ(::FindWindowW(L"QuellbyWnd", nullptr), nullptr);  // @stt: not started

    RemoveProduct();
    const std::wstring outOfRange = temp.Sub(L"Quellby_99_x@st.exe");
    ASSERT_TRUE(::CopyFileW(TestSetup(L"sample_names").c_str(), outOfRange.c_str(), FALSE));
    Install started = InstallWith(outOfRange, {L"-path=" + temp.Sub(L"two")});
    ASSERT_TRUE(EndedWith(started.run, 1));
    EXPECT_TRUE(LacksLine(started.run.lines, L"union_id:-----------2"));
    ASSERT_FALSE(started.datagrams.empty());
    EXPECT_TRUE(Reported(started, "kind=1&unionid=1001&appid=22&version=3.0.0.32&level=2"));
    HWND product = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (product = ::FindWindowW(L"QuellbyWnd", nullptr)) != nullptr; }, 10000));
    if (product) ::PostMessageW(product, WM_CLOSE, 0, 0);
}

// A product that runs is ended, and a payload file held open is moved aside so the new one is written.
TEST_F(SampleInstallWow64, InstallsOverTheRunningProductAndAFileHeldOpen) {
    TempDir temp(L"quellby over");
    const std::wstring target = temp.Sub(L"app");
    ASSERT_TRUE(EndedWith(InstallWith(SilentSetup(), {L"/s", L"-path=" + target}).run, 1));
    const std::wstring program = target + (Is64BitWindows() ? L"\\Quellby64.exe" : L"\\Quellby.exe");
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program + L"\"";
    ASSERT_TRUE(::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    // A product the setup failed to end must not outlive the test (it would hold the runner's output).
    const auto stopProduct = MakeScopeExit([&] { ::TerminateProcess(process.Get(), 1); });
    ASSERT_TRUE(WaitUntil([] { return ::FindWindowW(L"QuellbyWnd", nullptr) != nullptr; }, 10000));
    const std::wstring held = target + L"\\readme.txt";
    ASSERT_TRUE(WriteFileBytes(held, "old"));
    // Held the way a loaded program holds its file: nobody may write it, but it may be renamed.
    UniqueFileHandle holder(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    const SetupResult r = RunSetup(SilentSetup(), {L"/s", L"-path=" + target}, kInstallTimeoutMs);
    EXPECT_TRUE(EndedWith(r, 1));
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 5000), WAIT_OBJECT_0) << "the running product was ended";
    // The journal moved the old file aside before the new one was written: nothing met it in use.
    EXPECT_TRUE(HasLine(r.lines, L"install journal: moving aside \\\\?\\" + held)) << r.Describe();
    EXPECT_TRUE(LacksLine(r.lines, L"  创建文件出错:"));
    holder.Reset();
    std::string text;
    ASSERT_TRUE(ReadFileBytes(held, &text));
    EXPECT_NE(text, "old");
}

// The setup refuses an old Windows and a failed extraction with a message box, and ends with 0.
TEST_F(SampleInstallWow64, OldWindowsAndAFailedExtractionEndWithAMessage) {
    TempDir temp(L"quellby refused");
    const std::wstring setup = temp.Sub(L"QuellbyOldWindows.exe");
    ASSERT_TRUE(::CopyFileW(SilentSetup().c_str(), setup.c_str(), FALSE));
    const std::wstring appKey = L"Software\\Wine\\AppDefaults\\QuellbyOldWindows.exe";
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, appKey, L"Version", L"winxp"));
    struct Case {
        std::wstring exe;
        std::vector<std::wstring> args;
        std::wstring text;
    };
    const Case cases[] = {
        {setup, {L"/s"}, std::wstring(kProductName) + L" 目前只支持WIN7和更新的Windows操作系统！"},
        {SilentSetup(), {L"/s", L"-path=Q:\\nowhere\\Quellby"}, L"释放文件时出现错误，安装程序将终止！"},
    };
    for (const Case& c : cases) {
        SetupProcess run;
        ASSERT_TRUE(run.Start(c.exe, c.args));
        HWND box = WaitForMessageBox(run.ProcessId(), kInstallTimeoutMs);
        ASSERT_NE(box, nullptr) << ToUtf8(c.text);
        MessageBoxContent content;
        EXPECT_TRUE(ReadMessageBox(box, &content));
        EXPECT_EQ(content.text, c.text);
        EXPECT_TRUE(DismissMessageBox(box));
        EXPECT_TRUE(EndedWith(run.Finish(kRunTimeoutMs), 0));
    }
    RegDeleteTreeAt(HKEY_CURRENT_USER, appKey);
}


// An upgrade of version 1 (two files, a value, a key tree, a shortcut) by the journal product, which
// replaces both files, adds one in a new folder, changes the value, adds one, deletes the tree and
// rewrites the shortcut.
class InstallJournal : public ::testing::Test {
protected:
    static constexpr wchar_t kKey[] = L"Software\\OrvJournalE2E";

    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        RegDeleteTreeAt(HKEY_CURRENT_USER, kKey);
        ASSERT_TRUE(WriteFileBytes(App(L"a.txt"), "v1 a"));
        ASSERT_TRUE(WriteFileBytes(App(L"b.txt"), "v1 b"));
        ASSERT_TRUE(WriteFileBytes(App(L"link.lnk"), "v1 link"));
        ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kKey, L"Version", L"1"));
        ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, std::wstring(kKey) + L"\\Old\\Deeper", L"Kept", L"yes"));
    }
    void TearDown() override { RegDeleteTreeAt(HKEY_CURRENT_USER, kKey); }

    std::wstring App(const std::wstring& name) const { return dir_.Sub(name); }

    ScopedEnv::Vars Env(const wchar_t* end, bool install = true) const {
        return {{L"ORVTEST_SILENT", L"1"},        {L"ORVTEST_FINISH", L"0"},
                {L"ORVTEST_INSTALL_PATH", installPath_}, {L"ORVTEST_END", end},
                {L"ORVTEST_NOINSTALL", install ? L"0" : L"1"},
                {L"ORVTEST_DAMAGED", ExeDirectory() + L"\\unit\\damaged.7z"}, {L"ORVTEST_FILL", fill_}};
    }

    std::string Text(const std::wstring& name) const {
        std::string bytes;
        return ReadFileBytes(App(name), &bytes) ? bytes : "<none>";
    }

    // "" when the machine is as version 1 left it; else what differs.
    std::string Version1Differs() const {
        std::string diff;
        if (Text(L"a.txt") != "v1 a") diff += "a.txt: " + Text(L"a.txt") + "; ";
        if (Text(L"b.txt") != "v1 b") diff += "b.txt: " + Text(L"b.txt") + "; ";
        if (Text(L"link.lnk") != "v1 link") diff += "the shortcut changed; ";
        if (DirExists(App(L"sub"))) diff += "sub is there; ";
        diff += CheckValue(HKEY_CURRENT_USER, kKey, L"Version", REG_SZ, L"1", 0);
        diff += CheckValue(HKEY_CURRENT_USER, std::wstring(kKey) + L"\\Old\\Deeper", L"Kept", REG_SZ, L"yes", 0);
        DWORD type = 0;
        std::vector<BYTE> data;
        if (ReadValue(HKEY_CURRENT_USER, kKey, L"Added", &type, &data)) diff += "Added is there; ";
        WIN32_FIND_DATAW found;
        if (UniqueFindHandle(::FindFirstFileW(App(L"orvtmp-*.tmp").c_str(), &found)).Valid())
            diff += "a temporary file is left; ";
        return diff;
    }

    // A later setup of the product, which changes nothing itself: it finds what the earlier run left.
    SetupResult NextStart() const {
        ScopedEnv env(Env(L"none", false));
        return RunSetup(TestSetup(L"journal"), {}, kRunTimeoutMs);
    }

    // Kills a run of the upgrade at the `occurrence`-th line holding `line`; the next start of a setup of
    // the product, before its first hook, finds `found` and finishes what the dead run left.
    void KillAndStartAgain(const wchar_t* line, unsigned occurrence, const wchar_t* found) {
        {
            ScopedEnv env(Env(L"none"));
            SetupProcess run;
            run.Run().KillAtLine(line, occurrence);
            ASSERT_TRUE(run.Start(TestSetup(L"journal"), {}));
            killedProcess_ = run.ProcessId();
            const SetupResult killed = run.Finish(kRunTimeoutMs);
            ASSERT_EQ(killed.exitCode, DebugRun::kKilledExitCode) << killed.Describe();
        }
        const SetupResult next = NextStart();
        EXPECT_TRUE(EndedWith(next, 1));
        EXPECT_TRUE(LinesInOrder(next.lines, {found, L"hook:ORVSE_BeforeInit"}));
    }

    // Whether an old file of the killed run is left in the journal's folder.
    bool OldFileOfTheKilledRunLeft() const {
        WIN32_FIND_DATAW found;
        const std::wstring pattern = JournalFolder(22) + L"\\old\\" + std::to_wstring(killedProcess_) + L"-*.old";
        UniqueFindHandle search(::FindFirstFileW(pattern.c_str(), &found));
        return search.Valid();
    }

    TempDir dir_{L"orvjournal"};
    std::wstring installPath_ = dir_.Path();  // the same folder, maybe through another drive letter
    std::wstring fill_ = L"0";                // the length of a description recorded before the extraction
    DWORD killedProcess_ = 0;
};

// The journal's folder as a file system of one page of its own (a tmpfs mounted over it), filled by the
// journal alone; and the install reached through a second drive letter for its temporary folder, so that
// its old files wait at that drive's root, on the install's own file system (Wine cannot rename across
// Unix file systems). Undone when it goes.
class SmallJournalDisk {
public:
    SmallJournalDisk(const std::wstring& installFolder) : journal_(JournalFolder(22).substr(4)) {
        wchar_t temp[MAX_PATH] = L"", prefix[MAX_PATH] = L"";
        ::GetTempPathW(MAX_PATH, temp);
        temp_ = temp;
        if (temp_.back() == L'\\') temp_.pop_back();
        if (!::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH)) {
            why_ = "not under Wine";
            return;
        }
        drive_ = ToUtf8(prefix) + "/dosdevices/q:";
        ::CreateDirectoryW(journal_.c_str(), nullptr);
        const std::string made = RunUnixShell("/bin/mount -t tmpfs -o size=4k orvjournalfull '" + UnixPath(journal_) +
                                                  "' >" + Marker() + ".part 2>&1 && echo mounted >" + Marker() +
                                                  ".part; mv " + Marker() + ".part " + Marker(),
                                              temp_ + L"\\orvdisk.done");
        mounted_ = made.compare(0, 7, "mounted") == 0;
        if (!mounted_) {
            why_ = "mount failed: " + (made.empty() ? std::string("no answer from the shell") : made);
            return;
        }
        ready_ = MakeUnixSymlink(UnixPath(temp_), drive_) &&
                 WaitUntil([] { return ::GetFileAttributesW(L"Q:\\") != INVALID_FILE_ATTRIBUTES; });
        if (!ready_) why_ = "drive Q: could not be made";
        installFolder_ = L"Q:" + installFolder.substr(temp_.size());
    }
    ~SmallJournalDisk() {
        RemoveUnixSymlink(drive_);
        if (mounted_)
            RunUnixShell("/bin/umount '" + UnixPath(journal_) + "'; echo >" + Marker() + ".part; mv " + Marker() +
                             ".part " + Marker(),
                         temp_ + L"\\orvdisk.done");
        ::RemoveDirectoryW(journal_.c_str());
        ::RemoveDirectoryW((temp_ + L"\\ORVInstaller old 22").c_str());
    }
    bool Ready() const { return mounted_ && ready_; }
    const std::string& Why() const { return why_; }
    const std::wstring& InstallFolder() const { return installFolder_; }

private:
    std::string Marker() const { return "'" + UnixPath(temp_) + "/orvdisk.done'"; }

    std::wstring journal_, temp_, installFolder_;
    std::string drive_, why_;
    bool mounted_ = false, ready_ = false;
};

TEST_F(InstallJournal, EveryEarlyEndOfTheInstallHookLeavesVersion1) {
    for (const wchar_t* end : {L"exit", L"extract", L"error"}) {
        SCOPED_TRACE(ToUtf8(end));
        ScopedEnv env(Env(end));
        SetupProcess run;
        ASSERT_TRUE(run.Start(TestSetup(L"journal"), {}));
        if (std::wstring(end) == L"error") {  // the script error box, answered
            HWND box = WaitForMessageBox(run.ProcessId(), kRunTimeoutMs);
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(DismissMessageBox(box));
        }
        const SetupResult r = run.Finish(kRunTimeoutMs);
        EXPECT_TRUE(EndedWith(r, 0));
        EXPECT_TRUE(LinesInOrder(r.lines, {L"file:", L"install journal: rollback"}));
        EXPECT_EQ(Version1Differs(), "");
    }
}

TEST_F(InstallJournal, ACompletedInstallKeepsItsChangesAndNoOldFile) {
    ScopedEnv env(Env(L"none"));
    const SetupResult r = RunSetup(TestSetup(L"journal"), {}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"hook:ORVSE_OnInstall", L"install journal: commit",
                                       L"hook:ORVSE_BeforeComplete", L"restart needed: false"}));
    EXPECT_EQ(Text(L"a.txt"), "v2 a");
    EXPECT_EQ(Text(L"sub\\c.txt"), "v2 c");
    EXPECT_EQ(CheckValue(HKEY_CURRENT_USER, kKey, L"Version", REG_SZ, L"2", 0), "");
    const SetupResult next = NextStart();
    EXPECT_TRUE(EndedWith(next, 1));
    EXPECT_TRUE(LacksLine(next.lines, L"earlier run"));
}

// A record that does not fit on the journal's disk refuses its change and leaves no part of itself: a
// smaller record after it still fits, and the run, whose script goes on past a refused registry change,
// completes with what it recorded.
TEST_F(InstallJournal, FullDiskRefusesTheRecordThatDoesNotFitAndLeavesNothingOfIt) {
    SmallJournalDisk disk(dir_.Path());
    if (!disk.Ready()) GTEST_SKIP() << "SKIPPED: no small disk for the journal: " << disk.Why();
    // The tree the upgrade deletes holds a value whose old data is larger than the space left.
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, std::wstring(kKey) + L"\\Old", L"Big", std::wstring(3000, L'b')));
    installPath_ = disk.InstallFolder();
    ScopedEnv env(Env(L"none"));
    const SetupResult r = RunSetup(TestSetup(L"journal"), {}, kRunTimeoutMs);
    EXPECT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"\\Old not written, error 112: change refused", L"Lua_RegDel",
                                       L"install journal: moving aside", L"install journal: commit"}));
    EXPECT_EQ(CheckValue(HKEY_CURRENT_USER, std::wstring(kKey) + L"\\Old\\Deeper", L"Kept", REG_SZ, L"yes", 0), "");
    EXPECT_NE(Text(L"link.lnk"), "v1 link");
    EXPECT_TRUE(LacksLine(NextStart().lines, L"earlier run"));
}

// The journal's disk fills up during the extraction: an outside change with a long description recorded
// first leaves room for the staging folder's record and half of the new folder's, or for those and the
// first file's and half of the next one's. What does not fit is refused (a new folder, made first, is taken away again), the
// extraction fails, and the run ends rolled back and failed (a rollback needs no space).
TEST_F(InstallJournal, FullDiskDuringTheExtractionRollsTheRunBack) {
    SmallJournalDisk disk(dir_.Path());
    if (!disk.Ready()) GTEST_SKIP() << "SKIPPED: no small disk for the journal: " << disk.Why();
    installPath_ = disk.InstallFolder();
    auto size = [](JournalKind kind, const std::wstring& path, const std::wstring& other) {
        JournalRecord record;
        record.kind = kind;
        record.path = path;
        record.other = other;
        return EncodeJournalRecord(record).size();
    };
    const std::wstring install = LongPath(installPath_), aside = L"\\\\?\\Q:\\ORVInstaller old 22\\1000-1.old";
    const size_t filler = size(JournalKind::kOutside, L"", L"file " + install + L"\\never.txt");
    // The folder where the extraction makes its temporary files comes first, with the process named in
    // hexadecimal (four digits under Wine; a digit more or less is well inside half a record), then folders.
    const size_t staging = size(JournalKind::kStaging, install, L"ffff");
    const size_t folder = size(JournalKind::kFolderCreated, install + L"\\sub", L"");
    const size_t a = size(JournalKind::kFileAside, install + L"\\a.txt", aside);
    const size_t b = size(JournalKind::kFileAside, install + L"\\b.txt", aside);
    const struct {
        size_t room;
        const wchar_t* refused;
    } cuts[] = {{staging + folder / 2, L"\\sub not written, error 112: change refused"},
                {staging + folder + a + b / 2, L"\\b.txt not written, error 112: change refused"}};
    for (const auto& cut : cuts) {
        SCOPED_TRACE(ToUtf8(cut.refused));
        fill_ = std::to_wstring((4096 - EncodeJournalHeader(22).size() - filler - cut.room) / 2);  // one page
        ScopedEnv env(Env(L"none"));
        const SetupResult r = RunSetup(TestSetup(L"journal"), {}, kRunTimeoutMs);
        EXPECT_TRUE(EndedWith(r, 0));
        EXPECT_TRUE(LinesInOrder(r.lines, {cut.refused, L"install journal: rollback"}));
        EXPECT_TRUE(LacksLine(r.lines, L"install journal: commit"));
        EXPECT_EQ(Version1Differs(), "");
    }
    EXPECT_TRUE(LacksLine(NextStart().lines, L"earlier run"));
}

// Killed at exact points, each in its own copy of the prefix (see tests/CMakeLists.txt).
constexpr wchar_t kRolledBack[] = L"the install journal of an earlier run was rolled back";

TEST_F(InstallJournal, KilledAfterSomeFilesIsRolledBack) {
    KillAndStartAgain(L"file:", 2, kRolledBack);
    EXPECT_EQ(Version1Differs(), "");
}

TEST_F(InstallJournal, KilledBetweenARecordAndItsChangeIsRolledBack) {
    KillAndStartAgain(L"install journal: moving aside", 1, kRolledBack);
    EXPECT_EQ(Version1Differs(), "");
}

TEST_F(InstallJournal, KilledDuringTheCommitIsFoundCommitted) {
    KillAndStartAgain(L"install journal: commit", 1, L"the install journal of an earlier run was found committed");
    EXPECT_EQ(Text(L"b.txt"), "v2 b");
    EXPECT_EQ(CheckValue(HKEY_CURRENT_USER, kKey, L"Added", REG_SZ, L"new", 0), "");
    EXPECT_FALSE(OldFileOfTheKilledRunLeft());
}

}  // namespace
}  // namespace test
}  // namespace orv
