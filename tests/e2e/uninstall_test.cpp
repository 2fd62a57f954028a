// Uninstall.exe with the sample product's uninstall chunks, on a prepared, registered install folder: what a
// silent run removes, the reason report, the run through its private copy, and the ways it stops early.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "e2etest.h"
#include "fsutil.h"
#include "regutil.h"
#include "windowprobe.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace test {
namespace {

const std::wstring kProductKey = L"SOFTWARE\\Quellby";
const std::wstring kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellby";
const std::wstring kProductName = L"奎比桌面";

std::wstring Fixture(const std::wstring& name) { return ExeDirectory() + L"\\uninstall-fixture\\" + name; }

bool CopyFixture(const std::wstring& name, const std::wstring& folder) {
    return ::CopyFileW(Fixture(name).c_str(), (folder + L"\\" + name).c_str(), FALSE) != FALSE;
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return ::SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? path : L"";
}

std::wstring QuickLaunchLink(const std::wstring& name) {
    return SpecialFolder(CSIDL_APPDATA) + L"\\Microsoft\\Internet Explorer\\Quick Launch\\" + name + L".lnk";
}

// A shortcut file as the setup makes it (its content does not matter here), with its folder.
bool PlaceLink(const std::wstring& path) {
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    const int made = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return (made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS) && WriteFileBytes(path, "link");
}

// An install log listing the folder and `files` in it as written by the install, and `extra` lines.
bool WriteInstallLog(const std::wstring& folder, const std::vector<std::wstring>& files, const std::string& extra = "") {
    std::string text = "ORV install record\t1\r\nD\tC\t" + ToUtf8(folder) + "\r\n";
    for (const std::wstring& file : files) {
        const size_t slash = file.rfind(L'\\');
        if (slash != std::wstring::npos) text += "D\tC\t" + ToUtf8(folder + L"\\" + file.substr(0, slash)) + "\r\n";
        text += "F\tC\t" + ToUtf8(folder + L"\\" + file) + "\r\n";
    }
    return WriteFileBytes(folder + L"\\Uninst.rec", text + extra);
}

// An installation as the setup leaves it: the chunks, the helper DLL, product files, the registry keys,
// a Quick Launch shortcut and the install log. The keys and shortcuts are removed again when the object
// goes away.
class Installation {
public:
    Installation() : dir_(L"orvuninst") {
        ok_ = dir_.Ok() && CopyFixture(L"Uninst.dar0", Path()) && CopyFixture(L"Uninst.dar1", Path()) &&
              CopyFixture(L"func_helper.dll", Path()) && CopyFixture(L"Uninstall.exe", Path()) &&
              WriteFileBytes(dir_.Sub(L"Quellby.exe"), "program") && ::CreateDirectoryW(dir_.Sub(L"data").c_str(), nullptr) &&
              WriteFileBytes(dir_.Sub(L"data\\settings.ini"), "[x]") &&
              RegWriteString(HKEY_LOCAL_MACHINE, kProductKey, L"AppPath", Path()) &&
              RegWriteDword(HKEY_CURRENT_USER, kProductKey, L"UnionId", 1234) &&
              RegWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", Path()) &&
              RegWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", L"\"" + Program() + L"\"") &&
              PlaceLink(QuickLaunchLink(kProductName)) &&
              WriteInstallLog(Path(), {L"Uninst.dar0", L"Uninst.dar1", L"func_helper.dll", L"Uninstall.exe",
                                       L"Quellby.exe", L"data\\settings.ini"});
    }
    ~Installation() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteTreeAt(root, kProductKey);
        RegDeleteTreeAt(HKEY_LOCAL_MACHINE, kUninstallKey);
        ::DeleteFileW(QuickLaunchLink(kProductName).c_str());
    }
    bool Ok() const { return ok_; }
    const std::wstring& Path() const { return dir_.Path(); }
    std::wstring Program() const { return dir_.Sub(L"Uninstall.exe"); }
    bool Untouched() const {
        return FileExists(dir_.Sub(L"data\\settings.ini")) && FileExists(dir_.Sub(L"Uninst.dar1")) &&
               RegKeyExists(HKEY_LOCAL_MACHINE, kProductKey) && RegKeyExists(HKEY_CURRENT_USER, kProductKey) &&
               RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && FileExists(QuickLaunchLink(kProductName));
    }
    // What the uninstaller should have removed and did not; empty when everything is gone.
    std::string Leftovers() const {
        std::string left;
        if (DirExists(Path())) left += " install-folder";
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kProductKey)) left += " HKLM-product-key";
        if (RegKeyExists(HKEY_CURRENT_USER, kProductKey)) left += " HKCU-product-key";
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) left += " uninstall-key";
        if (FileExists(QuickLaunchLink(kProductName))) left += " quick-launch-link";
        return left;
    }

