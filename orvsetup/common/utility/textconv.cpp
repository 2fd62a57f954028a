// UTF-8, ANSI and UTF-16 conversions through the system's converters.
#include "utility/textconv.h"

#include <windows.h>

#include "utility/trace.h"

#define ORV_TRACE_SOURCE L"textconv"

namespace orv {
namespace {

std::wstring ToWide(UINT codePage, const char* text, size_t length, DWORD flags = 0) {
    if (!text || length == 0) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), &out[0], n) != n) {
        ORV_FAILURE_TRAILER(L"MultiByteToWideChar failed.", ::GetLastError());
        return std::wstring();
    }
    return out;
}

std::string FromWide(UINT codePage, const wchar_t* text, size_t length) {
    if (!text || length == 0) return std::string();
    const int n = ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    if (::WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr) != n) {
        ORV_FAILURE_TRAILER(L"WideCharToMultiByte failed.", ::GetLastError());
        return std::string();
    }
    return out;
}

}  // namespace

std::wstring Utf8ToWide(const char* text, size_t length) { return ToWide(CP_UTF8, text, length); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text.data(), text.size()); }
std::string WideToUtf8(const wchar_t* text, size_t length) { return FromWide(CP_UTF8, text, length); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text.data(), text.size()); }
std::wstring AnsiToWide(const char* text, size_t length) { return ToWide(CP_THREAD_ACP, text, length); }
std::string WideToAnsi(const std::wstring& text) { return FromWide(CP_THREAD_ACP, text.data(), text.size()); }

bool IsUtf8(const char* text, size_t length) {
    if (!text || length == 0) return true;
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), nullptr, 0) > 0;
}

std::wstring Utf8OrAnsiToWide(const char* text, size_t length) {
    return IsUtf8(text, length) ? Utf8ToWide(text, length) : AnsiToWide(text, length);
}

}  // namespace orv
