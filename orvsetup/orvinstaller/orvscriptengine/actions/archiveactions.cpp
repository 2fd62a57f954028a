// Archive extraction and resource copies: Lua_UnCompress7z, Lua_ExtractResource.
#include "orvscriptengine/actions/actions.h"

#include <windows.h>

#include <memory>

#include "orvscriptengine/actionargs.h"
#include "orvscriptengine/changenotice.h"
#include "orvscriptengine/archive/archiveextractor.h"
#include "orvscriptengine/scriptcallback.h"
#include "utility/fileio.h"
#include "utility/programfile.h"
#include "utility/resourcedata.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

constexpr wchar_t kArchiveType[] = L"_7Z";

// A resource name, or a number taken as a 16-bit resource id.
struct ResourceName {
    std::wstring text;
    const wchar_t* id;
    bool numeric;
};

ResourceName ArgResourceName(lua_State* L, int index) {
    ResourceName name;
    name.numeric = lua_type(L, index) == LUA_TNUMBER;
    if (name.numeric) {
        name.id = MAKEINTRESOURCEW(ToUInt32(L, index) & 0xFFFF);
    } else {
        name.text = ArgText(L, index);
        name.id = name.text.c_str();
    }
    return name;
}

// The notices of one extraction: each file is announced before it takes its place and its outcome told when
// it was written, or as not done when the next file comes or the extraction ends first. A folder is told
// of right after it was made (an empty new folder, nothing lost); one a listener refuses goes again.
class ExtractionNotices {
public:
    ~ExtractionNotices() { Settle(false); }

    bool BeforePlace(const std::wstring& path) {
        Settle(false);
        Change change = FileWriteChange(path);
        if (!NoticeBefore("Lua_UnCompress7z", change)) return false;
        pending_ = std::move(change);
        open_ = true;
        return true;
    }
    void Written() { Settle(true); }
    bool FolderCreated(const std::wstring& path) { return Told(FolderChange(path)); }
    bool BeforeStaging(const std::wstring& folder) {
        Change change = FolderChange(folder);
        change.kind = ChangeKind::kStagingFolder;
        return Told(change);
    }

private:
    // A change told before and after at once (it is made, or was just made); false when a listener refused it.
    static bool Told(const Change& change) {
        if (!NoticeBefore("Lua_UnCompress7z", change)) return false;
        NoticeAfter(change, true);
        return true;
    }

    void Settle(bool done) {
        if (open_) NoticeAfter(pending_, done);
        open_ = false;
    }

    Change pending_;
    bool open_ = false;
};

int PushResult(lua_State* L, int argumentCount, bool result) {
    lua_settop(L, argumentCount);
    return PushFlag(L, result);
}

}  // namespace

