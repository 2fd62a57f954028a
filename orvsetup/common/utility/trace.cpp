// Debug trace lines and the failure trailer.
#include "utility/trace.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace orv {
namespace {

constexpr wchar_t kTag[] = L"qz ";
constexpr size_t kTagUnits = 3;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

void WriteDebugString(const wchar_t* line) { ::OutputDebugStringW(line); }

TraceWriter g_writer = WriteDebugString;

}  // namespace

size_t FormatTraceLine(wchar_t (&buffer)[kTraceBufferUnits], const wchar_t* format, va_list args) {
    wmemset(buffer, 0, kTraceBufferUnits);
    wmemcpy(buffer, kTag, kTagUnits);
    if (!format) return kTagUnits;
    const size_t room = kTraceBufferUnits - kTagUnits - 1;  // keep the last unit for the terminator
    // The runtime's own _vsnwprintf: %s is a wide string. On overflow it fills `room` units and
    // returns a negative count without terminating.
    const int written = _vsnwprintf(buffer + kTagUnits, room, format, args);
    size_t length = kTagUnits + (written < 0 || static_cast<size_t>(written) > room ? room : written);
    if (written < 0 || static_cast<size_t>(written) >= room) {
        // Cut: never leave the first half of a surrogate pair at the end.
        if (length > kTagUnits && IsHighSurrogate(buffer[length - 1])) --length;
    }
    buffer[length] = L'\0';
    return length;
}

TraceWriter SetTraceWriter(TraceWriter writer) {
    TraceWriter previous = g_writer;
    g_writer = writer ? writer : WriteDebugString;
    return previous;
}

void TraceLineV(const wchar_t* format, va_list args) {
    wchar_t buffer[kTraceBufferUnits];
    FormatTraceLine(buffer, format, args);
    g_writer(buffer);
}

void TraceLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    TraceLineV(format, args);
    va_end(args);
}

void TraceRaw(const wchar_t* text) { g_writer(text ? text : L""); }

void FailureTrailer(const wchar_t* message, const wchar_t* sourceFile, int sourceLine, unsigned long error) {
    if (!message) message = L"";
    TraceLine(L"%lsqz file:%ls\r\n", message, sourceFile);
    TraceLine(L"%lsqz line:%d\r\n", message, sourceLine);
    TraceLine(L"%lsqz err:%d\r\n", message, static_cast<int>(error));
    ::SetLastError(error);  // the debug-output calls above may have changed it
}

}  // namespace orv