private:
    TempDir dir_;
    bool ok_ = false;
};

// The uninstaller started from the install folder, with the lines of the copy it runs.
SetupResult RunUninstaller(const Installation& install, const std::vector<std::wstring>& args) {
    SetupProcess run;
    run.FollowChildProcesses();
    run.Start(install.Program(), args);
    return run.Finish(kRunTimeoutMs);
}

// The copy's folder and process id, from the line the uninstaller writes when it has started the copy.
bool CopyStarted(const std::vector<std::wstring>& lines, std::wstring* folder, DWORD* processId) {
    const std::wstring runs = L"the uninstaller's copy runs from ", as = L" as process ";
    const int at = IndexOf(lines, runs);
    if (at < 0) return false;
    const std::wstring line = StripTag(lines[at]);
    const size_t from = line.find(runs) + runs.size(), pid = line.rfind(as);
    if (pid == std::wstring::npos || pid < from) return false;
    *folder = line.substr(from, pid - from);
    *processId = static_cast<DWORD>(std::wcstoul(line.c_str() + pid + as.size(), nullptr, 10));
    return true;
}

// A JSON string literal at `text[*pos]` (the opening quote), decoded; false when it is not valid JSON.
bool ReadJsonString(const std::string& text, size_t* pos, std::string* out) {
    if (*pos >= text.size() || text[*pos] != '"') return false;
    out->clear();
    for (size_t i = *pos + 1; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c < 0x20) return false;
        if (c != '\\') {
            out->push_back(static_cast<char>(c));
            continue;
        }
        if (++i >= text.size()) return false;
        const std::string simple = "\"\\/bfnrt", decoded = "\"\\/\b\f\n\r\t";
        const size_t k = simple.find(text[i]);
        if (k != std::string::npos) {
            out->push_back(decoded[k]);
        } else if (text[i] == 'u' && i + 4 < text.size()) {
            const unsigned long unit = std::stoul(text.substr(i + 1, 4), nullptr, 16);
            if (unit >= 0x80) return false;  // the script escapes control characters only
            out->push_back(static_cast<char>(unit));
            i += 4;
        } else {
            return false;
        }
    }
    return false;
}

void SkipSpace(const std::string& text, size_t* pos) {
    while (*pos < text.size() && (text[*pos] == ' ' || text[*pos] == '\t' || text[*pos] == '\r' || text[*pos] == '\n')) ++*pos;
}

// {"uninstreasonid":N, "uninstsuggest":"...","contact":"..."} parsed as JSON; false when it is not valid.
bool ParseReason(const std::string& text, int* id, std::string* suggest, std::string* contact) {
    size_t pos = 0;
    SkipSpace(text, &pos);
    if (pos >= text.size() || text[pos++] != '{') return false;
    const char* keys[] = {"uninstreasonid", "uninstsuggest", "contact"};
    for (int field = 0; field < 3; ++field) {
        std::string key;
        SkipSpace(text, &pos);
        if (!ReadJsonString(text, &pos, &key) || key != keys[field]) return false;
        SkipSpace(text, &pos);
        if (pos >= text.size() || text[pos++] != ':') return false;
        SkipSpace(text, &pos);
        if (field == 0) {
            const size_t start = pos;
            while (pos < text.size() && isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
            if (pos == start) return false;
            *id = std::stoi(text.substr(start, pos - start));
        } else if (!ReadJsonString(text, &pos, field == 1 ? suggest : contact)) {
            return false;
        }
        SkipSpace(text, &pos);
        if (pos >= text.size() || text[pos++] != (field == 2 ? '}' : ',')) return false;
    }
    SkipSpace(text, &pos);
    return pos == text.size();
}

TEST(Uninstaller, SilentRunRemovesFilesKeysAndShortcutsAndRunsEveryHook) {
    Installation install;
    ASSERT_TRUE(install.Ok());
    ASSERT_TRUE(install.Untouched());

    const SetupResult r = RunUninstaller(install, {L"/S"});
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"script_version:1.0.2.55", L"union_id=1234", L"HKLM\\" + kProductKey,
                                       L"HKCU\\" + kProductKey, L"HKLM\\" + kUninstallKey,
                                       L"Install log " + install.Path() + L"\\Uninst.rec: everything removed",
                                       L"-----install----"}));
    EXPECT_TRUE(LacksLine(r.lines, L"uninstreason:"));  // no contact text: no reason report
    EXPECT_EQ(install.Leftovers(), "");
}

