// The file actions on real files of the test prefix: folders, copies, moves, renames, deletion of files
// and trees, deletion at reboot, temporary and unique names.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <winioctl.h>

#include <string>
#include <vector>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/deletedirectories.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"

namespace {

using orv::test::DirExists;
using orv::test::FileExists;
using orv::test::MakeJunction;
using orv::test::ReadFileBytes;
using orv::test::TempDir;
using orv::test::WriteFileBytes;

// Runs `script` with the global `dir` naming the folder; the value of the global `ok` afterwards.
bool RunIn(const TempDir& dir, const std::string& script) {
    orv::SetGlobalText(EngineState(), "dir", dir.Path());
    return RunForOk(script);
}

bool Traced(const std::wstring& line) { return TraceCapture::Holds(L"qz " + line); }

std::string Read(const std::wstring& path) {
    std::string content;
    ReadFileBytes(path, &content);
    return content;
}

TEST(FileActions, FoldersCopiesMovesAndRenames) {
    TempDir dir(L"orvf");
    TraceCapture capture;
    EXPECT_TRUE(RunIn(dir, "ok = Lua_CreateDirectory(dir .. '\\\\a\\\\b\\\\c')"));
    EXPECT_TRUE(DirExists(dir.Sub(L"a\\b\\c")));
    EXPECT_TRUE(Traced(L"Create Directory " + dir.Sub(L"a\\b\\c") + L"!\r\n"));
    EXPECT_EQ(TraceCapture::Lines().size(), 1u);  // in the user's profile: inherited rights
    TraceCapture::Lines().clear();
    EXPECT_TRUE(RunIn(dir, "ok = Lua_CreateDirectory(dir .. '\\\\a\\\\b')"));
    EXPECT_TRUE(TraceCapture::Lines().empty());
    // Outside the user's profile and Program Files the top-most new folder gets the program folders'
    // protected rights, and what is made below it inherits them.
    const std::wstring top = L"C:\\orvrights-" + std::to_wstring(::GetCurrentProcessId());
    orv::SetGlobalText(EngineState(), "top", top);
    EXPECT_TRUE(RunForOk("ok = Lua_CreateDirectory(top .. '\\\\app\\\\bin')"));
    EXPECT_TRUE(DirExists(top + L"\\app\\bin"));
    EXPECT_TRUE(Traced(top + L" has the program folders' rights\r\n"));
    EXPECT_FALSE(Traced(top + L"\\app has the program folders' rights\r\n"));
    orv::test::RemoveTree(top);

    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"src.txt"), "new") && WriteFileBytes(dir.Sub(L"a\\old.txt"), "old"));
    EXPECT_TRUE(RunIn(dir, "ok = Lua_CopyFile(dir .. '\\\\src.txt', dir .. '\\\\a\\\\old.txt')"));
    EXPECT_EQ(Read(dir.Sub(L"a\\old.txt")), "new");
    EXPECT_TRUE(Traced(L"Copy " + dir.Sub(L"src.txt") + L" to " + dir.Sub(L"a\\old.txt") + L" !"));
    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"a\\b\\moved.txt"), "old"));
    EXPECT_TRUE(RunIn(dir, "ok = Lua_MoveFile(dir .. '\\\\src.txt', dir .. '\\\\a\\\\b\\\\moved.txt')"));
    EXPECT_EQ(Read(dir.Sub(L"a\\b\\moved.txt")), "new");
    EXPECT_FALSE(FileExists(dir.Sub(L"src.txt")));

    // A missing source leaves the destination alone.
    TraceCapture::Lines().clear();
    EXPECT_FALSE(RunIn(dir, "ok = Lua_CopyFile(dir .. '\\\\none.txt', dir .. '\\\\a\\\\old.txt')"));
    EXPECT_FALSE(RunIn(dir, "ok = Lua_MoveFile(dir .. '\\\\none.txt', dir .. '\\\\a\\\\old.txt')"));
    EXPECT_FALSE(RunIn(dir, "ok = Lua_RenameFile(dir .. '\\\\none.txt', dir .. '\\\\a\\\\old.txt')"));
    EXPECT_EQ(Read(dir.Sub(L"a\\old.txt")), "new");
    EXPECT_TRUE(Traced(L"Fun:Lua_RenameFile, Description:" + dir.Sub(L"none.txt") + L" it's not exists!\r\n"));

    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"r.txt"), "renamed"));
    EXPECT_TRUE(RunIn(dir, "ok = Lua_RenameFile(dir .. '\\\\r.txt', dir .. '\\\\a\\\\old.txt')"));
    EXPECT_EQ(Read(dir.Sub(L"a\\old.txt")), "renamed");
    EXPECT_TRUE(RunIn(dir, "ok = Lua_DeleteFileEx(dir .. '\\\\a\\\\old.txt') and Lua_DeleteFileEx(dir .. '\\\\x')"
                           " and Lua_DeleteFile(dir .. '\\\\a\\\\b\\\\moved.txt') and Lua_DeleteFile(dir .. '\\\\x')"));
    EXPECT_FALSE(FileExists(dir.Sub(L"a\\old.txt")));
    EXPECT_FALSE(FileExists(dir.Sub(L"a\\b\\moved.txt")));
}

