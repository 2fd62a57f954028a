// The extractor on its own, without the script engine: names that would leave the destination, every
// coder chain, damaged and crafted archives.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archivetestdata.h"
#include "fsutil.h"
#include "orvscriptengine/archive/archiveextractor.h"
#include "orvscriptengine/archive/blockreader.h"
#include "orvscriptengine/archive/dictionarybuffer.h"
#include "orvscriptengine/archive/entrynames.h"
#include "tracecapture.h"
#include "utility/textconv.h"

namespace {

using orv::test::CoderArchive;
using orv::test::CoderFiles;
using orv::test::ExeDirectory;
using orv::test::PayloadFiles;
using orv::test::ReadFileBytes;
using orv::test::TempDir;
using orv::test::TemporaryFilesIn;
using orv::test::Traced;

TEST(UnCompress, NamesThatWouldLeaveTheFolderAreRefused) {
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        TempDir outer(L"orvx");
        const std::wstring dest = outer.Sub(L"d\\e");
        ASSERT_TRUE(::CreateDirectoryW(outer.Sub(L"d").c_str(), nullptr) && ::CreateDirectoryW(dest.c_str(), nullptr));
        TraceCapture capture;
        const std::wstring archive = ExeDirectory() + L"\\unit\\unsafe-" + std::to_wstring(i) + L".7z";
        orv::ArchiveExtractor extractor({});
        EXPECT_EQ(extractor.ExtractFromFile(archive, dest), orv::kExtractUnsafeName);
        EXPECT_TRUE(Traced(L"would leave " + dest + L", refused"));
        EXPECT_TRUE(orv::test::FileExists(dest + L"\\a_good.txt"));  // what came before stays
        EXPECT_FALSE(orv::test::FileExists(outer.Sub(L"d\\evil.txt")));
        EXPECT_FALSE(orv::test::FileExists(outer.Sub(L"evil.txt")));
        EXPECT_FALSE(orv::test::FileExists(outer.Sub(L"e")));
    }
    EXPECT_TRUE(orv::IsSafeEntryName(L"a/b..c/..d/e.txt"));
    EXPECT_TRUE(orv::IsSafeEntryName(L"console.txt"));
    EXPECT_FALSE(orv::IsSafeEntryName(L"com7.log"));
    for (const wchar_t* device : {L"a/COM\u00B9.txt", L"lpt\u00B3", L"Com\u00B2 . .", L"b\\conout$.log", L"Nul . .tar"})
        EXPECT_FALSE(orv::IsSafeEntryName(device)) << orv::WideToUtf8(device);
}

// Every chain of coders the decoder streams, over files larger than its buffers and dictionary.
TEST(UnCompress, EveryCoderChainUnpacksLargeFilesExactly) {
    const auto expected = CoderFiles();
    for (const wchar_t* kind : {L"bcj2", L"x86", L"lzma2", L"copy", L"dict4g", L"ppmd", L"delta", L"arm64", L"armt", L"arm",
                                L"ppc", L"sparc", L"ia64", L"riscv"}) {
        SCOPED_TRACE(orv::WideToUtf8(kind));
        TempDir dest(L"orvc");
        orv::ArchiveExtractor extractor({});
        EXPECT_EQ(extractor.ExtractFromFile(CoderArchive(kind), dest.Path()), 0);
        for (const auto& file : expected) {
            std::string content;
            EXPECT_TRUE(ReadFileBytes(dest.Sub(file.first), &content) && content == file.second)
                << orv::WideToUtf8(file.first);
        }
    }
}

// A large dictionary lives in a temporary file's view; touching most of it goes over its budget, and a
// fresh view gives the touched pages up while keeping every byte; the file goes with it.
TEST(UnCompress, ALargeDictionaryKeepsItsBytesAcrossFreshViews) {
    const size_t size = 24u << 20;
    {
        orv::DictionaryBuffer dictionary;
        ASSERT_TRUE(dictionary.Allocate(size, true));
        EXPECT_TRUE(dictionary.InFile());
        EXPECT_FALSE(dictionary.OverBudget());
        for (size_t i = 0; i < size; i += 4093) dictionary.Data()[i] = static_cast<Byte>(i / 4093);
        EXPECT_TRUE(dictionary.OverBudget());
        ASSERT_TRUE(dictionary.Refresh());
        EXPECT_FALSE(dictionary.OverBudget());
        size_t wrong = 0;
        for (size_t i = 0; i < size; i += 4093) wrong += dictionary.Data()[i] != static_cast<Byte>(i / 4093);
        EXPECT_EQ(wrong, 0u);
    }
    orv::DictionaryBuffer small;
    ASSERT_TRUE(small.Allocate(1u << 20, true));
    EXPECT_FALSE(small.InFile());
    EXPECT_FALSE(small.OverBudget());
}

