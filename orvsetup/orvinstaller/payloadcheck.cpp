// The payload's SHA-256, computed with the system's hash provider over the bytes read through the held
// program file: the same bytes the archive actions later extract through that handle.
#include "payloadcheck.h"

#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "utility/fileio.h"
#include "utility/programfile.h"
#include "utility/resourcedata.h"
#include "utility/trace.h"

namespace orv {
namespace {

// The payload and its digest, as the packer stores them.
constexpr wchar_t kPayloadName[] = L"APP.7Z";
constexpr wchar_t kPayloadType[] = L"_7Z";
constexpr wchar_t kDigestType[] = L"SHA256";
constexpr size_t kDigestSize = 32;
constexpr DWORD kReadPiece = 1u << 20;

struct AlgorithmTraits : NullInvalid<BCRYPT_ALG_HANDLE> {
    static void Close(Type h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits : NullInvalid<BCRYPT_HASH_HANDLE> {
    static void Close(Type h) { ::BCryptDestroyHash(h); }
};

double Milliseconds(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart ? 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart : 0;
}

unsigned Tenths(double milliseconds) { return static_cast<unsigned>(milliseconds * 10 + 0.5); }

// The SHA-256 of `size` bytes at `offset` of a file read through `file`; false when a read fails or comes
// short (the thread's last error tells why) or the hash is not available.
bool HashFilePart(HANDLE file, unsigned long long offset, unsigned long long size, unsigned char (&digest)[32]) {
    UniqueResource<AlgorithmTraits> algorithm;
    UniqueResource<HashTraits> hash;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0))) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    std::vector<unsigned char> buffer(static_cast<size_t>(size < kReadPiece ? size : kReadPiece));
    while (size > 0) {
        const DWORD wanted = static_cast<DWORD>(size < kReadPiece ? size : kReadPiece);
        DWORD got = 0;
        if (!ReadFileAt(file, offset, buffer.data(), wanted, &got)) return false;
        if (got != wanted) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.Get(), buffer.data(), got, 0))) return false;
        offset += got;
        size -= got;
    }
    return BCRYPT_SUCCESS(::BCryptFinishHash(hash.Get(), digest, sizeof(digest), 0));
}

}  // namespace

PayloadCheck::PayloadCheck() {
    ProgramFile::Instance();  // opened here, on the thread that starts the process, before anything else runs
    thread_.Reset(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
    if (!thread_) Run(this);  // checked in place: slower to start, never unchecked
}

PayloadCheck::~PayloadCheck() {
    if (thread_) ::WaitForSingleObject(thread_.Get(), INFINITE);
}

DWORD WINAPI PayloadCheck::Run(void* self) {
    PayloadCheck& check = *static_cast<PayloadCheck*>(self);
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const ResourceBytes expected = LoadResourceBytes(module, kDigestType, kPayloadName);
    if (expected.status == ResourceStatus::kNotLoaded) {
        check.verdict_ = PayloadVerdict::kUnchecked;
        return 0;
    }
    const ResourceBytes payload = LoadResourceBytes(module, kPayloadType, kPayloadName);
    unsigned long long offset = 0;
    check.verdict_ = PayloadVerdict::kDamaged;
    if (expected.status != ResourceStatus::kLoaded || expected.size != kDigestSize || !payload.data ||
        !FileOffsetInModule(module, payload.data, payload.size, &offset))
        return 0;
    const ProgramFile& program = ProgramFile::Instance();
    unsigned char digest[kDigestSize];
    if (!program.Valid()) {
        check.verdict_ = PayloadVerdict::kUnreadable;
        check.error_ = program.Error();
    } else if (!HashFilePart(program.Handle(), offset, payload.size, digest)) {
        check.verdict_ = PayloadVerdict::kUnreadable;
        check.error_ = ::GetLastError();
    } else if (std::memcmp(digest, expected.data, kDigestSize) == 0) {
        check.verdict_ = PayloadVerdict::kIntact;
    }
    check.bytes_ = static_cast<DWORD>(payload.size);
    check.milliseconds_ = Milliseconds(start);
    return 0;
}

PayloadVerdict PayloadCheck::Await() {
    double waited = 0;
    if (thread_) {
        LARGE_INTEGER start;
        ::QueryPerformanceCounter(&start);
        ::WaitForSingleObject(thread_.Get(), INFINITE);
        waited = Milliseconds(start);
        thread_.Reset();
    }
    if (traced_) return verdict_;
    traced_ = true;
    switch (verdict_) {
        case PayloadVerdict::kIntact: {
            const unsigned took = Tenths(milliseconds_), wait = Tenths(waited);
            TraceLine(L"the payload matches its SHA-256 (%u bytes hashed in %u.%u ms, %u.%u ms of it waited for)\r\n",
                      static_cast<unsigned>(bytes_), took / 10, took % 10, wait / 10, wait % 10);
            break;
        }
        case PayloadVerdict::kUnchecked:
            TraceLine(L"the setup carries no SHA-256 of its payload: the payload is not checked\r\n");
            break;
        case PayloadVerdict::kDamaged:
            TraceLine(L"the payload does not match the SHA-256 the setup carries: the setup is damaged or was "
                      L"changed; nothing is done\r\n");
            break;
        case PayloadVerdict::kUnreadable: {
            const ProgramFileStatus status = ProgramFile::Instance().Status();
            TraceLine(L"the payload cannot be checked: %ls (error %u); nothing is done\r\n",
                      status == ProgramFileStatus::kNotTheLoadedImage ? L"the file at the program's path is not "
                                                                        L"the one this process was started from"
                      : status == ProgramFileStatus::kCannotOpen ? L"the program file cannot be opened for reading "
                                                                   L"with writes and deletes refused"
                                                                 : L"the program file cannot be read",
                      static_cast<unsigned>(error_));
            break;
        }
    }
    return verdict_;
}

}  // namespace orv
