// The install record written as a log and what a log lists removed: Lua_WriteInstallLog,
// Lua_RemoveInstallLog and Lua_RecordOutsideChange on real files and keys of the test prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fsutil.h"
#include "luatestutil.h"
#include "orvscriptengine/installlog.h"
#include "orvscriptengine/installrecord.h"
#include "orvscriptengine/scriptglobals.h"
#include "tracecapture.h"
#include "utility/textconv.h"
#include "utility/uniquehandle.h"

namespace {

using orv::test::DirExists;
using orv::test::FileExists;
using orv::test::MakeJunction;
using orv::test::ReadFileBytes;
using orv::test::TempDir;
using orv::test::WriteFileBytes;
using orv::UniqueFileHandle;
using orv::UniqueHKey;

const std::wstring kKey = L"Software\\OrvTest\\Log" + std::to_wstring(::GetCurrentProcessId());

// A fresh record, and `inst` (not made yet) and `key` as script globals.
class InstallLog : public ::testing::Test {
protected:
    void SetUp() override {
        orv::InstallRecord::Instance().Clear();
        inst_ = dir_.Sub(L"inst");
        orv::SetGlobalText(EngineState(), "inst", inst_);
        orv::SetGlobalText(EngineState(), "dir", dir_.Path());
        orv::SetGlobalText(EngineState(), "key", kKey);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
        orv::InstallRecord::Instance().Clear();
    }
    std::string Log() const {
        std::string text;
        ReadFileBytes(inst_ + L"\\Uninst.rec", &text);
        return text;
    }
    static bool Traced(const std::wstring& line) { return TraceCapture::Holds(L"qz " + line); }

    TempDir dir_{L"orvlog"};
    std::wstring inst_;
};

TEST_F(InstallLog, AnUninstallRemovesWhatTheInstallWroteAndNothingElse) {
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"payload.txt"), "p"));
    ASSERT_TRUE(RunForOk("ok = Lua_CreateDirectory(inst .. '\\\\bin') and Lua_CopyFile(dir .. '\\\\payload.txt', inst "
                         ".. '\\\\bin\\\\a.txt') and Lua_RegAdd('HKCU', key .. '\\\\sub', 'v', 'REG_SZ', 'x', true) "
                         "and Lua_WriteInstallLog(inst)"));
    // The user's own files, and a value the install did not write in a key it created.
    ASSERT_TRUE(WriteFileBytes(inst_ + L"\\keep.txt", "mine"));
    UniqueHKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_SET_VALUE, key.Put()), ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.Get(), L"user", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
              ERROR_SUCCESS);
    TraceCapture capture;
    EXPECT_TRUE(RunForOk("ok = Lua_RemoveInstallLog(inst)"));
    EXPECT_FALSE(DirExists(inst_ + L"\\bin"));
    EXPECT_TRUE(FileExists(inst_ + L"\\keep.txt"));
    EXPECT_FALSE(FileExists(inst_ + L"\\Uninst.rec"));
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, (kKey + L"\\sub").c_str(), 0, KEY_READ, key.Put()), ERROR_SUCCESS);
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_READ, key.Put()), ERROR_SUCCESS);
    EXPECT_TRUE(Traced(L"Fun:Lua_RemoveInstallLog, Description:HKCU\\" + kKey +
                       L" kept, it holds what the install did not create\r\n"));
    EXPECT_TRUE(Traced(L"Fun:Lua_RemoveInstallLog, Description:" + inst_ +
                       L" kept, it holds files the install did not write\r\n"));
}

TEST_F(InstallLog, AnUpgradeKeepsWhatTheOldLogListedAsCreated) {
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"payload.txt"), "p"));
    ASSERT_TRUE(RunForOk("ok = Lua_CreateDirectory(inst) and Lua_CopyFile(dir .. '\\\\payload.txt', inst .. '\\\\a.txt')"
                         " and Lua_WriteInstallLog(inst)"));
    orv::InstallRecord::Instance().Clear();  // the upgrade's own run replaces the file
    ASSERT_TRUE(RunForOk("ok = Lua_CopyFile(dir .. '\\\\payload.txt', inst .. '\\\\a.txt') and "
                         "Lua_CopyFile(dir .. '\\\\payload.txt', inst .. '\\\\b.txt') and Lua_WriteInstallLog(inst)"));
    const std::string utf8 = orv::WideToUtf8(inst_);
    EXPECT_EQ(Log(), "ORV install record\t1\r\nD\tC\t" + utf8 + "\r\nF\tC\t" + utf8 + "\\a.txt\r\nF\tC\t" + utf8 +
                         "\\b.txt\r\n");
    // A folder an earlier setup filled without a log: its folder and the files written again are the install's.
    ASSERT_TRUE(::DeleteFileW((inst_ + L"\\Uninst.rec").c_str()));
    orv::InstallRecord::Instance().Clear();
    ASSERT_TRUE(RunForOk("ok = Lua_CopyFile(dir .. '\\\\payload.txt', inst .. '\\\\a.txt') and Lua_WriteInstallLog(inst)"));
    EXPECT_EQ(Log(), "ORV install record\t1\r\nD\tC\t" + utf8 + "\r\nF\tR\t" + utf8 + "\\a.txt\r\n");
    EXPECT_TRUE(RunForOk("ok = Lua_RemoveInstallLog(inst)"));
    EXPECT_TRUE(FileExists(inst_ + L"\\b.txt"));  // not in the log any more
    EXPECT_FALSE(FileExists(inst_ + L"\\a.txt"));
}

