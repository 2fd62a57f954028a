// Resource loading shared by the chunk loader, the layout and the archive.
#include "utility/resourcedata.h"

namespace orv {

ResourceBytes LoadResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name) {
    ResourceBytes bytes;
    HRSRC info = ::FindResourceW(module, name, type);
    bytes.loaded.Reset(info ? ::LoadResource(module, info) : nullptr);
    if (!bytes.loaded) {
        bytes.error = ::GetLastError();
        return bytes;
    }
    bytes.data = ::LockResource(bytes.loaded.Get());
    if (!bytes.data) {
        bytes.error = ::GetLastError();
        bytes.status = ResourceStatus::kNotLocked;
        return bytes;
    }
    bytes.size = ::SizeofResource(module, info);
    bytes.status = bytes.size == 0 ? ResourceStatus::kEmpty : ResourceStatus::kLoaded;
    return bytes;
}

bool FileOffsetInModule(HMODULE module, const void* data, size_t size, unsigned long long* offset) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
    const BYTE* at = static_cast<const BYTE*>(data);
    if (at < base) return false;
    const unsigned long long rva = static_cast<unsigned long long>(at - base);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (rva >= section->VirtualAddress && rva + size <= 0ull + section->VirtualAddress + section->SizeOfRawData) {
            *offset = section->PointerToRawData + (rva - section->VirtualAddress);
            return true;
        }
    }
    return false;
}

}  // namespace orv
