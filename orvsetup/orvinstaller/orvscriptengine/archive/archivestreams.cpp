// Input streams for the 7z decoder.
#include "archivestreams.h"

#include <algorithm>
#include <cstring>

namespace orv {
namespace {

constexpr SRes kInvalidParameter = ERROR_INVALID_PARAMETER;  // an origin the stream does not know

template <typename Stream>
Stream* Self(ISeekInStreamPtr p) {
    // The interface is the first member of the stream object.
    return reinterpret_cast<Stream*>(const_cast<ISeekInStream*>(p));
}

}  // namespace

MemoryInStream::MemoryInStream(const void* data, size_t size, bool exchangeSignature)
    : vt_{Read, Seek}, data_(static_cast<const Byte*>(data)), size_(data ? size : 0), exchange_(exchangeSignature) {}

SRes MemoryInStream::Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    MemoryInStream* s = Self<MemoryInStream>(p);
    const size_t n = s->pos_ >= s->size_ ? 0 : static_cast<size_t>(std::min<UInt64>(*size, s->size_ - s->pos_));
    const size_t at = static_cast<size_t>(s->pos_);
    if (n) std::memcpy(buf, s->data_ + at, n);
    if (s->exchange_ && s->size_ >= 2) {
        Byte* out = static_cast<Byte*>(buf);
        for (size_t k = 0; k < 2; ++k)
            if (k >= at && k < at + n) out[k - at] = s->data_[1 - k];
    }
    s->pos_ += n;
    *size = n;
    return SZ_OK;
}

SRes MemoryInStream::Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    MemoryInStream* s = Self<MemoryInStream>(p);
    Int64 base = 0;
    switch (origin) {
        case SZ_SEEK_SET: base = 0; break;
        case SZ_SEEK_CUR: base = static_cast<Int64>(s->pos_); break;
        case SZ_SEEK_END: base = static_cast<Int64>(s->size_); break;
        default: return kInvalidParameter;
    }
    const Int64 target = base + *pos;
    if (target < 0) return kInvalidParameter;
    s->pos_ = static_cast<UInt64>(target);  // past the end reads nothing, as a file does
    *pos = target;
    return SZ_OK;
}

FileInStream::FileInStream(const wchar_t* path)
    : vt_{Read, Seek}, file_(CreateFileHandle(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) {}

SRes FileInStream::Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    FileInStream* s = Self<FileInStream>(p);
    size_t done = 0;
    while (done < *size) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(*size - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(s->file_.Get(), static_cast<Byte*>(buf) + done, chunk, &got, nullptr)) {
            *size = done;
            return SZ_ERROR_READ;
        }
        done += got;
        if (got < chunk) break;  // end of file
    }
    *size = done;
    return SZ_OK;
}

SRes FileInStream::Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    FileInStream* s = Self<FileInStream>(p);
    DWORD method = FILE_BEGIN;
    switch (origin) {
        case SZ_SEEK_SET: method = FILE_BEGIN; break;
        case SZ_SEEK_CUR: method = FILE_CURRENT; break;
        case SZ_SEEK_END: method = FILE_END; break;
        default: return kInvalidParameter;
    }
    LARGE_INTEGER distance, moved;
    distance.QuadPart = *pos;
    if (!::SetFilePointerEx(s->file_.Get(), distance, &moved, method)) return SZ_ERROR_READ;
    *pos = moved.QuadPart;
    return SZ_OK;
}

}  // namespace orv
