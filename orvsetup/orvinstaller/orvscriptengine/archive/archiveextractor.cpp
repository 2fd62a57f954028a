// The extraction loop over the 7z decoder's archive database.
#include "orvscriptengine/archive/archiveextractor.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "7z.h"
#include "7zCrc.h"
#include "orvscriptengine/archive/aheadblock.h"
#include "orvscriptengine/archive/archivecheck.h"
#include "orvscriptengine/archive/archivestreams.h"
#include "orvscriptengine/archive/blockreader.h"
#include "orvscriptengine/archive/decoderheap.h"
#include "orvscriptengine/archive/entryfacts.h"
#include "orvscriptengine/archive/outputfolders.h"
#include "orvscriptengine/archive/stagedfile.h"
#include "utility/fileio.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

constexpr size_t kLookBufferSize = 1 << 18;

// The archive database, its look-ahead reader and the solid-block cache, released together.
class ArchiveDatabase {
public:
    explicit ArchiveDatabase(const PositionalSource& source) : view_(source) {
        SzArEx_Init(&db_);
        LookToRead2_CreateVTable(&look_, False);
        look_.realStream = view_.Stream();
        look_.buf = static_cast<Byte*>(ISzAlloc_Alloc(&kDecoderHeap, kLookBufferSize));
        look_.bufSize = look_.buf ? kLookBufferSize : 0;
        LookToRead2_INIT(&look_);
    }
    ~ArchiveDatabase() {
        ISzAlloc_Free(&kDecoderHeap, block_);
        SzArEx_Free(&db_, &kDecoderHeap);
        ISzAlloc_Free(&kDecoderHeap, look_.buf);
    }
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    SRes Open() { return look_.buf ? SzArEx_Open(&db_, &look_.vt, &kDecoderHeap, &kDecoderHeap) : SZ_ERROR_MEM; }
    UInt32 Count() const { return db_.NumFiles; }
    bool IsFolder(UInt32 i) const { return SzArEx_IsDir(&db_, i); }
    std::wstring Name(UInt32 i) const { return EntryName(db_, i); }
    bool ModifiedTime(UInt32 i, FILETIME* time) const { return EntryModifiedTime(db_, i, time); }
    bool Attributes(UInt32 i, DWORD* attributes) const {
        if (!SzBitWithVals_Check(&db_.Attribs, i)) return false;
        UInt32 value = db_.Attribs.Vals[i];
        if (value & 0xF0000000) value &= 0x7FFF;  // POSIX mode in the high half, as archivers elsewhere store it
        *attributes = value;
        return true;
    }
    const CSzArEx& Db() const { return db_; }
    // The folder holding a file's bytes; kNoFolder for an empty file.
    static constexpr UInt32 kNoFolder = 0xFFFFFFFF;
    UInt32 FolderOf(UInt32 i) const { return db_.FileToFolder[i]; }
    UInt64 Size(UInt32 i) const { return SzArEx_GetFileSize(&db_, i); }
    UInt64 OffsetInFolder(UInt32 i) const {
        return db_.UnpackPositions[i] - db_.UnpackPositions[db_.FolderToFile[db_.FileToFolder[i]]];
    }
    bool HasCrc(UInt32 i, UInt32* crc) const { return EntryCrc(db_, i, crc); }
    // The entry's bytes inside the cached solid block (folders that are not streamed).
    SRes Extract(UInt32 i, const Byte** data, size_t* size) {
        size_t offset = 0;
        const SRes result = SzArEx_Extract(&db_, &look_.vt, i, &blockIndex_, &block_, &blockSize_, &offset, size,
                                           &kDecoderHeap, &kDecoderHeap);
        *data = block_ ? block_ + offset : nullptr;
        return result;
    }

private:
    StreamView view_;
    CSzArEx db_;
    CLookToRead2 look_;
    UInt32 blockIndex_ = 0xFFFFFFFF;
    Byte* block_ = nullptr;
    size_t blockSize_ = 0;
};

// Where the writing thread stands in the folders being decoded. With more than one processor every folder is
// decoded on a thread of its own into temporary files (AheadBlock), as many folders at once as the machine
// has processors, and handed over in archive order; with one, the folder written from is decoded a few
// buffers ahead of the writer (BlockReader). Each holds its dictionary and a few buffers only, so memory
// stays bounded whatever the folders' sizes. An error met in any of them ends the extraction and stops the
// others.
class BlockCursor {
public:
    BlockCursor(const CSzArEx& db, const PositionalSource& source, const std::wstring& staging)
        : db_(db), source_(source), staging_(staging) {
        SYSTEM_INFO system;
        ::GetSystemInfo(&system);
        processors_ = system.dwNumberOfProcessors > 1 ? system.dwNumberOfProcessors : 1;
    }

