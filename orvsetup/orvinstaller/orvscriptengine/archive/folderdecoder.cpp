// Incremental decoding of one 7z folder.
#include "orvscriptengine/archive/folderdecoder.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Bra.h"
#include "orvscriptengine/archive/decoderheap.h"
#include "orvscriptengine/archive/foldercoders.h"

namespace orv {
namespace {

constexpr size_t kMainInput = 1u << 20;   // packed bytes read at a time for the main stream
constexpr size_t kSideInput = 1u << 16;   // and for BCJ2's other three
constexpr size_t kMainPiece = 1u << 18;   // decoded bytes handed to the BCJ2 filter at a time
constexpr size_t kWordBuffer = 1u << 16;  // call and jump words handed on at a time
constexpr size_t kCheckEvery = 1u << 18;  // decoded bytes between two looks at a file-backed dictionary's budget
constexpr UInt64 kSmallestDictionary = 1u << 12;  // what the LZMA decoder works with at least

// The main coders decoded here piece by piece.
bool IsStreamedMethod(const CSzCoderInfo& coder) {
    return coder.NumStreams == 1 &&
           (coder.MethodID == kMethodCopy || coder.MethodID == kMethodLzma || coder.MethodID == kMethodLzma2);
}

// The dictionary an LZMA or LZMA2 stream asks for, from its properties; 0 when they are not valid.
UInt64 DictionarySize(UInt32 method, const Byte* props, unsigned propsSize) {
    if (method == kMethodLzma2) {
        if (propsSize != 1 || props[0] > 40) return 0;
        return props[0] == 40 ? 0xFFFFFFFFu : UInt64(2 | (props[0] & 1)) << (props[0] / 2 + 11);
    }
    if (propsSize < LZMA_PROPS_SIZE) return 0;
    const UInt64 size = props[1] | (UInt32(props[2]) << 8) | (UInt32(props[3]) << 16) | (UInt32(props[4]) << 24);
    return std::max(size, kSmallestDictionary);
}

}  // namespace

UInt64 StreamDictionarySize(const CSzCoderInfo& coder, const Byte* props, UInt64 unpackSize) {
    if (coder.MethodID == kMethodCopy) return 0;
    const UInt64 wanted = DictionarySize(coder.MethodID, props, coder.PropsSize);
    if (wanted == 0) return 0;
    // A stream shorter than its dictionary never reaches back further than its own length.
    return std::max<UInt64>(std::min(wanted, unpackSize), kSmallestDictionary);
}

// ------------------------------------------------------------------------------------------ PackReader

PackReader::~PackReader() { FreeDecoderBytes(buffer_); }

bool PackReader::Init(ISeekInStreamPtr stream, UInt64 offset, UInt64 size, size_t bufferSize) {
    stream_ = stream;
    position_ = offset;
    left_ = size;
    bufferSize_ = static_cast<size_t>(std::min<UInt64>(bufferSize, std::max<UInt64>(size, 1)));
    buffer_ = AllocateDecoderBytes(bufferSize_);
    current_ = end_ = buffer_;
    return buffer_ != nullptr;
}

SRes PackReader::Fill() {
    if (current_ != end_ || left_ == 0) return SZ_OK;
    Int64 at = static_cast<Int64>(position_);
    const SRes sought = ISeekInStream_Seek(stream_, &at, SZ_SEEK_SET);
    if (sought != SZ_OK) return sought;
    const size_t want = static_cast<size_t>(std::min<UInt64>(bufferSize_, left_));
    size_t got = 0;
    while (got < want) {
        size_t n = want - got;
        const SRes read = ISeekInStream_Read(stream_, buffer_ + got, &n);
        if (read != SZ_OK) return read;
        if (n == 0) return SZ_ERROR_INPUT_EOF;  // the archive ends inside a packed stream
        got += n;
    }
    position_ += got;
    left_ -= got;
    current_ = buffer_;
    end_ = buffer_ + got;
    return SZ_OK;
}

// ----------------------------------------------------------------------------------------- CoderStream

CoderStream::CoderStream() {
    LzmaDec_CONSTRUCT(&lzma_)
    Lzma2Dec_CONSTRUCT(&lzma2_)
}

CoderStream::~CoderStream() {
    // The dictionary is ours: the decoders only free their probabilities.
    LzmaDec_FreeProbs(&lzma_, &kDecoderHeap);
    Lzma2Dec_FreeProbs(&lzma2_, &kDecoderHeap);
}

SRes CoderStream::Init(const CSzCoderInfo& coder, const Byte* props, UInt64 unpackSize, PackReader* input,
                       bool large) {
    input_ = input;
    unpackSize_ = unpackSize;
    if (coder.MethodID == kMethodCopy) {
        method_ = kCopy;
        return SZ_OK;
    }
    const UInt64 size = StreamDictionarySize(coder, props, unpackSize);
    if (size == 0) return SZ_ERROR_UNSUPPORTED;
    if (size != static_cast<size_t>(size)) return SZ_ERROR_MEM;
    if (coder.MethodID == kMethodLzma2) {
        method_ = kLzma2;
        const SRes allocated = Lzma2Dec_AllocateProbs(&lzma2_, props[0], &kDecoderHeap);
        if (allocated != SZ_OK) return allocated;
    } else {
        method_ = kLzma;
        const SRes allocated = LzmaDec_AllocateProbs(&lzma_, props, coder.PropsSize, &kDecoderHeap);
        if (allocated != SZ_OK) return allocated;
    }
    if (!dictionary_.Allocate(static_cast<size_t>(size), large)) return SZ_ERROR_MEM;
    CLzmaDec* decoder = Decoder();
    decoder->dic = dictionary_.Data();
    decoder->dicBufSize = dictionary_.Size();
    if (method_ == kLzma2)
        Lzma2Dec_Init(&lzma2_);
    else
        LzmaDec_Init(&lzma_);
    return SZ_OK;
}

SRes CoderStream::Decode(SizeT limit, ELzmaFinishMode mode, ELzmaStatus* status, SizeT* consumed) {
    const SRes filled = input_->Fill();
    if (filled != SZ_OK) return filled;
    SizeT available = input_->Available();
    const SRes result =
        method_ == kLzma2 ? Lzma2Dec_DecodeToDic(&lzma2_, limit, input_->Current(), &available, mode, status)
                          : LzmaDec_DecodeToDic(&lzma_, limit, input_->Current(), &available, mode, status);
    input_->Skip(available);
    *consumed = available;
    return result;
}

SRes CoderStream::Produce(size_t max, const Byte** data, size_t* size) {
    *size = 0;
    if (produced_ == unpackSize_ || max == 0) return SZ_OK;
    const UInt64 left = unpackSize_ - produced_;
    if (method_ == kCopy) {
        const SRes filled = input_->Fill();
        if (filled != SZ_OK) return filled;
        const size_t n = static_cast<size_t>(std::min<UInt64>(std::min(max, input_->Available()), left));
        if (n == 0) return SZ_ERROR_INPUT_EOF;
        *data = input_->Current();
        *size = n;
        input_->Skip(n);
        produced_ += n;
        return SZ_OK;
    }
    CLzmaDec* decoder = Decoder();
    for (;;) {
        if (decoder->dicPos == decoder->dicBufSize) decoder->dicPos = 0;  // the dictionary is a ring
        if (sinceCheck_ >= kCheckEvery) {
            if (dictionary_.OverBudget() && dictionary_.Refresh()) decoder->dic = dictionary_.Data();
            sinceCheck_ = 0;
        }
        const size_t room = static_cast<size_t>(
            std::min<UInt64>(std::min<size_t>(decoder->dicBufSize - decoder->dicPos, max), left));
        const SizeT start = decoder->dicPos;
        ELzmaStatus status;
        SizeT consumed = 0;
        const SRes result =
            Decode(start + room, room == left ? LZMA_FINISH_END : LZMA_FINISH_ANY, &status, &consumed);
        if (result != SZ_OK) return result;
        const size_t got = decoder->dicPos - start;
        produced_ += got;
        sinceCheck_ += got;
        if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
            endSeen_ = true;
            if (produced_ != unpackSize_) return SZ_ERROR_DATA;  // the stream ended early
        }
        if (got) {
            *data = decoder->dic + start;
            *size = got;
            return SZ_OK;
        }
        if (consumed == 0) return SZ_ERROR_DATA;  // no progress: damaged or cut off
    }
}

