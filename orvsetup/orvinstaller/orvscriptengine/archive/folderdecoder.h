// Decodes one folder (solid block) of a 7z archive piece by piece, in the order of its bytes, with the
// decoder library's incremental decoders: a stored, LZMA or LZMA2 stream, alone, through the x86 branch
// filter, or as the four streams of the BCJ2 filter. Only the dictionaries and small input buffers are held.
#pragma once

#include <cstddef>

#include "7z.h"
#include "Bcj2.h"
#include "Lzma2Dec.h"
#include "LzmaDec.h"
#include "orvscriptengine/archive/dictionarybuffer.h"

namespace orv {

// The dictionary an LZMA or LZMA2 coder of `unpackSize` bytes is decoded with here (no more than the
// stream's length); 0 for a stored stream or properties that are not valid.
UInt64 StreamDictionarySize(const CSzCoderInfo& coder, const Byte* props, UInt64 unpackSize);

// One packed stream of the archive, read through a buffer of its own (BCJ2 reads four of them in turns).
class PackReader {
public:
    PackReader() = default;
    ~PackReader();
    PackReader(const PackReader&) = delete;
    PackReader& operator=(const PackReader&) = delete;

    bool Init(ISeekInStreamPtr stream, UInt64 offset, UInt64 size, size_t bufferSize);
    // Reads the next bytes when none are left; at the stream's end Available() stays 0.
    SRes Fill();
    const Byte* Current() const { return current_; }
    size_t Available() const { return static_cast<size_t>(end_ - current_); }
    void Skip(size_t n) { current_ += n; }
    bool AtEnd() const { return current_ == end_ && left_ == 0; }

private:
    ISeekInStreamPtr stream_ = nullptr;
    UInt64 position_ = 0;
    UInt64 left_ = 0;
    Byte* buffer_ = nullptr;
    size_t bufferSize_ = 0;
    const Byte* current_ = nullptr;
    const Byte* end_ = nullptr;
};

// One coder's output: stored bytes, or an LZMA or LZMA2 stream decoded into its dictionary.
class CoderStream {
public:
    CoderStream();
    ~CoderStream();
    CoderStream(const CoderStream&) = delete;
    CoderStream& operator=(const CoderStream&) = delete;

    SRes Init(const CSzCoderInfo& coder, const Byte* props, UInt64 unpackSize, PackReader* input, bool large);
    // Up to `max` next bytes (at least one while any are left); *data stays valid until the next call.
    SRes Produce(size_t max, const Byte** data, size_t* size);
    bool Done() const { return produced_ == unpackSize_; }
    // After the last byte: the end of the stream is where it must be and the input is used up.
    SRes Finish();

private:
    CLzmaDec* Decoder() { return method_ == kLzma2 ? &lzma2_.decoder : &lzma_; }
    SRes Decode(SizeT limit, ELzmaFinishMode mode, ELzmaStatus* status, SizeT* consumed);

    enum Method { kNone, kCopy, kLzma, kLzma2 };
    Method method_ = kNone;
    CLzmaDec lzma_;
    CLzma2Dec lzma2_;
    DictionaryBuffer dictionary_;
    PackReader* input_ = nullptr;
    UInt64 unpackSize_ = 0;
    UInt64 produced_ = 0;
    size_t sinceCheck_ = 0;
    bool endSeen_ = false;
};

class FolderDecoder {
public:
    // Whether the folder's coders are of a kind decoded here; other folders are decoded whole.
    static bool Handles(const CSzArEx& db, UInt32 folder);

    FolderDecoder() = default;
    FolderDecoder(const FolderDecoder&) = delete;
    FolderDecoder& operator=(const FolderDecoder&) = delete;

    SRes Init(const CSzArEx& db, UInt32 folder, ISeekInStreamPtr stream);
    bool AllDelivered() const { return delivered_ == size_; }
    // Up to `capacity` (at least 64) next bytes into `dest`; *size is 0 only after the last byte.
    SRes Read(Byte* dest, size_t capacity, size_t* size);
    // After the last byte: every input was used up exactly.
    SRes Finish();

private:
    SRes ReadX86(Byte* dest, size_t capacity, size_t* size);
    SRes ReadBcj2(Byte* dest, size_t capacity, size_t* size);
    SRes RefillWords(unsigned which);
    SRes FeedBcj2();  // the input the filter's state asks for

    enum Kind { kPlain, kX86, kBcj2 };
    Kind kind_ = kPlain;
    UInt64 size_ = 0;
    UInt64 delivered_ = 0;
    PackReader packs_[4];
    CoderStream main_;
    // x86 filter: the bytes not converted yet (an instruction may continue in the next piece).
    UInt32 x86State_ = 0;
    Byte carry_[16];
    size_t carryLength_ = 0;
    // BCJ2: its call and jump streams, handed on in whole 4-byte words, and the decoder's state.
    CoderStream call_;
    CoderStream jump_;
    struct Words {
        Byte* buffer = nullptr;
        size_t length = 0;  // bytes in the buffer, the tail beyond the last handed-on word included
        size_t handed = 0;  // bytes handed to the decoder
    } words_[2];
    CBcj2Dec bcj2_;

public:
    ~FolderDecoder();
};

}  // namespace orv
