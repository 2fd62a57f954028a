// Lua_UnCompress7z and Lua_ExtractResource: the embedded payload and 7z files unpacked into folders, the
// callbacks, the argument forms, output problems.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "archivetestdata.h"
#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/scriptglobals.h"
#include "utility/programfile.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"

namespace {

using orv::test::ExeDirectory;
using orv::test::PayloadFiles;
using orv::test::ReadFileBytes;
using orv::test::TempDir;
using orv::test::Traced;

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
        " calls[#calls + 1] = code; first_path = first_path or path"
        " if decision == 'free' then ORVTEST_Unlock() return 0 end"
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
        lua_pushnil(L);
        lua_setglobal(L, "first_path");
        EXPECT_EQ(RunExtract(kExtract, dest, {{"decision", orv::Utf8ToWide(c.decision)}}), c.result);
        EXPECT_EQ(orv::GetGlobalInteger(L, "call_count"), c.calls);
        // The file is written beside its place; the one in use stands in the way of the rename.
        EXPECT_EQ(orv::GetGlobalInteger(L, "first_code"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(orv::GetGlobalText(L, "first_path"), dest.Sub(L"bin\\tool.exe"));
        EXPECT_EQ(orv::test::TemporaryFilesIn(dest.Sub(L"bin")), 0);
        lock.Release();
        std::string tool;
        EXPECT_EQ(ReadFileBytes(dest.Sub(L"bin\\tool.exe"), &tool) && !tool.empty(), c.toolWritten);
        // Skipping one file never fails the call; the files after it are written.
        if (std::string(c.decision) == "1") {
            EXPECT_TRUE(Traced(L"Description:" + dest.Sub(L"bin\\tool.exe") + L" skipped, error 5"));
            EXPECT_TRUE(orv::test::FileExists(dest.Sub(L"文档\\sub\\说明.txt")));
        }
    }
    // Without onError the extraction stops at the file it cannot create.
    TempDir dest(L"orvx");
    LockedOutput lock(dest.Sub(L"bin\\tool.exe"));
    EXPECT_FALSE(RunExtract("ok = Lua_UnCompress7z('PAYLOAD.7Z', dest)", dest));
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
    ASSERT_TRUE(orv::test::WriteFileBytes(dest.Sub(L"b.bin"), "old"));  // an earlier install's file stays
    TraceCapture capture;
    EXPECT_FALSE(RunExtract("n = 0; ok = Lua_UnCompress7z('DAMAGED.7Z', dest, false, function() n = n + 1 end)", dest));
    EXPECT_EQ(orv::GetGlobalText(EngineState(), "n"), L"1");
    std::string old;
    EXPECT_TRUE(ReadFileBytes(dest.Sub(L"b.bin"), &old) && old == "old");
    EXPECT_EQ(orv::test::TemporaryFilesIn(dest.Path()), 0);
    int failures = 0;
    for (const std::wstring& line : TraceCapture::Lines())
        failures += line.find(L"UnCompress failed") != std::wstring::npos;
    EXPECT_EQ(failures, 1);
}

}  // namespace