// A deterministic corpus of damaged copies of the payload: truncated at every length, single and
// multiple bytes flipped across headers and packed streams. None may crash or leave a wrong file.
TEST(UnCompress, DamagedArchivesFailCleanlyAndLeaveNoWrongFile) {
    HRSRC info = ::FindResourceW(nullptr, L"PAYLOAD.7Z", L"_7Z");
    ASSERT_NE(info, nullptr);
    const std::string stored(static_cast<const char*>(::LockResource(::LoadResource(nullptr, info))),
                             ::SizeofResource(nullptr, info));
    std::vector<std::string> corpus;
    for (size_t length = 0; length < stored.size(); length += 7) corpus.push_back(stored.substr(0, length));
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int i = 0; i < 300; ++i) {
        std::string damaged = stored;
        const int flips = 1 + static_cast<int>(next() % 3);
        for (int f = 0; f < flips; ++f) damaged[next() % damaged.size()] ^= static_cast<char>(1 + next() % 255);
        corpus.push_back(damaged);
    }
    std::map<std::wstring, std::string> expected = PayloadFiles();
    // The large BCJ2 archive, stored exchanged as the payload is, damaged within its four packed streams and
    // cut short: files decoded while the damage lies ahead must come out whole, the damaged one not at all.
    std::string large;
    ASSERT_TRUE(ReadFileBytes(CoderArchive(L"bcj2"), &large));
    std::swap(large[0], large[1]);
    for (int i = 0; i < 40; ++i) {
        std::string damaged = large;
        damaged[32 + next() * 4 % (damaged.size() - 32)] ^= static_cast<char>(1 + next() % 255);
        corpus.push_back(damaged);
        corpus.push_back(large.substr(0, 32 + next() * 4 % (large.size() - 32)));
    }
    for (const auto& file : CoderFiles()) expected.insert(file);
    int failed = 0;
    for (size_t i = 0; i < corpus.size(); ++i) {
        TempDir dest(L"orvm");
        TraceCapture capture;
        orv::ArchiveExtractor extractor({});
        const int result = extractor.ExtractFromMemory(corpus[i].data(), corpus[i].size(), true, dest.Path());
        if (result != 0) ++failed;
        for (const auto& file : expected) {
            std::string content;
            if (ReadFileBytes(dest.Sub(file.first), &content)) {
                EXPECT_EQ(content, file.second) << "variant " << i << ": " << orv::WideToUtf8(file.first);
            }
        }
    }
    EXPECT_GT(failed, static_cast<int>(corpus.size()) * 9 / 10);
}

std::wstring Crafted(const std::wstring& name) { return ExeDirectory() + L"\\unit\\" + name + L".7z"; }

