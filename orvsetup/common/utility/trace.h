// The diagnostic trace: one debug-output call per line, each line tagged "qz ".
#pragma once

#include <cstdarg>
#include <cstddef>

namespace orv {

constexpr size_t kTraceBufferUnits = 1024;

// Formats a message after the tag (write %ls for wide strings and %hs for narrow ones: the bare %s means
// one or the other depending on the C runtime's conventions) and writes it with one OutputDebugStringW call. A message too long for the buffer is cut
// at a character boundary.
void TraceLine(const wchar_t* format, ...);
void TraceLineV(const wchar_t* format, va_list args);

// Formats the line into `buffer` exactly as TraceLine writes it; returns the number of units before the
// terminator. Kept apart from the output so the cutting rules can be checked.
size_t FormatTraceLine(wchar_t (&buffer)[kTraceBufferUnits], const wchar_t* format, va_list args);

// Writes `text` as it stands, without the tag, through the same writer as TraceLine.
void TraceRaw(const wchar_t* text);

// Where finished lines go: OutputDebugStringW unless replaced (tests capture lines this way).
using TraceWriter = void (*)(const wchar_t* line);
TraceWriter SetTraceWriter(TraceWriter writer);  // returns the previous writer; null restores the default

// The three lines written after a failed system call: the message followed by the source file, the line
// and the error code. Read the code with GetLastError right after the failed call, before any other
// call (a trace line included) can change it. The thread's last error is that code afterwards.
void FailureTrailer(const wchar_t* message, const wchar_t* sourceFile, int sourceLine, unsigned long error);

}  // namespace orv

// Each source file that reports failures names itself once: #define ORV_TRACE_SOURCE L"name"
#define ORV_FAILURE_TRAILER(message, error) ::orv::FailureTrailer((message), ORV_TRACE_SOURCE, __LINE__, (error))
