// The coders of a 7z folder: the methods the decoder library knows, their names, and the chains of coders
// it decodes.
#pragma once

#include "7z.h"

namespace orv {

constexpr UInt32 kMethodCopy = 0;
constexpr UInt32 kMethodDelta = 3;
constexpr UInt32 kMethodArm64 = 0xA;
constexpr UInt32 kMethodRiscV = 0xB;
constexpr UInt32 kMethodLzma2 = 0x21;
constexpr UInt32 kMethodLzma = 0x30101;
constexpr UInt32 kMethodPpmd = 0x30401;
constexpr UInt32 kMethodX86 = 0x3030103;
constexpr UInt32 kMethodBcj2 = 0x303011B;

// The folder's coders, as the archive database stores them.
bool ReadFolder(const CSzArEx& db, UInt32 folder, CSzFolder* f);

// How the coders of a folder are joined, their methods aside: one coder; a main coder whose output a
// filter converts; the BCJ2 filter over three main coders and a packed stream of its own; or another way.
enum class FolderShape { kOther, kSingle, kFiltered, kBcj2 };
FolderShape ShapeOf(const CSzFolder& f);

// Whether the library decodes the method as a main coder (one that reads packed bytes), as a filter, or
// neither (then the name says which method it is).
bool IsMainMethod(const CSzCoderInfo& coder);
bool IsFilterMethod(UInt32 method);
// A method's name; "method 0x..." for one without a known name.
const wchar_t* MethodName(UInt32 method, wchar_t (&buffer)[24]);

}  // namespace orv
