// The install journal: its bytes read back defensively, and runs rolled back, committed and recovered
// against real files and registry keys of the prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fsutil.h"
#include "tracecapture.h"
#include "utility/journal.h"
#include "utility/journalplace.h"
#include "utility/journalrecord.h"
#include "utility/scopeguard.h"
#include "utility/securitydescriptor.h"
#include "utility/uniquehandle.h"

namespace {

using orv::Journal;
using orv::JournalKind;
using orv::JournalRecord;
using orv::test::FileExists;
using orv::test::ReadFileBytes;
using orv::test::WriteFileBytes;

constexpr uint32_t kAppId = 7301;
constexpr wchar_t kTestKey[] = L"Software\\OrvJournalTest";

std::wstring UserKey(const std::wstring& below) { return L"HKU\\" + orv::CurrentUserSid() + L"\\" + below; }

std::wstring ReadText(const std::wstring& path) {
    std::string bytes;
    return ReadFileBytes(path, &bytes) ? std::wstring(bytes.begin(), bytes.end()) : L"<none>";
}

std::wstring UserValue(const wchar_t* name) {
    wchar_t value[64] = L"";
    DWORD bytes = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, kTestKey, name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return L"<none>";
    return value;
}

void SetUserValue(const wchar_t* name, const wchar_t* text) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kTestKey, name, REG_SZ, text, static_cast<DWORD>((wcslen(text) + 1) * 2));
}

JournalRecord Record(JournalKind kind, const std::wstring& path, const std::wstring& other = L"") {
    JournalRecord record;
    record.kind = kind;
    record.path = path;
    record.other = other;
    return record;
}

// The old value of kTestKey's `name` as the listener records it.
JournalRecord OldValue(const wchar_t* name, const std::wstring& text) {
    JournalRecord record = Record(JournalKind::kValueOld, UserKey(kTestKey), name);
    record.hadValue = text.empty() ? 0 : 1;
    record.valueType = REG_SZ;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    record.data.assign(bytes, bytes + (text.size() + 1) * 2);
    return record;
}

// A change a script made outside the engine, recorded with its undo.
JournalRecord Outside(const std::wstring& description, const std::wstring& undo) {
    return Record(JournalKind::kOutside, description, undo);
}

// A demand-start service named `name` running `program`; deleted (and stopped) when it goes.
class ServiceOf {
public:
    ServiceOf(const std::wstring& name, const std::wstring& program)
        : name_(name), manager_(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
        const orv::UniqueServiceHandle service(::CreateServiceW(
            manager_.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, (L"\"" + program + L"\"").c_str(), nullptr, nullptr, nullptr,
            nullptr, nullptr));
        made_ = service && ::StartServiceW(service.Get(), 0, nullptr);
    }
    ~ServiceOf() {
        const orv::UniqueServiceHandle service(::OpenServiceW(manager_.Get(), name_.c_str(), SERVICE_ALL_ACCESS));
        SERVICE_STATUS status = {};
        if (service) ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status), ::DeleteService(service.Get());
    }
    bool Made() const { return made_; }
    bool Exists() const {
        return orv::UniqueServiceHandle(::OpenServiceW(manager_.Get(), name_.c_str(), SERVICE_QUERY_STATUS)).Valid();
    }

private:
    std::wstring name_;
    orv::UniqueServiceHandle manager_;
    bool made_ = false;
};

