// Methods and coder chains of 7z folders.
#include "orvscriptengine/archive/foldercoders.h"

#include <cwchar>

namespace orv {

bool ReadFolder(const CSzArEx& db, UInt32 folder, CSzFolder* f) {
    CSzData data;
    data.Data = db.db.CodersData + db.db.FoCodersOffsets[folder];
    data.Size = db.db.FoCodersOffsets[folder + 1] - db.db.FoCodersOffsets[folder];
    return SzGetNextFolderItem(f, &data) == SZ_OK && data.Size == 0 &&
           f->UnpackStream == db.db.FoToMainUnpackSizeIndex[folder];
}

FolderShape ShapeOf(const CSzFolder& f) {
    if (f.NumCoders == 1 && f.Coders[0].NumStreams == 1 && f.NumPackStreams == 1 && f.PackStreams[0] == 0 &&
        f.NumBonds == 0)
        return FolderShape::kSingle;
    if (f.NumCoders == 2 && f.Coders[0].NumStreams == 1 && f.Coders[1].NumStreams == 1 && f.NumPackStreams == 1 &&
        f.PackStreams[0] == 0 && f.NumBonds == 1 && f.Bonds[0].InIndex == 1 && f.Bonds[0].OutIndex == 0)
        return FolderShape::kFiltered;
    if (f.NumCoders == 4 && f.Coders[0].NumStreams == 1 && f.Coders[1].NumStreams == 1 &&
        f.Coders[2].NumStreams == 1 && f.Coders[3].MethodID == kMethodBcj2 && f.Coders[3].NumStreams == 4 &&
        f.NumPackStreams == 4 && f.PackStreams[0] == 2 && f.PackStreams[1] == 6 && f.PackStreams[2] == 1 &&
        f.PackStreams[3] == 0 && f.NumBonds == 3 && f.Bonds[0].InIndex == 5 && f.Bonds[0].OutIndex == 0 &&
        f.Bonds[1].InIndex == 4 && f.Bonds[1].OutIndex == 1 && f.Bonds[2].InIndex == 3 && f.Bonds[2].OutIndex == 2)
        return FolderShape::kBcj2;
    return FolderShape::kOther;
}

bool IsMainMethod(const CSzCoderInfo& coder) {
    const UInt32 m = coder.MethodID;
    return coder.NumStreams == 1 && (m == kMethodCopy || m == kMethodLzma || m == kMethodLzma2 || m == kMethodPpmd);
}

bool IsFilterMethod(UInt32 method) {
    switch (method) {
        case kMethodDelta: case kMethodArm64: case kMethodRiscV: case kMethodX86:
        case 0x3030205:  // PowerPC
        case 0x3030401:  // IA-64
        case 0x3030501:  // ARM
        case 0x3030701:  // ARM Thumb
        case 0x3030805:  // SPARC
            return true;
        default: return false;
    }
}

const wchar_t* MethodName(UInt32 method, wchar_t (&buffer)[24]) {
    static const struct {
        UInt32 id;
        const wchar_t* name;
    } kNames[] = {
        {kMethodCopy, L"Copy"},     {kMethodDelta, L"Delta"},     {kMethodArm64, L"ARM64"},
        {kMethodRiscV, L"RISCV"},   {kMethodLzma2, L"LZMA2"},     {kMethodLzma, L"LZMA"},
        {kMethodPpmd, L"PPMd"},     {kMethodX86, L"BCJ"},         {kMethodBcj2, L"BCJ2"},
        {0x3030205, L"PPC"},        {0x3030401, L"IA64"},         {0x3030501, L"ARM"},
        {0x3030701, L"ARMT"},       {0x3030805, L"SPARC"},        {0x20302, L"Swap2"},
        {0x20304, L"Swap4"},        {0x40108, L"Deflate"},        {0x40109, L"Deflate64"},
        {0x40202, L"BZip2"},        {0x4F71101, L"Zstandard"},    {0x6F10701, L"7zAES"},
    };
    for (const auto& known : kNames)
        if (known.id == method) return known.name;
    std::swprintf(buffer, 24, L"method 0x%X", static_cast<unsigned>(method));
    return buffer;
}

}  // namespace orv
