// Running the setup program from end-to-end tests: start it under DebugRun, collect its "qz " trace lines,
// enforce a timeout (a program still running then is killed and the run counts as failed), and match lines.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "debugrun.h"

namespace orv {
namespace test {

// The runner's names, for use without qualification in tests.
using trace::BuildCommandLine;
using trace::DebugRun;
using trace::FromUtf8;
using trace::ToUtf8;
using trace::UniqueHandle;

// Every diagnostic of the setup program starts with this tag.
constexpr const wchar_t* kTraceTag = L"qz ";

struct SetupResult {
    bool started = false;         // false: see startError / errorText
    bool timedOut = false;        // still running after the timeout; it was killed
    DWORD exitCode = 0;           // the program's exit code (DebugRun::kKilledExitCode after a kill)
    DWORD startError = 0;         // Win32 error from CreateProcessW
    DWORD unhandledException = 0; // exception code when the program crashed, else 0
    DWORD elapsedMs = 0;
    std::wstring commandLine;
    std::wstring errorText;
    std::vector<std::wstring> lines;  // debug strings exactly as received

    // Started, finished by itself in time, did not crash.
    bool Completed() const { return started && !timedOut && unhandledException == 0; }
    // One-paragraph account for failure messages (command line, outcome, every line).
    std::string Describe() const;
};

// Runs exe with args (quoted as needed) and waits up to timeoutMs for it to end.
SetupResult RunSetup(const std::wstring& exe, const std::vector<std::wstring>& args, DWORD timeoutMs,
                     const std::wstring& workDir = L"");

// For tests that talk to the running program (windows, message boxes) before it ends.
class SetupProcess {
public:
    SetupProcess() = default;
    ~SetupProcess() = default;  // the DebugRun member kills a program that still runs
    SetupProcess(const SetupProcess&) = delete;
    SetupProcess& operator=(const SetupProcess&) = delete;

    bool Start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& workDir = L"");
    // Lines of the processes the program starts count too; call it before Start.
    void FollowChildProcesses() { run_.FollowChildProcesses(); }
    DWORD ProcessId() const { return run_.ProcessId(); }
    std::vector<std::wstring> Lines() const { return run_.Lines(); }
    // Waits for a tagged line that contains `text` (as HasLine); lines already received count.
    bool WaitForLine(const std::wstring& text, DWORD timeoutMs, size_t startIndex = 0);
    // Waits for the end (killing the program after timeoutMs) and returns the whole run.
    SetupResult Finish(DWORD timeoutMs);
    DebugRun& Run() { return run_; }

private:
    DebugRun run_;
    SetupResult result_;
    DWORD startTick_ = 0;
};

// True when `line` starts with the trace tag.
bool IsTagged(const std::wstring& line);
// The text after the tag with a trailing "\r\n" / "\n" removed; an untagged line only loses the line end.
std::wstring StripTag(const std::wstring& line);
// The tagged lines only, each through StripTag, in order.
std::vector<std::wstring> TaggedLines(const std::vector<std::wstring>& lines);

// `text` may be given with or without the tag. Only tagged lines are searched, and `text` is compared with the
// text after the tag as it was sent: L"done" matches "qz all done\r\n", L"done\r\n" matches it too but not
// "qz all done". An empty `text` matches nothing (except an empty line for HasExactLine).
// HasLine: some line's text equals `text` or contains it.
// HasExactLine: some line's text equals `text`, with or without the line's trailing "\r\n" / "\n".
bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& text);
bool HasExactLine(const std::vector<std::wstring>& lines, const std::wstring& text);
// Index (into `lines`) of the first tagged line at or after `from` containing `text`, or -1.
// For order checks prefer LinesInOrder: a missing line (-1) would otherwise compare as "earlier".
int IndexOf(const std::vector<std::wstring>& lines, const std::wstring& text, size_t from = 0);
// Number of tagged lines containing `text`.
int CountLines(const std::vector<std::wstring>& lines, const std::wstring& text);

// GoogleTest forms with the whole trace in the failure message:
//   EXPECT_TRUE(ContainsLine(r.lines, L"DoResLua failed"));
//   EXPECT_TRUE(LinesInOrder(r.lines, {L"first", L"second"}));  // each found after the previous one
::testing::AssertionResult ContainsLine(const std::vector<std::wstring>& lines, const std::wstring& text);
::testing::AssertionResult LacksLine(const std::vector<std::wstring>& lines, const std::wstring& text);
::testing::AssertionResult LinesInOrder(const std::vector<std::wstring>& lines,
                                        std::initializer_list<std::wstring> texts);

// Lines as UTF-8, one per row, numbered, for messages.
std::string DescribeLines(const std::vector<std::wstring>& lines);

}  // namespace test
}  // namespace orv