// A folder of files and keys as a version 1 of a product left them.
class JournalRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Ok());
        orv::RecoverJournal(kAppId);  // nothing from an earlier failed test
        root_ = orv::LongPath(dir_.Path());
        ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"kept.dll"), "old dll"));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        SetUserValue(L"Version", L"1");
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }

    // Version 2's changes, each recorded before it is made: one file replaced, one added in a new folder,
    // a value changed and one added, a key added.
    void Upgrade(Journal& journal) {
        ASSERT_TRUE(journal.Begin(kAppId));
        ASSERT_TRUE(journal.MoveAside(root_ + L"\\kept.dll"));
        ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"kept.dll"), "new dll"));
        ASSERT_TRUE(journal.Append(Record(JournalKind::kFolderCreated, root_ + L"\\bin")));
        ASSERT_TRUE(::CreateDirectoryW(dir_.Sub(L"bin").c_str(), nullptr));
        ASSERT_TRUE(journal.Append(Record(JournalKind::kFileCreated, root_ + L"\\bin\\added.exe")));
        ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"bin\\added.exe"), "added"));
        ASSERT_TRUE(journal.Append(OldValue(L"Version", L"1")));
        SetUserValue(L"Version", L"2");
        ASSERT_TRUE(journal.Append(OldValue(L"Added", L"")));
        SetUserValue(L"Added", L"x");
        ASSERT_TRUE(journal.Append(Record(JournalKind::kKeyCreated, UserKey(std::wstring(kTestKey) + L"\\Sub"))));
        ::RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Sub").c_str(), L"v", REG_SZ, L"", 2);
    }

    void ExpectVersion1() {
        EXPECT_EQ(ReadText(dir_.Sub(L"kept.dll")), L"old dll");
        EXPECT_FALSE(FileExists(dir_.Sub(L"bin\\added.exe")));
        EXPECT_FALSE(orv::test::DirExists(dir_.Sub(L"bin")));
        EXPECT_EQ(UserValue(L"Version"), L"1");
        EXPECT_EQ(UserValue(L"Added"), L"<none>");
        orv::UniqueHKey sub;
        EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Sub").c_str(), 0, KEY_READ, sub.Put()),
                  ERROR_FILE_NOT_FOUND);
    }

    void ExpectNoJournalLeft() {
        EXPECT_TRUE(orv::ReadJournalPointer(kAppId).empty());
        EXPECT_FALSE(FileExists(orv::JournalFile(orv::JournalFolder(kAppId))));
    }

    orv::test::TempDir dir_{L"orvjournal"};
    std::wstring root_;
};

TEST(JournalRecords, ReadBackRefusesWhatARunCouldNotHaveWritten) {
    JournalRecord record = Record(JournalKind::kFileAside, L"\\\\?\\C:\\a\\b.dll", L"\\\\?\\C:\\x\\1-1.old");
    std::vector<uint8_t> bytes = orv::EncodeJournalRecord(record);
    size_t offset = 0;
    JournalRecord back;
    ASSERT_EQ(orv::DecodeJournalRecord(bytes, &offset, &back), orv::JournalRead::kRecord);
    EXPECT_EQ(back.path, record.path);
    EXPECT_EQ(back.other, record.other);
    EXPECT_EQ(offset, bytes.size());
    EXPECT_EQ(orv::DecodeJournalRecord(bytes, &offset, &back), orv::JournalRead::kEnd);

    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 3);  // a write that never finished
    offset = 0;
    EXPECT_EQ(orv::DecodeJournalRecord(cut, &offset, &back), orv::JournalRead::kEnd);
    std::vector<uint8_t> flipped = bytes;
    flipped[40] ^= 1;
    offset = 0;
    EXPECT_EQ(orv::DecodeJournalRecord(flipped, &offset, &back), orv::JournalRead::kDamaged);
    std::vector<uint8_t> huge = bytes;
    huge[3] = 0x7F;  // a length of about 2 GB
    offset = 0;
    EXPECT_EQ(orv::DecodeJournalRecord(huge, &offset, &back), orv::JournalRead::kDamaged);
    // A NUL inside a path (with a matching checksum) would name another file.
    record.path[5] = L'\0';
    std::vector<uint8_t> nul = orv::EncodeJournalRecord(record);
    offset = 0;
    EXPECT_EQ(orv::DecodeJournalRecord(nul, &offset, &back), orv::JournalRead::kDamaged);
    size_t used = 0;
    EXPECT_FALSE(orv::DecodeJournalHeader(orv::EncodeJournalHeader(kAppId + 1), kAppId, &used));
}