TEST(Uninstaller, OnlyWhatTheLogListsGoesAndEntriesOutsideTheFolderAreRefused) {
    Installation install;
    TempDir elsewhere(L"orvelsewhere");
    const std::wstring outside = elsewhere.Sub(L"system.dll"), behind = install.Path() + L"\\..\\" + L"keep.dll";
    ASSERT_TRUE(install.Ok() && WriteFileBytes(outside, "x") && WriteFileBytes(install.Path() + L"\\keep.txt", "mine") &&
                ::CreateDirectoryW((install.Path() + L"\\docs").c_str(), nullptr) &&
                WriteFileBytes(install.Path() + L"\\data\\深.txt", "mine"));
    std::string log;
    ASSERT_TRUE(ReadFileBytes(install.Path() + L"\\Uninst.rec", &log));
    ASSERT_TRUE(WriteFileBytes(install.Path() + L"\\Uninst.rec",
                               log + "F\tC\t" + ToUtf8(outside) + "\r\nF\tC\t" + ToUtf8(behind) + "\r\n"));

    const SetupResult r = RunUninstaller(install, {L"/S"});
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(FileExists(outside));
    EXPECT_TRUE(FileExists(install.Path() + L"\\keep.txt"));
    EXPECT_TRUE(FileExists(install.Path() + L"\\data\\深.txt"));
    EXPECT_TRUE(DirExists(install.Path() + L"\\docs"));
    EXPECT_FALSE(FileExists(install.Path() + L"\\Quellby.exe"));
    EXPECT_FALSE(FileExists(install.Path() + L"\\data\\settings.ini"));
    EXPECT_FALSE(FileExists(install.Path() + L"\\Uninst.rec"));
    EXPECT_TRUE(ContainsLine(r.lines, L"Fun:Lua_RemoveInstallLog, Description:" + outside +
                                          L" refused, it lies outside the install folder and the install's own places"));
    EXPECT_TRUE(ContainsLine(r.lines, L"Fun:Lua_RemoveInstallLog, Description:" + behind +
                                          L" refused, it is no plain full path"));
    EXPECT_TRUE(ContainsLine(r.lines, L"Fun:Lua_RemoveInstallLog, Description:" + install.Path() +
                                          L" kept, it holds files the install did not write"));
    EXPECT_EQ(install.Leftovers(), " install-folder");
}

TEST(Uninstaller, ReasonReportIsValidJsonWhateverTheTextsHold) {
    Installation install;
    ASSERT_TRUE(install.Ok());

    const SetupResult r = RunUninstaller(install, {L"/S", L"/vote:4,2", L"/suggest:too \"slow\" /r/nat C:\\dir\x01 end",
                                                    L"/contact:me\\\"x\" @ host\t1"});
    ASSERT_TRUE(EndedWith(r, 1));
    const std::wstring marker = L"uninstreason:";
    const int at = IndexOf(r.lines, marker);
    ASSERT_GE(at, 0) << r.Describe();
    const std::wstring line = StripTag(r.lines[at]);
    const std::string json = ToUtf8(line.substr(line.find(marker) + marker.size()));
    int id = -1;
    std::string suggest, contact;
    ASSERT_TRUE(ParseReason(json, &id, &suggest, &contact)) << json;
    EXPECT_EQ(id, 2);  // the first checked box
    EXPECT_EQ(suggest, "too\"slow\"atC:\\dir\x01" "end");
    EXPECT_EQ(contact, "me\\\"x\"@host1");
    EXPECT_EQ(install.Leftovers(), "");
}

// The copy and the statistics DLLs its script copies beside it live in a new folder of their own, which
// is gone afterwards; nothing of theirs is left in %TEMP% or its parent, and nothing planted there loads.
TEST(Uninstaller, TheCopyRunsFromAPrivateFolderThatIsGoneAfterwards) {
    Installation install;
    ASSERT_TRUE(install.Ok() && CopyFixture(L"vektostat.dll", install.Path()) &&
                CopyFixture(L"udp_vekto.dll", install.Path()) &&
                WriteInstallLog(install.Path(), {L"Uninst.dar0", L"Uninst.dar1", L"func_helper.dll", L"Uninstall.exe",
                                                 L"Quellby.exe", L"data\\settings.ini", L"vektostat.dll",
                                                 L"udp_vekto.dll"}));
    const std::wstring temp = TempFolder();
    const PlantedPrograms planted({temp, ParentFolder(temp)}, {L"vektostat.dll", L"udp_vekto.dll"}, kMarkerDll);
    ASSERT_TRUE(planted.Ok());
    auto copiesIn = [](const std::wstring& folder) {
        int count = 0;
        WIN32_FIND_DATAW found;
        const UniqueFindHandle find(::FindFirstFileW((folder + L"\\Uninstall*").c_str(), &found));
        if (!find) return count;
        do ++count; while (::FindNextFileW(find.Get(), &found));
        return count;
    };
    const int copiesBefore = copiesIn(temp) + copiesIn(ParentFolder(temp));

    const SetupResult r = RunUninstaller(install, {L"/S"});
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_EQ(install.Leftovers(), "");
    std::wstring folder;
    DWORD processId = 0;
    ASSERT_TRUE(CopyStarted(r.lines, &folder, &processId)) << r.Describe();
    EXPECT_TRUE(ContainsLine(r.lines, L"Copy " + install.Path() + L"\\vektostat.dll to " + folder + L"\\vektostat.dll !"));
    EXPECT_EQ(ParentFolder(folder), temp);
    EXPECT_EQ(folder.rfind(temp + L"\\orv", 0), 0u);
    EXPECT_FALSE(DirExists(folder));
    EXPECT_EQ(planted.Ran(), "");
    EXPECT_EQ(copiesIn(temp) + copiesIn(ParentFolder(temp)), copiesBefore);
}

