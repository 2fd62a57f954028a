// The packer's archives read back with the setup's 7z decoder: the round trip of a payload (solid LZMA2
// with BCJ2 for programs), the exchanged first bytes, the payload's digest, and the archive of an empty payload.
#include <gtest/gtest.h>
#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

extern "C" {
#include <7z.h>
#include <7zAlloc.h>
#include <7zCrc.h>
}

namespace {

std::string ResourceBytes(const wchar_t* name, const wchar_t* type = L"_7Z") {
    HRSRC info = ::FindResourceW(nullptr, name, type);
    HGLOBAL loaded = info ? ::LoadResource(nullptr, info) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), ::SizeofResource(nullptr, info)) : std::string();
}

// A seekable input over bytes in memory.
struct MemoryInStream {
    ISeekInStream vt;
    const std::string* bytes;
    size_t pos;
};

SRes MemoryRead(ISeekInStreamPtr p, void* buf, size_t* size) {
    auto* s = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
    const size_t n = std::min(*size, s->bytes->size() - s->pos);
    std::memcpy(buf, s->bytes->data() + s->pos, n);
    s->pos += n;
    *size = n;
    return SZ_OK;
}

SRes MemorySeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    auto* s = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
    const Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? Int64(s->pos) : Int64(s->bytes->size());
    const Int64 target = base + *pos;
    if (target < 0 || target > Int64(s->bytes->size())) return SZ_ERROR_READ;
    s->pos = size_t(target);
    *pos = target;
    return SZ_OK;
}

struct Archive {
    SRes status = SZ_ERROR_FAIL;
    std::map<std::wstring, std::string> files;
    std::set<std::wstring> folders;
};

// Opens the stored archive (first two bytes exchanged back) and extracts every entry.
Archive ReadStoredArchive(std::string bytes) {
    Archive archive;
    if (bytes.size() < 2) return archive;
    std::swap(bytes[0], bytes[1]);
    CrcGenerateTable();
    ISzAlloc alloc = {SzAlloc, SzFree};
    ISzAlloc allocTemp = {SzAllocTemp, SzFreeTemp};
    MemoryInStream input = {{MemoryRead, MemorySeek}, &bytes, 0};
    CLookToRead2 look;
    LookToRead2_CreateVTable(&look, False);
    Byte lookBuffer[1 << 14];
    look.buf = lookBuffer;
    look.bufSize = sizeof(lookBuffer);
    look.realStream = &input.vt;
    LookToRead2_INIT(&look);
    CSzArEx db;
    SzArEx_Init(&db);
    archive.status = SzArEx_Open(&db, &look.vt, &alloc, &allocTemp);
    UInt32 blockIndex = 0xFFFFFFFF;
    Byte* block = nullptr;
    size_t blockSize = 0;
    for (UInt32 i = 0; archive.status == SZ_OK && i < db.NumFiles; ++i) {
        std::u16string name(SzArEx_GetFileNameUtf16(&db, i, nullptr), u'\0');
        SzArEx_GetFileNameUtf16(&db, i, reinterpret_cast<UInt16*>(&name[0]));
        const std::wstring path(name.begin(), name.end() - 1);
        if (SzArEx_IsDir(&db, i)) {
            archive.folders.insert(path);
            continue;
        }
        size_t offset = 0, size = 0;
        archive.status = SzArEx_Extract(&db, &look.vt, i, &blockIndex, &block, &blockSize, &offset, &size, &alloc,
                                        &allocTemp);
        if (archive.status == SZ_OK) archive.files[path] = std::string(reinterpret_cast<char*>(block) + offset, size);
    }
    ISzAlloc_Free(&alloc, block);
    SzArEx_Free(&db, &alloc);
    return archive;
}

TEST(Packer, PayloadRoundTripsThroughTheSetupsDecoder) {
    const std::string stored = ResourceBytes(L"PAYLOAD.7Z");
    ASSERT_GT(stored.size(), 32u);
    EXPECT_EQ(stored.substr(0, 6), std::string("z7\xBC\xAF\x27\x1C", 6));  // "7z" exchanged, then the signature

    const Archive archive = ReadStoredArchive(stored);
    ASSERT_EQ(archive.status, SZ_OK);
    std::string readme;
    for (int i = 0; i < 100; ++i) readme += "\xE5\xA5\x8E\xE6\xAF\x94 readme\r\n";
    std::string tool = "MZ";
    for (int i = 0; i < 70000; ++i) tool += static_cast<char>(i * 7 % 256);
    const std::map<std::wstring, std::string> expected = {
        {L"readme.txt", readme},
        {L"bin/tool.exe", tool},
        {L"文档/sub/说明.txt", "\xE8\xAF\xB4\xE6\x98\x8E"},
        {L"empty.dat", ""},
    };
    EXPECT_EQ(archive.files, expected);
    EXPECT_EQ(archive.folders, (std::set<std::wstring>{L"bin", L"emptydir", L"文档", L"文档/sub"}));
}

TEST(Packer, TheStoredDigestIsTheSha256OfTheStoredPayload) {
    const std::string stored = ResourceBytes(L"PAYLOAD.7Z");
    const std::string digest = ResourceBytes(L"PAYLOAD.7Z", L"SHA256");
    ASSERT_EQ(digest.size(), 32u);
    BCRYPT_ALG_HANDLE sha256 = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ASSERT_TRUE(BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0)));
    unsigned char computed[32] = {};
    std::string input = stored;
    const bool hashed = BCRYPT_SUCCESS(::BCryptCreateHash(sha256, &hash, nullptr, 0, nullptr, 0, 0)) &&
                        BCRYPT_SUCCESS(::BCryptHashData(hash, reinterpret_cast<PUCHAR>(&input[0]),
                                                        static_cast<ULONG>(input.size()), 0)) &&
                        BCRYPT_SUCCESS(::BCryptFinishHash(hash, computed, sizeof(computed), 0));
    if (hash) ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(sha256, 0);
    ASSERT_TRUE(hashed);
    EXPECT_EQ(digest, std::string(reinterpret_cast<char*>(computed), sizeof(computed)));
}

TEST(Packer, EmptyPayloadIsAValidArchiveWithNoEntries) {
    const std::string stored = ResourceBytes(L"EMPTY.7Z");
    ASSERT_EQ(stored.size(), 32u);
    const Archive archive = ReadStoredArchive(stored);
    EXPECT_EQ(archive.status, SZ_OK);
    EXPECT_TRUE(archive.files.empty());
    EXPECT_TRUE(archive.folders.empty());

    // Unexchanged bytes are no archive: the setup must exchange them back before reading.
    std::string unexchanged = stored;
    std::swap(unexchanged[0], unexchanged[1]);
    EXPECT_EQ(ReadStoredArchive(unexchanged).status, SZ_ERROR_NO_ARCHIVE);
}

}  // namespace
