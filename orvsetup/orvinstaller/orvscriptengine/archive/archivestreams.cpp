// Input streams for the 7z decoder.
#include "orvscriptengine/archive/archivestreams.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "utility/fileio.h"

namespace orv {
namespace {

constexpr SRes kInvalidParameter = ERROR_INVALID_PARAMETER;  // an origin the stream does not know

template <typename Stream>
Stream* Self(ISeekInStreamPtr p) {
    // The interface is the first member of the stream object.
    return reinterpret_cast<Stream*>(const_cast<ISeekInStream*>(p));
}

// Moves a stream position within a part of `size` bytes (past the end reads nothing, as a file does).
SRes SeekWithin(UInt64& position, UInt64 size, Int64* pos, ESzSeek origin) {
    Int64 base = 0;
    switch (origin) {
        case SZ_SEEK_SET: base = 0; break;
        case SZ_SEEK_CUR: base = static_cast<Int64>(position); break;
        case SZ_SEEK_END: base = static_cast<Int64>(size); break;
        default: return kInvalidParameter;
    }
    const Int64 target = base + *pos;
    if (target < 0) return kInvalidParameter;
    position = static_cast<UInt64>(target);
    *pos = target;
    return SZ_OK;
}

// `n` bytes just read from position `at` into `out`: bytes 0 and 1, stored exchanged as `stored`, are
// delivered each from the other's place.
void ExchangeSignature(Byte* out, UInt64 at, size_t n, const Byte stored[2]) {
    for (UInt64 k = at; k < 2 && k < at + n; ++k) out[k - at] = stored[1 - k];
}

// A sequential read: the bytes at the stream's position, which moves past them.
SRes ReadOn(const PositionalSource& source, UInt64& position, void* buf, size_t* size) {
    const SRes read = source.ReadAt(position, buf, size);
    position += *size;
    return read;
}

}  // namespace

MemoryInStream::MemoryInStream(const void* data, size_t size, bool exchangeSignature)
    : vt_{Read, Seek}, data_(static_cast<const Byte*>(data)), size_(data ? size : 0), exchange_(exchangeSignature) {}

SRes MemoryInStream::ReadAt(UInt64 position, void* buf, size_t* size) const {
    const size_t n = position >= size_ ? 0 : static_cast<size_t>(std::min<UInt64>(*size, size_ - position));
    const size_t at = static_cast<size_t>(position);
    if (n) std::memcpy(buf, data_ + at, n);
    if (exchange_ && size_ >= 2) ExchangeSignature(static_cast<Byte*>(buf), at, n, data_);
    *size = n;
    return SZ_OK;
}

SRes MemoryInStream::Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    MemoryInStream* s = Self<MemoryInStream>(p);
    return ReadOn(*s, s->pos_, buf, size);
}

SRes MemoryInStream::Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    MemoryInStream* s = Self<MemoryInStream>(p);
    return SeekWithin(s->pos_, s->size_, pos, origin);
}

FileInStream::FileInStream(const wchar_t* path)
    : FileInStream(CreateFileHandle(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0, ~UInt64(0), false) {}

FileInStream::FileInStream(UniqueFileHandle file, UInt64 offset, UInt64 length, bool exchangeSignature)
    : vt_{Read, Seek}, file_(std::move(file)), offset_(offset), length_(length), exchange_(exchangeSignature) {
    LARGE_INTEGER size;
    if (file_ && ::GetFileSizeEx(file_.Get(), &size)) {
        const UInt64 available = static_cast<UInt64>(size.QuadPart) > offset ? size.QuadPart - offset : 0;
        if (length_ > available) length_ = available;
    }
    if (exchange_) {  // the part's first two bytes as stored, read once
        DWORD got = 0;
        exchange_ = length_ >= 2 && ReadFileAt(file_.Get(), offset_, signature_, 2, &got) && got == 2;
    }
}

SRes FileInStream::ReadAt(UInt64 position, void* buf, size_t* size) const {
    const UInt64 left = position < length_ ? length_ - position : 0;
    const size_t wanted = static_cast<size_t>(std::min<UInt64>(*size, left));
    size_t done = 0;
    SRes result = SZ_OK;
    while (done < wanted) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wanted - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFileAt(file_.Get(), offset_ + position + done, static_cast<Byte*>(buf) + done, chunk, &got)) {
            result = SZ_ERROR_READ;
            break;
        }
        done += got;
        if (got < chunk) break;  // end of file
    }
    if (exchange_) ExchangeSignature(static_cast<Byte*>(buf), position, done, signature_);
    *size = done;
    return result;
}

SRes FileInStream::Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    FileInStream* s = Self<FileInStream>(p);
    return ReadOn(*s, s->pos_, buf, size);
}

SRes FileInStream::Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    FileInStream* s = Self<FileInStream>(p);
    return SeekWithin(s->pos_, s->length_, pos, origin);
}

SRes StreamView::Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    StreamView* s = Self<StreamView>(p);
    return ReadOn(s->source_, s->pos_, buf, size);
}

SRes StreamView::Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    StreamView* s = Self<StreamView>(p);
    return SeekWithin(s->pos_, ~UInt64(0) >> 1, pos, origin);
}

}  // namespace orv
