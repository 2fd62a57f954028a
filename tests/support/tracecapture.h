// Captures trace lines in the test process instead of sending them to the debug channel. Like
// OutputDebugStringW without a debugger attached, each line changes the thread's last error.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "utility/trace.h"

class TraceCapture {
public:
    TraceCapture() {
        Lines().clear();
        previous_ = orv::SetTraceWriter([](const wchar_t* line) {
            Lines().emplace_back(line);
            ::SetLastError(ERROR_FILE_NOT_FOUND);
        });
    }
    ~TraceCapture() { orv::SetTraceWriter(previous_); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    static std::vector<std::wstring>& Lines() {
        static std::vector<std::wstring> lines;
        return lines;
    }
    // Whether a captured line is `line` exactly, or contains `text`.
    static bool Holds(const std::wstring& line) {
        for (const std::wstring& l : Lines())
            if (l == line) return true;
        return false;
    }
    static bool HoldsPart(const std::wstring& text) {
        for (const std::wstring& l : Lines())
            if (l.find(text) != std::wstring::npos) return true;
        return false;
    }

private:
    orv::TraceWriter previous_;
};
