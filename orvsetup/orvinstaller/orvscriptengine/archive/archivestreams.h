// The seekable inputs the 7z decoder reads archives from: bytes in memory, or a file.
#pragma once

#include <windows.h>

#include <cstddef>

#include "utility/uniquehandle.h"
#include "7zTypes.h"

namespace orv {

// Bytes that can be read at any position by several threads at once.
class PositionalSource {
public:
    // Up to *size bytes from `position` (fewer only at the end).
    virtual SRes ReadAt(UInt64 position, void* buf, size_t* size) const = 0;

protected:
    ~PositionalSource() = default;
};

// A decoder's own stream over a positional source: each decoder keeps its own position, so several read
// the one source at once.
class StreamView {
public:
    explicit StreamView(const PositionalSource& source) : vt_{Read, Seek}, source_(source) {}
    StreamView(const StreamView&) = delete;
    StreamView& operator=(const StreamView&) = delete;

    ISeekInStreamPtr Stream() const { return &vt_; }

private:
    static SRes Read(ISeekInStreamPtr p, void* buf, size_t* size);
    static SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin);

    ISeekInStream vt_;  // first: the decoder passes its address back
    const PositionalSource& source_;
    UInt64 pos_ = 0;
};

// Archive bytes in memory, read where they lie (a locked resource is never copied). With
// `exchangeSignature`, bytes 0 and 1 are delivered exchanged: the setup stores its payload that way, and
// the stored bytes are never changed, so the same resource can be read any number of times.
class MemoryInStream final : public PositionalSource {
public:
    MemoryInStream(const void* data, size_t size, bool exchangeSignature);
    MemoryInStream(const MemoryInStream&) = delete;
    MemoryInStream& operator=(const MemoryInStream&) = delete;

    ISeekInStreamPtr Stream() const { return &vt_; }
    SRes ReadAt(UInt64 position, void* buf, size_t* size) const override;

private:
    static SRes Read(ISeekInStreamPtr p, void* buf, size_t* size);
    static SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin);

    ISeekInStream vt_;  // first: the decoder passes its address back
    const Byte* data_;
    size_t size_;
    UInt64 pos_ = 0;
    bool exchange_;
};

// An archive file opened for reading (shared for reading), or a part of an open file: `length` bytes from
// `offset` (the setup's own payload inside its held program file), with bytes 0 and 1 of that part
// delivered exchanged when asked. Every read gives its position, so the handle may be one of several to
// the same open file. Valid() is false when the file could not be opened.
class FileInStream final : public PositionalSource {
public:
    explicit FileInStream(const wchar_t* path);
    FileInStream(UniqueFileHandle file, UInt64 offset, UInt64 length, bool exchangeSignature);
    FileInStream(const FileInStream&) = delete;
    FileInStream& operator=(const FileInStream&) = delete;

    bool Valid() const { return file_.Valid(); }
    ISeekInStreamPtr Stream() const { return &vt_; }
    SRes ReadAt(UInt64 position, void* buf, size_t* size) const override;

private:
    static SRes Read(ISeekInStreamPtr p, void* buf, size_t* size);
    static SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin);

    ISeekInStream vt_;
    UniqueFileHandle file_;
    UInt64 offset_;
    UInt64 length_;
    UInt64 pos_ = 0;  // within the part
    bool exchange_;
    Byte signature_[2] = {0, 0};  // the part's bytes 0 and 1 as stored
};

}  // namespace orv