    // The content of entry `file` of `folder` when the folder was decoded ahead, in *staged; else SZ_OK with
    // *staged empty: the file is written from the cursor (MoveTo, Take). Folders before it are ended.
    int Staged(UInt32 folder, UInt32 file, std::unique_ptr<StagedFile>* staged) {
        const int left = Leave(folder);
        if (left != SZ_OK) return left;
        if (reader_ || waiting_.empty() || waiting_.front()->Folder() != folder) return SZ_OK;
        const int taken = waiting_.front()->Take(file, staged);
        const SRes started = StartAhead();
        return taken != SZ_OK ? taken : started;
    }
    // Ends every folder before `folder`, open or decoded ahead; their end checks must pass.
    int Leave(UInt32 folder) {
        if (reader_ && reader_->Folder() < folder) {
            const SRes ended = End();
            if (ended != SZ_OK) return ended;
        }
        while (!waiting_.empty() && waiting_.front()->Folder() < folder) {
            const int ended = waiting_.front()->End();
            if (ended != SZ_OK) return ended;
            waiting_.pop_front();
        }
        return StartAhead();
    }
    // Stands at `offset` of `folder`, decoding it from its start when it is not the one open.
    SRes MoveTo(UInt32 folder, UInt64 offset) {
        if (reader_ && (folder != reader_->Folder() || offset < position_)) {
            const SRes ended = End();
            if (ended != SZ_OK) return ended;
        }
        if (!reader_) {
            const SRes opened = Open(folder);
            if (opened != SZ_OK) return opened;
        }
        while (position_ < offset) {
            const Byte* data = nullptr;
            size_t size = 0;
            const SRes taken = Take(offset - position_, &data, &size);
            if (taken != SZ_OK) return taken;
        }
        return SZ_OK;
    }
    // The next bytes, at most `max` and at least one.
    SRes Take(UInt64 max, const Byte** data, size_t* size) {
        if (left_ == 0) {
            const int failed = group_.Failure();
            if (failed != SZ_OK) return failed;
            const SRes next = reader_->Next(&piece_, &left_);
            if (next != SZ_OK) return next;
            if (left_ == 0) return SZ_ERROR_DATA;  // the folder ends inside a file
        }
        *size = static_cast<size_t>(std::min<UInt64>(max, left_));
        *data = piece_;
        piece_ += *size;
        left_ -= *size;
        position_ += *size;
        return SZ_OK;
    }
    // Decodes the open folder to its end, whose checks must pass, and closes it.
    SRes End() {
        SRes result = SZ_OK;
        while (reader_) {
            result = reader_->Next(&piece_, &left_);
            if (result != SZ_OK || left_ == 0) break;
        }
        reader_.reset();
        left_ = 0;
        return result;
    }

private:
    // Makes `folder` the open one, decoded from its start.
    SRes Open(UInt32 folder) {
        position_ = 0;
        reader_.reset(new BlockReader());
        const SRes started = reader_->Start(db_, folder, source_);
        if (started != SZ_OK) return started;
        if (next_ <= folder) next_ = folder + 1;
        return StartAhead();
    }
    // Keeps the folders after the ones in hand decoding, as many at once as there are processors.
    SRes StartAhead() {
        if (processors_ < 2) return SZ_OK;  // one processor: each folder is decoded as its files are written
        while ((reader_ ? 1 : 0) + waiting_.size() < processors_ && next_ < db_.db.NumFolders) {
            const UInt32 later = next_++;
            if (!IsStreamedFolder(db_, later)) continue;  // decoded whole when its files come
            std::unique_ptr<AheadBlock> block(new AheadBlock(group_, db_, later, staging_));
            const SRes started = block->Start(source_);
            if (started != SZ_OK) return started;
            waiting_.push_back(std::move(block));
        }
        return SZ_OK;
    }

    const CSzArEx& db_;
    const PositionalSource& source_;
    const std::wstring staging_;
    unsigned processors_ = 1;
    AheadGroup group_;  // before the blocks: they stop before it goes
    std::unique_ptr<BlockReader> reader_;
    std::deque<std::unique_ptr<AheadBlock>> waiting_;  // the folders decoded ahead, in order
    UInt32 next_ = 0;  // the first folder not started
    UInt64 position_ = 0;
    const Byte* piece_ = nullptr;
    size_t left_ = 0;
};

