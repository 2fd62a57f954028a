// The sample product on the machine the tests run on: where its setups install it, and removing it again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "setuprun.h"

namespace orv {
namespace test {

constexpr wchar_t kProductKey[] = L"SOFTWARE\\Quellby";
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellby";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kProductName[] = L"奎比桌面";
constexpr DWORD kInstallTimeoutMs = 90000;

bool IsWow64();
// The scripts' view of the system: the 64-bit build counts as running on 64-bit Windows by being what
// it is, like the 32-bit one under WoW64 (so both choose the 64-bit product files).
bool Is64BitWindows();
std::wstring KnownFolder(int csidl);
std::wstring Expanded(const wchar_t* text);
// Where an install goes by default.
std::vector<std::wstring> DefaultInstallFolders();
// The folder a run traced as its install path.
std::wstring TracedInstallPath(const SetupResult& r);
void RemoveService(const wchar_t* name);
// A machine without the product: no registry trees, folder, links or service from an earlier run.
void RemoveProduct(const std::wstring& folder);
// Every install folder a test may have used.
void RemoveProductEverywhere();

}  // namespace test
}  // namespace orv