SRes CoderStream::Finish() {
    if (produced_ != unpackSize_) return SZ_ERROR_DATA;
    if (method_ == kCopy || endSeen_) return input_->AtEnd() ? SZ_OK : SZ_ERROR_DATA;
    CLzmaDec* decoder = Decoder();
    for (;;) {
        if (decoder->dicPos == decoder->dicBufSize) decoder->dicPos = 0;
        const SizeT start = decoder->dicPos;
        ELzmaStatus status;
        SizeT consumed = 0;
        const SRes result = Decode(start, LZMA_FINISH_END, &status, &consumed);
        if (result != SZ_OK) return result;
        if (decoder->dicPos != start) return SZ_ERROR_DATA;
        if (status == LZMA_STATUS_FINISHED_WITH_MARK ||
            (status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK && method_ == kLzma))
            return input_->AtEnd() ? SZ_OK : SZ_ERROR_DATA;
        if (consumed == 0) return SZ_ERROR_DATA;
    }
}

// --------------------------------------------------------------------------------------- FolderDecoder

bool FolderDecoder::Handles(const CSzArEx& db, UInt32 folder) {
    CSzFolder f;
    if (!ReadFolder(db, folder, &f)) return false;
    switch (ShapeOf(f)) {
        case FolderShape::kSingle: return IsStreamedMethod(f.Coders[0]);
        case FolderShape::kFiltered:
            return IsStreamedMethod(f.Coders[0]) && f.Coders[1].MethodID == kMethodX86 && f.Coders[1].PropsSize == 0;
        case FolderShape::kBcj2:
            return IsStreamedMethod(f.Coders[0]) && IsStreamedMethod(f.Coders[1]) && IsStreamedMethod(f.Coders[2]);
        default: return false;
    }
}

