// The program file, held from the start and checked against the image the loader mapped from it.
#include "utility/programfile.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "utility/fileio.h"

namespace orv {
namespace {

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return std::wstring();
        path.resize(path.size() * 2);
    }
}

// Whether the file starts with the mapped image's headers and section table and holds every section's
// data. The loader maps the headers as the file has them; only the image base may differ, where the image
// was moved.
bool MatchesImage(HANDLE file, unsigned long long fileSize, HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0) return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
    const size_t length = static_cast<size_t>(dos->e_lfanew) + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                          nt->FileHeader.SizeOfOptionalHeader +
                          nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
    if (length > nt->OptionalHeader.SizeOfHeaders || length > fileSize) return false;
    std::vector<BYTE> stored(length);
    DWORD got = 0;
    if (!ReadFileAt(file, 0, stored.data(), static_cast<DWORD>(length), &got) || got != length) return false;
    const size_t imageBase = static_cast<size_t>(dos->e_lfanew) + offsetof(IMAGE_NT_HEADERS, OptionalHeader.ImageBase);
    std::memcpy(&stored[imageBase], &nt->OptionalHeader.ImageBase, sizeof(nt->OptionalHeader.ImageBase));
    if (std::memcmp(stored.data(), base, length) != 0) return false;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (0ull + section->PointerToRawData + section->SizeOfRawData > fileSize) return false;
    return true;
}

}  // namespace

const ProgramFile& ProgramFile::Instance() {
    static const ProgramFile file(ProgramPath().c_str(), ::GetModuleHandleW(nullptr));
    return file;
}

ProgramFile::ProgramFile(const wchar_t* path, HMODULE module) {
    if (!path || !*path) {
        error_ = ERROR_INVALID_NAME;
        return;
    }
    UniqueFileHandle file = CreateFileHandle(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.Get(), &size)) {
        error_ = ::GetLastError();
        return;
    }
    size_ = static_cast<unsigned long long>(size.QuadPart);
    if (!MatchesImage(file.Get(), size_, module)) {
        status_ = ProgramFileStatus::kNotTheLoadedImage;
        return;
    }
    file_ = std::move(file);
    status_ = ProgramFileStatus::kOpen;
}

UniqueFileHandle ProgramFile::Duplicate() const {
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!Valid() || !::DuplicateHandle(::GetCurrentProcess(), file_.Get(), ::GetCurrentProcess(), &copy, 0, FALSE,
                                       DUPLICATE_SAME_ACCESS))
        return UniqueFileHandle();
    return UniqueFileHandle(copy);
}

}  // namespace orv