// Lua_UnCompress7z(source, folder [, fromFile [, onFile [, onError]]]) -> boolean
int Lua_UnCompress7z(lua_State* L) {
    const int count = lua_gettop(L);
    if (count < 2 || count > 5) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:takes 2 to 5 arguments, not %d; nothing extracted\r\n", count);
        return PushResult(L, count, false);
    }
    const bool fromFile = count >= 3 && lua_type(L, 3) == LUA_TBOOLEAN && lua_toboolean(L, 3);
    const bool withError = count == 5 && lua_type(L, 5) == LUA_TFUNCTION;
    const bool withFile = (count == 4 || withError) && lua_type(L, 4) == LUA_TFUNCTION;
    ScriptCallback onError(L, withError ? 5 : 0);  // references released when the call ends, on every path
    ScriptCallback onFile(L, withFile ? 4 : 0);
    ExtractionNotices notices;
    ExtractCallbacks callbacks;
    callbacks.beforePlace = [&notices](const std::wstring& path) { return notices.BeforePlace(path); };
    callbacks.onFolderCreated = [&notices](const std::wstring& path) { return notices.FolderCreated(path); };
    callbacks.beforeStaging = [&notices](const std::wstring& folder) { return notices.BeforeStaging(folder); };
    callbacks.onFile = [&notices, &onFile, withFile](const std::wstring& path) {
        notices.Written();
        if (withFile) onFile.Call(path);
    };
    if (withError)
        callbacks.onError = [&onError](const std::wstring& path, int error) { return onError.Call(path, error); };

    std::wstring folder;
    if (!ArgPath(L, 2, folder)) return PushResult(L, count, false);
    if (!RequirePath("Lua_UnCompress7z", folder)) return PushResult(L, count, false);
    ArchiveExtractor extractor(callbacks);
    int result = 0;
    if (fromFile) {
        std::wstring source;
        if (!ArgPath(L, 1, source)) return PushResult(L, count, false);
        if (!RequirePath("Lua_UnCompress7z", source)) return PushResult(L, count, false);
        TraceLine(L"UnCompress %ls to %ls .\r\n", source.c_str(), folder.c_str());
        result = extractor.ExtractFromFile(source, folder);
    } else {
        const ResourceName name = ArgResourceName(L, 1);
        const ResourceBytes archive = LoadResourceBytes(::GetModuleHandleW(nullptr), kArchiveType, name.id);
        if (archive.status == ResourceStatus::kNotLoaded || archive.status == ResourceStatus::kNotLocked) {
            TraceLine(L"Fun:%ls ,LoadResource failed!\r\n", L"Lua_UnCompress7z");
            return PushResult(L, count, false);
        }
        if (!name.numeric) TraceLine(L"UnCompress %ls to %ls .\r\n", name.text.c_str(), folder.c_str());
        // Read through the program file held since the start, never the file by name again: the name may
        // stand for another file by now. Its pages then never join the process's memory either (the program
        // is linked so that its image is mapped, not read in, at start).
        const ProgramFile& program = ProgramFile::Instance();
        unsigned long long offset = 0;
        if (!program.Valid()) {
            TraceLine(L"Fun:Lua_UnCompress7z, Description:the program file is not held (error %u), nothing "
                      L"extracted\r\n", static_cast<unsigned>(program.Error()));
            result = kExtractCannotOpen;
        } else if (!FileOffsetInModule(::GetModuleHandleW(nullptr), archive.data, archive.size, &offset)) {
            TraceLine(L"Fun:Lua_UnCompress7z, Description:the archive lies outside the program file's sections\r\n");
            result = kExtractCannotOpen;
        } else {
            result = extractor.ExtractFromFilePart(program.Duplicate(), offset, archive.size, folder);
        }
    }
    if (result != 0) {
        TraceLine(L"Fun:%ls, Description: UnCompress failed.!\r\n", L"Lua_UnCompress7z");
        return PushResult(L, count, false);
    }
    TraceLine(L"UnCompress successful.\r\n");
    return PushResult(L, count, true);
}

// Lua_ExtractResource(type, name or id, destination) -> boolean. An archive resource (type "_7Z") is
// written as a plain 7z archive, its stored bytes 0 and 1 exchanged back on the way out.
int Lua_ExtractResource(lua_State* L) {
    std::wstring destination;
    if (!ArgPath(L, 3, destination)) {
        lua_pushboolean(L, 0);
        return 1;
    }
    const std::wstring type = ArgText(L, 1);
    const ResourceName name = ArgResourceName(L, 2);
    const ResourceBytes resource = LoadResourceBytes(::GetModuleHandleW(nullptr), type.c_str(), name.id);
    bool ok = resource.status == ResourceStatus::kLoaded || resource.status == ResourceStatus::kEmpty;
    std::unique_ptr<ChangeNotice> notice;
    if (!ok) TraceLine(L"Fun:%ls ,LoadResource failed!\r\n", L"Lua_ExtractResource");
    if (ok) {
        notice = std::make_unique<ChangeNotice>("Lua_ExtractResource", FileWriteChange(destination));
        const UniqueFileHandle file = notice->Allowed()
                                          ? CreateFileHandle(destination.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS)
                                          : UniqueFileHandle();
        if (!file) {
            TraceLine(L"Fun:%ls ,CreateFileW %ls failed!\r\n", L"Lua_ExtractResource", destination.c_str());
            ok = false;
        } else {
            const Byte* bytes = static_cast<const Byte*>(resource.data);
            size_t skip = 0;
            if (type == kArchiveType && resource.size >= 2) {
                const Byte signature[2] = {bytes[1], bytes[0]};
                ok = WriteAllBytes(file.Get(), signature, 2);
                skip = 2;
            }
            ok = ok && WriteAllBytes(file.Get(), bytes + skip, resource.size - skip);
            if (!ok) TraceLine(L"Fun:%ls ,WriteFile %ls failed!\r\n", L"Lua_ExtractResource", destination.c_str());
        }
    }
    if (notice) notice->Done(ok);
    lua_pushboolean(L, ok ? 1 : 0);
    return 1;
}

}  // namespace orv