// Only the registered uninstaller, from its own folder, starts a copy; and a copy runs only for the
// registered uninstaller that started it: started directly, it runs no chunks, not even the install's.
TEST(Uninstaller, StartedDirectlyWithAFolderItRunsNothing) {
    Installation install;
    TempDir user(L"orvunuser");
    ASSERT_TRUE(install.Ok() && user.Ok() && WriteMarkerChunks(user.Path()));
    for (const std::wstring& folder : {user.Path(), install.Path()}) {
        const SetupResult r = RunSetup(install.Program(), {L"/S", L"/_from:" + folder}, kRunTimeoutMs);
        EXPECT_TRUE(EndedWith(r, 0));
        EXPECT_TRUE(ContainsLine(r.lines, L"refused: /_from: is taken only from the registered uninstaller"));
        EXPECT_TRUE(LacksLine(r.lines, L"script_version:"));
    }
    EXPECT_FALSE(FileExists(ChunkRanMarker(user.Path())));
    EXPECT_TRUE(install.Untouched());

    // Registered for another folder, or with the folder in a value that is not a string, it refuses too.
    RegKey entry;
    ASSERT_EQ(entry.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_SET_VALUE), ERROR_SUCCESS);
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_BINARY)}) {
        const std::wstring& value = type == REG_SZ ? user.Path() : install.Path();
        ASSERT_EQ(::RegSetValueExW(entry.Get(), L"InstallLocation", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        const SetupResult moved = RunSetup(install.Program(), {L"/S"}, kRunTimeoutMs);
        EXPECT_TRUE(EndedWith(moved, 0));
        EXPECT_TRUE(ContainsLine(moved.lines, L"refused: this uninstaller is not the one registered for its folder"));
    }
    EXPECT_TRUE(install.Untouched());
}

TEST(Uninstaller, CancelKeepsTheInstallationAndAMissingChunkStopsWithZero) {
    Installation install;
    // Entries other setups wrote name the program without quotes, some with arguments after it.
    ASSERT_TRUE(install.Ok() &&
                RegWriteString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", install.Program() + L" /x"));

    SetupProcess run;
    run.FollowChildProcesses();
    ASSERT_TRUE(run.Start(install.Program(), {}));
    ASSERT_TRUE(run.WaitForLine(L"the uninstaller's copy runs from", kRunTimeoutMs));
    std::wstring folder;
    DWORD copy = 0;
    ASSERT_TRUE(CopyStarted(run.Lines(), &folder, &copy));
    HWND box = WaitForMessageBox(copy, kRunTimeoutMs);
    ASSERT_NE(box, nullptr) << DescribeWindows(copy);
    MessageBoxContent content;
    EXPECT_TRUE(ReadMessageBox(box, &content));
    EXPECT_EQ(content.text, L"确定要完全移除 " + kProductName + L" 及其所有组件吗？");
    EXPECT_TRUE(AnswerMessageBox(box, IDCANCEL));
    EXPECT_TRUE(EndedWith(run.Finish(kRunTimeoutMs), 2));
    EXPECT_TRUE(install.Untouched());

    ASSERT_TRUE(::DeleteFileW((install.Path() + L"\\Uninst.dar1").c_str()));
    const SetupResult r = RunUninstaller(install, {L"/S"});
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"cannot open " + install.Path() + L"\\Uninst.dar1"));
    EXPECT_TRUE(LacksLine(r.lines, L"script_version:"));
    EXPECT_TRUE(FileExists(install.Path() + L"\\data\\settings.ini"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

}  // namespace
}  // namespace test
}  // namespace orv