FolderDecoder::~FolderDecoder() {
    for (Words& w : words_) FreeDecoderBytes(w.buffer);
}

SRes FolderDecoder::Init(const CSzArEx& db, UInt32 folder, ISeekInStreamPtr stream) {
    CSzFolder f;
    if (!ReadFolder(db, folder, &f)) return SZ_ERROR_UNSUPPORTED;
    const Byte* props = db.db.CodersData + db.db.FoCodersOffsets[folder];
    const UInt64* sizes = db.db.CoderUnpackSizes + db.db.FoToCoderUnpackSizes[folder];
    const UInt64* packs = db.db.PackPositions + db.db.FoStartPackStreamIndex[folder];
    size_ = SzAr_GetFolderUnpackSize(&db.db, folder);
    auto pack = [&](unsigned index, size_t buffer) {
        return packs_[index].Init(stream, db.dataPos + packs[index], packs[index + 1] - packs[index], buffer);
    };
    auto coder = [&](CoderStream& out, unsigned ci, unsigned packIndex, bool large) {
        const CSzCoderInfo& c = f.Coders[ci];
        if (c.MethodID == kMethodCopy && packs[packIndex + 1] - packs[packIndex] != sizes[ci]) return SZ_ERROR_DATA;
        return out.Init(c, props + c.PropsOffset, sizes[ci], &packs_[packIndex], large);
    };

    if (f.NumCoders != 4) {
        kind_ = f.NumCoders == 2 ? kX86 : kPlain;
        if (sizes[0] != size_) return SZ_ERROR_DATA;
        if (!pack(0, kMainInput)) return SZ_ERROR_MEM;
        x86State_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
        return coder(main_, 0, 0, true);
    }

    // BCJ2: coder 2 makes the main stream from packed stream 0, coder 1 the calls from stream 2, coder 0 the
    // jumps from stream 3; packed stream 1 is the filter's own range-coded stream.
    kind_ = kBcj2;
    if ((sizes[0] & 3) != 0 || (sizes[1] & 3) != 0 || sizes[0] + sizes[1] + sizes[2] != size_) return SZ_ERROR_DATA;
    if (!pack(0, kMainInput) || !pack(1, kSideInput) || !pack(2, kSideInput) || !pack(3, kSideInput))
        return SZ_ERROR_MEM;
    SRes result = coder(main_, 2, 0, true);
    if (result == SZ_OK) result = coder(call_, 1, 2, false);
    if (result == SZ_OK) result = coder(jump_, 0, 3, false);
    if (result != SZ_OK) return result;
    for (Words& w : words_) {
        w.buffer = AllocateDecoderBytes(kWordBuffer);
        if (!w.buffer) return SZ_ERROR_MEM;
    }
    Bcj2Dec_Init(&bcj2_);
    for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) bcj2_.bufs[i] = bcj2_.lims[i] = words_[0].buffer;
    return SZ_OK;
}

SRes FolderDecoder::Read(Byte* dest, size_t capacity, size_t* size) {
    *size = 0;
    capacity = static_cast<size_t>(std::min<UInt64>(capacity, size_ - delivered_));
    if (capacity == 0) return SZ_OK;
    SRes result = SZ_OK;
    switch (kind_) {
        case kPlain: {
            const Byte* data = nullptr;
            result = main_.Produce(capacity, &data, size);
            if (result == SZ_OK && *size) std::memcpy(dest, data, *size);
            break;
        }
        case kX86: result = ReadX86(dest, capacity, size); break;
        case kBcj2: result = ReadBcj2(dest, capacity, size); break;
    }
    delivered_ += *size;
    return result;
}

SRes FolderDecoder::ReadX86(Byte* dest, size_t capacity, size_t* size) {
    size_t have = carryLength_;
    std::memcpy(dest, carry_, have);
    carryLength_ = 0;
    // Enough bytes that the filter can convert some, unless the stream ends first.
    do {
        const Byte* data = nullptr;
        size_t n = 0;
        const SRes result = main_.Produce(capacity - have, &data, &n);
        if (result != SZ_OK) return result;
        if (n == 0) break;
        std::memcpy(dest + have, data, n);
        have += n;
    } while (have < sizeof(carry_) && have < capacity);
    const Byte* converted = z7_BranchConvSt_X86_Dec(dest, have, static_cast<UInt32>(delivered_), &x86State_);
    // The filter leaves an instruction that may go on in the next piece; at the end it stays as it is.
    const size_t ready = main_.Done() ? have : static_cast<size_t>(converted - dest);
    carryLength_ = have - ready;
    std::memcpy(carry_, dest + ready, carryLength_);
    *size = ready;
    return SZ_OK;
}

