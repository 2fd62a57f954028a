// How the uninstaller's copy knows that the uninstaller started it: the starting process hands it an
// inherited handle to itself, and the copy checks that handle against what the system says about its
// own creation.
#pragma once

#include <windows.h>

#include <string>

#include "utility/uniquehandle.h"

namespace quellby {

// A handle to this process that a child may inherit, allowing no more than to ask for its image name and
// wait for it. Invalid (traced) on failure.
orv::UniqueHandle InheritableSelfHandle();

// The handle's value as the copy's command line carries it, and back; false for anything but digits that
// fit a handle.
std::wstring HandleText(HANDLE handle);
bool ParseHandleText(const std::wstring& text, HANDLE* handle);

// True when `handle` (this process's inherited handle, as a number) is a process handle whose process is
// the one that created this process; `image` receives that process's program. Traces why not.
bool HandleIsCreator(const std::wstring& handleText, std::wstring* image);

}  // namespace quellby