TEST(JournalPlace, OldFilesStayOnTheirVolumeUnderNamesThatDoNotRun) {
    const std::wstring folder = orv::JournalFolder(kAppId);
    ASSERT_EQ(folder.rfind(L"\\\\?\\", 0), 0u);
    EXPECT_EQ(orv::AsideFolder(kAppId, folder + L"\\..\\x.dll"), folder + L"\\old");
    EXPECT_TRUE(orv::IsAsidePath(kAppId, folder + L"\\old\\12-3.old"));
    EXPECT_FALSE(orv::IsAsidePath(kAppId, folder + L"\\old\\12-3.exe"));
    EXPECT_FALSE(orv::IsAsidePath(kAppId, folder + L"\\old\\..\\12-3.old"));
    EXPECT_FALSE(orv::IsAsidePath(kAppId, L"\\\\?\\C:\\windows\\12-3.old"));
}

TEST_F(JournalRun, RollbackPutsFilesAndRegistryBackNewestFirst) {
    Journal journal;
    Upgrade(journal);
    ASSERT_FALSE(HasFatalFailure());
    journal.Rollback();
    ExpectVersion1();
    ExpectNoJournalLeft();
    EXPECT_FALSE(journal.Enter());  // nothing more is recorded, so nothing more may change
}

TEST_F(JournalRun, AFileTheRunKeepsOutlivesTheRollback) {
    Journal journal;
    Upgrade(journal);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(journal.Append(Record(JournalKind::kFileCreated, root_ + L"\\install.log")));
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"install.log"), "what failed"));
    ASSERT_TRUE(journal.Append(Record(JournalKind::kKeep, root_ + L"\\install.log")));
    journal.Rollback();
    EXPECT_EQ(ReadText(dir_.Sub(L"install.log")), L"what failed");
    EXPECT_EQ(ReadText(dir_.Sub(L"kept.dll")), L"old dll");
}

TEST_F(JournalRun, ARecordedNameThatNowLiesBehindAJunctionIsLeftAlone) {
    Journal journal;
    ASSERT_TRUE(journal.Begin(kAppId));
    ASSERT_TRUE(journal.Append(Record(JournalKind::kFolderCreated, root_ + L"\\bin")));
    ASSERT_TRUE(::CreateDirectoryW(dir_.Sub(L"bin").c_str(), nullptr));
    ASSERT_TRUE(journal.Append(Record(JournalKind::kFileCreated, root_ + L"\\bin\\added.exe")));
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"bin\\added.exe"), "added"));
    // Between the kill and the recovery the folder becomes a junction to someone else's files.
    ASSERT_TRUE(::DeleteFileW(dir_.Sub(L"bin\\added.exe").c_str()) && ::RemoveDirectoryW(dir_.Sub(L"bin").c_str()));
    ASSERT_TRUE(::CreateDirectoryW(dir_.Sub(L"other").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"other\\added.exe"), "not ours"));
    ASSERT_TRUE(orv::test::MakeJunction(dir_.Sub(L"bin"), dir_.Sub(L"other")));
    const auto unlink = orv::MakeScopeExit([this] { ::RemoveDirectoryW(dir_.Sub(L"bin").c_str()); });
    journal.Rollback();
    EXPECT_EQ(ReadText(dir_.Sub(L"other\\added.exe")), L"not ours");
}

