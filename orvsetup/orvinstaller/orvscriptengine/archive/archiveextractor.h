// Turns a 7z archive's entries into folders and files under a destination folder.
#pragma once

#include <functional>
#include <string>

#include "7zTypes.h"
#include "orvscriptengine/archive/archivestreams.h"
#include "orvscriptengine/archive/entrynames.h"
#include "utility/uniquehandle.h"

namespace orv {

// Result codes: 0 success; the decoder's own codes for archive errors (1 damaged data, 2 out of memory,
// 16 for an entry whose name would leave the destination folder); 11 for a file that could not be
// created, written or closed; 100, which no decoder code shares, when an archive file cannot be opened.
constexpr int kExtractOk = 0;
constexpr int kExtractCannotOpen = 100;
constexpr int kExtractOutputFailed = SZ_ERROR_FAIL;  // 11
constexpr int kExtractUnsafeName = SZ_ERROR_ARCHIVE;

// What an extraction reports as it goes; either may be empty.
struct ExtractCallbacks {
    // (path) after each file was written, closed, put in place and given its attributes
    std::function<void(const std::wstring& path)> onFile;
    // (path, system error code) when a file's content, written and checked under a temporary name beside
    // it, cannot take its place (a file in use there): 0 retry, 1 skip (what is there stays), else abort
    std::function<int(const std::wstring& path, int error)> onError;
    // (path) just before a file's complete content takes `path`, whether a file is there or not: false
    // leaves what is there untouched and ends the extraction with kExtractOutputFailed. What is there may
    // be gone when it returns true
    std::function<bool(const std::wstring& path)> beforePlace;
    // (path) after a folder that was not there was created: false takes the new, empty folder away again
    // and ends the extraction with kExtractOutputFailed
    std::function<bool(const std::wstring& path)> onFolderCreated;
    // (folder) before temporary files are made in the destination `folder` (they are there only while the
    // extraction runs, unless the process is killed): false ends the extraction with kExtractOutputFailed
    std::function<bool(const std::wstring& folder)> beforeStaging;
};

class ArchiveExtractor {
public:
    explicit ArchiveExtractor(const ExtractCallbacks& callbacks) : callbacks_(callbacks) {}

    // An archive in memory, read where it lies; `exchangedSignature` when its bytes 0 and 1 are stored
    // exchanged (the embedded payload).
    int ExtractFromMemory(const void* data, size_t size, bool exchangedSignature, const std::wstring& folder);
    int ExtractFromFile(const std::wstring& archive, const std::wstring& folder);
    // `length` bytes from `offset` of an open file, bytes 0 and 1 stored exchanged: the setup's own payload
    // read through its held program file, so the archive's pages never become part of the process's memory.
    int ExtractFromFilePart(UniqueFileHandle file, UInt64 offset, UInt64 length, const std::wstring& folder);
    int ExtractAll(const PositionalSource& source, const std::wstring& folder);

private:
    ExtractCallbacks callbacks_;
};

}  // namespace orv
