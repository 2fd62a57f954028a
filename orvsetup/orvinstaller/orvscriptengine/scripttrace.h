// The diagnostic trace: one debug-output call per line, each line tagged "qz ".
#pragma once

#include <cstdarg>
#include <cstddef>

namespace orv {

constexpr size_t kTraceBufferUnits = 1024;

// Formats a message (wide printf conventions of the C runtime: %s takes a wide string, %S a narrow one)
// after the tag and writes it with one OutputDebugStringW call. A message too long for the buffer is cut
// at a character boundary.
void TraceLine(const wchar_t* format, ...);
void TraceLineV(const wchar_t* format, va_list args);

// Formats the line into `buffer` exactly as TraceLine writes it; returns the number of units before the
// terminator. Kept apart from the output so the cutting rules can be checked.
size_t FormatTraceLine(wchar_t (&buffer)[kTraceBufferUnits], const wchar_t* format, va_list args);

// Where finished lines go: OutputDebugStringW unless replaced (tests capture lines this way).
using TraceWriter = void (*)(const wchar_t* line);
TraceWriter SetTraceWriter(TraceWriter writer);  // returns the previous writer; null restores the default

// The three lines written after a failed system call: the message followed by the source file, the line
// and the thread's last error code. The error code is the one current when the trailer is called.
void FailureTrailer(const wchar_t* message, const wchar_t* sourceFile, int sourceLine);

}  // namespace orv

// Each source file that reports failures names itself once: #define ORV_TRACE_SOURCE L"name"
#define ORV_FAILURE_TRAILER(message) ::orv::FailureTrailer((message), ORV_TRACE_SOURCE, __LINE__)