SRes FolderDecoder::RefillWords(unsigned which) {
    Words& w = words_[which - BCJ2_STREAM_CALL];
    CoderStream& source = which == BCJ2_STREAM_CALL ? call_ : jump_;
    const size_t tail = w.length - w.handed;  // less than a word, left from the last refill
    std::memmove(w.buffer, w.buffer + w.handed, tail);
    w.length = tail;
    while (w.length < 4 || (w.length < kWordBuffer && !source.Done() && w.length < kWordBuffer / 2)) {
        const Byte* data = nullptr;
        size_t n = 0;
        const SRes result = source.Produce(kWordBuffer - w.length, &data, &n);
        if (result != SZ_OK) return result;
        if (n == 0) break;
        std::memcpy(w.buffer + w.length, data, n);
        w.length += n;
    }
    w.handed = w.length & ~size_t(3);
    if (w.handed == 0) return SZ_ERROR_DATA;  // the filter wants a word the stream does not have
    bcj2_.bufs[which] = w.buffer;
    bcj2_.lims[which] = w.buffer + w.handed;
    return SZ_OK;
}

SRes FolderDecoder::FeedBcj2() {
    switch (bcj2_.state) {
        case BCJ2_STREAM_MAIN: {
            const Byte* data = nullptr;
            size_t n = 0;
            const SRes result = main_.Produce(kMainPiece, &data, &n);
            if (result != SZ_OK) return result;
            if (n == 0) return SZ_ERROR_DATA;  // the main stream ended before the output
            bcj2_.bufs[BCJ2_STREAM_MAIN] = data;
            bcj2_.lims[BCJ2_STREAM_MAIN] = data + n;
            return SZ_OK;
        }
        case BCJ2_STREAM_CALL:
        case BCJ2_STREAM_JUMP: return RefillWords(bcj2_.state);
        case BCJ2_STREAM_RC: {
            PackReader& rc = packs_[1];
            const SRes result = rc.Fill();
            if (result != SZ_OK) return result;
            if (rc.Available() == 0) return SZ_ERROR_DATA;
            bcj2_.bufs[BCJ2_STREAM_RC] = rc.Current();
            bcj2_.lims[BCJ2_STREAM_RC] = rc.Current() + rc.Available();
            rc.Skip(rc.Available());  // the buffer stays until the filter has used all of it
            return SZ_OK;
        }
        default: return SZ_ERROR_DATA;
    }
}

SRes FolderDecoder::ReadBcj2(Byte* dest, size_t capacity, size_t* size) {
    bcj2_.dest = dest;
    bcj2_.destLim = dest + capacity;
    for (;;) {
        const SRes decoded = Bcj2Dec_Decode(&bcj2_);
        if (decoded != SZ_OK) return decoded;
        if (bcj2_.dest == bcj2_.destLim) break;
        const SRes fed = FeedBcj2();
        if (fed != SZ_OK) return fed;
    }
    *size = static_cast<size_t>(bcj2_.dest - dest);
    return SZ_OK;
}

SRes FolderDecoder::Finish() {
    if (delivered_ != size_) return SZ_ERROR_DATA;
    SRes result = main_.Finish();
    if (result != SZ_OK || kind_ == kPlain) return result;
    if (kind_ == kX86) return carryLength_ == 0 ? SZ_OK : SZ_ERROR_DATA;
    if ((result = call_.Finish()) != SZ_OK || (result = jump_.Finish()) != SZ_OK) return result;
    // A branch marker in the last byte still has its range-coded flag to read, which may be in input
    // not handed over yet when the output filled up.
    bcj2_.dest = carry_;  // no room: only the flag is read
    bcj2_.destLim = carry_;
    while (bcj2_.state == BCJ2_STREAM_RC) {
        if ((result = FeedBcj2()) != SZ_OK || (result = Bcj2Dec_Decode(&bcj2_)) != SZ_OK) return result;
    }
    for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i)
        if (bcj2_.bufs[i] != bcj2_.lims[i]) return SZ_ERROR_DATA;
    for (const Words& w : words_)
        if (w.length != w.handed) return SZ_ERROR_DATA;
    return packs_[1].AtEnd() && Bcj2Dec_IsMaybeFinished(&bcj2_) ? SZ_OK : SZ_ERROR_DATA;
}

}  // namespace orv
