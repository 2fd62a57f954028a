// Captures trace lines in the test process instead of sending them to the debug channel.
#pragma once

#include <string>
#include <vector>

#include "orvscriptengine/scripttrace.h"

class TraceCapture {
public:
    TraceCapture() {
        Lines().clear();
        previous_ = orv::SetTraceWriter([](const wchar_t* line) { Lines().emplace_back(line); });
    }
    ~TraceCapture() { orv::SetTraceWriter(previous_); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    static std::vector<std::wstring>& Lines() {
        static std::vector<std::wstring> lines;
        return lines;
    }

private:
    orv::TraceWriter previous_;
};