// Writes a file's `size` bytes as the folder's decoder hands them over, checking them against the
// archive's checksum when it has one. Returns the decoder's error, kExtractOutputFailed, or SZ_ERROR_CRC.
int WriteFromBlock(BlockCursor& block, HANDLE file, UInt64 size, const UInt32* crc) {
    UInt32 sum = CRC_INIT_VAL;
    while (size > 0) {
        const Byte* data = nullptr;
        size_t n = 0;
        const SRes taken = block.Take(size, &data, &n);
        if (taken != SZ_OK) return taken;
        if (crc) sum = CrcUpdate(sum, data, n);
        if (!WriteAllBytes(file, data, n)) return kExtractOutputFailed;
        size -= n;
    }
    return crc && CRC_GET_DIGEST(sum) != *crc ? SZ_ERROR_CRC : SZ_OK;
}

// The entry's path components, its folder separators made backslashes in `path` from `nameStart` on.
std::vector<std::wstring> SplitPath(std::wstring& path, size_t nameStart) {
    std::vector<std::wstring> components;
    size_t start = nameStart;
    for (size_t i = nameStart; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != L'/' && path[i] != L'\\') continue;
        if (i > start) components.push_back(path.substr(start, i - start));
        if (i < path.size()) path[i] = L'\\';
        start = i + 1;
    }
    return components;
}

// Gives a staged file its place. A file there (no junction or link, whose target would be written) is
// replaced; one that cannot be is put to onError: retried once, skipped (kPlaceSkipped: what is there
// stays), or the extraction ends. Returns kExtractOk, kPlaceSkipped or a result code.
constexpr int kPlaceSkipped = -1;
int PlaceFile(StagedFile& staged, const std::wstring& path, const std::wstring& leaf, OutputFolders& folders,
              const ExtractCallbacks& callbacks) {
    if (staged.Place(path, false)) return kExtractOk;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!folders.MayReplace(leaf)) return kExtractUnsafeName;
        if (staged.Place(path, true)) return kExtractOk;
    }
    const DWORD error = ::GetLastError();
    const int decision = callbacks.onError ? callbacks.onError(path, static_cast<int>(error)) : -1;
    if (decision == 1) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls skipped, error %u\r\n", path.c_str(),
                  static_cast<unsigned>(error));
        return kPlaceSkipped;
    }
    if (decision == 0 && staged.Place(path, true)) return kExtractOk;
    TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot create %ls, error %u\r\n", path.c_str(),
              static_cast<unsigned>(decision == 0 ? ::GetLastError() : error));
    return kExtractOutputFailed;
}

// Puts a written and checked file in its place, when beforePlace agrees, gives it its attributes and
// reports it. Returns kExtractOk, also for a file onError skipped, or a result code.
int PlaceWritten(const ArchiveDatabase& db, UInt32 i, StagedFile& staged, const std::wstring& path,
                 const std::wstring& leaf, OutputFolders& folders, const ExtractCallbacks& callbacks) {
    if (callbacks.beforePlace && !callbacks.beforePlace(path)) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls not written, refused\r\n", path.c_str());
        return kExtractOutputFailed;
    }
    const int placed = PlaceFile(staged, path, leaf, folders, callbacks);
    if (placed == kPlaceSkipped) return kExtractOk;
    if (placed != kExtractOk) return placed;
    DWORD attributes = 0;
    if (db.Attributes(i, &attributes) && attributes != FILE_ATTRIBUTE_ARCHIVE)  // a new file has that one
        ::SetFileAttributesW(path.c_str(), attributes);
    if (callbacks.onFile) callbacks.onFile(path);
    return kExtractOk;
}

}  // namespace

int ArchiveExtractor::ExtractFromMemory(const void* data, size_t size, bool exchangedSignature,
                                        const std::wstring& folder) {
    const MemoryInStream stream(data, size, exchangedSignature);
    return ExtractAll(stream, folder);
}

int ArchiveExtractor::ExtractFromFile(const std::wstring& archive, const std::wstring& folder) {
    FileInStream stream(archive.c_str());
    if (!stream.Valid()) return kExtractCannotOpen;
    return ExtractAll(stream, folder);
}

int ArchiveExtractor::ExtractFromFilePart(UniqueFileHandle file, UInt64 offset, UInt64 length,
                                          const std::wstring& folder) {
    FileInStream stream(std::move(file), offset, length, true);
    if (!stream.Valid()) return kExtractCannotOpen;
    return ExtractAll(stream, folder);
}

