// Files and folders: creating, copying, moving, renaming and deleting them, trees, deletion at reboot,
// existence tests, temporary and unique names.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/deletedirectories.h"
#include "orvscriptengine/foldercreation.h"
#include "orvscriptengine/scriptcallback.h"
#include "utility/processfolders.h"
#include "utility/runexit.h"
#include "utility/trace.h"

namespace orv {
namespace {

constexpr FILEOP_FLAGS kCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;  // 0x0214
constexpr FILEOP_FLAGS kQuietFlags = kCopyFlags | FOF_NOERRORUI;                          // 0x0614
constexpr FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION;                    // 0x0014

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int PushText(lua_State* L, const wchar_t* text) {
    orv::PushText(L, std::wstring(text));
    return 1;
}

// One shell file operation on one path (lists are double-terminated); the shell's return code.
int ShellOperation(UINT operation, const std::wstring& from, const std::wstring& to, FILEOP_FLAGS flags) {
    const std::wstring fromList = from + L'\0';
    const std::wstring toList = to + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = operation;
    op.pFrom = fromList.c_str();
    op.pTo = operation == FO_DELETE ? nullptr : toList.c_str();
    op.fFlags = flags;
    return ::SHFileOperationW(&op);
}

}  // namespace

// Lua_CreateDirectory(path) -> boolean; missing parents are created too.
int Lua_CreateDirectory(lua_State* L) {
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    if (PathExists(path)) return PushFlag(L, true);
    if (!CreateFoldersNoticed("Lua_CreateDirectory", path, CreateFolderTree) && !PathExists(path)) return PushFlag(L, false);
    if (!RequirePath("Lua_CreateDirectory", path)) return PushFlag(L, false);
    TraceLine(L"Create Directory %ls!\r\n", path.c_str());
    return PushFlag(L, true);
}

namespace {

// Where a copy or move puts its source: into an existing folder under the source's own name, else the
// destination itself.
std::wstring OperationTarget(const std::wstring& source, const std::wstring& destination) {
    if (!IsFolder(destination) || IsFolder(source)) return destination;
    const size_t slash = source.find_last_of(L"\\/");
    return destination + L"\\" + (slash == std::wstring::npos ? source : source.substr(slash + 1));
}

int CopyOrMove(lua_State* L, UINT operation) {
    const bool copy = operation == FO_COPY;
    const char* action = copy ? "Lua_CopyFile" : "Lua_MoveFile";
    std::wstring source, destination;
    if (!ArgPath(L, 1, source) || !ArgPath(L, 2, destination)) return PushFlag(L, false);
    if (!RequirePath(action, source)) return PushFlag(L, false);
    const std::wstring target = OperationTarget(source, destination);
    ChangeNotice notice(action, copy ? FileWriteChange(target) : MoveChange(source, target));
    if (!notice.Allowed()) return PushFlag(L, false);
    const int code = ShellOperation(operation, source, destination, copy ? kCopyFlags : kQuietFlags);
    const wchar_t* verb = copy ? L"Copy" : L"Move";
    if (code == 0) {
        TraceLine(L"%ls %ls to %ls !", verb, source.c_str(), destination.c_str());
        return PushFlag(L, notice.Done(true));
    }
    TraceLine(L"%ls %ls to %ls failed!", verb, source.c_str(), destination.c_str());
    TraceLine(L"SHFileOperation error code : %#x\r\n", static_cast<unsigned>(code));
    return PushFlag(L, false);
}

}  // namespace

// Lua_CopyFile(source, destination) -> boolean; an existing destination is replaced without a question.
int Lua_CopyFile(lua_State* L) { return CopyOrMove(L, FO_COPY); }

// Lua_MoveFile(source, destination) -> boolean.
int Lua_MoveFile(lua_State* L) { return CopyOrMove(L, FO_MOVE); }

// Lua_RenameFile(source, destination) -> boolean; an existing target is replaced.
int Lua_RenameFile(lua_State* L) {
    std::wstring source, destination;
    if (!ArgPath(L, 1, source) || !ArgPath(L, 2, destination)) return PushFlag(L, false);
    if (!RequirePath("Lua_RenameFile", source)) return PushFlag(L, false);
    ChangeNotice notice("Lua_RenameFile", MoveChange(source, destination));
    if (!notice.Allowed()) return PushFlag(L, false);
    const bool moved = ::MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    TraceLine(moved ? L"MoveFile %ls to %ls !" : L"MoveFile %ls to %ls failed!", source.c_str(), destination.c_str());
    return PushFlag(L, notice.Done(moved));
}

namespace {

// Deletes with the shell; when that fails the user chooses: Abort ends the run (EndRun), Retry tries again (and
// its result is the answer), Ignore counts the file as done.
bool DeleteAsking(const std::wstring& path) {
    for (;;) {
        if (!PathExists(path)) return true;
        const int code = ShellOperation(FO_DELETE, path, std::wstring(), kDeleteFlags);
        if (code == 0) return true;
        const std::wstring text = L"无法删除\"" + path +
                                  L"\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！";
        const int answer = ::MessageBoxW(nullptr, text.c_str(), L"提示", MB_ABORTRETRYIGNORE | MB_ICONQUESTION);
        if (answer == IDABORT) EndRun(kExitDeleteAborted);
        if (answer == IDRETRY) continue;
        TraceLine(L"Delete %ls failed!\r\n", path.c_str());
        TraceLine(L"SHFileOperation error code : %#x\r\n", static_cast<unsigned>(code));
        return answer == IDIGNORE;
    }
}

}  // namespace

// Lua_DeleteFile(path) -> boolean.
int Lua_DeleteFile(lua_State* L) {
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    if (!PathExists(path)) return PushFlag(L, true);
    ChangeNotice notice("Lua_DeleteFile", DeleteChange(path));
    if (!notice.Allowed()) return PushFlag(L, false);
    const bool deleted = DeleteAsking(path);
    notice.Done(!PathExists(path));
    return PushFlag(L, deleted);
}

// Lua_DeleteFileEx(path) -> boolean; no question, no trace.
int Lua_DeleteFileEx(lua_State* L) {
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    if (!PathExists(path)) return PushFlag(L, true);
    ChangeNotice notice("Lua_DeleteFileEx", DeleteChange(path));
    if (!notice.Allowed()) return PushFlag(L, false);
    return PushFlag(L, notice.Done(ShellOperation(FO_DELETE, path, std::wstring(), kQuietFlags) == 0));
}

// Lua_DelFileRecursive(path) -> true when the path did not exist, no result otherwise.
int Lua_DelFileRecursive(lua_State* L) {
    TraceLine(L"Lua_DelFileRecursive");
    std::wstring path;
    if (!ArgPath(L, 1, path)) return 0;
    if (!PathExists(path)) return PushFlag(L, true);
    ChangeNotice notice("Lua_DelFileRecursive", DeleteChange(path));
    if (!notice.Allowed()) return 0;
    if (IsFolder(path)) {
        TraceLine(L"PathIsDirectoryW");
        DeleteDirectories(path);
    } else {
        TraceLine(L"Path is file!");
        ::DeleteFileW(path.c_str());
    }
    notice.Done(!PathExists(path));
    return 0;
}

// Lua_DelFileRecursiveEx(path, onError) -> as Lua_DelFileRecursive; each file that cannot be deleted is
// reported to onError(path, code).
int Lua_DelFileRecursiveEx(lua_State* L) {
    TraceLine(L"Lua_DelFileRecursiveEx");
    const int last = lua_gettop(L);
    ScriptCallback onError(L, last >= 1 && lua_type(L, last) == LUA_TFUNCTION ? last : 0);
    std::wstring path;
    if (!ArgPath(L, 1, path)) return 0;
    if (!PathExists(path)) return PushFlag(L, true);
    ChangeNotice notice("Lua_DelFileRecursiveEx", DeleteChange(path));
    if (!notice.Allowed()) return 0;
    DeletionFailed failed;
    if (!onError.Empty())
        failed = [&onError](const std::wstring& failed, DWORD error) { onError.Call(failed, static_cast<int>(error)); };
    if (IsFolder(path)) {
        TraceLine(L"PathIsDirectoryW");
        DeleteDirectoriesEx(path, failed);
    } else {
        TraceLine(L"Path is file!");
        if (!::DeleteFileW(path.c_str()) && failed) failed(path, ::GetLastError());
    }
    notice.Done(!PathExists(path));
    return 0;
}

// Lua_DeleteFileAfterReboot(path) -> boolean.
int Lua_DeleteFileAfterReboot(lua_State* L) {
    TraceLine(L"Lua_DeleteFileAfterReboot");
    std::wstring path;
    if (!ArgPath(L, 1, path)) return PushFlag(L, false);
    if (!PathExists(path)) return PushFlag(L, true);
    return PushFlag(L, ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE);
}

// Lua_PathFileExists(path) -> boolean, without expansion.
int Lua_PathFileExists(lua_State* L) {
    std::wstring path;
    return PushFlag(L, ArgPath(L, 1, path, false) && PathExists(path));
}

// Lua_PathYetAnotherMakeUniqueName(path) -> a name not in use yet, made from the path (empty on failure).
int Lua_PathYetAnotherMakeUniqueName(lua_State* L) {
    std::wstring path;
    wchar_t unique[MAX_PATH + 1] = L"";
    if (ArgPath(L, 1, path, false) && !::PathYetAnotherMakeUniqueName(unique, path.c_str(), nullptr, nullptr))
        unique[0] = L'\0';
    return PushText(L, unique);
}

// Lua_GetTempFileName(folder, prefix) -> the name of a new empty file, or nil.
int Lua_GetTempFileName(lua_State* L) {
    std::wstring folder;
    wchar_t name[MAX_PATH] = L"";
    if (!ArgPath(L, 1, folder) || !::GetTempFileNameW(folder.c_str(), ArgText(L, 2).c_str(), 0, name)) {
        lua_pushnil(L);
        return 1;
    }
    // The name is only known once the system has made the file: the notice follows it at once.
    Change made = FileWriteChange(name);
    made.kind = ChangeKind::kFileCreated;
    made.existed = false;
    if (!NoticeBefore("Lua_GetTempFileName", made)) {
        ::DeleteFileW(name);
        lua_pushnil(L);
        return 1;
    }
    NoticeAfter(made, true);
    return PushText(L, name);
}

// Lua_GetTempPath() -> the user's local application-data folder.
int Lua_GetTempPath(lua_State* L) {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH, path);
    if (length == 0 || length > MAX_PATH) {
        TraceLine(L"GetTempPath Failed!");
        return PushText(L, path);
    }
    if (!::SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE)) TraceLine(L"Get Local AppData Failed!");
    return PushText(L, path);
}

// Lua_GetFullPathName(path) -> the path made full, a relative one taken against the folder that was
// current when the program started (the program itself works in the system folder); nil when it cannot be.
int Lua_GetFullPathName(lua_State* L) {
    std::wstring path, full;
    if (!ArgPath(L, 1, path) || !FullPathFromStart(path, &full)) {
        TraceLine(L"Fun:Lua_GetFullPathName, Description:\"%ls\" is not a path\r\n", ArgText(L, 1).c_str());
        lua_pushnil(L);
        return 1;
    }
    return PushText(L, full.c_str());
}

}  // namespace orv
