// UTF-8, ANSI and UTF-16 conversions through the system's converters.
#include "textconv.h"

#include <windows.h>

namespace orv {
namespace {

std::wstring ToWide(UINT codePage, const char* text, size_t length, DWORD flags = 0) {
    if (!text || length == 0) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), &out[0], n);
    return out;
}

std::string FromWide(UINT codePage, const wchar_t* text, size_t length) {
    if (!text || length == 0) return std::string();
    const int n = ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring Utf8ToWide(const char* text, size_t length) { return ToWide(CP_UTF8, text, length); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text.data(), text.size()); }
std::string WideToUtf8(const wchar_t* text, size_t length) { return FromWide(CP_UTF8, text, length); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text.data(), text.size()); }
std::wstring AnsiToWide(const char* text, size_t length) { return ToWide(CP_THREAD_ACP, text, length); }
std::string WideToAnsi(const std::wstring& text) { return FromWide(CP_THREAD_ACP, text.data(), text.size()); }

std::wstring Utf8OrAnsiToWide(const char* text, size_t length) {
    if (!text || length == 0) return std::wstring();
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), nullptr, 0) > 0)
        return ToWide(CP_UTF8, text, length, MB_ERR_INVALID_CHARS);
    return AnsiToWide(text, length);
}

}  // namespace orv
