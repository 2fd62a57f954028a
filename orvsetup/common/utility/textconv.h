// Text conversions at the engine's edges: UTF-8 on the script side, UTF-16 inside, ANSI where asked.
#pragma once

#include <string>

namespace orv {

// Invalid UTF-8 converts with U+FFFD in place of the bad bytes. A failed conversion is traced and gives
// the empty text.

std::wstring Utf8ToWide(const char* text, size_t length);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const wchar_t* text, size_t length);
std::string WideToUtf8(const std::wstring& text);
// The calling thread's ANSI code page.
std::wstring AnsiToWide(const char* text, size_t length);
std::string WideToAnsi(const std::wstring& text);
// Whether the bytes are valid UTF-8 (the empty text is).
bool IsUtf8(const char* text, size_t length);
// UTF-8 that may be invalid: each maximal ill-formed part becomes one U+FFFD and every valid character
// around it is kept (the system converter of some platforms swallows the byte after a bad one).
std::wstring Utf8ToWideReplacing(const char* text, size_t length);
// UTF-8 when the bytes are valid UTF-8, else the thread's ANSI code page.
std::wstring Utf8OrAnsiToWide(const char* text, size_t length);

}  // namespace orv
