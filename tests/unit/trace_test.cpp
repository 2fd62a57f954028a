// Trace line format, cutting of long messages, and the failure trailer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <string>

#include "utility/trace.h"
#include "tracecapture.h"

namespace {

std::wstring Format(const wchar_t* format, ...) {
    wchar_t buffer[orv::kTraceBufferUnits];
    va_list args;
    va_start(args, format);
    const size_t length = orv::FormatTraceLine(buffer, format, args);
    va_end(args);
    EXPECT_EQ(length, wcslen(buffer));
    return buffer;
}

TEST(TraceLine, TagThenFormattedMessage) {
    EXPECT_EQ(Format(L"LoadResource failed. Type : %s ID : %s\r\n", L"LUA", L"X.LUAC"),
              L"qz LoadResource failed. Type : LUA ID : X.LUAC\r\n");
    EXPECT_EQ(Format(L"pid:%d", -1), L"qz pid:-1");
    EXPECT_EQ(Format(L"%s", L""), L"qz ");
    EXPECT_EQ(Format(L"%s", L"中文"), L"qz 中文");
}

TEST(TraceLine, LongMessageIsCutAndTerminated) {
    const std::wstring longText(5000, L'a');
    const std::wstring line = Format(L"%s", longText.c_str());
    ASSERT_EQ(line.size(), orv::kTraceBufferUnits - 1);
    EXPECT_EQ(line.substr(0, 3), L"qz ");
    EXPECT_EQ(line.find_first_not_of(L'a', 3), std::wstring::npos);
}

TEST(TraceLine, CutNeverSplitsASurrogatePair) {
    // 1019 ASCII units after the tag leave room for one more unit: the pair that follows must not
    // be cut in half.
    const std::wstring text = std::wstring(1019, L'b') + L"\xD83D\xDE00" + L"tail";
    const std::wstring line = Format(L"%s", text.c_str());
    ASSERT_EQ(line.size(), 3u + 1019u);
    EXPECT_EQ(line.back(), L'b');

    // One unit less of ASCII: the whole pair fits.
    const std::wstring fits = std::wstring(1018, L'b') + L"\xD83D\xDE00" + L"tail";
    const std::wstring line2 = Format(L"%s", fits.c_str());
    ASSERT_EQ(line2.size(), 3u + 1018u + 2u);
    EXPECT_EQ(line2.substr(line2.size() - 2), L"\xD83D\xDE00");
}

// The capture changes the last error after every line, as the debug-output call does without a debugger.
TEST(TraceLine, FailureTrailerWritesThreeLinesWithTheFailedCallsError) {
    TraceCapture capture;
    orv::FailureTrailer(L"LockResource failed.", L"orvscriptengine", 42, ERROR_RESOURCE_NAME_NOT_FOUND);
    const auto& lines = TraceCapture::Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"qz LockResource failed.qz file:orvscriptengine\r\n");
    EXPECT_EQ(lines[1], L"qz LockResource failed.qz line:42\r\n");
    EXPECT_EQ(lines[2], L"qz LockResource failed.qz err:1814\r\n");
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));  // left for the caller

    TraceCapture::Lines().clear();
    orv::FailureTrailer(L"", L"f", 1, 5);
    EXPECT_EQ(TraceCapture::Lines().at(0), L"qz qz file:f\r\n");  // empty message: the tag twice
    EXPECT_EQ(TraceCapture::Lines().at(2), L"qz qz err:5\r\n");
}

}  // namespace
