// Checks of an archive's header against what its folders can hold and what the machine has room for.
#include "orvscriptengine/archive/archivecheck.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "orvscriptengine/archive/entrynames.h"
#include "orvscriptengine/archive/foldercoders.h"
#include "orvscriptengine/archive/folderdecoder.h"
#include "utility/trace.h"

namespace orv {
namespace {

// The most bytes a main coder makes of one packed byte: far above what LZMA, LZMA2 or PPMd reach even
// for a run of one byte (a few thousand), and low enough that a header cannot claim gigabytes from a few
// kilobytes. A stored stream and the filters make no more bytes than they are given.
constexpr UInt64 kMostPerPackedByte = 1u << 16;
// A PPMd model needs no more than a few bytes per byte it models; a smaller one than this is always
// allowed, whatever the stream's length (what the packer asks for at its strongest setting).
constexpr UInt64 kPpmdModelPerByte = 32;
constexpr UInt64 kPpmdModelAlways = 64u << 20;

UInt64 SaturatingAdd(UInt64 a, UInt64 b) { return a + b < a ? ~UInt64(0) : a + b; }
UInt64 SaturatingMultiply(UInt64 a, UInt64 b) { return b != 0 && a > ~UInt64(0) / b ? ~UInt64(0) : a * b; }

// The largest block of the process's address space nothing is mapped in: the largest view it can map.
UInt64 LargestFreeAddressRange() {
    UInt64 largest = 0;
    const BYTE* at = nullptr;
    MEMORY_BASIC_INFORMATION info;
    while (::VirtualQuery(at, &info, sizeof(info)) == sizeof(info)) {
        if (info.State == MEM_FREE) largest = std::max<UInt64>(largest, info.RegionSize);
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return largest;
}

// The memory the system can still commit to the process (physical memory and paging file).
UInt64 CommittableMemory() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status)) return ~UInt64(0);
    return std::min<UInt64>(status.ullAvailPageFile, status.ullAvailVirtual);
}

// The largest view the process can map, and the most it can hold on its heap; measured once per archive.
struct Room {
    UInt64 view = LargestFreeAddressRange();
    UInt64 heap = std::min(view, CommittableMemory());
};

class FolderCheck {
public:
    FolderCheck(const CSzArEx& db, UInt32 folder, const Room& room) : db_(db), folder_(folder), room_(room) {}

    int Run() {
        if (!ReadFolder(db_, folder_, &f_)) return Refuse(L"coders that cannot be read", SZ_ERROR_ARCHIVE);
        const int methods = CheckMethods();
        if (methods != SZ_OK) return methods;
        const UInt64* unpack = db_.db.CoderUnpackSizes + db_.db.FoToCoderUnpackSizes[folder_];
        const UInt64* packs = db_.db.PackPositions + db_.db.FoStartPackStreamIndex[folder_];
        UInt32 stream = 0;  // the first input stream of coder ci
        for (UInt32 ci = 0; ci < f_.NumCoders; stream += f_.Coders[ci].NumStreams, ++ci) {
            UInt64 input = 0;
            for (UInt32 s = stream; s < stream + f_.Coders[ci].NumStreams; ++s) {
                UInt64 size = 0;
                if (!InputSize(s, unpack, packs, &size)) return Refuse(L"a coder input joined to nothing", SZ_ERROR_ARCHIVE);
                input = SaturatingAdd(input, size);
            }
            const bool expands = f_.Coders[ci].MethodID != kMethodCopy && IsMainMethod(f_.Coders[ci]);
            const UInt64 most = expands ? SaturatingMultiply(input, kMostPerPackedByte) : input;
            if (unpack[ci] > most) {
                TraceLine(L"Fun:Lua_UnCompress7z, Description:folder %u declares %I64u bytes from %I64u bytes of "
                          L"input, more than they can hold; refused\r\n",
                          static_cast<unsigned>(folder_), static_cast<unsigned long long>(unpack[ci]),
                          static_cast<unsigned long long>(input));
                return SZ_ERROR_ARCHIVE;
            }
        }
        return CheckMemory(unpack, packs);
    }

private:
    int Refuse(const wchar_t* what, int result) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:folder %u has %ls; refused\r\n", static_cast<unsigned>(folder_),
                  what);
        return result;
    }

    // Every coder is one the library decodes, in a place where it decodes it.
    int CheckMethods() {
        const FolderShape shape = ShapeOf(f_);
        for (UInt32 ci = 0; ci < f_.NumCoders; ++ci) {
            const CSzCoderInfo& c = f_.Coders[ci];
            const bool known = shape == FolderShape::kFiltered && ci == 1 ? IsFilterMethod(c.MethodID)
                               : shape == FolderShape::kBcj2 && ci == 3   ? true
                               : shape == FolderShape::kOther
                                   ? IsMainMethod(c) || IsFilterMethod(c.MethodID) || c.MethodID == kMethodBcj2
                                   : IsMainMethod(c);
            if (known) continue;
            wchar_t buffer[24];
            TraceLine(L"Fun:Lua_UnCompress7z, Description:folder %u is coded with %ls, which this setup cannot "
                      L"decode; refused\r\n",
                      static_cast<unsigned>(folder_), MethodName(c.MethodID, buffer));
            return SZ_ERROR_UNSUPPORTED;
        }
        return shape == FolderShape::kOther ? Refuse(L"a chain of coders this setup cannot decode", SZ_ERROR_UNSUPPORTED)
                                            : SZ_OK;
    }

    // The size of input stream `s`: a packed stream's, or what the coder bound to it declares.
    bool InputSize(UInt32 s, const UInt64* unpack, const UInt64* packs, UInt64* size) const {
        for (UInt32 k = 0; k < f_.NumPackStreams; ++k)
            if (f_.PackStreams[k] == s) return *size = packs[k + 1] - packs[k], true;
        for (UInt32 b = 0; b < f_.NumBonds; ++b)
            if (f_.Bonds[b].InIndex == s && f_.Bonds[b].OutIndex < f_.NumCoders)
                return *size = unpack[f_.Bonds[b].OutIndex], true;
        return false;
    }

    // The memory the folder's decoding holds: the dictionaries of a streamed folder, or the whole folder,
    // the PPMd model and the BCJ2 side streams of one decoded whole.
    int CheckMemory(const UInt64* unpack, const UInt64* packs) {
        const Byte* props = db_.db.CodersData + db_.db.FoCodersOffsets[folder_];
        const bool streamed = IsStreamedFolder(db_, folder_);
        UInt64 need = streamed ? 0 : unpack[f_.UnpackStream];
        for (UInt32 ci = 0; ci < f_.NumCoders; ++ci) {
            const CSzCoderInfo& c = f_.Coders[ci];
            if (streamed && IsMainMethod(c)) need = SaturatingAdd(need, StreamDictionarySize(c, props + c.PropsOffset, unpack[ci]));
            if (!streamed && c.MethodID == kMethodPpmd && c.PropsSize == 5) {
                const Byte* p = props + c.PropsOffset;
                const UInt64 model = p[1] | (UInt32(p[2]) << 8) | (UInt32(p[3]) << 16) | (UInt64(p[4]) << 24);
                if (model > std::max(kPpmdModelAlways, SaturatingMultiply(unpack[ci], kPpmdModelPerByte)))
                    return Refuse(L"a PPMd model far larger than its stream", SZ_ERROR_MEM);
                need = SaturatingAdd(need, model);
            }
        }
        if (!streamed && ShapeOf(f_) == FolderShape::kBcj2)
            need = SaturatingAdd(need, SaturatingAdd(SaturatingAdd(unpack[0], unpack[1]), packs[2] - packs[1]));
        if (need <= (streamed ? room_.view : room_.heap) && need == static_cast<size_t>(need)) return SZ_OK;
        TraceLine(L"Fun:Lua_UnCompress7z, Description:folder %u needs %I64u bytes of memory, more than the process "
                  L"can map; refused\r\n",
                  static_cast<unsigned>(folder_), static_cast<unsigned long long>(need));
        return SZ_ERROR_MEM;
    }

    const CSzArEx& db_;
    UInt32 folder_;
    const Room& room_;
    CSzFolder f_;
};

