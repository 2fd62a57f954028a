// Lua_UnCompress7z and Lua_ExtractResource: the embedded payload and 7z files unpacked into folders, the
// callbacks, the argument forms, output problems, names that would leave the folder, damaged archives.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/archive/archiveextractor.h"
#include "orvscriptengine/archive/dictionarybuffer.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/programfile.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"

namespace {

using orv::test::ExeDirectory;
using orv::test::ReadFileBytes;
using orv::test::TempDir;

std::map<std::wstring, std::string> PayloadFiles() {
    std::string readme, tool = "MZ";
    for (int i = 0; i < 100; ++i) readme += "\xE5\xA5\x8E\xE6\xAF\x94 readme\r\n";
    for (int i = 0; i < 70000; ++i) tool += static_cast<char>(i * 7 % 256);
    return {{L"readme.txt", readme}, {L"bin\\tool.exe", tool}, {L"文档\\sub\\说明.txt", "\xE8\xAF\xB4\xE6\x98\x8E"},
            {L"empty.dat", ""}};
}

// Every payload file under `folder` with its exact content.
::testing::AssertionResult HasPayload(const std::wstring& folder) {
    for (const auto& file : PayloadFiles()) {
        std::string content;
        if (!ReadFileBytes(folder + L"\\" + file.first, &content))
            return ::testing::AssertionFailure() << "missing " << orv::WideToUtf8(file.first);
        if (content != file.second) return ::testing::AssertionFailure() << "wrong " << orv::WideToUtf8(file.first);
    }
    return ::testing::AssertionSuccess();
}

// Runs `script` with the globals dest (a new folder) and the others given set; true when `ok` is true.
bool RunExtract(const std::string& script, const TempDir& dest, const std::map<std::string, std::wstring>& globals = {}) {
    lua_State* L = EngineState();
    orv::SetGlobalText(L, "dest", dest.Path());
    for (const auto& global : globals) orv::SetGlobalText(L, global.first.c_str(), global.second);
    return RunForOk(script);
}

// The programs and text of the coders-*.7z archives (tests/unit/mkpayload.py makes the same bytes).
std::map<std::wstring, std::string> CoderFiles() {
    std::string program = "MZ";
    unsigned x = 12345;
    for (unsigned i = 0; i < 1200000; ++i) {
        x = (x * 1103515245u + 12345u) & 0x7FFFFFFF;
        const unsigned m = i % 13;
        static const char kOps[] = {'\x8B', '\x45', '\x89', '\x4D'};
        program += m == 0 ? '\xE8' : m == 8 ? '\xE9' : (m == 1 || m == 9) ? static_cast<char>(i >> 4)
                 : (m == 2 || m == 10) ? static_cast<char>(i >> 12) : (m == 3 || m == 4) ? '\0'
                 : (m == 11 || m == 12) ? '\xFF' : m == 5 ? static_cast<char>(x >> 16) : kOps[m & 3];
    }
    std::string notes;
    for (int i = 0; i < 15000; ++i) notes += "line 7 of the notes\r\n";
    return {{L"bin\\big.exe", program}, {L"data\\notes.txt", notes}};
}

std::wstring CoderArchive(const wchar_t* kind) { return ExeDirectory() + L"\\unit\\coders-" + kind + L".7z"; }

bool Traced(const std::wstring& text) {
    for (const std::wstring& line : TraceCapture::Lines())
        if (line.find(text) != std::wstring::npos) return true;
    return false;
}

TEST(UnCompress, EmbeddedPayloadUnpacksWithFoldersTimesAttributesAndCallbacksTwice) {
    for (int round = 0; round < 2; ++round) {  // the stored resource is never changed: a second run works
        TempDir dest(L"orvx");
        TraceCapture capture;
        ASSERT_TRUE(RunExtract("files = {}; ok = Lua_UnCompress7z('payload.7z', dest, false,"
                        " function(path) files[#files + 1] = path end, function() return 9 end);"
                        " file_list = table.concat(files, '|')",
                        dest));
        EXPECT_TRUE(HasPayload(dest.Path()));
        EXPECT_TRUE(orv::test::DirExists(dest.Sub(L"emptydir")));
        EXPECT_TRUE(Traced(L"qz UnCompress payload.7z to " + dest.Path() + L" .\r\n"));
        EXPECT_TRUE(Traced(L"qz UnCompress successful.\r\n"));

        // onFile: once per file, with the full path, in archive order.
        const std::wstring list = orv::GetGlobalText(EngineState(), "file_list");
        for (const auto& file : PayloadFiles())
            EXPECT_NE(list.find(dest.Sub(file.first)), std::wstring::npos) << orv::WideToUtf8(list);
        EXPECT_EQ(std::count(list.begin(), list.end(), L'|'), 3);

        const std::wstring readme = dest.Sub(L"readme.txt");
        EXPECT_TRUE(::GetFileAttributesW(readme.c_str()) & FILE_ATTRIBUTE_READONLY);
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(::GetFileAttributesExW(readme.c_str(), GetFileExInfoStandard, &data));
        ULARGE_INTEGER written;
        written.LowPart = data.ftLastWriteTime.dwLowDateTime;
        written.HighPart = data.ftLastWriteTime.dwHighDateTime;
        EXPECT_EQ(written.QuadPart, (1577934245ull + 11644473600ull) * 10000000ull);  // 2020-01-02 03:04:05 UTC

        // A read-only file at an output path is replaced.
        EXPECT_TRUE(RunExtract("ok = Lua_UnCompress7z('PAYLOAD.7Z', dest)", dest));
    }
}

TEST(UnCompress, ArgumentFormsAndNumericIds) {
    TempDir dest(L"orvx");
    TraceCapture capture;
    // A nil fifth argument leaves both callbacks unset, a function fourth one included.
    EXPECT_TRUE(RunExtract("called = false; ok = Lua_UnCompress7z(201, dest, false, function() called = true end, nil)",
                    dest));
    EXPECT_FALSE(orv::GetGlobalFlag(EngineState(), "called"));
    EXPECT_FALSE(Traced(L"qz UnCompress 201"));  // no source line for a numeric id
    EXPECT_TRUE(HasPayload(dest.Path()));
    EXPECT_TRUE(RunExtract("n = 0; ok = Lua_UnCompress7z('PAYLOAD.7Z', dest, 'yes', function() n = n + 1 end)", dest));
    EXPECT_EQ(orv::GetGlobalInteger(EngineState(), "n"), 4);
    EXPECT_TRUE(RunExtract("ok = Lua_UnCompress7z('EMPTY.7Z', dest, false)", dest));

    // Counts the library does not take extract nothing and say so.
    TempDir other(L"orvx");
    TraceCapture::Lines().clear();
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('PAYLOAD.7Z')", other));
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('PAYLOAD.7Z', dest, false, nil, nil, 6)", other));
    EXPECT_TRUE(Traced(L"takes 2 to 5 arguments, not 6"));
    EXPECT_FALSE(orv::test::FileExists(other.Sub(L"readme.txt")));
}

TEST(UnCompress, FileSourcesAndResourcesWrittenToFiles) {
    TempDir dest(L"orvx");
    TempDir store(L"orvs");
    ::SetEnvironmentVariableW(L"ORVTEST_STORE", store.Path().c_str());
    TraceCapture capture;
    // An archive resource is written as a plain 7z archive, every time; another letter case is another
    // type name, written as stored.
    EXPECT_TRUE(RunExtract("ok = Lua_ExtractResource('_7Z', 'PAYLOAD.7Z', '%ORVTEST_STORE%\\\\p.7z')"
                    " and Lua_ExtractResource('_7Z', 'PAYLOAD.7Z', '%ORVTEST_STORE%\\\\q.7z')"
                    " and Lua_ExtractResource('_7z', 'PAYLOAD.7Z', '%ORVTEST_STORE%\\\\stored.bin')",
                    dest));
    std::string plain, again, stored;
    ASSERT_TRUE(ReadFileBytes(store.Sub(L"p.7z"), &plain));
    ASSERT_TRUE(ReadFileBytes(store.Sub(L"q.7z"), &again));
    ASSERT_TRUE(ReadFileBytes(store.Sub(L"stored.bin"), &stored));
    EXPECT_EQ(plain.substr(0, 2), "7z");
    EXPECT_EQ(again, plain);
    EXPECT_EQ(stored.substr(0, 2), "z7");
    EXPECT_EQ(stored.substr(2), plain.substr(2));

    EXPECT_TRUE(RunExtract("ok = Lua_UnCompress7z('%ORVTEST_STORE%\\\\p.7z', dest, true)", dest));
    EXPECT_TRUE(HasPayload(dest.Path()));
    EXPECT_TRUE(Traced(L"qz UnCompress " + store.Sub(L"p.7z") + L" to "));

    TraceCapture::Lines().clear();
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('%ORVTEST_STORE%\\\\none.7z', dest, true)", dest));
    EXPECT_TRUE(Traced(L"Fun:Lua_UnCompress7z, Description:" + store.Sub(L"none.7z") + L" it's not exists!"));
    EXPECT_FALSE(RunExtract("ok = Lua_ExtractResource('LUA', 'NOPE', '%ORVTEST_STORE%\\\\x')", dest));
    EXPECT_TRUE(Traced(L"Fun:Lua_ExtractResource ,LoadResource failed!"));
    EXPECT_FALSE(RunExtract("ok = Lua_ExtractResource('LUA', 'TESTCHUNK.LUAC', '%ORVTEST_STORE%\\\\no\\\\x')", dest));
    EXPECT_TRUE(Traced(L"Fun:Lua_ExtractResource ,CreateFileW " + store.Sub(L"no\\x") + L" failed!"));
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('NOPE.7Z', dest)", dest));
    EXPECT_TRUE(Traced(L"Fun:Lua_UnCompress7z ,LoadResource failed!"));
    ::SetEnvironmentVariableW(L"ORVTEST_STORE", nullptr);
}

TEST(UnCompress, AMissingDestinationIsNeverCreated) {
    TempDir parent(L"orvx");
    TraceCapture capture;
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('PAYLOAD.7Z', missing)", parent, {{"missing", parent.Sub(L"no\\where")}}));
    EXPECT_TRUE(Traced(L"Fun:Lua_UnCompress7z, Description:" + parent.Sub(L"no\\where") + L" it's not exists!"));
    EXPECT_FALSE(orv::test::DirExists(parent.Sub(L"no")));
}

// A file held open without sharing stands in the way of one output path.
class LockedOutput {
public:
    explicit LockedOutput(const std::wstring& path) {
        ::CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
        handle_ = orv::CreateFileHandle(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
        current_ = this;
    }
    ~LockedOutput() {
        Release();
        current_ = nullptr;
    }
    bool Held() const { return handle_.Valid(); }
    void Release() { handle_.Reset(); }
    static int ReleaseFromScript(lua_State*) {
        if (current_) current_->Release();
        return 0;
    }

private:
    orv::UniqueFileHandle handle_;
    static LockedOutput* current_;
};
LockedOutput* LockedOutput::current_ = nullptr;

TEST(UnCompress, OnErrorRetriesSkipsOrAborts) {
    lua_State* L = EngineState();
    lua_register(L, "ORVTEST_Unlock", LockedOutput::ReleaseFromScript);
    const char* kExtract =
        "calls = {}; ok = Lua_UnCompress7z('PAYLOAD.7Z', dest, false, nil, function(path, code)"
        " calls[#calls + 1] = code; if decision == 'free' then ORVTEST_Unlock() return 0 end"
        " return tonumber(decision) end); call_count = #calls; first_code = calls[1]";
    struct Case {
        const char* decision;
        bool result;
        int calls;
        bool toolWritten;
    };
    for (const Case& c : {Case{"1", true, 1, false}, Case{"0", false, 1, false}, Case{"free", true, 1, true},
                          Case{"2", false, 1, false}}) {
        SCOPED_TRACE(c.decision);
        TempDir dest(L"orvx");
        LockedOutput lock(dest.Sub(L"bin\\tool.exe"));  // the second file of the archive
        ASSERT_TRUE(lock.Held());
        TraceCapture capture;
        EXPECT_EQ(RunExtract(kExtract, dest, {{"decision", orv::Utf8ToWide(c.decision)}}), c.result);
        EXPECT_EQ(orv::GetGlobalInteger(L, "call_count"), c.calls);
        EXPECT_EQ(orv::GetGlobalInteger(L, "first_code"), ERROR_SHARING_VIOLATION);
        lock.Release();
        std::string tool;
        EXPECT_EQ(ReadFileBytes(dest.Sub(L"bin\\tool.exe"), &tool) && !tool.empty(), c.toolWritten);
        // Skipping one file never fails the call; the files after it are written.
        if (std::string(c.decision) == "1") {
            EXPECT_TRUE(Traced(L"Description:" + dest.Sub(L"bin\\tool.exe") + L" skipped, error 32"));
            EXPECT_TRUE(orv::test::FileExists(dest.Sub(L"文档\\sub\\说明.txt")));
        }
    }
    // Without onError the extraction stops at the file it cannot create.
    TempDir dest(L"orvx");
    LockedOutput lock(dest.Sub(L"bin\\tool.exe"));
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('PAYLOAD.7Z', dest)", dest));
}

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

// The embedded payload is read through the program file held since the start: nobody may rename it away
// meanwhile, and a different program at its path is not taken for it.
TEST(UnCompress, OnlyTheHeldProgramFileIsReadFrom) {
    ASSERT_TRUE(orv::ProgramFile::Instance().Valid());
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::wstring moved = std::wstring(self) + L".moved";
    const bool renamed = ::MoveFileW(self, moved.c_str()) != 0;
    if (renamed) ::MoveFileW(moved.c_str(), self);
    EXPECT_FALSE(renamed);

    const orv::ProgramFile other((ExeDirectory() + L"\\windowapp.exe").c_str(), ::GetModuleHandleW(nullptr));
    EXPECT_EQ(other.Status(), orv::ProgramFileStatus::kNotTheLoadedImage);
    EXPECT_FALSE(other.Duplicate());
}

// A data error in the embedded payload ends the one extraction: the files before it come out once.
TEST(UnCompress, ADataErrorInTheEmbeddedPayloadIsReportedOnce) {
    TempDir dest(L"orvd");
    TraceCapture capture;
    EXPECT_FALSE(RunExtract("n = 0; ok = Lua_UnCompress7z('DAMAGED.7Z', dest, false, function() n = n + 1 end)", dest));
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "n"), L"1");
    EXPECT_FALSE(orv::test::FileExists(dest.Sub(L"b.bin")));
    int failures = 0;
    for (const std::wstring& line : TraceCapture::Lines())
        failures += line.find(L"UnCompress failed") != std::wstring::npos;
    EXPECT_EQ(failures, 1);
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