TEST_F(JournalRun, CommitDeletesTheOldFilesAndAnOldFileInUseGoesAtRestart) {
    Journal journal;
    Upgrade(journal);
    ASSERT_FALSE(HasFatalFailure());
    const std::wstring aside = orv::JournalFolder(kAppId) + L"\\old";
    std::vector<std::wstring> asides;
    WIN32_FIND_DATAW found;
    orv::UniqueFindHandle find(::FindFirstFileW((aside + L"\\*.old").c_str(), &found));
    ASSERT_TRUE(find);
    // Held open as a running program holds its image: it cannot be deleted now.
    orv::UniqueFileHandle inUse(::CreateFileW((aside + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(inUse);
    const std::wstring held = aside + L"\\" + found.cFileName;
    auto cleanUp = orv::MakeScopeExit([&held] { ::DeleteFileW(held.c_str()); });
    bool restartNeeded = false;
    TraceCapture trace;
    ASSERT_TRUE(journal.Commit(&restartNeeded));
    EXPECT_TRUE(restartNeeded);
    EXPECT_TRUE(TraceCapture::Holds(L"qz restart needed\r\n"));
    EXPECT_EQ(ReadText(dir_.Sub(L"kept.dll")), L"new dll");
    EXPECT_EQ(UserValue(L"Version"), L"2");
    EXPECT_TRUE(orv::ReadJournalPointer(kAppId).empty());
    inUse.Reset();
    journal.Rollback();  // after the commit nothing is undone
    EXPECT_EQ(ReadText(dir_.Sub(L"bin\\added.exe")), L"added");
}

TEST_F(JournalRun, TheNextStartRollsBackARunThatDiedAndLeavesALiveOneAlone) {
    {
        Journal journal;
        Upgrade(journal);
        ASSERT_FALSE(HasFatalFailure());
        TraceCapture trace;
        EXPECT_EQ(orv::RecoverJournal(kAppId), orv::JournalRecovery::kBusy);
        EXPECT_FALSE(orv::ReadJournalPointer(kAppId).empty());
        EXPECT_EQ(ReadText(dir_.Sub(L"kept.dll")), L"new dll");
    }  // the process "dies": its handle goes, nothing is finished
    ASSERT_FALSE(orv::ReadJournalPointer(kAppId).empty());
    TraceCapture trace;
    EXPECT_EQ(orv::RecoverJournal(kAppId), orv::JournalRecovery::kRolledBack);
    EXPECT_TRUE(TraceCapture::Holds(L"qz the install journal of an earlier run was rolled back\r\n"));
    ExpectVersion1();
    ExpectNoJournalLeft();
}

TEST_F(JournalRun, ADamagedJournalIsRolledBackAsFarAsItReads) {
    {
        Journal journal;
        Upgrade(journal);
        ASSERT_FALSE(HasFatalFailure());
    }
    const std::wstring file = orv::JournalFile(orv::JournalFolder(kAppId));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(file, &bytes));
    bytes += std::string("\x40\x00\x00\x00") + std::string(70, 'g');  // whole, but not what was written
    ASSERT_TRUE(WriteFileBytes(file, bytes));
    TraceCapture trace;
    EXPECT_EQ(orv::RecoverJournal(kAppId), orv::JournalRecovery::kRolledBack);
    EXPECT_TRUE(TraceCapture::HoldsPart(L"the install journal is damaged after 6 records"));
    ExpectVersion1();
}

// Outside changes are input read back by an elevated process: a file goes only when it is a plain file
// reached through no junction or link, and a record naming anything else is refused with a trace while
// the rest of the rollback goes on.
TEST_F(JournalRun, AnOutsideFileGoesAtRollbackOnlyWhenItIsAPlainFileOnAPlainWay) {
    ASSERT_TRUE(::CreateDirectoryW(dir_.Sub(L"other").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"other\\theirs.txt"), "not ours"));
    ASSERT_TRUE(orv::test::MakeJunction(dir_.Sub(L"link"), dir_.Sub(L"other")));
    const auto unlink = orv::MakeScopeExit([this] { ::RemoveDirectoryW(dir_.Sub(L"link").c_str()); });
    Journal journal;
    ASSERT_TRUE(journal.Begin(kAppId));
    ASSERT_TRUE(journal.Append(Outside(L"helper file", L"file " + root_ + L"\\made.txt")));
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"made.txt"), "made by a helper"));
    ASSERT_TRUE(WriteFileBytes(dir_.Sub(L"earlier.txt"), "an earlier install's"));
    JournalRecord earlier = Outside(L"written again", L"file " + root_ + L"\\earlier.txt");
    earlier.hadValue = 1;
    ASSERT_TRUE(journal.Append(earlier));
    ASSERT_TRUE(journal.Append(Outside(L"through a junction", L"file " + root_ + L"\\link\\theirs.txt")));
    ASSERT_TRUE(journal.Append(Outside(L"climbing out", L"file " + root_ + L"\\made\\..\\other\\theirs.txt")));
    ASSERT_TRUE(journal.Append(Outside(L"relative", L"file other\\theirs.txt")));
    ASSERT_TRUE(journal.Append(Outside(L"a folder", L"file " + root_ + L"\\other")));
    ASSERT_TRUE(journal.Append(Outside(L"no target", L"service")));
    ASSERT_TRUE(journal.Append(Outside(L"unknown", L"format " + root_ + L"\\other\\theirs.txt")));
    TraceCapture trace;
    journal.Rollback();
    EXPECT_FALSE(FileExists(dir_.Sub(L"made.txt")));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"rollback: outside change undone: helper file"));
    EXPECT_EQ(ReadText(dir_.Sub(L"earlier.txt")), L"an earlier install's");
    EXPECT_EQ(ReadText(dir_.Sub(L"other\\theirs.txt")), L"not ours");
    EXPECT_TRUE(TraceCapture::HoldsPart(L"link\\theirs.txt lies behind a junction or link and is left alone"));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"outside change climbing out not undone, its target is not a full path"));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"outside change relative not undone, its target is not a full path"));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"outside change a folder not undone, its target is not a plain file"));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"outside change no target not undone, its service name is not usable"));
    EXPECT_TRUE(TraceCapture::HoldsPart(L"outside change unknown not undone, its undo is unknown"));
    ExpectNoJournalLeft();
}

