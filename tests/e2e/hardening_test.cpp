// DLLs planted beside the setup under the names of its imports must never load; a setup whose payload was
// changed after it was built must do nothing.
#include <gtest/gtest.h>

#include "e2etest.h"
#include "fsutil.h"

namespace orv {
namespace test {
namespace {

// Names of DLLs the setup uses that are not among the system's known DLLs, plus a few it may reach.
const wchar_t* const kPlantedNames[] = {L"comctl32.dll", L"gdiplus.dll", L"msimg32.dll", L"riched20.dll",
                                        L"uxtheme.dll", L"version.dll", L"dwmapi.dll", L"userenv.dll"};

class PlantedFolder {
public:
    PlantedFolder() {
        for (const wchar_t* name : kPlantedNames)
            ok_ = ok_ && ::CopyFileW((ExeDirectory() + L"\\planted.dll").c_str(), dir_.Sub(name).c_str(), FALSE);
    }
    bool Ok() const { return ok_; }
    std::wstring Copy(const std::wstring& exe, const std::wstring& as) {
        const std::wstring target = dir_.Sub(as);
        return ::CopyFileW(exe.c_str(), target.c_str(), FALSE) ? target : std::wstring();
    }

private:
    TempDir dir_{L"orvplant"};
    bool ok_ = true;
};

// Wine takes DLL overrides from the environment it was started with, not from the one a Windows
// parent passes on: the test's runner sets native-first overrides for these names.
bool NativeFirstOverridesAreSet() {
    wchar_t value[2048] = {};
    ::GetEnvironmentVariableW(L"WINEDLLOVERRIDES", value, 2048);
    for (const wchar_t* name : kPlantedNames) {
        const std::wstring base = std::wstring(name).substr(0, wcslen(name) - 4);
        if (!wcsstr(value, base.c_str())) return false;
    }
    return wcsstr(value, L"=n,b") != nullptr;
}

TEST(Hardening, PlantedDllsAreNotLoaded) {
    PlantedFolder folder;
    ASSERT_TRUE(folder.Ok());
    ASSERT_TRUE(NativeFirstOverridesAreSet()) << "run with WINEDLLOVERRIDES preferring native DLLs for the planted names";
    ScopedEnv env({{L"ORVTEST_SILENT", L"1"},
                   {L"ORVTEST_FINISH", L"1"}, {L"ORVTEST_MUTEX", UniqueMutexName(L"planted")}});

    // A program that loads DLLs by bare name does pick the planted ones up: the test can see them.
    const std::wstring probe = folder.Copy(ExeDirectory() + L"\\plantedprobe.exe", L"probe.exe");
    ASSERT_FALSE(probe.empty());
    const SetupResult control = RunSetup(probe, {}, kRunTimeoutMs);
    ASSERT_TRUE(control.Completed()) << control.Describe();
    EXPECT_TRUE(ContainsLine(control.lines, L"PLANTED DLL LOADED")) << control.Describe();

    const std::wstring setup = folder.Copy(TestSetup(), L"setup.exe");
    ASSERT_FALSE(setup.empty());
    const SetupResult r = RunSetup(setup, {}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LacksLine(r.lines, L"PLANTED DLL LOADED"));
}

// Where the search cannot be limited to the system folder, the setup's folder is still searched by name;
// the delay-load hook loads every DLL by its system-folder path instead.
TEST(Hardening, WithoutSetDefaultDllDirectoriesTheHookStillLoadsFromTheSystemFolder) {
    PlantedFolder folder;
    ASSERT_TRUE(folder.Ok());
    ASSERT_TRUE(NativeFirstOverridesAreSet());
    const std::wstring probe = folder.Copy(ExeDirectory() + L"\\legacyprobe.exe", L"legacy.exe");
    ASSERT_FALSE(probe.empty());

    const SetupResult byName = RunSetup(probe, {L"bare"}, kRunTimeoutMs);
    EXPECT_TRUE(EndedWith(byName, 1));  // a planted DLL stood in for one of the setup's
    EXPECT_TRUE(ContainsLine(byName.lines, L"PLANTED DLL LOADED")) << byName.Describe();

    EXPECT_TRUE(EndedWith(RunSetup(probe, {}, kRunTimeoutMs), 0));
}

// A copy of the genuine uninstaller in a folder a user can write, beside chunks of their own, is not the
// registered uninstaller of that folder: it runs nothing and loads none of the DLLs planted beside it.
TEST(Hardening, AnUninstallerOutsideItsRegisteredFolderRunsNothing) {
    PlantedFolder folder;
    ASSERT_TRUE(folder.Ok());
    ASSERT_TRUE(NativeFirstOverridesAreSet());
    const std::wstring uninstaller =
        folder.Copy(ExeDirectory() + L"\\" ORV_SAMPLE_PAYLOAD L"\\Uninstall.exe", L"Uninstall.exe");
    ASSERT_FALSE(uninstaller.empty());
    const std::wstring here = ParentFolder(uninstaller);
    ASSERT_TRUE(WriteMarkerChunks(here));
    SetupProcess run;
    run.FollowChildProcesses();
    ASSERT_TRUE(run.Start(uninstaller, {L"/S"}));
    const SetupResult r = run.Finish(kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"refused: this uninstaller is not the one registered for its folder"));
    EXPECT_FALSE(FileExists(ChunkRanMarker(here)));
    EXPECT_TRUE(LacksLine(r.lines, L"PLANTED DLL LOADED")) << r.Describe();
}

// One byte of the stored payload changed in a copy of the setup: it must stop before its first hook.
TEST(Hardening, ASetupWhosePayloadWasChangedDoesNothing) {
    TempDir dir(L"orvtamper");
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(TestSetup(), &bytes));
    const size_t payload = bytes.find(std::string("z7\xBC\xAF\x27\x1C", 6));  // the stored archive's start
    ASSERT_NE(payload, std::string::npos);
    bytes[payload + 16] ^= 0x40;
    const std::wstring setup = dir.Sub(L"setup.exe");
    ASSERT_TRUE(WriteFileBytes(setup, bytes));
    ScopedEnv env({{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                   {L"ORVTEST_MUTEX", UniqueMutexName(L"tamper")}});

    const SetupResult r = RunSetup(setup, {L"/s"}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 0));
    EXPECT_TRUE(ContainsLine(r.lines, L"does not match the SHA-256")) << r.Describe();
    EXPECT_TRUE(LacksLine(r.lines, L"hook:")) << r.Describe();
}

TEST(Hardening, ASetupWithoutThePayloadsDigestSaysSoAndRuns) {
    ScopedEnv env({{L"ORVTEST_SILENT", L"1"}, {L"ORVTEST_FINISH", L"0"},
                   {L"ORVTEST_MUTEX", UniqueMutexName(L"nohash")}});
    const SetupResult r = RunSetup(TestSetup(L"nohash"), {}, kRunTimeoutMs);
    ASSERT_TRUE(EndedWith(r, 1));
    EXPECT_TRUE(LinesInOrder(r.lines, {L"carries no SHA-256 of its payload", L"hook:ORVSE_BeforeInit"}));
}

}  // namespace
}  // namespace test
}  // namespace orv
