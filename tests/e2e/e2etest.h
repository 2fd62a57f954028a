// Shared pieces of the end-to-end tests: where the test setups are, and environment for one run.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "setuprun.h"

namespace orv {
namespace test {

constexpr DWORD kRunTimeoutMs = 30000;

// A setup built for the tests, by product name (e2e-<name>.exe beside the test program).
std::wstring TestSetup(const std::wstring& product = L"base");

// Sets environment variables for the programs this test starts; restores them when it ends.
class ScopedEnv {
public:
    using Vars = std::vector<std::pair<std::wstring, std::wstring>>;
    explicit ScopedEnv(const Vars& vars);
    ScopedEnv(std::initializer_list<Vars::value_type> vars) : ScopedEnv(Vars(vars)) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::vector<std::pair<std::wstring, std::wstring>> saved_;
    std::vector<bool> had_;
};

// True when a line arrived exactly as `raw` (tag and line end included).
inline bool HasRawLine(const std::vector<std::wstring>& lines, const std::wstring& raw) {
    for (const std::wstring& line : lines)
        if (line == raw) return true;
    return false;
}

// The run finished by itself with `exitCode`; the failure message has the whole run.
::testing::AssertionResult EndedWith(const SetupResult& r, DWORD exitCode);

// Runs `exe` until its first dialog shows, then closes that dialog as the system does (Alt+F4). The
// result says whether a dialog showed (`dialogShown`).
SetupResult RunAndCloseTheFirstDialog(const std::wstring& exe, bool* dialogShown);

// Marker programs (tests/e2e/marker.c) under the names of the system tools a setup might start by a
// bare name, planted in each of `folders`; each leaves "<its path>.ran" when it runs. Given other file
// names and the marker DLL (kMarkerDll, tests/e2e/markerdll.c), DLLs that leave "<their path>.ran" when
// they are loaded. Removed again, with what they left, when the object goes away; a planted file that
// something replaced counts as run.
constexpr const wchar_t* kMarkerDll = L"markerdll.dll";
class PlantedPrograms {
public:
    explicit PlantedPrograms(const std::vector<std::wstring>& folders,
                             const std::vector<std::wstring>& names = {L"cmd.exe", L"sc.exe", L"reg.exe", L"net.exe",
                                                                       L"taskkill.exe", L"explorer.exe",
                                                                       L"regsvr32.exe"},
                             const std::wstring& marker = L"marker.exe");
    ~PlantedPrograms();
    PlantedPrograms(const PlantedPrograms&) = delete;
    PlantedPrograms& operator=(const PlantedPrograms&) = delete;

    bool Ok() const { return ok_; }
    // The planted programs that ran, one path a line; empty when none did.
    std::string Ran() const;

private:
    std::vector<std::wstring> paths_;
    std::string markerBytes_;
    bool ok_ = true;
};

// Uninstall chunks (Uninst.dar0, Uninst.dar1) in `folder` that leave ChunkRanMarker(folder) when the
// uninstaller runs them.
bool WriteMarkerChunks(const std::wstring& folder);
std::wstring ChunkRanMarker(const std::wstring& folder);

// The temporary folder (%TEMP%) without its trailing backslash, and a path's folder part.
std::wstring TempFolder();
std::wstring ParentFolder(const std::wstring& path);

// A mutex name no other test run uses, so runs never see each other.
std::wstring UniqueMutexName(const std::wstring& test);

}  // namespace test
}  // namespace orv
