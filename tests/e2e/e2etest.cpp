// Shared pieces of the end-to-end tests.
#include "e2etest.h"

#include "windowprobe.h"

#include "fsutil.h"

namespace orv {
namespace test {

std::wstring TestSetup(const std::wstring& product) { return ExeDirectory() + L"\\e2e-" + product + L".exe"; }

ScopedEnv::ScopedEnv(const Vars& vars) {
    for (const auto& var : vars) {
        wchar_t buffer[32768];
        const DWORD n = ::GetEnvironmentVariableW(var.first.c_str(), buffer, 32768);
        had_.push_back(n > 0 && n < 32768);
        saved_.emplace_back(var.first, had_.back() ? std::wstring(buffer, n) : std::wstring());
        ::SetEnvironmentVariableW(var.first.c_str(), var.second.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    for (size_t i = 0; i < saved_.size(); ++i)
        ::SetEnvironmentVariableW(saved_[i].first.c_str(), had_[i] ? saved_[i].second.c_str() : nullptr);
}

::testing::AssertionResult EndedWith(const SetupResult& r, DWORD exitCode) {
    if (r.Completed() && r.exitCode == exitCode) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected exit code " << exitCode << "\n" << r.Describe();
}

PlantedPrograms::PlantedPrograms(const std::vector<std::wstring>& folders, const std::vector<std::wstring>& names,
                                 const std::wstring& marker) {
    const std::wstring source = ExeDirectory() + L"\\" + marker;
    ok_ = ReadFileBytes(source, &markerBytes_);
    for (const std::wstring& folder : folders) {
        for (const std::wstring& name : names) {
            const std::wstring path = folder + L"\\" + name;
            if (!::CopyFileW(source.c_str(), path.c_str(), TRUE)) ok_ = false;  // never over a real program
            else paths_.push_back(path);
        }
    }
}

PlantedPrograms::~PlantedPrograms() {
    for (const std::wstring& path : paths_) {
        ::DeleteFileW(path.c_str());
        ::DeleteFileW((path + L".ran").c_str());
    }
}

std::string PlantedPrograms::Ran() const {
    std::string ran;
    for (const std::wstring& path : paths_) {
        std::string bytes;
        if (FileExists(path + L".ran")) ran += ToUtf8(path) + "\n";
        else if (!ReadFileBytes(path, &bytes) || bytes != markerBytes_) ran += ToUtf8(path) + " (replaced)\n";
    }
    return ran;
}

std::wstring ChunkRanMarker(const std::wstring& folder) { return folder + L"\\chunk.ran"; }

bool WriteMarkerChunks(const std::wstring& folder) {
    const std::string chunk = "local f = io.open([[" + ToUtf8(ChunkRanMarker(folder)) +
                              "]], 'w') if f then f:write('ran') f:close() end\n";
    return WriteFileBytes(folder + L"\\Uninst.dar0", chunk) && WriteFileBytes(folder + L"\\Uninst.dar1", chunk);
}

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder(buffer, length <= MAX_PATH ? length : 0);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

std::wstring ParentFolder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring UniqueMutexName(const std::wstring& test) {
    return L"Local\\orv-e2e-" + test + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::GetTickCount());
}

SetupResult RunAndCloseTheFirstDialog(const std::wstring& exe, bool* dialogShown) {
    SetupProcess setup;
    *dialogShown = false;
    if (!setup.Start(exe, {})) return setup.Finish(0);
    HWND dialog = FindTopLevelWindow(setup.ProcessId(), kInstallerWindowClass, kRunTimeoutMs);
    if (dialog) {
        *dialogShown = true;
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return setup.Finish(kRunTimeoutMs);
}

}  // namespace test
}  // namespace orv