int CheckEntries(const CSzArEx& db, const std::wstring& destination) {
    if (db.NumFiles == 0) return SZ_OK;
    if (!db.FileNameOffsets) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:the archive's entries have no names; refused\r\n");
        return SZ_ERROR_ARCHIVE;
    }
    std::vector<std::wstring> names(db.NumFiles);
    ULARGE_INTEGER free = {};
    const bool knowsFree = ::GetDiskFreeSpaceExW(destination.c_str(), &free, nullptr, nullptr) != FALSE;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
        std::wstring& name = names[i];
        name.resize(SzArEx_GetFileNameUtf16(&db, i, nullptr));  // with the terminator
        SzArEx_GetFileNameUtf16(&db, i, reinterpret_cast<UInt16*>(&name[0]));
        name.pop_back();
        const UInt64 size = SzArEx_GetFileSize(&db, i);
        if (knowsFree && size > free.QuadPart) {
            TraceLine(L"Fun:Lua_UnCompress7z, Description:\"%ls\" is %I64u bytes, more than %ls has free; refused\r\n",
                      name.c_str(), static_cast<unsigned long long>(size), destination.c_str());
            return SZ_ERROR_ARCHIVE;
        }
    }
    std::wstring first, second;
    if (!FindNameClash(names, &first, &second)) return SZ_OK;
    TraceLine(L"Fun:Lua_UnCompress7z, Description:entries \"%ls\" and \"%ls\" name the same file; refused\r\n",
              first.c_str(), second.c_str());
    return SZ_ERROR_ARCHIVE;
}

}  // namespace

bool IsStreamedFolder(const CSzArEx& db, UInt32 folder) {
    if (!FolderDecoder::Handles(db, folder)) return false;
    if (!SzBitWithVals_Check(&db.db.FolderCRCs, folder)) return true;
    for (UInt32 i = db.FolderToFile[folder]; i < db.FolderToFile[folder + 1]; ++i)
        if (db.FileToFolder[i] == folder && !SzBitWithVals_Check(&db.CRCs, i)) return false;
    return true;
}

int CheckArchive(const CSzArEx& db, const std::wstring& destination) {
    const Room room;
    for (UInt32 folder = 0; folder < db.db.NumFolders; ++folder) {
        const int checked = FolderCheck(db, folder, room).Run();
        if (checked != SZ_OK) return checked;
    }
    return CheckEntries(db, destination);
}

}  // namespace orv