int ArchiveExtractor::ExtractAll(const PositionalSource& source, const std::wstring& folder) try {
    static const bool crcReady = (CrcGenerateTable(), true);
    (void)crcReady;
    ArchiveDatabase db(source);
    const SRes opened = db.Open();
    if (opened != SZ_OK) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:the archive cannot be read, error %d\r\n", opened);
        return opened;
    }
    const int checked = CheckArchive(db.Db(), folder);
    if (checked != SZ_OK) return checked;
    OutputFolders folders;
    if (callbacks_.onFolderCreated) folders.OnCreated(callbacks_.onFolderCreated);
    if (!folders.Open(folder)) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot open %ls, error %u\r\n", folder.c_str(),
                  static_cast<unsigned>(::GetLastError()));
        return kExtractOutputFailed;
    }
    if (callbacks_.beforeStaging && !callbacks_.beforeStaging(folder)) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:no temporary file may be made in %ls, refused\r\n", folder.c_str());
        return kExtractOutputFailed;
    }

    // After the database: its decoding threads stop before the database goes. The temporary files of the
    // folders decoded ahead are made in the destination folder, on the volume of every place they go to
    // (no entry passes a junction or link), and each is moved into its own folder when it takes its place.
    BlockCursor block(db.Db(), source, folder);

    for (UInt32 i = 0; i < db.Count(); ++i) {
        const std::wstring name = db.Name(i);
        if (!IsSafeEntryName(name)) {
            TraceLine(L"Fun:Lua_UnCompress7z, Description:entry \"%ls\" would leave %ls, refused\r\n", name.c_str(),
                      folder.c_str());
            return kExtractUnsafeName;
        }
        std::wstring path = folder + L"\\" + name;
        const bool isFolder = db.IsFolder(i);
        const UInt32 home = isFolder ? ArchiveDatabase::kNoFolder : db.FolderOf(i);  // the folder its bytes are in
        const bool streamed = home != ArchiveDatabase::kNoFolder && IsStreamedFolder(db.Db(), home);
        const Byte* data = nullptr;
        size_t size = 0;
        std::unique_ptr<StagedFile> ahead;  // its content, when its folder was decoded ahead
        if (streamed) {
            const int staged = block.Staged(home, i, &ahead);
            if (staged != SZ_OK) return staged;
            const SRes moved = ahead ? SZ_OK : block.MoveTo(home, db.OffsetInFolder(i));
            if (moved != SZ_OK) return moved;
        } else if (home != ArchiveDatabase::kNoFolder) {
            const int left = block.Leave(home);  // the folders before are done with: their ends are checked
            if (left != SZ_OK) return left;
            const SRes extracted = db.Extract(i, &data, &size);
            if (extracted != SZ_OK) return extracted;
        }
        std::vector<std::wstring> components = SplitPath(path, folder.size() + 1);
        const std::wstring leaf = components.empty() ? std::wstring() : components.back();
        if (!isFolder && !components.empty()) components.pop_back();
        bool refused = false;
        if (!folders.Enter(components, &refused) && refused) return kExtractUnsafeName;
        if (isFolder) continue;  // a folder that could not be made was traced

        if (ahead) {
            const int placed = PlaceWritten(db, i, *ahead, path, leaf, folders, callbacks_);
            if (placed != kExtractOk) return placed;
            continue;
        }
        // The content goes to a new temporary file beside its place, and takes the place once it is whole.
        const std::wstring parent = path.substr(0, path.rfind(L'\\'));
        StagedFile staged;
        if (!staged.Create(parent) && ::GetLastError() == ERROR_PATH_NOT_FOUND) {  // its folder went away (a callback?)
            folders.Forget();
            if (!folders.Enter(components, &refused) && refused) return kExtractUnsafeName;
            staged.Create(parent);
        }
        if (!staged.Created()) {
            TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot create a file in %ls, error %u\r\n", parent.c_str(),
                      static_cast<unsigned>(::GetLastError()));
            return kExtractOutputFailed;
        }
        UInt32 crc = 0;
        const int written = streamed ? WriteFromBlock(block, staged.Handle(), db.Size(i), db.HasCrc(i, &crc) ? &crc : nullptr)
                                     : (WriteAllBytes(staged.Handle(), data, size) ? SZ_OK : kExtractOutputFailed);
        FILETIME modified;
        if (written != SZ_OK || !staged.Close(db.ModifiedTime(i, &modified) ? &modified : nullptr)) {
            const int failed = written != SZ_OK ? written : kExtractOutputFailed;
            if (failed == kExtractOutputFailed)
                TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot write %ls, error %u\r\n", path.c_str(),
                          static_cast<unsigned>(::GetLastError()));
            return failed;  // never a cut or damaged file in place: the temporary file goes with `staged`
        }
        const int placed = PlaceWritten(db, i, staged, path, leaf, folders, callbacks_);
        if (placed != kExtractOk) return placed;
    }
    const int ended = block.Leave(ArchiveDatabase::kNoFolder);  // the last folders' ends are checked too
    if (ended != SZ_OK) return ended;
    return kExtractOk;
} catch (const std::bad_alloc&) {
    return SZ_ERROR_MEM;
}

}  // namespace orv
