// The files the unit archives hold, and where the test program finds them.
#pragma once

#include <map>
#include <string>

#include "fsutil.h"
#include "tracecapture.h"

namespace orv {
namespace test {

inline std::map<std::wstring, std::string> PayloadFiles() {
    std::string readme, tool = "MZ";
    for (int i = 0; i < 100; ++i) readme += "\xE5\xA5\x8E\xE6\xAF\x94 readme\r\n";
    for (int i = 0; i < 70000; ++i) tool += static_cast<char>(i * 7 % 256);
    return {{L"readme.txt", readme}, {L"bin\\tool.exe", tool}, {L"文档\\sub\\说明.txt", "\xE8\xAF\xB4\xE6\x98\x8E"},
            {L"empty.dat", ""}};
}

// The programs and text of the coders-*.7z archives (tests/unit/mkpayload.py makes the same bytes).
inline std::map<std::wstring, std::string> CoderFiles() {
    std::string program = "MZ";
    unsigned x = 12345;
    for (unsigned i = 0; i < 1200000; ++i) {
        x = (x * 1103515245u + 12345u) & 0x7FFFFFFF;
        const unsigned m = i % 13;
        static const char kOps[] = {'\x8B', '\x45', '\x89', '\x4D'};
        program += m == 0 ? '\xE8' : m == 8 ? '\xE9' : (m == 1 || m == 9) ? static_cast<char>(i >> 4)
                 : (m == 2 || m == 10) ? static_cast<char>(i >> 12) : (m == 3 || m == 4) ? '\0'
                 : (m == 11 || m == 12) ? '\xFF' : m == 5 ? static_cast<char>(x >> 16) : kOps[m & 3];
    }
    std::string notes;
    for (int i = 0; i < 15000; ++i) notes += "line 7 of the notes\r\n";
    return {{L"bin\\big.exe", program}, {L"data\\notes.txt", notes}};
}

inline std::wstring CoderArchive(const wchar_t* kind) {
    return ExeDirectory() + L"\\unit\\coders-" + kind + L".7z";
}

// The extractor's temporary files left in `folder`.
inline int TemporaryFilesIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\orvtmp-*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count; while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return count;
}

// Whether a line the capture holds contains `text`.
inline bool Traced(const std::wstring& text) { return TraceCapture::HoldsPart(text); }

}  // namespace test
}  // namespace orv