TEST_F(InstallLog, AHostileLogIsReadWithinItsBounds) {
    TempDir outside(L"orvout");
    ASSERT_TRUE(::CreateDirectoryW(inst_.c_str(), nullptr) && WriteFileBytes(outside.Sub(L"x.dll"), "x") &&
                MakeJunction(inst_ + L"\\link", outside.Path()));
    const std::string in = orv::WideToUtf8(inst_), out = orv::WideToUtf8(outside.Path());
    ASSERT_TRUE(WriteFileBytes(inst_ + L"\\Uninst.rec",
                               "ORV install record\t1\r\nF\tC\t" + out + "\\x.dll\r\nF\tC\t" + in + "\\link\\x.dll\r\n"
                               "F\tC\t" + in + "\\..\\x.dll\r\nV\tC\t0\tHKCU\tSoftware\tv\r\nF\tC\t" + in +
                               "\\a%00b\r\nZ\twhat\r\nX\trun\tcmd.exe\tanything\r\n"));
    TraceCapture capture;
    EXPECT_TRUE(RunForOk("ok = Lua_RemoveInstallLog(inst)"));  // refused entries are dropped
    EXPECT_TRUE(FileExists(outside.Sub(L"x.dll")));
    const std::wstring refused = L"Fun:Lua_RemoveInstallLog, Description:";
    EXPECT_TRUE(Traced(refused + outside.Sub(L"x.dll") +
                       L" refused, it lies outside the install folder and the install's own places\r\n"));
    EXPECT_TRUE(Traced(refused + inst_ + L"\\link\\x.dll refused, it lies behind a link\r\n"));
    EXPECT_TRUE(Traced(refused + inst_ + L"\\..\\x.dll refused, it is no plain full path\r\n"));
    EXPECT_TRUE(Traced(refused + L"HKCU\\Software\\v refused, it lies in no key the install created\r\n"));
    EXPECT_TRUE(Traced(refused + L"line 6 of " + inst_ + L"\\Uninst.rec left out, it is no entry\r\n"));
    EXPECT_TRUE(Traced(refused + L"line 7 of " + inst_ + L"\\Uninst.rec left out, it is no entry\r\n"));
    EXPECT_TRUE(Traced(refused + L"run cmd.exe refused, its undo is not one this engine knows\r\n"));
    // A log of another version is not read at all, and a drive's root is no install folder.
    ASSERT_TRUE(WriteFileBytes(inst_ + L"\\Uninst.rec", "ORV install record\t2\r\n"));
    EXPECT_FALSE(RunForOk("ok = Lua_RemoveInstallLog(inst)"));
    EXPECT_TRUE(Traced(refused + inst_ + L"\\Uninst.rec is no install log of this version, refused\r\n"));
    EXPECT_FALSE(RunForOk("ok = Lua_RemoveInstallLog('C:\\\\')"));
    EXPECT_TRUE(Traced(L"Fun:Lua_RemoveInstallLog, Description:C:\\ cannot be an install folder, refused\r\n"));
}

TEST_F(InstallLog, AFileInUseStaysListedAndASecondRunFinishes) {
    ASSERT_TRUE(RunForOk("ok = Lua_CreateDirectory(inst) and Lua_ExtractResource('LUA', 'TESTCHUNK.LUAC', inst .. "
                         "'\\\\held.txt') and Lua_WriteInstallLog(inst)"));
    {
        const UniqueFileHandle held = orv::CreateFileHandle((inst_ + L"\\held.txt").c_str(), GENERIC_READ, 0, OPEN_EXISTING);
        ASSERT_TRUE(held);
        EXPECT_TRUE(RunForOk("failed = {}; ok = not Lua_RemoveInstallLog(inst, function(p, c) failed[#failed + 1] = p "
                             "end) and #failed == 1 and failed[1] == inst .. '\\\\held.txt'"));
    }
    EXPECT_NE(Log().find("held.txt"), std::string::npos);
    EXPECT_TRUE(RunForOk("ok = Lua_RemoveInstallLog(inst)"));
    EXPECT_FALSE(DirExists(inst_));
}

TEST_F(InstallLog, OutsideChangesAreUndoneThroughTheirKindOnly) {
    ASSERT_TRUE(RunForOk("ok = Lua_CreateDirectory(inst) and Lua_RecordOutsideChange('file', inst .. '\\\\made.txt', "
                         "'helper file') and Lua_WriteInstallLog(inst) and not Lua_RecordOutsideChange('run', 'x', '')"));
    ASSERT_TRUE(WriteFileBytes(inst_ + L"\\made.txt", "by the helper"));
    EXPECT_TRUE(RunForOk("ok = Lua_RemoveInstallLog(inst)"));
    EXPECT_FALSE(DirExists(inst_));
}

}  // namespace