TEST(FileActions, TreesAreDeletedWithReadOnlyFilesButNeverThroughALink) {
    TempDir dir(L"orvf");
    TempDir outside(L"orvo");
    ASSERT_TRUE(::CreateDirectoryW(dir.Sub(L"tree").c_str(), nullptr) &&
                ::CreateDirectoryW(dir.Sub(L"tree\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"tree\\sub\\ro.txt"), "x") && WriteFileBytes(dir.Sub(L"tree\\a.txt"), "x") &&
                WriteFileBytes(outside.Sub(L"keep.txt"), "keep"));
    ::SetFileAttributesW(dir.Sub(L"tree\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    const bool junction = MakeJunction(dir.Sub(L"tree\\link"), outside.Path());
    ASSERT_TRUE(junction) << "neither a junction nor a Wine link could be made";
    ::SetCurrentDirectoryW(dir.Sub(L"tree\\sub").c_str());

    TraceCapture capture;
    orv::SetGlobalText(EngineState(), "dir", dir.Path());
    // The result: nothing for a path that was there, true for one that was not.
    EXPECT_EQ(RunScript("r1 = select('#', Lua_DelFileRecursive(dir .. '\\\\tree\\\\sub'))"
                        " r2 = Lua_DelFileRecursive(dir .. '\\\\tree')"
                        " r3 = Lua_DelFileRecursive(dir .. '\\\\tree')"),
              1);
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "r1"), 0);
    EXPECT_TRUE(orv::GetGlobalText(EngineState(), "r2").empty());
    EXPECT_EQ(orv::GetGlobalFlag(EngineState(), "r3"), !DirExists(dir.Sub(L"tree")));
    EXPECT_TRUE(Traced(L"ORVScriptEngine::DeleteDirectories " + dir.Sub(L"tree\\sub")));
    EXPECT_TRUE(Traced(L"PathIsDirectoryW"));
    EXPECT_FALSE(DirExists(dir.Sub(L"tree\\sub")));
    EXPECT_FALSE(FileExists(dir.Sub(L"tree\\a.txt")));
    // The link's target is untouched. Windows removes the junction itself, and the tree with it; Wine
    // cannot remove a link without following it, so there the link, and the folder holding it, stay.
    EXPECT_EQ(Read(outside.Sub(L"keep.txt")), "keep");
    if (DirExists(dir.Sub(L"tree"))) {
        EXPECT_TRUE(::GetFileAttributesW(dir.Sub(L"tree\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(std::wstring(current), dir.Path());  // moved out of the folders it removed, to the parent
    ::SetCurrentDirectoryW(dir.Path().c_str());

    // An empty target is not removed through the link either.
    ASSERT_TRUE(::DeleteFileW(outside.Sub(L"keep.txt").c_str()));
    EXPECT_EQ(RunScript("Lua_DelFileRecursive(dir .. '\\\\tree')"), 1);
    EXPECT_TRUE(DirExists(outside.Path()));
}

// What the seam below swaps in: the folder it is called for is moved away and a link to this one is put
// in its place, after the listing showed a plain folder there.
std::wstring g_swapTarget;

void SwapForLink(const std::wstring& folder) {
    if (folder.substr(folder.size() - 4) != L"\\sub") return;
    ASSERT_TRUE(::MoveFileW(folder.c_str(), (folder + L"-moved").c_str()));
    ASSERT_TRUE(MakeJunction(folder, g_swapTarget));
}

// A name made of dots and spaces is an entry of the tree, never its parent; a subfolder swapped for a link
// between its listing and its entering is not entered.
TEST(FileActions, RecursiveDeletionNeverLeavesItsTree) {
    TempDir dir(L"orvf");
    TempDir outside(L"orvo");
    const std::wstring verbatim = L"\\\\?\\" + dir.Path();
    ASSERT_TRUE(::CreateDirectoryW(dir.Sub(L"tree").c_str(), nullptr) &&
                ::CreateDirectoryW((verbatim + L"\\tree\\.. ").c_str(), nullptr) &&
                ::CreateDirectoryW((verbatim + L"\\tree\\.. \\... ").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(verbatim + L"\\tree\\.. \\... \\inner.txt", "x") &&
                WriteFileBytes(verbatim + L"\\tree\\. ", "x") && WriteFileBytes(dir.Sub(L"keep.txt"), "keep"));
    orv::SetGlobalText(EngineState(), "dir", dir.Path());
    EXPECT_EQ(RunScript("Lua_DelFileRecursive(dir .. '\\\\tree')"), 1);
    EXPECT_FALSE(DirExists(dir.Sub(L"tree")));
    EXPECT_EQ(Read(dir.Sub(L"keep.txt")), "keep");

    ASSERT_TRUE(::CreateDirectoryW(dir.Sub(L"tree").c_str(), nullptr) &&
                ::CreateDirectoryW(dir.Sub(L"tree\\sub").c_str(), nullptr) &&
                WriteFileBytes(outside.Sub(L"victim.txt"), "keep"));
    g_swapTarget = outside.Path();
    const orv::DeletionSeam previous = orv::SetDeletionSeam(SwapForLink);
    TraceCapture capture;
    EXPECT_EQ(RunScript("Lua_DelFileRecursive(dir .. '\\\\tree')"), 1);
    orv::SetDeletionSeam(previous);
    EXPECT_EQ(Read(outside.Sub(L"victim.txt")), "keep");
    EXPECT_TRUE(Traced(dir.Sub(L"tree\\sub") + L" changed after it was listed; it is not entered\r\n"));
    const std::wstring link = dir.Sub(L"tree\\sub");
    orv::test::RemoveUnixSymlink(orv::test::UnixPath(link));
    orv::test::WaitUntil([&link] { return ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

TEST(FileActions, RecursiveDeletionReportsEachFileItCannotDelete) {
    TempDir dir(L"orvf");
    ASSERT_TRUE(::CreateDirectoryW(dir.Sub(L"t").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"t\\locked.bin"), "x") && WriteFileBytes(dir.Sub(L"t\\free.bin"), "x") &&
                WriteFileBytes(dir.Sub(L"ro.txt"), "x"));
    orv::UniqueFileHandle lock = orv::CreateFileHandle(dir.Sub(L"t\\locked.bin").c_str(), GENERIC_READ, 0,
                                                       OPEN_EXISTING, 0);
    ASSERT_TRUE(lock.Valid());
    ::SetFileAttributesW(dir.Sub(L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    orv::SetGlobalText(EngineState(), "dir", dir.Path());
    EXPECT_EQ(RunScript("failed = {} local function on(p, c) failed[#failed + 1] = p .. '=' .. c end"
                        " Lua_DelFileRecursiveEx(dir .. '\\\\t', on) Lua_DelFileRecursiveEx(dir .. '\\\\ro.txt', on)"
                        " Lua_DelFileRecursive(dir .. '\\\\ro.txt')"
                        " failures = table.concat(failed, '|')"),
              1);
    lock.Reset();
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "failures"),
              dir.Sub(L"t\\locked.bin") + L"=32|" + dir.Sub(L"ro.txt") + L"=5");
    EXPECT_FALSE(FileExists(dir.Sub(L"t\\free.bin")));
    EXPECT_TRUE(FileExists(dir.Sub(L"ro.txt")));  // a single read-only file is left: the plain delete fails
    ::SetFileAttributesW(dir.Sub(L"ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileActions, RebootDeletionTemporaryAndUniqueNames) {
    TempDir dir(L"orvf");
    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"busy.dll"), "x"));
    EXPECT_TRUE(RunIn(dir, "ok = Lua_DeleteFileAfterReboot(dir .. '\\\\gone.dll')"
                           " and Lua_DeleteFileAfterReboot(dir .. '\\\\busy.dll')"));
    const wchar_t* kSession = L"System\\CurrentControlSet\\Control\\Session Manager";
    std::vector<wchar_t> pending(32768);
    DWORD size = static_cast<DWORD>(pending.size() * sizeof(wchar_t));
    ASSERT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, kSession, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr,
                             pending.data(), &size),
              ERROR_SUCCESS);
    const std::wstring operations(pending.data(), size / sizeof(wchar_t));
    EXPECT_NE(operations.find(dir.Sub(L"busy.dll")), std::wstring::npos);
    EXPECT_EQ(operations.find(dir.Sub(L"gone.dll")), std::wstring::npos);
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSession, L"PendingFileRenameOperations");

    EXPECT_EQ(RunScript("t1 = Lua_GetTempFileName(dir, 'orv') t2 = Lua_GetTempFileName(dir, 'orv')"
                        " t3 = Lua_GetTempFileName(dir .. '\\\\missing', 'orv') == nil"
                        " u = Lua_PathYetAnotherMakeUniqueName(t1) local_app = Lua_GetTempPath()"
                        " plain = Lua_PathFileExists(t1) and not Lua_PathFileExists('%TEMP%')"),
              1);
    lua_State* L = EngineState();
    const std::wstring t1 = orv::GetGlobalText(L, "t1"), t2 = orv::GetGlobalText(L, "t2");
    const std::wstring unique = orv::GetGlobalText(L, "u");
    EXPECT_NE(t1, t2);
    EXPECT_EQ(Read(t1), "");
    EXPECT_TRUE(FileExists(t2));
    EXPECT_TRUE(orv::GetGlobalFlag(L, "t3"));
    EXPECT_FALSE(unique.empty());
    EXPECT_NE(unique, t1);
    EXPECT_FALSE(FileExists(unique));
    EXPECT_TRUE(orv::GetGlobalFlag(L, "plain"));
    wchar_t localAppData[MAX_PATH];
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, localAppData, CSIDL_LOCAL_APPDATA, FALSE));
    EXPECT_EQ(orv::GetGlobalText(L, "local_app"), localAppData);
}

}  // namespace

namespace {

// Hears every change; refuses the ones whose path ends in `refuse`.
struct HeardChanges : orv::ChangeListener {
    std::wstring refuse;
    std::vector<std::wstring> heard;
    HeardChanges() { orv::AddChangeListener(this); }
    ~HeardChanges() override { orv::RemoveChangeListener(this); }
    bool Before(const orv::Change& change) override {
        heard.push_back(L"before " + std::to_wstring(static_cast<int>(change.kind)) + L" " + change.path);
        return refuse.empty() || change.path.size() < refuse.size() ||
               change.path.compare(change.path.size() - refuse.size(), refuse.size(), refuse) != 0;
    }
    void After(const orv::Change& change, bool done) override {
        heard.push_back(std::wstring(done ? L"done " : L"failed ") + change.path);
    }
};

}  // namespace

TEST(FileActions, ChangesAreAnnouncedFirstAndARefusedOneIsNotMade) {
    TempDir dir(L"orvn");
    TraceCapture capture;
    HeardChanges listener;
    ASSERT_TRUE(WriteFileBytes(dir.Sub(L"src.txt"), "abc"));
    EXPECT_TRUE(RunIn(dir, "ok = Lua_CreateDirectory(dir .. '\\\\n\\\\m') and Lua_CopyFile(dir .. '\\\\src.txt', dir .. "
                           "'\\\\n\\\\m')"));
    const std::vector<std::wstring> expected = {
        L"before 2 " + dir.Sub(L"n"), L"before 2 " + dir.Sub(L"n\\m"), L"done " + dir.Sub(L"n"),
        L"done " + dir.Sub(L"n\\m"), L"before 0 " + dir.Sub(L"n\\m\\src.txt"), L"done " + dir.Sub(L"n\\m\\src.txt")};
    EXPECT_EQ(listener.heard, expected);
    listener.refuse = L"dst.txt";
    EXPECT_FALSE(RunIn(dir, "ok = Lua_RenameFile(dir .. '\\\\src.txt', dir .. '\\\\dst.txt')"));
    EXPECT_TRUE(FileExists(dir.Sub(L"src.txt")));
    EXPECT_FALSE(FileExists(dir.Sub(L"dst.txt")));
    EXPECT_TRUE(Traced(L"Fun:Lua_RenameFile, Description:" + dir.Sub(L"dst.txt") +
                       L" not changed, a change listener refused it\r\n"));
}
