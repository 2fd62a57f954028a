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

std::wstring Utf8ToWideReplacing(const char* text, size_t length) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::wstring out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        const unsigned lead = s[i];
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        int trail = 0;
        unsigned code = 0, low = 0x80, high = 0xBF;  // the range of the first trail byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1, code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2, code = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;   // no overlong forms
            if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3, code = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        }
        size_t next = i + 1;
        bool complete = trail > 0;
        for (int k = 0; k < trail; ++k, ++next) {
            if (next >= length || s[next] < low || s[next] > high) {
                complete = false;
                break;
            }
            code = (code << 6) | (s[next] & 0x3F);
            low = 0x80, high = 0xBF;
        }
        i = next;  // a bad byte that may start a character is read again
        if (!complete) {
            out += L'\xFFFD';
        } else if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<wchar_t>(code);
        }
    }
    return out;
}

bool IsUtf8(const char* text, size_t length) {
    if (!text || length == 0) return true;
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), nullptr, 0) > 0;
}

std::wstring Utf8OrAnsiToWide(const char* text, size_t length) {
    return IsUtf8(text, length) ? Utf8ToWide(text, length) : AnsiToWide(text, length);
}

}  // namespace orv