// A service is stopped and deleted only when its program is a file the same run created.
TEST_F(JournalRun, AnOutsideServiceGoesAtRollbackOnlyWhenTheRunInstalledItsProgram) {
    const std::wstring tag = std::to_wstring(::GetCurrentProcessId());
    const std::wstring program = orv::test::ExeDirectory() + L"\\testservice.exe";
    Journal journal;
    ASSERT_TRUE(journal.Begin(kAppId));
    ASSERT_TRUE(journal.Append(Record(JournalKind::kFileCreated, root_ + L"\\svc.exe")));
    ASSERT_TRUE(::CopyFileW(program.c_str(), dir_.Sub(L"svc.exe").c_str(), TRUE));
    ServiceOf ours(L"OrvJournalSvc" + tag, dir_.Sub(L"svc.exe"));
    ASSERT_TRUE(ours.Made());
    ASSERT_TRUE(journal.Append(Outside(L"our service", L"service OrvJournalSvc" + tag)));
    ServiceOf theirs(L"OrvForeignSvc" + tag, program);
    ASSERT_TRUE(theirs.Made());
    ASSERT_TRUE(journal.Append(Outside(L"their service", L"service OrvForeignSvc" + tag)));
    TraceCapture trace;
    journal.Rollback();
    EXPECT_FALSE(ours.Exists());
    EXPECT_TRUE(theirs.Exists());
    EXPECT_TRUE(TraceCapture::HoldsPart(
        L"outside change their service not undone, the service's program was not installed by this run"));
}

// A COM server unregisters itself only when the run created its DLL, and before that DLL is deleted.
TEST_F(JournalRun, AnOutsideServerUnregistersAtRollbackOnlyWhenTheRunInstalledItsDll) {
    constexpr wchar_t kServers[] = L"Software\\OrvTestServer";
    const auto cleanUp = orv::MakeScopeExit([&] { ::RegDeleteTreeW(HKEY_CURRENT_USER, kServers); });
    const std::wstring theirs = orv::test::ExeDirectory() + L"\\orvbridgetest.dll";
    Journal journal;
    ASSERT_TRUE(journal.Begin(kAppId));
    ASSERT_TRUE(journal.Append(Record(JournalKind::kFileCreated, root_ + L"\\server.dll")));
    ASSERT_TRUE(::CopyFileW(theirs.c_str(), dir_.Sub(L"server.dll").c_str(), TRUE));
    for (const wchar_t* name : {L"server.dll", L"orvbridgetest.dll"})
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kServers, name, REG_SZ, L"", 2), ERROR_SUCCESS);
    ASSERT_TRUE(journal.Append(Outside(L"our server", L"server " + root_ + L"\\server.dll")));
    ASSERT_TRUE(journal.Append(Outside(L"their server", L"server " + orv::LongPath(theirs))));
    TraceCapture trace;
    journal.Rollback();
    EXPECT_NE(::RegGetValueW(HKEY_CURRENT_USER, kServers, L"server.dll", RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kServers, L"orvbridgetest.dll", RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(TraceCapture::HoldsPart(L"outside change their server not undone, its DLL was not installed by this run"));
    EXPECT_FALSE(FileExists(dir_.Sub(L"server.dll")));
}

}  // namespace