// An earlier install's files are replaced by name: read-only, hidden and system ones too, and a file with a
// second hard link keeps its bytes under that link.
TEST(UnCompress, ReplacedFilesTakeTheNameAndNeverWriteThroughAHardLink) {
    TempDir dest(L"orvr");
    ASSERT_TRUE(::CreateDirectoryW(dest.Sub(L"bin").c_str(), nullptr) && ::CreateDirectoryW(dest.Sub(L"data").c_str(), nullptr));
    ASSERT_TRUE(orv::test::WriteFileBytes(dest.Sub(L"bin\\big.exe"), "old") &&
                orv::test::WriteFileBytes(dest.Sub(L"data\\notes.txt"), "old"));
    ASSERT_TRUE(::SetFileAttributesW(dest.Sub(L"bin\\big.exe").c_str(),
                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(::CreateHardLinkW(dest.Sub(L"kept.txt").c_str(), dest.Sub(L"data\\notes.txt").c_str(), nullptr));
    orv::ArchiveExtractor extractor({});
    EXPECT_EQ(extractor.ExtractFromFile(CoderArchive(L"copy"), dest.Path()), 0);
    for (const auto& file : CoderFiles()) {
        std::string content;
        EXPECT_TRUE(ReadFileBytes(dest.Sub(file.first), &content) && content == file.second) << orv::WideToUtf8(file.first);
    }
    std::string kept;
    EXPECT_TRUE(ReadFileBytes(dest.Sub(L"kept.txt"), &kept) && kept == "old");
    EXPECT_EQ(TemporaryFilesIn(dest.Sub(L"bin")) + TemporaryFilesIn(dest.Sub(L"data")), 0);
}

// beforePlace comes before the content takes its place, the old file still there; a refusal keeps the old
// file and leaves nothing else behind.
TEST(UnCompress, BeforePlaceComesBeforeTheRenameAndMayRefuseIt) {
    TempDir dest(L"orvr");
    ASSERT_TRUE(::CreateDirectoryW(dest.Sub(L"data").c_str(), nullptr));
    ASSERT_TRUE(orv::test::WriteFileBytes(dest.Sub(L"data\\notes.txt"), "old"));
    std::vector<std::wstring> asked;
    std::string seen;
    orv::ExtractCallbacks callbacks;
    callbacks.beforePlace = [&](const std::wstring& path) {
        asked.push_back(path);
        ReadFileBytes(path, &seen);
        return path.find(L"notes") == std::wstring::npos;
    };
    TraceCapture capture;
    orv::ArchiveExtractor extractor(callbacks);
    EXPECT_EQ(extractor.ExtractFromFile(CoderArchive(L"copy"), dest.Path()), orv::kExtractOutputFailed);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], dest.Sub(L"data\\notes.txt"));
    EXPECT_EQ(seen, "old");
    EXPECT_TRUE(Traced(dest.Sub(L"data\\notes.txt") + L" not written, refused"));
    std::string content;
    EXPECT_TRUE(ReadFileBytes(dest.Sub(L"data\\notes.txt"), &content) && content == "old");
    EXPECT_EQ(TemporaryFilesIn(dest.Sub(L"data")), 0);
}

// Folders decoded at once finish in any order; the first one is held back here.
void HoldBackTheFirstFolder(UInt32 folder) {
    if (folder == 0) ::Sleep(300);
}

TEST(UnCompress, SeveralBlocksComeOutInArchiveOrderWhicheverIsDecodedFirst) {
    TempDir dest(L"orvb");
    std::vector<std::wstring> files;
    orv::ExtractCallbacks callbacks;
    callbacks.onFile = [&](const std::wstring& path) { files.push_back(path); };
    orv::SetDecodeStartHook(HoldBackTheFirstFolder);
    orv::ArchiveExtractor extractor(callbacks);
    EXPECT_EQ(extractor.ExtractFromFile(Crafted(L"blocks"), dest.Path()), 0);
    orv::SetDecodeStartHook(nullptr);
    ASSERT_EQ(files.size(), 6u);
    for (size_t k = 0; k < files.size(); ++k) {
        const std::wstring name = L"part" + std::to_wstring(k) + L".bin";
        EXPECT_EQ(files[k], dest.Sub(name));
        std::string content, expected;
        EXPECT_TRUE(ReadFileBytes(files[k], &content) && ReadFileBytes(ExeDirectory() + L"\\unit\\blocks\\" + name, &expected) &&
                    content == expected) << k;
    }
}

// The second block's decoder fails while the first is still held back: nothing of the second block or
// after it is written, and no temporary file stays.
TEST(UnCompress, AnErrorInAnyBlockEndsTheExtractionWithoutPartialFiles) {
    TempDir dest(L"orvb");
    orv::SetDecodeStartHook(HoldBackTheFirstFolder);
    orv::ArchiveExtractor extractor({});
    EXPECT_EQ(extractor.ExtractFromFile(Crafted(L"blocks-damaged"), dest.Path()), SZ_ERROR_DATA);
    orv::SetDecodeStartHook(nullptr);
    for (int k = 2; k < 6; ++k) EXPECT_FALSE(orv::test::FileExists(dest.Sub(L"part" + std::to_wstring(k) + L".bin"))) << k;
    EXPECT_EQ(TemporaryFilesIn(dest.Path()), 0);
}

