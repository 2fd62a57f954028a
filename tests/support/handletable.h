// This process's kernel handles as the system's handle table lists them (NtQuerySystemInformation's
// SystemHandleInformation): Wine's GetProcessHandleCount answers nothing.
#pragma once

#include <windows.h>

#include <set>
#include <string>

namespace orv {
namespace test {

constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;

// The process's kernel handle values (the table keeps their low 16 bits); empty when it cannot be read.
std::set<USHORT> KernelHandles();
// What the system tells of one of this process's handles, by NtQueryObject: its type ("Event", "File",
// ...) or its name; empty when it tells nothing.
std::wstring ObjectText(USHORT value, ULONG what);
// Closes the file handles opened since `before` on a file called `fileName` (the last part of a path).
void CloseNewFileHandlesOf(const std::set<USHORT>& before, const std::wstring& fileName);

}  // namespace test
}  // namespace orv
