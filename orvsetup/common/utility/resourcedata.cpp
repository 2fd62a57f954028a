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

}  // namespace orv