// One large block is decoded a few buffers ahead of the writer, never held whole, and a block decoded ahead
// of the writer is streamed into temporary files: 40 MB come out either way with the process's memory a
// few megabytes above where it started.
TEST(UnCompress, LargeBlocksAreStreamedInBoundedMemory) {
    for (const wchar_t* archive : {L"oneblock", L"twoblocks"}) {
        TempDir dest(L"orvb");
        PROCESS_MEMORY_COUNTERS counters = {};
        ASSERT_TRUE(::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)));
        const SIZE_T before = counters.PagefileUsage;
        SIZE_T most = before;
        int files = 0;
        orv::ExtractCallbacks callbacks;
        callbacks.onFile = [&](const std::wstring&) {
            ++files;
            if (::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)) &&
                counters.PagefileUsage > most)
                most = counters.PagefileUsage;
        };
        orv::ArchiveExtractor extractor(callbacks);
        EXPECT_EQ(extractor.ExtractFromFile(Crafted(archive), dest.Path()), 0) << orv::WideToUtf8(archive);
        EXPECT_EQ(files, 8) << orv::WideToUtf8(archive);
        EXPECT_LT(most - before, SIZE_T(12) << 20) << orv::WideToUtf8(archive);
    }
}

// Extracts an archive file into `dest`; Traced() looks at what the extraction traced.
int ExtractTraced(const std::wstring& archive, const TempDir& dest) {
    TraceCapture capture;
    orv::ArchiveExtractor extractor({});
    return extractor.ExtractFromFile(archive, dest.Path());
}

TEST(UnCompress, AnArchiveWithoutNamesIsRefused) {
    TempDir dest(L"orvm");
    EXPECT_EQ(ExtractTraced(Crafted(L"noname"), dest), SZ_ERROR_ARCHIVE);
    EXPECT_TRUE(Traced(L"the archive's entries have no names; refused"));
}

// Every folder is checked when the archive is opened: the good file before the oversized folder is not
// written either.
TEST(UnCompress, AFolderDeclaringMoreThanItsPackedBytesHoldIsRefusedBeforeAnythingIsWritten) {
    TempDir dest(L"orvm");
    EXPECT_EQ(ExtractTraced(Crafted(L"oversize"), dest), SZ_ERROR_ARCHIVE);
    EXPECT_TRUE(Traced(L"folder 1 declares 268435455 bytes from "));
    EXPECT_FALSE(orv::test::FileExists(dest.Sub(L"a_good.txt")));
    // The model of a PPMd folder, decoded whole, is bounded by the folder's size.
    EXPECT_EQ(ExtractTraced(Crafted(L"ppmdmodel"), dest), SZ_ERROR_MEM);
    EXPECT_TRUE(Traced(L"folder 0 has a PPMd model far larger than its stream; refused"));
}

TEST(UnCompress, EntriesThatAreOneFileOnWindowsAreRefused) {
    const wchar_t* const kFirst[] = {L"Dup.txt", L"same.txt", L"Program Files\\a.txt"};
    for (int i = 0; i < 3; ++i) {
        TempDir dest(L"orvm");
        EXPECT_EQ(ExtractTraced(Crafted(L"clash-" + std::to_wstring(i)), dest), SZ_ERROR_ARCHIVE) << i;
        EXPECT_TRUE(Traced(L"name the same file; refused")) << i;
        EXPECT_FALSE(orv::test::FileExists(dest.Sub(kFirst[i]))) << i;
    }
}

TEST(UnCompress, AJunctionInTheDestinationIsNeverEntered) {
    TempDir dest(L"orvm");
    TempDir outside(L"orvo");
    ASSERT_TRUE(orv::test::MakeJunction(dest.Sub(L"data"), outside.Path()));
    EXPECT_EQ(ExtractTraced(CoderArchive(L"copy"), dest), orv::kExtractUnsafeName);
    EXPECT_TRUE(Traced(dest.Sub(L"data") + L" is a junction or a link; not entered"));
    EXPECT_FALSE(orv::test::FileExists(outside.Sub(L"notes.txt")));
}

TEST(UnCompress, MethodsThisSetupCannotDecodeAreRefusedByName) {
    for (const wchar_t* method : {L"BZip2", L"Deflate"}) {
        std::wstring kind = method;
        for (wchar_t& c : kind) c = static_cast<wchar_t>(towlower(c));
        TempDir dest(L"orvm");
        EXPECT_EQ(ExtractTraced(CoderArchive(kind.c_str()), dest), SZ_ERROR_UNSUPPORTED);
        EXPECT_TRUE(Traced(L"is coded with " + kind.assign(method) + L", which this setup cannot decode"));
    }
}

}  // namespace
